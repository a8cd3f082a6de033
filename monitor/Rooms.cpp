// SPDX-License-Identifier: GPL-3.0-or-later
#include "Rooms.h"

#include "archive/Archive.h"

namespace monitor {

Rooms::Rooms(const ui::Services &services)
    : m_session(std::make_unique<Session>(services)),
      m_archive(std::make_unique<archive::Archive>(m_session->services()))
{
    Session *s = m_session.get();
    archive::Archive *a = m_archive.get();
    QObject::connect(s, &Session::frameProcessed, a,
                     [s, a](const core::RawReading &raw, const core::Reading &reading, core::DataState, double) {
                         a->frame(raw, reading, s->settings().WSUnits);
                     });
    QObject::connect(s, &Session::framesDropped, a, &archive::Archive::dropped);
    QObject::connect(s, &Session::settingsSaved, a, [a](const QString &file) {
        if (file == QLatin1String("archive.cfg"))
            a->loadSettings();
        else if (file == QLatin1String("turbine.cfg"))
            a->loadTurbine();
    });
}

// The archive writes its last minute while the session still stands.
Rooms::~Rooms() { m_archive.reset(); }

} // namespace monitor
