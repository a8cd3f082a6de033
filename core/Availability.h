// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Was the turbine there when the wind was? Every archived minute falls in one
// category, by the first rule it meets in this order:
//
//   no data        live data covered less than half of it (or an imported
//                  minute whose maxima cannot tell)
//   battery full   its highest volts reached "Battery full at"
//   dump load      the load was on and the installation dumps into it
//   calm           its mean wind below the cut-in
//   stopped        the wind at least the cut-in plus kStoppedMargin and
//                  below the cut-out, and the rotor still
//   not charging   the rotor turning (above kTurningRPM) and no current
//   high wind      above the cut-out, or above the certified curve's rated
//                  wind with less than half of the certified power
//   generating     everything else
//
// "Stopped" and "not charging" need a run of kRunMinutes minutes in a row: a
// shorter one (a gust the rotor did not follow, a start) counts as
// generating, and the minute that makes the run long enough moves the ones
// before it. Time-based availability is the share of the minutes with data
// that were neither stopped nor not charging; energy-based availability is
// the energy made over that plus the energy those minutes would have made by
// the power curve. Calm, high wind and the battery's causes leave the turbine
// available, and their lost energy is shown beside it.

#include "Archive.h"
#include "PowerCurve.h"
#include "Turbine.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace core {

enum class Category { NoData, BatteryFull, DumpLoad, Calm, Stopped, NotCharging, HighWind, Generating };
constexpr int kCategories = 8;
constexpr std::array<Category, kCategories> kAllCategories = {
    Category::NoData,  Category::BatteryFull, Category::DumpLoad, Category::Calm,
    Category::Stopped, Category::NotCharging, Category::HighWind, Category::Generating};
// "rotor stopped in wind", for people; "stopped", for files and the API.
std::string_view categoryName(Category c);
std::string_view categoryKey(Category c);
// The causes whose minutes are lost energy, and those of them the turbine
// answers for (its availability).
bool losesEnergy(Category c);
bool unavailable(Category c);

constexpr double kStoppedMargin = 1;    // m/s above the cut-in
constexpr double kTurningRPM = 30;      // a rotor above it turns
constexpr double kNoCurrentAmps = 0.1;  // a highest current below it is none
constexpr int kRunMinutes = 10;
constexpr double kHighWindShare = 0.5;  // of the certified power

struct AvailabilityRules {
    CurveRules curve;
    double cutIn = kDefaultCutIn; // m/s
    double cutOut = kDefaultCutOut;
    // The certified curve when one is kept (for the rated wind's rule).
    std::vector<CurvePoint> certified;
    // The rules as text: minutes classed under other rules are classed again.
    std::string key() const;
};
// The cut-in is the one set, else the certified curve's, else the measured
// curve's lowest producing bin, else kDefaultCutIn.
AvailabilityRules availabilityRules(const TurbineSettings &s, const std::vector<CurvePoint> &certified,
                                    const PowerCurve *measured);

// The category a minute fits on its own (before the run rule).
Category minuteFits(const ArchiveRow &minute, const AvailabilityRules &rules);
// Whether a category needs a run of kRunMinutes.
bool needsRun(Category c);
// The curve's bin of a minute's wind (normalised as the curve's), for the
// energy a lost minute would have made.
std::optional<int> lostBinOf(const ArchiveRow &minute, const CurveRules &rules);

// Classes minutes in time order, the run rule included: `add` returns the
// minute's category and, when its run has just become long enough, the
// earlier minutes of the run (their times), which move from generating to it.
class MinuteClasser {
public:
    explicit MinuteClasser(AvailabilityRules rules) : m_rules(std::move(rules)) {}
    struct Classed {
        Category category = Category::NoData;
        std::vector<std::int64_t> moved;
    };
    Classed add(const ArchiveRow &minute);
    // The run as it stood before the next minute, from the kRunMinutes
    // minutes kept before it (oldest first), for a writer that starts
    // within one.
    void resume(const std::vector<ArchiveRow> &before);

private:
    AvailabilityRules m_rules;
    Category m_runOf = Category::Generating;
    long long m_runLength = 0;
    std::int64_t m_last = 0;
    // The run's minutes while it is shorter than kRunMinutes.
    std::vector<std::int64_t> m_early;
};

// The minutes of a span by category, the energy made in them, and the lost
// causes' minutes by the curve's wind bin.
struct AvailabilityTally {
    std::array<long long, kCategories> minutes{};
    std::array<double, kCategories> energyWh{};
    std::map<std::pair<Category, int>, long long> lost;
    void add(const AvailabilityTally &o);
    // One minute in (sign 1) or out (-1).
    void count(Category c, double energyWh, std::optional<int> bin, int sign = 1);
    bool operator==(const AvailabilityTally &o) const;
};

struct Availability {
    // Minutes of the span that were watched (from the first minute kept on,
    // up to now); those without data are the ones no category holds.
    long long spanMinutes = 0;
    std::array<long long, kCategories> minutes{};
    long long withData() const { return spanMinutes - minutes[size_t(Category::NoData)]; }
    std::optional<double> timeBased, energyBased; // 0..1; none without data
    double madeKwh = 0;
    std::array<double, kCategories> lostKwh{};
    double lostTotalKwh() const
    {
        double sum = 0;
        for (const double v : lostKwh)
            sum += v;
        return sum;
    }
    // Lost minutes whose wind bin has no power in either curve.
    long long unpriced = 0;
};
// What a lost minute would have made in each bin (W at the site's air): the
// measured bin's mean power where it is measured, else the certified power at
// the bin's centre; none where neither has it.
std::array<std::optional<double>, PowerCurve::kBins> expectedWatts(const PowerCurve &measured,
                                                                   const std::vector<CurvePoint> &certified,
                                                                   const CurveRules &rules);
Availability availability(const AvailabilityTally &t, long long spanMinutes,
                          const std::array<std::optional<double>, PowerCurve::kBins> &expected);

// `--report availability`: one line a month (minutes by category, the
// availabilities, energy made and lost by cause) and one a year. Numbers with
// ".", CR LF.
struct AvailabilityPeriod {
    int key = 0; // yyyymm or yyyy
    Availability figures;
};
std::string availabilityReportText(const std::vector<AvailabilityPeriod> &months,
                                   const std::vector<AvailabilityPeriod> &years);

// The year's figures, then its months and days (oldest first), each with
// its minutes by category, the availabilities, and energy made and lost.
std::string availabilityJson(int year, const std::vector<AvailabilityPeriod> &years,
                             const std::vector<AvailabilityPeriod> &months, const std::vector<AvailabilityPeriod> &days);

} // namespace core
