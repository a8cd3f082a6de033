// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One connection to the archive database ("archive.sqlite"): its schema, the
// writing of a minute with its hour and day summaries in one transaction, the
// checks, and the reading of rows. A connection belongs to the thread that
// opened it.
//
// Minutes keep their values as integers at the shown resolution (hundredths
// of volts, amps and watts, tenths of RPM, thousandths of m/s, milliwatt-
// hours), which SQLite stores in two or three bytes each.
//
// The power curve's bins keep the sums of their minutes in tables of their
// own, changed in the same transaction as the minute, so that forgetting old
// minutes never shrinks the curve and a kill never counts a minute twice.

#include "core/Archive.h"
#include "core/Availability.h"
#include "core/FrameCurve.h"
#include "core/Performance.h"
#include "core/PowerCurve.h"
#include "core/WindStats.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace archive {

enum class Step { Minute, Hour, Day };

// A day row starts at the zone's real start of its date (yyyymmdd), with the
// offset then: a change of daylight-saving time on that date, even at
// midnight, neither moves the day nor hides it from a query by time.
void placeDay(core::ArchiveRow &day, int dayKey);
struct Salvaged;
struct WindChange;

class ArchiveDb {
public:
    // The schema this program writes (PRAGMA user_version).
    // 1: minutes, hours, days. 2: the power curve. 3: days start at their
    // date's real start. 4: the minutes' categories tallied by hour.
    // 5: each change of a minute or a day stamped with a sequence number.
    // 6: the wind's tallies and the performance's sums by day.
    static constexpr int kSchemaVersion = 6;
    static QString fileName() { return QStringLiteral("archive.sqlite"); }

    ArchiveDb() = default;
    ~ArchiveDb();
    ArchiveDb(const ArchiveDb &) = delete;
    ArchiveDb &operator=(const ArchiveDb &) = delete;

    // Opens (and for writing, makes) the database. False with error() set
    // when it cannot be opened or is not an archive of ours.
    bool open(const QString &path, bool readOnly);
    void close();
    bool isOpen() const { return m_db != nullptr; }

    // The schema of the open archive (after open, this program's when writing).
    int schema() const { return m_version; }
    // The whole database as of one moment into the new file `path` (VACUUM
    // INTO), while a writer goes on. False with error() set on a failure.
    bool copyInto(const QString &path);

    // "ok", or what the check found.
    std::string quickCheck();
    std::string integrityCheck();
    // Whether the last writer closed it cleanly; marks it as in use.
    bool takeOver();
    void markClean();

    // The minute with its summaries, in one transaction; a measured minute
    // already there takes the new part in, an imported one gives way.
    bool write(const core::ArchiveRow &minute);
    // Minutes from the daily logs (oldest first, each marked imported), in one
    // transaction with their summaries. A minute already there is never
    // touched, measured or imported, nor is any minute of an hour whose
    // minutes were let go (its summary counts more minutes than are kept), so
    // a summary never counts one twice. Returns how many were added; -1 on a
    // failure, with nothing written.
    long long addImported(const std::vector<core::ArchiveRow> &minutes);
    // Minutes before `t` go (summaries stay). Those changed after
    // `sentUpTo` (when given: a sender's last confirmed change) are counted
    // as let go unsent. False on a failure.
    bool forgetMinutesBefore(std::int64_t t, std::optional<std::int64_t> sentUpTo = std::nullopt);

    // The changes, for a sender. Each write of a minute (new, merged, imported,
    // replaced, or its category moved by a run) and of a day summary takes
    // the next number of one sequence, in the same transaction.
    // The last number given (0 for none, nullopt on a failure).
    std::optional<std::int64_t> lastChange();
    // Minutes changed with after < seq <= upTo, in the order changed, at most
    // `limit`: (seq, minute). False on a failure.
    bool changedMinutes(std::int64_t after, std::int64_t upTo, int limit,
                        const std::function<void(std::int64_t, const core::ArchiveRow &)> &take);
    // Day summaries changed with after < seq <= upTo.
    bool changedDays(std::int64_t after, std::int64_t upTo,
                     const std::function<void(const core::ArchiveRow &)> &take);
    // How many minutes were changed after `after` (nullopt on a failure).
    std::optional<long long> minutesChangedAfter(std::int64_t after);
    // Minutes let go by retention before a sender had them, ever.
    long long unsentForgotten();

