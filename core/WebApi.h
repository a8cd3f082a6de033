// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the web server answers, as texts: the current values as JSON (for
// /api/now and each event of /api/stream), the Prometheus text exposition
// of /metrics, and the power curve as JSON. Numbers with "." whatever the
// locale; times as UTC "2026-03-07T14:05:09Z".

#include "Archive.h"
#include "Availability.h"
#include "Liveness.h"
#include "PowerCurve.h"
#include "Web.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

struct WebAlarm {
    std::string key, name; // "battery_low", "Battery low"
    bool raised = false;
    // While raised: its value (seconds for no data) in `unit` ("" for
    // none), the Unix second it was raised at, and the banner's text.
    double value = 0;
    std::string unit;
    std::int64_t since = 0;
    std::string text;
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
    double todayWh = 0, yesterdayWh = 0, lifetimeWh = 0;
    long long framesReceived = 0, framesRejected = 0;
    // Minutes the archive let go unwritten since the program started.
    long long archiveMinutesDropped = 0;
    // Messages to the owner since the program started: sent, failed tries,
    // dropped after 48 hours unsent; and those waiting now.
    long long messagesSent = 0, messagesFailed = 0, messagesDropped = 0, messagesWaiting = 0;
    // Data out, when on: minutes the database confirmed since the program
    // started, failed tries, minutes waiting, those retention let go unsent
    // (ever), and the Unix time of the last confirmation (0: none yet).
    bool dataOutOn = false;
    long long dataOutSent = 0, dataOutFailed = 0, dataOutBacklog = 0, dataOutForgotten = 0;
    std::int64_t dataOutLastSuccess = 0;
    // This month's availability, once read from the archive.
    std::optional<Availability> month;
    // The daily backup, when it is on: the Unix second of the last whole
    // one (none yet), and why the last one failed ("" when it did not).
    bool backupOn = false;
    std::optional<std::int64_t> lastBackup;
    std::string backupProblem;
    std::vector<WebAlarm> alarms;
};

std::string nowJson(const WebNow &now);
// {"error":"<text>"}: what every refusal of the API says.
std::string errorJson(std::string_view text);
// One Server-Sent Event: "id: <id>", "event: reading" and the values as data.
std::string readingEvent(const WebNow &now, std::uint64_t id);

// The text exposition format (version 0.0.4): base units, counters ending in
// "_total", one "# HELP" and "# TYPE" per family. The reading's gauges only
// once there is a reading; the wind only in a unit we can turn into m/s.
std::string metricsText(const WebNow &now);

// ---- the archive's routes

// A time of a query: Unix seconds, "2026-03-07T14:05:09Z" or with an offset
// ("2026-03-07T15:05:09+01:00"); nullopt for anything else.
std::optional<std::int64_t> readQueryTime(std::string_view text);

enum class SeriesStep { Minute, Hour, Day };
// Seconds a row of the step stands for (a local day may be an hour longer or shorter).
std::int64_t seriesStepSeconds(SeriesStep step);
// Whether rows starting at `before` and `after` leave rows out between them:
// more than one and a half steps apart, so a local day of 23 or 25 hours is
// no gap but a missing one is.
bool seriesGap(SeriesStep step, std::int64_t before, std::int64_t after);
// Rows, one object each (the first form, kept for its clients), or columns:
// one array per field, for charts.
enum class SeriesForm { Rows, Columns };
// The quantities a row may give, in the order they are written.
constexpr const char *kSeriesFields[] = {"volts", "amps", "watts", "rpm", "wind", "energy", "load", "nodata", "frames"};
constexpr long long kMaxSeriesRows = 20000;
struct SeriesQuery {
    std::int64_t from = 0, to = 0;
    SeriesStep step = SeriesStep::Hour;
    SeriesForm form = SeriesForm::Rows;
    std::vector<std::string> fields;
};
// /api/series?from=&to=&step=&fields=&form=: `to` defaults to `now`, `from` to a day
// before `to`; step "minute", "hour" or "day" defaults by the span (minutes
// up to two days, hours up to 92 days, else days); fields, comma-separated
// from kSeriesFields, default to all; form "rows" (the default) or "columns".
// nullopt, with the reason in `error`, for an unknown value, from not before
// to, or more than kMaxSeriesRows steps.
std::optional<SeriesQuery> seriesQuery(const QueryPairs &query, std::int64_t now, std::string *error);
// The rows as JSON: each with its local start time and the fields asked for
// (a quantity as its mean, min and max).
std::string seriesJson(const SeriesQuery &query, const std::vector<ArchiveRow> &rows);
// The rows as columns: "t" in Unix seconds, "minutes", "imported" and
// "fromLogs" (drawn apart: mostly interval maxima), then one array per field
// asked (a quantity as its mean, min and max arrays). Where rows are left out
// (seriesGap) a row of nulls stands between, so a chart breaks its line
// there. The wind is in `windUnitShown`, the unit the settings show: values
// in m/s converted, those of an unknown unit only when it is that unit, others
// null; its factor from m/s goes beside it (null for an unknown unit).
std::string seriesColumnsJson(const SeriesQuery &query, const std::vector<ArchiveRow> &rows,
                              const std::string &windUnitShown);

struct DaysQuery {
    int year = 0, month = 0;
    // UTC seconds wide enough for every local day of the month.
    std::int64_t from = 0, to = 0;
};
// /api/days?month=2026-03; the month of `year`/`month` without one.
std::optional<DaysQuery> daysQuery(const QueryPairs &query, int year, int month, std::string *error);
// The month's day rows (others are left out) as JSON, one per local date.
std::string daysJson(const DaysQuery &query, const std::vector<ArchiveRow> &days);

} // namespace core
