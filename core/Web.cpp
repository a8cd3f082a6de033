// SPDX-License-Identifier: GPL-3.0-or-later
#include "Web.h"

#include "Number.h"
#include "TagValue.h"
#include "Text.h"

#include <algorithm>
#include <cmath>

namespace core {

namespace {

std::string trimmed(std::string_view text) { return std::string(trimBlanks(text, " \t\r\n")); }

// A whole number from `low` to `high` as typed (blanks around allowed).
std::optional<int> wholeIn(std::string_view text, int low, int high)
{
    const auto v = readNumber(text);
    if (!v || *v != std::floor(*v) || *v < low || *v > high)
        return std::nullopt;
    return int(*v);
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int hexValue(char c) { return isDigit(c) ? c - '0' : lower(c) - 'a' + 10; }

// A DNS name or an IPv4 address: letters, digits, "-", "_" and dots between
// non-empty labels.
bool isHostName(std::string_view s)
{
    if (s.empty() || s.size() > 253)
        return false;
    for (const std::string_view label : split(s, ".")) {
        if (label.empty() || label.size() > 63)
            return false;
        for (const char c : label)
            if (!(isDigit(c) || (c >= 'a' && c <= 'z') || c == '-' || c == '_'))
                return false;
    }
    return true;
}

// An IPv6 address's characters (the address itself is for the system to read).
bool isIpv6Text(std::string_view s)
{
    if (s.size() < 2 || s.size() > 45 || s.find(':') == std::string_view::npos)
        return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return isHex(c) || c == ':' || c == '.'; });
}

// Percent escapes decoded ("+" as a blank when `plusIsBlank`); nullopt for a
// bad escape or a NUL or control byte in the result.
std::optional<std::string> percentDecoded(std::string_view s, bool plusIsBlank)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '%') {
            if (i + 2 >= s.size() || !isHex(s[i + 1]) || !isHex(s[i + 2]))
                return std::nullopt;
            c = char(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else if (c == '+' && plusIsBlank) {
            c = ' ';
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return std::nullopt;
        out += c;
    }
    return out;
}

struct RouteName {
    const char *path;
    WebRoute route;
};
const RouteName kRoutes[] = {
    {"/", WebRoute::Index},
    {"/login", WebRoute::Login},
    {"/logout", WebRoute::Logout},
    {"/api/now", WebRoute::Now},
    {"/api/stream", WebRoute::Stream},
    {"/api/series", WebRoute::Series},
    {"/api/days", WebRoute::Days},
    {"/api/powercurve", WebRoute::PowerCurve},
    {"/api/availability", WebRoute::Availability},
    {"/api/energy", WebRoute::Energy},
    {"/api/wind", WebRoute::Wind},
    {"/api/performance", WebRoute::Performance},
    {"/api/alarms", WebRoute::Alarms},
    {"/metrics", WebRoute::Metrics},
    {"/trends", WebRoute::Trends},
    {"/energy", WebRoute::EnergyPage},
    {"/power-curve", WebRoute::CurvePage},
    {"/wind", WebRoute::WindPage},
    {"/availability", WebRoute::AvailabilityPage},
    {"/alarms", WebRoute::AlarmsPage},
    {"/settings", WebRoute::Settings},
};
const char kFilePrefix[] = "/static/";
const char kSettingsPrefix[] = "/api/settings/";
} // namespace

// ---- web.cfg -------------------------------------------------------------------

std::string webSettingsText(const WebSettings &s)
{
    std::string out;
    putFlag(out, "WebOn", s.on);
    putTag(out, "Port", s.port);
    putFlag(out, "Network", s.network);
    putFlag(out, "AskPassword", s.askPassword);
    putTag(out, "PasswordHash", s.passwordHash);
    putTag(out, "Names", s.names);
    putFlag(out, "Tls", s.tls);
    putTag(out, "TlsCert", s.tlsCert);
    putTag(out, "TlsKey", s.tlsKey);
    putTag(out, "RequestSeconds", s.requestSeconds);
    return out;
}

WebSettings readWebSettings(std::string_view text)
{
    WebSettings s;
    takeTag(text, "WebOn", s.on);
    takeTag(text, "Port", s.port);
    takeTag(text, "Network", s.network);
    takeTag(text, "AskPassword", s.askPassword);
    takeTag(text, "PasswordHash", s.passwordHash);
    takeTag(text, "Names", s.names);
    takeTag(text, "Tls", s.tls);
    takeTag(text, "TlsCert", s.tlsCert);
    takeTag(text, "TlsKey", s.tlsKey);
    takeTag(text, "RequestSeconds", s.requestSeconds);
    return s;
}

