// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's availability: each minute's category tallied by hour beside
// the summaries (and the lost causes' minutes by wind bin), kept in the
// minute's transaction, made again when the rules change, read by day.
#include "ArchiveDb.h"
#include "Statement.h"

#include <algorithm>
#include <cstdint>
#include <deque>

namespace archive {

namespace {
// The energy a lost minute would have made is priced by its wind bin; an
// imported minute's wind is a maximum, and is not priced.
std::optional<int> binOf(const core::ArchiveRow &m, core::Category c, const core::CurveRules &rules)
{
    if (!core::losesEnergy(c) || m.imported)
        return std::nullopt;
    return core::lostBinOf(m, rules);
}

std::int64_t hourOf(const core::ArchiveRow &m) { return core::localHourStart(m.t, m.utcOffset); }
} // namespace

std::string ArchiveDb::availabilityKey() { return m_version >= 4 ? meta("avail_rules").value_or("") : ""; }

bool ArchiveDb::tally(const core::ArchiveRow &m, core::Category c, int sign)
{
    Statement s(cached("INSERT INTO avail_hour VALUES(?,?,?,?,?) ON CONFLICT(t, category) DO UPDATE SET "
                       "minutes = minutes + excluded.minutes, energy_wh = energy_wh + excluded.energy_wh"));
    if (!s.ok())
        return fail("write");
    s.bind(1, hourOf(m));
    s.bind(2, std::int64_t(m.utcOffset));
    s.bind(3, std::int64_t(c));
    s.bind(4, std::int64_t(sign));
    s.bind(5, sign * m.energyWh);
    if (s.step() != SQLITE_DONE)
        return fail("write");
    const auto bin = binOf(m, c, m_availability->curve);
    if (!bin)
        return true;
    Statement l(cached("INSERT INTO avail_lost VALUES(?,?,?,?,?) ON CONFLICT(t, category, bin) DO UPDATE SET "
                       "minutes = minutes + excluded.minutes"));
    if (!l.ok())
        return fail("write");
    l.bind(1, hourOf(m));
    l.bind(2, std::int64_t(m.utcOffset));
    l.bind(3, std::int64_t(c));
    l.bind(4, std::int64_t(*bin));
    l.bind(5, std::int64_t(sign));
    return l.step() == SQLITE_DONE || fail("write");
}

bool ArchiveDb::classMinute(const std::optional<core::ArchiveRow> &old, const core::ArchiveRow &stored)
{
    const std::int64_t t = stored.t;
    std::vector<core::ArchiveRow> before;
    if (!each(Step::Minute, t - core::kRunMinutes * 60, t, [&](const core::ArchiveRow &r) {
            before.push_back(r);
            return true;
        }))
        return false;
    core::MinuteClasser classer(*m_availability);
    classer.resume(before);
    std::optional<core::MinuteClasser::Classed> was;
    if (old) {
        core::MinuteClasser then = classer;
        was = then.add(*old);
    }
    const core::MinuteClasser::Classed now = classer.add(stored);
    if ((was && !tally(*old, was->category, -1)) || !tally(stored, now.category, 1))
        return false;
    // The earlier minutes of a run this minute made long enough (or, written
    // again, no longer makes) move between generating and the run's cause.
    const auto move = [&](const std::vector<std::int64_t> &times, core::Category from, core::Category to) {
        for (const std::int64_t m : times) {
            const auto r = std::find_if(before.begin(), before.end(), [m](const core::ArchiveRow &b) { return b.t == m; });
            // Sent again with its new category.
            if (r != before.end() && (!tally(*r, from, -1) || !tally(*r, to, 1) || !stamp(Step::Minute, m)))
                return false;
        }
        return true;
    };
    const bool same = was && was->category == now.category && was->moved == now.moved;
    if (same)
        return true;
    if (was && !was->moved.empty() && !move(was->moved, was->category, core::Category::Generating))
        return false;
    return move(now.moved, core::Category::Generating, now.category);
}

bool ArchiveDb::writeTallies(const std::map<std::int64_t, std::pair<int, core::AvailabilityTally>> &hours)
{
    for (const auto &[hour, kept] : hours) {
        const auto &[offset, t] = kept;
        for (const core::Category c : core::kAllCategories) {
            if (!t.minutes[size_t(c)] && !t.energyWh[size_t(c)])
                continue;
            Statement s(cached("INSERT OR REPLACE INTO avail_hour VALUES(?,?,?,?,?)"));
            s.bind(1, hour);
            s.bind(2, std::int64_t(offset));
            s.bind(3, std::int64_t(c));
            s.bind(4, std::int64_t(t.minutes[size_t(c)]));
            s.bind(5, t.energyWh[size_t(c)]);
            if (!s.ok() || s.step() != SQLITE_DONE)
                return fail("write");
        }
        for (const auto &[key, n] : t.lost) {
            if (!n)
                continue;
            Statement s(cached("INSERT OR REPLACE INTO avail_lost VALUES(?,?,?,?,?)"));
            s.bind(1, hour);
            s.bind(2, std::int64_t(offset));
            s.bind(3, std::int64_t(key.first));
            s.bind(4, std::int64_t(key.second));
            s.bind(5, std::int64_t(n));
            if (!s.ok() || s.step() != SQLITE_DONE)
                return fail("write");
        }
    }
    return true;
}

bool ArchiveDb::classAgain(const core::AvailabilityRules &rules)
{
    m_availability = rules;
    const auto span = minuteSpan();
    if (span) {
        // From the first hour that kept all its minutes: the hours before it
        // keep the tallies they were made with.
        const auto first = row(Step::Minute, span->first);
        if (!first)
            return fail("read");
        std::int64_t from = hourOf(*first);
        long long kept = 0;
        if (!each(Step::Minute, from, from + 3600, [&](const core::ArchiveRow &) { return ++kept > 0; }))
            return false;
        const auto summary = row(Step::Hour, from);
        if (summary && summary->minutes != kept)
            from += 3600;
        Statement hours(m_db, "DELETE FROM avail_hour WHERE t >= ?"), lost(m_db, "DELETE FROM avail_lost WHERE t >= ?");
        hours.bind(1, from);
        lost.bind(1, from);
        if (!hours.ok() || !lost.ok() || hours.step() != SQLITE_DONE || lost.step() != SQLITE_DONE)
            return fail("write");

        std::map<std::int64_t, std::pair<int, core::AvailabilityTally>> made;
        const auto count = [&](const core::ArchiveRow &m, core::Category c, int sign) {
            auto &[offset, t] = made[hourOf(m)];
            offset = m.utcOffset;
            t.count(c, m.energyWh, binOf(m, c, rules.curve), sign);
        };
        core::MinuteClasser classer(rules);
        std::deque<core::ArchiveRow> recent; // the run's earlier minutes
        if (!each(Step::Minute, from, INT64_MAX, [&](const core::ArchiveRow &m) {
                const auto c = classer.add(m);
                count(m, c.category, 1);
                for (const core::ArchiveRow &r : recent)
                    if (std::find(c.moved.begin(), c.moved.end(), r.t) != c.moved.end()) {
                        count(r, core::Category::Generating, -1);
                        count(r, c.category, 1);
                    }
                recent.push_back(m);
                if (recent.size() > size_t(core::kRunMinutes))
                    recent.pop_front();
                return true;
            })
            || !writeTallies(made))
            return false;
    }
    return setMeta("avail_rules", rules.key());
}

bool ArchiveDb::setAvailabilityRules(const core::AvailabilityRules &rules)
{
    m_availability = rules;
    m_availabilityApplied = false;
    if (meta("avail_rules") == rules.key())
        return m_availabilityApplied = true;
    return m_availabilityApplied = transaction("BEGIN IMMEDIATE", [&] { return classAgain(rules); });
}

std::optional<std::map<int, core::AvailabilityTally>> ArchiveDb::availabilityDays(std::int64_t from, std::int64_t to)
{
    std::map<int, core::AvailabilityTally> days;
    if (m_version < 4)
        return days;
    const auto category = [](std::int64_t c) -> std::optional<core::Category> {
        if (c < 0 || c >= core::kCategories)
            return std::nullopt;
        return core::Category(c);
    };
    {
        Statement s(m_db, "SELECT t, utc_offset, category, minutes, energy_wh FROM avail_hour WHERE t >= ? AND t < ?");
        s.bind(1, from);
        s.bind(2, to);
        int rc = SQLITE_ERROR;
        while (s.ok() && (rc = s.step()) == SQLITE_ROW)
            if (const auto c = category(s.integer(2))) {
                core::AvailabilityTally &d = days[core::localDayKey(s.integer(0), int(s.integer(1)))];
                d.minutes[size_t(*c)] += s.integer(3);
                d.energyWh[size_t(*c)] += s.real(4);
            }
        if (rc != SQLITE_DONE) {
            fail("read");
            return std::nullopt;
        }
    }
    Statement s(m_db, "SELECT t, utc_offset, category, bin, minutes FROM avail_lost WHERE t >= ? AND t < ?");
    s.bind(1, from);
    s.bind(2, to);
    int rc = SQLITE_ERROR;
    while (s.ok() && (rc = s.step()) == SQLITE_ROW) {
        const auto c = category(s.integer(2));
        const std::int64_t bin = s.integer(3);
        if (c && bin >= 0 && bin < core::PowerCurve::kBins)
            days[core::localDayKey(s.integer(0), int(s.integer(1)))].lost[{*c, int(bin)}] += s.integer(4);
    }
    if (rc != SQLITE_DONE) {
        fail("read");
        return std::nullopt;
    }
    return days;
}

} // namespace archive
