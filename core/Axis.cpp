// SPDX-License-Identifier: GPL-3.0-or-later
#include "Axis.h"

#include "EnergyBook.h"
#include "Number.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace core {

double niceStep(double range, int ticks)
{
    const double raw = range / std::max(ticks, 1);
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double n = raw / magnitude;
    // A billionth of slack: 0.3 / 3 must give 0.1, not 0.2.
    return (n <= 1 + 1e-9 ? 1 : n <= 2 + 1e-9 ? 2 : n <= 5 + 1e-9 ? 5 : 10) * magnitude;
}

double roundUpToStep(double v, double step) { return std::ceil(v / step - 1e-9) * step; }
double roundDownToStep(double v, double step) { return std::floor(v / step + 1e-9) * step; }

std::vector<double> NiceAxis::ticks() const
{
    std::vector<double> out;
    if (!(step > 0))
        return out;
    const long n = std::lround((high - low) / step);
    for (long i = 0; i <= n && i <= 1000; ++i) {
        const double v = low + double(i) * step;
        // -0 reads as "-0".
        out.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
    }
    return out;
}

NiceAxis niceAxis(double low, double high, int ticks)
{
    NiceAxis a;
    if (!std::isfinite(low) || !std::isfinite(high))
        return a;
    if (!(high > low)) {
        const double step = niceStep(std::max(std::abs(low), 1.0), ticks);
        a.step = step;
        a.low = roundDownToStep(low, step);
        a.high = a.low + step;
        return a;
    }
    a.step = niceStep(high - low, ticks);
    a.low = roundDownToStep(low, a.step);
    a.high = roundUpToStep(high, a.step);
    // Rounding outwards may need one step more than asked.
    return a;
}

OffsetAt fixedOffset(int seconds)
{
    return [seconds](std::int64_t) { return seconds; };
}

std::vector<std::int64_t> utcOfLocal(std::int64_t local, const OffsetAt &offsetAt)
{
    // The offsets in force a day either side cover every change of the clocks
    // but two within two days.
    const int before = offsetAt(local - 86400), after = offsetAt(local + 86400);
    std::vector<std::int64_t> out;
    for (const int o : {before, after}) {
        const std::int64_t t = local - o;
        if (offsetAt(t) == o && std::find(out.begin(), out.end(), t) == out.end())
            out.push_back(t);
    }
    std::sort(out.begin(), out.end());
    return out;
}

const char *monthShortName(int month)
{
    static const char *const names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return month >= 1 && month <= 12 ? names[month - 1] : "";
}

int weekdayOfDays(long days)
{
    // 1970-01-01 was a Thursday.
    return int(((days + 3) % 7 + 7) % 7);
}

