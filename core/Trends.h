// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Trends chart as data: which of the archive's tables a range is read
// from, the rows gathered into pixel columns (lowest, highest and mean of
// each, so a peak shorter than a column stays visible), the energy bars, and
// what is drawn where: lanes, axes, lines broken at gaps, bands and bars.
// The page reads the rows and paints what trendPicture returns.

#include "Archive.h"
#include "Axis.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace core {

enum class TrendTable { Minute, Hour, Day };
// Seconds a row of the table stands for (a local day may be an hour longer
// or shorter).
std::int64_t trendTableSeconds(TrendTable table);
// At most this many rows go into a pixel column.
constexpr int kTrendRowsPerColumn = 12;
// The finest table of which [from, to) has at most kTrendRowsPerColumn rows
// a column.
TrendTable trendTable(std::int64_t from, std::int64_t to, int columns);
// Energy bars per hour while each is at least three columns wide, else per day.
bool trendBarsPerDay(std::int64_t from, std::int64_t to, int columns);

// The lanes, top to bottom.
enum class TrendSeries { Volts, Watts, Wind, Rpm, Energy };
constexpr int kTrendSeries = 5;
using TrendShown = std::array<bool, kTrendSeries>;

// One pixel column of one quantity.
struct TrendColumn {
    bool has = false;
    double low = 0, high = 0, mean = 0;
    // At least half of its minutes came from the daily logs (interval maxima).
    bool imported = false;
};

struct TrendBar {
    std::int64_t t = 0, end = 0; // UTC seconds
    int utcOffset = 0;
    double wattHours = 0;
    long long minutes = 0, imported = 0;
};

// How the wind of a row is shown: values in m/s (a known unit) times
// `perMetre`; values in an unknown unit only when it is `unit`.
struct WindShown {
    std::string unit = "m/s";
    std::optional<double> perMetre = 1.0; // none: `unit` is not a known one
};
WindShown windShown(const std::string &unitShown);

struct TrendData {
    std::int64_t from = 0, to = 0;
    int columns = 0;
    TrendTable table = TrendTable::Minute;
    std::string windUnit;
    // Volts, watts, wind, RPM: `columns` each.
    std::array<std::vector<TrendColumn>, 4> quantities;
    bool barsPerDay = false;
    std::vector<TrendBar> bars;
    // Seconds a column stands for.
    double columnSeconds() const { return columns ? double(to - from) / columns : 0; }
    // The column holding second `t`; -1 outside.
    int columnOf(std::int64_t t) const;
};

// The rows (of `table`, oldest first, any range) gathered into `columns`
// columns over [from, to). A row fills every column its time touches, so a
// column narrower than a row is never taken for a gap.
TrendData trendColumns(const std::vector<ArchiveRow> &rows, TrendTable table, std::int64_t from, std::int64_t to,
                       int columns, const WindShown &wind);
// The energy bars from the hour or day rows (oldest first, any range).
void setTrendBars(TrendData &data, const std::vector<ArchiveRow> &rows, bool perDay);

// ---- what is drawn ------------------------------------------------------------

struct TrendPoint {
    double x = 0, y = 0;
};
// Consecutive columns with data in one style; a run never crosses a gap.
// Where the style changes the next run starts at the last point of the one
// before, so the line goes on in the other style.
struct TrendRun {
    bool imported = false;
    std::vector<TrendPoint> mean, high, low;
};
struct TrendRect {
    double x = 0, y = 0, w = 0, h = 0;
    bool imported = false;
};
struct TrendLabel {
    double at = 0; // y of a value tick, x of a time tick
    std::string text;
    bool major = false;
};
struct TrendLane {
    TrendSeries series = TrendSeries::Volts;
    double top = 0, bottom = 0;
    std::string title;
    NiceAxis axis;
    std::vector<TrendLabel> ticks;
    std::vector<TrendRun> runs;
    std::vector<TrendRect> bars;
};
struct TrendPicture {
    double left = 0, top = 0, right = 0, bottom = 0; // the plot, all lanes
    std::vector<TrendLane> lanes;
    std::vector<TrendLabel> timeTicks;
    bool empty = true; // no shown series has a column with data
};

// Margins around the plot, in pixels.
constexpr int kTrendLeft = 62, kTrendRight = 12, kTrendTop = 6, kTrendBottom = 22, kTrendLaneGap = 16;
// The plot's width for a widget `width` wide: the number of columns to read.
int trendColumnsFor(int width);

TrendPicture trendPicture(const TrendData &data, const TrendShown &shown, int width, int height,
                          const OffsetAt &offsetAt);

// What the cursor read-out says of column `column`: its time with the date,
// then every shown value; empty outside.
std::string trendReadout(const TrendData &data, const TrendShown &shown, int column, const OffsetAt &offsetAt);

} // namespace core
