// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Backups of a program folder while a program runs on it, and their restore.
//
// A backup holds the folder's own files (its settings, energy, alarms,
// curves, daily logs and the page template; appended ones up to their last
// whole line) and a copy of the archive taken in one step (VACUUM INTO),
// with a manifest of every file's size and SHA-256. It is made under a
// hidden temporary name in the destination and renamed to
// "veldra-backup-<date>-<time>" only once it is complete and checked, so a
// folder of that name is always whole. Its folder and files are readable by
// their owner alone: it holds the password hashes and tokens of the settings.

#include "core/Backup.h"
#include "core/CommandLine.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace archive {

struct BackupMade {
    QString folder; // the backup's
    int files = 0;  // beside the manifest, the archive among them
    qint64 bytes = 0;
};

// Why a destination cannot take a backup of `folder`, or nothing: it is the
// folder or lies inside it, or (`marked`) it lacks the marker file.
std::optional<QString> backupDestinationProblem(const QString &folder, const QString &dest, bool marked);

// A backup of `folder` into `dest`, stamped with `now` (local). Half-made
// backups a killed run left in `dest` are removed first. nullopt with `why`
// in words on a failure; nothing that looks whole is left then.
std::optional<BackupMade> makeBackup(const QString &folder, const QString &dest, const QDateTime &now, bool marked,
                                     QString *why);

// The backup's manifest when every file it names is there with its size and
// digest and the archive is whole and of a schema this program reads.
std::optional<core::Manifest> checkBackup(const QString &backup, QString *why);

struct Restored {
    QStringList files;     // put back, relative to the folder
    QStringList keptAside; // the files they replaced, as kept
};
// The backup's files into `folder` after checkBackup, each replaced file kept
// aside first. The caller holds the folder's lock.
std::optional<Restored> restoreBackup(const QString &backup, const QString &folder, QString *why);

// The whole backups in `dest`, oldest first.
QStringList backupsIn(const QString &dest);
// Removes the backups the schedule no longer keeps; returns their names.
QStringList dropOldBackups(const QString &dest, const QDate &today, int days, int weeks);
// Writes the marker that lets backups go to `dest` (made when missing).
bool markBackupDestination(const QString &dest, QString *why);

// --backup DEST and --restore BACKUP: what they did on standard output, why
// not on standard error. 0 when done, 1 when not.
int answerBackup(int argc, char **argv, const core::CommandLine &line);

} // namespace archive
