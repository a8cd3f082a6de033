// SPDX-License-Identifier: GPL-3.0-or-later
#include "Liveness.h"

namespace core {

std::string_view dataStateWord(DataState state)
{
    switch (state) {
    case DataState::Live: return "live";
    case DataState::Stale: return "stale";
    case DataState::Paused: return "paused";
    }
    return "stale";
}

bool isLive(const RawReading &raw) { return raw.voltsRead && raw.ampsRead; }

void Liveness::frame(const RawReading &raw, double now)
{
    if (isLive(raw))
        m_lastLive = now;
}

std::optional<double> Liveness::liveUntil() const
{
    if (!m_lastLive)
        return std::nullopt;
    return *m_lastLive + kStaleAfterSeconds;
}

DataState Liveness::state(double now) const
{
    if (m_paused)
        return DataState::Paused;
    if (m_lastLive && now - *m_lastLive < kStaleAfterSeconds)
        return DataState::Live;
    return DataState::Stale;
}

} // namespace core
