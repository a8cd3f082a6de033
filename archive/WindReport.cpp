// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindReport.h"

#include "Archive.h"
#include "ArchiveDb.h"
#include "CurveReport.h"
#include "ui/Files.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <thread>

namespace archive {

namespace {
// Rows between two looks at the progress.
constexpr long long kProgressRows = 8192;
} // namespace

std::optional<core::WindStats> readWind(const QString &folder, QString *why,
                                        const std::function<bool(double share)> &progress)
{
    const QString path = folder + QLatin1Char('/') + ArchiveDb::fileName();
    if (!QFileInfo::exists(path)) {
        *why = QStringLiteral("There is no archive in %1 yet.").arg(ui::nativePath(folder));
        return std::nullopt;
    }
    std::optional<core::WindTally> tally;
    {
        ArchiveDb db;
        if (!db.open(path, true) || !(tally = db.windTally())) {
            if (!db.error().isEmpty()) {
                *why = QStringLiteral("The archive %1 cannot be read: %2.").arg(ui::nativePath(path), db.error());
                return std::nullopt;
            }
        }
    }
    if (!tally)
        return readWindFromRows(folder, why, progress);
    if (progress)
        progress(1);
    return tally->stats();
}

std::optional<core::WindStats> readWindFromRows(const QString &folder, QString *why,
                                                const std::function<bool(double share)> &progress)
{
    const QString path = folder + QLatin1Char('/') + ArchiveDb::fileName();
    if (!QFileInfo::exists(path)) {
        *why = QStringLiteral("There is no archive in %1 yet.").arg(ui::nativePath(folder));
        return std::nullopt;
    }
    auto unreadable = [&](const ArchiveDb &db) -> std::optional<core::WindStats> {
        *why = QStringLiteral("The archive %1 cannot be read: %2.").arg(ui::nativePath(path), db.error());
        return std::nullopt;
    };
    ArchiveDb db;
    if (!db.open(path, true))
        return unreadable(db);
    const auto minutes = db.span(Step::Minute);
    const auto hours = db.span(Step::Hour);
    if (!db.error().isEmpty())
        return unreadable(db);
    constexpr std::int64_t kEarliest = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kLatest = std::numeric_limits<std::int64_t>::max();
    // The hours wholly before the first minute kept stand for their minutes.
    const std::int64_t hoursTo = minutes ? minutes->first - 3600 + 1 : kLatest;
    // The minutes are read in two halves at once, each on a connection of
    // its own: the older half (after the hours) beside, the newer one here.
    const std::int64_t middle = minutes ? minutes->first + (minutes->second - minutes->first) / 2 : kLatest;
    const double first = double(hours ? hours->first : minutes ? minutes->first : 0);
    const double last = double(minutes ? minutes->second : hours ? hours->second : 0);
    const double split = minutes ? double(middle) : last;

    std::atomic<bool> stop{false};
    // The share of each half read so far, in thousandths, by the time of its rows.
    std::atomic<int> olderDone{0}, newerDone{0};
    auto done = [](std::atomic<int> &share, double from, double to, std::int64_t t) {
        share = int(std::clamp((double(t) - from) / std::max(1.0, to - from), 0.0, 1.0) * 1000);
    };

    core::WindTally older;
    ArchiveDb olderDb;
    bool olderOk = true;
    std::thread beside([&] {
        if (!olderDb.open(path, true)) {
            olderOk = false;
            return;
        }
        long long seen = 0;
        auto look = [&](std::int64_t t) {
            if (++seen % kProgressRows == 0)
                done(olderDone, first, split, t);
            return !stop;
        };
        if (hours && hours->first < hoursTo)
            olderOk = olderDb.eachWind(Step::Hour, kEarliest, hoursTo, [&](const core::ArchiveRow &r) {
                older.addHour(r);
                return look(r.t);
            });
        if (olderOk && !stop && minutes)
            olderOk = olderDb.eachWind(Step::Minute, kEarliest, middle, [&](const core::ArchiveRow &r) {
                older.addMinute(r);
                return look(r.t);
            });
        olderDone = 1000;
    });

    core::WindTally newer;
    long long seen = 0;
    const bool newerOk = !minutes || db.eachWind(Step::Minute, middle, kLatest, [&](const core::ArchiveRow &r) {
        newer.addMinute(r);
        if (++seen % kProgressRows == 0) {
            done(newerDone, split, last, r.t);
            if (progress && !progress((olderDone + newerDone) / 2000.0))
                stop = true;
        }
        return !stop;
    });
    newerDone = 1000;
    // The newer half may end first: the older one's progress goes on here.
    while (progress && !stop && olderDone < 1000) {
        if (!progress((olderDone + newerDone) / 2000.0))
            stop = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    beside.join();
    if (!olderOk)
        return unreadable(olderDb);
    if (!newerOk)
        return unreadable(db);
    if (stop) {
        why->clear();
        return std::nullopt;
    }
    if (progress)
        progress(1);
    older.merge(newer);
    return older.stats();
}

int reportWind(const QString &folder, std::FILE *out, std::FILE *err)
{
    const core::TurbineSettings settings = Archive::turbineSettings(folder);
    QString why;
    const auto wind = readWind(folder, &why);
    if (!wind)
        return reportProblem(err, why, 1);
    const auto curve = readCurve(folder, settings, &why);
    if (!curve)
        return reportProblem(err, why, 1);
    const std::string text = core::windReportText(*wind, *curve, settings);
    return writeReport(text, out, err);
}

} // namespace archive
