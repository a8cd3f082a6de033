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

#include "core/Archive.h"

#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace archive {

enum class Step { Minute, Hour, Day };

class ArchiveDb {
public:
    // The schema this program writes (PRAGMA user_version).
    static constexpr int kSchemaVersion = 1;
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

    // "ok", or what the check found.
    std::string quickCheck();
    std::string integrityCheck();
    // Whether the last writer closed it cleanly; marks it as in use.
    bool takeOver();
    void markClean();

    // The minute with its summaries, in one transaction; a minute already
    // there takes the new part in.
    bool write(const core::ArchiveRow &minute);
    // Minutes from the daily logs (oldest first, each marked imported), in one
    // transaction with their summaries. A minute already there is never
    // touched, measured or imported, nor is any minute of an hour whose
    // minutes were let go (its summary counts more minutes than are kept), so
    // a summary never counts one twice. Returns how many were added; -1 on a
    // failure, with nothing written.
    long long addImported(const std::vector<core::ArchiveRow> &minutes);
    // Minutes before `t` go (summaries stay). False on a failure.
    bool forgetMinutesBefore(std::int64_t t);

    // Rows with from <= t < to, oldest first.
    std::vector<core::ArchiveRow> rows(Step step, std::int64_t from, std::int64_t to);
    std::optional<core::ArchiveRow> row(Step step, std::int64_t t);

    // The last failure in words, and whether it was for want of room, the
    // file is not a database (or not ours), or was written by a newer program.
    const QString &error() const { return m_error; }
    bool full() const { return m_full; }
    bool damaged() const { return m_damaged; }
    bool newer() const { return m_newer; }

private:
    bool exec(const char *sql);
    bool fail(const char *what);
    bool makeSchema();
    bool put(Step step, const core::ArchiveRow &row);

    // A prepared statement kept for the connection's life, reset for reuse.
    sqlite3_stmt *cached(const std::string &sql);

    sqlite3 *m_db = nullptr;
    std::map<std::string, sqlite3_stmt *> m_cache;
    QString m_error;
    bool m_full = false, m_damaged = false, m_newer = false;
};

} // namespace archive
