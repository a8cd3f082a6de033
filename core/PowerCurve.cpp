// SPDX-License-Identifier: GPL-3.0-or-later
#include "PowerCurve.h"

#include "Number.h"
#include "Physics.h"
#include "Text.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace core {

namespace {

constexpr double kHoursPerYear = 8760;
constexpr double kPi = 3.14159265358979323846;
// Speeds that land on an edge after a unit conversion may be a rounding step
// below it; they still go to the upper bin.
constexpr double kEdgeSlack = 1e-9;

std::string lowerWithoutBlanks(std::string_view text)
{
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isspace(u))
            continue;
        out += u < 128 ? char(std::tolower(u)) : c;
    }
    return out;
}


} // namespace

WindUnit windUnit(std::string_view wsUnits)
{
    const std::string key = lowerWithoutBlanks(wsUnits);
    if (key == "kmh" || key == "km/h" || key == "kph")
        return {"m/s", 1 / 3.6};
    if (key == "mph")
        return {"m/s", 0.44704};
    if (key == "m/s" || key == "ms")
        return {"m/s", 1.0};
    if (key == "knots" || key == "kn" || key == "kt")
        return {"m/s", 1852.0 / 3600};
    // Kept as a unit name in comma-separated files: nothing that would split
    // or quote a field.
    std::string name;
    for (char c : key)
        if (c != ',' && c != '"' && static_cast<unsigned char>(c) >= 32 && c != 127)
            name += c;
    return {name, std::nullopt};
}

// ---- minutes into bins ---------------------------------------------------------

std::string CurveRules::key() const
{
    return "density=" + roundedText(density, 6) + ";control=" + (activePowerControl ? "1" : "0")
           + ";full=" + roundedText(batteryFullVolts, 3) + ";dump=" + (dumpsToLoad ? "1" : "0");
}

CurveRules curveRules(const TurbineSettings &s)
{
    CurveRules r;
    r.density = siteDensity(s);
    r.activePowerControl = s.activePowerControl;
    r.batteryFullVolts = s.batteryFullVolts;
    r.dumpsToLoad = s.dumpsToLoad;
    return r;
}

CurveMinute curveMinute(const ArchiveRow &row, const CurveRules &rules)
{
    CurveMinute m;
    // Minutes imported from the daily logs hold interval maxima, not means.
    if (row.imported || row.frames <= 0)
        return m;
    m.seconds = std::max(0.0, 60 - row.noDataSeconds);
    m.energyWh = row.energyWh;
    // Curtailed whatever the wind: the turbine was held back, not weak.
    if (rules.batteryFullVolts && row.volts.n && row.volts.max >= *rules.batteryFullVolts) {
        m.use = MinuteUse::BatteryFull;
        return m;
    }
    if (rules.dumpsToLoad && row.loadSeconds > 0) {
        m.use = MinuteUse::LoadOn;
        return m;
    }
    if (!row.wind.n || !row.watts.n || !windUnit(row.windUnit).known() || row.noDataSeconds > kMinuteGapSeconds)
        return m;
    double wind = row.wind.mean(), watts = row.watts.mean();
    // IEC 61400-12-1: a stall- or furl-regulated turbine's power scales with
    // the density; one with active power control sees a changed wind instead.
    if (rules.activePowerControl)
        wind *= std::cbrt(rules.density / kReferenceDensity);
    else
        watts *= kReferenceDensity / rules.density;
    const auto bin = PowerCurve::binOf(wind);
    if (!bin || !std::isfinite(watts))
        return m;
    m.use = MinuteUse::Curve;
    m.bin = *bin;
    m.wind = wind;
    m.watts = watts;
    if (row.rpm.n)
        m.rpm = row.rpm.mean();
    return m;
}

double CurveBin::sdWatts() const
{
    if (minutes < 2)
        return 0;
    const double n = double(minutes);
    const double variance = (sumSquares - sumWatts * sumWatts / n) / (n - 1);
    return variance > 0 ? std::sqrt(variance) : 0;
}

std::optional<double> CurveBin::meanRPM() const
{
    if (rpmMinutes <= 0)
        return std::nullopt;
    return sumRPM / double(rpmMinutes);
}

