// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's changes in order, for a sender that pushes every minute to
// another database: one sequence of numbers in the meta table, the next taken
// by each minute and day summary written, in the writing's transaction.
#include "ArchiveDb.h"
#include "Columns.h"
#include "Statement.h"

#include <sqlite3.h>

namespace archive {

bool ArchiveDb::stamp(Step step, std::int64_t key)
{
    Statement next(cached("UPDATE meta SET value = value + 1 WHERE key = 'seq'"));
    if (!next.ok() || next.step() != SQLITE_DONE)
        return fail("write");
    const std::string sql = std::string("UPDATE ") + tableOf(step)
                            + " SET seq = (SELECT value FROM meta WHERE key = 'seq') WHERE "
                            + (step == Step::Day ? "day" : "t") + " = ?";
    Statement s(cached(sql));
    if (!s.ok())
        return fail("write");
    s.bind(1, key);
    return s.step() == SQLITE_DONE || fail("write");
}

bool ArchiveDb::stampUnstamped()
{
    // Oldest first, minutes before days, numbered on from the last.
    const char *sql = "INSERT OR IGNORE INTO meta VALUES('seq', 0);"
                      "CREATE TEMP TABLE stamps(n INTEGER PRIMARY KEY, day INTEGER, k INTEGER, UNIQUE(day, k));"
                      "INSERT INTO temp.stamps(day, k) SELECT 0, t FROM minute WHERE seq IS NULL "
                      "UNION ALL SELECT 1, day FROM day WHERE seq IS NULL ORDER BY 1, 2;"
                      "UPDATE minute SET seq = (SELECT value FROM meta WHERE key = 'seq') "
                      "+ (SELECT n FROM temp.stamps WHERE day = 0 AND k = minute.t) WHERE seq IS NULL;"
                      "UPDATE day SET seq = (SELECT value FROM meta WHERE key = 'seq') "
                      "+ (SELECT n FROM temp.stamps WHERE day = 1 AND k = day.day) WHERE seq IS NULL;"
                      "UPDATE meta SET value = value + (SELECT count(*) FROM temp.stamps) WHERE key = 'seq';"
                      "DROP TABLE temp.stamps;";
    return exec(sql);
}

std::optional<std::int64_t> ArchiveDb::lastChange()
{
    if (m_version < 5)
        return std::int64_t(0);
    Statement s(cached("SELECT value FROM meta WHERE key = 'seq'"));
    if (!s.ok()) {
        fail("read");
        return std::nullopt;
    }
    const int rc = s.step();
    if (rc == SQLITE_DONE)
        return std::int64_t(0);
    if (rc != SQLITE_ROW) {
        fail("read");
        return std::nullopt;
    }
    return s.integer(0);
}

bool ArchiveDb::changedMinutes(std::int64_t after, std::int64_t upTo, int limit,
                               const std::function<void(std::int64_t, const core::ArchiveRow &)> &take)
{
    if (m_version < 5)
        return true;
    const std::string sql = "SELECT t, " + minuteColumns()
                            + ", seq FROM minute WHERE seq > ? AND seq <= ? ORDER BY seq LIMIT ?";
    Statement s(cached(sql));
    if (!s.ok())
        return fail("read");
    s.bind(1, after);
    s.bind(2, upTo);
    s.bind(3, std::int64_t(limit));
    const int seqColumn = columnCount(minuteColumns()) + 1;
    int rc;
    while ((rc = s.step()) == SQLITE_ROW)
        take(s.integer(seqColumn), readRow(s, true));
    return rc == SQLITE_DONE || fail("read");
}

bool ArchiveDb::changedDays(std::int64_t after, std::int64_t upTo,
                            const std::function<void(const core::ArchiveRow &)> &take)
{
    if (m_version < 5)
        return true;
    const std::string sql = "SELECT t, " + summaryColumns() + " FROM day WHERE seq > ? AND seq <= ? ORDER BY seq";
    Statement s(cached(sql));
    if (!s.ok())
        return fail("read");
    s.bind(1, after);
    s.bind(2, upTo);
    int rc;
    while ((rc = s.step()) == SQLITE_ROW)
        take(readRow(s, false));
    return rc == SQLITE_DONE || fail("read");
}

bool ArchiveDb::countUnsent(std::int64_t t, std::int64_t sentUpTo)
{
    Statement s(
        m_db,
        "INSERT INTO meta VALUES('unsent_forgotten', (SELECT count(*) FROM minute WHERE t < ?1 AND seq > ?2)) "
        "ON CONFLICT(key) DO UPDATE SET value = value + "
        "(SELECT count(*) FROM minute WHERE t < ?1 AND seq > ?2)");
    if (!s.ok())
        return fail("forget");
    s.bind(1, t);
    s.bind(2, sentUpTo);
    return s.step() == SQLITE_DONE || fail("forget");
}

std::optional<long long> ArchiveDb::minutesChangedAfter(std::int64_t after)
{
    if (m_version < 5)
        return 0;
    Statement s(cached("SELECT count(*) FROM minute WHERE seq > ?"));
    if (!s.ok()) {
        fail("read");
        return std::nullopt;
    }
    s.bind(1, after);
    if (s.step() != SQLITE_ROW) {
        fail("read");
        return std::nullopt;
    }
    return s.integer(0);
}

long long ArchiveDb::unsentForgotten()
{
    Statement s(cached("SELECT value FROM meta WHERE key = 'unsent_forgotten'"));
    return s.ok() && s.step() == SQLITE_ROW ? s.integer(0) : 0;
}

} // namespace archive
