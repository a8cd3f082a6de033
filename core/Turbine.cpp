// SPDX-License-Identifier: GPL-3.0-or-later
#include "Turbine.h"

#include "Number.h"
#include "TagValue.h"
#include "Text.h"

#include <algorithm>
#include <cmath>

namespace core {

namespace {
// The standard atmosphere (ISO 2533) below 11 km.
constexpr double kSeaLevelPressure = 101325;   // Pa
constexpr double kSeaLevelTemperature = 288.15; // K
constexpr double kLapseRate = 0.0065;           // K/m
constexpr double kGravity = 9.80665;            // m/s²
constexpr double kMolarMass = 0.0289644;        // kg/mol
constexpr double kGasConstant = 8.31446;        // J/(mol K)

std::optional<double> number(std::string_view text, std::string_view key)
{
    const auto value = tagValue(text, key);
    if (!value || value->empty())
        return std::nullopt;
    return readNumber(*value);
}

bool flag(std::string_view text, std::string_view key)
{
    const auto v = tagValue(text, key);
    return v && *v == "1";
}

std::string optionalText(const std::optional<double> &v) { return v ? dotNumberText(*v) : std::string(); }
} // namespace

bool TurbineSettings::operator==(const TurbineSettings &o) const
{
    return altitude == o.altitude && meanTemperature == o.meanTemperature
           && activePowerControl == o.activePowerControl && batteryFullVolts == o.batteryFullVolts
           && dumpsToLoad == o.dumpsToLoad && cutOut == o.cutOut && cutIn == o.cutIn && rotorDiameter == o.rotorDiameter
           && ratedPower == o.ratedPower && site == o.site;
}

std::optional<std::string> turbineSettingsProblem(const TurbineSettings &s)
{
    if (!(s.altitude >= -500 && s.altitude <= 5000))
        return "Altitude: a height from -500 to 5000 m.";
    if (s.meanTemperature && !(*s.meanTemperature >= -40 && *s.meanTemperature <= 50))
        return "Mean temperature: from -40 to 50 °C, or empty for 15 °C.";
    if (s.batteryFullVolts && !(*s.batteryFullVolts > 0 && *s.batteryFullVolts <= 1000))
        return "Battery full at: volts above 0 and up to 1000, or empty for off.";
    if (!(s.cutOut >= 5 && s.cutOut <= 60))
        return "Cut-out: a wind speed from 5 to 60 m/s.";
    if (s.cutIn && !(*s.cutIn >= 0.5 && *s.cutIn < s.cutOut))
        return "Cut-in: a wind speed from 0.5 m/s up to the cut-out, or empty for the curves'.";
    if (s.rotorDiameter && !(*s.rotorDiameter >= 0.3 && *s.rotorDiameter <= 200))
        return "Rotor diameter: from 0.3 to 200 m, or empty for none.";
    if (s.ratedPower && !(*s.ratedPower > 0 && *s.ratedPower <= 10000000))
        return "Rated power: watts above 0 and up to 10000000, or empty for none.";
    // It names the turbine in mail headers and push titles.
    if (s.site.size() > 64
        || std::any_of(s.site.begin(), s.site.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
        return "Site name: at most 64 characters, on one line.";
    return std::nullopt;
}

namespace {
// Only what was given of these is written, so files from before keep their bytes.
std::string givenLines(const TurbineSettings &s)
{
    std::string out;
    if (s.cutIn)
        out += tagLine("CutIn", dotNumberText(*s.cutIn));
    if (s.rotorDiameter)
        out += tagLine("RotorDiameter", dotNumberText(*s.rotorDiameter));
    if (!s.site.empty())
        putTag(out, "Site", s.site);
    return out;
}
} // namespace

std::string turbineSettingsText(const TurbineSettings &s)
{
    return tagLine("Altitude", dotNumberText(s.altitude)) + tagLine("MeanTemperature", optionalText(s.meanTemperature))
           + tagLine("ActivePowerControl", s.activePowerControl ? "1" : "0")
           + tagLine("BatteryFullVolts", optionalText(s.batteryFullVolts))
           + tagLine("DumpsToLoad", s.dumpsToLoad ? "1" : "0") + tagLine("CutOut", dotNumberText(s.cutOut))
           + tagLine("RatedPower", optionalText(s.ratedPower)) + givenLines(s);
}

TurbineSettings readTurbineSettings(std::string_view text)
{
    TurbineSettings s;
    const TurbineSettings defaults;
    // Each value alone: one that is out of its range takes its default.
    auto take = [&s, &defaults](auto member, auto value) {
        TurbineSettings probe = defaults;
        probe.*member = value;
        if (!turbineSettingsProblem(probe))
            s.*member = value;
    };
    if (const auto v = number(text, "Altitude"))
        take(&TurbineSettings::altitude, *v);
    if (const auto v = number(text, "MeanTemperature"))
        take(&TurbineSettings::meanTemperature, std::optional<double>(*v));
    if (const auto v = number(text, "BatteryFullVolts"))
        take(&TurbineSettings::batteryFullVolts, std::optional<double>(*v));
    if (const auto v = number(text, "CutOut"))
        take(&TurbineSettings::cutOut, *v);
    if (const auto v = number(text, "CutIn"))
        take(&TurbineSettings::cutIn, std::optional<double>(*v));
    if (const auto v = number(text, "RotorDiameter"))
        take(&TurbineSettings::rotorDiameter, std::optional<double>(*v));
    if (const auto v = number(text, "RatedPower"))
        take(&TurbineSettings::ratedPower, std::optional<double>(*v));
    s.activePowerControl = flag(text, "ActivePowerControl");
    s.dumpsToLoad = flag(text, "DumpsToLoad");
    std::string site;
    takeTag(text, "Site", site);
    take(&TurbineSettings::site, std::string(trimBlanks(site, " \t")));
    return s;
}

std::string siteNameOf(const TurbineSettings &s, std::string_view hostName)
{
    return s.site.empty() ? std::string(hostName) : s.site;
}

double airDensity(double altitude, double celsius)
{
    const double exponent = kGravity * kMolarMass / (kGasConstant * kLapseRate);
    const double pressure = kSeaLevelPressure * std::pow(1 - kLapseRate * altitude / kSeaLevelTemperature, exponent);
    return pressure * kMolarMass / (kGasConstant * (celsius + 273.15));
}

double siteDensity(const TurbineSettings &s)
{
    return airDensity(s.altitude, s.meanTemperature.value_or(kDefaultTemperature));
}

} // namespace core
