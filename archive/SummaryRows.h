// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The hour rows of the span last asked for, kept between reads on one
// thread's connection: asked again, only the hours whose minutes changed
// since (the archive's change sequence says which) and the hours the span
// gained are read. A year of hours is read in about 10 ms; again, in well
// under one when the program has only written the current minute.

#include "archive/ArchiveDb.h"

#include <QDateTime>
#include <functional>
#include <mutex>

namespace archive {

class SummaryRows {
public:
    // Gives `use` the rows of `step` with from <= t < to, as db holds them
    // now; false, without calling it, when the archive could not be read.
    // Minutes and days are read as they are: only the hours are kept.
    using Use = std::function<void(const std::vector<core::ArchiveRow> &)>;
    bool read(ArchiveDb &db, const QString &file, Step step, std::int64_t from, std::int64_t to, const Use &use);

private:
    bool readAll(ArchiveDb &db, std::int64_t from, std::int64_t to);
    bool takeChanges(ArchiveDb &db, std::int64_t seq);

    std::mutex m_lock;
    bool m_kept = false;
    QDateTime m_born; // the file's, so a new archive is never read as the old
    std::int64_t m_seq = 0, m_from = 0, m_to = 0;
    std::vector<core::ArchiveRow> m_rows; // by time, each from <= t < to
};

} // namespace archive
