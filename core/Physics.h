// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The measured curve held against what a rotor can do: each bin's power
// coefficient Cp = P / (1/2 rho A v^3) and tip-speed ratio
// lambda = (RPM 2 pi / 60) (D / 2) / v, for a rotor of diameter D (m) and a
// swept area A = pi (D / 2)^2. No rotor takes more than the Betz limit, 16/27,
// of the power in the wind: a bin above it means the wind reads low or the
// power reads high.

#include "PowerCurve.h"
#include "Turbine.h"

#include <optional>
#include <string>
#include <vector>

namespace core {

constexpr double kBetzLimit = 16.0 / 27.0;

// Watts, m/s, m, kg/m³; none without a wind and a diameter above 0.
std::optional<double> powerCoefficient(double watts, double wind, double diameter, double density);
// RPM, m/s, m; none without a wind and a diameter above 0, or with an RPM below 0.
std::optional<double> tipSpeedRatio(double rpm, double wind, double diameter);

struct BinPhysics {
    int bin = 0;
    double wind = 0, watts = 0; // the bin's means, normalised as the curve's
    double cp = 0;
    std::optional<double> tipSpeedRatio; // none where no RPM was read
    bool faint = false;                  // fewer than kMeasuredMinutes
    // Only a measured bin's mean tells of the sensors; a few minutes may
    // hold a gust the rotor caught and the anemometer did not.
    bool aboveBetz() const { return !faint && cp > kBetzLimit; }
};
// Each bin with minutes and a wind above 0, rising; empty without a rotor
// diameter.
std::vector<BinPhysics> binPhysics(const PowerCurve &curve, const TurbineSettings &settings);
// The measured bins above the Betz limit as ranges of bin centres
// ("3.5-4 m/s; 6 m/s"); "" when there are none.
std::string aboveBetzText(const std::vector<BinPhysics> &bins);
// What the page says of them, in words for the owner (numbers in the
// user's decimal separator): how to get them without a rotor diameter, the
// bins above Betz when there are any, else the highest measured Cp. `dot`:
// numbers with "." whatever the locale (for the browser).
std::string physicsNote(const std::vector<BinPhysics> &bins, bool diameterSet, bool dot = false);

} // namespace core
