// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The JSON of the History window's analyses for the browser: the energy of a
// year's days and months, and the site's wind with its own estimate. Each is
// made from the same core figures the window's page shows.

#include "EnergyHistory.h"
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

} // namespace core
