// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The browsers' logins: a session cookie each, kept as the digest of its
// token in an owner-only file of the folder, so that a login lasts its week
// through a reload and a restart and ends at Log out or a new password.

#include "core/Web.h"

#include <QString>
#include <mutex>
#include <string>

namespace web {

class SessionStore {
public:
    static constexpr char kCookie[] = "veldra_session";

    // The logins kept in `file` that were made under `passwordKey` and are
    // still open; the file is written again when some were let go.
    void open(const QString &file, const std::string &passwordKey);
    // A new login's token (hex), kept; empty when no random bytes came.
    std::string add();
    // Whether the Cookie header holds an open login's token.
    bool valid(const std::string &cookieHeader) const;
    // The token a page of an open login sends with each write (in the
    // X-Veldra-Token header): made from the login's own, which no other
    // site's page can read; empty without an open login.
    std::string writeToken(const std::string &cookieHeader) const;
    // Ends the login the Cookie header holds, if any.
    void end(const std::string &cookieHeader);
    // The Set-Cookie value: a week's login, or its end.
    static std::string cookie(const std::string &token, bool secure, bool expire);

private:
    void save(const std::string &text) const;

    mutable std::mutex m_lock;
    core::WebSessions m_sessions;
    QString m_file;
};

} // namespace web
