// SPDX-License-Identifier: GPL-3.0-or-later
#include "Certified.h"

#include "Archive.h"
#include "ArchiveDb.h"
#include "CurveReport.h"
#include "ui/Files.h"
#include "ui/ProgramFolder.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace archive {

namespace {
// Minutes are read a day's worth at a time.
constexpr std::int64_t kChunk = 86400;
} // namespace

QString certifiedCurvePath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("certified-curve.csv"));
}

std::optional<std::vector<core::CurvePoint>> readCertifiedCurve(const QString &folder, QString *why)
{
    why->clear();
    const QString path = certifiedCurvePath(folder);
    if (!QFileInfo::exists(path))
        return std::nullopt;
    QString reason;
    const auto bytes = ui::readWhole(path, &reason);
    if (!bytes) {
        *why = QStringLiteral("The certified curve %1 cannot be read (%2).").arg(ui::nativePath(path), reason);
        return std::nullopt;
    }
    std::string error;
    auto points = core::readCurveFile(ui::textOf(*bytes), &error);
    if (!points)
        *why = QStringLiteral("The certified curve %1 is damaged: %2.")
                   .arg(ui::nativePath(path), QString::fromStdString(error));
    return points;
}

bool importCertifiedCurve(const QString &folder, const QString &file, QString *why)
{
    QString reason;
    const auto bytes = ui::readWhole(file, &reason);
    if (!bytes) {
        *why = QStringLiteral("%1 could not be read (%2).").arg(ui::nativePath(file), reason);
        return false;
    }
    return keepCertifiedCurve(folder, *bytes, ui::nativePath(file), why);
}

bool keepCertifiedCurve(const QString &folder, const QByteArray &bytes, const QString &name, QString *why)
{
    std::string error;
    const auto points = core::readCurveFile(ui::textOf(bytes), &error);
    if (!points) {
        *why = QStringLiteral("%1 is not a curve file: %2. The curve kept before is unchanged.")
                   .arg(name, QString::fromStdString(error));
        return false;
    }
    if (!core::cutInWind(*points)) {
        *why = QStringLiteral("%1 has no point with power above 0. The curve kept before is unchanged.").arg(name);
        return false;
    }
    const QString kept = certifiedCurvePath(folder);
    if (!ui::replaceWhole(kept, bytes)) {
        *why = QStringLiteral("The certified curve could not be kept as %1. The curve kept before is unchanged.")
                   .arg(ui::nativePath(kept));
        return false;
    }
    return true;
}

namespace {
enum class Opened { Yes, None, Unreadable };
// The folder's archive opened to read: None when there is none yet,
// Unreadable with the reason in `why`.
Opened openToRead(const QString &path, ArchiveDb &db, QString *why)
{
    if (!QFileInfo::exists(path))
        return Opened::None;
    if (db.open(path, true))
        return Opened::Yes;
    *why = QStringLiteral("The archive %1 cannot be read: %2.").arg(ui::nativePath(path), db.error());
    return Opened::Unreadable;
}
} // namespace

