// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The turbine's power curve by the method of bins over one-minute averages,
// as IEC 61400-12-1 measures small turbines (as far as a battery-charging
// installation's data allow), and the annual energy it gives at Rayleigh
// mean winds of 4 to 11 m/s, measured and extrapolated.
//
// Bin k (0..60) is centred on k x 0.5 m/s with edges at +-0.25; a speed on an
// edge goes to the upper bin, 30.25 still to bin 60, anything above it (and
// below 0) to none. A bin keeps the sums of its minutes, so its point is the
// mean wind and mean power of those minutes, not the bin's centre.

#include "Archive.h"
#include "Turbine.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace core {

// The wind unit of the `WSUnits` text: its factor to m/s and the name the
// curve's speeds are in ("m/s" for every known unit, else the user's text
// with blanks removed and lower case, as that is how two texts are compared).
struct WindUnit {
    std::string name;
    std::optional<double> toMetresPerSecond;
    bool known() const { return toMetresPerSecond.has_value(); }
};
WindUnit windUnit(std::string_view wsUnits);

// A bin with fewer minutes is drawn faint and never enters the estimate.
constexpr long long kMeasuredMinutes = 10;
// The curve is complete with this much data and every bin measured from
// 1 m/s below the lowest producing bin up to kCompleteUpTo.
constexpr double kCompleteHours = 60;
constexpr double kCompleteUpTo = 14;
// A minute counts when live data covered all but this many of its seconds.
constexpr double kMinuteGapSeconds = 6;

// How minutes become points of the curve: the site's air density and which
// quantity it normalises, and what curtails the turbine.
struct CurveRules {
    double density = kReferenceDensity;
    bool activePowerControl = false;
    std::optional<double> batteryFullVolts;
    bool dumpsToLoad = false;
    // The rules as text: bins made under other rules are made again.
    std::string key() const;
};
CurveRules curveRules(const TurbineSettings &s);

enum class MinuteUse { Curve, BatteryFull, LoadOn, Unusable };
// What one archive minute gives the curve. For Curve: its bin and its
// normalised mean wind and power (and mean RPM when read). For the curtailed
// ones: the time it had data and its energy.
struct CurveMinute {
    MinuteUse use = MinuteUse::Unusable;
    int bin = -1;
    double wind = 0, watts = 0;
    std::optional<double> rpm;
    double seconds = 0, energyWh = 0;
};
CurveMinute curveMinute(const ArchiveRow &minute, const CurveRules &rules);

struct CurveBin {
    long long minutes = 0;
    double sumWind = 0, sumWatts = 0, sumSquares = 0;
    long long rpmMinutes = 0;
    double sumRPM = 0;

    double meanWind() const { return minutes ? sumWind / double(minutes) : 0; }
    double meanWatts() const { return minutes ? sumWatts / double(minutes) : 0; }
    // Sample standard deviation of the minutes' power; 0 below two minutes.
    double sdWatts() const;
    std::optional<double> meanRPM() const;
    bool measured() const { return minutes >= kMeasuredMinutes; }
    bool operator==(const CurveBin &o) const;
};

// Time and energy of curtailed minutes.
struct Curtailment {
    double seconds = 0, energyWh = 0;
};

class PowerCurve {
public:
    static constexpr int kBins = 61;
    static constexpr double kBinWidth = 0.5;
    static std::optional<int> binOf(double speed);
    static double centre(int bin) { return bin * kBinWidth; }

    // `sign` -1 takes a minute out again (a minute written anew).
    void add(const CurveMinute &m, int month, int sign = 1);

    const std::array<CurveBin, kBins> &bins() const { return m_bins; }
    CurveBin &bin(int k) { return m_bins[size_t(k)]; }
    // By local month (yyyymm) and why (BatteryFull or LoadOn).
    const std::map<std::pair<int, MinuteUse>, Curtailment> &curtailed() const { return m_curtailed; }
    Curtailment &curtailment(int month, MinuteUse why) { return m_curtailed[{month, why}]; }
    Curtailment curtailedIn(std::optional<int> month, MinuteUse why) const;
    long long minutes() const;
    double hoursOfData() const { return double(minutes()) / 60; }
    bool operator==(const PowerCurve &o) const { return m_bins == o.m_bins; }

private:
    std::array<CurveBin, kBins> m_bins{};
    std::map<std::pair<int, MinuteUse>, Curtailment> m_curtailed;
};

