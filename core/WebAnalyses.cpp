// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebAnalyses.h"

#include "Json.h"
#include "Number.h"
#include "Text.h"

#include <cstdio>
#include <tuple>

namespace core {

namespace {
std::string dateText(const CivilDate &d)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    return text;
}

double rounded(double v, int decimals) { return roundHalfEven(v, decimals); }

void siteEnergyJson(JsonWriter &j, const std::optional<SiteEnergy> &e)
{
    if (!e) {
        j.null();
        return;
    }
    j.object()
        .key("meanWind")
        .number(rounded(e->row.averageWind, 3))
        .key("measuredKwh")
        .number(rounded(e->row.measuredKwh, 3))
        .key("extrapolatedKwh")
        .number(rounded(e->row.extrapolatedKwh, 3))
        .key("incomplete")
        .truth(e->row.incomplete)
        .key("capacityFactor")
        .number(e->capacityFactor)
        .endObject();
}
} // namespace

std::string energyJson(const YearSummary &year, const std::vector<DayRecord> &days, double lifetimeWh)
{
    JsonWriter j;
    j.object().key("year").whole(year.year).key("totalWh").number(rounded(year.total, 3));
    j.key("estimatedWh").number(rounded(year.estimatedTotal, 3)).key("daysRecorded").whole(year.daysRecorded);
    j.key("daysEstimated").whole(year.daysEstimated).key("dailyAverageWh").number(rounded(year.dailyAverage, 3));
    j.key("bestMonth");
    if (year.bestMonth)
        j.text(monthText(year.year * 100 + year.bestMonth));
    else
        j.null();
    j.key("lifetimeWh").number(rounded(lifetimeWh, 3)).key("months").array();
    for (int m = 0; m < 12; ++m) {
        const MonthTotal &t = year.months[size_t(m)];
        j.object().key("month").text(monthText(year.year * 100 + m + 1)).key("totalWh").number(rounded(t.total, 3));
        j.key("estimatedWh").number(rounded(t.estimated, 3)).key("daysRecorded").whole(t.daysRecorded);
        j.key("daysEstimated").whole(t.daysEstimated).endObject();
    }
    j.endArray().key("days").array();
    for (const DayRecord &d : days)
        if (d.date.year == year.year)
            j.object().key("date").text(dateText(d.date)).key("wh").number(rounded(d.energyWh, 3))
                .key("estimated").truth(d.estimated).endObject();
    return j.endArray().endObject().take();
}

std::string windJson(const WindStats &wind, const SiteEstimate &site, const Estimate &rayleigh,
                     const std::string &shownUnit, std::optional<double> toMetresPerSecond)
{
    JsonWriter j;
    j.object().key("unit").text("m/s").key("shownUnit").text(shownUnit).key("oneMetrePerSecond");
    if (toMetresPerSecond && *toMetresPerSecond > 0)
        j.number(1 / *toMetresPerSecond);
    else
        j.null();
    j.key("binWidth").number(PowerCurve::kBinWidth).key("minutes").number(rounded(wind.minutes, 1));
    j.key("minutesFromHours").number(rounded(wind.minutesFromHours, 1));
    j.key("otherUnitMinutes").number(rounded(wind.otherUnitMinutes, 1));
    j.key("meanWind").number(wind.minutes > 0 ? std::optional<double>(rounded(wind.meanWind, 3)) : std::nullopt);
    j.key("calmShare").number(wind.minutes > 0 ? std::optional<double>(rounded(wind.calmShare(), 4)) : std::nullopt);
    j.key("gust");
    if (wind.gust)
        j.object().key("wind").number(rounded(wind.gust->wind, 3)).key("at")
            .text(isoLocalTime(wind.gust->t, wind.gust->utcOffset)).endObject();
    else
        j.null();
    j.key("weibull");
    if (wind.weibull)
        j.object().key("k").number(rounded(wind.weibull->k, 3)).key("c").number(rounded(wind.weibull->c, 3))
            .endObject();
    else
        j.null();
    int last = -1;
    for (int k = 0; k < PowerCurve::kBins; ++k)
        if (wind.bins[size_t(k)].minutes > 0 || (wind.weibull && wind.weibullHoursPerYear(k) >= 0.05))
            last = k;
    j.key("bins").array();
    for (int k = 0; k <= last; ++k) {
        j.object().key("wind").number(PowerCurve::centre(k)).key("hoursPerYear")
            .number(rounded(wind.bins[size_t(k)].hoursPerYear, 1)).key("fitHoursPerYear");
        if (wind.weibull)
            j.number(rounded(wind.weibullHoursPerYear(k), 1));
        else
            j.null();
        j.endObject();
    }
    j.endArray();
    for (const auto &[name, periods, monthly] :
         {std::tuple{"months", &wind.months, true}, std::tuple{"years", &wind.years, false}}) {
        j.key(name).array();
        for (const WindPeriod &p : *periods)
            j.object().key(monthly ? "month" : "year")
                .text(monthly ? monthText(p.key) : std::to_string(p.key))
                .key("mean").number(rounded(p.mean(), 3)).key("hours").number(rounded(p.minutes / 60, 1)).endObject();
        j.endArray();
    }
    j.key("site").object().key("measured");
    siteEnergyJson(j, site.measured);
    j.key("weibull");
    siteEnergyJson(j, site.weibull);
    j.endObject().key("rayleigh").array();
    for (const EstimateRow &r : rayleigh.rows)
        j.object().key("meanWind").number(r.averageWind).key("measuredKwh").number(rounded(r.measuredKwh, 3))
            .key("extrapolatedKwh").number(rounded(r.extrapolatedKwh, 3)).key("incomplete").truth(r.incomplete)
            .endObject();
    return j.endArray().endObject().take();
}

} // namespace core
