// SPDX-License-Identifier: GPL-3.0-or-later
// The Data out page as a form, for the window's page and the browser's.
#include "Forms.h"

#include "Text.h"

namespace core {

namespace {
std::string trimmed(std::string_view text) { return std::string(trimBlanks(text, " \t\r\n\v\f")); }

std::string valueOf(const FormValues &v, std::string_view key)
{
    const auto it = v.find(key);
    return it == v.end() ? std::string() : it->second;
}
} // namespace

std::vector<FormField> dataOutFields()
{
    using K = FormField::Kind;
    return {
        {"DataOutOn", "Send every minute to a time-series database", "", K::Tick},
        {"Kind", "Database (influxdb1, influxdb2 or victoriametrics)", ""},
        {"Url", "Address", ""},
        {"Database", "Database (InfluxDB 1.x)", ""},
        {"User", "User name", ""},
        {"Password", "Password", "", K::Secret},
        {"Org", "Organization (InfluxDB 2.x)", ""},
        {"Bucket", "Bucket (InfluxDB 2.x)", ""},
        {"Token", "Token (InfluxDB 2.x)", "", K::Secret},
        {"CaFile", "CA file", "", K::Text, true},
    };
}

FormValues dataOutValues(const DataOutSettings &s)
{
    return {{"DataOutOn", s.on ? "1" : "0"},
            {"Kind", s.kind},
            {"Url", s.url},
            {"Database", s.database},
            {"User", s.user},
            {"Password", ""},
            {"Org", s.org},
            {"Bucket", s.bucket},
            {"Token", ""},
            {"CaFile", s.caFile}};
}

std::optional<FormProblem> readDataOutValues(const FormValues &v, const DataOutSettings &stored,
                                             DataOutSettings &s)
{
    s.on = valueOf(v, "DataOutOn") == "1";
    s.kind = lowered(trimmed(valueOf(v, "Kind")));
    if (s.kind.empty())
        s.kind = "influxdb1";
    s.url = trimmed(valueOf(v, "Url"));
    s.database = trimmed(valueOf(v, "Database"));
    s.user = trimmed(valueOf(v, "User"));
    s.org = trimmed(valueOf(v, "Org"));
    s.bucket = trimmed(valueOf(v, "Bucket"));
    s.caFile = v.count("CaFile") ? trimmed(valueOf(v, "CaFile")) : stored.caFile;
    // An empty secret keeps the stored one for the same server, never
    // handing it to another.
    const bool sameServer = lowered(s.url) == lowered(trimmed(stored.url));
    const std::string password = valueOf(v, "Password"), token = valueOf(v, "Token");
    s.password = !password.empty()                              ? password
                 : sameServer && s.user == trimmed(stored.user) ? stored.password
                                                                : "";
    s.token = !token.empty() ? token : sameServer ? stored.token : "";
    if (const auto p = dataOutProblem(s))
        return FormProblem{p->key, p->text + " Nothing was saved."};
    return std::nullopt;
}

} // namespace core
