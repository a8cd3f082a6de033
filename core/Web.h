// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The web server's pure parts: the settings file "web.cfg", the stored
// password's text, and what we parse of a request ourselves (the route of a
// path, query strings and form bodies, cookies, the Host header). HTTP itself
// is the server library's; everything here takes bytes from the network and
// is fuzzed.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace core {

// ---- web.cfg

// Values are kept as typed (texts), as in the other settings files;
// webSettingsProblem() tells whether they can be used.
struct WebSettings {
    bool on = false;
    std::string port = "8080";
    // Other devices on the network may connect; the password is then required.
    bool network = false;
    bool askPassword = false;
    // passwordHashText(); empty when none was set.
    std::string passwordHash;
    // Further names the server is reached by ("turbine.lan, 192.0.2.7"),
    // beside localhost and the machine's own names and addresses.
    std::string names;
    bool tls = false;
    // PEM files (local 8-bit, as typed).
    std::string tlsCert, tlsKey;
    // Seconds a client has to send a whole request (a slow sender is closed).
    std::string requestSeconds = "10";
};

// Tagged like the other settings files, CR LF line ends, with "&", "<" and ">"
// as entities so any text reads back as it was.
std::string webSettingsText(const WebSettings &s);
// Keys that are missing take their defaults.
WebSettings readWebSettings(std::string_view text);
// Nothing when the settings can be used; otherwise the message that says what
// to correct. `passwordTyped`: a new password is about to be stored. Whether
// the TLS files exist is for the caller to check.
std::optional<std::string> webSettingsProblem(const WebSettings &s, bool passwordTyped = false);
// The port and request time of settings that passed the check.
int webPort(const WebSettings &s);
int webRequestSeconds(const WebSettings &s);
// The typed names, lower case, each a host name or an address; nullopt (with
// the offending piece in `bad`) when one is neither.
std::optional<std::vector<std::string>> webNames(std::string_view typed, std::string *bad = nullptr);

// ---- the stored password: PBKDF2-HMAC-SHA256 of it with a random salt,
// "pbkdf2-sha256$<iterations>$<salt, hex>$<key, hex>".
struct PasswordHash {
    unsigned iterations = 0;
    std::string salt, key; // bytes
};
std::string passwordHashText(const PasswordHash &h);
// nullopt unless exactly that shape, with 1,000 to 10,000,000 iterations (a
// hand-edited count must not stall the server), 8 to 64 bytes of salt and a
// 32-byte key.
std::optional<PasswordHash> readPasswordHash(std::string_view text);
std::string hexText(std::string_view bytes);
std::optional<std::string> hexBytes(std::string_view hex);
// Equal bytes, in a time that depends on the lengths only.
bool sameBytes(std::string_view a, std::string_view b);
// Seconds to hold the answer to an address's `failures`th wrong password in a
// row: 0.5 s, doubling, at most 30 s.
double wrongPasswordDelay(int failures);

// ---- logins, kept across a reload and a restart: the digest of each
// session's token (never the token) with the Unix second it ends at, under a
// key of the password they were made with, so a changed password ends them.
class WebSessions {
public:
    static constexpr std::int64_t kLife = 7 * 24 * 3600;
    // A clock set back by less than this keeps the sessions open.
    static constexpr std::int64_t kSlack = 24 * 3600;
    static constexpr size_t kMost = 64;

    // The sessions of `text` (webSessionsText) made under `passwordKey` and
    // still open at `now`; none when the key differs or the text is not ours.
    static WebSessions read(std::string_view text, const std::string &passwordKey, std::int64_t now);
    std::string text() const;

    explicit WebSessions(std::string passwordKey = {}) : m_key(std::move(passwordKey)) {}
    // A new session of `digest` for kLife from `now`; the one ending soonest
    // makes room when kMost are open.
    void open(const std::string &digest, std::int64_t now);
    // Whether `digest` is open at `now`. One that ends further ahead than a
    // life and kSlack (the clock was set far back) is not.
    bool valid(const std::string &digest, std::int64_t now) const;
    // Whether there was such a session.
    bool close(const std::string &digest);
    // Drops those ended by `now`; whether any was.
    bool dropEnded(std::int64_t now);
    size_t size() const { return m_ends.size(); }
    bool operator==(const WebSessions &o) const { return m_key == o.m_key && m_ends == o.m_ends; }

private:
    std::string m_key;
    std::map<std::string, std::int64_t> m_ends; // digest (bytes) -> end
};

