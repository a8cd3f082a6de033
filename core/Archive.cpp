// SPDX-License-Identifier: GPL-3.0-or-later
#include "Archive.h"

#include "EnergyBook.h"
#include "Liveness.h"
#include "Number.h"
#include "PowerCurve.h"
#include "TagValue.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace core {

namespace {
constexpr std::int64_t kMinute = 60;
constexpr std::int64_t kMinuteMs = 60000;
constexpr auto kStaleMs = std::int64_t(kStaleAfterSeconds * 1000);

} // namespace

void Spread::add(double v)
{
    min = n ? std::min(min, v) : v;
    max = n ? std::max(max, v) : v;
    sum += v;
    ++n;
}

void Spread::merge(const Spread &o)
{
    if (!o.n)
        return;
    min = n ? std::min(min, o.min) : o.min;
    max = n ? std::max(max, o.max) : o.max;
    sum += o.sum;
    n += o.n;
}

int localDayKey(std::int64_t t, int utcOffset)
{
    const CivilDate d = civilFromDays(long(floorDiv(t + utcOffset, 86400)));
    return d.year * 10000 + d.month * 100 + d.day;
}

std::int64_t localHourStart(std::int64_t t, int utcOffset)
{
    return floorDiv(t + utcOffset, 3600) * 3600 - utcOffset;
}

std::string isoLocalTime(std::int64_t t, int utcOffset)
{
    const std::int64_t local = t + utcOffset;
    const CivilDate d = civilFromDays(long(floorDiv(local, 86400)));
    const long s = long(local - floorDiv(local, 86400) * 86400);
    const int off = std::abs(utcOffset);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02ld:%02ld:%02ld%c%02d:%02d", d.year, d.month, d.day, s / 3600,
                  s / 60 % 60, s % 60, utcOffset < 0 ? '-' : '+', off / 3600, off / 60 % 60);
    return text;
}

namespace {
void addAll(ArchiveRow &into, const ArchiveRow &more)
{
    into.imported += more.imported;
    into.frames += more.frames;
    into.rejected += more.rejected;
    into.energyWh += more.energyWh;
    into.loadSeconds += more.loadSeconds;
    into.volts.merge(more.volts);
    into.amps.merge(more.amps);
    into.watts.merge(more.watts);
    into.rpm.merge(more.rpm);
    if (!more.wind.n)
        return;
    if (!into.wind.n)
        into.windUnit = more.windUnit;
    if (into.windUnit == more.windUnit)
        into.wind.merge(more.wind);
}
} // namespace

ArchiveRow mergeMinute(const ArchiveRow &old, const ArchiveRow &more)
{
    ArchiveRow r = old;
    addAll(r, more);
    // The two runs covered different parts of the minute.
    r.noDataSeconds = std::max(0.0, old.noDataSeconds + more.noDataSeconds - double(kMinute));
    return r;
}

ArchiveRow rollUp(const ArchiveRow &summary, const ArchiveRow &more)
{
    ArchiveRow r = summary;
    if (!summary.minutes && !summary.frames) {
        r.t = more.t;
        r.utcOffset = more.utcOffset;
    }
    r.minutes += more.minutes;
    r.noDataSeconds += more.noDataSeconds;
    addAll(r, more);
    return r;
}

// ---- minutes from frames -----------------------------------------------------

void MinuteBuilder::account(std::int64_t utcMs)
{
    if (!m_row)
        return;
    const std::int64_t start = m_row->t * 1000;
    const std::int64_t to = std::min(utcMs, start + kMinuteMs);
    const std::int64_t from = std::max(m_last, start);
    m_last = std::max(m_last, to);
    if (!m_lastLive)
        return;
    const std::int64_t live = std::min(to, *m_lastLive + kStaleMs);
    if (live <= from)
        return;
    const double seconds = double(live - from) / 1000;
    m_covered += seconds;
    if (m_loadOn)
        m_row->loadSeconds += seconds;
}

void MinuteBuilder::close(std::vector<ArchiveRow> &out)
{
    if (!m_row)
        return;
    m_row->noDataSeconds = std::max(0.0, double(kMinute) - m_covered);
    out.push_back(*m_row);
    m_row.reset();
    m_covered = 0;
}

void MinuteBuilder::open(std::int64_t utcMs, int utcOffset)
{
    const std::int64_t minute = floorDiv(utcMs, kMinuteMs) * kMinute;
    m_row = ArchiveRow();
    m_row->t = minute;
    m_row->utcOffset = utcOffset;
    m_row->minutes = 1;
    if (m_rejectedMinute == minute)
        m_row->rejected = m_rejected;
    m_rejected = 0;
    m_rejectedMinute = -1;
    // The reading held from the minute before counts from this one's start.
    account(utcMs);
}

std::vector<ArchiveRow> MinuteBuilder::advance(std::int64_t utcMs, std::int64_t monoMs)
{
    std::vector<ArchiveRow> out;
    if (!m_started) {
        m_started = true;
        m_last = m_lastEvent = utcMs;
        m_lastMono = monoMs;
    }
    // Where the wall clock would be had nobody set it.
    const std::int64_t expected = m_lastEvent + std::max<std::int64_t>(0, monoMs - m_lastMono);
    const std::int64_t step = utcMs - expected;
    m_lastMono = monoMs;
    if (step > kStepMs || step < -kStepMs) {
        // The clock was set: the open minute ends where the time really got
        // to, and what is held goes on in the new time.
        account(expected);
        close(out);
        m_last = std::max(m_last, expected) + step;
        if (m_lastLive)
            *m_lastLive += step;
        m_lastEvent = utcMs;
        return out;
    }
    m_lastEvent = std::max(m_lastEvent, utcMs);
    if (!m_row)
        return out;
    account(utcMs);
    if (utcMs >= (m_row->t + kMinute) * 1000)
        close(out);
    return out;
}

