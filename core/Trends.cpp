// SPDX-License-Identifier: GPL-3.0-or-later
#include "Trends.h"

#include "EnergyBook.h"
#include "EnergyHistory.h"
#include "Number.h"
#include "PowerCurve.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace core {

std::int64_t trendTableSeconds(TrendTable table)
{
    switch (table) {
    case TrendTable::Minute: return 60;
    case TrendTable::Hour: return 3600;
    case TrendTable::Day: return 86400;
    }
    return 60;
}

TrendTable trendTable(std::int64_t from, std::int64_t to, int columns)
{
    const double most = double(std::max(columns, 1)) * kTrendRowsPerColumn;
    const double span = double(std::max<std::int64_t>(to - from, 0));
    for (const TrendTable t : {TrendTable::Minute, TrendTable::Hour})
        if (span / double(trendTableSeconds(t)) <= most)
            return t;
    return TrendTable::Day;
}

bool trendBarsPerDay(std::int64_t from, std::int64_t to, int columns)
{
    return double(to - from) / 3600 * 3 > double(std::max(columns, 1));
}

WindShown windShown(const std::string &unitShown)
{
    const WindUnit u = windUnit(unitShown);
    WindShown w;
    w.unit = unitShown;
    w.perMetre = u.known() ? std::optional<double>(1 / *u.toMetresPerSecond) : std::nullopt;
    return w;
}

int TrendData::columnOf(std::int64_t t) const
{
    if (t < from || t >= to || columns <= 0)
        return -1;
    return std::min(columns - 1, int(double(t - from) / columnSeconds()));
}

namespace {

struct Gather {
    double low = std::numeric_limits<double>::infinity(), high = -std::numeric_limits<double>::infinity();
    double sum = 0;
    long long n = 0;
    void add(const Spread &s, double factor)
    {
        if (!s.n)
            return;
        low = std::min(low, s.min * factor);
        high = std::max(high, s.max * factor);
        sum += s.sum * factor;
        n += s.n;
    }
};

// Where a row of `table` ends: a day at the next day's start when that comes
// within the hour a change of the clocks moves it.
std::int64_t rowEnd(const std::vector<ArchiveRow> &rows, std::size_t i, TrendTable table)
{
    const std::int64_t end = rows[i].t + trendTableSeconds(table);
    if (table == TrendTable::Day && i + 1 < rows.size() && rows[i + 1].t > rows[i].t
        && std::abs(rows[i + 1].t - end) <= 3600)
        return rows[i + 1].t;
    return end;
}

} // namespace

TrendData trendColumns(const std::vector<ArchiveRow> &rows, TrendTable table, std::int64_t from, std::int64_t to,
                       int columns, const WindShown &wind)
{
    TrendData d;
    d.from = from;
    d.to = std::max(to, from + 1);
    d.columns = std::max(columns, 1);
    d.table = table;
    d.windUnit = wind.unit;
    const double width = d.columnSeconds();
    std::vector<std::array<Gather, 4>> g(std::size_t(d.columns));
    std::vector<long long> minutes(std::size_t(d.columns)), imported(std::size_t(d.columns));
    // The first row that may reach `from`.
    auto first = std::lower_bound(rows.begin(), rows.end(), from - trendTableSeconds(table) - 3600,
                                  [](const ArchiveRow &r, std::int64_t t) { return r.t < t; });
    for (std::size_t i = std::size_t(first - rows.begin()); i < rows.size(); ++i) {
        const ArchiveRow &r = rows[i];
        if (r.t >= d.to)
            break;
        const std::int64_t end = rowEnd(rows, i, table);
        if (end <= from)
            continue;
        const int c0 = std::max(0, int(std::floor(double(r.t - from) / width)));
        const int c1 = std::min(d.columns - 1, int(std::ceil(double(end - from) / width)) - 1);
        std::optional<double> windFactor;
        if (r.wind.n) {
            if (windUnit(r.windUnit).known())
                windFactor = wind.perMetre;
            else if (r.windUnit == wind.unit)
                windFactor = 1.0;
        }
        for (int c = c0; c <= c1; ++c) {
            auto &q = g[std::size_t(c)];
            q[0].add(r.volts, 1);
            q[1].add(r.watts, 1);
            if (windFactor)
                q[2].add(r.wind, *windFactor);
            q[3].add(r.rpm, 1);
            minutes[std::size_t(c)] += r.minutes;
            imported[std::size_t(c)] += r.imported;
        }
    }
    for (int k = 0; k < 4; ++k) {
        auto &out = d.quantities[std::size_t(k)];
        out.resize(std::size_t(d.columns));
        for (std::size_t c = 0; c < out.size(); ++c) {
            const Gather &x = g[c][std::size_t(k)];
            if (!x.n)
                continue;
            out[c] = {true, x.low, x.high, x.sum / double(x.n), mostlyImported(minutes[c], imported[c])};
        }
    }
    return d;
}

