// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The turbine's measured power curve by the method of bins, and the annual
// energy it would give at a site's average wind speed.
//
// Bin k (0..60) is centred on k x 0.5 wind-speed units with edges at
// +-0.25; a speed on an edge goes to the upper bin, 30.25 still to bin 60,
// anything above it (and below 0) to none. Speeds are m/s where the wind unit
// is one we know, otherwise the user's own unit, and then no annual estimate
// can be made.

#include "Liveness.h"
#include "Reading.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

// What one frame adds to the curve: nothing unless the data is live, the frame
// itself is live (volts and amps read) and its wind field reads through the
// calibration. Speed in the user's unit, as calibrated.
struct CurveSample {
    double windSpeed = 0, watts = 0;
    std::optional<double> rpm; // when the frame's RPM field reads
};
std::optional<CurveSample> curveSample(const RawReading &raw, const Reading &reading, const Calibration &cal,
                                       DataState state);

struct PowerCurveBin {
    std::uint64_t frames = 0;
    double sumWatts = 0, sumSquares = 0;
    std::uint64_t rpmFrames = 0;
    double sumRPM = 0;
    // The time its frames stand for (each the time since the frame before it).
    double seconds = 0;
    // Unix seconds of its earliest and latest frame; meaningful when frames > 0.
    std::int64_t first = 0, last = 0;

    double meanWatts() const { return frames ? sumWatts / double(frames) : 0; }
    // Sample standard deviation of the frames' watts; 0 below two frames.
    double sdWatts() const;
    std::optional<double> meanRPM() const;
    bool operator==(const PowerCurveBin &o) const;
};

class PowerCurve {
public:
    static constexpr int kBins = 61;
    static constexpr double kBinWidth = 0.5;
    // The bin of a speed in the curve's unit, or nullopt.
    static std::optional<int> binOf(double speed);
    static double centre(int bin) { return bin * kBinWidth; }

    // `unit` names the speeds of an empty curve (see windUnit).
    explicit PowerCurve(std::string unit = "m/s") : m_unit(std::move(unit)) { }

    enum class Added { Counted, NotCounted, OtherUnit };
    // One frame handed to the curve at `monotonic` seconds and `unixTime`:
    // the sample (if any) in the unit `unit`. An empty curve takes the unit
    // it is given; one holding frames counts only frames of its own unit.
    // Every frame handed in, counted or not, marks the time the next counted
    // frame stands for, so call this for every frame.
    Added add(const std::optional<CurveSample> &sample, const WindUnit &unit, double monotonic,
              std::int64_t unixTime);

    const std::string &unit() const { return m_unit; }
    // Metres per second: the annual estimate and the power at 11 m/s need it.
    bool inMetresPerSecond() const { return m_unit == "m/s"; }
    const std::array<PowerCurveBin, kBins> &bins() const { return m_bins; }
    std::uint64_t frames() const;
    double hoursOfData() const;
    bool empty() const { return frames() == 0; }

    // Test and file access.
    PowerCurveBin &bin(int k) { return m_bins[size_t(k)]; }
    void setUnit(std::string unit) { m_unit = std::move(unit); }
    bool operator==(const PowerCurve &o) const { return m_unit == o.m_unit && m_bins == o.m_bins; }

private:
    std::string m_unit;
    std::array<PowerCurveBin, kBins> m_bins{};
    std::optional<double> m_lastFrame;
};

// The annual energy estimate for annual average wind speeds 4..11 m/s under a
// Rayleigh distribution. Method (that of turbine certification, "measured"):
//   E = 8760 h x sum over neighbouring measured bins i-1, i of
//       (F(v_i) - F(v_{i-1})) x (P_{i-1} + P_i) / 2,
//   F(v) = 1 - exp(-pi/4 (v / v_avg)^2),
// v the bin centres and P the bins' mean watts. Below the lowest measured bin
// the power rises from 0 half a bin below its centre (F(v) is 0 below 0);
// above the highest measured bin's centre it is 0. A bin without frames
// inside the measured range is bridged by its measured neighbours, as the
// mean of their powers over the span between them.
struct EstimateRow {
    double averageWind = 0; // m/s
    double kilowattHours = 0;
    // Rayleigh probability of the speeds between the measured range's outer
    // bin edges: the share of the year the curve has data for.
    double coveredShare = 0;
};
struct AnnualEstimate {
    bool knownUnit = false;
    std::vector<EstimateRow> rows;   // empty without a known unit or frames
    std::optional<double> wattsAt11; // mean watts of the 11 m/s bin, when it has frames
    double hoursOfData = 0;
};
double rayleighCumulative(double speed, double averageSpeed);
AnnualEstimate annualEstimate(const PowerCurve &curve);

// The curve as a comma-separated text: a header and one line per bin, numbers
// with ".", lines ending in CR LF. Times are UTC, "2026-03-07T14:05:09Z".
std::string powerCurveText(const PowerCurve &curve);
// Reads back exactly what powerCurveText writes (LF line ends also taken);
// nullopt for anything else, with `error` saying where. The one thing it
// mends is a bin's time range (backwards, or a time unreadable): then
// `mended` names those bins ("bin 10 (5 m/s)"), and is empty otherwise.
std::optional<PowerCurve> readPowerCurve(std::string_view text, std::string *error = nullptr,
                                         std::string *mended = nullptr);
// The export: the bins, an empty line, the estimate table, the power at 11 m/s
// and the hours of data.
std::string powerCurveExportText(const PowerCurve &curve);

// "2026-03-07T14:05:09Z" of Unix seconds, and back (nullopt unless exactly
// that shape and a real date and time).
std::string utcText(std::int64_t unixSeconds);
std::optional<std::int64_t> readUtcText(std::string_view text);

} // namespace core
