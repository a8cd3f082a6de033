// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export.h"

#include "Archive.h"
#include "AvailabilityReport.h"
#include "Certified.h"
#include "CurveReport.h"
#include "WindReport.h"
#include "core/Number.h"
#include "ui/FolderStart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace archive {

std::optional<QDateTime> exportTime(const QString &text, bool end)
{
    const QString t = text.trimmed();
    if (t.size() == 10) {
        const QDate date = QDate::fromString(t, Qt::ISODate);
        if (!date.isValid())
            return std::nullopt;
        // The real start of the day: on some dates midnight does not exist.
        return (end ? date.addDays(1) : date).startOfDay();
    }
    QString dateTime = t;
    if (dateTime.size() > 10 && dateTime[10] == QLatin1Char(' '))
        dateTime[10] = QLatin1Char('T');
    const QDateTime parsed = QDateTime::fromString(dateTime, Qt::ISODate);
    if (!parsed.isValid() || dateTime.size() < 16)
        return std::nullopt;
    return parsed;
}

int exportArchive(const QString &folder, const QString &from, const QString &to, Step step, std::FILE *out,
                  std::FILE *err)
{
    const auto start = exportTime(from, false);
    const auto end = exportTime(to, true);
    const auto say = [err](const QString &text) {
        std::fprintf(err, "%s\n", text.toLocal8Bit().constData());
        return 2;
    };
    if (!start)
        return say(QStringLiteral("FROM '%1' is not a date (2026-12-01) or a date and time (2026-12-01T06:30)")
                       .arg(from));
    if (!end)
        return say(
            QStringLiteral("TO '%1' is not a date (2026-12-01) or a date and time (2026-12-01T06:30)").arg(to));
    if (*end <= *start)
        return say(QStringLiteral("TO must come after FROM"));
    const QString path = folder + QLatin1Char('/') + ArchiveDb::fileName();
    if (!QFileInfo::exists(path)) {
        say(QStringLiteral("There is no archive in %1 yet.").arg(QDir::toNativeSeparators(folder)));
        return 1;
    }
    ArchiveDb db;
    if (!db.open(path, true)) {
        say(QStringLiteral("The archive %1 cannot be read: %2.").arg(QDir::toNativeSeparators(path), db.error()));
        return 1;
    }
    // Days take the performance against the certified curve, when one is kept.
    QString why;
    std::optional<core::PerformanceBook> performance;
    if (step == Step::Day)
        if (const auto certified = readCertifiedCurve(folder, &why))
            performance = readPerformance(folder, Archive::turbineSettings(folder), *certified,
                                          start->toSecsSinceEpoch(), end->toSecsSinceEpoch(), nullptr, &why);
    if (!why.isEmpty()) {
        say(why);
        return 1;
    }
    // Written as read, in pieces: years of minutes never sit in memory.
    std::string text = core::archiveCsvHeader();
    if (performance)
        text.insert(text.size() - 1, ",performance_percent");
    constexpr size_t kPiece = 1 << 16;
    bool written = true;
    const auto write = [&] {
        written = written && std::fwrite(text.data(), 1, text.size(), out) == text.size();
        text.clear();
        return written;
    };
    const bool read = db.each(
        step, start->toSecsSinceEpoch(), end->toSecsSinceEpoch(), [&](const core::ArchiveRow &row) {
            std::string line = core::archiveCsvLine(row);
            if (performance) {
                const auto found = performance->days().find(core::localDayKey(row.t, row.utcOffset));
                const auto ratio = found == performance->days().end() ? std::nullopt : found->second.ratio();
                line.insert(
                    line.size() - 1,
                    "," + (ratio ? core::dotNumberText(core::roundHalfEven(*ratio * 100, 1)) : std::string()));
            }
            text += line;
            return text.size() < kPiece || write();
        });
    if (!write() || std::fflush(out) != 0) {
        say(QStringLiteral("The export could not be written."));
        return 1;
    }
    if (!read) {
        say(QStringLiteral("The archive %1 could not be read to the end: %2.")
                .arg(QDir::toNativeSeparators(path), db.error()));
        return 1;
    }
    return 0;
}

int answerFromArchive(int argc, char **argv, const core::CommandLine &line)
{
    QCoreApplication app(argc, argv);
    const QString folder = ui::findProgramFolder(line.folder)
                               .path;
    std::FILE *out = stdout, *err = stderr;
    if (line.action == core::CommandLine::Action::Export) {
        const Step step = line.exportStep == "hour" ? Step::Hour : line.exportStep == "day" ? Step::Day : Step::Minute;
        return exportArchive(folder, QString::fromLocal8Bit(line.exportFrom.c_str()),
                             QString::fromLocal8Bit(line.exportTo.c_str()), step, out, err);
    }
    if (line.report == "curve")
        return reportCurveFile(folder, QString::fromLocal8Bit(line.reportFile.c_str()), out, err);
    if (line.report == "wind")
        return reportWind(folder, out, err);
    if (line.report == "energy")
        return reportEnergy(folder, out, err);
    if (line.report == "availability")
        return reportAvailability(folder, out, err);
    return reportPowerCurve(folder, out, err);
}

} // namespace archive
