// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sending of data out, on a thread of its own with its own read-only
// connection to the archive: the changes after the cursor, oldest first, in
// batches, each confirmed by the server before the cursor moves past it.

#include "archive/ArchiveDb.h"
#include "core/Availability.h"
#include "core/DataOut.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace publish {

struct DataOutJob {
    core::DataOutSettings settings;
    // The site's name as a tag of the line protocol.
    std::string siteTag;
    core::AvailabilityRules rules;
    QString archivePath, cursorPath;
};

// How a batch (or the start of a run) went.
struct DataOutReport {
    bool ok = true;
    // On a failure, what went wrong: the server's words, secrets taken out.
    std::string answer;
    // Minutes the server confirmed in this batch, and those still to send
    // (-1: not known, the archive could not be read).
    long long sent = 0, backlog = -1;
    std::int64_t cursor = 0;
    // Minutes retention let go before they were sent, ever.
    long long forgotten = 0;
    // Nothing more to send for now (the run ends).
    bool caughtUp = false;
    // Something to tell once, such as a cursor beyond the archive.
    std::string note;
};

class DataSender {
public:
    static constexpr int kBatch = 5000;
    explicit DataSender(std::shared_ptr<std::atomic<bool>> stop) : m_stop(std::move(stop)) { }

    // Sends until caught up, a batch fails or the stop is set; `report` after
    // each batch. Settings that are off only bring a cursor beyond the
    // archive back to it. Blocking: the caller's thread is the sender's.
    void run(const DataOutJob &job, const std::function<void(const DataOutReport &)> &report);

private:
    // The minutes' lines (categories by the run rule, looking at the
    // minutes around them) and the days'.
    std::string body(const DataOutJob &job, std::vector<std::pair<std::int64_t, core::ArchiveRow>> &minutes,
                     const std::vector<core::ArchiveRow> &days);
    bool writeCursor(const QString &path, const core::DataOutCursor &c);

    std::shared_ptr<std::atomic<bool>> m_stop;
    archive::ArchiveDb m_db;
};

} // namespace publish
