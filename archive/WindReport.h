// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The site's wind read from a program folder's archive (through a connection
// of its own that never writes): its tallies, or where it has none made by
// this program's rules (an earlier version's archive not opened by a writer
// yet), the minutes kept and the hour summaries before them; and `--report wind`.

#include "core/WindStats.h"

#include <QString>
#include <cstdio>
#include <functional>
#include <optional>

namespace archive {

// The statistics, or nullopt with `why` in words (no archive yet,
// unreadable), or with `why` empty when `progress` stopped it. `progress`
// gets the share read so far, 0 to 1, now and then, on the reading thread;
// it returns false to stop.
std::optional<core::WindStats> readWind(const QString &folder, QString *why,
                                        const std::function<bool(double share)> &progress = {});
// The same from the rows alone, whatever tallies the archive keeps: the
// minutes kept, each counting one minute, and the hours before the first one.
std::optional<core::WindStats> readWindFromRows(const QString &folder, QString *why,
                                                const std::function<bool(double share)> &progress = {});

// `--report wind`: the wind statistics and the site's estimate as CSV.
int reportWind(const QString &folder, std::FILE *out, std::FILE *err);

} // namespace archive
