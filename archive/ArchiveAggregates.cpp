// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's aggregates for the analyses that would otherwise read years
// of minutes: the wind's tallies (by month, by wind in thousandths of m/s,
// the gust of each hour) and the performance's sums by day, changed in the
// minute's transaction, made again when their rules change, read whole.
//
// The wind follows the minutes kept exactly as a read of the rows would:
// where minutes go, their hour summary stands for them once the hour keeps
// none. The performance's days stay as they were made.
#include "ArchiveDb.h"
#include "Statement.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <map>
#include <set>

namespace archive {

namespace {

constexpr std::int64_t kLowest = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kHighest = std::numeric_limits<std::int64_t>::max();

std::int64_t hourOf(const core::ArchiveRow &r) { return core::localHourStart(r.t, r.utcOffset); }

// A minute's wind as a read of the wind alone gives it: its mean as one
// value at the archive's resolution, whatever its frames.
core::ArchiveRow windOf(const core::ArchiveRow &minute)
{
    core::ArchiveRow w = minute;
    if (w.wind.n) {
        w.wind.sum = double(std::llround(w.wind.mean() * 1000)) / 1000;
        w.wind.n = 1;
    }
    return w;
}

} // namespace

// Changes to the wind's tables gathered before they are written.
struct WindChange {
    struct Month {
        long long minutes = 0, fromHours = 0, otherUnit = 0;
        double sum = 0;
    };
    std::map<int, Month> months;
    std::map<long, long long> mille;
    // The highest gust by hour, to raise the kept one to; `replace`: to take
    // its place (an hour summary standing for its minutes).
    std::map<std::int64_t, core::WindGust> gusts;
    bool replace = false;