    // The rules the curve's bins are made by. Bins made by other rules are
    // made again from the minutes kept (with a converted earlier curve).
    // A writer that sets none writes by the defaults.
    bool setCurveRules(const core::CurveRules &rules);
    // The curve by `rules`: its bins, or when they were made by other rules
    // (or in an archive of schema 1, opened read-only and not yet brought up
    // to date) made from the minutes kept.
    std::optional<core::PowerCurve> curve(const core::CurveRules &rules);
    // The rules minutes are classed by. Tallies made by other rules are made
    // again from the minutes kept (those of hours whose minutes were let go
    // stay as they were made). A writer that sets none classes by the defaults.
    bool setAvailabilityRules(const core::AvailabilityRules &rules);
    // The tallies of the hours with from <= t < to, by local day (yyyymmdd);
    // nullopt on a failure. An archive before them has none.
    std::optional<std::map<int, core::AvailabilityTally>> availabilityDays(std::int64_t from, std::int64_t to);
    // The rules the tallies were made by ("" when not made yet).
    std::string availabilityKey();
    // The certified curve and the rules the performance's day sums are made
    // by. Sums made by others are made again from the minutes kept, from the
    // first day that keeps all its minutes: the days before keep the sums
    // they were made with (see performanceFrom). A writer that sets none
    // compares with no certified curve.
    bool setPerformanceRules(const std::vector<core::CurvePoint> &certified, const core::CurveRules &rules);
    // The day sums by local day (yyyymmdd) with the day's start, when made by
    // `book`'s rules; nullopt when made by others or not at all (an archive
    // before them), or on a failure (error() set).
    struct PerformanceDay {
        std::int64_t t = 0;
        core::PerformanceSums sums;
    };
    std::optional<std::map<int, PerformanceDay>> performanceDays(const core::PerformanceBook &book);
    // The first day (yyyymmdd) whose sums the present rules made; the days
    // before it kept those of earlier rules. 0 when all are the present rules'.
    int performanceFrom();
    // The wind statistics' tallies, when made by this program's rules;
    // nullopt when not (an archive before them, or read-only and not brought
    // up to date yet) or on a failure (error() set).
    std::optional<core::WindTally> windTally();

    // A new curve from the minutes at or after `since` on; the bins go.
    bool resetCurve(std::int64_t since);
    // An earlier version's frame curve (in m/s), taken in once as whole
    // minutes at each bin's centre. False when one was taken in already.
    bool takeFrameCurve(const core::FrameCurve &frames);
    bool frameCurveTaken();
    // The start of the first hour with measured (not imported) minutes.
    std::optional<std::int64_t> firstMeasured();

    // Rows with from <= t < to, oldest first: all at once, or one by one
    // without holding them (`take` returns false to stop; false on a failure).
    std::vector<core::ArchiveRow> rows(Step step, std::int64_t from, std::int64_t to);
    bool each(Step step, std::int64_t from, std::int64_t to,
              const std::function<bool(const core::ArchiveRow &)> &take);
    std::optional<core::ArchiveRow> row(Step step, std::int64_t t);
    // The first and the last minute kept; nullopt without any (or on a failure).
    std::optional<std::pair<std::int64_t, std::int64_t>> minuteSpan();
    // The wind of the rows with from <= t < to, oldest first, one by one and
    // without the other quantities (for the wind statistics of years of
    // minutes): t, utcOffset, minutes, imported, the wind's count, sum and
    // highest (a minute's mean as one value) and windUnit.
    // `take` returns false to stop. False on a failure.
    bool eachWind(Step step, std::int64_t from, std::int64_t to,
                  const std::function<bool(const core::ArchiveRow &)> &take);
    // The first and the last row's t; nullopt when there is none.
    std::optional<std::pair<std::int64_t, std::int64_t>> span(Step step);

    // What can still be read of the damaged archive at `damaged` (another
    // file) into this one, just made, with what its own tables lost made
    // again; in one transaction. False on a failure here (nothing taken).
    bool salvage(const QString &damaged, const core::CurveRules &rules, Salvaged *got);

