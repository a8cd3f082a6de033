// SPDX-License-Identifier: GPL-3.0-or-later
#include "Performance.h"

#include "Number.h"
#include "Text.h"

#include <algorithm>
#include <cstdio>

namespace core {

std::optional<double> certifiedWatts(const std::vector<CurvePoint> &certified, double wind)
{
    if (certified.empty() || !(wind >= certified.front().wind) || wind > certified.back().wind)
        return std::nullopt;
    // The first point at or above the wind.
    const auto above = std::lower_bound(certified.begin(), certified.end(), wind,
                                        [](const CurvePoint &p, double w) { return p.wind < w; });
    if (above->wind == wind || above == certified.begin())
        return above->watts;
    const CurvePoint &a = *(above - 1), &b = *above;
    return a.watts + (wind - a.wind) / (b.wind - a.wind) * (b.watts - a.watts);
}

std::optional<double> cutInWind(const std::vector<CurvePoint> &certified)
{
    for (size_t i = 0; i < certified.size(); ++i)
        if (certified[i].watts > 0)
            return certified[i == 0 ? 0 : i - 1].wind;
    return std::nullopt;
}

std::vector<BinRatio> binRatios(const PowerCurve &curve, const std::vector<CurvePoint> &certified)
{
    std::vector<BinRatio> out;
    for (int k = 0; k < PowerCurve::kBins; ++k) {
        const CurveBin &b = curve.bins()[size_t(k)];
        if (!b.minutes)
            continue;
        const auto watts = certifiedWatts(certified, b.meanWind());
        if (!watts)
            continue;
        BinRatio r;
        r.bin = k;
        r.wind = b.meanWind();
        r.measuredWatts = b.meanWatts();
        r.certifiedWatts = *watts;
        r.minutes = b.minutes;
        r.faint = !b.measured();
        if (*watts > 0)
            r.ratio = r.measuredWatts / *watts;
        out.push_back(r);
    }
    return out;
}

std::optional<double> PerformanceSums::ratio() const
{
    if (!(certifiedWh > 0))
        return std::nullopt;
    return measuredWh / certifiedWh;
}

void PerformanceSums::add(const PerformanceSums &o)
{
    measuredWh += o.measuredWh;
    certifiedWh += o.certifiedWh;
    minutes += o.minutes;
    windyMinutes += o.windyMinutes;
}

bool PerformanceSums::operator==(const PerformanceSums &o) const
{
    return measuredWh == o.measuredWh && certifiedWh == o.certifiedWh && minutes == o.minutes
           && windyMinutes == o.windyMinutes;
}

PerformanceBook::PerformanceBook(std::vector<CurvePoint> certified, const CurveRules &rules)
    : m_certified(std::move(certified)), m_rules(rules), m_cutIn(cutInWind(m_certified))
{ }

std::optional<std::pair<int, PerformanceSums>> PerformanceBook::part(const ArchiveRow &minute) const
{
    const CurveMinute m = curveMinute(minute, m_rules);
    if (m.use != MinuteUse::Curve)
        return std::nullopt;
    const auto watts = certifiedWatts(m_certified, m.wind);
    if (!watts)
        return std::nullopt;
    PerformanceSums s;
    s.measuredWh = m.watts / 60;
    s.certifiedWh = *watts / 60;
    s.minutes = 1;
    s.windyMinutes = m_cutIn && m.wind > *m_cutIn ? 1 : 0;
    return std::pair{localDayKey(minute.t, minute.utcOffset), s};
}

std::string PerformanceBook::key() const
{
    std::string key = m_rules.key() + ";certified=";
    char point[64];
    // Every bit of the points: a curve changed in its last digit compares otherwise.
    for (const CurvePoint &p : m_certified) {
        std::snprintf(point, sizeof point, "%.17g,%.17g;", p.wind, p.watts);
        key += point;
    }
    return key;
}

void PerformanceBook::add(const ArchiveRow &minute)
{
    if (const auto p = part(minute))
        m_days[p->first].add(p->second);
}

std::map<int, PerformanceSums> PerformanceBook::months() const
{
    std::map<int, PerformanceSums> months;
    for (const auto &[day, sums] : m_days)
        months[day / 100].add(sums);
    return months;
}

PerformanceRun performanceRun(const std::map<int, PerformanceSums> &days, int today, double thresholdPercent,
                              int neededDays)
{
    PerformanceRun run;
    PerformanceSums sum;
    for (auto it = days.lower_bound(today); it != days.begin();) {
        --it;
        const PerformanceSums &d = it->second;
        const auto ratio = d.ratio();
        if (d.windyMinutes < kWindyMinutesADay || !ratio)
            continue;
        if (*ratio * 100 >= thresholdPercent) {
            if (run.days == 0)
                run.percent = *ratio * 100;
            break;
        }
        sum.add(d);
        ++run.days;
        if (run.days >= neededDays)
            break;
    }
    if (run.days > 0)
        run.percent = *sum.ratio() * 100;
    run.under = run.days >= neededDays && neededDays > 0;
    return run;
}

std::string energyReportText(const std::vector<DayRecord> &days,
                             const std::map<int, PerformanceSums> *performanceMonths)
{
    struct Month {
        double wh = 0;
        int days = 0, estimated = 0;
    };
    // A date written twice counts once, as the History window counts it.
    std::map<long, DayRecord> byDate;
    for (const DayRecord &d : days) {
        const long key = daysFromCivil(d.date);
        const auto found = byDate.find(key);
        if (found == byDate.end())
            byDate.emplace(key, d);
        else if (found->second.estimated || !d.estimated)
            found->second = d;
    }
    std::map<int, Month> months;
    for (const auto &[key, d] : byDate) {
        Month &m = months[d.date.year * 100 + d.date.month];
        m.wh += d.energyWh;
        ++m.days;
        if (d.estimated)
            ++m.estimated;
    }
    if (performanceMonths)
        for (const auto &[month, sums] : *performanceMonths)
            months.emplace(month, Month());

    std::string out = "month,energy_kwh,days,estimated_days";
    if (performanceMonths)
        out += ",compared_hours,compared_measured_kwh,compared_certified_kwh,performance_percent";
    out += "\r\n";
    for (const auto &[month, m] : months) {
        out += monthText(month) + ',' + roundedText(m.wh / 1000, 3) + ',' + std::to_string(m.days) + ','
               + std::to_string(m.estimated);
        if (performanceMonths) {
            const auto found = performanceMonths->find(month);
            const PerformanceSums p = found == performanceMonths->end() ? PerformanceSums() : found->second;
            const auto ratio = p.ratio();
            out += ',' + roundedText(double(p.minutes) / 60, 2) + ',' + roundedText(p.measuredWh / 1000, 3) + ','
                   + roundedText(p.certifiedWh / 1000, 3) + ',' + (ratio ? roundedText(*ratio * 100, 1) : std::string());
        }
        out += "\r\n";
    }
    return out;
}

} // namespace core
