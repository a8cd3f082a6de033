#include "Rooms.h"

namespace monitor {

Rooms::Rooms(const ui::Services &services, const QString &edition)
    : m_session(std::make_unique<Session>(services, edition))
{ }

Rooms::~Rooms() = default;

} // namespace monitor