void setTrendBars(TrendData &data, const std::vector<ArchiveRow> &rows, bool perDay)
{
    data.barsPerDay = perDay;
    data.bars.clear();
    const TrendTable table = perDay ? TrendTable::Day : TrendTable::Hour;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::int64_t end = rowEnd(rows, i, table);
        if (end <= data.from || rows[i].t >= data.to)
            continue;
        data.bars.push_back({rows[i].t, end, rows[i].utcOffset, rows[i].energyWh, rows[i].minutes, rows[i].imported});
    }
}

// ---- what is drawn ------------------------------------------------------------

int trendColumnsFor(int width) { return std::max(1, width - kTrendLeft - kTrendRight); }

namespace {

int decimalsFor(double step)
{
    if (step >= 1)
        return 0;
    return std::min(6, int(std::ceil(-std::log10(step) - 1e-9)));
}

std::string valueText(double v, int decimals) { return numberText(roundHalfEven(v, decimals)); }

const char *laneTitle(TrendSeries s, bool perDay)
{
    switch (s) {
    case TrendSeries::Volts: return "Battery (V): lowest to highest, mean";
    case TrendSeries::Watts: return "Power (W): mean, highest";
    case TrendSeries::Wind: return "Wind: mean, highest gust";
    case TrendSeries::Rpm: return "RPM: mean";
    case TrendSeries::Energy: return perDay ? "Energy per day (Wh)" : "Energy per hour (Wh)";
    }
    return "";
}

} // namespace

TrendPicture trendPicture(const TrendData &data, const TrendShown &shown, int width, int height,
                          const OffsetAt &offsetAt)
{
    TrendPicture pic;
    pic.left = kTrendLeft;
    pic.top = kTrendTop;
    pic.right = std::max(pic.left + 1, double(width - kTrendRight));
    pic.bottom = std::max(pic.top + 1, double(height - kTrendBottom));
    const LinearScale time(double(data.from), double(data.to), pic.left, pic.left + data.columns);
    int count = 0;
    for (const bool s : shown)
        count += s;
    if (!count)
        return pic;
    const double laneHeight = (pic.bottom - pic.top - kTrendLaneGap * (count - 1)) / count;
    double top = pic.top;
    for (int s = 0; s < kTrendSeries; ++s) {
        if (!shown[std::size_t(s)])
            continue;
        TrendLane lane;
        lane.series = TrendSeries(s);
        lane.top = top;
        lane.bottom = top + laneHeight;
        top = lane.bottom + kTrendLaneGap;
        lane.title = laneTitle(lane.series, data.barsPerDay);
        if (lane.series == TrendSeries::Wind)
            lane.title = "Wind (" + data.windUnit + "): mean, highest gust";

        double low = std::numeric_limits<double>::infinity(), high = -low;
        const bool energy = lane.series == TrendSeries::Energy;
        const std::vector<TrendColumn> *cols = energy ? nullptr : &data.quantities[std::size_t(s)];
        if (energy) {
            for (const TrendBar &b : data.bars)
                if (b.minutes) {
                    low = std::min(low, b.wattHours);
                    high = std::max(high, b.wattHours);
                }
            low = std::min(low, 0.0);
        } else {
            for (const TrendColumn &c : *cols)
                if (c.has) {
                    const bool band = lane.series == TrendSeries::Volts;
                    low = std::min(low, band ? c.low : c.mean);
                    high = std::max(high, lane.series == TrendSeries::Rpm ? c.mean : c.high);
                }
            if (lane.series != TrendSeries::Volts)
                low = std::min(low, 0.0);
        }
        const bool any = high >= low;
        pic.empty = pic.empty && !any;
        lane.axis = any ? niceAxis(low, high, std::max(2, int(laneHeight / 28))) : NiceAxis{0, 1, 1};
        const LinearScale y(lane.axis.low, lane.axis.high, lane.bottom, lane.top);
        const int decimals = decimalsFor(lane.axis.step);
        for (const double v : lane.axis.ticks())
            lane.ticks.push_back({y.pixel(v), valueText(v, decimals), v == 0});

        if (energy) {
            for (const TrendBar &b : data.bars) {
                if (!b.minutes)
                    continue;
                const double x0 = std::max(pic.left, time.pixel(double(b.t)));
                const double x1 = std::min(pic.left + data.columns, time.pixel(double(b.end)));
                if (x1 <= x0)
                    continue;
                // A pixel between bars while they are wide enough to tell apart.
                const double w = x1 - x0 > 3 ? x1 - x0 - 1 : std::max(1.0, x1 - x0);
                const double yt = y.pixel(b.wattHours), y0 = y.pixel(0);
                lane.bars.push_back({x0, std::min(yt, y0), w, std::abs(y0 - yt),
                                     mostlyImported(b.minutes, b.imported)});
            }
        } else {
            TrendRun run;
            bool open = false;
            const auto point = [&](int c, double v) { return TrendPoint{pic.left + c + 0.5, y.pixel(v)}; };
            for (int c = 0; c < int(cols->size()); ++c) {
                const TrendColumn &col = (*cols)[std::size_t(c)];
                if (!col.has) {
                    if (open)
                        lane.runs.push_back(std::move(run));
                    run = TrendRun();
                    open = false;
                    continue;
                }
                if (open && col.imported != run.imported) {
                    TrendRun next;
                    next.imported = col.imported;
                    next.mean.push_back(run.mean.back());
                    next.high.push_back(run.high.back());
                    next.low.push_back(run.low.back());
                    lane.runs.push_back(std::move(run));
                    run = std::move(next);
                }
                if (!open)
                    run.imported = col.imported;
                open = true;
                run.mean.push_back(point(c, col.mean));
                run.high.push_back(point(c, col.high));
                run.low.push_back(point(c, col.low));
            }
            if (open)
                lane.runs.push_back(std::move(run));
        }
        pic.lanes.push_back(std::move(lane));
    }
    if (offsetAt)
        for (const TimeTick &t : timeTicks(data.from, data.to, std::max(2, data.columns / 90), offsetAt))
            pic.timeTicks.push_back({time.pixel(double(t.t)), t.label, t.major});
    return pic;
}

