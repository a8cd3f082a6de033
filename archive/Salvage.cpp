// SPDX-License-Identifier: GPL-3.0-or-later
#include "Salvage.h"
#include "Statement.h"

#include <QDir>
#include <QStringList>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace archive {

namespace {

constexpr std::int64_t kLowest = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kHighest = std::numeric_limits<std::int64_t>::max();
// How often reading one table may start again past damage: far more than an
// archive has pages, only so that a file failing in odd ways still ends.
constexpr int kMaxRestarts = 100000;

struct Column {
    std::string name, type;
    int pk = 0; // its place in the primary key, from 1; 0 when not in it
};

// Empty when the table is not there or its schema cannot be read.
std::vector<Column> columnsOf(sqlite3 *db, const std::string &table)
{
    std::vector<Column> out;
    Statement s(db, "SELECT name, upper(type), pk FROM pragma_table_info(?)");
    if (!s.ok())
        return out;
    sqlite3_bind_text(s.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        const auto text = [&](int i) {
            const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(s.get(), i));
            return std::string(t ? t : "");
        };
        out.push_back({text(0), text(1), sqlite3_column_int(s.get(), 2)});
    }
    if (rc != SQLITE_DONE)
        out.clear();
    return out;
}

std::string quoted(const std::string &name)
{
    std::string q = "\"";
    for (char c : name)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

// Whether reading can start at `key`: the first row from there reads, or
// there is none.
bool readsAt(sqlite3_stmt *select, std::int64_t key)
{
    sqlite3_bind_int64(select, 1, key);
    const int rc = sqlite3_step(select);
    sqlite3_reset(select);
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

// The first key after `after` where reading can start again: forward in
// growing steps until one reads, then halving back to the first that does.
// A seek only touches the pages on its way, so keys past a bad page read.
std::optional<std::int64_t> nextReadable(sqlite3_stmt *select, std::int64_t after)
{
    if (after == kHighest)
        return std::nullopt;
    const std::uint64_t room = std::uint64_t(kHighest) - std::uint64_t(after);
    std::uint64_t step = 1;
    std::int64_t bad = after, good = kHighest;
    for (;;) {
        const std::int64_t at = step >= room ? kHighest : std::int64_t(std::uint64_t(after) + step);
        if (readsAt(select, at)) {
            good = at;
            break;
        }
        if (at == kHighest)
            return std::nullopt;
        bad = at;
        step = step > std::numeric_limits<std::uint64_t>::max() / 2 ? std::numeric_limits<std::uint64_t>::max()
                                                                    : step * 2;
    }
    while (std::uint64_t(good) - std::uint64_t(bad) > 1) {
        const auto mid = std::int64_t(std::uint64_t(bad) + (std::uint64_t(good) - std::uint64_t(bad)) / 2);
        (readsAt(select, mid) ? good : bad) = mid;
    }
    return good;
}

struct Copied {
    long long rows = 0;
    bool damaged = false; // some rows could not be read
    bool failed = false;  // writing them failed
};

// The rows of `table` from `from` into the same table of `to` (the columns
// both have), oldest key first, going on past what cannot be read where the
// key is an integer. The marker of a clean exit is not taken.
Copied copyTable(sqlite3 *from, sqlite3 *to, const std::string &table)
{
    Copied c;
    const std::vector<Column> want = columnsOf(to, table), have = columnsOf(from, table);
    std::vector<std::string> names;
    const Column *key = nullptr;
    std::string order;
    int keyParts = 0;
    for (const Column &w : want) {
        bool there = false;
        for (const Column &h : have)
            there = there || h.name == w.name;
        if (there)
            names.push_back(w.name);
        if (w.pk == 1)
            key = &w;
        keyParts += w.pk ? 1 : 0;
    }
    for (int part = 1; part <= keyParts; ++part)
        for (const Column &w : want)
            if (w.pk == part)
                order += (order.empty() ? "" : ", ") + quoted(w.name);
    if (have.empty() || !key || std::find(names.begin(), names.end(), key->name) == names.end()) {
        c.damaged = true;
        return c;
    }
    const bool integerKey = key->type == "INTEGER";
    const bool unique = keyParts == 1;
    std::string list;
    for (const std::string &n : names)
        list += (list.empty() ? "" : ", ") + quoted(n);
    Statement select(from, "SELECT " + quoted(key->name) + ", " + list + " FROM " + quoted(table)
                               + (integerKey ? " WHERE " + quoted(key->name) + " >= ?" : std::string())
                               + " ORDER BY " + order);
    std::string values = "?";
    for (size_t i = 1; i < names.size(); ++i)
        values += ",?";
    Statement insert(to, "INSERT OR REPLACE INTO main." + quoted(table) + "(" + list + ") VALUES(" + values + ")");
    if (!insert.ok()) {
        c.failed = true;
        return c;
    }
    if (!select.ok()) {
        c.damaged = true;
        return c;
    }
    std::int64_t start = kLowest;
    for (int restarts = 0;; ++restarts) {
        if (integerKey)
            sqlite3_bind_int64(select.get(), 1, start);
        std::optional<std::int64_t> last;
        int rc;
        while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
            if (integerKey) {
                // Keys out of order are a damaged page read as if whole.
                const std::int64_t k = sqlite3_column_int64(select.get(), 0);
                if (sqlite3_column_type(select.get(), 0) != SQLITE_INTEGER || k < start
                    || (last && (unique ? k <= *last : k < *last))) {
                    rc = SQLITE_CORRUPT;
                    break;
                }
                last = k;
            }
            if (table == "meta") {
                const auto *k = reinterpret_cast<const char *>(sqlite3_column_text(select.get(), 0));
                if (k && std::string(k) == "clean")
                    continue;
            }
            for (int i = 0; i < int(names.size()); ++i)
                sqlite3_bind_value(insert.get(), i + 1, sqlite3_column_value(select.get(), i + 1));
            const int put = sqlite3_step(insert.get());
            sqlite3_reset(insert.get());
            if (put != SQLITE_DONE) {
                c.failed = true;
                return c;
            }
            ++c.rows;
        }
        sqlite3_reset(select.get());
        if (rc == SQLITE_DONE)
            return c;
        c.damaged = true;
        if (!integerKey || restarts >= kMaxRestarts)
            return c;
        const auto next = nextReadable(select.get(), last ? std::max(*last, start) : start);
        if (!next)
            return c;
        start = *next;
    }
}

std::vector<std::string> tablesOf(sqlite3 *db, bool *ok)
{
    std::vector<std::string> out;
    Statement s(db,
                "SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite_%' ORDER BY rowid");
    int rc = SQLITE_ERROR;
    if (s.ok())
        while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
            out.emplace_back(reinterpret_cast<const char *>(sqlite3_column_text(s.get(), 0)));
    *ok = rc == SQLITE_DONE;
    if (!*ok)
        out.clear();
    return out;
}

} // namespace

