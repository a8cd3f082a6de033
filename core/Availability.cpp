// SPDX-License-Identifier: GPL-3.0-or-later
#include "Availability.h"

#include "Json.h"
#include "Number.h"
#include "Performance.h"
#include "Text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace core {

namespace {
struct Names {
    std::string_view name, key;
};
constexpr std::array<Names, kCategories> kNames = {{
    {"no data", "no_data"},
    {"battery full", "battery_full"},
    {"dump load", "dump_load"},
    {"calm", "calm"},
    {"rotor stopped in wind", "stopped"},
    {"turning but not charging", "not_charging"},
    {"high-wind protection", "high_wind"},
    {"generating", "generating"},
}};

// Live data covered less than half of the minute.
constexpr double kNoDataSeconds = 30;

// The minute's mean wind in m/s; none without a reading in a known unit.
std::optional<double> windOf(const ArchiveRow &m, bool highest)
{
    if (!m.wind.n || !windUnit(m.windUnit).known())
        return std::nullopt;
    return highest ? m.wind.max : m.wind.mean();
}

// The certified curve's rated wind: where it first gives its highest power.
std::optional<double> ratedWind(const std::vector<CurvePoint> &certified)
{
    const auto top = std::max_element(certified.begin(), certified.end(),
                                      [](const CurvePoint &a, const CurvePoint &b) { return a.watts < b.watts; });
    if (top == certified.end() || !(top->watts > 0))
        return std::nullopt;
    return top->wind;
}

// The minute's wind and power normalised as the curve's are.
std::optional<CurvePoint> normalised(const ArchiveRow &m, const CurveRules &rules)
{
    const auto wind = windOf(m, false);
    if (!wind || !m.watts.n)
        return std::nullopt;
    CurvePoint p{*wind, m.watts.mean()};
    if (rules.activePowerControl)
        p.wind *= std::cbrt(rules.density / kReferenceDensity);
    else
        p.watts *= kReferenceDensity / rules.density;
    return p;
}

// What an imported minute (interval maxima) can tell: curtailed, or calm
// when even its highest wind was.
Category importedFits(const ArchiveRow &m, const AvailabilityRules &rules)
{
    if (rules.curve.batteryFullVolts && m.volts.n && m.volts.max >= *rules.curve.batteryFullVolts)
        return Category::BatteryFull;
    if (rules.curve.dumpsToLoad && m.loadSeconds > 0)
        return Category::DumpLoad;
    const auto highest = windOf(m, true);
    if (highest && *highest < rules.cutIn)
        return Category::Calm;
    return Category::NoData;
}
} // namespace

std::string_view categoryName(Category c) { return kNames[size_t(c)].name; }
std::string_view categoryKey(Category c) { return kNames[size_t(c)].key; }

bool losesEnergy(Category c)
{
    return c == Category::BatteryFull || c == Category::DumpLoad || c == Category::Stopped
           || c == Category::NotCharging || c == Category::HighWind;
}

bool unavailable(Category c) { return c == Category::Stopped || c == Category::NotCharging; }

bool needsRun(Category c) { return unavailable(c); }

std::string AvailabilityRules::key() const
{
    std::string k = curve.key() + "|" + dotNumberText(cutIn) + "|" + dotNumberText(cutOut) + "|";
    for (const CurvePoint &p : certified)
        k += dotNumberText(p.wind) + ":" + dotNumberText(p.watts) + ";";
    return k;
}

AvailabilityRules availabilityRules(const TurbineSettings &s, const std::vector<CurvePoint> &certified,
                                    const PowerCurve *measured)
{
    AvailabilityRules r;
    r.curve = curveRules(s);
    r.cutOut = s.cutOut;
    r.certified = certified;
    if (s.cutIn)
        r.cutIn = *s.cutIn;
    else if (const auto c = cutInWind(certified))
        r.cutIn = *c;
    else if (const auto k = measured ? completeness(*measured).lowestProducing : std::nullopt)
        r.cutIn = PowerCurve::centre(*k) - PowerCurve::kBinWidth / 2;
    return r;
}

