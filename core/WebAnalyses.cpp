// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebAnalyses.h"

#include "FrameCurve.h"
#include "Json.h"
#include "Number.h"
#include "Physics.h"
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

// Figures the pages round again for showing carry six decimals, so that
// rounding twice never gives another last digit than the window shows.
double rounded(double v, int decimals) { return roundHalfEven(v, decimals); }

// The owner's wind unit, and 1 m/s in it (null for a unit of no known factor).
void shownUnitJson(JsonWriter &j, const std::string &shownUnit, std::optional<double> toMetresPerSecond)
{
    j.key("shownUnit").text(shownUnit).key("oneMetrePerSecond");
    if (toMetresPerSecond && *toMetresPerSecond > 0)
        j.number(1 / *toMetresPerSecond);
    else
        j.null();
}

void estimateJson(JsonWriter &j, const Estimate &e)
{
    j.object().key("wattsAt11").number(e.wattsAt11).key("rows").array();
    for (const EstimateRow &row : e.rows)
        j.object().key("averageWind").number(row.averageWind).key("measuredKwh").number(row.measuredKwh)
            .key("extrapolatedKwh").number(row.extrapolatedKwh).key("incomplete").truth(row.incomplete).endObject();
    j.endArray().endObject();
}

// The measured curve held against the certified one: the label's figure
// (a year at a 5 m/s mean by both) and the ratio per bin.
void comparisonJson(JsonWriter &j, const PowerCurve &curve, const std::vector<CurvePoint> &certified, double cutOut)
{
    if (certified.empty()) {
        j.null();
        return;
    }
    const Estimate promised = annualEnergy(certified, cutOut), measured = annualEnergy(measuredPoints(curve), cutOut);
    j.object().key("from").number(certified.front().wind).key("to").number(certified.back().wind);
    j.key("cutIn").number(cutInWind(certified)).key("atFive").object();
    j.key("certifiedKwh").number(promised.rows.size() > 1 ? std::optional<double>(promised.rows[1].measuredKwh)
                                                          : std::nullopt);
    if (measured.rows.size() > 1)
        j.key("measuredKwh").number(measured.rows[1].measuredKwh).key("incomplete").truth(measured.rows[1].incomplete);
    else
        j.key("measuredKwh").null().key("incomplete").truth(true);
    j.endObject().key("bins").array();
    for (const BinRatio &r : binRatios(curve, certified))
        j.object().key("wind").number(r.wind).key("measuredWatts").number(r.measuredWatts)
            .key("certifiedWatts").number(r.certifiedWatts).key("minutes").whole(r.minutes)
            .key("faint").truth(r.faint).key("ratio").number(r.ratio).endObject();
    j.endArray().endObject();
}

void sumsJson(JsonWriter &j, const char *name, const std::string &when, const PerformanceSums &p)
{
    j.object();
    if (name)
        j.key(name).text(when);
    j.key("measuredWh").number(rounded(p.measuredWh, 3)).key("certifiedWh").number(rounded(p.certifiedWh, 3));
    j.key("ratio").number(p.ratio()).key("minutes").whole(p.minutes).key("windyMinutes").whole(p.windyMinutes);
    j.endObject();
}

void siteEnergyJson(JsonWriter &j, const std::optional<SiteEnergy> &e)
{
    if (!e) {
        j.null();
        return;
    }
    j.object()
        .key("meanWind")
        .number(rounded(e->row.averageWind, 6))
        .key("measuredKwh")
        .number(rounded(e->row.measuredKwh, 6))
        .key("extrapolatedKwh")
        .number(rounded(e->row.extrapolatedKwh, 6))
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
    j.object().key("unit").text("m/s");
    shownUnitJson(j, shownUnit, toMetresPerSecond);
    j.key("binWidth").number(PowerCurve::kBinWidth).key("minutes").number(rounded(wind.minutes, 1));
    j.key("minutesFromHours").number(rounded(wind.minutesFromHours, 1));
    j.key("otherUnitMinutes").number(rounded(wind.otherUnitMinutes, 1));
    j.key("meanWind").number(wind.minutes > 0 ? std::optional<double>(rounded(wind.meanWind, 6)) : std::nullopt);
    j.key("calmShare").number(wind.minutes > 0 ? std::optional<double>(rounded(wind.calmShare(), 4)) : std::nullopt);
    j.key("gust");
    if (wind.gust)
        j.object().key("wind").number(rounded(wind.gust->wind, 6)).key("at")
            .text(isoLocalTime(wind.gust->t, wind.gust->utcOffset)).endObject();
    else
        j.null();
    j.key("weibull");
    if (wind.weibull)
        j.object().key("k").number(rounded(wind.weibull->k, 6)).key("c").number(rounded(wind.weibull->c, 6))
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
                .key("mean").number(rounded(p.mean(), 6)).key("hours").number(rounded(p.minutes / 60, 1)).endObject();
        j.endArray();
    }
    j.key("site").object().key("measured");
    siteEnergyJson(j, site.measured);
    j.key("weibull");
    siteEnergyJson(j, site.weibull);
    j.endObject().key("rayleigh").array();
    for (const EstimateRow &r : rayleigh.rows)
        j.object().key("meanWind").number(r.averageWind).key("measuredKwh").number(rounded(r.measuredKwh, 6))
            .key("extrapolatedKwh").number(rounded(r.extrapolatedKwh, 6)).key("incomplete").truth(r.incomplete)
            .endObject();
    return j.endArray().endObject().take();
}

