// SPDX-License-Identifier: GPL-3.0-or-later
// The web server's password hash and its logins, as texts kept in files.
#include "Web.h"

#include "Text.h"

#include <algorithm>
#include <charconv>
#include <system_error>

namespace core {

// ---- the password --------------------------------------------------------------

std::string hexText(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char b : bytes) {
        out += digits[static_cast<unsigned char>(b) >> 4];
        out += digits[static_cast<unsigned char>(b) & 15];
    }
    return out;
}

std::optional<std::string> hexBytes(std::string_view hex)
{
    if (hex.size() % 2)
        return std::nullopt;
    std::string out;
    for (size_t i = 0; i < hex.size(); i += 2) {
        unsigned byte = 0;
        const auto r = std::from_chars(hex.data() + i, hex.data() + i + 2, byte, 16);
        if (r.ec != std::errc() || r.ptr != hex.data() + i + 2)
            return std::nullopt;
        out += char(byte);
    }
    return out;
}

std::string passwordHashText(const PasswordHash &h)
{
    return "pbkdf2-sha256$" + std::to_string(h.iterations) + "$" + hexText(h.salt) + "$" + hexText(h.key);
}

std::optional<PasswordHash> readPasswordHash(std::string_view text)
{
    const std::vector<std::string_view> parts = split(trimBlanks(text, " \t\r\n"), "$");
    if (parts.size() != 4 || parts[0] != "pbkdf2-sha256" || parts[1].empty() || parts[1].size() > 8
        || parts[1].find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    PasswordHash h;
    h.iterations = unsigned(std::stoul(std::string(parts[1])));
    const auto salt = hexBytes(parts[2]);
    const auto key = hexBytes(parts[3]);
    if (h.iterations < 1000 || h.iterations > 10000000 || !salt || salt->size() < 8 || salt->size() > 64 || !key
        || key->size() != 32)
        return std::nullopt;
    h.salt = *salt;
    h.key = *key;
    return h;
}

bool sameBytes(std::string_view a, std::string_view b)
{
    // Every byte of the longer one is looked at, whatever differs first.
    const size_t n = std::max(a.size(), b.size());
    unsigned diff = a.size() == b.size() ? 0u : 1u;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff |= unsigned(x ^ y);
    }
    return diff == 0;
}

double wrongPasswordDelay(int failures)
{
    if (failures <= 0)
        return 0;
    return failures > 7 ? 30.0 : std::min(30.0, 0.5 * double(1 << (failures - 1)));
}

// ---- logins ----------------------------------------------------------------------

namespace {
const char kSessionsHeading[] = "veldra-sessions 1";
}

WebSessions WebSessions::read(std::string_view text, const std::string &passwordKey, std::int64_t now)
{
    WebSessions out(passwordKey);
    std::vector<std::string_view> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    if (lines.size() < 2 || lines[0] != kSessionsHeading || lines[1] != "key " + passwordKey || passwordKey.empty())
        return out;
    for (size_t i = 2; i < lines.size() && out.m_ends.size() < kMost; ++i) {
        const std::string_view line = lines[i];
        const size_t blank = line.find(' ');
        const auto digest = hexBytes(line.substr(0, blank));
        if (blank == std::string_view::npos || !digest || digest->size() != 32)
            continue;
        const std::string end(line.substr(blank + 1));
        if (end.empty() || end.size() > 18 || end.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::int64_t at = std::stoll(end);
        if (at > now && at - now <= kLife + kSlack)
            out.m_ends[*digest] = at;
    }
    return out;
}

std::string WebSessions::text() const
{
    std::string out = std::string(kSessionsHeading) + "\nkey " + m_key + "\n";
    for (const auto &[digest, end] : m_ends)
        out += hexText(digest) + " " + std::to_string(end) + "\n";
    return out;
}

void WebSessions::open(const std::string &digest, std::int64_t now)
{
    dropEnded(now);
    if (m_ends.size() >= kMost && !m_ends.count(digest))
        m_ends.erase(std::min_element(m_ends.begin(), m_ends.end(),
                                      [](auto &a, auto &b) { return a.second < b.second; }));
    m_ends[digest] = now + kLife;
}

bool WebSessions::valid(const std::string &digest, std::int64_t now) const
{
    const auto it = m_ends.find(digest);
    return it != m_ends.end() && it->second > now && it->second - now <= kLife + kSlack;
}

bool WebSessions::close(const std::string &digest) { return m_ends.erase(digest) > 0; }

bool WebSessions::dropEnded(std::int64_t now)
{
    const size_t before = m_ends.size();
    for (auto it = m_ends.begin(); it != m_ends.end();)
        it = it->second <= now || it->second - now > kLife + kSlack ? m_ends.erase(it) : std::next(it);
    return m_ends.size() != before;
}

} // namespace core
