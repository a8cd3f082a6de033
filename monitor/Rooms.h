#pragma once
// The composition root: the running session and the feature rooms that listen
// to it. Each program builds one (both editions now, a program without a
// display later); a room added later (the archive, a web server) is made here
// and connects to the session's signals, never to a window.

#include "Session.h"

#include <memory>

namespace monitor {

class Rooms {
public:
    // `edition` names the program in what it publishes.
    Rooms(const ui::Services &services, const QString &edition);
    ~Rooms();
    Session &session() { return *m_session; }

private:
    std::unique_ptr<Session> m_session;
};

} // namespace monitor
