// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether the data on screen is current. One definition for everything that
// acts on the unit's values (energy, alarms, publishing):
//  - a frame is live when its volts and amps fields both read as numbers
//    (watts are made of them);
//  - the data is stale when no live frame has come for kStaleAfterSeconds;
//  - while another window holds the port the data is paused: neither live
//    nor stale.

#include "Frame.h"

#include <optional>
#include <string_view>

namespace core {

constexpr double kStaleAfterSeconds = 15;

enum class DataState { Live, Stale, Paused };

// "live", "stale" or "paused": the word for the state wherever it is written
// (the live page's <DS>, a class name in its template).
std::string_view dataStateWord(DataState state);

bool isLive(const RawReading &raw);

// Times are seconds on a monotonic clock; the origin does not matter.
class Liveness {
public:
    void frame(const RawReading &raw, double now);
    void setPaused(bool paused) { m_paused = paused; }
    bool paused() const { return m_paused; }
    DataState state(double now) const;
    // When the data turns (or turned) stale: kStaleAfterSeconds after the
    // last live frame; nullopt before the first.
    std::optional<double> liveUntil() const;

private:
    std::optional<double> m_lastLive;
    bool m_paused = false;
};

} // namespace core
