// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderStart.h"

#include "BuiltInFiles.h"
#include "Files.h"
#include "ProgramFolder.h"
#include "QtSerialPortControl.h"
#include "Services.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStandardPaths>

#include <csignal>
#include <optional>

namespace ui {

core::CommandLine readProgramCommandLine(int argc, char **argv)
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    core::CommandLine line
        = core::parseCommandLine(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    using A = core::CommandLine::Action;
    if ((line.action == A::Run || line.action == A::Export || line.action == A::Report) && !line.folder.empty()
        && !QFileInfo(QString::fromLocal8Bit(line.folder.c_str())).isDir()) {
        line.action = A::Wrong;
        line.problem = "there is no folder '" + line.folder + "'";
    }
    return line;
}

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

FolderPlace findProgramFolder(const std::string &given)
{
    return findProgramFolder(QString::fromLocal8Bit(given.c_str()), QCoreApplication::applicationDirPath());
}

bool fillProgramFolder(const QString &folder, const QString &defaults, QString *reason, QStringList *added)
{
    QStringList files, folders;
    for (const char *sub : {"", "logs", "html", "Excel"}) {
        const QString path = QDir(folder).filePath(QString::fromLatin1(sub));
        const bool there = QFileInfo(path).isDir();
        if (!ensureFolder(path)) {
            *reason = QStringLiteral("the folder %1 could not be made").arg(QDir::toNativeSeparators(path));
            return false;
        }
        if (!there && *sub)
            folders << QString::fromLatin1(sub) + QLatin1Char('/');
    }
    // The delivered files by their relative names: installed, or carried.
    QStringList names;
    if (defaults.isEmpty()) {
        for (int i = 0; i < kDeliveredFilesCount; ++i)
            names << QString::fromUtf8(kDeliveredFiles[i].name);
    } else {
        QDirIterator it(defaults, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            names << QDir(defaults).relativeFilePath(it.next());
    }
    for (int i = 0; i < names.size(); ++i) {
        const QString target = QDir(folder).filePath(names[i]);
        const QFileInfo info(target);
        if (info.exists() || info.isSymLink())
            continue;
        std::optional<QByteArray> bytes;
        if (defaults.isEmpty()) {
            bytes = QByteArray(kDeliveredFiles[i].bytes.data(), qsizetype(kDeliveredFiles[i].bytes.size()));
        } else {
            const QString source = QDir(defaults).filePath(names[i]);
            QString why;
            bytes = readWhole(source, &why);
            if (!bytes) {
                *reason = QStringLiteral("%1 could not be read (%2)").arg(nativePath(source), why);
                return false;
            }
        }
        if (!ensureFolder(info.path()) || !replaceWhole(target, *bytes)) {
            *reason = QStringLiteral("%1 could not be written").arg(QDir::toNativeSeparators(target));
            return false;
        }
        files << names[i];
    }
    if (added)
        *added = files + folders;
    return true;
}

namespace {
// The folder's lock file, once the folder is there to hold it.
QString lockFileMade(const QString &folder)
{
    ensureFolder(folder);
    return ProgramFolder(folder).lockFile();
}
} // namespace

FolderLock::FolderLock(const FolderPlace &place) : FolderLock(lockFileMade(place.path)) { }

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

Services folderServices(const QString &folder, Clock &clock, MessageService &messages, ModalRunner &modal,
                        FileChooser &files)
{
    Services services;
    services.programFolder = folder;
    services.clock = &clock;
    services.files = &files;
    services.messages = &messages;
    services.modal = &modal;
    services.makePort = [folder]() { return std::unique_ptr<SerialPort>(new QtSerialPortControl(folder)); };
    return services;
}

QString folderMadeReadyText(const QString &folder, const QStringList &added)
{
    QStringList files, folders;
    QStringList sorted = added;
    // Those at the top of the folder first.
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const QString &a, const QString &b) { return !a.contains('/') && b.contains('/'); });
    for (const QString &a : sorted)
        (a.endsWith(QLatin1Char('/')) ? folders : files) << QDir::toNativeSeparators(a.endsWith(QLatin1Char('/')) ? a.chopped(1) : a);
    const auto listed = [](const QStringList &names) {
        if (names.size() < 2)
            return names.value(0);
        return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + names.last();
    };
    QString what;
    if (!files.isEmpty())
        what = listed(files) + QStringLiteral(" put in");
    if (!folders.isEmpty())
        what += (what.isEmpty() ? QString() : QStringLiteral(", and ")) + QStringLiteral("the folder%1 %2 made")
                                                                             .arg(folders.size() > 1 ? "s" : "", listed(folders));
    return QStringLiteral("The folder %1 was new, so it has been made ready with the delivered settings: %2.")
        .arg(QDir::toNativeSeparators(folder), what);
}

void makeFolderReady(const FolderPlace &place, MessageService &messages)
{
    const QDir dir(place.path);
    const bool isNew = !QFileInfo::exists(dir.filePath(QStringLiteral("prog.cfg")))
                       && !QFileInfo::exists(dir.filePath(QStringLiteral("settings.cfg")));
    if (place.defaults.isEmpty() && !isNew)
        return;
    QString reason;
    QStringList added;
    if (!fillProgramFolder(place.path, place.defaults, &reason, &added))
        messages.inform(nullptr, QStringLiteral("The folder %1 could not be made ready: %2.")
                                     .arg(QDir::toNativeSeparators(place.path), reason));
    else if (isNew && !added.isEmpty())
        messages.inform(nullptr, folderMadeReadyText(place.path, added));
}

} // namespace ui
