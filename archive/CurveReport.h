// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The power curve read from a program folder's archive (through a connection
// of its own that never writes), and the two reports a terminal prints.

#include "core/PowerCurve.h"

#include <QString>
#include <cstdio>
#include <optional>

namespace archive {

// What the reports share: a problem told on `err`, returning the exit status
// `code`; and the report written whole to `out` (0, or 1 told on `err`).
int reportProblem(std::FILE *err, const QString &text, int code);
int writeReport(const std::string &text, std::FILE *out, std::FILE *err);

// The curve, or nullopt with `why` in words (no archive yet, unreadable).
std::optional<core::PowerCurve> readCurve(const QString &folder, const core::TurbineSettings &settings, QString *why);

// `--report powercurve`: the measured curve and its estimate as CSV.
int reportPowerCurve(const QString &folder, std::FILE *out, std::FILE *err);
// `--report curve FILE`: the estimate of any curve file, by the same code.
int reportCurveFile(const QString &folder, const QString &file, std::FILE *out, std::FILE *err);

} // namespace archive
