// SPDX-License-Identifier: GPL-3.0-or-later
#include "Rooms.h"

namespace monitor {

Rooms::Rooms(const ui::Services &services) : m_session(std::make_unique<Session>(services)) { }

Rooms::~Rooms() = default;

void Rooms::reload()
{
    m_session->reloadAlarms();
    m_session->reloadPublishing();
}

} // namespace monitor
