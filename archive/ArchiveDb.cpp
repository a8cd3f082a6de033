// SPDX-License-Identifier: GPL-3.0-or-later
#include "ArchiveDb.h"

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

namespace {

// A statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3 *db, const char *sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    // One of the connection's kept statements: reset, not finalized.
    explicit Statement(sqlite3_stmt *kept) : m_stmt(kept), m_rc(kept ? SQLITE_OK : SQLITE_ERROR), m_kept(true) { }
    ~Statement()
    {
        if (!m_kept) {
            sqlite3_finalize(m_stmt);
        } else if (m_stmt) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        }
    }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    bool ok() const { return m_rc == SQLITE_OK; }
    sqlite3_stmt *get() const { return m_stmt; }
    int step() { return sqlite3_step(m_stmt); }
    void bind(int i, std::int64_t v) { sqlite3_bind_int64(m_stmt, i, v); }
    void bind(int i, double v) { sqlite3_bind_double(m_stmt, i, v); }
    void bind(int i, const std::string &v)
    {
        sqlite3_bind_text(m_stmt, i, v.data(), int(v.size()), SQLITE_TRANSIENT);
    }
    void bindNull(int i) { sqlite3_bind_null(m_stmt, i); }
    bool null(int i) const { return sqlite3_column_type(m_stmt, i) == SQLITE_NULL; }
    std::int64_t integer(int i) const { return sqlite3_column_int64(m_stmt, i); }
    double real(int i) const { return sqlite3_column_double(m_stmt, i); }
    std::string text(int i) const
    {
        const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, i));
        return t ? std::string(t, size_t(sqlite3_column_bytes(m_stmt, i))) : std::string();
    }

private:
    sqlite3_stmt *m_stmt = nullptr;
    int m_rc;
    bool m_kept = false;
};

// The five quantities with the scale a minute keeps each at.
struct Quantity {
    const char *name;
    core::Spread core::ArchiveRow::*spread;
    double scale;
};
const Quantity kQuantities[] = {
    {"volts", &core::ArchiveRow::volts, 100}, {"amps", &core::ArchiveRow::amps, 100},
    {"watts", &core::ArchiveRow::watts, 100}, {"rpm", &core::ArchiveRow::rpm, 10},
    {"wind", &core::ArchiveRow::wind, 1000},
};

std::int64_t scaled(double v, double scale) { return std::llround(v * scale); }

const char *tableOf(Step step)
{
    switch (step) {
    case Step::Minute: return "minute";
    case Step::Hour: return "hour";
    case Step::Day: return "day";
    }
    return "minute";
}

// The columns after the key, as written and read.
std::string minuteColumns()
{
    std::string c = "utc_offset, frames, rejected, energy_mwh, load_s, nodata_s, source";
    for (const Quantity &q : kQuantities)
        for (const char *part : {"_mean", "_min", "_max"})
            c += std::string(", ") + q.name + part;
    return c + ", wind_unit";
}

std::string summaryColumns()
{
    std::string c = "utc_offset, minutes, imported, frames, rejected, energy_wh, load_s, nodata_s";
    for (const Quantity &q : kQuantities)
        for (const char *part : {"_n", "_sum", "_min", "_max"})
            c += std::string(", ") + q.name + part;
    return c + ", wind_unit";
}

std::string columnDefinitions(const std::string &columns)
{
    std::string out;
    size_t from = 0;
    while (from < columns.size()) {
        size_t comma = columns.find(',', from);
        if (comma == std::string::npos)
            comma = columns.size();
        std::string name = columns.substr(from, comma - from);
        while (!name.empty() && name.front() == ' ')
            name.erase(0, 1);
        out += ", " + name + (name == "wind_unit" ? " TEXT" : "");
        from = comma + 1;
    }
    return out;
}

std::string placeholders(int n)
{
    std::string p = "?";
    for (int i = 1; i < n; ++i)
        p += ",?";
    return p;
}

int columnCount(const std::string &columns) { return int(std::count(columns.begin(), columns.end(), ',')) + 1; }

} // namespace

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

