// SPDX-License-Identifier: GPL-3.0-or-later
#include "Energy.h"

#include <algorithm>
#include <cmath>

namespace core {

void EnergyCounter::begin(double now, const CivilDate &today)
{
    m_lastStep = now;
    m_lastDate = today;
}

void EnergyCounter::step(double watts, const Liveness &liveness, double now, const CivilDate &today)
{
    const double from = m_lastStep ? *m_lastStep : now - kStepSeconds;
    m_lastStep = now;
    if (m_lastDate && *m_lastDate != today)
        m_wattHours = 0;
    m_lastDate = today;
    const auto liveUntil = liveness.liveUntil();
    if (liveness.paused() || !liveUntil || !std::isfinite(watts))
        return;
    // Only the part of the interval before the data turned stale counts.
    const double live = std::clamp(std::min(now, *liveUntil) - from, 0.0, kMaxStepSeconds);
    m_wattHours += watts * (live / kStepSeconds) / 720;
}

} // namespace core
