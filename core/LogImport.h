// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A daily log made into archive minutes ("Import daily logs"). Each record is
// the maxima of one logging interval, written at its end and stamped with the
// local minute of writing; it fills the minutes of its interval that end with
// the stamp's (one for 60 s or less, ten for 600 s), inferred from the stamps
// as the estimate of a day infers it. Records of one minute are merged.
// Stamps are local time: in the hour the clocks go back, a stamp that comes
// again after a later one is the second of the two, in file order.

#include "Archive.h"
#include "Axis.h"
#include "EnergyBook.h"

#include <string>
#include <string_view>
#include <vector>

namespace core {

// The minutes of `date`'s log, oldest first, each marked imported; a record
// of all zeros (an interval without a frame) fills nothing. Wind is in
// `windUnit` in the log; kept in m/s when that unit is known.
std::vector<ArchiveRow> importLogMinutes(std::string_view logText, const CivilDate &date,
                                         const std::string &windUnit, const OffsetAt &offsetAt);

} // namespace core
