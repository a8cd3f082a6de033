// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderStart.h"

#include "Files.h"
#include "Services.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>

namespace ui {

FolderPlace findProgramFolder(const QString &given, const QString &ownFolder)
{
    const QString own = QDir::cleanPath(QDir(ownFolder).absolutePath());
    const QString share = QDir::cleanPath(own + QStringLiteral("/../share/veldra"));
    // One folder for both editions, since they watch the same unit: the
    // generic location, not the per-application one.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const core::FolderChoice choice = core::chooseProgramFolder(
        given.isEmpty() ? std::string() : QDir(given).absolutePath().toStdString(), own.toStdString(),
        QFileInfo(share).isDir(),
        data.isEmpty() ? std::string() : (data + QStringLiteral("/veldra")).toStdString());
    const QString path = QDir::cleanPath(QString::fromStdString(choice.path));
    return {choice.kind, path, choice.kind == core::FolderKind::UserData ? share : QString()};
}

bool fillProgramFolder(const QString &folder, const QString &defaults, QString *reason)
{
    for (const char *sub : {"", "logs", "html", "Excel"}) {
        const QString path = QDir(folder).filePath(QString::fromLatin1(sub));
        if (!ensureFolder(path)) {
            *reason = QStringLiteral("the folder %1 could not be made").arg(QDir::toNativeSeparators(path));
            return false;
        }
    }
    QDirIterator it(defaults, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = QDir(folder).filePath(QDir(defaults).relativeFilePath(source));
        const QFileInfo info(target);
        if (info.exists() || info.isSymLink())
            continue;
        QString why;
        const auto bytes = readWhole(source, &why);
        if (!bytes) {
            *reason = QStringLiteral("%1 could not be read (%2)").arg(QDir::toNativeSeparators(source), why);
            return false;
        }
        if (!ensureFolder(info.path()) || !replaceWhole(target, *bytes)) {
            *reason = QStringLiteral("%1 could not be written").arg(QDir::toNativeSeparators(target));
            return false;
        }
    }
    return true;
}

FolderLock::FolderLock(const QString &lockFile) : m_lock(lockFile)
{
    // The lock is held for the program's whole run, so its age says nothing:
    // only a holder that is gone makes it stale.
    m_lock.setStaleLockTime(0);
}

bool FolderLock::acquire(qint64 *holder, QString *application)
{
    // The holder may end between the two looks; then try again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (m_lock.tryLock(0))
            return true;
        if (m_lock.error() != QLockFile::LockFailedError)
            return true;
        qint64 pid = 0;
        QString host;
        QString name;
        if (m_lock.getLockInfo(&pid, &host, &name)) {
            *holder = pid;
            if (application)
                *application = name;
            return false;
        }
    }
    *holder = 0;
    return false;
}

QString folderInUseText(const QString &folder, qint64 holder, const QString &application)
{
    if (!application.isEmpty())
        return QStringLiteral(
                   "Another Veldra program, %1 (process %2), is already running on the folder %3. Only one program can use a folder at a time, so this one ends.")
            .arg(application)
            .arg(holder)
            .arg(QDir::toNativeSeparators(folder));
    return QStringLiteral(
               "Another Veldra program (process %1) is already running on the folder %2. Only one program can use a folder at a time, so this one ends.")
        .arg(holder)
        .arg(QDir::toNativeSeparators(folder));
}

void makeFolderReady(const FolderPlace &place, MessageService &messages)
{
    QString reason;
    if (!place.defaults.isEmpty() && !fillProgramFolder(place.path, place.defaults, &reason))
        messages.inform(nullptr, QStringLiteral("The data folder %1 could not be made ready: %2.")
                                     .arg(QDir::toNativeSeparators(place.path), reason));
}

} // namespace ui