const char *weekdayShortName(int weekday)
{
    static const char *const names[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    return weekday >= 0 && weekday <= 6 ? names[weekday] : "";
}

namespace {

enum class Unit { Minute, Day, Month, Year };
struct TimeStep {
    Unit unit;
    long n;         // minutes, days, months or years
    double seconds; // about how long one step is
};


TimeStep chooseStep(std::int64_t span, int maxTicks)
{
    static const TimeStep fixed[] = {
        {Unit::Minute, 1, 60},           {Unit::Minute, 5, 300},           {Unit::Minute, 10, 600},
        {Unit::Minute, 15, 900},         {Unit::Minute, 30, 1800},         {Unit::Minute, 60, 3600},
        {Unit::Minute, 120, 7200},       {Unit::Minute, 180, 10800},       {Unit::Minute, 360, 21600},
        {Unit::Minute, 720, 43200},      {Unit::Day, 1, 86400},            {Unit::Day, 2, 172800},
        {Unit::Day, 7, 604800},          {Unit::Month, 1, 30.44 * 86400},  {Unit::Month, 3, 91.3 * 86400},
        {Unit::Month, 6, 182.6 * 86400},
    };
    const int most = std::max(maxTicks, 2);
    for (const TimeStep &s : fixed)
        if (double(span) / s.seconds + 1 <= most)
            return s;
    for (long years = 1;; years *= 10)
        for (const long f : {1L, 2L, 5L})
            if (double(span) / (double(f * years) * 365.25 * 86400) + 1 <= most || years > 100000)
                return {Unit::Year, f * years, double(f * years) * 365.25 * 86400};
}

std::string twoDigits(long a, long b)
{
    char text[48];
    std::snprintf(text, sizeof text, "%02ld:%02ld", a, b);
    return text;
}

std::string dayLabel(const CivilDate &d, bool weekday, long days)
{
    std::string s = weekday ? std::string(weekdayShortName(weekdayOfDays(days))) + " " : std::string();
    return s + std::to_string(d.day) + " " + monthShortName(d.month);
}

} // namespace

std::vector<TimeTick> timeTicks(std::int64_t from, std::int64_t to, int maxTicks, const OffsetAt &offsetAt)
{
    std::vector<TimeTick> out;
    if (to < from || !offsetAt)
        return out;
    const TimeStep step = chooseStep(to - from, maxTicks);
    // Local times of the ends, widened by the largest change of the clocks.
    const std::int64_t localFrom = from + offsetAt(from) - 7200, localTo = to + offsetAt(to) + 7200;
    const long firstDay = long(floorDiv(localFrom, 86400)), lastDay = long(floorDiv(localTo, 86400));
    const auto add = [&](std::int64_t local, std::string label, bool major) {
        std::vector<std::int64_t> at = utcOfLocal(local, offsetAt);
        // A midnight the clocks skip: the day starts an hour later.
        if (at.empty() && major)
            at = utcOfLocal(local + 3600, offsetAt);
        for (const std::int64_t t : at)
            if (t >= from && t <= to)
                out.push_back({t, label, major});
    };
    switch (step.unit) {
    case Unit::Minute: {
        const std::int64_t stepSeconds = step.n * 60;
        for (long day = firstDay; day <= lastDay; ++day) {
            const std::int64_t start = std::int64_t(day) * 86400;
            const std::int64_t first = std::max<std::int64_t>(0, (localFrom - start) / stepSeconds);
            for (std::int64_t k = first; k * stepSeconds < 86400; ++k) {
                const std::int64_t local = start + k * stepSeconds;
                if (local > localTo)
                    break;
                if (k == 0)
                    add(local, dayLabel(civilFromDays(day), true, day), true);
                else
                    add(local, twoDigits(long(k * stepSeconds / 3600), long(k * stepSeconds / 60 % 60)), false);
            }
        }
        break;
    }
    case Unit::Day:
        for (long day = firstDay; day <= lastDay; ++day) {
            const bool on = step.n == 7 ? weekdayOfDays(day) == 0 : day % step.n == 0;
            const CivilDate d = civilFromDays(day);
            if (on)
                add(std::int64_t(day) * 86400, dayLabel(d, false, day), d.day == 1);
        }
        break;
    case Unit::Month: {
        const CivilDate a = civilFromDays(firstDay), b = civilFromDays(lastDay);
        for (long m = a.year * 12L + a.month - 1; m <= b.year * 12L + b.month - 1; ++m) {
            const int year = int(m / 12), month = int(m % 12) + 1;
            if ((month - 1) % step.n)
                continue;
            const long day = daysFromCivil(CivilDate{year, month, 1});
            add(std::int64_t(day) * 86400, month == 1 ? std::to_string(year) : monthShortName(month), month == 1);
        }
        break;
    }
    case Unit::Year: {
        const int a = civilFromDays(firstDay).year, b = civilFromDays(lastDay).year;
        for (long year = a - a % step.n; year <= b; year += step.n)
            if (year >= 1)
                add(std::int64_t(daysFromCivil(CivilDate{int(year), 1, 1})) * 86400, std::to_string(year), false);
        break;
    }
    }
    std::sort(out.begin(), out.end(), [](const TimeTick &x, const TimeTick &y) { return x.t < y.t; });
    out.erase(std::unique(out.begin(), out.end(), [](const TimeTick &x, const TimeTick &y) { return x.t == y.t; }),
              out.end());
    return out;
}

} // namespace core
