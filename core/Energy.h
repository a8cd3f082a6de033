// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The day's watt-hour total.

#include "Liveness.h"

#include <optional>

namespace core {

struct CivilDate {
    int year = 0, month = 0, day = 0;
    bool operator==(const CivilDate &o) const { return year == o.year && month == o.month && day == o.day; }
    bool operator!=(const CivilDate &o) const { return !(*this == o); }
};

// Adds the energy of the time that actually passed between steps, and only
// while the data is live: a silent or unplugged unit adds nothing, and late
// timer ticks neither lose nor invent energy. With steps every 5 s this is
// watts / 720 a step.
class EnergyCounter {
public:
    // The nominal step, and the most time one step may account for (a machine
    // that slept must not turn the last reading into hours of energy).
    static constexpr double kStepSeconds = 5;
    static constexpr double kMaxStepSeconds = 10;

    // Where counting starts: the first step measures from here.
    void begin(double now, const CivilDate &today);
    // One step at `now` (seconds on a monotonic clock): the time since the
    // previous step while the data was live, at `watts`. The total starts
    // again from 0 at the first step whose date differs from the previous step's.
    void step(double watts, const Liveness &liveness, double now, const CivilDate &today);

    double wattHours() const { return m_wattHours; }
    void setWattHours(double wattHours) { m_wattHours = wattHours; }

private:
    double m_wattHours = 0;
    std::optional<double> m_lastStep;
    std::optional<CivilDate> m_lastDate;
};

} // namespace core
