// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive's tables as its own code writes and reads them: the quantities
// a minute keeps and their columns. Not for its readers.

#include "ArchiveDb.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace archive {

class Statement;
// A row of `SELECT t, <its columns>` as written (a minute's or a summary's).
core::ArchiveRow readRow(const Statement &s, bool minute);

// The five quantities with the scale a minute keeps each at.
struct Quantity {
    const char *name;
    core::Spread core::ArchiveRow::*spread;
    double scale;
};
inline const Quantity kQuantities[] = {
    {"volts", &core::ArchiveRow::volts, 100}, {"amps", &core::ArchiveRow::amps, 100},
    {"watts", &core::ArchiveRow::watts, 100}, {"rpm", &core::ArchiveRow::rpm, 10},
    {"wind", &core::ArchiveRow::wind, 1000},
};

inline std::int64_t scaled(double v, double scale) { return std::llround(v * scale); }

inline const char *tableOf(Step step)
{
    switch (step) {
    case Step::Minute: return "minute";
    case Step::Hour: return "hour";
    case Step::Day: return "day";
    }
    return "minute";
}

// The columns after the key, as written and read.
inline std::string minuteColumns()
{
    std::string c = "utc_offset, frames, rejected, energy_mwh, load_s, nodata_s, source";
    for (const Quantity &q : kQuantities)
        for (const char *part : {"_mean", "_min", "_max"})
            c += std::string(", ") + q.name + part;
    return c + ", wind_unit";
}

inline std::string summaryColumns()
{
    std::string c = "utc_offset, minutes, imported, frames, rejected, energy_wh, load_s, nodata_s";
    for (const Quantity &q : kQuantities)
        for (const char *part : {"_n", "_sum", "_min", "_max"})
            c += std::string(", ") + q.name + part;
    return c + ", wind_unit";
}

inline std::string columnDefinitions(const std::string &columns)
{
    std::string out;
    size_t from = 0;
    while (from < columns.size()) {
        size_t comma = columns.find(',', from);
        if (comma == std::string::npos)
            comma = columns.size();
        std::string name = columns.substr(from, comma - from);
        while (!name.empty() && name.front() == ' ')
            name.erase(0, 1);
        out += ", " + name + (name == "wind_unit" ? " TEXT" : "");
        from = comma + 1;
    }
    return out;
}

inline std::string placeholders(int n)
{
    std::string p = "?";
    for (int i = 1; i < n; ++i)
        p += ",?";
    return p;
}

inline int columnCount(const std::string &columns)
{
    return int(std::count(columns.begin(), columns.end(), ',')) + 1;
}

} // namespace archive
