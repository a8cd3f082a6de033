// SPDX-License-Identifier: GPL-3.0-or-later
#include "BackupPage.h"

#include "Backup.h"
#include "BackupWatch.h"
#include "ui/Controls.h"
#include "ui/Files.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace archive {

BackupPage::BackupPage(const ui::Services &services, BackupWatch *watch, QWidget *parent)
    : ui::OptionsPage(parent), m_services(services), m_watch(watch)
{
    setObjectName(QStringLiteral("BackupPage"));
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());
    BackupOn = ui::greenTickBox(this, QStringLiteral("BackupOn"), QStringLiteral("Back up the program folder every day"),
                                QRect(8, 8, 300, 20));
    ui::greenLabel(this, QStringLiteral("LabelFolder"), QStringLiteral("Into the folder"))->setGeometry(8, 36, 100, 20);
    Folder = ui::greenEntry(this, QStringLiteral("Folder"));
    Folder->setGeometry(112, 36, 230, 20);
    Folder->setToolTip(QStringLiteral("A USB stick or a mounted share: not the program folder's disk"));
    Choose = ui::greenButton(this, QStringLiteral("Choose"), QStringLiteral("Choose..."));
    Choose->setGeometry(346, 34, 66, 24);
    const auto row = [this](const QString &name, const QString &label, const QString &unit, int y) {
        ui::greenLabel(this, QStringLiteral("Label") + name, label)->setGeometry(8, y, 100, 20);
        QLineEdit *e = ui::greenEntry(this, name);
        e->setGeometry(112, y, 60, 20);
        ui::greenLabel(this, name + QStringLiteral("Unit"), unit)->setGeometry(180, y, 232, 20);
        return e;
    };
    Time = row(QStringLiteral("Time"), QStringLiteral("At"), QStringLiteral("hh:mm, each day"), 64);
    Days = row(QStringLiteral("Days"), QStringLiteral("Keep"), QStringLiteral("days: the newest backup of each"), 92);
    Weeks = row(QStringLiteral("Weeks"), QStringLiteral("And"), QStringLiteral("weeks: the newest of each week"), 120);
    BackupNow = ui::greenButton(this, QStringLiteral("BackupNow"), QStringLiteral("Back up now"));
    BackupNow->setGeometry(8, 150, 110, 24);
    Status = ui::greenLabel(this, QStringLiteral("Status"), QString());
    Status->setGeometry(8, 180, 404, 90);
    Status->setWordWrap(true);
    Status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    connect(Choose, &QPushButton::clicked, this, [this] {
        const QString dir = QFileDialog::getExistingDirectory(this, QStringLiteral("The folder for the backups"), Folder->text());
        if (!dir.isEmpty())
            Folder->setText(QDir::toNativeSeparators(dir));
    });
    // The folder as saved: save first, so the backup goes where the page says.
    connect(BackupNow, &QPushButton::clicked, this, [this] {
        if (m_watch && save()) {
            m_watch->loadSettings();
            m_watch->backupNow();
        }
    });
    if (m_watch)
        connect(m_watch, &BackupWatch::changed, this, &BackupPage::showStatus);
    Form_Load();
}

void BackupPage::Form_Load()
{
    const auto bytes = ui::readWhole(ui::ProgramFolder(m_services.programFolder).backupSettings());
    const core::BackupSettings s = bytes ? core::readBackupSettings(ui::textOf(*bytes)) : core::BackupSettings();
    BackupOn->setChecked(s.on);
    Folder->setText(QString::fromLocal8Bit(s.folder.c_str()));
    Time->setText(QString::fromLocal8Bit(s.time.c_str()));
    Days->setText(QString::fromLocal8Bit(s.days.c_str()));
    Weeks->setText(QString::fromLocal8Bit(s.weeks.c_str()));
    showStatus();
}

void BackupPage::showStatus()
{
    QString text = m_watch ? m_watch->statusText() : QString();
    const QString program = QCoreApplication::applicationName().isEmpty() ? QStringLiteral("crestdial")
                                                                           : QCoreApplication::applicationName();
    text += QStringLiteral("\n\nA backup holds the settings with their passwords: its folder is readable by you "
                           "alone. To restore one, close the program and run: %1 --restore BACKUP")
                .arg(program);
    Status->setText(text);
    BackupNow->setEnabled(m_watch && !m_watch->running());
}

std::optional<core::BackupSettings> BackupPage::read()
{
    core::BackupSettings s;
    s.on = BackupOn->isChecked();
    s.folder = Folder->text().trimmed().toLocal8Bit().toStdString();
    s.time = Time->text().trimmed().toLocal8Bit().toStdString();
    s.days = Days->text().trimmed().toLocal8Bit().toStdString();
    s.weeks = Weeks->text().trimmed().toLocal8Bit().toStdString();
    QString problem = QString::fromStdString(core::backupSettingsProblem(s).value_or(""));
    // Only a chosen folder is checked: an unset one keeps the backup off.
    if (problem.isEmpty() && !s.folder.empty())
        problem = backupDestinationProblem(m_services.programFolder, QString::fromLocal8Bit(s.folder.c_str()), false)
                      .value_or(QString());
    if (!problem.isEmpty()) {
        m_services.messages->inform(this, problem + QStringLiteral(" Nothing was saved."));
        return std::nullopt;
    }
    return s;
}

bool BackupPage::check() { return read().has_value(); }

bool BackupPage::save()
{
    const auto s = read();
    if (!s)
        return false;
    QString why;
    // The folder chosen gets its mark: backups go only where it is.
    if (!s->folder.empty() && !markBackupDestination(QString::fromLocal8Bit(s->folder.c_str()), &why)) {
        m_services.messages->inform(this, why + QStringLiteral(" Nothing was saved."));
        return false;
    }
    const QString path = ui::ProgramFolder(m_services.programFolder).backupSettings();
    if (ui::replaceWhole(path, QByteArray::fromStdString(core::backupSettingsText(*s))))
        return true;
    m_services.messages->inform(this, ui::cannotSave(path));
    return false;
}

} // namespace archive