namespace {

std::string localText(std::int64_t t, const OffsetAt &offsetAt, bool withTime)
{
    const std::int64_t local = t + offsetAt(t);
    const long days = long(floorDiv(local, 86400));
    const CivilDate d = civilFromDays(days);
    const long s = long(local - std::int64_t(days) * 86400);
    char text[64];
    std::snprintf(text, sizeof text, "%s %d %s %d", weekdayShortName(weekdayOfDays(days)), d.day,
                  monthShortName(d.month), d.year);
    std::string out = text;
    if (withTime) {
        std::snprintf(text, sizeof text, " %02ld:%02ld", s / 3600, s / 60 % 60);
        out += text;
    }
    return out;
}

} // namespace

std::string trendReadout(const TrendData &data, const TrendShown &shown, int column, const OffsetAt &offsetAt)
{
    if (column < 0 || column >= data.columns || !offsetAt)
        return std::string();
    const auto t0 = std::int64_t(std::floor(double(data.from) + column * data.columnSeconds()));
    const auto t1 = std::int64_t(std::floor(double(data.from) + (column + 1) * data.columnSeconds()));
    const bool days = data.columnSeconds() >= 86400;
    std::string text = localText(t0, offsetAt, !days);
    if (t1 - t0 > (days ? 86400 : 60))
        text += " to " + localText(t1, offsetAt, !days);
    text += ":";
    std::vector<std::string> parts;
    bool imported = false;
    const auto col = [&](int k) -> const TrendColumn & { return data.quantities[std::size_t(k)][std::size_t(column)]; };
    if (shown[0] && col(0).has)
        parts.push_back("battery " + valueText(col(0).low, 2) + " to " + valueText(col(0).high, 2) + " V, mean "
                        + valueText(col(0).mean, 2) + " V");
    if (shown[1] && col(1).has)
        parts.push_back("power mean " + valueText(col(1).mean, 1) + " W, highest " + valueText(col(1).high, 1)
                        + " W");
    if (shown[2] && col(2).has)
        parts.push_back("wind mean " + valueText(col(2).mean, 1) + " " + data.windUnit + ", gust "
                        + valueText(col(2).high, 1) + " " + data.windUnit);
    if (shown[3] && col(3).has)
        parts.push_back(valueText(col(3).mean, 0) + " RPM");
    for (int k = 0; k < 4; ++k)
        imported = imported || (shown[std::size_t(k)] && col(k).has && col(k).imported);
    if (shown[4]) {
        const std::int64_t mid = (t0 + t1) / 2;
        for (const TrendBar &b : data.bars)
            if (b.minutes && b.t <= mid && mid < b.end) {
                parts.push_back(energyText(b.wattHours)
                                + (data.barsPerDay ? " on " + localText(b.t, offsetAt, false)
                                                   : " in the hour from " + localText(b.t, offsetAt, true)));
                imported = imported || mostlyImported(b.minutes, b.imported);
                break;
            }
    }
    if (parts.empty())
        return text + " no data";
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i ? "; " : " ") + parts[i];
    if (imported)
        text += " (from the daily logs: interval maxima, upper bounds)";
    return text;
}

} // namespace core
