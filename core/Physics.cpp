// SPDX-License-Identifier: GPL-3.0-or-later
#include "Physics.h"

#include "Number.h"

#include <cmath>

namespace core {

namespace {
constexpr double kPi = 3.14159265358979323846;
} // namespace

std::optional<double> powerCoefficient(double watts, double wind, double diameter, double density)
{
    if (!(wind > 0) || !(diameter > 0) || !(density > 0))
        return std::nullopt;
    const double area = kPi * diameter * diameter / 4;
    return watts / (0.5 * density * area * wind * wind * wind);
}

std::optional<double> tipSpeedRatio(double rpm, double wind, double diameter)
{
    if (!(wind > 0) || !(diameter > 0) || !(rpm >= 0))
        return std::nullopt;
    return rpm * 2 * kPi / 60 * (diameter / 2) / wind;
}

std::vector<BinPhysics> binPhysics(const PowerCurve &curve, const TurbineSettings &settings)
{
    std::vector<BinPhysics> out;
    if (!settings.rotorDiameter)
        return out;
    const double diameter = *settings.rotorDiameter;
    // The bins hold power normalised to the reference density (stall and
    // furling) or wind normalised so that the reference density's power in
    // it is the site's (active control): either way the bin's means stand
    // for air of kReferenceDensity, as in IEC 61400-12-1's Cp per bin.
    // The rotor's tip turns in the wind as it blew, so the tip-speed ratio
    // takes an active-control turbine's wind back to the site's air.
    const double toSiteWind
        = settings.activePowerControl ? std::cbrt(kReferenceDensity / siteDensity(settings)) : 1.0;
    for (int k = 0; k < PowerCurve::kBins; ++k) {
        const CurveBin &b = curve.bins()[size_t(k)];
        const auto cp = b.minutes ? powerCoefficient(b.meanWatts(), b.meanWind(), diameter, kReferenceDensity)
                                  : std::nullopt;
        if (!cp)
            continue;
        BinPhysics p;
        p.bin = k;
        p.wind = b.meanWind();
        p.watts = b.meanWatts();
        p.cp = *cp;
        p.faint = !b.measured();
        if (const auto rpm = b.meanRPM())
            p.tipSpeedRatio = tipSpeedRatio(*rpm, b.meanWind() * toSiteWind, diameter);
        out.push_back(p);
    }
    return out;
}

std::string aboveBetzText(const std::vector<BinPhysics> &bins)
{
    std::vector<int> above;
    for (const BinPhysics &p : bins)
        if (p.aboveBetz())
            above.push_back(p.bin);
    return binRangesText(above);
}

std::string physicsNote(const std::vector<BinPhysics> &bins, bool diameterSet, bool dot)
{
    const auto n = [dot](double v, int decimals) {
        return dot ? dotNumberText(roundHalfEven(v, decimals)) : numberText(roundHalfEven(v, decimals));
    };
    if (!diameterSet)
        return "With the rotor diameter set (Options, Turbine and site), each bin shows its power coefficient "
               "Cp and its tip-speed ratio \u03BB.";
    const std::string betz = n(kBetzLimit, 3);
    if (const std::string above = aboveBetzText(bins); !above.empty())
        return "Cp is above the Betz limit of " + betz + " at " + above
               + ". No rotor takes more than 16/27 of the power in the wind, so there the wind reads low or the "
                 "power reads high: check the anemometer (its calibration, and whether the rotor or a building "
                 "shelters it) and the current's calibration.";
    const BinPhysics *best = nullptr;
    for (const BinPhysics &p : bins)
        if (!p.faint && (!best || p.cp > best->cp))
            best = &p;
    if (!best)
        return std::string();
    std::string note = "Cp at most " + n(best->cp, 3) + " (at " + n(best->wind, 2) + " m/s";
    if (best->tipSpeedRatio)
        note += ", \u03BB " + n(*best->tipSpeedRatio, 2);
    return note + ") in the measured bins, below the Betz limit of " + betz + ".";
}

} // namespace core
