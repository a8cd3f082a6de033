// SPDX-License-Identifier: GPL-3.0-or-later
#include "ArchivePage.h"

#include "ArchiveDb.h"
#include "core/Archive.h"
#include "core/Number.h"
#include "ui/Controls.h"
#include "ui/Files.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "ui/Twips.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <cmath>

namespace archive {

namespace {
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
    const auto bytes = ui::readWhole(ui::ProgramFolder(m_services.programFolder).archiveSettings());
    showFormValues(core::archiveValues(bytes ? core::readArchiveSettings(ui::textOf(*bytes)) : core::ArchiveSettings()),
                   false);
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

std::optional<core::ArchiveSettings> ArchivePage::read()
{
    core::ArchiveSettings s;
    if (const auto problem = core::readArchiveValues(formValues(core::archiveFields(), false), s)) {
        tellProblem(*problem, *m_services.messages, false);
        return std::nullopt;
    }
    return s;
}

bool ArchivePage::check() { return read().has_value(); }

bool ArchivePage::save()
{
    const auto s = read();
    if (!s)
        return false;
    const QString path = ui::ProgramFolder(m_services.programFolder).archiveSettings();
    if (ui::replaceWhole(path, QByteArray::fromStdString(core::archiveSettingsText(*s))))
        return true;
    m_services.messages->inform(this, ui::cannotSave(path));
    return false;
}

} // namespace archive
