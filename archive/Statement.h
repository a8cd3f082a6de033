// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A prepared statement of the archive's own code (not for its readers): it
// finalizes itself, or for one of a connection's kept statements, resets.

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace archive {

// A statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3 *db, const char *sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    Statement(sqlite3 *db, const std::string &sql) : Statement(db, sql.c_str()) { }
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

} // namespace archive
