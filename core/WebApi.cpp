// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebApi.h"

#include "FrameCurve.h"

#include "Number.h"

#include "Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace core {

namespace {
std::string optionalTime(const std::optional<std::int64_t> &t) { return t ? jsonString(utcText(*t)) : "null"; }

// A metric family: its help and type once, then its samples.
void family(std::string &out, const char *name, const char *type, const char *help)
{
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

void sample(std::string &out, const std::string &name, double value)
{
    out += name;
    out += ' ';
    out += std::isfinite(value) ? dotNumberText(value) : std::string("NaN");
    out += '\n';
}

void gauge(std::string &out, const char *name, const char *help, double value)
{
    family(out, name, "gauge", help);
    sample(out, name, value);
}

// A label value: backslash, double quote and line feed escaped.
std::string labelValue(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}
} // namespace

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7f) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", unsigned(u));
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

namespace {
// jsonNumber() appended, without a string of its own (a year of rows holds
// a few hundred thousand numbers).
void addNumber(std::string &out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    // Millionths are more than any quantity here holds; to_chars writes the
    // shortest text that reads back, many times faster than the number-text
    // helper, which matters for a year of rows.
    if (std::fabs(value) >= 1e9) {
        out += dotNumberText(value);
        return;
    }
    double rounded = std::round(value * 1e6) / 1e6;
    if (rounded == 0)
        rounded = 0; // no "-0"
    char text[48];
    const auto end = std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed);
    out.append(text, end.ptr);
}
} // namespace

std::string jsonNumber(double value)
{
    std::string out;
    addNumber(out, value);
    return out;
}

std::string nowJson(const WebNow &n)
{
    auto value = [&n](double v) { return n.hasReading ? jsonNumber(v) : std::string("null"); };
    std::string out = "{\"time\":" + jsonString(utcText(n.time));
    out += ",\"state\":" + jsonString(dataStateWord(n.state));
    out += ",\"lastLive\":" + optionalTime(n.lastLive);
    out += ",\"volts\":" + value(n.volts);
    out += ",\"amps\":" + value(n.amps);
    out += ",\"watts\":" + value(n.watts);
    out += ",\"rpm\":" + value(n.rpm);
    out += ",\"wind\":{\"speed\":" + value(n.windSpeed) + ",\"unit\":" + jsonString(n.windUnit);
    out += ",\"metresPerSecond\":"
           + (n.windToMetresPerSecond ? value(n.windSpeed * *n.windToMetresPerSecond) : std::string("null")) + "}";
    out += ",\"loadOn\":" + (n.hasReading ? std::string(n.loadOn ? "true" : "false") : std::string("null"));
    out += ",\"energy\":{\"todayWh\":" + jsonNumber(n.todayWh) + ",\"yesterdayWh\":" + jsonNumber(n.yesterdayWh)
           + ",\"lifetimeWh\":" + jsonNumber(n.lifetimeWh) + "}";
    out += ",\"frames\":{\"received\":" + std::to_string(n.framesReceived)
           + ",\"rejected\":" + std::to_string(n.framesRejected) + "}";
    out += ",\"alarms\":{";
    for (size_t i = 0; i < n.alarms.size(); ++i)
        out += (i ? "," : "") + jsonString(n.alarms[i].key) + ":" + (n.alarms[i].raised ? "true" : "false");
    // The raised ones with their values and since when, and the text a
    // page shows as it is.
    out += "},\"raised\":[";
    bool first = true;
    for (const WebAlarm &a : n.alarms)
        if (a.raised) {
            out += std::string(first ? "" : ",") + "{\"alarm\":" + jsonString(a.key) + ",\"title\":" + jsonString(a.name)
                   + ",\"value\":" + jsonNumber(a.value) + ",\"unit\":" + jsonString(a.unit)
                   + ",\"since\":" + jsonString(utcText(a.since)) + ",\"text\":" + jsonString(a.text) + "}";
            first = false;
        }
    out += "]}";
    return out;
}

std::string readingEvent(const WebNow &now, std::uint64_t id)
{
    return "id: " + std::to_string(id) + "\nevent: reading\ndata: " + nowJson(now) + "\n\n";
}

