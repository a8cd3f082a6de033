// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The turbine's availability read from the archive's tallies through a
// connection of its own that never writes: by local day, month and year,
// each watched from the hour of the first minute kept up to now, with the
// energy lost minutes would have made priced by the measured curve as it
// stands (the certified curve where a bin is not measured).

#include "core/Availability.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

namespace archive {

struct AvailabilityBook {
    std::map<int, core::Availability> days;   // yyyymmdd
    std::map<int, core::Availability> months; // yyyymm
    std::map<int, core::Availability> years;  // yyyy
};

// The days that begin at or after `from` and before `to` (UTC seconds), and
// the months and years they make up, watched up to `now`. nullopt with `why`
// in words on a failure; an archive not made yet gives an empty book.
std::optional<AvailabilityBook> readAvailability(const QString &folder, std::int64_t from, std::int64_t to,
                                                 std::int64_t now, QString *why);

// The figures of a book's map as periods, oldest first.
std::vector<core::AvailabilityPeriod> periodsOf(const std::map<int, core::Availability> &figures);

// `--report availability`: every month and year as CSV.
int reportAvailability(const QString &folder, std::FILE *out, std::FILE *err);

} // namespace archive
