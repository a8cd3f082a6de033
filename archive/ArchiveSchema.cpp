// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the archive: its schema as an ordered list of steps, each bringing
// an older archive up to date, and the checks at start.
#include "ArchiveDb.h"
#include "Columns.h"
#include "Statement.h"

#include <QDir>

#include <functional>
#include <iterator>
#include <string>

namespace archive {

bool ArchiveDb::open(const QString &path, bool readOnly)
{
    close();
    m_error.clear();
    m_damaged = m_newer = false;
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)
                      | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(QDir::toNativeSeparators(path).toUtf8().constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        fail("open");
        close();
        return false;
    }
    sqlite3_extended_result_codes(m_db, 1);
    // A reader waits for a writer's checkpoint rather than failing.
    sqlite3_busy_timeout(m_db, 5000);
    int have = 0;
    {
        Statement version(m_db, "PRAGMA user_version");
        if (!version.ok() || version.step() != SQLITE_ROW) {
            fail("read");
            close();
            return false;
        }
        have = int(version.integer(0));
    }
    m_version = have;
    m_rules.reset();
    m_rulesApplied = false;
    m_windApplied = m_performanceApplied = false;
    if (readOnly) {
        if (have < 1) {
            m_error = QStringLiteral("it holds no archive");
            close();
            return false;
        }
        return true;
    }
    if (have > kSchemaVersion) {
        m_error = QStringLiteral("it was written by a newer program (schema %1)").arg(have);
        m_newer = true;
        close();
        return false;
    }
    // WAL: readers never block the writer, and a kill at any moment leaves
    // every committed minute in place. NORMAL syncs at checkpoints only: a
    // power cut may lose the last seconds, never the database.
    if (!exec("PRAGMA journal_mode=WAL") || !exec("PRAGMA synchronous=NORMAL") || !makeSchema()) {
        close();
        return false;
    }
    m_version = kSchemaVersion;
    return true;
}

bool ArchiveDb::makeSchema()
{
    long long tables = 0, version = 0;
    {
        // Finished before the schema is written, which an open statement would block.
        Statement count(m_db,
                        "SELECT count(*) FROM sqlite_schema WHERE type='table' AND name NOT LIKE 'sqlite_%'");
        Statement have(m_db, "PRAGMA user_version");
        if (!count.ok() || count.step() != SQLITE_ROW || !have.ok() || have.step() != SQLITE_ROW)
            return fail("schema");
        tables = count.integer(0);
        version = have.integer(0);
    }
    if (version == 0 && tables != 0) {
        m_error = QStringLiteral("it is not an archive of this program");
        m_damaged = true;
        return false;
    }
    // The steps in order, each bringing the archive from its index to the
    // next version, in a transaction of its own; none drops data.
    const std::function<bool()> steps[] = {
        [this] {
            const std::string sql = "CREATE TABLE minute(t INTEGER PRIMARY KEY"
                                    + columnDefinitions(minuteColumns())
                                    + ");"
                                      "CREATE TABLE hour(t INTEGER PRIMARY KEY"
                                    + columnDefinitions(summaryColumns())
                                    + ");"
                                      "CREATE TABLE day(day INTEGER PRIMARY KEY, t INTEGER"
                                    + columnDefinitions(summaryColumns())
                                    + ");"
                                      "CREATE INDEX day_t ON day(t);"
                                      "CREATE TABLE meta(key TEXT PRIMARY KEY, value) WITHOUT ROWID;"
                                      "INSERT INTO meta VALUES('clean', 1);";
            return exec(sql.c_str());
        },
        [this] {
            // The curve's bins: made from the minutes already there when the
            // rules are first set (the empty key matches none).
            const std::string bin = "(bin INTEGER PRIMARY KEY, minutes INTEGER, wind_sum REAL, watts_sum REAL, "
                                    "watts_squares REAL, rpm_n INTEGER, rpm_sum REAL);";
            const std::string sql = "CREATE TABLE curve_bin" + bin + "CREATE TABLE curve_seed" + bin
                                    + "CREATE TABLE curve_curtailed(month INTEGER, reason INTEGER, seconds REAL, "
                                      "energy_wh REAL, PRIMARY KEY(month, reason)) WITHOUT ROWID;"
                                      "INSERT OR REPLACE INTO meta VALUES('curve_rules', '');"
                                      "INSERT OR REPLACE INTO meta VALUES('curve_since', 0);";
            return exec(sql.c_str());
        },
        // Days began at their first minute's offset, an hour off on the
        // date the clocks change (and then missed by queries by time).
        [this] { return placeDays(); },
        // What each minute was, tallied by hour: made from the minutes kept
        // when the rules are first set (the empty key matches none).
        [this] {
            return exec("CREATE TABLE IF NOT EXISTS avail_hour(t INTEGER, utc_offset INTEGER, category INTEGER, minutes INTEGER, "
                        "energy_wh REAL, PRIMARY KEY(t, category)) WITHOUT ROWID;"
                        "CREATE TABLE IF NOT EXISTS avail_lost(t INTEGER, utc_offset INTEGER, category INTEGER, bin INTEGER, "
                        "minutes INTEGER, PRIMARY KEY(t, category, bin)) WITHOUT ROWID;"
                        "INSERT OR REPLACE INTO meta VALUES('avail_rules', '');");
        },
        // The changes numbered for a sender; the minutes and days kept take
        // their numbers oldest first.
        [this] {
            for (const char *table : {"minute", "day"}) {
                bool has = false;
                {
                    Statement s(m_db, (std::string("SELECT count(*) FROM pragma_table_info('") + table
                                       + "') WHERE name = 'seq'")
                                          .c_str());
                    if (!s.ok() || s.step() != SQLITE_ROW)
                        return fail("schema");
                    has = s.integer(0) > 0;
                }
                const std::string add = std::string("ALTER TABLE ") + table + " ADD COLUMN seq INTEGER";
                if (!has && !exec(add.c_str()))
                    return false;
            }
            return exec("INSERT OR IGNORE INTO meta VALUES('seq', 0);") && stampUnstamped()
                   && exec("CREATE INDEX IF NOT EXISTS minute_seq ON minute(seq);"
                           "CREATE INDEX IF NOT EXISTS day_seq ON day(seq);");
        },
        // The wind's tallies, made here from the minutes kept and the hours
        // that keep none; the performance's day sums, made from the minutes
        // kept when the certified curve is first set (the empty key matches none).
        [this] {
            return exec("CREATE TABLE IF NOT EXISTS wind_month(month INTEGER PRIMARY KEY, minutes INTEGER, "
                        "wind_sum REAL, from_hours INTEGER, other_unit INTEGER);"
                        "CREATE TABLE IF NOT EXISTS wind_mille(mille INTEGER PRIMARY KEY, minutes INTEGER);"
                        "CREATE TABLE IF NOT EXISTS wind_gust(hour INTEGER PRIMARY KEY, wind REAL, t INTEGER, "
                        "utc_offset INTEGER);"
                        "CREATE INDEX IF NOT EXISTS wind_gust_top ON wind_gust(wind DESC, t);"
                        "CREATE TABLE IF NOT EXISTS perf_day(day INTEGER PRIMARY KEY, t INTEGER, measured_wh REAL, "
                        "certified_wh REAL, minutes INTEGER, windy_minutes INTEGER);"
                        "INSERT OR REPLACE INTO meta VALUES('perf_rules', '');"
                        "INSERT OR REPLACE INTO meta VALUES('perf_from', 0);")
                   && windAgain();
        },
    };
    static_assert(std::size(steps) == kSchemaVersion, "a schema version is a step");
    for (long long v = version; v < kSchemaVersion; ++v) {
        const std::string next = "PRAGMA user_version = " + std::to_string(v + 1);
        if (!transaction("BEGIN", [&] { return steps[v]() && exec(next.c_str()); }))
            return false;
    }
    return true;
}

