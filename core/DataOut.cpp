// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataOut.h"

#include "Number.h"
#include "TagValue.h"
#include "Text.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace core {

namespace {
std::string trim(std::string_view text) { return std::string(trimBlanks(text, " \t\r\n")); }

const char *const kKinds[] = {"influxdb1", "influxdb2", "victoriametrics"};

struct Field {
    const char *key;
    std::string DataOutSettings::*member;
};
const Field kFields[] = {
    {"Kind", &DataOutSettings::kind},         {"Url", &DataOutSettings::url},
    {"Database", &DataOutSettings::database}, {"User", &DataOutSettings::user},
    {"Password", &DataOutSettings::password}, {"Org", &DataOutSettings::org},
    {"Bucket", &DataOutSettings::bucket},     {"Token", &DataOutSettings::token},
    {"CaFile", &DataOutSettings::caFile},
};

bool controlFree(std::string_view text)
{
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

bool startsWithLower(std::string_view text, std::string_view prefix)
{
    return lowered(text.substr(0, prefix.size())) == prefix;
}

// RFC 3986's unreserved characters stay, everything else is %XX.
std::string percentEncoded(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 15];
        }
    }
    return out;
}


// The quantities a row keeps, with the decimals the archive keeps each to.
struct Quantity {
    const char *name;
    Spread ArchiveRow::*spread;
    int decimals;
};
const Quantity kQuantities[] = {
    {"volts", &ArchiveRow::volts, 2}, {"amps", &ArchiveRow::amps, 2}, {"watts", &ArchiveRow::watts, 2},
    {"rpm", &ArchiveRow::rpm, 1},     {"wind", &ArchiveRow::wind, 3},
};

void field(std::string &out, const char *name, const std::string &value)
{
    out += out.back() == ' ' ? "" : ",";
    out += name;
    out += '=';
    out += value;
}

void integerField(std::string &out, const char *name, long long value)
{
    field(out, name, std::to_string(value) + "i");
}

void quantities(std::string &out, const ArchiveRow &r)
{
    for (const Quantity &q : kQuantities) {
        const Spread &v = r.*q.spread;
        if (!v.n)
            continue;
        const std::string name = q.name;
        field(out, (name + "_mean").c_str(), roundedText(v.mean(), q.decimals));
        field(out, (name + "_min").c_str(), roundedText(v.min, q.decimals));
        field(out, (name + "_max").c_str(), roundedText(v.max, q.decimals));
    }
}

std::string head(std::string_view measurement, std::string_view siteTag)
{
    return std::string(measurement) + ",site=" + std::string(siteTag) + " ";
}
} // namespace

// ---- dataout.cfg --------------------------------------------------------------------

std::string dataOutSettingsText(const DataOutSettings &s)
{
    std::string out;
    putTag(out, "DataOutOn", s.on ? "1" : "0");
    for (const Field &f : kFields)
        putTag(out, f.key, s.*f.member);
    return out;
}

DataOutSettings readDataOutSettings(std::string_view text)
{
    DataOutSettings s;
    takeTag(text, "DataOutOn", s.on);
    for (const Field &f : kFields)
        takeTag(text, f.key, s.*f.member);
    return s;
}

std::optional<DataOutProblem> dataOutProblem(const DataOutSettings &s)
{
    for (const Field &f : kFields)
        if (!controlFree(s.*f.member))
            return DataOutProblem{f.key, "A value may not hold a line break or another control character."};
    if (std::find(std::begin(kKinds), std::end(kKinds), s.kind) == std::end(kKinds))
        return DataOutProblem{"Kind", "The database is influxdb1, influxdb2 or victoriametrics."};
    if (!s.on)
        return std::nullopt;
    const std::string url = trim(s.url);
    const bool https = startsWithLower(url, "https://");
    if ((!https && !startsWithLower(url, "http://")) || url.size() <= (https ? 8u : 7u)
        || url.find_first_of(" ?#@") != std::string::npos)
        return DataOutProblem{"Url", "The address is http:// or https://, the server and its port, such as "
                                     "http://192.168.1.20:8086 (no user, password or query in it)."};
    if (s.kind == "influxdb1" && trim(s.database).empty())
        return DataOutProblem{"Database", "The database's name is missing."};
    if (s.kind == "influxdb2") {
        if (trim(s.org).empty())
            return DataOutProblem{"Org", "The organization is missing."};
        if (trim(s.bucket).empty())
            return DataOutProblem{"Bucket", "The bucket is missing."};
        if (trim(s.token).empty())
            return DataOutProblem{"Token", "The token is missing."};
    }
    if (s.kind != "influxdb2") {
        if (!s.password.empty() && trim(s.user).empty())
            return DataOutProblem{"User", "A password needs its user name."};
        if (s.user.find(':') != std::string::npos)
            return DataOutProblem{"User", "A user name may not hold \":\"."};
    }
    return std::nullopt;
}

