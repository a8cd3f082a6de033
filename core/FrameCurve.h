// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The power curve as earlier versions measured it, frame by frame, and its
// file "powercurve.csv": read once to be taken into the archive's curve.
//
// Bin k (0..60) is centred on k x 0.5 wind-speed units: m/s where the wind
// unit is one we know, otherwise the user's own unit.

#include "PowerCurve.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

struct FrameBin {
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
    bool operator==(const FrameBin &o) const;
};

class FrameCurve {
public:
    static constexpr int kBins = 61;
    static constexpr double kBinWidth = 0.5;
    static double centre(int bin) { return bin * kBinWidth; }

    // `unit` names the speeds of an empty curve (see windUnit).
    explicit FrameCurve(std::string unit = "m/s") : m_unit(std::move(unit)) { }

    const std::string &unit() const { return m_unit; }
    bool inMetresPerSecond() const { return m_unit == "m/s"; }
    const std::array<FrameBin, kBins> &bins() const { return m_bins; }
    std::uint64_t frames() const;
    double hoursOfData() const;
    bool empty() const { return frames() == 0; }

    // Test and file access.
    FrameBin &bin(int k) { return m_bins[size_t(k)]; }
    void setUnit(std::string unit) { m_unit = std::move(unit); }
    bool operator==(const FrameCurve &o) const { return m_unit == o.m_unit && m_bins == o.m_bins; }

private:
    std::string m_unit;
    std::array<FrameBin, kBins> m_bins{};
};

// The curve as a comma-separated text: a header and one line per bin, numbers
// with ".", lines ending in CR LF. Times are UTC, "2026-03-07T14:05:09Z".
std::string frameCurveText(const FrameCurve &curve);
// Reads back exactly what frameCurveText writes (LF line ends also taken);
// nullopt for anything else, with `error` saying where. The one thing it
// mends is a bin's time range (backwards, or a time unreadable): then
// `mended` names those bins ("bin 10 (5 m/s)"), and is empty otherwise.
std::optional<FrameCurve> readFrameCurve(std::string_view text, std::string *error = nullptr,
                                         std::string *mended = nullptr);
// "2026-03-07T14:05:09Z" of Unix seconds, and back (nullopt unless exactly
// that shape and a real date and time).
std::string utcText(std::int64_t unixSeconds);
std::optional<std::int64_t> readUtcText(std::string_view text);

} // namespace core
