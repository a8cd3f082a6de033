// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The browser's settings pages: each settings file's form, read and saved on
// the session's thread by the rules its page in the window saves it with,
// then taken up by every room that reads it, as a save in the window is.
// A form older than the file is refused, not merged; each save is logged
// (address, file, keys changed; never a value).

#include "web/WebServer.h"

#include <string>
#include <utility>

namespace monitor {

class Session;

// The answer to one request (status, JSON), on the session's thread.
std::pair<int, std::string> settingsAnswer(Session &session, const web::WebServer::SettingsRequest &request);
// Lets `server` answer the settings pages with it.
void answerSettings(Session &session, web::WebServer &server);

} // namespace monitor
