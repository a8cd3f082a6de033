// SPDX-License-Identifier: GPL-3.0-or-later
#include "AvailabilityReport.h"

#include "Archive.h"
#include "ArchiveDb.h"
#include "Certified.h"
#include "CurveReport.h"

#include "ui/Files.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <vector>

namespace archive {

namespace {
int keyOf(const QDate &d) { return d.year() * 10000 + d.month() * 100 + d.day(); }
} // namespace

std::optional<AvailabilityBook> readAvailability(const QString &folder, std::int64_t from, std::int64_t to,
                                                 std::int64_t now, QString *why)
{
    why->clear();
    AvailabilityBook book;
    const QString path = folder + QLatin1Char('/') + ArchiveDb::fileName();
    if (!QFileInfo::exists(path))
        return book;
    ArchiveDb db;
    const auto failed = [&] {
        *why = QStringLiteral("The archive %1 cannot be read: %2.").arg(ui::nativePath(path), db.error());
        return std::nullopt;
    };
    if (!db.open(path, true))
        return failed();
    // Watched from the first hour summed or minute kept (an archive of
    // minutes alone has its hours made as it is written).
    const auto hours = db.span(Step::Hour);
    const auto minutes = db.span(Step::Minute);
    if (!db.error().isEmpty())
        return failed();
    if (!hours && !minutes)
        return book;
    std::int64_t first = hours ? hours->first : std::numeric_limits<std::int64_t>::max();
    if (minutes)
        if (const auto m = db.row(Step::Minute, minutes->first))
            first = std::min(first, core::localHourStart(m->t, m->utcOffset));
    const core::CurveRules rules = core::curveRules(Archive::turbineSettings(folder));
    const auto curve = db.curve(rules);
    const auto tallies = db.availabilityDays(from, to);
    if (!curve || !tallies)
        return failed();
    const auto expected = core::expectedWatts(*curve, Archive::certified(folder), rules);

    // Each day's tallies and the minutes of it that were watched.
    std::map<int, std::pair<core::AvailabilityTally, long long>> days;
    for (const auto &[key, t] : *tallies)
        days[key].first = t;
    const std::int64_t watched = std::max(from, first), until = std::min(to, now);
    if (watched < until) {
        const QDate last = QDateTime::fromSecsSinceEpoch(until - 1).date();
        for (QDate d = QDateTime::fromSecsSinceEpoch(watched).date(); d <= last; d = d.addDays(1)) {
            const std::int64_t start = d.startOfDay().toSecsSinceEpoch();
            const std::int64_t end = d.addDays(1).startOfDay().toSecsSinceEpoch();
            days[keyOf(d)].second = std::max<std::int64_t>(0, std::min(end, until) - std::max(start, watched)) / 60;
        }
    }
    std::map<int, std::pair<core::AvailabilityTally, long long>> months, years;
    for (const auto &[key, d] : days) {
        book.days[key] = core::availability(d.first, d.second, expected);
        for (auto *sum : {&months[key / 100], &years[key / 10000]}) {
            sum->first.add(d.first);
            sum->second += d.second;
        }
    }
    for (const auto &[key, m] : months)
        book.months[key] = core::availability(m.first, m.second, expected);
    for (const auto &[key, y] : years)
        book.years[key] = core::availability(y.first, y.second, expected);
    return book;
}

std::vector<core::AvailabilityPeriod> periodsOf(const std::map<int, core::Availability> &figures)
{
    std::vector<core::AvailabilityPeriod> out;
    for (const auto &[key, a] : figures)
        out.push_back({key, a});
    return out;
}

int reportAvailability(const QString &folder, std::FILE *out, std::FILE *err)
{
    QString why;
    const auto book = readAvailability(folder, std::numeric_limits<std::int64_t>::min() / 2,
                                       std::numeric_limits<std::int64_t>::max() / 2,
                                       QDateTime::currentSecsSinceEpoch(), &why);
    if (!book)
        return reportProblem(err, why, 1);
    return writeReport(core::availabilityReportText(periodsOf(book->months), periodsOf(book->years)), out, err);
}

} // namespace archive