std::optional<std::string> webSettingsProblem(const WebSettings &s, bool passwordTyped)
{
    if (!wholeIn(s.port, 1, 65535))
        return "The port must be a whole number from 1 to 65535.";
    if (s.network && !s.askPassword)
        return "Other devices may connect only with a password: tick \"Ask for a password\".";
    if (s.askPassword && !passwordTyped && !readPasswordHash(s.passwordHash))
        return "Type the password to ask for.";
    std::string bad;
    if (!webNames(s.names, &bad))
        return "\"" + bad + "\" is not a host name or an address.";
    if (s.tls && (trimmed(s.tlsCert).empty() || trimmed(s.tlsKey).empty()))
        return "TLS needs a certificate file and a key file.";
    if (!wholeIn(s.requestSeconds, 1, 600))
        return "The seconds for a request must be a whole number from 1 to 600.";
    return std::nullopt;
}

int webPort(const WebSettings &s) { return wholeIn(s.port, 1, 65535).value_or(8080); }

int webRequestSeconds(const WebSettings &s) { return wholeIn(s.requestSeconds, 1, 600).value_or(10); }

std::optional<std::vector<std::string>> webNames(std::string_view typed, std::string *bad)
{
    std::string text(typed);
    std::replace_if(text.begin(), text.end(), [](char c) { return c == ',' || c == '\t' || c == ';'; }, ' ');
    std::vector<std::string> names;
    for (const std::string_view piece : split(text, " ")) {
        if (piece.empty())
            continue;
        std::string name = lowered(piece);
        if (name.size() > 2 && name.front() == '[' && name.back() == ']')
            name = name.substr(1, name.size() - 2);
        if (name.size() > 1 && name.back() == '.')
            name.pop_back();
        if (!isHostName(name) && !isIpv6Text(name)) {
            if (bad)
                *bad = std::string(piece);
            return std::nullopt;
        }
        names.push_back(name);
    }
    return names;
}

// ---- requests ------------------------------------------------------------------

std::optional<std::string> decodedPath(std::string_view raw)
{
    if (raw.empty() || raw.front() != '/')
        return std::nullopt;
    auto path = percentDecoded(raw, false);
    if (!path)
        return std::nullopt;
    for (const char c : *path)
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\\')
            return std::nullopt;
    if (*path == "/")
        return path;
    const std::vector<std::string_view> segments = split(std::string_view(*path).substr(1), "/");
    for (const std::string_view seg : segments)
        if (seg.empty() || seg == "." || seg == "..")
            return std::nullopt;
    return path;
}

WebRoute webRoute(std::string_view rawPath)
{
    const auto path = decodedPath(rawPath);
    if (!path)
        return WebRoute::NotFound;
    for (const RouteName &r : kRoutes)
        if (*path == r.path)
            return r.route;
    if (settingsPageName(rawPath))
        return WebRoute::SettingsPage;
    return webFileName(rawPath) ? WebRoute::File : WebRoute::NotFound;
}

