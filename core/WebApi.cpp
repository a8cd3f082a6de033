// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebApi.h"

#include "Number.h"

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

std::string jsonNumber(double value) { return std::isfinite(value) ? dotNumberText(value) : std::string("null"); }

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
    out += ",\"energy\":{\"todayWh\":" + jsonNumber(n.todayWh) + ",\"lifetimeWh\":" + jsonNumber(n.lifetimeWh)
           + "}";
    out += ",\"frames\":{\"received\":" + std::to_string(n.framesReceived)
           + ",\"rejected\":" + std::to_string(n.framesRejected) + "}";
    out += ",\"alarms\":{";
    for (size_t i = 0; i < n.alarms.size(); ++i)
        out += (i ? "," : "") + jsonString(n.alarms[i].key) + ":" + (n.alarms[i].raised ? "true" : "false");
    out += "}}";
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

std::string powerCurveJson(const PowerCurve &curve)
{
    std::string out = "{\"unit\":" + jsonString(curve.unit());
    out += ",\"binWidth\":" + jsonNumber(PowerCurve::kBinWidth);
    out += ",\"frames\":" + std::to_string(curve.frames());
    out += ",\"hoursOfData\":" + jsonNumber(curve.hoursOfData());
    out += ",\"bins\":[";
    bool first = true;
    for (int k = 0; k < PowerCurve::kBins; ++k) {
        const PowerCurveBin &b = curve.bins()[size_t(k)];
        if (!b.frames)
            continue;
        const auto rpm = b.meanRPM();
        out += first ? "" : ",";
        first = false;
        out += "{\"wind\":" + jsonNumber(PowerCurve::centre(k)) + ",\"frames\":" + std::to_string(b.frames)
               + ",\"meanWatts\":" + jsonNumber(b.meanWatts()) + ",\"sdWatts\":" + jsonNumber(b.sdWatts())
               + ",\"meanRpm\":" + (rpm ? jsonNumber(*rpm) : std::string("null"))
               + ",\"seconds\":" + jsonNumber(b.seconds) + ",\"first\":" + jsonString(utcText(b.first))
               + ",\"last\":" + jsonString(utcText(b.last)) + "}";
    }
    out += "]";
    const AnnualEstimate e = annualEstimate(curve);
    out += ",\"estimate\":{\"wattsAt11\":" + (e.wattsAt11 ? jsonNumber(*e.wattsAt11) : std::string("null"));
    out += ",\"rows\":[";
    for (size_t i = 0; i < e.rows.size(); ++i)
        out += std::string(i ? "," : "") + "{\"averageWind\":" + jsonNumber(e.rows[i].averageWind)
               + ",\"kilowattHours\":" + jsonNumber(e.rows[i].kilowattHours)
               + ",\"coveredShare\":" + jsonNumber(e.rows[i].coveredShare) + "}";
    out += "]}}";
    return out;
}

} // namespace core