// ---- what is sent -------------------------------------------------------------------

std::string lineProtocolTag(std::string_view value)
{
    std::string out;
    for (const char c : value) {
        const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
        const char k = control ? ' ' : c;
        if (k == ',' || k == '=' || k == ' ')
            out += '\\';
        out += k;
    }
    // A backslash at the end would escape the blank after the tag.
    if (!out.empty() && out.back() == '\\')
        out += '\\';
    return out.empty() ? std::string("-") : out;
}

std::string minuteLine(const ArchiveRow &m, Category category, std::string_view siteTag)
{
    std::string out = head(kMinuteMeasurement, siteTag);
    quantities(out, m);
    field(out, "energy_wh", roundedText(m.energyWh, 3));
    field(out, "data_s", roundedText(std::max(0.0, 60 - m.noDataSeconds), 0));
    field(out, "nodata_s", roundedText(m.noDataSeconds, 0));
    field(out, "load_s", roundedText(m.loadSeconds, 0));
    integerField(out, "frames", m.frames);
    integerField(out, "rejected", m.rejected);
    integerField(out, "imported", m.imported ? 1 : 0);
    integerField(out, "category", static_cast<long long>(category));
    return out + " " + std::to_string(m.t) + "\n";
}

std::string dayLine(const ArchiveRow &d, std::string_view siteTag)
{
    std::string out = head(kDayMeasurement, siteTag);
    quantities(out, d);
    field(out, "energy_wh", roundedText(d.energyWh, 3));
    field(out, "nodata_s", roundedText(d.noDataSeconds, 0));
    field(out, "load_s", roundedText(d.loadSeconds, 0));
    integerField(out, "minutes", d.minutes);
    integerField(out, "imported", d.imported);
    integerField(out, "frames", d.frames);
    integerField(out, "rejected", d.rejected);
    return out + " " + std::to_string(d.t) + "\n";
}

HttpRequest dataOutRequest(const DataOutSettings &s)
{
    HttpRequest r;
    std::string base = trim(s.url);
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    if (s.kind == "influxdb2") {
        r.url = base + "/api/v2/write?org=" + percentEncoded(trim(s.org))
                + "&bucket=" + percentEncoded(trim(s.bucket)) + "&precision=s";
        r.headers.push_back("Authorization: Token " + trim(s.token));
    } else {
        r.url = base + "/write?" + (s.kind == "influxdb1" ? "db=" + percentEncoded(trim(s.database)) + "&" : "")
                + "precision=s";
        if (!trim(s.user).empty())
            r.headers.push_back("Authorization: Basic " + base64(trim(s.user) + ":" + s.password));
    }
    r.headers.push_back("Content-Type: text/plain; charset=utf-8");
    return r;
}

std::string dataOutRedacted(std::string text, const DataOutSettings &s)
{
    for (const std::string *secret : {&s.password, &s.token}) {
        const std::string v = trim(*secret);
        if (v.size() >= 4)
            text = replaceAll(text, v, "\xe2\x80\xa6");
    }
    return text;
}

// ---- the cursor ---------------------------------------------------------------------

std::string dataOutTarget(const DataOutSettings &s)
{
    std::string url = trim(s.url);
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    const std::string where = s.kind == "influxdb2"   ? trim(s.org) + " " + trim(s.bucket)
                              : s.kind == "influxdb1" ? trim(s.database)
                                                      : std::string();
    return s.kind + " " + lowered(url) + (where.empty() ? "" : " " + where);
}

std::string cursorText(const DataOutCursor &c)
{
    return "seq=" + std::to_string(c.seq) + "\ntarget=" + c.target + "\n";
}

std::optional<DataOutCursor> readCursor(std::string_view text)
{
    // Both lines whole, each ended: a file cut short is not taken.
    const size_t first = text.find('\n');
    if (first == std::string_view::npos || text.substr(0, 4) != "seq=" || text.back() != '\n')
        return std::nullopt;
    const std::string_view number = text.substr(4, first - 4);
    const std::string_view second = text.substr(first + 1, text.size() - first - 2);
    if (number.empty() || number.size() > 18 || second.substr(0, 7) != "target="
        || second.find('\n') != std::string_view::npos)
        return std::nullopt;
    DataOutCursor c;
    for (const char d : number) {
        if (!std::isdigit(static_cast<unsigned char>(d)))
            return std::nullopt;
        c.seq = c.seq * 10 + (d - '0');
    }
    c.target = std::string(second.substr(7));
    return c;
}

} // namespace core
