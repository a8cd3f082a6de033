// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps the web server's copy of the session's values current: at each frame
// (a new reading for the live streams), alarm change and energy step, once a
// second (the data turning stale shows without a frame), and the power curve
// as it changes; and answers the archive's routes from `archiveFile`.

#include <QString>

namespace publish {
class WebServer;
}

namespace monitor {

class Session;

void feedWebServer(Session &session, publish::WebServer &web, const QString &archiveFile);

} // namespace monitor
