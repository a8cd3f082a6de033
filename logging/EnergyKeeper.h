// SPDX-License-Identifier: GPL-3.0-or-later
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

    // The totals for `today` from the state file and energy.csv
    // (core::energyAtStart); the stored date's line, when it lagged behind the
    // state, is brought up to it at once. A state file that cannot be read or
    // is damaged is kept aside under a free numbered name; it and a missing
    // one leave today and yesterday to their lines and the lifetime to the
    // sum of the measured days, told once when energy.csv has days.
    core::EnergyStart load(const core::CivilDate &today);
    // The line of `date` in energy.csv, measured or not (several kept as one).
    std::optional<core::DayRecord> dayLine(const core::CivilDate &date) const;

    // Writes the state when it changed since the last save, and today's line
    // when it changed and a minute has passed since it was last written or a
    // column of it has its first value (or both at once, with `force`); a day
    // with nothing in it yet gets no line. Called every few seconds, so a program
    // killed at any moment loses only those seconds of energy.
    void save(const core::EnergyBook &book, bool force = false);
    static constexpr double kDayLineSeconds = 60;
    // Writes the line of a day left (its day is over, or the clock went back),
    // kept with what the file holds for that date.
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
