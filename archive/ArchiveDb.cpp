// SPDX-License-Identifier: GPL-3.0-or-later
#include "ArchiveDb.h"
#include "Columns.h"
#include "Statement.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace archive {

void placeDay(core::ArchiveRow &day, int dayKey)
{
    const QDateTime start = QDate(dayKey / 10000, dayKey / 100 % 100, dayKey % 100).startOfDay();
    day.t = start.toSecsSinceEpoch();
    day.utcOffset = start.offsetFromUtc();
}

ArchiveDb::~ArchiveDb() { close(); }

sqlite3_stmt *ArchiveDb::cached(const std::string &sql)
{
    const auto found = m_cache.find(sql);
    if (found != m_cache.end())
        return found->second;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v3(m_db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    m_cache.emplace(sql, stmt);
    return stmt;
}

void ArchiveDb::close()
{
    for (auto &kept : m_cache)
        sqlite3_finalize(kept.second);
    m_cache.clear();
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool ArchiveDb::fail(const char *what)
{
    const int code = m_db ? sqlite3_extended_errcode(m_db) : SQLITE_CANTOPEN;
    m_damaged = (code & 0xff) == SQLITE_NOTADB || (code & 0xff) == SQLITE_CORRUPT;
    m_full = (code & 0xff) == SQLITE_FULL || code == SQLITE_IOERR_WRITE || code == SQLITE_IOERR_FSYNC
             || code == SQLITE_IOERR_SHMSIZE || code == SQLITE_IOERR_TRUNCATE;
    m_error = QStringLiteral("%1: %2").arg(QString::fromUtf8(what),
                                           QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "cannot open"));
    return false;
}

bool ArchiveDb::transaction(const char *begin, const std::function<bool()> &work)
{
    if (!exec(begin))
        return false;
    if (work() && exec("COMMIT"))
        return true;
    const QString error = m_error;
    const bool full = m_full;
    exec("ROLLBACK");
    m_error = error;
    m_full = full;
    return false;
}

bool ArchiveDb::exec(const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    sqlite3_free(message);
    return fail(sql);
}

bool ArchiveDb::put(Step step, const core::ArchiveRow &r)
{
    const bool minute = step == Step::Minute;
    const std::string columns = minute ? minuteColumns() : summaryColumns();
    const std::string key = step == Step::Day ? "day, t, " : "t, ";
    const std::string sql = std::string("INSERT OR REPLACE INTO ") + tableOf(step) + "(" + key + columns
                            + ") VALUES(" + placeholders(columnCount(columns) + (step == Step::Day ? 2 : 1)) + ")";
    Statement s(cached(sql));
    if (!s.ok())
        return fail("write");
    int i = 1;
    if (step == Step::Day)
        s.bind(i++, std::int64_t(core::localDayKey(r.t, r.utcOffset)));
    s.bind(i++, r.t);
    s.bind(i++, std::int64_t(r.utcOffset));
    if (minute) {
        s.bind(i++, std::int64_t(r.frames));
        s.bind(i++, std::int64_t(r.rejected));
        s.bind(i++, scaled(r.energyWh, 1000));
        s.bind(i++, std::int64_t(std::lround(r.loadSeconds)));
        s.bind(i++, std::int64_t(std::lround(r.noDataSeconds)));
        s.bind(i++, std::int64_t(r.imported ? 1 : 0));
        for (const Quantity &q : kQuantities) {
            const core::Spread &v = r.*q.spread;
            if (!v.n) {
                for (int k = 0; k < 3; ++k)
                    s.bindNull(i++);
                continue;
            }
            s.bind(i++, scaled(v.mean(), q.scale));
            s.bind(i++, scaled(v.min, q.scale));
            s.bind(i++, scaled(v.max, q.scale));
        }
    } else {
        s.bind(i++, std::int64_t(r.minutes));
        s.bind(i++, std::int64_t(r.imported));
        s.bind(i++, std::int64_t(r.frames));
        s.bind(i++, std::int64_t(r.rejected));
        s.bind(i++, r.energyWh);
        s.bind(i++, r.loadSeconds);
        s.bind(i++, r.noDataSeconds);
        for (const Quantity &q : kQuantities) {
            const core::Spread &v = r.*q.spread;
            s.bind(i++, std::int64_t(v.n));
            s.bind(i++, v.sum);
            s.bind(i++, v.min);
            s.bind(i++, v.max);
        }
    }
    if (r.windUnit.empty())
        s.bindNull(i++);
    else
        s.bind(i++, r.windUnit);
    if (s.step() != SQLITE_DONE)
        return fail("write");
    if (step == Step::Hour)
        return true;
    return stamp(step, step == Step::Day ? std::int64_t(core::localDayKey(r.t, r.utcOffset)) : r.t);
}

core::ArchiveRow readRow(const Statement &s, bool minute)
{
    core::ArchiveRow r;
    int i = 0;
    r.t = s.integer(i++);
    r.utcOffset = int(s.integer(i++));
    if (minute) {
        r.minutes = 1;
        r.frames = s.integer(i++);
        r.rejected = s.integer(i++);
        r.energyWh = double(s.integer(i++)) / 1000;
        r.loadSeconds = double(s.integer(i++));
        r.noDataSeconds = double(s.integer(i++));
        r.imported = s.integer(i++) ? 1 : 0;
        for (const Quantity &q : kQuantities) {
            core::Spread &v = r.*q.spread;
            if (s.null(i)) {
                i += 3;
                continue;
            }
            // Each value of the minute counts as one of its frames.
            v.n = std::max<long long>(r.frames, 1);
            v.sum = double(s.integer(i++)) / q.scale * double(v.n);
            v.min = double(s.integer(i++)) / q.scale;
            v.max = double(s.integer(i++)) / q.scale;
        }
    } else {
        r.minutes = s.integer(i++);
        r.imported = s.integer(i++);
        r.frames = s.integer(i++);
        r.rejected = s.integer(i++);
        r.energyWh = s.real(i++);
        r.loadSeconds = s.real(i++);
        r.noDataSeconds = s.real(i++);
        for (const Quantity &q : kQuantities) {
            core::Spread &v = r.*q.spread;
            v.n = s.integer(i++);
            v.sum = s.real(i++);
            v.min = s.real(i++);
            v.max = s.real(i++);
        }
    }
    r.windUnit = s.text(i);
    return r;
}

namespace {
// Each row of `step` with from <= t < to, oldest first, handed to `take`
// without holding them all; `take` returns false to stop.
template <typename Take>
bool eachRow(sqlite3 *db, Step step, std::int64_t from, std::int64_t to, Take take)
{
    const bool minute = step == Step::Minute;
    const std::string sql = "SELECT t, " + (minute ? minuteColumns() : summaryColumns()) + " FROM " + tableOf(step)
                            + " WHERE t >= ? AND t < ? ORDER BY t";
    Statement s(db, sql.c_str());
    if (!s.ok())
        return false;
    s.bind(1, from);
    s.bind(2, to);
    int rc;
    while ((rc = s.step()) == SQLITE_ROW)
        if (!take(readRow(s, minute)))
            return true;
    return rc == SQLITE_DONE;
}
} // namespace

bool ArchiveDb::each(Step step, std::int64_t from, std::int64_t to,
                     const std::function<bool(const core::ArchiveRow &)> &take)
{
    return eachRow(m_db, step, from, to, take) || fail("read");
}

std::vector<core::ArchiveRow> ArchiveDb::rows(Step step, std::int64_t from, std::int64_t to)
{
    std::vector<core::ArchiveRow> out;
    each(step, from, to, [&out](const core::ArchiveRow &r) {
        out.push_back(r);
        return true;
    });
    return out;
}

std::optional<core::ArchiveRow> ArchiveDb::row(Step step, std::int64_t t)
{
    const bool minute = step == Step::Minute;
    const std::string sql = "SELECT t, " + (minute ? minuteColumns() : summaryColumns()) + " FROM " + tableOf(step)
                            + (step == Step::Day ? " WHERE day = ?" : " WHERE t = ?");
    Statement s(cached(sql));
    if (!s.ok())
        return std::nullopt;
    s.bind(1, t);
    if (s.step() != SQLITE_ROW)
        return std::nullopt;
    return readRow(s, minute);
}

bool ArchiveDb::eachWind(Step step, std::int64_t from, std::int64_t to,
                         const std::function<bool(const core::ArchiveRow &)> &take)
{
    const bool minute = step == Step::Minute;
    const std::string sql = std::string("SELECT t, utc_offset, ")
                            + (minute ? "source, wind_mean, wind_max"
                                      : "minutes, imported, wind_n, wind_sum, wind_max")
                            + ", wind_unit FROM " + tableOf(step) + " WHERE t >= ? AND t < ? ORDER BY t";
    Statement s(m_db, sql.c_str());
    if (!s.ok())
        return fail("read");
    s.bind(1, from);
    s.bind(2, to);
    core::ArchiveRow r;
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
        r.t = s.integer(0);
        r.utcOffset = int(s.integer(1));
        r.wind = core::Spread();
        int unit;
        if (minute) {
            r.minutes = 1;
            r.imported = s.integer(2) ? 1 : 0;
            if (!s.null(3)) {
                // The mean as one value: the frames do not matter to it.
                r.wind.n = 1;
                r.wind.sum = double(s.integer(3)) / 1000;
                r.wind.max = double(s.integer(4)) / 1000;
            }
            unit = 5;
        } else {
            r.minutes = s.integer(2);
            r.imported = s.integer(3);
            r.wind.n = s.integer(4);
            r.wind.sum = s.real(5);
            r.wind.max = s.real(6);
            unit = 7;
        }
        // The unit changes seldom: copied only when it does.
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s.get(), unit));
        const size_t length = text ? size_t(sqlite3_column_bytes(s.get(), unit)) : 0;
        if (length != r.windUnit.size() || (length && std::memcmp(text, r.windUnit.data(), length) != 0))
            r.windUnit.assign(text ? text : "", length);
        if (!take(r))
            return true;
    }
    return rc == SQLITE_DONE || fail("read");
}

