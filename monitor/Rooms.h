// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The composition root: the running session and the feature rooms that listen
// to it. Each program builds one (both editions now, a program without a
// display later); a room added later (the archive, a web server) is made here
// and connects to the session's signals, never to a window.

#include "Session.h"

#include "core/Performance.h"

#include <map>
#include <memory>

namespace archive {
class Archive;
class AvailabilityWatch;
class BackupWatch;
class PerformanceWatch;
}
namespace publish {
class DataOut;
}
namespace web {
class WebServer;
}

namespace monitor {

class Rooms {
public:
    explicit Rooms(const ui::Services &services);
    ~Rooms();
    Session &session() { return *m_session; }
    archive::Archive &archive() { return *m_archive; }
    archive::PerformanceWatch &performance() { return *m_performance; }
    archive::BackupWatch &backup() { return *m_backup; }
    // Our own settings files read again and taken up (the service's SIGHUP;
    // the program's two settings files are the caller's). Each room made here
    // adds its own.
    void reload();

private:
    // A settings file saved: the rooms here that read it take it up.
    void take(ui::SettingsFile file);

    std::unique_ptr<Session> m_session;
    std::unique_ptr<archive::Archive> m_archive;
    std::unique_ptr<web::WebServer> m_web;
    std::unique_ptr<publish::DataOut> m_dataOut;
    std::unique_ptr<archive::PerformanceWatch> m_performance;
    std::unique_ptr<archive::AvailabilityWatch> m_availability;
    std::unique_ptr<archive::BackupWatch> m_backup;
    std::map<int, core::PerformanceSums> m_performanceDays;
};

} // namespace monitor