std::string metricsText(const WebNow &n)
{
    std::string out;
    if (n.hasReading) {
        gauge(out, "veldra_battery_volts", "Battery voltage.", n.volts);
        gauge(out, "veldra_charge_amperes", "Charging current.", n.amps);
        gauge(out, "veldra_power_watts", "Charging power.", n.watts);
        gauge(out, "veldra_rotor_rpm", "Rotor speed in revolutions per minute.", n.rpm);
        if (n.windToMetresPerSecond)
            gauge(out, "veldra_wind_meters_per_second", "Wind speed.", n.windSpeed * *n.windToMetresPerSecond);
        gauge(out, "veldra_load_on", "1 while the unit has its load switched on.", n.loadOn ? 1 : 0);
    }
    gauge(out, "veldra_energy_today_joules", "Energy charged today.", n.todayWh * 3600);
    family(out, "veldra_energy_joules_total", "counter", "Energy charged over the turbine's life.");
    sample(out, "veldra_energy_joules_total", n.lifetimeWh * 3600);
    family(out, "veldra_frames_received_total", "counter", "Frames received from the unit since the program started.");
    sample(out, "veldra_frames_received_total", double(n.framesReceived));
    family(out, "veldra_frames_rejected_total", "counter",
           "Frames without readable volts and amps, and pieces dropped, since the program started.");
    sample(out, "veldra_frames_rejected_total", double(n.framesRejected));
    family(out, "veldra_archive_minutes_dropped_total", "counter",
           "Minutes the archive let go unwritten (a week without room) since the program started.");
    sample(out, "veldra_archive_minutes_dropped_total", double(n.archiveMinutesDropped));
    family(out, "veldra_alarm_raised", "gauge", "1 while the alarm is raised.");
    for (const WebAlarm &a : n.alarms)
        sample(out, "veldra_alarm_raised{alarm=\"" + labelValue(a.key) + "\"}", a.raised ? 1 : 0);
    family(out, "veldra_data_state", "gauge", "1 for the state the data is in: live, stale or paused.");
    for (const DataState s : {DataState::Live, DataState::Stale, DataState::Paused})
        sample(out, "veldra_data_state{state=\"" + std::string(dataStateWord(s)) + "\"}", s == n.state ? 1 : 0);
    if (n.lastLive)
        gauge(out, "veldra_last_live_frame_timestamp_seconds", "Unix time of the last live frame.",
              double(*n.lastLive));
    return out;
}

std::string powerCurveJson(const PowerCurve &curve, double cutOut, const std::vector<CurvePoint> &certified)
{
    const Completeness c = completeness(curve);
    std::string out = "{\"unit\":\"m/s\",\"binWidth\":" + jsonNumber(PowerCurve::kBinWidth);
    out += ",\"minutes\":" + std::to_string(curve.minutes());
    out += ",\"hoursOfData\":" + jsonNumber(curve.hoursOfData());
    out += std::string(",\"complete\":") + (c.complete ? "true" : "false");
    out += ",\"note\":" + jsonString(completenessNote(c));
    out += ",\"bins\":[";
    bool first = true;
    for (int k = 0; k < PowerCurve::kBins; ++k) {
        const CurveBin &b = curve.bins()[size_t(k)];
        if (!b.minutes)
            continue;
        const auto rpm = b.meanRPM();
        out += first ? "" : ",";
        first = false;
        out += "{\"centre\":" + jsonNumber(PowerCurve::centre(k)) + ",\"wind\":" + jsonNumber(b.meanWind())
               + ",\"minutes\":" + std::to_string(b.minutes) + ",\"measured\":" + (b.measured() ? "true" : "false")
               + ",\"meanWatts\":" + jsonNumber(b.meanWatts()) + ",\"sdWatts\":" + jsonNumber(b.sdWatts())
               + ",\"meanRpm\":" + (rpm ? jsonNumber(*rpm) : std::string("null")) + "}";
    }
    out += "]";
    const Estimate e = annualEnergy(measuredPoints(curve), cutOut);
    out += ",\"estimate\":{\"wattsAt11\":" + (e.wattsAt11 ? jsonNumber(*e.wattsAt11) : std::string("null"));
    out += ",\"rows\":[";
    for (size_t i = 0; i < e.rows.size(); ++i)
        out += std::string(i ? "," : "") + "{\"averageWind\":" + jsonNumber(e.rows[i].averageWind)
               + ",\"measuredKwh\":" + jsonNumber(e.rows[i].measuredKwh)
               + ",\"extrapolatedKwh\":" + jsonNumber(e.rows[i].extrapolatedKwh)
               + ",\"incomplete\":" + (e.rows[i].incomplete ? "true" : "false") + "}";
    out += "]},\"certified\":[";
    for (size_t i = 0; i < certified.size(); ++i)
        out += std::string(i ? "," : "") + "{\"wind\":" + jsonNumber(certified[i].wind)
               + ",\"watts\":" + jsonNumber(certified[i].watts) + "}";
    out += "]}";
    return out;
}