std::optional<core::PerformanceBook> readPerformance(const QString &folder, const core::TurbineSettings &settings,
                                                     const std::vector<core::CurvePoint> &certified,
                                                     std::int64_t from, std::int64_t to, const Progress &progress,
                                                     QString *why)
{
    why->clear();
    core::PerformanceBook book(certified, core::curveRules(settings));
    const QString path = folder + QLatin1Char('/') + ArchiveDb::fileName();
    ArchiveDb db;
    if (const auto opened = openToRead(path, db, why); opened != Opened::Yes)
        return opened == Opened::None ? std::optional(book) : std::nullopt;
    const auto days = db.performanceDays(book);
    if (!days && db.error().isEmpty()) {
        db.close();
        return readPerformanceFromMinutes(folder, settings, certified, from, to, progress, why);
    }
    const auto unreadable = [&] {
        *why = QStringLiteral("The archive %1 cannot be read: %2.").arg(ui::nativePath(path), db.error());
        return std::nullopt;
    };
    if (!days)
        return unreadable();
    // Whole days from their sums; a day the range cuts from its minutes.
    constexpr std::int64_t kLongestDay = 25 * 3600;
    for (const auto &[day, d] : *days) {
        if (d.t >= to || d.t + kLongestDay <= from)
            continue;
        std::int64_t end = d.t + kLongestDay;
        if (d.t < from || end > to)
            end = QDate(day / 10000, day / 100 % 100, day % 100).addDays(1).startOfDay().toSecsSinceEpoch();
        if (end <= from)
            continue;
        if (d.t >= from && end <= to) {
            book.add(day, d.sums);
            continue;
        }
        for (const core::ArchiveRow &minute : db.rows(Step::Minute, std::max(from, d.t), std::min(to, end)))
            book.add(minute);
        if (!db.error().isEmpty())
            return unreadable();
    }
    if (progress)
        progress(1);
    return book;
}

std::optional<core::PerformanceBook> readPerformanceFromMinutes(const QString &folder,
                                                                const core::TurbineSettings &settings,
                                                                const std::vector<core::CurvePoint> &certified,
                                                                std::int64_t from, std::int64_t to,
                                                                const Progress &progress, QString *why)
{
    why->clear();
    core::PerformanceBook book(certified, core::curveRules(settings));
    const QString path = folder + QLatin1Char('/') + ArchiveDb::fileName();
    ArchiveDb db;
    if (const auto opened = openToRead(path, db, why); opened != Opened::Yes)
        return opened == Opened::None ? std::optional(book) : std::nullopt;
    const auto span = db.minuteSpan();
    if (!db.error().isEmpty()) {
        *why = QStringLiteral("The archive %1 cannot be read: %2.").arg(ui::nativePath(path), db.error());
        return std::nullopt;
    }
    if (!span)
        return book;
    const std::int64_t first = std::max(from, span->first), last = std::min(to, span->second + 1);
    for (std::int64_t start = first; start < last; start += kChunk) {
        if (progress && !progress(double(start - first) / double(last - first)))
            return std::nullopt;
        for (const core::ArchiveRow &minute : db.rows(Step::Minute, start, std::min(last, start + kChunk)))
            book.add(minute);
        if (!db.error().isEmpty()) {
            *why = QStringLiteral("The archive %1 cannot be read: %2.").arg(ui::nativePath(path), db.error());
            return std::nullopt;
        }
    }
    if (progress)
        progress(1);
    return book;
}

std::optional<std::vector<core::DayRecord>> readEnergyDays(const QString &folder, QString *why)
{
    const QString csv = ui::ProgramFolder(folder).energyCsv();
    if (!QFileInfo::exists(csv))
        return std::vector<core::DayRecord>();
    QString reason;
    const auto bytes = ui::readWhole(csv, &reason);
    if (!bytes) {
        *why = QStringLiteral("%1 could not be read (%2).").arg(ui::nativePath(csv), reason);
        return std::nullopt;
    }
    return core::readEnergyCsv(ui::textOf(*bytes));
}

int reportEnergy(const QString &folder, std::FILE *out, std::FILE *err)
{
    QString why;
    const auto read = readEnergyDays(folder, &why);
    if (!read)
        return reportProblem(err, why, 1);
    const std::vector<core::DayRecord> &days = *read;
    const auto certified = readCertifiedCurve(folder, &why);
    if (!why.isEmpty())
        return reportProblem(err, why, 1);
    std::optional<std::map<int, core::PerformanceSums>> months;
    if (certified) {
        const auto book = readPerformance(folder, Archive::turbineSettings(folder), *certified, 0,
                                          std::numeric_limits<std::int64_t>::max() / 2, nullptr, &why);
        if (!book)
            return reportProblem(err, why, 1);
        months = book->months();
    }
    const std::string text = core::energyReportText(days, months ? &*months : nullptr);
    return writeReport(text, out, err);
}

} // namespace archive
