// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive printed as CSV from a terminal, with or without the program
// running (the export reads through a connection of its own that never writes).

#include "ArchiveDb.h"
#include "core/CommandLine.h"

#include <QDateTime>
#include <QString>
#include <cstdio>
#include <optional>

namespace archive {

// FROM or TO as given: a date ("2026-12-01": its start, or for TO its end)
// or a date and time, local unless it names its offset. nullopt when it is
// neither.
std::optional<QDateTime> exportTime(const QString &text, bool end);

// Prints the rows of `folder`'s archive from `from` to `to` (written as
// given); on a failure says why on `err` and returns non-zero.
int exportArchive(const QString &folder, const QString &from, const QString &to, Step step, std::FILE *out,
                  std::FILE *err);

// The command line's --export and --report on its program folder, for every
// program that takes them, on standard output and error; the exit status.
int answerFromArchive(int argc, char **argv, const core::CommandLine &line);

} // namespace archive
