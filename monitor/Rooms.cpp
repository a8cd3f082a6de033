// SPDX-License-Identifier: GPL-3.0-or-later
#include "Rooms.h"

#include "WebFeed.h"
#include "publish/WebServer.h"

namespace monitor {

Rooms::Rooms(const ui::Services &services) : m_session(std::make_unique<Session>(services))
{
    // The web server reads the session's values; it starts as web.cfg says.
    m_web = std::make_unique<publish::WebServer>(m_session->services());
    feedWebServer(*m_session, *m_web);
    m_session->setWebServer(m_web.get());
    m_web->reload();
}

Rooms::~Rooms()
{
    // The server goes first: it holds no pointer into the session, but its
    // feed's connections do.
    m_session->setWebServer(nullptr);
    m_web.reset();
}

} // namespace monitor
