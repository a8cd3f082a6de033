// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The browser's settings pages: each settings file's form, read and saved on
// the session's thread by the rules its page in the window saves it with,
// then taken up by every room that reads it, as a save in the window is.
// A form older than the file is refused, not merged; each save is logged
// (address, file, keys changed; never a value).

namespace web {
class WebServer;
}

namespace monitor {

class Session;

void answerSettings(Session &session, web::WebServer &server);

} // namespace monitor