bool ArchiveDb::salvage(const QString &damaged, const core::CurveRules &rules, Salvaged *got)
{
    *got = Salvaged();
    bool freshOk = false;
    const std::vector<std::string> tables = tablesOf(m_db, &freshOk);
    if (!freshOk)
        return fail("read");
    if (transaction("BEGIN IMMEDIATE", [&] { return salvageInto(damaged, tables, rules, got) && stampUnstamped(); }))
        return true;
    *got = Salvaged();
    return false;
}

bool ArchiveDb::salvageInto(const QString &damaged, const std::vector<std::string> &tables,
                            const core::CurveRules &rules, Salvaged *got)
{
    bool ok = true;
    std::set<std::string> lost;
    {
        // Read only: the file is kept as it was found.
        sqlite3 *old = nullptr;
        const int opened = sqlite3_open_v2(QDir::toNativeSeparators(damaged).toUtf8().constData(), &old,
                                           SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        std::vector<std::string> found;
        if (opened == SQLITE_OK) {
            sqlite3_busy_timeout(old, 5000);
            sqlite3_exec(old, "PRAGMA cell_size_check = ON", nullptr, nullptr, nullptr);
            found = tablesOf(old, &got->readable);
        }
        for (const std::string &table : tables) {
            if (!got->readable)
                break;
            if (std::find(found.begin(), found.end(), table) == found.end()) {
                lost.insert(table); // an earlier schema's archive
                continue;
            }
            const Copied c = copyTable(old, m_db, table);
            if (c.failed) {
                ok = fail("write");
                break;
            }
            got->rows[table] = c.rows;
            if (c.damaged) {
                got->damaged.insert(table);
                lost.insert(table);
            }
        }
        sqlite3_close_v2(old);
    }
    // Hours from their minutes, days from their hours (which keep what the
    // minutes let go kept), where their own table lost rows.
    if (ok && got->readable && lost.count("hour")) {
        std::set<std::int64_t> have;
        std::map<std::int64_t, core::ArchiveRow> made;
        ok = each(Step::Hour, kLowest, kHighest, [&](const core::ArchiveRow &h) { return have.insert(h.t), true; })
             && each(Step::Minute, kLowest, kHighest, [&](const core::ArchiveRow &m) {
                    const std::int64_t key = core::localHourStart(m.t, m.utcOffset);
                    if (!have.count(key))
                        made[key] = core::rollUp(made[key], m);
                    return true;
                });
        for (auto it = made.begin(); ok && it != made.end(); ++it) {
            it->second.t = it->first;
            ok = put(Step::Hour, it->second);
        }
        got->hoursMade = ok ? (long long)made.size() : 0;
    }
    if (ok && got->readable && lost.count("day")) {
        std::set<int> have;
        std::map<int, core::ArchiveRow> made;
        ok = each(
                 Step::Day, kLowest, kHighest,
                 [&](const core::ArchiveRow &d) { return have.insert(core::localDayKey(d.t, d.utcOffset)), true; })
             && each(Step::Hour, kLowest, kHighest, [&](const core::ArchiveRow &h) {
                    const int key = core::localDayKey(h.t, h.utcOffset);
                    if (!have.count(key))
                        made[key] = core::rollUp(made[key], h);
                    return true;
                });
        for (auto it = made.begin(); ok && it != made.end(); ++it) {
            placeDay(it->second, it->first);
            ok = put(Step::Day, it->second);
        }
        got->daysMade = ok ? (long long)made.size() : 0;
    }
    if (ok && got->readable) {
        if (lost.count("curve_bin")) {
            // From the earlier curve taken in (when it came back) and the
            // minutes kept since the curve's start.
            const auto curve = curveFromMinutes(rules, curveSince());
            ok = curve && writeCurve(*curve) && setMeta("curve_rules", rules.key());
            got->curveMade = ok;
            if (curve)
                for (const core::CurveBin &b : curve->bins())
                    got->curveBins += b.minutes ? 1 : 0;
        } else if (lost.count("meta") && meta("curve_rules").value_or("").empty()) {
            // The bins came back without the rules they were made by: taken
            // as made by today's, rather than made again from far fewer minutes.
            ok = setMeta("curve_rules", rules.key());
        }
    }
    // Tallies that lost rows are made again by the writer from the minutes kept.
    if (ok && got->readable && (lost.count("avail_hour") || lost.count("avail_lost")))
        ok = setMeta("avail_rules", "");
    // So are the wind's tallies and the performance's sums (those of days
    // whose minutes were let go are lost with them).
    if (ok && got->readable && (lost.count("wind_month") || lost.count("wind_mille") || lost.count("wind_gust")))
        ok = setMeta("wind_rules", "");
    if (ok && got->readable && lost.count("perf_day"))
        ok = setMeta("perf_rules", "");
    // Days from an archive before they started at their date's real start.
    return ok && placeDays();
}

QString Salvaged::text() const
{
    if (!readable)
        return QStringLiteral("nothing could be read from it");
    QStringList parts;
    const auto part = [&](const char *name, const std::string &table, long long made, const char *from) {
        QString p = QStringLiteral("%1 %2").arg(QLatin1String(name)).arg(count(table));
        if (made)
            p += QStringLiteral(" (and %1 made again from %2)").arg(made).arg(QLatin1String(from));
        parts << p;
    };
    part("minutes", "minute", 0, "");
    part("hours", "hour", hoursMade, "their minutes");
    part("days", "day", daysMade, "their hours");
    if (!curveMade)
        part("curve bins", "curve_bin", 0, "");
    QString text = parts.join(QStringLiteral(", ")) + QStringLiteral(" came back");
    if (curveMade)
        text += QStringLiteral("; curve bins %1 were made again from the minutes kept").arg(curveBins);
    return text;
}

std::optional<Salvaged> salvageArchive(const QString &damaged, const QString &fresh, const core::CurveRules &rules,
                                       QString *error)
{
    ArchiveDb db;
    Salvaged got;
    if (db.open(fresh, false) && db.salvage(damaged, rules, &got))
        return got;
    if (error)
        *error = db.error();
    return std::nullopt;
}

} // namespace archive