namespace {
std::string check(sqlite3 *db, const char *pragma)
{
    Statement s(db, pragma);
    if (!s.ok())
        return sqlite3_errmsg(db);
    std::string found;
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
        if (!found.empty())
            found += "; ";
        found += s.text(0);
    }
    if (rc != SQLITE_DONE)
        return sqlite3_errmsg(db);
    return found;
}
} // namespace

bool ArchiveDb::placeDays()
{
    std::vector<std::int64_t> keys;
    {
        Statement s(m_db, "SELECT day FROM day");
        int rc = SQLITE_ERROR;
        while (s.ok() && (rc = s.step()) == SQLITE_ROW)
            keys.push_back(s.integer(0));
        if (rc != SQLITE_DONE)
            return fail("schema");
    }
    for (const std::int64_t key : keys) {
        core::ArchiveRow day;
        placeDay(day, int(key));
        Statement s(m_db, "UPDATE day SET t = ?, utc_offset = ? WHERE day = ?");
        s.bind(1, day.t);
        s.bind(2, std::int64_t(day.utcOffset));
        s.bind(3, key);
        if (!s.ok() || s.step() != SQLITE_DONE)
            return fail("schema");
    }
    return true;
}

bool ArchiveDb::copyInto(const QString &path)
{
    Statement s(m_db, "VACUUM INTO ?");
    s.bind(1, QDir::toNativeSeparators(path).toUtf8().toStdString());
    if (!s.ok() || s.step() != SQLITE_DONE)
        return fail("copy");
    return true;
}

std::string ArchiveDb::quickCheck() { return check(m_db, "PRAGMA quick_check"); }

std::string ArchiveDb::integrityCheck() { return check(m_db, "PRAGMA integrity_check"); }

bool ArchiveDb::takeOver()
{
    bool clean = false;
    {
        Statement s(m_db, "SELECT value FROM meta WHERE key='clean'");
        clean = s.ok() && s.step() == SQLITE_ROW && s.integer(0) == 1;
    }
    exec("UPDATE meta SET value=0 WHERE key='clean'");
    return clean;
}

void ArchiveDb::markClean() { exec("UPDATE meta SET value=1 WHERE key='clean'"); }

} // namespace archive