// ---- the archive's routes ------------------------------------------------------

namespace {
bool allDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void addSpread(std::string &out, const char *name, const Spread &s)
{
    out += name;
    if (!s.n) {
        out += "null";
        return;
    }
    out += "{\"mean\":";
    addNumber(out, s.mean());
    out += ",\"min\":";
    addNumber(out, s.min);
    out += ",\"max\":";
    addNumber(out, s.max);
    out += '}';
}

const char *stepWord(SeriesStep s)
{
    return s == SeriesStep::Minute ? "minute" : s == SeriesStep::Hour ? "hour" : "day";
}

void addFields(std::string &out, const ArchiveRow &r, const std::vector<std::string> &fields)
{
    for (const std::string &f : fields) {
        if (f == "volts")
            addSpread(out, ",\"volts\":", r.volts);
        else if (f == "amps")
            addSpread(out, ",\"amps\":", r.amps);
        else if (f == "watts")
            addSpread(out, ",\"watts\":", r.watts);
        else if (f == "rpm")
            addSpread(out, ",\"rpm\":", r.rpm);
        else if (f == "wind") {
            addSpread(out, ",\"wind\":", r.wind);
            out += ",\"windUnit\":";
            out += jsonString(r.windUnit);
            // Whether the values are m/s (the unit known) or in windUnit: the
            // unit's text alone does not tell a client.
            out += windUnit(r.windUnit).known() ? ",\"windMps\":true" : ",\"windMps\":false";
        } else if (f == "energy") {
            out += ",\"energyWh\":";
            addNumber(out, r.energyWh);
        } else if (f == "load") {
            out += ",\"loadSeconds\":";
            addNumber(out, r.loadSeconds);
        } else if (f == "nodata") {
            out += ",\"noDataSeconds\":";
            addNumber(out, r.noDataSeconds);
        } else if (f == "frames") {
            out += ",\"frames\":";
            out += std::to_string(r.frames);
            out += ",\"rejected\":";
            out += std::to_string(r.rejected);
        }
    }
}
} // namespace

std::optional<std::int64_t> readQueryTime(std::string_view t)
{
    if (allDigits(t) && t.size() <= 12)
        return std::stoll(std::string(t));
    if (const auto utc = readUtcText(t))
        return utc;
    // "yyyy-mm-ddThh:mm:ss+hh:mm"
    if (t.size() != 25 || (t[19] != '+' && t[19] != '-') || t[22] != ':' || !allDigits(t.substr(20, 2))
        || !allDigits(t.substr(23, 2)))
        return std::nullopt;
    const auto local = readUtcText(std::string(t.substr(0, 19)) + "Z");
    const int h = std::stoi(std::string(t.substr(20, 2))), m = std::stoi(std::string(t.substr(23, 2)));
    if (!local || h > 14 || m > 59)
        return std::nullopt;
    const int offset = (h * 3600 + m * 60) * (t[19] == '-' ? -1 : 1);
    return *local - offset;
}

std::optional<SeriesQuery> seriesQuery(const QueryPairs &query, std::int64_t now, std::string *error)
{
    auto bad = [error](const std::string &why) -> std::optional<SeriesQuery> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    SeriesQuery q;
    q.to = now;
    if (const auto to = queryValue(query, "to"); to && !to->empty()) {
        const auto t = readQueryTime(*to);
        if (!t)
            return bad("\"to\" is not a time (Unix seconds or 2026-03-07T14:05:09Z).");
        q.to = *t;
    }
    q.from = q.to - 86400;
    if (const auto from = queryValue(query, "from"); from && !from->empty()) {
        const auto t = readQueryTime(*from);
        if (!t)
            return bad("\"from\" is not a time (Unix seconds or 2026-03-07T14:05:09Z).");
        q.from = *t;
    }
    if (q.from >= q.to)
        return bad("\"from\" must be before \"to\".");
    const std::int64_t span = q.to - q.from;
    const auto step = queryValue(query, "step");
    if (!step || step->empty())
        q.step = span <= 2 * 86400 ? SeriesStep::Minute : span <= 92 * 86400 ? SeriesStep::Hour : SeriesStep::Day;
    else if (*step == "minute")
        q.step = SeriesStep::Minute;
    else if (*step == "hour")
        q.step = SeriesStep::Hour;
    else if (*step == "day")
        q.step = SeriesStep::Day;
    else
        return bad("\"step\" is minute, hour or day.");
    const std::int64_t seconds = q.step == SeriesStep::Minute ? 60 : q.step == SeriesStep::Hour ? 3600 : 86400;
    if (span / seconds > kMaxSeriesRows)
        return bad("That is more than " + std::to_string(kMaxSeriesRows) + " rows: ask for a larger step or a shorter span.");
    const auto fields = queryValue(query, "fields");
    if (!fields || fields->empty()) {
        for (const char *f : kSeriesFields)
            q.fields.emplace_back(f);
        return q;
    }
    for (const std::string_view f : split(*fields, ",")) {
        if (std::find_if(std::begin(kSeriesFields), std::end(kSeriesFields), [f](const char *k) { return f == k; })
            == std::end(kSeriesFields))
            return bad("\"" + std::string(f) + "\" is not a field (volts, amps, watts, rpm, wind, energy, load, nodata, frames).");
        if (std::find(q.fields.begin(), q.fields.end(), f) == q.fields.end())
            q.fields.emplace_back(f);
    }
    return q;
}

