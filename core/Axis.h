// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The arithmetic of the charts' axes: steps of 1, 2 or 5 times a power of
// ten, the ticks of a value axis, values to pixels and back, and the ticks of
// a time axis in local time. Times are UTC seconds; where the local time is
// needed, the caller passes the zone as a function from a UTC second to the
// offset east of UTC in force then, so a change of daylight-saving time moves
// the ticks with the clocks on the wall.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace core {

// The smallest step of 1, 2 or 5 times a power of ten that divides `range`
// into at most `ticks` steps; 1 for a range that is not above 0.
double niceStep(double range, int ticks);
// `v` rounded up, or down, to a whole number of steps (a value within a
// billionth of a step of one counts as on it).
double roundUpToStep(double v, double step);
double roundDownToStep(double v, double step);

// A value axis from `low` to `high` in whole steps.
struct NiceAxis {
    double low = 0, high = 1, step = 1;
    // low, low + step, ... high, each computed from its index (no drift).
    std::vector<double> ticks() const;
};
// The axis holding `low` to `high` in about `ticks` steps, its ends rounded
// outwards. An empty or reversed span is widened to one step around `low`.
NiceAxis niceAxis(double low, double high, int ticks);

// Values to pixels and back: `v0` lies at pixel `p0` and `v1` at `p1` (p1 may
// be smaller, as on an upright axis). A span of 0 maps everything to p0.
class LinearScale {
public:
    LinearScale() = default;
    LinearScale(double v0, double v1, double p0, double p1) : m_v0(v0), m_v1(v1), m_p0(p0), m_p1(p1) { }
    double pixel(double v) const { return m_v1 == m_v0 ? m_p0 : m_p0 + (v - m_v0) / (m_v1 - m_v0) * (m_p1 - m_p0); }
    double value(double p) const { return m_p1 == m_p0 ? m_v0 : m_v0 + (p - m_p0) / (m_p1 - m_p0) * (m_v1 - m_v0); }

private:
    double m_v0 = 0, m_v1 = 1, m_p0 = 0, m_p1 = 1;
};

// The zone: the offset east of UTC (seconds) in force at a UTC second.
using OffsetAt = std::function<int(std::int64_t utc)>;
// A zone without changes.
OffsetAt fixedOffset(int seconds);

// The UTC seconds at which the wall clocks show `local` (seconds since 1970
// as if local time were UTC): one usually, two in the hour repeated when the
// clocks go back (the earlier first), none in the hour skipped when they go on.
std::vector<std::int64_t> utcOfLocal(std::int64_t local, const OffsetAt &offsetAt);

// One tick of a time axis. `major` marks a tick that starts a larger unit (a
// day on an axis of hours, a month on one of days, a year on one of months);
// its label says that unit ("Sun 29 Mar", "Mar 2026", "2026").
struct TimeTick {
    std::int64_t t = 0;
    std::string label;
    bool major = false;
};
// Ticks from `from` to `to` (both included) at the finest of the steps
// 1, 5, 10, 15, 30 minutes, 1, 2, 3, 6, 12 hours, 1, 2, 7 days, 1, 3, 6
// months, 1, 2, 5, 10... years that gives at most `maxTicks` of them, at
// whole steps of local time (hours at 00, 03, 06...; weeks on Mondays).
// Across a change of the clocks the steps in UTC grow or shrink with it; a
// local time shown twice has two ticks.
std::vector<TimeTick> timeTicks(std::int64_t from, std::int64_t to, int maxTicks, const OffsetAt &offsetAt);

// The short English names the axes and read-outs use: "Jan".."Dec", "Mon".."Sun".
const char *monthShortName(int month);
// Weekday of a count of days since 1970-01-01: 0 Monday .. 6 Sunday.
int weekdayOfDays(long days);
const char *weekdayShortName(int weekday);

} // namespace core
