// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindReport.h"

#include "Archive.h"
#include "ArchiveDb.h"
#include "CurveReport.h"

#include <QDir>
#include <QFileInfo>
#include <limits>

namespace archive {

namespace {
QString native(const QString &path) { return QDir::toNativeSeparators(path); }

int say(std::FILE *err, const QString &text, int code)
{
    std::fprintf(err, "%s\n", text.toLocal8Bit().constData());
    return code;
}
// Rows between two looks at the progress.
constexpr long long kProgressRows = 8192;
} // namespace

std::optional<core::WindStats> readWind(const QString &folder, QString *why,
                                        const std::function<bool(double share)> &progress)
{
    const QString path = folder + QLatin1Char('/') + ArchiveDb::fileName();
    if (!QFileInfo::exists(path)) {
        *why = QStringLiteral("There is no archive in %1 yet.").arg(native(folder));
        return std::nullopt;
    }
    ArchiveDb db;
    auto unreadable = [&]() -> std::optional<core::WindStats> {
        *why = QStringLiteral("The archive %1 cannot be read: %2.").arg(native(path), db.error());
        return std::nullopt;
    };
    if (!db.open(path, true))
        return unreadable();
    const auto minutes = db.span(Step::Minute);
    const auto hours = db.span(Step::Hour);
    if (!db.error().isEmpty())
        return unreadable();
    constexpr std::int64_t kEarliest = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kLatest = std::numeric_limits<std::int64_t>::max();
    // The hours wholly before the first minute kept stand for their minutes.
    const std::int64_t hoursTo = minutes ? minutes->first - 3600 + 1 : kLatest;
    const std::int64_t first = hours ? hours->first : minutes ? minutes->first : 0;
    const std::int64_t last = minutes ? minutes->second : hours ? hours->second : 0;
    const double length = double(std::max<std::int64_t>(1, last - first));

    core::WindTally tally;
    long long seen = 0;
    bool stopped = false;
    auto look = [&](std::int64_t t) {
        if (progress && ++seen % kProgressRows == 0 && !progress(double(t - first) / length))
            stopped = true;
        return !stopped;
    };
    if (hours && hours->first < hoursTo
        && !db.eachWind(Step::Hour, kEarliest, hoursTo, [&](const core::ArchiveRow &r) {
               tally.addHour(r);
               return look(r.t);
           }))
        return unreadable();
    if (!stopped && minutes && !db.eachWind(Step::Minute, kEarliest, kLatest, [&](const core::ArchiveRow &r) {
            tally.addMinute(r);
            return look(r.t);
        }))
        return unreadable();
    if (stopped) {
        why->clear();
        return std::nullopt;
    }
    if (progress)
        progress(1);
    return tally.stats();
}

int reportWind(const QString &folder, std::FILE *out, std::FILE *err)
{
    const core::TurbineSettings settings = Archive::turbineSettings(folder);
    QString why;
    const auto wind = readWind(folder, &why);
    if (!wind)
        return say(err, why, 1);
    const auto curve = readCurve(folder, settings, &why);
    if (!curve)
        return say(err, why, 1);
    const std::string text = core::windReportText(*wind, *curve, settings);
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0)
        return say(err, QStringLiteral("The report could not be written."), 1);
    return 0;
}

} // namespace archive
