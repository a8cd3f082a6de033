// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps the web server's copy of the session's values current: at each frame
// (a new reading for the live streams), alarm change and energy step, once a
// second (the data turning stale shows without a frame), and the power curve
// as the archive writes minutes; and answers the archive's routes.

#include <QString>

namespace archive {
class Archive;
class BackupWatch;
}
namespace publish {
class Messenger;
}
namespace web {
class WebServer;
}

namespace monitor {

class Session;

// `backup` (when given) tells the last backup, read-only.
void feedWebServer(Session &session, web::WebServer &server, archive::Archive &archive,
                   publish::Messenger *messenger = nullptr, const archive::BackupWatch *backup = nullptr);

} // namespace monitor
