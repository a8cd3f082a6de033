// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The daily backup as "backup.cfg" sets it: once a day from its time on, a
// backup of the program folder into the chosen folder (only where its marker
// is), made on a thread of its own, then the backups the schedule no longer
// keeps removed. A failed one is tried again an hour later; it is told once
// (each new reason once) and counted for the backup-failed alarm.

#include "Backup.h"
#include "ui/Services.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

class QThread;
class QTimer;

namespace archive {

class BackupWatch : public QObject {
    Q_OBJECT
public:
    explicit BackupWatch(const ui::Services &services, QObject *parent = nullptr);
    ~BackupWatch() override;

    // backup.cfg read again (after a save); the destination's backups looked at.
    void loadSettings();
    const core::BackupSettings &settings() const { return m_settings; }
    // Whether the daily backup is due now, and makes it then.
    void check();
    // A backup now, whatever the time (the Options page's button).
    void backupNow();
    bool running() const { return m_thread != nullptr; }

    // The last whole backup in the destination (or made by this run).
    std::optional<QDateTime> lastGood() const { return m_lastGood; }
    QString lastFolder() const { return m_lastFolder; }
    // Why the last backup failed; empty after a good one.
    QString problem() const { return m_problem; }
    int failedInARow() const { return m_failed; }
    // "Last backup: 2026-12-10 03:00, into /media/stick." and the problem, if any.
    QString statusText() const;

signals:
    // A backup began or ended, or the settings changed.
    void changed();
    // Daily backups that failed in a row (0 after a good one).
    void failures(int inARow);

private:
    void start();
    void finish(const std::optional<BackupMade> &made, const QString &why);

    ui::Services m_services;
    core::BackupSettings m_settings;
    std::optional<QDateTime> m_lastGood, m_lastTry;
    QString m_lastFolder, m_problem, m_told;
    int m_failed = 0;
    QTimer *m_timer = nullptr;
    QThread *m_thread = nullptr;
};

} // namespace archive