// A point of a curve: wind in m/s and power in W.
struct CurvePoint {
    double wind = 0, watts = 0;
};

// The points the estimate uses: the measured bins' means, from the lowest
// measured bin up to the last one before a gap of two or more bins (a single
// missing bin is bridged by its neighbours).
std::vector<CurvePoint> measuredPoints(const PowerCurve &curve);

// Rayleigh cumulative distribution at `speed` for a mean of `averageSpeed`.
double rayleighCumulative(double speed, double averageSpeed);

// The annual energy of a curve of points (winds rising), as IEC 61400-12-1
// reports it:
//   AEP = 8760 h x sum over i = 1..N of (F(V_i) - F(V_i-1)) x (P_i-1 + P_i) / 2
// with V_0 = V_1 - 0.5 m/s and P_0 = 0; measured takes no power above V_N,
// extrapolated holds P_N from V_N to the cut-out. A measured figure under
// 95 % of the extrapolated one is incomplete.
struct EstimateRow {
    double averageWind = 0; // m/s
    double measuredKwh = 0, extrapolatedKwh = 0;
    bool incomplete = false;
};
struct Estimate {
    std::vector<EstimateRow> rows; // 4..11 m/s; empty without points
    // Linear between the two points around 11 m/s; none beyond the last point.
    std::optional<double> wattsAt11;
};
Estimate annualEnergy(const std::vector<CurvePoint> &points, double cutOut);
// The same sum over any distribution of the wind: `cumulative(v)` is the
// share of the time with a wind below v m/s (averageWind is left at 0).
EstimateRow energyOver(const std::vector<CurvePoint> &points, double cutOut,
                       const std::function<double(double)> &cumulative);

struct Completeness {
    bool complete = false;
    double hours = 0;
    bool enoughHours = false;
    // The lowest measured bin with power above 0.
    std::optional<int> lowestProducing;
    // The bins that are not measured, as ranges: "9.5-11 m/s, 13 m/s".
    std::string missing;
};
Completeness completeness(const PowerCurve &curve);
// Bins (rising) as ranges of their centres, "9.5-11 m/s; 13 m/s"; "" for none.
std::string binRangesText(const std::vector<int> &bins);
// The note for the user: empty when complete.
std::string completenessNote(const Completeness &c);

// ---- texts -------------------------------------------------------------

// The estimate table (the same for a measured curve and a curve file):
// header, 4..11 m/s, then the power at 11 m/s. Numbers with ".", CR LF.
std::string estimateText(const Estimate &e);
// The measured curve: one line a bin with minutes, an empty line, the
// estimate, and the curve's state (hours, completeness, density, the
// curtailed time).
std::string curveReportText(const PowerCurve &curve, const TurbineSettings &settings);

// A curve file: a header whose second field names the power's unit
// ("power_w" or "power_kw"), then "wind,power" lines, winds in m/s rising.
// ";" may separate the fields (then "," may be the decimal point). nullopt
// with `error` saying where.
std::optional<std::vector<CurvePoint>> readCurveFile(std::string_view text, std::string *error);

// ---- what the page draws -------------------------------------------------

struct CurveMark {
    double wind = 0, watts = 0, sd = 0; // the bin's means and spread
    std::optional<double> rpm;
    long long minutes = 0;
    bool faint = false; // fewer than kMeasuredMinutes
};
struct CurveChart {
    std::vector<CurveMark> marks;           // every bin with minutes
    std::vector<CurvePoint> measured;       // the line the estimate uses
    std::optional<CurvePoint> heldFrom;     // the extrapolation: this power held...
    double heldTo = 0;                      // ...up to the cut-out
    // What the axes must hold, before rounding to ticks.
    double windEnd = 10, wattsTop = 0, wattsBottom = 0, rpmTop = 0;
};
CurveChart curveChart(const PowerCurve &curve, double cutOut);

} // namespace core