std::optional<ArchiveRow> MinuteBuilder::flush(std::int64_t utcMs, std::int64_t monoMs)
{
    std::vector<ArchiveRow> out = advance(utcMs, monoMs);
    close(out);
    return out.empty() ? std::nullopt : std::optional<ArchiveRow>(out.back());
}

std::vector<ArchiveRow> MinuteBuilder::dropped(std::int64_t utcMs, std::int64_t monoMs, long long count)
{
    std::vector<ArchiveRow> out = advance(utcMs, monoMs);
    const std::int64_t minute = floorDiv(utcMs, kMinuteMs) * kMinute;
    if (m_row) {
        m_row->rejected += count;
        return out;
    }
    if (m_rejectedMinute != minute)
        m_rejected = 0;
    m_rejectedMinute = minute;
    m_rejected += count;
    return out;
}

std::vector<ArchiveRow> MinuteBuilder::energy(std::int64_t utcMs, std::int64_t monoMs, int utcOffset,
                                              double wattHours)
{
    std::vector<ArchiveRow> out = advance(utcMs, monoMs);
    if (wattHours == 0 || !std::isfinite(wattHours))
        return out;
    if (!m_row)
        open(utcMs, utcOffset);
    m_row->energyWh += wattHours;
    return out;
}

std::vector<ArchiveRow> MinuteBuilder::frame(std::int64_t utcMs, std::int64_t monoMs, int utcOffset,
                                             const RawReading &raw, const Reading &reading,
                                             std::string_view windUnitShown)
{
    if (!isLive(raw))
        return dropped(utcMs, monoMs, 1);
    std::vector<ArchiveRow> out = advance(utcMs, monoMs);
    if (!m_row)
        open(utcMs, utcOffset);
    m_lastLive = utcMs;
    m_loadOn = reading.Mode == 1;
    ++m_row->frames;
    m_row->volts.add(reading.Volts);
    m_row->amps.add(reading.Amps);
    m_row->watts.add(reading.Watts);
    if (raw.rpmRead)
        m_row->rpm.add(reading.RPM);
    if (raw.windRead) {
        const WindUnit unit = windUnit(windUnitShown);
        const std::string shown(windUnitShown);
        // One unit in a minute: after a change of unit the new one starts over.
        if (m_row->wind.n && m_row->windUnit != shown)
            m_row->wind = Spread();
        m_row->windUnit = shown;
        m_row->wind.add(unit.known() ? reading.WindSpeed * *unit.toMetresPerSecond : reading.WindSpeed);
    }
    return out;
}

} // namespace core

namespace core {

std::string archiveSettingsText(const ArchiveSettings &s)
{
    return tagLine("MinuteDays", std::to_string(s.minuteDays));
}

Retention::Cut Retention::next(std::int64_t wall, double monoSeconds, std::optional<std::int64_t> newestMinute,
                               int minuteDays)
{
    Cut cut;
    if (!m_reference) {
        m_mono = monoSeconds;
        if (newestMinute && wall > *newestMinute + 86400) {
            m_reference = *newestMinute;
            cut.clockAhead = true;
            return cut;
        }
        m_reference = wall;
    } else {
        const auto passed = std::int64_t(std::max(0.0, monoSeconds - m_mono));
        m_mono += double(passed); // the fraction counts next time
        // Never back: a clock set back lets nothing go that was let go before.
        m_reference = std::clamp(wall, *m_reference, *m_reference + passed);
    }
    if (minuteDays > 0)
        cut.before = *m_reference - std::int64_t(minuteDays) * 86400;
    return cut;
}

ArchiveSettings readArchiveSettings(std::string_view text)
{
    ArchiveSettings s;
    if (const auto value = tagValue(text, "MinuteDays"))
        if (const auto days = readNumber(*value); days && *days >= 0 && *days <= 100000 && *days == std::floor(*days))
            s.minuteDays = int(*days);
    return s;
}

} // namespace core

namespace core {

std::string archiveCsvHeader()
{
    return "time,minutes,imported,frames,rejected,volts_mean_V,volts_min_V,volts_max_V,amps_mean_A,amps_min_A,"
           "amps_max_A,watts_mean_W,watts_min_W,watts_max_W,rpm_mean,rpm_min,rpm_max,wind_mean,wind_min,wind_max,"
           "wind_unit,energy_Wh,load_on_s,no_data_s\n";
}

std::string archiveCsvLine(const ArchiveRow &r)
{
    const auto number = [](double v, int decimals) { return dotNumberText(roundHalfEven(v, decimals)); };
    std::string line = isoLocalTime(r.t, r.utcOffset) + "," + std::to_string(r.minutes) + ","
                       + std::to_string(r.imported) + "," + std::to_string(r.frames) + ","
                       + std::to_string(r.rejected);
    const std::pair<const Spread *, int> spreads[] = {{&r.volts, 2}, {&r.amps, 2}, {&r.watts, 2}, {&r.rpm, 1},
                                                      {&r.wind, 3}};
    for (const auto &[s, decimals] : spreads) {
        if (!s->n) {
            line += ",,,";
            continue;
        }
        line += "," + number(s->mean(), decimals) + "," + number(s->min, decimals) + "," + number(s->max, decimals);
    }
    const WindUnit unit = windUnit(r.windUnit);
    line += "," + std::string(r.wind.n ? (unit.known() ? std::string("m/s") : unit.name) : std::string());
    line += "," + number(r.energyWh, 3) + "," + number(r.loadSeconds, 0) + "," + number(r.noDataSeconds, 0) + "\n";
    return line;
}

} // namespace core