std::string powerCurveJson(const PowerCurve &curve, const TurbineSettings &settings,
                           const std::vector<CurvePoint> &certified, int month, const std::string &shownUnit,
                           std::optional<double> toMetresPerSecond)
{
    const Completeness c = completeness(curve);
    JsonWriter j;
    j.object().key("unit").text("m/s");
    shownUnitJson(j, shownUnit, toMetresPerSecond);
    j.key("binWidth").number(PowerCurve::kBinWidth);
    j.key("minutes").whole(curve.minutes()).key("hoursOfData").number(curve.hoursOfData());
    j.key("complete").truth(c.complete).key("note").text(completenessNote(c));
    j.key("density").number(rounded(siteDensity(settings), 4)).key("bins").array();
    for (int k = 0; k < PowerCurve::kBins; ++k) {
        const CurveBin &b = curve.bins()[size_t(k)];
        if (!b.minutes)
            continue;
        j.object().key("centre").number(PowerCurve::centre(k)).key("wind").number(b.meanWind());
        j.key("minutes").whole(b.minutes).key("measured").truth(b.measured());
        j.key("meanWatts").number(b.meanWatts()).key("sdWatts").number(b.sdWatts());
        j.key("meanRpm").number(b.meanRPM()).endObject();
    }
    j.endArray().key("estimate");
    estimateJson(j, annualEnergy(measuredPoints(curve), settings.cutOut));
    j.key("curtailed").array();
    for (const auto &[why, key] : {std::pair{MinuteUse::BatteryFull, "battery_full"}, std::pair{MinuteUse::LoadOn, "dump_load"}}) {
        const Curtailment now = curve.curtailedIn(month, why), all = curve.curtailedIn(std::nullopt, why);
        j.object().key("cause").text(key).key("monthSeconds").number(now.seconds).key("seconds").number(all.seconds);
        j.key("energyWh").number(rounded(all.energyWh, 3)).endObject();
    }
    const std::vector<BinPhysics> physics = binPhysics(curve, settings);
    j.endArray().key("physics").object().key("note").text(physicsNote(physics, settings.rotorDiameter.has_value(), true));
    j.key("bins").array();
    for (const BinPhysics &b : physics)
        j.object().key("wind").number(b.wind).key("watts").number(b.watts).key("cp").number(b.cp)
            .key("tipSpeedRatio").number(b.tipSpeedRatio).key("faint").truth(b.faint)
            .key("aboveBetz").truth(b.aboveBetz()).endObject();
    j.endArray().endObject().key("certified").array();
    for (const CurvePoint &p : certified)
        j.object().key("wind").number(p.wind).key("watts").number(p.watts).endObject();
    j.endArray().key("comparison");
    comparisonJson(j, curve, certified, settings.cutOut);
    return j.endObject().take();
}

std::string performanceJson(const PerformanceBook &book, size_t days)
{
    JsonWriter j;
    j.object().key("cutIn").number(book.cutIn()).key("days").array();
    const auto &byDay = book.days();
    auto from = byDay.begin();
    std::advance(from, byDay.size() > days ? byDay.size() - days : 0);
    for (auto it = from; it != byDay.end(); ++it) {
        char date[16];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", it->first / 10000, it->first / 100 % 100, it->first % 100);
        sumsJson(j, "date", date, it->second);
    }
    j.endArray().key("months").array();
    PerformanceSums all;
    for (const auto &[month, sums] : book.months()) {
        sumsJson(j, "month", monthText(month), sums);
        all.add(sums);
    }
    j.endArray().key("all");
    sumsJson(j, nullptr, std::string(), all);
    return j.endObject().take();
}

std::string alarmsJson(const std::vector<WebAlarm> &now, const std::vector<AlarmCsvRecord> &history,
                       long long lines, const std::string &windUnit)
{
    JsonWriter j;
    j.object().key("alarms").array();
    for (const WebAlarm &a : now) {
        j.object().key("key").text(a.key).key("name").text(a.name).key("raised").truth(a.raised);
        if (a.raised)
            j.key("value").number(a.value).key("unit").text(a.unit).key("since").text(utcText(a.since))
                .key("text").text(a.text);
        j.endObject();
    }
    j.endArray().key("lines").whole(lines).key("history").array();
    for (auto it = history.rbegin(); it != history.rend(); ++it) {
        const AlarmEvent &e = it->event;
        j.object().key("time").text(it->time).key("key").text(alarmKey(e.id)).key("name").text(alarmTitle(e.id));
        j.key("state").text(e.raised ? "raised" : "cleared").key("value").number(e.value);
        j.key("threshold").number(e.threshold).key("unit").text(alarmUnit(e.id, windUnit)).endObject();
    }
    return j.endArray().endObject().take();
}

} // namespace core
