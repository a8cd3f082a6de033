// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a damaged archive still gives back. SQLite has no recovery call, so
// each table is read by its key, oldest first; where a page cannot be read,
// the next key that can is found by probing forward, and reading goes on
// from there. What a table lost is made again where its source came back:
// hours from their minutes, days from their hours, the curve's bins from the
// minutes kept (and the earlier curve taken in).

#include "ArchiveDb.h"

#include <QString>
#include <map>
#include <set>
#include <string>

namespace archive {

struct Salvaged {
    // The damaged file's tables could be found (its schema was readable);
    // false: nothing came back.
    bool readable = false;
    // Rows that came back, by table, and the tables whose reading met damage.
    std::map<std::string, long long> rows;
    std::set<std::string> damaged;
    // Summaries missing from their own table, made again: hours from their
    // minutes, days from their hours.
    long long hoursMade = 0, daysMade = 0;
    // The curve's bins did not come back and were made again; the bins it
    // has then.
    bool curveMade = false;
    long long curveBins = 0;

    long long count(const std::string &table) const
    {
        const auto found = rows.find(table);
        return found == rows.end() ? 0 : found->second;
    }
    // "minutes 500113, hours 8748 (and 12 made again from their minutes),
    // days 365, curve bins 24 came back" (or "..., days 365 came back; curve
    // bins 3 were made again from the minutes kept"), or "nothing could be
    // read from it".
    QString text() const;
};

// Copies what can still be read of the damaged archive at `damaged` (already
// moved aside, its "-wal" and "-shm" beside it; it is only read) into the
// archive at `fresh`, made when missing; `rules` make the curve again when
// its bins did not come back. nullopt, with `error` set, when `fresh` could
// not be opened or written (nothing is then taken).
std::optional<Salvaged> salvageArchive(const QString &damaged, const QString &fresh, const core::CurveRules &rules,
                                       QString *error = nullptr);

} // namespace archive
