// SPDX-License-Identifier: GPL-3.0-or-later
#include "BackupWatch.h"

#include "ui/Clock.h"
#include "ui/Files.h"
#include "ui/ProgramFolder.h"

#include <QDir>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace archive {

namespace {
// A failed backup is tried again this long after.
constexpr qint64 kRetrySeconds = 3600;
} // namespace

BackupWatch::BackupWatch(const ui::Services &services, QObject *parent) : QObject(parent), m_services(services)
{
    m_timer = new QTimer(this);
    m_timer->setInterval(60 * 1000);
    connect(m_timer, &QTimer::timeout, this, &BackupWatch::check);
    m_timer->start();
    loadSettings();
}

BackupWatch::~BackupWatch()
{
    // A backup under way ends with the program: its half-made folder is
    // swept up by the next one.
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void BackupWatch::loadSettings()
{
    const auto bytes = ui::readWhole(ui::ProgramFolder(m_services.programFolder).backupSettings());
    m_settings = bytes ? core::readBackupSettings(ui::textOf(*bytes)) : core::BackupSettings();
    const QString dest = QString::fromLocal8Bit(m_settings.folder.c_str());
    // The last whole backup there, when the destination is attached.
    const QStringList made = dest.isEmpty() ? QStringList() : backupsIn(dest);
    if (!made.isEmpty()) {
        const auto s = core::readBackupName(made.last().toStdString());
        const QDateTime at(QDate(s->date.year, s->date.month, s->date.day), QTime(s->hour, s->minute, s->second));
        if (!m_lastGood || *m_lastGood < at) {
            m_lastGood = at;
            m_lastFolder = QDir(dest).filePath(made.last());
        }
    }
    emit changed();
}

void BackupWatch::check()
{
    if (m_thread || !m_settings.on || core::backupSettingsProblem(m_settings))
        return;
    const QDateTime now = m_services.clock->now();
    const int minute = core::backupMinuteOfDay(m_settings);
    if (now.time().hour() * 60 + now.time().minute() < minute)
        return;
    if (m_lastGood && m_lastGood->date() >= now.date() && m_lastGood->time().hour() * 60 + m_lastGood->time().minute() >= minute)
        return; // today's is made
    if (m_lastTry && m_lastTry->secsTo(now) < kRetrySeconds && m_lastTry->secsTo(now) >= 0)
        return;
    start();
}

void BackupWatch::backupNow()
{
    if (!m_thread)
        start();
}

void BackupWatch::start()
{
    m_lastTry = m_services.clock->now();
    const QString folder = m_services.programFolder, dest = QString::fromLocal8Bit(m_settings.folder.c_str());
    const QDateTime now = *m_lastTry;
    const int days = core::backupDays(m_settings), weeks = core::backupWeeks(m_settings);
    QPointer<BackupWatch> self(this);
    m_thread = QThread::create([=] {
        QString why;
        const auto made = makeBackup(folder, dest, now, true, &why);
        if (made)
            dropOldBackups(dest, now.date(), days, weeks);
        QMetaObject::invokeMethod(self, [self, made, why] {
            if (self)
                self->finish(made, why);
        });
    });
    connect(m_thread, &QThread::finished, this, [this] {
        m_thread->deleteLater();
        m_thread = nullptr;
        emit changed();
    });
    m_thread->start();
    emit changed();
}

void BackupWatch::finish(const std::optional<BackupMade> &made, const QString &why)
{
    if (made) {
        m_lastGood = m_lastTry;
        m_lastFolder = made->folder;
        m_problem.clear();
        m_told.clear();
        m_failed = 0;
    } else {
        m_problem = why;
        ++m_failed;
        // Each reason once, not every hour.
        if (m_told != why) {
            m_told = why;
            m_services.messages->notify(this, QStringLiteral("The daily backup failed: %1").arg(why));
        }
    }
    emit failures(m_failed);
}

QString BackupWatch::statusText() const
{
    QString text = m_lastGood ? QStringLiteral("Last backup: %1, into %2.")
                                    .arg(m_lastGood->toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                         QDir::toNativeSeparators(m_lastFolder))
                              : QStringLiteral("No backup made yet.");
    if (m_thread)
        text += QStringLiteral(" A backup is being made.");
    if (!m_problem.isEmpty())
        text += QStringLiteral(" The last one failed: %1").arg(m_problem);
    return text;
}

} // namespace archive
