// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "turbine.cfg": what the program knows of the turbine and its site, and the
// site's air density that the power curve is normalised with.

#include <optional>
#include <string>
#include <string_view>

namespace core {

// The air density the power curve is normalised to, kg/m³ (sea level, 15 °C).
constexpr double kReferenceDensity = 1.225;
constexpr double kDefaultTemperature = 15;
constexpr double kDefaultCutOut = 25;
constexpr double kDefaultCutIn = 3;

struct TurbineSettings {
    double altitude = 0; // m above sea level
    // °C; 15 when none is given.
    std::optional<double> meanTemperature;
    // Pitch or another active control of the power (else stall or furling,
    // the small turbine's way): decides which of wind and power is normalised.
    bool activePowerControl = false;
    // Minutes whose highest volts reach this are the battery full, not the
    // turbine; off when none is given.
    std::optional<double> batteryFullVolts;
    // The installation dumps surplus into the load: minutes with the load on
    // are left out of the curve.
    bool dumpsToLoad = false;
    double cutOut = kDefaultCutOut; // m/s
    // m/s: below it the wind is calm. None: the certified curve's cut-in,
    // else the measured curve's lowest producing bin, else kDefaultCutIn.
    std::optional<double> cutIn;
    // m, for the power coefficient and the tip-speed ratio; none when not given.
    std::optional<double> rotorDiameter;
    // W, for the capacity factor; none when not given.
    std::optional<double> ratedPower;
    // Names this turbine in messages and data sent out (UTF-8); empty for the
    // computer's name.
    std::string site;
    bool operator==(const TurbineSettings &o) const;
};

// The limits the page and the reader hold to; nullopt when all is well, else
// the words for the user.
std::optional<std::string> turbineSettingsProblem(const TurbineSettings &s);
std::string turbineSettingsText(const TurbineSettings &s);
// Anything missing or unreadable takes its default.
TurbineSettings readTurbineSettings(std::string_view text);

// Air density at `altitude` m from the standard atmosphere's pressure there
// (barometric formula) and the air at `celsius`: p / (R_specific T).
double airDensity(double altitude, double celsius);
double siteDensity(const TurbineSettings &s);
// The site's name: as set, else `hostName`.
std::string siteNameOf(const TurbineSettings &s, std::string_view hostName);

} // namespace core