bool CurveBin::operator==(const CurveBin &o) const
{
    return minutes == o.minutes && sumWind == o.sumWind && sumWatts == o.sumWatts && sumSquares == o.sumSquares
           && rpmMinutes == o.rpmMinutes && sumRPM == o.sumRPM;
}

std::optional<int> PowerCurve::binOf(double speed)
{
    const double halfSteps = speed / kBinWidth;
    if (!(halfSteps >= 0) || halfSteps > (kBins - 1) + 0.5 + kEdgeSlack)
        return std::nullopt;
    const int k = int(std::floor(halfSteps + 0.5 + kEdgeSlack));
    return k < kBins ? k : kBins - 1;
}

void PowerCurve::add(const CurveMinute &m, int month, int sign)
{
    const double s = sign;
    switch (m.use) {
    case MinuteUse::Curve: {
        CurveBin &b = m_bins[size_t(m.bin)];
        b.minutes += sign;
        b.sumWind += s * m.wind;
        b.sumWatts += s * m.watts;
        b.sumSquares += s * m.watts * m.watts;
        if (m.rpm) {
            b.rpmMinutes += sign;
            b.sumRPM += s * *m.rpm;
        }
        break;
    }
    case MinuteUse::BatteryFull:
    case MinuteUse::LoadOn: {
        Curtailment &c = m_curtailed[{month, m.use}];
        c.seconds += s * m.seconds;
        c.energyWh += s * m.energyWh;
        break;
    }
    case MinuteUse::Unusable: break;
    }
}

Curtailment PowerCurve::curtailedIn(std::optional<int> month, MinuteUse why) const
{
    Curtailment sum;
    for (const auto &[key, c] : m_curtailed)
        if (key.second == why && (!month || key.first == *month)) {
            sum.seconds += c.seconds;
            sum.energyWh += c.energyWh;
        }
    return sum;
}

long long PowerCurve::minutes() const
{
    long long n = 0;
    for (const CurveBin &b : m_bins)
        n += b.minutes;
    return n;
}

// ---- the estimate --------------------------------------------------------------

std::vector<CurvePoint> measuredPoints(const PowerCurve &curve)
{
    std::vector<CurvePoint> points;
    int gap = 0;
    for (const CurveBin &b : curve.bins()) {
        if (b.measured()) {
            points.push_back({b.meanWind(), b.meanWatts()});
            gap = 0;
        } else if (!points.empty() && ++gap >= 2) {
            break;
        }
    }
    return points;
}

double rayleighCumulative(double speed, double averageSpeed)
{
    if (speed <= 0)
        return 0;
    const double x = speed / averageSpeed;
    return 1 - std::exp(-kPi / 4 * x * x);
}

Estimate annualEnergy(const std::vector<CurvePoint> &points, double cutOut)
{
    Estimate e;
    if (points.empty())
        return e;
    for (size_t i = 0; i < points.size(); ++i) {
        const CurvePoint &p = points[i];
        if (p.wind == 11)
            e.wattsAt11 = p.watts;
        else if (i > 0 && points[i - 1].wind < 11 && p.wind > 11) {
            const CurvePoint &a = points[i - 1];
            e.wattsAt11 = a.watts + (11 - a.wind) / (p.wind - a.wind) * (p.watts - a.watts);
        }
    }
    for (int average = 4; average <= 11; ++average) {
        const double v = average;
        EstimateRow r = energyOver(points, cutOut, [v](double speed) { return rayleighCumulative(speed, v); });
        r.averageWind = v;
        e.rows.push_back(r);
    }
    return e;
}

EstimateRow energyOver(const std::vector<CurvePoint> &points, double cutOut,
                       const std::function<double(double)> &F)
{
    EstimateRow r;
    if (points.empty())
        return r;
    const CurvePoint &last = points.back();
    double watts = 0;
    CurvePoint before{points.front().wind - PowerCurve::kBinWidth, 0};
    for (const CurvePoint &p : points) {
        watts += (F(p.wind) - F(before.wind)) * (before.watts + p.watts) / 2;
        before = p;
    }
    const double held = cutOut > last.wind ? (F(cutOut) - F(last.wind)) * last.watts : 0;
    r.measuredKwh = watts * kHoursPerYear / 1000;
    r.extrapolatedKwh = (watts + held) * kHoursPerYear / 1000;
    r.incomplete = r.measuredKwh < 0.95 * r.extrapolatedKwh;
    return r;
}