Category minuteFits(const ArchiveRow &m, const AvailabilityRules &rules)
{
    if (m.frames <= 0 || m.noDataSeconds > kNoDataSeconds)
        return Category::NoData;
    if (m.imported)
        return importedFits(m, rules);
    if (rules.curve.batteryFullVolts && m.volts.n && m.volts.max >= *rules.curve.batteryFullVolts)
        return Category::BatteryFull;
    if (rules.curve.dumpsToLoad && m.loadSeconds > 0)
        return Category::DumpLoad;
    const auto wind = windOf(m, false);
    const bool noCurrent = m.amps.n && m.amps.max < kNoCurrentAmps;
    if (wind) {
        if (*wind < rules.cutIn)
            return Category::Calm;
        // Without a speed sensor, a rotor that makes nothing is taken as still.
        const bool still = m.rpm.n ? m.rpm.max <= 0 : noCurrent;
        if (*wind >= rules.cutIn + kStoppedMargin && *wind < rules.cutOut && still)
            return Category::Stopped;
    }
    if (m.rpm.n && m.rpm.mean() > kTurningRPM && noCurrent)
        return Category::NotCharging;
    if (wind) {
        if (*wind >= rules.cutOut)
            return Category::HighWind;
        const auto rated = ratedWind(rules.certified);
        const auto p = normalised(m, rules.curve);
        if (rated && p && p->wind > *rated) {
            const auto expected = certifiedWatts(rules.certified, p->wind);
            if (expected && p->watts < kHighWindShare * *expected)
                return Category::HighWind;
        }
        return Category::Generating;
    }
    // Without a wind reading a minute that made nothing is taken as calm.
    return m.energyWh > 0 || (m.watts.n && m.watts.max > 0) ? Category::Generating : Category::Calm;
}

std::optional<int> lostBinOf(const ArchiveRow &minute, const CurveRules &rules)
{
    const auto p = normalised(minute, rules);
    return p ? PowerCurve::binOf(p->wind) : std::nullopt;
}

MinuteClasser::Classed MinuteClasser::add(const ArchiveRow &minute)
{
    const Category fits = minuteFits(minute, m_rules);
    const bool goesOn = m_runLength > 0 && fits == m_runOf && minute.t == m_last + 60;
    if (!goesOn) {
        m_runLength = 0;
        m_early.clear();
    }
    if (!needsRun(fits))
        return {fits, {}};
    m_runOf = fits;
    m_last = minute.t;
    if (++m_runLength < kRunMinutes) {
        m_early.push_back(minute.t);
        return {Category::Generating, {}};
    }
    Classed c{fits, {}};
    if (m_runLength == kRunMinutes)
        c.moved = std::move(m_early);
    m_early.clear();
    return c;
}

void MinuteClasser::resume(const std::vector<ArchiveRow> &before)
{
    for (const ArchiveRow &m : before)
        add(m);
}

void AvailabilityTally::add(const AvailabilityTally &o)
{
    for (int c = 0; c < kCategories; ++c) {
        minutes[size_t(c)] += o.minutes[size_t(c)];
        energyWh[size_t(c)] += o.energyWh[size_t(c)];
    }
    for (const auto &[key, n] : o.lost)
        lost[key] += n;
}

void AvailabilityTally::count(Category c, double wh, std::optional<int> bin, int sign)
{
    minutes[size_t(c)] += sign;
    energyWh[size_t(c)] += sign * wh;
    if (bin && losesEnergy(c))
        lost[{c, *bin}] += sign;
}

bool AvailabilityTally::operator==(const AvailabilityTally &o) const
{
    const auto lostOf = [](const AvailabilityTally &t) {
        auto l = t.lost;
        for (auto i = l.begin(); i != l.end();)
            i = i->second ? std::next(i) : l.erase(i);
        return l;
    };
    for (int c = 0; c < kCategories; ++c)
        if (std::abs(energyWh[size_t(c)] - o.energyWh[size_t(c)]) > 1e-6)
            return false;
    return minutes == o.minutes && lostOf(*this) == lostOf(o);
}

std::array<std::optional<double>, PowerCurve::kBins> expectedWatts(const PowerCurve &measured,
                                                                   const std::vector<CurvePoint> &certified,
                                                                   const CurveRules &rules)
{
    std::array<std::optional<double>, PowerCurve::kBins> out{};
    for (int k = 0; k < PowerCurve::kBins; ++k) {
        const CurveBin &b = measured.bins()[size_t(k)];
        std::optional<double> w = b.measured() ? std::optional<double>(b.meanWatts())
                                               : certifiedWatts(certified, PowerCurve::centre(k));
        // The curves are at the reference air; a stall turbine makes less in thinner air.
        if (w && !rules.activePowerControl)
            *w *= rules.density / kReferenceDensity;
        out[size_t(k)] = w;
    }
    return out;
}