namespace {
// The one plain name after `prefix` in a raw path: at most `most` bytes, each
// one `allowed` takes, not starting with "."; nullopt for anything else.
template <typename Allowed>
std::optional<std::string> nameAfter(std::string_view rawPath, std::string_view prefix, size_t most, Allowed allowed)
{
    const auto path = decodedPath(rawPath);
    if (!path || path->compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    std::string name = path->substr(prefix.size());
    if (name.empty() || name.size() > most || name.front() == '.' || !std::all_of(name.begin(), name.end(), allowed))
        return std::nullopt;
    return name;
}
} // namespace

std::optional<std::string> settingsPageName(std::string_view rawPath)
{
    return nameAfter(rawPath, kSettingsPrefix, 16, [](char c) { return c >= 'a' && c <= 'z'; });
}

std::optional<std::string> webFileName(std::string_view rawPath)
{
    return nameAfter(rawPath, kFilePrefix, 64, [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'
               || c == '_';
    });
}

bool methodAllowed(std::string_view method, WebRoute route)
{
    if (route == WebRoute::Logout)
        return method == "POST";
    if (method == "GET" || method == "HEAD")
        return true;
    return method == "POST" && (route == WebRoute::Login || route == WebRoute::SettingsPage);
}

std::string allowedMethods(WebRoute route)
{
    if (route == WebRoute::Logout)
        return "POST";
    return route == WebRoute::Login || route == WebRoute::SettingsPage ? "GET, HEAD, POST" : "GET, HEAD";
}

bool isApiRoute(WebRoute route)
{
    switch (route) {
    case WebRoute::Now:
    case WebRoute::Stream:
    case WebRoute::Series:
    case WebRoute::Days:
    case WebRoute::PowerCurve:
    case WebRoute::Availability:
    case WebRoute::Energy:
    case WebRoute::Wind:
    case WebRoute::Performance:
    case WebRoute::Alarms:
    case WebRoute::Metrics:
    case WebRoute::SettingsPage:
        return true;
    default:
        return false;
    }
}

long bodyLimit(WebRoute route) { return route == WebRoute::SettingsPage ? 64 * 1024 : 4 * 1024; }

std::optional<QueryPairs> parseQuery(std::string_view text)
{
    QueryPairs pairs;
    for (const std::string_view piece : split(text, "&")) {
        if (piece.empty())
            continue;
        const size_t eq = piece.find('=');
        auto key = percentDecoded(piece.substr(0, eq), true);
        auto value = eq == std::string_view::npos ? std::optional<std::string>(std::string())
                                                  : percentDecoded(piece.substr(eq + 1), true);
        if (!key || !value)
            return std::nullopt;
        pairs.emplace_back(std::move(*key), std::move(*value));
    }
    return pairs;
}

std::optional<std::string> queryValue(const QueryPairs &pairs, std::string_view key)
{
    for (const auto &p : pairs)
        if (p.first == key)
            return p.second;
    return std::nullopt;
}

std::optional<std::string> cookieValue(std::string_view header, std::string_view name)
{
    for (const std::string_view piece : split(header, ";")) {
        const std::string_view pair = trimBlanks(piece, " \t");
        const size_t eq = pair.find('=');
        if (eq == std::string_view::npos || trimBlanks(pair.substr(0, eq), " \t") != name)
            continue;
        std::string_view value = trimBlanks(pair.substr(eq + 1), " \t");
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return std::string(value);
    }
    return std::nullopt;
}

namespace {
// The weight of one entry of an Accept-Encoding list ("gzip;q=0.5"): 1 when
// it gives none, 0 for a weight that is not a number from 0 to 1.
double codingWeight(std::string_view params)
{
    for (const std::string_view piece : split(params, ";")) {
        const std::string_view p = trimBlanks(piece, " \t");
        if (p.size() < 2 || (p[0] != 'q' && p[0] != 'Q') || trimBlanks(p.substr(1), " \t").substr(0, 1) != "=")
            continue;
        const std::string_view v = trimBlanks(trimBlanks(p.substr(1), " \t").substr(1), " \t");
        const auto w = readNumber(v);
        return w && *w >= 0 && *w <= 1 ? *w : 0;
    }
    return 1;
}
} // namespace

bool acceptsGzip(std::string_view header)
{
    std::optional<double> gzip, any;
    for (const std::string_view piece : split(header, ",")) {
        const std::string_view entry = trimBlanks(piece, " \t");
        const size_t semi = entry.find(';');
        const std::string name = lowered(trimBlanks(entry.substr(0, semi), " \t"));
        const double w = codingWeight(semi == std::string_view::npos ? std::string_view() : entry.substr(semi + 1));
        if (name == "gzip" || name == "x-gzip")
            gzip = std::max(gzip.value_or(0), w);
        else if (name == "*")
            any = w;
    }
    return gzip ? *gzip > 0 : any.value_or(0) > 0;
}

bool worthCompressing(std::string_view contentType, std::size_t size)
{
    const std::string type = lowered(contentType.substr(0, contentType.find(';')));
    return size >= 1024
           && (type.rfind("text/", 0) == 0 || type == "application/json" || type == "application/javascript"
               || type == "image/svg+xml" || type == "application/manifest+json");
}

std::optional<std::string> hostOfHeader(std::string_view header)
{
    std::string_view h = trimBlanks(header, " \t");
    std::string_view host, port;
    if (!h.empty() && h.front() == '[') {
        const size_t close = h.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = h.substr(1, close - 1);
        const std::string_view rest = h.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return std::nullopt;
            port = rest.substr(1);
            if (port.empty())
                return std::nullopt;
        }
        std::string name = lowered(host);
        if (!isIpv6Text(name))
            return std::nullopt;
        if (!port.empty() && (port.size() > 5 || !std::all_of(port.begin(), port.end(), isDigit)))
            return std::nullopt;
        return name;
    }
    const size_t colon = h.find(':');
    host = h.substr(0, colon);
    if (colon != std::string_view::npos) {
        port = h.substr(colon + 1);
        if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), isDigit))
            return std::nullopt;
    }
    std::string name = lowered(host);
    if (name.size() > 1 && name.back() == '.')
        name.pop_back();
    if (!isHostName(name))
        return std::nullopt;
    return name;
}

bool hostAllowed(std::string_view header, const std::vector<std::string> &names)
{
    const auto host = hostOfHeader(header);
    return host && std::find(names.begin(), names.end(), *host) != names.end();
}

std::optional<int> yearOfQuery(const QueryPairs &query, int thisYear, std::string *error)
{
    const auto y = queryValue(query, "year");
    if (!y || y->empty())
        return thisYear;
    if (y->size() != 4 || !std::all_of(y->begin(), y->end(), [](char c) { return c >= '0' && c <= '9'; })
        || *y < "1970") {
        if (error)
            *error = "\"year\" is a year such as 2026.";
        return std::nullopt;
    }
    return std::stoi(*y);
}

} // namespace core
