// SPDX-License-Identifier: GPL-3.0-or-later
#include "ArchivePage.h"

#include "ArchiveDb.h"
#include "core/Archive.h"
#include "core/Number.h"
#include "ui/Controls.h"
#include "ui/Files.h"
#include "ui/Notices.h"
#include "ui/Twips.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <cmath>

namespace archive {

namespace {
QString cfgPath(const ui::Services &s) { return s.programFolder + QStringLiteral("/archive.cfg"); }
QString dbPath(const ui::Services &s) { return s.programFolder + QLatin1Char('/') + ArchiveDb::fileName(); }
} // namespace

ArchivePage::ArchivePage(const ui::Services &services, QWidget *parent)
    : ui::OptionsPage(parent), m_services(services)
{
    setObjectName(QStringLiteral("ArchivePage"));
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());
    ui::greenLabel(this, QStringLiteral("LabelMinuteDays"), QStringLiteral("Keep each minute for (days)"))
        ->setGeometry(8, 8, 180, 20);
    MinuteDays = ui::greenEntry(this, QStringLiteral("MinuteDays"));
    MinuteDays->setGeometry(192, 8, 60, 20);
    ui::greenLabel(this, QStringLiteral("LabelForEver"), QStringLiteral("0 keeps them for ever"))
        ->setGeometry(260, 8, 150, 20);
    auto *hours = ui::greenLabel(this, QStringLiteral("LabelSummaries"),
                                 QStringLiteral("Hour and day summaries are kept for ever."));
    hours->setGeometry(8, 36, 400, 20);
    Where = ui::greenLabel(this, QStringLiteral("Where"), QString());
    Where->setGeometry(8, 64, 404, 100);
    Where->setWordWrap(true);
    Where->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Form_Load();
}

void ArchivePage::Form_Load()
{
    const auto bytes = ui::readWhole(cfgPath(m_services));
    const core::ArchiveSettings s = bytes ? core::readArchiveSettings(ui::textOf(*bytes)) : core::ArchiveSettings();
    MinuteDays->setText(QString::number(s.minuteDays));
    const QFileInfo db(dbPath(m_services));
    const double used = double(db.size() + QFileInfo(db.filePath() + QStringLiteral("-wal")).size());
    const QString size = used < 1e6 ? QStringLiteral("%1 kB").arg(std::ceil(used / 1e3))
                                     : QStringLiteral("%1 MB").arg(QString::fromStdString(
                                         core::numberText(core::roundHalfEven(used / 1e6, 1))));
    const QString where = QDir::toNativeSeparators(db.filePath());
    Where->setText((db.exists() ? QStringLiteral("The archive is %1 (%2).").arg(where, size)
                                : QStringLiteral("The archive will be %1.").arg(where))
                   + QStringLiteral("\n\nTo print it as CSV from a terminal: %1 --export FROM TO "
                                    "[--step minute|hour|day]")
                         .arg(QCoreApplication::applicationName().isEmpty() ? QStringLiteral("crestdial")
                                                                            : QCoreApplication::applicationName()));
}

bool ArchivePage::check()
{
    const auto days = core::readNumber(MinuteDays->text().toStdString());
    if (days && *days >= 0 && *days <= 100000 && *days == std::floor(*days))
        return true;
    m_services.messages->inform(this, QStringLiteral("Keep each minute for: a whole number of days from 0 (for "
                                                     "ever) to 100000."));
    MinuteDays->setFocus();
    return false;
}

bool ArchivePage::save()
{
    if (!check())
        return false;
    core::ArchiveSettings s;
    s.minuteDays = int(*core::readNumber(MinuteDays->text().toStdString()));
    if (ui::replaceWhole(cfgPath(m_services), QByteArray::fromStdString(core::archiveSettingsText(s))))
        return true;
    m_services.messages->inform(this, ui::cannotSave(cfgPath(m_services)));
    return false;
}

} // namespace archive
