// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogImport.h"

#include "EnergyHistory.h"
#include "LogLine.h"
#include "PowerCurve.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace core {

std::vector<ArchiveRow> importLogMinutes(std::string_view logText, const CivilDate &date,
                                         const std::string &windUnit, const OffsetAt &offsetAt)
{
    const auto records = chooseRecords(logText, 0, 1, std::numeric_limits<std::size_t>::max()).records;
    if (records.empty() || !offsetAt)
        return {};
    const std::int64_t dayStart = std::int64_t(daysFromCivil(date)) * 86400;
    // UTC minute of each stamp, in file order.
    std::vector<long> minutes(records.size());
    std::int64_t last = std::numeric_limits<std::int64_t>::min();
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::int64_t local = dayStart + std::llround(records[i].T * 1440) * 60;
        const std::vector<std::int64_t> at = utcOfLocal(local, offsetAt);
        std::int64_t t;
        if (at.empty()) {
            // A stamp in the skipped hour: a clock not yet put forward.
            t = local - offsetAt(local - 86400);
        } else {
            // The first of a repeated time that does not go back before the
            // record before it.
            t = at.back();
            for (const std::int64_t c : at)
                if (c >= last) {
                    t = c;
                    break;
                }
        }
        last = t;
        minutes[i] = long(t / 60);
    }
    const std::vector<double> seconds = recordSeconds(minutes);
    const WindUnit unit = core::windUnit(windUnit);
    std::map<std::int64_t, ArchiveRow> filled;
    std::map<std::int64_t, double> covered;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const LogRecord &r = records[i];
        if (r.V == 0 && r.I == 0 && r.W == 0 && r.R == 0 && r.S == 0)
            continue;
        const double d = seconds[i];
        const long k = std::max(1L, std::lround(d / 60));
        const double share = d / double(k);
        for (long m = minutes[i] - k + 1; m <= minutes[i]; ++m) {
            const std::int64_t t = std::int64_t(m) * 60;
            ArchiveRow &row = filled[t];
            if (!row.minutes) {
                row.t = t;
                row.utcOffset = offsetAt(t);
                row.minutes = row.imported = 1;
            }
            row.volts.add(r.V);
            row.amps.add(r.I);
            row.watts.add(r.W);
            row.rpm.add(r.R);
            row.wind.add(unit.known() ? r.S * *unit.toMetresPerSecond : r.S);
            row.windUnit = windUnit;
            row.energyWh += r.W * share / 3600;
            if (r.M == 1)
                row.loadSeconds += share;
            covered[t] += share;
        }
    }
    std::vector<ArchiveRow> out;
    out.reserve(filled.size());
    for (auto &[t, row] : filled) {
        row.loadSeconds = std::min(row.loadSeconds, 60.0);
        row.noDataSeconds = std::max(0.0, 60 - covered[t]);
        out.push_back(std::move(row));
    }
    return out;
}

} // namespace core
