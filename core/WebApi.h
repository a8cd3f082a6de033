// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the web server answers, as texts: the current values as JSON (for
// /api/now and each event of /api/stream), the Prometheus text exposition
// of /metrics, and the power curve as JSON. Numbers with "." whatever the
// locale; times as UTC "2026-03-07T14:05:09Z".

#include "Liveness.h"
#include "PowerCurve.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

struct WebAlarm {
    std::string key, name; // "battery_low", "Battery low"
    bool raised = false;
};

// The session's values at one moment, copied for the server's thread.
struct WebNow {
    // Unix seconds the values were taken at.
    std::int64_t time = 0;
    DataState state = DataState::Stale;
    // Unix seconds of the last live frame; none before the first.
    std::optional<std::int64_t> lastLive;
    // The reading once a frame has come (until then the values are unknown).
    bool hasReading = false;
    double volts = 0, amps = 0, watts = 0, rpm = 0, windSpeed = 0;
    bool loadOn = false;
    // The wind unit as the settings hold it, and its factor to m/s when known.
    std::string windUnit;
    std::optional<double> windToMetresPerSecond;
    double todayWh = 0, lifetimeWh = 0;
    long long framesReceived = 0, framesRejected = 0;
    std::vector<WebAlarm> alarms;
};

// A JSON string: quoted, with '"', '\\' and control bytes escaped.
std::string jsonString(std::string_view text);
// A JSON number ("." and no exponent); null for a value that is not finite.
std::string jsonNumber(double value);

std::string nowJson(const WebNow &now);
// One Server-Sent Event: "id: <id>", "event: reading" and the values as data.
std::string readingEvent(const WebNow &now, std::uint64_t id);

// The text exposition format (version 0.0.4): base units, counters ending in
// "_total", one "# HELP" and "# TYPE" per family. The reading's gauges only
// once there is a reading; the wind only in a unit we can turn into m/s.
std::string metricsText(const WebNow &now);

// The bins that have frames, the hours of data and the annual estimate.
std::string powerCurveJson(const PowerCurve &curve);

} // namespace core
