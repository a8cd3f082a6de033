// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebApi.h"

#include "FrameCurve.h"
#include "Json.h"
#include "Number.h"
#include "Text.h"
#include "Trends.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

namespace core {

namespace {
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

namespace {
void addNow(JsonWriter &j, const WebNow &n)
{
    const auto value = [&n](double v) { return n.hasReading ? std::optional<double>(v) : std::nullopt; };
    j.object().key("time").text(utcText(n.time)).key("state").text(dataStateWord(n.state)).key("lastLive");
    if (n.lastLive)
        j.text(utcText(*n.lastLive));
    else
        j.null();
    j.key("volts").number(value(n.volts)).key("amps").number(value(n.amps)).key("watts").number(value(n.watts));
    j.key("rpm").number(value(n.rpm));
    j.key("wind").object().key("speed").number(value(n.windSpeed)).key("unit").text(n.windUnit);
    j.key("metresPerSecond").number(n.windToMetresPerSecond ? value(n.windSpeed * *n.windToMetresPerSecond)
                                                            : std::nullopt);
    j.endObject().key("loadOn");
    if (n.hasReading)
        j.truth(n.loadOn);
    else
        j.null();
    j.key("energy").object().key("todayWh").number(n.todayWh).key("yesterdayWh").number(n.yesterdayWh);
    j.key("lifetimeWh").number(n.lifetimeWh).endObject();
    j.key("frames").object().key("received").whole(n.framesReceived).key("rejected").whole(n.framesRejected);
    j.endObject().key("alarms").object();
    for (const WebAlarm &a : n.alarms)
        j.key(a.key).truth(a.raised);
    // The raised ones with their values and since when, and the text a
    // page shows as it is.
    j.endObject().key("raised").array();
    for (const WebAlarm &a : n.alarms)
        if (a.raised)
            j.object().key("alarm").text(a.key).key("title").text(a.name).key("value").number(a.value)
                .key("unit").text(a.unit).key("since").text(utcText(a.since)).key("text").text(a.text).endObject();
    j.endArray().key("backup");
    if (n.backupOn) {
        j.object().key("last");
        if (n.lastBackup)
            j.text(utcText(*n.lastBackup));
        else
            j.null();
        j.key("problem");
        if (n.backupProblem.empty())
            j.null();
        else
            j.text(n.backupProblem);
        j.endObject();
    } else {
        j.null();
    }
    j.endObject();
}
} // namespace

std::string nowJson(const WebNow &n)
{
    JsonWriter j;
    addNow(j, n);
    return j.take();
}

std::string errorJson(std::string_view text)
{
    return JsonWriter().object().key("error").text(text).endObject().take();
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
    family(out, "veldra_messages_sent_total", "counter", "Messages to the owner a server took, since the program started.");
    sample(out, "veldra_messages_sent_total", double(n.messagesSent));
    family(out, "veldra_message_failures_total", "counter", "Tries to send a message that failed, since the program started.");
    sample(out, "veldra_message_failures_total", double(n.messagesFailed));
    family(out, "veldra_messages_dropped_total", "counter",
           "Messages dropped unsent after 48 hours (or their channel removed), since the program started.");
    sample(out, "veldra_messages_dropped_total", double(n.messagesDropped));
    gauge(out, "veldra_messages_waiting", "Messages in the outbox, not yet sent.", double(n.messagesWaiting));
    if (n.dataOutOn) {
        family(out, "veldra_dataout_minutes_sent_total", "counter",
               "Minutes the time-series database confirmed, since the program started.");
        sample(out, "veldra_dataout_minutes_sent_total", double(n.dataOutSent));
        family(out, "veldra_dataout_failures_total", "counter",
               "Tries to send minutes to the time-series database that failed, since the program started.");
        sample(out, "veldra_dataout_failures_total", double(n.dataOutFailed));
        gauge(out, "veldra_dataout_backlog_minutes", "Minutes waiting to be sent to the time-series database.",
              double(n.dataOutBacklog));
        gauge(out, "veldra_dataout_minutes_lost", "Minutes the archive let go before they were sent.",
              double(n.dataOutForgotten));
        if (n.dataOutLastSuccess)
            gauge(out, "veldra_dataout_last_success_timestamp_seconds",
                  "Unix time the time-series database last confirmed minutes.", double(n.dataOutLastSuccess));
    }
    family(out, "veldra_alarm_raised", "gauge", "1 while the alarm is raised.");
    for (const WebAlarm &a : n.alarms)
        sample(out, "veldra_alarm_raised{alarm=\"" + labelValue(a.key) + "\"}", a.raised ? 1 : 0);
    family(out, "veldra_data_state", "gauge", "1 for the state the data is in: live, stale or paused.");
    for (const DataState s : {DataState::Live, DataState::Stale, DataState::Paused})
        sample(out, "veldra_data_state{state=\"" + std::string(dataStateWord(s)) + "\"}", s == n.state ? 1 : 0);
    if (n.lastLive)
        gauge(out, "veldra_last_live_frame_timestamp_seconds", "Unix time of the last live frame.",
              double(*n.lastLive));
    if (n.lastBackup)
        gauge(out, "veldra_backup_last_success_timestamp_seconds", "Unix time of the last whole backup.",
              double(*n.lastBackup));
    if (n.month) {
        const Availability &m = *n.month;
        family(out, "veldra_availability_ratio", "gauge",
               "The turbine's availability this month, by time and by energy (0 to 1).");
        if (m.timeBased)
            sample(out, "veldra_availability_ratio{basis=\"time\"}", *m.timeBased);
        if (m.energyBased)
            sample(out, "veldra_availability_ratio{basis=\"energy\"}", *m.energyBased);
        family(out, "veldra_month_seconds", "gauge", "This month's time by what the turbine was doing.");
        for (const Category c : kAllCategories)
            sample(out, "veldra_month_seconds{category=\"" + std::string(categoryKey(c)) + "\"}",
                   double(m.minutes[size_t(c)]) * 60);
        family(out, "veldra_month_lost_joules", "gauge", "Energy lost this month by cause.");
        for (const Category c : kAllCategories)
            if (losesEnergy(c))
                sample(out, "veldra_month_lost_joules{cause=\"" + std::string(categoryKey(c)) + "\"}",
                       m.lostKwh[size_t(c)] * 3.6e6);
    }
    return out;
}

// ---- the archive's routes ------------------------------------------------------

namespace {
bool allDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void addSpread(JsonWriter &j, const char *name, const Spread &s)
{
    j.key(name);
    if (!s.n) {
        j.null();
        return;
    }
    j.object().key("mean").number(s.mean()).key("min").number(s.min).key("max").number(s.max).endObject();
}

const char *stepWord(SeriesStep s)
{
    return s == SeriesStep::Minute ? "minute" : s == SeriesStep::Hour ? "hour" : "day";
}

void addFields(JsonWriter &j, const ArchiveRow &r, const std::vector<std::string> &fields)
{
    if (r.imported)
        j.key("imported").whole(r.imported);
    for (const std::string &f : fields) {
        if (f == "volts")
            addSpread(j, "volts", r.volts);
        else if (f == "amps")
            addSpread(j, "amps", r.amps);
        else if (f == "watts")
            addSpread(j, "watts", r.watts);
        else if (f == "rpm")
            addSpread(j, "rpm", r.rpm);
        else if (f == "wind") {
            addSpread(j, "wind", r.wind);
            // Whether the values are m/s (the unit known) or in windUnit: the
            // unit's text alone does not tell a client.
            j.key("windUnit").text(r.windUnit).key("windMps").truth(windUnit(r.windUnit).known());
        } else if (f == "energy")
            j.key("energyWh").number(r.energyWh);
        else if (f == "load")
            j.key("loadSeconds").number(r.loadSeconds);
        else if (f == "nodata")
            j.key("noDataSeconds").number(r.noDataSeconds);
        else if (f == "frames")
            j.key("frames").whole(r.frames).key("rejected").whole(r.rejected);
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
    if (span / seriesStepSeconds(q.step) > kMaxSeriesRows)
        return bad("That is more than " + std::to_string(kMaxSeriesRows) + " rows: ask for a larger step or a shorter span.");
    if (const auto form = queryValue(query, "form"); form && !form->empty()) {
        if (*form == "columns")
            q.form = SeriesForm::Columns;
        else if (*form != "rows")
            return bad("\"form\" is rows or columns.");
    }
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
    JsonWriter j;
    j.reserve(rows.size() * 64 * (q.fields.size() + 1));
    j.object().key("step").text(stepWord(q.step)).key("from").text(utcText(q.from)).key("to").text(utcText(q.to));
    j.key("rows").array();
    for (const ArchiveRow &r : rows) {
        j.object().key("t").text(isoLocalTime(r.t, r.utcOffset)).key("minutes").whole(r.minutes);
        addFields(j, r, q.fields);
        j.endObject();
    }
    return j.endArray().endObject().take();
}

std::int64_t seriesStepSeconds(SeriesStep step)
{
    return step == SeriesStep::Minute ? 60 : step == SeriesStep::Hour ? 3600 : 86400;
}

bool seriesGap(SeriesStep step, std::int64_t before, std::int64_t after)
{
    return 2 * (after - before) > 3 * seriesStepSeconds(step);
}

namespace {
// One column of the answer: a value a row, a null in each gap's row.
template <typename Value>
void column(JsonWriter &j, const char *name, const std::vector<const ArchiveRow *> &rows, Value value)
{
    j.key(name).array();
    for (const ArchiveRow *r : rows)
        if (r)
            value(j, *r);
        else
            j.null();
    j.endArray();
}

void spreadColumns(JsonWriter &j, const char *name, const std::vector<const ArchiveRow *> &rows,
                   const Spread ArchiveRow::*spread, const std::function<std::optional<double>(const ArchiveRow &)> &factor)
{
    // Each row's factor once, not once a part.
    std::vector<double> factors(rows.size(), std::numeric_limits<double>::quiet_NaN());
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i] && (rows[i]->*spread).n)
            factors[i] = factor(*rows[i]).value_or(std::numeric_limits<double>::quiet_NaN());
    j.key(name).object();
    const auto part = [&](const char *key, double (*value)(const Spread &)) {
        j.key(key).array();
        for (size_t i = 0; i < rows.size(); ++i)
            if (std::isnan(factors[i]))
                j.null();
            else
                j.number(value(rows[i]->*spread) * factors[i]);
        j.endArray();
    };
    part("mean", [](const Spread &s) { return s.mean(); });
    part("min", [](const Spread &s) { return s.min; });
    part("max", [](const Spread &s) { return s.max; });
    j.endObject();
}
} // namespace

std::string seriesColumnsJson(const SeriesQuery &q, const std::vector<ArchiveRow> &rows, const std::string &windUnitShown)
{
    // The rows with a null between two that leave rows out.
    std::vector<const ArchiveRow *> at;
    std::vector<std::int64_t> times;
    at.reserve(rows.size());
    for (const ArchiveRow &r : rows) {
        if (!times.empty() && seriesGap(q.step, times.back(), r.t)) {
            at.push_back(nullptr);
            times.push_back(times.back() + seriesStepSeconds(q.step));
        }
        at.push_back(&r);
        times.push_back(r.t);
    }
    JsonWriter j;
    j.reserve(rows.size() * 24 * (q.fields.size() * 3 + 4));
    j.object().key("step").text(stepWord(q.step)).key("seconds").whole(seriesStepSeconds(q.step));
    j.key("from").text(utcText(q.from)).key("to").text(utcText(q.to)).key("t").array();
    for (const std::int64_t t : times)
        j.whole(t);
    j.endArray();
    column(j, "minutes", at, [](JsonWriter &w, const ArchiveRow &r) { w.whole(r.minutes); });
    column(j, "imported", at, [](JsonWriter &w, const ArchiveRow &r) { w.whole(r.imported); });
    column(j, "fromLogs", at, [](JsonWriter &w, const ArchiveRow &r) { w.truth(mostlyImported(r.minutes, r.imported)); });
    const auto same = [](const ArchiveRow &) { return std::optional<double>(1.0); };
    const WindShown wind = windShown(windUnitShown);
    const auto windFactor = [&wind](const ArchiveRow &r) -> std::optional<double> {
        if (windUnit(r.windUnit).known())
            return wind.perMetre;
        return r.windUnit == wind.unit ? std::optional<double>(1.0) : std::nullopt;
    };
    const auto amount = [&](const char *name, double ArchiveRow::*member) {
        column(j, name, at, [member](JsonWriter &w, const ArchiveRow &r) { w.number(r.*member); });
    };
    for (const std::string &f : q.fields) {
        if (f == "volts")
            spreadColumns(j, "volts", at, &ArchiveRow::volts, same);
        else if (f == "amps")
            spreadColumns(j, "amps", at, &ArchiveRow::amps, same);
        else if (f == "watts")
            spreadColumns(j, "watts", at, &ArchiveRow::watts, same);
        else if (f == "rpm")
            spreadColumns(j, "rpm", at, &ArchiveRow::rpm, same);
        else if (f == "wind") {
            spreadColumns(j, "wind", at, &ArchiveRow::wind, windFactor);
            j.key("windUnit").text(wind.unit).key("windPerMetrePerSecond").number(wind.perMetre);
        } else if (f == "energy")
            amount("energyWh", &ArchiveRow::energyWh);
        else if (f == "load")
            amount("loadSeconds", &ArchiveRow::loadSeconds);
        else if (f == "nodata")
            amount("noDataSeconds", &ArchiveRow::noDataSeconds);
        else if (f == "frames") {
            column(j, "frames", at, [](JsonWriter &w, const ArchiveRow &r) { w.whole(r.frames); });
            column(j, "rejected", at, [](JsonWriter &w, const ArchiveRow &r) { w.whole(r.rejected); });
        }
    }
    return j.endObject().take();
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
    JsonWriter j;
    j.object().key("month").text(month).key("days").array();
    for (const ArchiveRow &r : days) {
        const int key = localDayKey(r.t, r.utcOffset);
        if (key / 100 != q.year * 100 + q.month)
            continue;
        char date[16];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", key / 10000, key / 100 % 100, key % 100);
        j.object().key("date").text(date).key("minutes").whole(r.minutes);
        addFields(j, r, {"energy", "watts", "wind", "volts", "rpm", "load", "nodata"});
        j.endObject();
    }
    return j.endArray().endObject().take();
}

} // namespace core