// ---- requests

// Index is the dashboard, Trends the archive's charts, the five pages after
// it the History window's analyses, Settings the pages that change the settings; File is one of the pages' built-in scripts and
// styles under "/static/", SettingsPage one settings file's form under
// "/api/settings/".
enum class WebRoute {
    NotFound, Index, Login, Logout, Now, Stream, Series, Days, PowerCurve, Availability, Energy, Wind, Performance,
    Alarms, Metrics, Trends, EnergyPage, CurvePage, WindPage, AvailabilityPage, AlarmsPage, File, Settings, SettingsPage
};

// A request path as it came (its escapes not decoded), decoded; nullopt when
// it is not plainly one of ours: not starting with "/", a bad or NUL escape,
// a control or non-ASCII byte, a backslash, an empty, "." or ".." segment.
std::optional<std::string> decodedPath(std::string_view raw);
// The route of a raw path; NotFound for anything decodedPath refuses and for
// every path that is not exactly a route (no trailing "/", no file names
// except one plain name after "/static/").
WebRoute webRoute(std::string_view rawPath);
// The name of a File route's path ("/static/dashboard.js" gives
// "dashboard.js": letters, digits, ".", "-" and "_", not starting with
// "."); nullopt for any other path.
std::optional<std::string> webFileName(std::string_view rawPath);
// The name of a SettingsPage route's path ("/api/settings/alarms" gives
// "alarms": lower-case letters, at most 16); nullopt for any other path.
std::optional<std::string> settingsPageName(std::string_view rawPath);
// GET and HEAD on every route; POST on Login, Logout and SettingsPage only
// (Logout takes nothing else, so no link or image can log anyone out).
bool methodAllowed(std::string_view method, WebRoute route);
// The Allow header's value for a route.
std::string allowedMethods(WebRoute route);
// Whether a route is part of the API (JSON errors, HTTP Basic taken as well
// as the session cookie, but for a write).
bool isApiRoute(WebRoute route);
// The most a request's body may hold on a route.
long bodyLimit(WebRoute route);

using QueryPairs = std::vector<std::pair<std::string, std::string>>;
// "a=1&b=x+y%21" (a query string or a form body) into its pairs, decoded;
// "+" is a blank, a piece without "=" has an empty value, empty pieces are
// skipped. nullopt for a bad escape, or a NUL or control byte once decoded.
std::optional<QueryPairs> parseQuery(std::string_view text);
// The first value of `key`.
std::optional<std::string> queryValue(const QueryPairs &pairs, std::string_view key);
// "year=2026" (this year without one): nullopt with the words in `error`
// for a year that is not one.
std::optional<int> yearOfQuery(const QueryPairs &query, int thisYear, std::string *error);

// The value of cookie `name` in a Cookie header ("a=1; b=2"), the first one
// when it is there twice; nullopt when it is not there.
std::optional<std::string> cookieValue(std::string_view header, std::string_view name);

// The host a Host header names, lower case, without its port and, for an
// IPv6 address, without the brackets ("[::1]:8080" gives "::1"); nullopt for
// anything that is not host[:port].
std::optional<std::string> hostOfHeader(std::string_view header);
// Whether the header names one of `names` (lower case); a missing header
// (empty) names none.
bool hostAllowed(std::string_view header, const std::vector<std::string> &names);

// Whether an Accept-Encoding header lets an answer go gzip-compressed:
// "gzip" (or "x-gzip", or "*" when gzip is not named) with a weight above 0.
bool acceptsGzip(std::string_view header);
// Whether an answer of this Content-Type and size is worth compressing:
// texts (HTML, JSON, scripts, styles, SVG) of at least a packet's worth.
bool worthCompressing(std::string_view contentType, std::size_t size);

} // namespace core
