// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The certified power curve kept in the program folder ("certified-curve.csv",
// a curve file as core::readCurveFile takes it), and the performance against
// it read from the archive's minutes through a connection of its own that
// never writes.

#include "core/Performance.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace archive {

QString certifiedCurvePath(const QString &folder);

// The kept curve; nullopt with `why` empty when none was imported, with
// `why` in words when it cannot be read or is damaged.
std::optional<std::vector<core::CurvePoint>> readCertifiedCurve(const QString &folder, QString *why);
// Checks `file` and keeps a copy of it, byte for byte, in place of the one
// kept before; false with `why` in words (naming the line that is wrong).
bool importCertifiedCurve(const QString &folder, const QString &file, QString *why);
// The same for a curve's bytes that came otherwise (uploaded from a
// browser); `name` names them in the words of `why`.
bool keepCertifiedCurve(const QString &folder, const QByteArray &bytes, const QString &name, QString *why);

// Called with the share done (0..1); returning false cancels.
using Progress = std::function<bool(double)>;

// The performance of the archive's minutes from `from` to `to` (UTC
// seconds): the archive's day sums, with the minutes of a day the range cuts.
// Sums made by other rules (the writer has not taken up changed settings
// yet, or an earlier version's archive) give way to the minutes kept, read a
// day at a time. nullopt when cancelled (`why` empty) or on a failure (`why`
// in words); an archive not made yet gives an empty book.
std::optional<core::PerformanceBook> readPerformance(const QString &folder, const core::TurbineSettings &settings,
                                                     const std::vector<core::CurvePoint> &certified,
                                                     std::int64_t from, std::int64_t to, const Progress &progress,
                                                     QString *why);
// The same from the minutes kept alone.
std::optional<core::PerformanceBook> readPerformanceFromMinutes(const QString &folder,
                                                                const core::TurbineSettings &settings,
                                                                const std::vector<core::CurvePoint> &certified,
                                                                std::int64_t from, std::int64_t to,
                                                                const Progress &progress, QString *why);

// The days of logs/energy.csv (none when there is no file yet); nullopt with
// `why` in words when it cannot be read.
std::optional<std::vector<core::DayRecord>> readEnergyDays(const QString &folder, QString *why);

// `--report energy`: the months of energy.csv, with the performance when a
// certified curve is kept.
int reportEnergy(const QString &folder, std::FILE *out, std::FILE *err);

} // namespace archive