    void add(const core::WindPart &p, bool hour, int sign, std::int64_t hourKey)
    {
        if (p.minutes > 0 || p.otherUnit > 0) {
            Month &m = months[p.month];
            const auto minutes = (long long)p.minutes;
            m.minutes += sign * minutes;
            m.sum += sign * p.wind * p.minutes;
            m.fromHours += hour ? sign * minutes : 0;
            m.otherUnit += sign * (long long)p.otherUnit;
            if (p.minutes > 0)
                mille[p.mille()] += sign * minutes;
        }
        if (sign > 0 && p.gust) {
            const auto [at, made] = gusts.emplace(hourKey, *p.gust);
            if (!made
                && (p.gust->wind > at->second.wind
                    || (p.gust->wind == at->second.wind && p.gust->t < at->second.t)))
                at->second = *p.gust;
        }
    }
};

bool ArchiveDb::writeWind(const WindChange &c)
{
    for (const auto &[month, m] : c.months) {
        Statement s(cached(
            "INSERT INTO wind_month VALUES(?,?,?,?,?) ON CONFLICT(month) DO UPDATE SET "
            "minutes = minutes + excluded.minutes, wind_sum = wind_sum + excluded.wind_sum, "
            "from_hours = from_hours + excluded.from_hours, other_unit = other_unit + excluded.other_unit"));
        if (!s.ok())
            return fail("write");
        s.bind(1, std::int64_t(month));
        s.bind(2, std::int64_t(m.minutes));
        s.bind(3, m.sum);
        s.bind(4, std::int64_t(m.fromHours));
        s.bind(5, std::int64_t(m.otherUnit));
        if (s.step() != SQLITE_DONE)
            return fail("write");
    }
    for (const auto &[mille, minutes] : c.mille) {
        Statement s(cached("INSERT INTO wind_mille VALUES(?,?) ON CONFLICT(mille) DO UPDATE SET "
                           "minutes = minutes + excluded.minutes"));
        if (!s.ok())
            return fail("write");
        s.bind(1, std::int64_t(mille));
        s.bind(2, std::int64_t(minutes));
        if (s.step() != SQLITE_DONE)
            return fail("write");
    }
    for (const auto &[hour, g] : c.gusts) {
        // Ties keep the earlier gust, as a read oldest first would.
        Statement s(cached(c.replace ? "INSERT OR REPLACE INTO wind_gust VALUES(?,?,?,?)"
                                     : "INSERT INTO wind_gust VALUES(?,?,?,?) ON CONFLICT(hour) DO UPDATE SET "
                                       "wind = excluded.wind, t = excluded.t, utc_offset = excluded.utc_offset "
                                       "WHERE excluded.wind > wind OR (excluded.wind = wind AND excluded.t < t)"));
        if (!s.ok())
            return fail("write");
        s.bind(1, hour);
        s.bind(2, g.wind);
        s.bind(3, g.t);
        s.bind(4, std::int64_t(g.utcOffset));
        if (s.step() != SQLITE_DONE)
            return fail("write");
    }
    return true;
}

bool ArchiveDb::gustAgain(std::int64_t hourKey, std::int64_t from)
{
    std::optional<core::WindGust> best;
    if (!eachWind(Step::Minute, std::max(hourKey, from), hourKey + 3600, [&](const core::ArchiveRow &r) {
            const core::WindPart p = core::windPart(r, false);
            if (p.gust && (!best || p.gust->wind > best->wind))
                best = p.gust;
            return true;
        }))
        return false;
    if (best) {
        WindChange c;
        c.replace = true;
        c.gusts.emplace(hourKey, *best);
        return writeWind(c);
    }
    Statement s(cached("DELETE FROM wind_gust WHERE hour = ?"));
    s.bind(1, hourKey);
    return (s.ok() && s.step() == SQLITE_DONE) || fail("write");
}

bool ArchiveDb::aggregate(const core::ArchiveRow &minute, int sign)
{
    WindChange c;
    c.add(core::windPart(windOf(minute), false), false, sign, hourOf(minute));
    if (!writeWind(c) || (sign < 0 && !gustAgain(hourOf(minute), kLowest)))
        return false;
    const auto part = m_performance ? m_performance->part(minute) : std::nullopt;
    if (!part)
        return true;
    const auto &[day, sums] = *part;
    core::ArchiveRow start;
    placeDay(start, day);
    Statement s(cached("INSERT INTO perf_day VALUES(?,?,?,?,?,?) ON CONFLICT(day) DO UPDATE SET "
                       "measured_wh = measured_wh + excluded.measured_wh, certified_wh = certified_wh + "
                       "excluded.certified_wh, minutes = minutes + excluded.minutes, windy_minutes = "
                       "windy_minutes + excluded.windy_minutes"));
    if (!s.ok())
        return fail("write");
    s.bind(1, std::int64_t(day));
    s.bind(2, start.t);
    s.bind(3, sign * sums.measuredWh);
    s.bind(4, sign * sums.certifiedWh);
    s.bind(5, std::int64_t(sign * sums.minutes));
    s.bind(6, std::int64_t(sign * sums.windyMinutes));
    return s.step() == SQLITE_DONE || fail("write");
}

bool ArchiveDb::windLetsGo(std::int64_t t)
{
    std::optional<std::int64_t> firstKept;
    {
        Statement s(cached("SELECT min(t) FROM minute WHERE t >= ?"));
        s.bind(1, t);
        if (!s.ok() || s.step() != SQLITE_ROW)
            return fail("forget");
        if (!s.null(0))
            firstKept = s.integer(0);
    }
    WindChange out;
    std::set<std::int64_t> hours;
    if (!eachWind(Step::Minute, kLowest, t, [&](const core::ArchiveRow &r) {
            out.add(core::windPart(r, false), false, -1, hourOf(r));
            hours.insert(hourOf(r));
            return true;
        }))
        return false;
    // An hour left without a minute stands for them with its summary; one
    // that keeps some counts those alone.
    WindChange in;
    in.replace = true;
    std::vector<std::int64_t> partial;
    for (const std::int64_t h : hours) {
        if (firstKept && h + 3600 > *firstKept) {
            partial.push_back(h);
            continue;
        }
        const auto summary = row(Step::Hour, h);
        if (!summary)
            continue;
        const core::WindPart p = core::windPart(*summary, true);
        in.add(p, true, 1, h);
        if (!p.gust) {
            Statement s(cached("DELETE FROM wind_gust WHERE hour = ?"));
            s.bind(1, h);
            if (!s.ok() || s.step() != SQLITE_DONE)
                return fail("forget");
        }
    }
    if (!writeWind(out) || !writeWind(in))
        return false;
    for (const std::int64_t h : partial)
        if (!gustAgain(h, t))
            return false;
    return true;
}

bool ArchiveDb::windAgain()
{
    if (!exec("DELETE FROM wind_month; DELETE FROM wind_mille; DELETE FROM wind_gust;"))
        return false;
    WindChange c;
    std::set<std::int64_t> kept;
    // Hours that keep none of their minutes stand for them; the others count
    // the minutes they keep.
    if (!eachWind(Step::Minute, kLowest, kHighest,
                  [&](const core::ArchiveRow &r) {
                      c.add(core::windPart(r, false), false, 1, hourOf(r));
                      kept.insert(hourOf(r));
                      return true;
                  })
        || !eachWind(Step::Hour, kLowest, kHighest, [&](const core::ArchiveRow &h) {
               if (!kept.count(h.t))
                   c.add(core::windPart(h, true), true, 1, h.t);
               return true;
           }))
        return false;
    return writeWind(c) && setMeta("wind_rules", core::windTallyKey());
}

bool ArchiveDb::windApplied()
{
    if (m_windApplied || meta("wind_rules") == core::windTallyKey())
        return m_windApplied = true;
    return m_windApplied = transaction("BEGIN IMMEDIATE", [&] { return windAgain(); });
}

std::optional<core::WindTally> ArchiveDb::windTally()
{
    m_error.clear();
    if (m_version < 6)
        return std::nullopt;
    core::WindTally tally;
    bool made = false;
    // One snapshot for all three, while a writer goes on.
    const bool read = transaction("BEGIN", [&] {
        if (meta("wind_rules") != core::windTallyKey())
            return true;
        made = true;
        Statement months(m_db,
                         "SELECT month, minutes, wind_sum, from_hours, other_unit FROM wind_month ORDER BY month");
        int rc = SQLITE_ERROR;
        while (months.ok() && (rc = months.step()) == SQLITE_ROW)
            tally.addMonth(int(months.integer(0)), double(months.integer(1)), months.real(2),
                           double(months.integer(3)), double(months.integer(4)));
        if (rc != SQLITE_DONE)
            return fail("read");
        Statement mille(m_db, "SELECT mille, minutes FROM wind_mille");
        rc = SQLITE_ERROR;
        while (mille.ok() && (rc = mille.step()) == SQLITE_ROW)
            tally.addMille(long(mille.integer(0)), double(mille.integer(1)));
        if (rc != SQLITE_DONE)
            return fail("read");
        Statement gust(m_db, "SELECT wind, t, utc_offset FROM wind_gust ORDER BY wind DESC, t LIMIT 1");
        if (!gust.ok() || ((rc = gust.step()) != SQLITE_ROW && rc != SQLITE_DONE))
            return fail("read");
        if (rc == SQLITE_ROW)
            tally.addGust(gust.real(0), gust.integer(1), int(gust.integer(2)));
        return true;
    });
    if (!read || !made)
        return std::nullopt;
    return tally;
}

bool ArchiveDb::performanceAgain(const core::PerformanceBook &book)
{
    const bool madeBefore = !meta("perf_rules").value_or("").empty();
    // Made before: the days from the first one that keeps all its minutes
    // are made again; those before keep what they were made with.
    int from = 0;
    std::int64_t fromT = kLowest;
    if (madeBefore) {
        const auto span = minuteSpan();
        if (!span && !m_error.isEmpty())
            return false;
        if (span) {
            const auto first = row(Step::Minute, span->first);
            if (!first)
                return fail("read");
            from = core::localDayKey(first->t, first->utcOffset);
            core::ArchiveRow day;
            placeDay(day, from);
            const QDate date(from / 10000, from / 100 % 100, from % 100);
            const std::int64_t end = date.addDays(1).startOfDay().toSecsSinceEpoch();
            long long kept = 0;
            if (!each(Step::Minute, day.t, end, [&](const core::ArchiveRow &) { return ++kept > 0; }))
                return false;
            const auto summary = row(Step::Day, from);
            fromT = day.t;
            if (summary && summary->minutes != kept) {
                const QDate next = date.addDays(1);
                from = next.year() * 10000 + next.month() * 100 + next.day();
                fromT = end;
            }
        } else {
            Statement s(m_db, "SELECT max(day) FROM perf_day");
            if (!s.ok() || s.step() != SQLITE_ROW)
                return fail("read");
            const int last = int(s.integer(0));
            const QDate next = QDate(last / 10000, last / 100 % 100, last % 100).addDays(1);
            from = s.null(0) ? 0 : next.year() * 10000 + next.month() * 100 + next.day();
            fromT = kHighest;
        }
    }
    {
        Statement s(m_db, "DELETE FROM perf_day WHERE day >= ?");
        s.bind(1, std::int64_t(from));
        if (!s.ok() || s.step() != SQLITE_DONE)
            return fail("write");
    }
    // Summed in the minutes' order, as a read of them would.
    std::map<int, core::PerformanceSums> days;
    if (fromT != kHighest && !each(Step::Minute, fromT, kHighest, [&](const core::ArchiveRow &m) {
            if (const auto p = book.part(m))
                days[p->first].add(p->second);
            return true;
        }))
        return false;
    for (const auto &[day, sums] : days) {
        core::ArchiveRow start;
        placeDay(start, day);
        Statement s(m_db, "INSERT OR REPLACE INTO perf_day VALUES(?,?,?,?,?,?)");
        s.bind(1, std::int64_t(day));
        s.bind(2, start.t);
        s.bind(3, sums.measuredWh);
        s.bind(4, sums.certifiedWh);
        s.bind(5, std::int64_t(sums.minutes));
        s.bind(6, std::int64_t(sums.windyMinutes));
        if (!s.ok() || s.step() != SQLITE_DONE)
            return fail("write");
    }
    return setMeta("perf_rules", book.key()) && setMeta("perf_from", std::to_string(from));
}

bool ArchiveDb::setPerformanceRules(const std::vector<core::CurvePoint> &certified, const core::CurveRules &rules)
{
    m_performance = core::PerformanceBook(certified, rules);
    m_performanceApplied = false;
    if (meta("perf_rules") == m_performance->key())
        return m_performanceApplied = true;
    return m_performanceApplied = transaction("BEGIN IMMEDIATE", [&] { return performanceAgain(*m_performance); });
}

int ArchiveDb::performanceFrom()
{
    return m_version >= 6 ? std::atoi(meta("perf_from").value_or("0").c_str()) : 0;
}

std::optional<std::map<int, ArchiveDb::PerformanceDay>>
ArchiveDb::performanceDays(const core::PerformanceBook &book)
{
    m_error.clear();
    if (m_version < 6)
        return std::nullopt;
    std::map<int, PerformanceDay> days;
    bool made = false;
    const bool read = transaction("BEGIN", [&] {
        if (meta("perf_rules") != book.key())
            return true;
        made = true;
        Statement s(m_db, "SELECT day, t, measured_wh, certified_wh, minutes, windy_minutes FROM perf_day");
        int rc = SQLITE_ERROR;
        while (s.ok() && (rc = s.step()) == SQLITE_ROW) {
            PerformanceDay &d = days[int(s.integer(0))];
            d.t = s.integer(1);
            d.sums.measuredWh = s.real(2);
            d.sums.certifiedWh = s.real(3);
            d.sums.minutes = s.integer(4);
            d.sums.windyMinutes = s.integer(5);
        }
        return rc == SQLITE_DONE || fail("read");
    });
    if (!read || !made)
        return std::nullopt;
    return days;
}

} // namespace archive