Availability availability(const AvailabilityTally &t, long long spanMinutes,
                          const std::array<std::optional<double>, PowerCurve::kBins> &expected)
{
    Availability a;
    long long classed = 0, all = 0;
    for (int c = 0; c < kCategories; ++c) {
        all += t.minutes[size_t(c)];
        if (Category(c) != Category::NoData)
            classed += t.minutes[size_t(c)];
        a.minutes[size_t(c)] = t.minutes[size_t(c)];
        a.madeKwh += t.energyWh[size_t(c)] / 1000;
    }
    a.spanMinutes = std::max(spanMinutes, all);
    a.minutes[size_t(Category::NoData)] = a.spanMinutes - classed;
    std::array<double, kCategories> wouldWh{};
    for (const auto &[key, n] : t.lost) {
        const auto &w = expected[size_t(key.second)];
        if (w)
            wouldWh[size_t(key.first)] += double(n) * *w / 60;
        else
            a.unpriced += n;
    }
    for (int c = 0; c < kCategories; ++c)
        if (losesEnergy(Category(c)))
            a.lostKwh[size_t(c)] = std::max(0.0, wouldWh[size_t(c)] - t.energyWh[size_t(c)]) / 1000;
    const long long withData = a.withData();
    if (withData > 0) {
        const long long down = a.minutes[size_t(Category::Stopped)] + a.minutes[size_t(Category::NotCharging)];
        a.timeBased = double(withData - down) / double(withData);
        const double lost = a.lostKwh[size_t(Category::Stopped)] + a.lostKwh[size_t(Category::NotCharging)];
        if (a.madeKwh + lost > 0)
            a.energyBased = a.madeKwh / (a.madeKwh + lost);
    }
    return a;
}

namespace {
std::string periodLine(const std::string &period, const Availability &a)
{
    std::string line = period + ',' + roundedText(double(a.spanMinutes) / 60, 2);
    for (const Category c : kAllCategories)
        line += ',' + roundedText(double(a.minutes[size_t(c)]) / 60, 2);
    line += ',' + (a.timeBased ? roundedText(*a.timeBased * 100, 1) : std::string()) + ','
            + (a.energyBased ? roundedText(*a.energyBased * 100, 1) : std::string()) + ','
            + roundedText(a.madeKwh, 3);
    for (const Category c : kAllCategories)
        if (losesEnergy(c))
            line += ',' + roundedText(a.lostKwh[size_t(c)], 3);
    return line + ',' + roundedText(double(a.unpriced) / 60, 2) + "\r\n";
}
} // namespace

std::string availabilityReportText(const std::vector<AvailabilityPeriod> &months,
                                   const std::vector<AvailabilityPeriod> &years)
{
    std::string out = "period,hours";
    for (const Category c : kAllCategories)
        out += ',' + std::string(categoryKey(c)) + "_hours";
    out += ",time_availability_percent,energy_availability_percent,made_kwh";
    for (const Category c : kAllCategories)
        if (losesEnergy(c))
            out += ",lost_" + std::string(categoryKey(c)) + "_kwh";
    out += ",unpriced_hours\r\n";
    for (const AvailabilityPeriod &m : months)
        out += periodLine(monthText(m.key), m.figures);
    for (const AvailabilityPeriod &y : years)
        out += periodLine(std::to_string(y.key), y.figures);
    return out;
}

namespace {
void periodJson(JsonWriter &j, const char *name, const std::string &period, const Availability &a)
{
    j.object().key(name).text(period).key("minutes").whole(a.spanMinutes).key("byCategory").object();
    for (const Category c : kAllCategories)
        j.key(categoryKey(c)).whole(a.minutes[size_t(c)]);
    j.endObject().key("timeAvailability").number(a.timeBased).key("energyAvailability").number(a.energyBased);
    j.key("madeKwh").number(roundHalfEven(a.madeKwh, 6)).key("lostKwh").object();
    for (const Category c : kAllCategories)
        if (losesEnergy(c))
            j.key(categoryKey(c)).number(roundHalfEven(a.lostKwh[size_t(c)], 6));
    j.endObject().key("unpricedMinutes").whole(a.unpriced).endObject();
}

std::string dayText(int key)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", key / 10000, key / 100 % 100, key % 100);
    return text;
}
} // namespace

std::string availabilityJson(int year, const std::vector<AvailabilityPeriod> &years,
                             const std::vector<AvailabilityPeriod> &months, const std::vector<AvailabilityPeriod> &days)
{
    JsonWriter j;
    j.object().key("year").whole(year).key("categories").array();
    for (const Category c : kAllCategories)
        j.object().key("key").text(categoryKey(c)).key("name").text(categoryName(c)).key("unavailable")
            .truth(unavailable(c)).key("losesEnergy").truth(losesEnergy(c)).endObject();
    j.endArray().key("total");
    if (years.empty())
        j.null();
    else
        periodJson(j, "year", std::to_string(years.front().key), years.front().figures);
    j.key("months").array();
    for (const AvailabilityPeriod &m : months)
        periodJson(j, "month", monthText(m.key), m.figures);
    j.endArray().key("days").array();
    for (const AvailabilityPeriod &d : days)
        periodJson(j, "date", dayText(d.key), d.figures);
    return j.endArray().endObject().take();
}

} // namespace core