std::string seriesJson(const SeriesQuery &q, const std::vector<ArchiveRow> &rows)
{
    std::string out = "{\"step\":" + jsonString(stepWord(q.step)) + ",\"from\":" + jsonString(utcText(q.from))
                      + ",\"to\":" + jsonString(utcText(q.to)) + ",\"rows\":[";
    out.reserve(out.size() + rows.size() * 64 * (q.fields.size() + 1));
    for (size_t i = 0; i < rows.size(); ++i) {
        const ArchiveRow &r = rows[i];
        out += i ? ",{\"t\":\"" : "{\"t\":\"";
        out += isoLocalTime(r.t, r.utcOffset);
        out += "\",\"minutes\":";
        out += std::to_string(r.minutes);
        if (r.imported)
            out += ",\"imported\":" + std::to_string(r.imported);
        addFields(out, r, q.fields);
        out += '}';
    }
    return out + "]}";
}

std::optional<DaysQuery> daysQuery(const QueryPairs &query, int year, int month, std::string *error)
{
    DaysQuery q{year, month, 0, 0};
    if (const auto m = queryValue(query, "month"); m && !m->empty()) {
        if (m->size() != 7 || (*m)[4] != '-' || !allDigits(m->substr(0, 4)) || !allDigits(m->substr(5, 2))) {
            if (error)
                *error = "\"month\" is a month such as 2026-03.";
            return std::nullopt;
        }
        q.year = std::stoi(m->substr(0, 4));
        q.month = std::stoi(m->substr(5, 2));
    }
    char first[32], next[32];
    std::snprintf(first, sizeof first, "%04d-%02d-01T00:00:00Z", q.year, q.month);
    std::snprintf(next, sizeof next, "%04d-%02d-01T00:00:00Z", q.month == 12 ? q.year + 1 : q.year,
                  q.month == 12 ? 1 : q.month + 1);
    const auto from = readUtcText(first), to = readUtcText(next);
    if (!from || !to || q.year < 1970) {
        if (error)
            *error = "\"month\" is a month such as 2026-03.";
        return std::nullopt;
    }
    // A local day starts up to 14 hours either side of UTC midnight.
    q.from = *from - 14 * 3600;
    q.to = *to + 14 * 3600;
    return q;
}

std::string daysJson(const DaysQuery &q, const std::vector<ArchiveRow> &days)
{
    char month[16];
    std::snprintf(month, sizeof month, "%04d-%02d", q.year, q.month);
    std::string out = "{\"month\":" + jsonString(month) + ",\"days\":[";
    bool first = true;
    for (const ArchiveRow &r : days) {
        const int key = localDayKey(r.t, r.utcOffset);
        if (key / 100 != q.year * 100 + q.month)
            continue;
        char date[16];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", key / 10000, key / 100 % 100, key % 100);
        out += first ? "{" : ",{";
        first = false;
        out += "\"date\":" + jsonString(date) + ",\"minutes\":" + std::to_string(r.minutes);
        if (r.imported)
            out += ",\"imported\":" + std::to_string(r.imported);
        addFields(out, r, {"energy", "watts", "wind", "volts", "rpm", "load", "nodata"});
        out += '}';
    }
    return out + "]}";
}

} // namespace core
