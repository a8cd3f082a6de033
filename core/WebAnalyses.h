// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The JSON of the History window's analyses for the browser: the energy of a
// year's days and months, the power curve with all the Power curve page
// tells of it, the performance against the certified curve, the site's wind
// with its own estimate, and the alarms raised and their history. Each is
// made from the same core figures the window's page shows.

#include "Alarms.h"
#include "EnergyHistory.h"
#include "Performance.h"
#include "Turbine.h"
#include "WebApi.h"
#include "WindStats.h"

#include <optional>
#include <string>
#include <vector>

namespace core {

// /api/energy?year=2026: the year's months (total, the estimated part, days
// recorded and estimated) and days (energy, estimated), the year's total,
// daily average and best month, and the lifetime energy.
std::string energyJson(const YearSummary &year, const std::vector<DayRecord> &days, double lifetimeWh);

// /api/wind: the bins (hours a year measured and by the fit), the months'
// and years' means, the gust, the calm share, the fit, the site's estimate
// over the measured wind and over the fit, and the Rayleigh table. Winds in
// m/s, with `shownUnit` and 1 m/s in it ("oneMetrePerSecond", from its
// factor to m/s; null when not known) for the page to show the owner's unit.
std::string windJson(const WindStats &wind, const SiteEstimate &site, const Estimate &rayleigh,
                     const std::string &shownUnit, std::optional<double> toMetresPerSecond);

// /api/powercurve: the bins that have minutes (each with its mean wind and
// power, their spread and whether it is measured), the hours of data,
// completeness and the annual estimate with the power held up to the cut-out
// for the extrapolated figures, the air's density, the time curtailed this
// month (`month`, yyyymm) and in all, Cp and the tip-speed ratio per bin,
// and the `certified` curve's points (an empty list without one) with the
// measured curve held against it; the owner's wind unit as windJson gives it.
std::string powerCurveJson(const PowerCurve &curve, const TurbineSettings &settings,
                           const std::vector<CurvePoint> &certified, int month, const std::string &shownUnit,
                           std::optional<double> toMetresPerSecond);

// /api/performance: the energy measured over what the certified curve gives
// for the same winds, by day (the latest `days`), by month and in all.
std::string performanceJson(const PerformanceBook &book, size_t days);

// /api/alarms: each alarm as /api/now has it, and `history` (lines of
// alarms.csv, oldest first) newest first, `lines` of them read in all;
// values in the unit of each alarm (the wind's as set).
std::string alarmsJson(const std::vector<WebAlarm> &now, const std::vector<AlarmCsvRecord> &history,
                       long long lines, const std::string &windUnit);

} // namespace core