std::optional<std::pair<std::int64_t, std::int64_t>> ArchiveDb::span(Step step)
{
    // Each of its own: SQLite finds a lone min() or max() from the key's ends,
    // but both in one select scan the whole table.
    const std::string table = tableOf(step);
    const std::string sql = "SELECT (SELECT min(t) FROM " + table + "), (SELECT max(t) FROM " + table + ")";
    Statement s(m_db, sql.c_str());
    if (!s.ok() || s.step() != SQLITE_ROW || s.null(0)) {
        if (!s.ok())
            fail("read");
        return std::nullopt;
    }
    return std::pair{s.integer(0), s.integer(1)};
}

bool ArchiveDb::write(const core::ArchiveRow &minute)
{
    m_full = false;
    // Rules that could not be applied (a full disk) are tried again first.
    if (!rulesApplied())
        return false;
    return transaction("BEGIN IMMEDIATE", [&] { return writeMinute(minute); });
}

bool ArchiveDb::rulesApplied()
{
    if (!m_performance)
        m_performance = core::PerformanceBook({}, m_rules.value_or(core::CurveRules()));
    return (m_rulesApplied || setCurveRules(m_rules.value_or(core::CurveRules())))
           && (m_availabilityApplied || setAvailabilityRules(m_availability.value_or(core::AvailabilityRules())))
           && windApplied()
           && (m_performanceApplied || setPerformanceRules(m_performance->certified(), m_performance->rules()));
}

