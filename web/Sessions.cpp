// SPDX-License-Identifier: GPL-3.0-or-later
#include "Sessions.h"

#include "WebPassword.h"
#include "ui/Files.h"

#include <QDir>
#include <chrono>
#include <cstdio>

namespace web {

namespace {
std::int64_t unixNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::optional<std::string> digestOf(const std::string &cookieHeader)
{
    const auto token = core::cookieValue(cookieHeader, SessionStore::kCookie);
    if (!token || token->size() != 64)
        return std::nullopt;
    return sha256(*token);
}
} // namespace

void SessionStore::open(const QString &file, const std::string &passwordKey)
{
    const std::string kept = ui::readWhole(file).value_or(QByteArray()).toStdString();
    std::string text;
    {
        std::lock_guard lock(m_lock);
        m_file = file;
        m_sessions = core::WebSessions::read(kept, passwordKey, unixNow());
        text = m_sessions.text();
    }
    if (!passwordKey.empty() && !kept.empty() && text != kept)
        save(text);
}

std::string SessionStore::add()
{
    const std::string token = randomHex(32);
    if (token.empty())
        return token;
    std::string text;
    {
        std::lock_guard lock(m_lock);
        m_sessions.open(sha256(token), unixNow());
        text = m_sessions.text();
    }
    save(text);
    return token;
}

bool SessionStore::valid(const std::string &cookieHeader) const
{
    const auto digest = digestOf(cookieHeader);
    std::lock_guard lock(m_lock);
    return digest && m_sessions.valid(*digest, unixNow());
}

std::string SessionStore::writeToken(const std::string &cookieHeader) const
{
    if (!valid(cookieHeader))
        return std::string();
    return core::hexText(sha256("write " + *core::cookieValue(cookieHeader, kCookie)));
}

void SessionStore::end(const std::string &cookieHeader)
{
    const auto digest = digestOf(cookieHeader);
    std::string text;
    {
        std::lock_guard lock(m_lock);
        if (!digest || !m_sessions.close(*digest))
            return;
        text = m_sessions.text();
    }
    save(text);
}

std::string SessionStore::cookie(const std::string &token, bool secure, bool expire)
{
    std::string c = std::string(kCookie) + "=" + token + "; Path=/; HttpOnly; SameSite=Strict";
    if (secure)
        c += "; Secure";
    c += "; Max-Age=" + std::to_string(expire ? 0 : core::WebSessions::kLife);
    return c;
}

void SessionStore::save(const std::string &text) const
{
    // Only the server's thread writes, at each log-in and log-out.
    QString file;
    {
        std::lock_guard lock(m_lock);
        file = m_file;
    }
    if (!file.isEmpty() && !ui::writeOwnerOnly(file, QByteArray::fromStdString(text)))
        std::fprintf(stderr, "Veldra web server: %s could not be written; logins end at the next start\n",
                     qPrintable(QDir::toNativeSeparators(file)));
}

} // namespace web