Completeness completeness(const PowerCurve &curve)
{
    Completeness c;
    c.hours = curve.hoursOfData();
    c.enoughHours = c.hours >= kCompleteHours;
    const auto &bins = curve.bins();
    for (int k = 0; k < PowerCurve::kBins; ++k)
        if (bins[size_t(k)].measured() && bins[size_t(k)].meanWatts() > 0) {
            c.lowestProducing = k;
            break;
        }
    if (!c.lowestProducing)
        return c;
    const int to = int(std::lround(kCompleteUpTo / PowerCurve::kBinWidth));
    std::vector<int> missing;
    for (int k = std::max(0, *c.lowestProducing - 2); k <= to; ++k)
        if (!bins[size_t(k)].measured())
            missing.push_back(k);
    c.missing = binRangesText(missing);
    c.complete = c.enoughHours && missing.empty();
    return c;
}

std::string binRangesText(const std::vector<int> &bins)
{
    std::string text;
    for (size_t i = 0; i < bins.size(); ++i) {
        size_t end = i;
        while (end + 1 < bins.size() && bins[end + 1] == bins[end] + 1)
            ++end;
        if (!text.empty())
            text += "; ";
        text += dotNumberText(PowerCurve::centre(bins[i]));
        if (end > i)
            text += "-" + dotNumberText(PowerCurve::centre(bins[end]));
        text += " m/s";
        i = end;
    }
    return text;
}

std::string completenessNote(const Completeness &c)
{
    if (c.complete)
        return std::string();
    std::string note = "The curve is incomplete:";
    std::string sep = " ";
    if (!c.enoughHours) {
        note += sep + roundedText(c.hours, 1) + " of the " + dotNumberText(kCompleteHours) + " hours of data it needs";
        sep = "; ";
    }
    if (!c.lowestProducing)
        note += sep + "no bin with power holds " + std::to_string(kMeasuredMinutes) + " minutes yet";
    else if (!c.missing.empty())
        note += sep + "bins with fewer than " + std::to_string(kMeasuredMinutes) + " minutes at " + c.missing;
    return note + ".";
}

// ---- texts --------------------------------------------------------------------

std::string estimateText(const Estimate &e)
{
    std::string out = "annual_average_wind_m_s,aep_measured_kwh,aep_extrapolated_kwh,aep_measured_note\r\n";
    for (int average = 4; average <= 11; ++average) {
        out += std::to_string(average);
        const size_t i = size_t(average - 4);
        if (i < e.rows.size()) {
            const EstimateRow &r = e.rows[i];
            out += ',' + roundedText(r.measuredKwh, 1) + ',' + roundedText(r.extrapolatedKwh, 1) + ','
                   + (r.incomplete ? "incomplete" : "");
        } else {
            out += ",,,";
        }
        out += "\r\n";
    }
    return out + "power_at_11_m_s_w," + roundedText(e.wattsAt11, 1) + "\r\n";
}

