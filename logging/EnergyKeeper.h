#pragma once
// Keeps the energy book on disk: "energy.cfg" with the totals and
// "logs/energy.csv" with a line a day. Both are replaced whole through a
// temporary file, so a program killed at any moment leaves the previous or the
// new file, never half of one.

#include "core/EnergyBook.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "ui/Services.h"

#include <string>

namespace logging {

class EnergyKeeper {
public:
    EnergyKeeper(const ui::Services &services, QObject *messageParent);

    // The stored totals for `today`, and today's line of energy.csv when it
    // has one. A missing state file starts at 0 silently; one that cannot be
    // read or is damaged is told once, kept aside as "energy.cfg.bad", and
    // counting starts at 0.
    struct Start {
        core::EnergyStart totals;
        std::optional<core::DayRecord> todayLine;
    };
    Start load(const core::CivilDate &today);

    // Writes the state when it changed since the last save, and today's line
    // when it changed and a minute has passed since it was last written (or
    // both at once, with `force`). Called every few seconds, so a program
    // killed at any moment loses only those seconds of energy.
    void save(const core::EnergyBook &book, bool force = false);
    static constexpr double kDayLineSeconds = 60;
    // Writes a finished day's line once, when its day is over.
    void finishDay(const core::DayRecord &day);

private:
    bool writeDay(const core::DayRecord &day);

    ui::Services m_services;
    ui::ProgramFolder m_folder;
    QObject *m_parent;
    ui::FailureNotices m_notices;
    std::string m_savedState, m_savedDay;
    std::optional<double> m_dayWritten; // monotonic seconds
};

} // namespace logging
