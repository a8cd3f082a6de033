// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The site's wind from the archive: the time in each of the power curve's
// bins, the mean wind by month and by year, the strongest gust, the share of
// calm minutes and a Weibull fit; and the site's own annual energy, the
// measured curve summed over that wind by the power curve's own formula.
//
// The minutes' means count one minute each. Where the minutes are no longer
// kept, an hour summary's mean counts for the minutes it holds. Minutes
// imported from the daily logs hold interval maxima, not means: they give
// the gust only (and so does an hour summary holding one).

#include "Archive.h"
#include "PowerCurve.h"
#include "Turbine.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace core {

constexpr double kWindYearHours = 8760;
// A minute whose mean wind is below this (0 at the archive's resolution of
// 0.001 m/s) is calm; calm minutes stay out of the Weibull fit.
constexpr double kCalmBelow = 0.0005;
// The fit wants at least this many minutes of wind, with two different means.
constexpr double kWeibullMinimumMinutes = 10;

struct WeibullFit {
    double k = 0; // shape
    double c = 0; // scale, m/s
};
// The maximum-likelihood fit of (wind, weight) samples with wind above 0
// (others are left out); nullopt without enough samples or with every wind
// the same. Newton's method on the shape's likelihood equation, kept inside
// a bracket that bisects where a step would leave it.
std::optional<WeibullFit> fitWeibull(const std::vector<std::pair<double, double>> &samples);
double weibullCumulative(double speed, const WeibullFit &f);
double weibullDensity(double speed, const WeibullFit &f);

// The mean wind of a month (yyyymm) or a year (yyyy), local time.
struct WindPeriod {
    int key = 0;
    double minutes = 0, sumWind = 0;
    double mean() const { return minutes > 0 ? sumWind / minutes : 0; }
};

struct WindGust {
    double wind = 0; // m/s
    std::int64_t t = 0;
    int utcOffset = 0;
};

struct WindBinTime {
    double minutes = 0;
    double share = 0;        // of the time measured
    double hoursPerYear = 0; // share x 8760
};

struct WindStats {
    double minutes = 0;          // time measured, in minutes
    double minutesFromHours = 0; // of it, from hour summaries
    double calmMinutes = 0;
    double aboveBinsMinutes = 0; // winds beyond the last bin
    double otherUnitMinutes = 0; // left out: a wind unit of no known factor to m/s
    std::array<WindBinTime, PowerCurve::kBins> bins{};
    std::vector<WindPeriod> months, years; // oldest first
    std::optional<WindGust> gust;
    std::optional<WeibullFit> weibull;
    double meanWind = 0;
    // The distinct winds (m/s, 0.001 resolution, rising) and their minutes,
    // calm ones included: the measured distribution.
    std::vector<std::pair<double, double>> distribution;

    double calmShare() const { return minutes > 0 ? calmMinutes / minutes : 0; }
    // The share of the time measured with a wind below `speed`.
    double cumulative(double speed) const;
    // Hours a year in bin `bin` by the fitted distribution, calm at 0 m/s as
    // the site's estimate takes it: (1 - calm share) x the fit's share of the
    // bin's speeds x 8760, and bin 0 also the calm share x 8760; 0 without a fit.
    double weibullHoursPerYear(int bin) const;
};

// What one archive row gives the statistics, as WindTally takes it: its mean
// for `minutes` (none for an imported row or a wind out of range), its gust,
// or the minutes left out for their unit. `hour`: an hour summary standing
// for its minutes.
struct WindPart {
    int month = 0; // local yyyymm
    double minutes = 0, wind = 0;
    double otherUnit = 0;
    std::optional<WindGust> gust;
    // The mean's place in the distribution, in thousandths of m/s.
    long mille() const;
};
WindPart windPart(const ArchiveRow &row, bool hour);
// The same with the unit's knowledge and the row's month worked out already.
WindPart windPart(const ArchiveRow &row, bool hour, bool unitKnown, int month);
// The rules the archive's wind tallies are made by: tallies made by others
// are made again.
std::string windTallyKey();

// Gathers the rows as they are read, one by one.
class WindTally {
public:
    // A minute of the archive (wind in m/s when its unit is known).
    void addMinute(const ArchiveRow &minute);
    // An hour summary whose minutes are no longer kept.
    void addHour(const ArchiveRow &hour);
    // `minutes` of a mean wind `wind` (m/s) in local month `month` (yyyymm).
    void add(double wind, double minutes, int month);
    void addGust(double wind, std::int64_t t, int utcOffset);
    // Takes in a tally of later rows (one read beside this one).
    void merge(const WindTally &later);
    // Tallies kept elsewhere (the archive's): `minutes` at a mean of `mille`
    // thousandths of m/s, and a month's minutes with the sum of their means,
    // those of them from hour summaries and those of other units.
    void addMille(long mille, double minutes);
    void addMonth(int month, double minutes, double sumWind, double fromHours, double otherUnit);
    WindStats stats() const;

private:
    bool knownUnit(const std::string &unit);
    void take(const WindPart &part, bool hour);

    // Minutes by wind in thousandths of m/s.
    std::vector<double> m_byMille;
    double m_minutes = 0, m_fromHours = 0, m_otherUnit = 0, m_sumWind = 0;
    std::vector<WindPeriod> m_months;
    std::optional<WindGust> m_gust;
    std::string m_unit;
    bool m_unitKnown = false, m_unitSeen = false;
    // The local day last seen (days since 1970) and its month.
    std::int64_t m_day = 0;
    int m_dayMonth = 0;
    int monthOf(std::int64_t t, int utcOffset);
};

// ---- the site's own estimate ----------------------------------------------------

// The measured curve (normalised to 1.225 kg/m³) brought back to the site's
// air density: the power, or for an active-control turbine the wind.
std::vector<CurvePoint> siteCurve(const std::vector<CurvePoint> &normalised, const CurveRules &rules);

struct SiteEnergy {
    EstimateRow row;                      // averageWind: the distribution's mean
    std::optional<double> capacityFactor; // of the measured figure, against the rated power
};
struct SiteEstimate {
    std::optional<SiteEnergy> measured; // over the measured distribution
    std::optional<SiteEnergy> weibull;  // over the fit, calm minutes at 0
};
// Nothing without points or without wind measured.
SiteEstimate siteEstimate(const WindStats &wind, const PowerCurve &curve, const TurbineSettings &settings);

// `--report wind`: the bins, the months and years, the figures and the
// site's estimate, as CSV (numbers with ".", CR LF).
std::string windReportText(const WindStats &wind, const PowerCurve &curve, const TurbineSettings &settings);

} // namespace core