std::string curveReportText(const PowerCurve &curve, const TurbineSettings &settings)
{
    std::string out = "bin_m_s,minutes,mean_wind_m_s,mean_power_w,sd_power_w,mean_rpm,measured,cp,tip_speed_ratio\r\n";
    // Empty without a rotor diameter (and the ratio without RPM).
    std::array<std::optional<BinPhysics>, PowerCurve::kBins> physics{};
    for (const BinPhysics &p : binPhysics(curve, settings))
        physics[size_t(p.bin)] = p;
    for (int k = 0; k < PowerCurve::kBins; ++k) {
        const CurveBin &b = curve.bins()[size_t(k)];
        if (!b.minutes)
            continue;
        const auto &p = physics[size_t(k)];
        out += dotNumberText(PowerCurve::centre(k)) + ',' + std::to_string(b.minutes) + ',' + roundedText(b.meanWind(), 3)
               + ',' + roundedText(b.meanWatts(), 2) + ',' + roundedText(b.sdWatts(), 2) + ','
               + roundedText(b.meanRPM(), 1) + ',' + (b.measured() ? "1" : "0") + ','
               + (p ? roundedText(p->cp, 3) : std::string()) + ','
               + roundedText(p ? p->tipSpeedRatio : std::nullopt, 2) + "\r\n";
    }
    out += "\r\n" + estimateText(annualEnergy(measuredPoints(curve), settings.cutOut)) + "\r\n";
    const Completeness c = completeness(curve);
    const Curtailment full = curve.curtailedIn(std::nullopt, MinuteUse::BatteryFull);
    const Curtailment load = curve.curtailedIn(std::nullopt, MinuteUse::LoadOn);
    out += "hours_of_data," + roundedText(c.hours, 2) + "\r\n";
    out += std::string("complete,") + (c.complete ? "1" : "0") + "\r\n";
    out += "bins_missing," + c.missing + "\r\n";
    out += "air_density_kg_m3," + roundedText(siteDensity(settings), 4) + "\r\n";
    out += std::string("normalised,") + (settings.activePowerControl ? "wind" : "power") + "\r\n";
    out += "cut_out_m_s," + dotNumberText(settings.cutOut) + "\r\n";
    out += "battery_full_hours," + roundedText(full.seconds / 3600, 2) + "\r\n";
    out += "battery_full_kwh," + roundedText(full.energyWh / 1000, 3) + "\r\n";
    out += "load_on_hours," + roundedText(load.seconds / 3600, 2) + "\r\n";
    out += "load_on_kwh," + roundedText(load.energyWh / 1000, 3) + "\r\n";
    return out;
}

std::optional<std::vector<CurvePoint>> readCurveFile(std::string_view text, std::string *error)
{
    auto bad = [error](const std::string &why) -> std::optional<std::vector<CurvePoint>> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    const std::vector<std::string_view> lines = splitLines(text);
    std::vector<CurvePoint> points;
    std::optional<double> factor;
    char separator = ',';
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string where = "line " + std::to_string(i + 1) + ": ";
        const std::string_view line = trimBlanks(lines[i], " \t\r");
        if (line.empty())
            continue;
        if (!factor) {
            separator = line.find(';') != std::string_view::npos ? ';' : ',';
            const auto f = split(line, std::string_view(&separator, 1));
            const std::string unit = f.size() == 2 ? lowerWithoutBlanks(f[1]) : std::string();
            if (unit != "power_w" && unit != "power_kw")
                return bad(where + "the header must be two fields, the second power_w or power_kw");
            factor = unit == "power_kw" ? 1000 : 1;
            continue;
        }
        const auto f = split(line, std::string_view(&separator, 1));
        if (f.size() != 2)
            return bad(where + "needs a wind and a power");
        // readNumber takes "." and "," alike.
        auto value = [](std::string_view t) { return readNumber(trimBlanks(t, " \t")); };
        const auto wind = value(f[0]), power = value(f[1]);
        if (!wind || !power || !std::isfinite(*wind) || !std::isfinite(*power))
            return bad(where + "not two numbers");
        if (*wind < 0 || *wind > 60 || (!points.empty() && *wind <= points.back().wind))
            return bad(where + "the winds must rise, from 0 to 60 m/s");
        points.push_back({*wind, *power * *factor});
    }
    if (!factor)
        return bad("there is no header (wind_m_s,power_w or wind_m_s,power_kw)");
    if (points.size() < 2)
        return bad("it needs at least two points");
    return points;
}

// ---- what the page draws ---------------------------------------------------------

CurveChart curveChart(const PowerCurve &curve, double cutOut)
{
    CurveChart c;
    double highest = 0;
    for (const CurveBin &b : curve.bins()) {
        if (!b.minutes)
            continue;
        CurveMark m{b.meanWind(), b.meanWatts(), b.sdWatts(), b.meanRPM(), b.minutes, !b.measured()};
        highest = std::max(highest, m.wind);
        c.wattsTop = std::max(c.wattsTop, m.watts + m.sd);
        c.wattsBottom = std::min(c.wattsBottom, m.watts - m.sd);
        c.rpmTop = std::max(c.rpmTop, m.rpm.value_or(0));
        c.marks.push_back(m);
    }
    c.measured = measuredPoints(curve);
    if (!c.measured.empty()) {
        c.heldFrom = c.measured.back();
        c.heldTo = cutOut;
    }
    // Speeds to beyond the highest bin, at least 10 m/s' worth.
    c.windEnd = std::max(highest + 1.0, 10.0);
    return c;
}

} // namespace core