    // The last failure in words, and whether it was for want of room, the
    // file is not a database (or not ours), or was written by a newer program.
    const QString &error() const { return m_error; }
    bool full() const { return m_full; }
    bool damaged() const { return m_damaged; }
    bool newer() const { return m_newer; }

private:
    bool exec(const char *sql);
    bool fail(const char *what);
    // `work` between `begin` and COMMIT. When it fails (or COMMIT does) all
    // of it is rolled back, keeping the failure's message and whether the
    // disk was full.
    bool transaction(const char *begin, const std::function<bool()> &work);
    bool makeSchema();
    // Every day row placed at its date's real start again.
    bool placeDays();
    bool put(Step step, const core::ArchiveRow &row);
    // The row of `step` at `key` (t, or the day's yyyymmdd) takes the next
    // change number.
    bool stamp(Step step, std::int64_t key);
    // Rows without a number (an older archive's, salvaged ones) take one
    // each, oldest first.
    bool stampUnstamped();
    // Adds the minutes before `t` changed after `sentUpTo` to those let go unsent.
    bool countUnsent(std::int64_t t, std::int64_t sentUpTo);
    // The curve's and the categories' rules taken up (tried again after a
    // failure such as a full disk).
    bool rulesApplied();
    // write()'s and salvage()'s work inside their transactions.
    bool writeMinute(const core::ArchiveRow &minute);
    bool salvageInto(const QString &damaged, const std::vector<std::string> &tables, const core::CurveRules &rules,
                     Salvaged *got);
    // The hour and day summaries of a minute summed again from their rows.
    bool sumAgain(std::int64_t hourKey, int dayKey);
    std::optional<std::string> meta(const char *key);
    bool setMeta(const char *key, const std::string &value);
    // Minutes before it are not in the curve (it was reset then).
    std::int64_t curveSince();
    // The minute's part of the curve in (sign 1) or out (-1).
    bool applyToCurve(const core::ArchiveRow &minute, int sign);
    bool writeBin(const char *table, int bin, const core::CurveBin &b, bool add);
    bool writeCurve(const core::PowerCurve &curve);
    std::optional<core::PowerCurve> curveFromMinutes(const core::CurveRules &rules, std::int64_t since);
    std::optional<core::PowerCurve> readCurveTables(bool seedOnly);

    // The minute's category in (sign 1) or out (-1) of its hour's tallies.
    bool tally(const core::ArchiveRow &minute, core::Category c, int sign);
    bool writeTallies(const std::map<std::int64_t, std::pair<int, core::AvailabilityTally>> &hours);
    // A minute written (`old` as it was before, if it was): its category, and
    // the minutes before it whose run it made long enough.
    bool classMinute(const std::optional<core::ArchiveRow> &old, const core::ArchiveRow &stored);
    bool classAgain(const core::AvailabilityRules &rules);

    // The wind's tallies and the performance's day sums (ArchiveAggregates.cpp).
    // A row's part of the wind in (sign 1) or out (-1): a minute as stored,
    // or an hour summary standing for its minutes.
    bool windIn(const core::ArchiveRow &row, bool hour, int sign);
    bool writeWind(const WindChange &change);
    // The hour's gust again from its minutes kept at or after `from`.
    bool gustAgain(std::int64_t hourKey, std::int64_t from);
    // A minute as stored in (1) or out (-1) of every aggregate.
    bool aggregate(const core::ArchiveRow &minute, int sign);
    // Minutes before `t` are about to go: their part of the wind goes with
    // them, and hours left without a minute stand for theirs.
    bool windLetsGo(std::int64_t t);
    bool windAgain();
    bool windApplied();
    bool performanceAgain(const core::PerformanceBook &book);

    // A prepared statement kept for the connection's life, reset for reuse.
    sqlite3_stmt *cached(const std::string &sql);

    sqlite3 *m_db = nullptr;
    std::map<std::string, sqlite3_stmt *> m_cache;
    QString m_error;
    bool m_full = false, m_damaged = false, m_newer = false;
    int m_version = 0;
    std::optional<core::CurveRules> m_rules;
    bool m_rulesApplied = false;
    std::int64_t m_curveSince = 0;
    std::optional<core::AvailabilityRules> m_availability;
    bool m_availabilityApplied = false;
    bool m_windApplied = false;
    std::optional<core::PerformanceBook> m_performance;
    bool m_performanceApplied = false;
};

} // namespace archive