bool ArchiveDb::exec(const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    sqlite3_free(message);
    return fail(sql);
}

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
    if (version == kSchemaVersion)
        return true;
    // One step a version, each in its own transaction; none drops data.
    if (version == 0) {
        if (tables != 0) {
            m_error = QStringLiteral("it is not an archive of this program");
            m_damaged = true;
            return false;
        }
        const std::string sql = "BEGIN;"
                                "CREATE TABLE minute(t INTEGER PRIMARY KEY"
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
                                  "INSERT INTO meta VALUES('clean', 1);"
                                  "PRAGMA user_version = 1;COMMIT;";
        if (!exec(sql.c_str())) {
            exec("ROLLBACK");
            return false;
        }
        version = 1;
    }
    if (version == 1) {
        // The curve's bins: made from the minutes already there when the
        // rules are first set (the empty key matches none).
        const std::string bin = "(bin INTEGER PRIMARY KEY, minutes INTEGER, wind_sum REAL, watts_sum REAL, "
                                "watts_squares REAL, rpm_n INTEGER, rpm_sum REAL);";
        const std::string sql = "BEGIN;CREATE TABLE curve_bin" + bin + "CREATE TABLE curve_seed" + bin
                                + "CREATE TABLE curve_curtailed(month INTEGER, reason INTEGER, seconds REAL, "
                                  "energy_wh REAL, PRIMARY KEY(month, reason)) WITHOUT ROWID;"
                                  "INSERT OR REPLACE INTO meta VALUES('curve_rules', '');"
                                  "INSERT OR REPLACE INTO meta VALUES('curve_since', 0);"
                                  "PRAGMA user_version = 2;COMMIT;";
        if (!exec(sql.c_str())) {
            exec("ROLLBACK");
            return false;
        }
        version = 2;
    }
    if (version == 2) {
        // Days began at their first minute's offset, an hour off on the
        // date the clocks change (and then missed by queries by time).
        if (!exec("BEGIN"))
            return false;
        const bool ok = placeDays();
        if (!ok || !exec("PRAGMA user_version = 3") || !exec("COMMIT")) {
            const QString error = m_error;
            exec("ROLLBACK");
            m_error = error;
            return false;
        }
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

bool ArchiveDb::put(Step step, const core::ArchiveRow &r)
{
    const bool minute = step == Step::Minute;
    const std::string columns = minute ? minuteColumns() : summaryColumns();
    const std::string key = step == Step::Day ? "day, t, " : "t, ";
    const std::string sql = std::string("INSERT OR REPLACE INTO ") + tableOf(step) + "(" + key + columns
                            + ") VALUES(" + placeholders(columnCount(columns) + (step == Step::Day ? 2 : 1))
                            + ")";
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
    return s.step() == SQLITE_DONE || fail("write");
}

namespace {
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
} // namespace

namespace {
// Each row of `step` with from <= t < to, oldest first, handed to `take`
// without holding them all; `take` returns false to stop.
template <typename Take>
bool eachRow(sqlite3 *db, Step step, std::int64_t from, std::int64_t to, Take take)
{
    const bool minute = step == Step::Minute;
    const std::string sql = "SELECT t, " + (minute ? minuteColumns() : summaryColumns()) + " FROM "
                            + tableOf(step) + " WHERE t >= ? AND t < ? ORDER BY t";
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
    const std::string sql = "SELECT t, " + (minute ? minuteColumns() : summaryColumns()) + " FROM "
                            + tableOf(step) + (step == Step::Day ? " WHERE day = ?" : " WHERE t = ?");
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
    const std::string sql = std::string("SELECT min(t), max(t) FROM ") + tableOf(step);
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
    if (!m_rulesApplied && !setCurveRules(m_rules.value_or(core::CurveRules())))
        return false;
    if (!exec("BEGIN IMMEDIATE"))
        return false;
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
    // The curve takes the minute as it is stored (its values at their
    // resolution), so that making the bins again gives the same sums.
    auto curveOk = [&] {
        if (!inCurve)
            return true;
        if (old && !applyToCurve(*old, -1))
            return false;
        const auto now = row(Step::Minute, minute.t);
        return now && applyToCurve(*now, 1);
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
    if (summariesOk() && curveOk() && exec("COMMIT"))
        return true;
    const QString error = m_error;
    const bool full = m_full;
    exec("ROLLBACK");
    m_error = error;
    m_full = full;
    return false;
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
    if (!exec("BEGIN IMMEDIATE"))
        return -1;
    long long added = 0;
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
    if (ok && exec("COMMIT"))
        return added;
    const QString error = m_error;
    const bool full = m_full;
    exec("ROLLBACK");
    m_error = error;
    m_full = full;
    return -1;
}

bool ArchiveDb::forgetMinutesBefore(std::int64_t t)
{
    Statement s(m_db, "DELETE FROM minute WHERE t < ?");
    if (!s.ok())
        return fail("forget");
    s.bind(1, t);
    return s.step() == SQLITE_DONE || fail("forget");
}

// ---- the power curve -------------------------------------------------------------

namespace {
enum Reason { kBatteryFull = 1, kLoadOn = 2 };
const char kBinColumns[] = "bin, minutes, wind_sum, watts_sum, watts_squares, rpm_n, rpm_sum";
} // namespace

std::optional<std::string> ArchiveDb::meta(const char *key)
{
    Statement s(m_db, "SELECT value FROM meta WHERE key = ?");
    if (!s.ok())
        return std::nullopt;
    s.bind(1, std::string(key));
    if (s.step() != SQLITE_ROW)
        return std::nullopt;
    return s.text(0);
}

std::int64_t ArchiveDb::curveSince()
{
    const std::string text = meta("curve_since").value_or("0");
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    return end && *end == '\0' ? std::int64_t(v) : 0;
}

bool ArchiveDb::setMeta(const char *key, const std::string &value)
{
    Statement s(m_db, "INSERT OR REPLACE INTO meta VALUES(?, ?)");
    if (!s.ok())
        return fail("write");
    s.bind(1, std::string(key));
    s.bind(2, value);
    return s.step() == SQLITE_DONE || fail("write");
}

bool ArchiveDb::writeBin(const char *table, int bin, const core::CurveBin &b, bool add)
{
    std::string sql = std::string(add ? "INSERT INTO " : "INSERT OR REPLACE INTO ") + table + "(" + kBinColumns
                      + ") VALUES(?,?,?,?,?,?,?)";
    if (add)
        sql += " ON CONFLICT(bin) DO UPDATE SET minutes = minutes + excluded.minutes, wind_sum = wind_sum + "
               "excluded.wind_sum, watts_sum = watts_sum + excluded.watts_sum, watts_squares = watts_squares + "
               "excluded.watts_squares, rpm_n = rpm_n + excluded.rpm_n, rpm_sum = rpm_sum + excluded.rpm_sum";
    Statement s(m_db, sql.c_str());
    if (!s.ok())
        return fail("write");
    s.bind(1, std::int64_t(bin));
    s.bind(2, std::int64_t(b.minutes));
    s.bind(3, b.sumWind);
    s.bind(4, b.sumWatts);
    s.bind(5, b.sumSquares);
    s.bind(6, std::int64_t(b.rpmMinutes));
    s.bind(7, b.sumRPM);
    return s.step() == SQLITE_DONE || fail("write");
}

bool ArchiveDb::applyToCurve(const core::ArchiveRow &minute, int sign)
{
    const core::CurveMinute m = core::curveMinute(minute, *m_rules);
    if (m.use == core::MinuteUse::Unusable)
        return true;
    core::PowerCurve part;
    const int month = core::localDayKey(minute.t, minute.utcOffset) / 100;
    part.add(m, month, sign);
    if (m.use == core::MinuteUse::Curve)
        return writeBin("curve_bin", m.bin, part.bins()[size_t(m.bin)], true);
    Statement s(m_db, "INSERT INTO curve_curtailed VALUES(?,?,?,?) ON CONFLICT(month, reason) DO UPDATE SET "
                      "seconds = seconds + excluded.seconds, energy_wh = energy_wh + excluded.energy_wh");
    if (!s.ok())
        return fail("write");
    const core::Curtailment &c = part.curtailment(month, m.use);
    s.bind(1, std::int64_t(month));
    s.bind(2, std::int64_t(m.use == core::MinuteUse::BatteryFull ? kBatteryFull : kLoadOn));
    s.bind(3, c.seconds);
    s.bind(4, c.energyWh);
    return s.step() == SQLITE_DONE || fail("write");
}

std::optional<core::PowerCurve> ArchiveDb::readCurveTables(bool seedOnly)
{
    core::PowerCurve curve;
    {
        const std::string sql = std::string("SELECT ") + kBinColumns + " FROM "
                                + (seedOnly ? "curve_seed" : "curve_bin");
        Statement s(m_db, sql.c_str());
        if (!s.ok()) {
            fail("read");
            return std::nullopt;
        }
        int rc;
        while ((rc = s.step()) == SQLITE_ROW) {
            const std::int64_t k = s.integer(0);
            if (k < 0 || k >= core::PowerCurve::kBins)
                continue;
            core::CurveBin &b = curve.bin(int(k));
            b.minutes = s.integer(1);
            b.sumWind = s.real(2);
            b.sumWatts = s.real(3);
            b.sumSquares = s.real(4);
            b.rpmMinutes = s.integer(5);
            b.sumRPM = s.real(6);
        }
        if (rc != SQLITE_DONE) {
            fail("read");
            return std::nullopt;
        }
    }
    if (seedOnly)
        return curve;
    Statement s(m_db, "SELECT month, reason, seconds, energy_wh FROM curve_curtailed");
    if (!s.ok()) {
        fail("read");
        return std::nullopt;
    }
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
        const auto why = s.integer(1) == kBatteryFull ? core::MinuteUse::BatteryFull : core::MinuteUse::LoadOn;
        core::Curtailment &c = curve.curtailment(int(s.integer(0)), why);
        c.seconds = s.real(2);
        c.energyWh = s.real(3);
    }
    if (rc != SQLITE_DONE) {
        fail("read");
        return std::nullopt;
    }
    return curve;
}

std::optional<core::PowerCurve> ArchiveDb::curveFromMinutes(const core::CurveRules &rules, std::int64_t since)
{
    std::optional<core::PowerCurve> curve = core::PowerCurve();
    if (m_version >= 2 && !(curve = readCurveTables(true)))
        return std::nullopt;
    const bool ok = eachRow(m_db, Step::Minute, since, INT64_MAX, [&](const core::ArchiveRow &r) {
        curve->add(core::curveMinute(r, rules), core::localDayKey(r.t, r.utcOffset) / 100);
        return true;
    });
    if (!ok) {
        fail("read");
        return std::nullopt;
    }
    return curve;
}

bool ArchiveDb::writeCurve(const core::PowerCurve &curve)
{
    if (!exec("DELETE FROM curve_bin") || !exec("DELETE FROM curve_curtailed"))
        return false;
    for (int k = 0; k < core::PowerCurve::kBins; ++k)
        if (curve.bins()[size_t(k)].minutes && !writeBin("curve_bin", k, curve.bins()[size_t(k)], false))
            return false;
    for (const auto &[key, c] : curve.curtailed()) {
        Statement s(m_db, "INSERT INTO curve_curtailed VALUES(?,?,?,?)");
        if (!s.ok())
            return fail("write");
        s.bind(1, std::int64_t(key.first));
        s.bind(2, std::int64_t(key.second == core::MinuteUse::BatteryFull ? kBatteryFull : kLoadOn));
        s.bind(3, c.seconds);
        s.bind(4, c.energyWh);
        if (s.step() != SQLITE_DONE)
            return fail("write");
    }
    return true;
}

bool ArchiveDb::setCurveRules(const core::CurveRules &rules)
{
    m_rules = rules;
    m_rulesApplied = false;
    if (meta("curve_rules") == rules.key())
        return m_rulesApplied = true;
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    const std::int64_t since = curveSince();
    const auto curve = curveFromMinutes(rules, since);
    if (curve && writeCurve(*curve) && setMeta("curve_rules", rules.key()) && exec("COMMIT"))
        return m_rulesApplied = true;
    const QString error = m_error;
    exec("ROLLBACK");
    m_error = error;
    return false;
}

std::optional<core::PowerCurve> ArchiveDb::curve(const core::CurveRules &rules)
{
    m_error.clear();
    if (m_version < 2)
        return curveFromMinutes(rules, 0);
    // Bins made by other rules (the writer has not taken up changed settings
    // yet) are made here as the writer will make them.
    if (meta("curve_rules").value_or(std::string()) != rules.key())
        return curveFromMinutes(rules, curveSince());
    return readCurveTables(false);
}

bool ArchiveDb::resetCurve(std::int64_t since)
{
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    if (exec("DELETE FROM curve_bin") && exec("DELETE FROM curve_seed") && exec("DELETE FROM curve_curtailed")
        && setMeta("curve_since", std::to_string(since)) && exec("COMMIT"))
        return true;
    const QString error = m_error;
    exec("ROLLBACK");
    m_error = error;
    return false;
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

std::optional<std::int64_t> ArchiveDb::firstMeasured()
{
    Statement s(m_db, "SELECT min(t) FROM hour WHERE minutes > imported");
    if (!s.ok() || s.step() != SQLITE_ROW || s.null(0))
        return std::nullopt;
    return s.integer(0);
}

bool ArchiveDb::frameCurveTaken() { return meta("frame_curve_taken").has_value(); }

bool ArchiveDb::takeFrameCurve(const core::FrameCurve &frames)
{
    if (frameCurveTaken())
        return false;
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    bool ok = true;
    for (int k = 0; k < core::FrameCurve::kBins && ok; ++k) {
        const core::FrameBin &f = frames.bins()[size_t(k)];
        const long long minutes = std::llround(f.seconds / 60);
        if (!f.frames || minutes <= 0)
            continue;
        const double n = double(minutes), mean = f.meanWatts(), sd = f.sdWatts();
        core::CurveBin b;
        b.minutes = minutes;
        b.sumWind = core::FrameCurve::centre(k) * n;
        b.sumWatts = mean * n;
        b.sumSquares = n * mean * mean + (n - 1) * sd * sd;
        if (const auto rpm = f.meanRPM()) {
            b.rpmMinutes = minutes;
            b.sumRPM = *rpm * n;
        }
        ok = writeBin("curve_seed", k, b, false) && writeBin("curve_bin", k, b, true);
    }
    if (ok && setMeta("frame_curve_taken", "1") && exec("COMMIT"))
        return true;
    const QString error = m_error;
    exec("ROLLBACK");
    m_error = error;
    return false;
}

} // namespace archive
