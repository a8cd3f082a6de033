// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The turbine held against its certified power curve (a curve file as
// readCurveFile takes it): the power the curve gives at a wind, the ratio of
// the measured curve to it per bin, and the performance, the energy measured
// over the energy the certified curve gives for the same minutes' winds, per
// local day and month; the run of days the under-performing alarm looks at;
// and the monthly energy report.
//
// A minute is compared when it enters the measured curve (curveMinute: live
// means, not curtailed, normalised to 1.225 kg/m³ as the curve is) and its
// wind lies within the certified curve's winds; it then adds its normalised
// mean power for a minute to the measured energy and the certified power at
// its normalised wind to the certified energy.

#include "EnergyBook.h"
#include "PowerCurve.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace core {

// A day counts for the alarm with this many compared minutes whose wind is
// above the certified curve's cut-in.
constexpr long long kWindyMinutesADay = 60;

// The certified power at `wind` m/s, linear between the points (winds
// rising); nullopt outside the first and last point's winds.
std::optional<double> certifiedWatts(const std::vector<CurvePoint> &certified, double wind);
// The cut-in: the wind above which the certified curve gives power, that of
// the point before the first one with power above 0 (or of the first point,
// when it has power); nullopt when no point has.
std::optional<double> cutInWind(const std::vector<CurvePoint> &certified);

// One bin of the measured curve beside the certified power at its mean wind.
struct BinRatio {
    int bin = 0;
    double wind = 0, measuredWatts = 0, certifiedWatts = 0;
    long long minutes = 0;
    bool faint = false;          // fewer than kMeasuredMinutes
    std::optional<double> ratio; // measured / certified; none where certified is not above 0
};
// Every bin with minutes whose mean wind lies within the certified curve.
std::vector<BinRatio> binRatios(const PowerCurve &curve, const std::vector<CurvePoint> &certified);

struct PerformanceSums {
    double measuredWh = 0, certifiedWh = 0;
    long long minutes = 0;      // compared
    long long windyMinutes = 0; // of them, with the wind above the cut-in
    // measured / certified; none while the certified energy is not above 0.
    std::optional<double> ratio() const;
    void add(const PerformanceSums &o);
    bool operator==(const PerformanceSums &o) const;
};

// Collects the minutes, by local day (yyyymmdd) and month (yyyymm).
class PerformanceBook {
public:
    PerformanceBook(std::vector<CurvePoint> certified, const CurveRules &rules);

    // One archive minute (in any order); minutes not compared change nothing.
    void add(const ArchiveRow &minute);
    // What `minute` adds to its day (yyyymmdd, its key), or nothing when it
    // is not compared.
    std::optional<std::pair<int, PerformanceSums>> part(const ArchiveRow &minute) const;
    // A day's sums kept elsewhere (the archive's).
    void add(int day, const PerformanceSums &sums) { m_days[day].add(sums); }
    // The certified curve and the rules as text: sums made by others are made again.
    std::string key() const;
    const std::map<int, PerformanceSums> &days() const { return m_days; }
    std::map<int, PerformanceSums> months() const;
    const std::vector<CurvePoint> &certified() const { return m_certified; }
    const CurveRules &rules() const { return m_rules; }
    std::optional<double> cutIn() const { return m_cutIn; }

private:
    std::vector<CurvePoint> m_certified;
    CurveRules m_rules;
    std::optional<double> m_cutIn;
    std::map<int, PerformanceSums> m_days;
};

// The latest days the alarm looks at: from the day before `today` (yyyymmdd)
// backwards, the days with at least kWindyMinutesADay windy minutes count,
// the others are passed over (they neither break nor lengthen a run). The run
// is the counted days in a row, latest first, whose performance is below
// `thresholdPercent`, up to `neededDays`; a counted day at or above it ends it.
struct PerformanceRun {
    int days = 0;       // in the run
    bool under = false; // the run is `neededDays` long
    // The performance over the run's days, in percent; with no run, that of
    // the latest counted day; none without a counted day.
    std::optional<double> percent;
};
PerformanceRun performanceRun(const std::map<int, PerformanceSums> &days, int today, double thresholdPercent,
                              int neededDays);

// `--report energy`: one line a month of energy.csv (energy and days, the
// estimated ones among them) and, with a certified curve (`performance` not
// null), the compared hours, the compared minutes' measured and certified
// energy and the performance in percent. Numbers with ".", CR LF.
std::string energyReportText(const std::vector<DayRecord> &days,
                             const std::map<int, PerformanceSums> *performanceMonths);

} // namespace core