bool ArchiveDb::writeMinute(const core::ArchiveRow &minute)
{
    const auto old = row(Step::Minute, minute.t);
    // Read here, as another connection may have reset the curve.
    const bool inCurve = minute.t >= curveSince();
    // A measured minute takes the place of one imported from the daily logs
    // (whose values are interval maxima); one measured before takes the new
    // part in.
    const bool replaces = old && old->imported;
    // What the summaries gain: the new part, and for a minute already there
    // only the change of its time without data.
    core::ArchiveRow gain = minute;
    core::ArchiveRow stored = replaces ? minute : old ? core::mergeMinute(*old, minute) : minute;
    if (old) {
        gain.minutes = 0;
        gain.imported = 0;
        gain.noDataSeconds = stored.noDataSeconds - old->noDataSeconds;
    }
    const std::int64_t hourKey = core::localHourStart(minute.t, minute.utcOffset);
    const int dayKey = core::localDayKey(minute.t, minute.utcOffset);
    // The curve and the categories take the minute as it is stored (its
    // values at their resolution), so that making them again gives the same.
    auto derivedOk = [&] {
        const auto now = row(Step::Minute, minute.t);
        if (!now)
            return fail("read");
        if (inCurve && ((old && !applyToCurve(*old, -1)) || !applyToCurve(*now, 1)))
            return false;
        if ((old && !aggregate(*old, -1)) || !aggregate(*now, 1))
            return false;
        return classMinute(old, *now);
    };
    auto summariesOk = [&] {
        if (replaces)
            return put(Step::Minute, stored) && sumAgain(hourKey, dayKey);
        core::ArchiveRow hour = core::rollUp(row(Step::Hour, hourKey).value_or(core::ArchiveRow()), gain);
        hour.t = hourKey;
        core::ArchiveRow day = core::rollUp(row(Step::Day, dayKey).value_or(core::ArchiveRow()), gain);
        placeDay(day, dayKey);
        return put(Step::Minute, stored) && put(Step::Hour, hour) && put(Step::Day, day);
    };
    return summariesOk() && derivedOk();
}

