// SPDX-License-Identifier: GPL-3.0-or-later
#include "CurveReport.h"

#include "Archive.h"
#include "ArchiveDb.h"
#include "ui/Files.h"

#include <QDir>
#include <QFileInfo>

namespace archive {


int reportProblem(std::FILE *err, const QString &text, int code)
{
    std::fprintf(err, "%s\n", text.toLocal8Bit().constData());
    return code;
}

int writeReport(const std::string &text, std::FILE *out, std::FILE *err)
{
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0)
        return reportProblem(err, QStringLiteral("The report could not be written."), 1);
    return 0;
}

std::optional<core::PowerCurve> readCurve(const QString &folder, const core::TurbineSettings &settings, QString *why)
{
    const QString path = folder + QLatin1Char('/') + ArchiveDb::fileName();
    if (!QFileInfo::exists(path)) {
        *why = QStringLiteral("There is no archive in %1 yet.").arg(ui::nativePath(folder));
        return std::nullopt;
    }
    ArchiveDb db;
    if (!db.open(path, true)) {
        *why = QStringLiteral("The archive %1 cannot be read: %2.").arg(ui::nativePath(path), db.error());
        return std::nullopt;
    }
    auto curve = db.curve(core::curveRules(settings));
    if (!curve)
        *why = QStringLiteral("The archive %1 cannot be read: %2.").arg(ui::nativePath(path), db.error());
    return curve;
}

int reportPowerCurve(const QString &folder, std::FILE *out, std::FILE *err)
{
    const core::TurbineSettings settings = Archive::turbineSettings(folder);
    QString why;
    const auto curve = readCurve(folder, settings, &why);
    if (!curve)
        return reportProblem(err, why, 1);
    return writeReport(core::curveReportText(*curve, settings), out, err);
}

int reportCurveFile(const QString &folder, const QString &file, std::FILE *out, std::FILE *err)
{
    QString reason;
    const auto bytes = ui::readWhole(file, &reason);
    if (!bytes)
        return reportProblem(err, QStringLiteral("%1 could not be read (%2).").arg(ui::nativePath(file), reason), 1);
    std::string error;
    const auto points = core::readCurveFile(ui::textOf(*bytes), &error);
    if (!points)
        return reportProblem(err, QStringLiteral("%1 is not a curve file: %2.").arg(ui::nativePath(file), QString::fromStdString(error)),
                   2);
    const double cutOut = Archive::turbineSettings(folder).cutOut;
    return writeReport(core::estimateText(core::annualEnergy(*points, cutOut)), out, err);
}

} // namespace archive