bool ArchiveDb::sumAgain(std::int64_t hourKey, int dayKey)
{
    // The hour from its minutes, when it has kept them all; else it keeps
    // its count and takes the change of the additive parts.
    const auto stored = row(Step::Hour, hourKey);
    core::ArchiveRow hour;
    long long kept = 0;
    if (!eachRow(m_db, Step::Minute, hourKey, hourKey + 3600, [&](const core::ArchiveRow &m) {
            hour = core::rollUp(hour, m);
            return ++kept > 0;
        }))
        return fail("write");
    if (stored && stored->minutes != kept)
        return true; // its minutes were let go: nothing to mend by
    hour.t = hourKey;
    if (!put(Step::Hour, hour))
        return false;
    core::ArchiveRow day;
    placeDay(day, dayKey);
    const std::int64_t from = day.t;
    const QDate date(dayKey / 10000, dayKey / 100 % 100, dayKey % 100);
    const std::int64_t to = date.addDays(1).startOfDay().toSecsSinceEpoch();
    core::ArchiveRow sum;
    if (!eachRow(m_db, Step::Hour, from, to, [&](const core::ArchiveRow &h) {
            sum = core::rollUp(sum, h);
            return true;
        }))
        return fail("write");
    placeDay(sum, dayKey);
    return put(Step::Day, sum);
}

long long ArchiveDb::addImported(const std::vector<core::ArchiveRow> &minutes)
{
    m_full = false;
    if (minutes.empty())
        return 0;
    if (!rulesApplied())
        return -1;
    long long added = 0;
    const bool done = transaction("BEGIN IMMEDIATE", [&] {
        std::map<std::int64_t, core::ArchiveRow> days;
        bool ok = true;
        for (std::size_t i = 0; ok && i < minutes.size();) {
            // One hour at a time: its summary, and the minutes it keeps.
            const std::int64_t hourKey = core::localHourStart(minutes[i].t, minutes[i].utcOffset);
            std::size_t end = i;
            while (end < minutes.size() && core::localHourStart(minutes[end].t, minutes[end].utcOffset) == hourKey)
                ++end;
            std::vector<std::int64_t> kept;
            {
                Statement s(cached("SELECT t FROM minute WHERE t >= ? AND t < ? ORDER BY t"));
                if (!s.ok()) {
                    ok = fail("import");
                    break;
                }
                s.bind(1, hourKey);
                s.bind(2, hourKey + 3600);
                while (s.step() == SQLITE_ROW)
                    kept.push_back(s.integer(0));
            }
            const auto stored = row(Step::Hour, hourKey);
            if (stored && stored->minutes != (long long)kept.size()) {
                i = end;
                continue;
            }
            core::ArchiveRow hour = stored.value_or(core::ArchiveRow());
            bool changed = false;
            for (; ok && i < end; ++i) {
                const core::ArchiveRow &m = minutes[i];
                if (std::binary_search(kept.begin(), kept.end(), m.t))
                    continue;
                const std::int64_t dayKey = core::localDayKey(m.t, m.utcOffset);
                auto day = days.find(dayKey);
                if (day == days.end())
                    day = days.emplace(dayKey, row(Step::Day, dayKey).value_or(core::ArchiveRow())).first;
                core::ArchiveRow minute = m;
                minute.minutes = minute.imported = 1;
                hour = core::rollUp(hour, minute);
                day->second = core::rollUp(day->second, minute);
                ok = put(Step::Minute, minute);
                // Classed as stored, as when the tallies are made again.
                const auto stored = ok ? row(Step::Minute, minute.t) : std::nullopt;
                ok = stored && tally(*stored, core::minuteFits(*stored, *m_availability), 1) && aggregate(*stored, 1);
                changed = true;
                ++added;
            }
            if (ok && changed) {
                hour.t = hourKey;
                ok = put(Step::Hour, hour);
            }
        }
        for (auto &[key, day] : days) {
            if (!ok)
                break;
            placeDay(day, int(key));
            ok = put(Step::Day, day);
        }
        return ok;
    });
    return done ? added : -1;
}

bool ArchiveDb::forgetMinutesBefore(std::int64_t t, std::optional<std::int64_t> sentUpTo)
{
    // Tallies not made yet are made later from the minutes kept and the hours.
    const bool wind = windApplied();
    return transaction("BEGIN IMMEDIATE", [&] {
        if ((sentUpTo && !countUnsent(t, *sentUpTo)) || (wind && !windLetsGo(t)))
            return false;
        Statement s(m_db, "DELETE FROM minute WHERE t < ?");
        if (!s.ok())
            return fail("forget");
        s.bind(1, t);
        return s.step() == SQLITE_DONE || fail("forget");
    });
}

std::optional<std::pair<std::int64_t, std::int64_t>> ArchiveDb::minuteSpan()
{
    Statement s(cached("SELECT min(t), max(t), count(*) FROM minute"));
    if (!s.ok() || s.step() != SQLITE_ROW) {
        fail("read");
        return std::nullopt;
    }
    if (s.integer(2) == 0)
        return std::nullopt;
    return std::pair{s.integer(0), s.integer(1)};
}

} // namespace archive
