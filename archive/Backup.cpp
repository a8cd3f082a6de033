// SPDX-License-Identifier: GPL-3.0-or-later
#include "Backup.h"

#include "ArchiveDb.h"
#include "ui/FolderStart.h"
#include "ui/Files.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cstdio>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace archive {

namespace {
const QString kManifest = QStringLiteral("manifest.txt");
const QString kPartialSuffix = QStringLiteral(".partial");
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOwnerFolder = kOwnerOnly | QFileDevice::ExeOwner;

// What a backup holds of a folder: its settings and curves (*.cfg and *.csv
// at the top), its logs (the daily logs, energy.csv, alarms.csv) and the page
// template. Not the outbox, the logins, the lock or the pages made from the
// template: they are the running program's, not the owner's.
QStringList ownFiles(const QString &folder)
{
    QStringList files;
    const QDir dir(folder);
    for (const QFileInfo &f : dir.entryInfoList({"*.cfg", "*.csv"}, QDir::Files | QDir::NoSymLinks, QDir::Name))
        files << f.fileName();
    for (const QFileInfo &f : QDir(dir.filePath(QStringLiteral("logs")))
                                  .entryInfoList({"*.txt", "*.csv"}, QDir::Files | QDir::NoSymLinks, QDir::Name))
        files << QStringLiteral("logs/") + f.fileName();
    if (QFileInfo(dir.filePath(QStringLiteral("html/template.asp"))).isFile())
        files << QStringLiteral("html/template.asp");
    return files;
}

// Flushed to the disk, not only to the system's cache. (Windows gives no
// descriptor of a file Qt opened; there it is left to the system, which
// writes a closed file out on its own.)
bool sync(QFile &f)
{
    if (!f.flush())
        return false;
#ifdef Q_OS_WIN
    return true;
#else
    return ::fsync(f.handle()) == 0;
#endif
}

void syncFolder(const QString &path)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(path);
#endif
}

bool writeSynced(const QString &path, const QByteArray &bytes, QString *why)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !sync(f)) {
        *why = QStringLiteral("%1 could not be written: %2").arg(QDir::toNativeSeparators(path), f.errorString());
        return false;
    }
    f.setPermissions(kOwnerOnly);
    return true;
}

std::optional<QByteArray> digestOf(const QString &path)
{
    QFile f(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!f.open(QIODevice::ReadOnly) || !hash.addData(&f))
        return std::nullopt;
    return hash.result().toHex();
}

core::BackupFile entry(const QString &relative, qint64 size, const QByteArray &digest)
{
    return {relative.toStdString(), size, digest.toStdString()};
}

// The archive in one step, checked whole, as `copy`; its schema.
std::optional<int> copyArchive(const QString &from, const QString &copy, QString *why)
{
    ArchiveDb source;
    if (!source.open(from, true) || !source.copyInto(copy)) {
        *why = QStringLiteral("the archive could not be copied: %1").arg(source.error());
        return std::nullopt;
    }
    const int schema = source.schema();
    source.close();
    ArchiveDb made;
    const std::string check = made.open(copy, true) ? made.integrityCheck() : made.error().toStdString();
    if (check != "ok") {
        *why = QStringLiteral("the archive's copy is not whole: %1").arg(QString::fromStdString(check));
        return std::nullopt;
    }
    made.close();
    QFile f(copy);
    if (!f.open(QIODevice::ReadWrite) || !sync(f)) {
        *why = QStringLiteral("the archive's copy could not be written: %1").arg(f.errorString());
        return std::nullopt;
    }
    f.setPermissions(kOwnerOnly);
    return schema;
}

QString words(const QString &path) { return QDir::toNativeSeparators(path); }

bool inside(const QString &path, const QString &folder)
{
    const QString p = QDir::cleanPath(QFileInfo(path).absoluteFilePath()) + QLatin1Char('/');
    const QString f = QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) + QLatin1Char('/');
#ifdef Q_OS_WIN
    return p.startsWith(f, Qt::CaseInsensitive);
#else
    return p.startsWith(f);
#endif
}
} // namespace

std::optional<QString> backupDestinationProblem(const QString &folder, const QString &dest, bool marked)
{
    const QFileInfo d(dest);
    if (dest.trimmed().isEmpty())
        return QStringLiteral("No folder for the backups was chosen.");
    if (!d.isDir())
        return QStringLiteral("The folder %1 is not there (is the stick or the share attached?).").arg(words(dest));
    const QString real = d.canonicalFilePath(), own = QFileInfo(folder).canonicalFilePath();
    if (inside(real, own.isEmpty() ? folder : own))
        return QStringLiteral("The backups cannot go into the program folder %1 or a folder inside it: choose another "
                              "disk.")
            .arg(words(folder));
    if (marked && !QFileInfo(QDir(dest).filePath(QString::fromLatin1(core::kBackupMarker))).isFile())
        return QStringLiteral("The folder %1 lacks %2, the mark of the folder chosen for the backups: an unmounted "
                              "share leaves an empty folder behind. Choose the folder again.")
            .arg(words(dest), QString::fromLatin1(core::kBackupMarker));
    return std::nullopt;
}

std::optional<BackupMade> makeBackup(const QString &folder, const QString &dest, const QDateTime &now, bool marked,
                                     QString *why)
{
    if (const auto problem = backupDestinationProblem(folder, dest, marked)) {
        *why = *problem;
        return std::nullopt;
    }
    QDir to(dest);
    // What a killed backup left behind.
    for (const QString &half : to.entryList({QStringLiteral(".veldra-backup-*") + kPartialSuffix},
                                            QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
        QDir(to.filePath(half)).removeRecursively();
    const QDate day = now.date();
    const QTime time = now.time();
    const QString name = QString::fromStdString(
        core::backupName({{day.year(), day.month(), day.day()}, time.hour(), time.minute(), time.second()}));
    const QString done = to.filePath(name), work = to.filePath(QLatin1Char('.') + name + kPartialSuffix);
    if (QFileInfo::exists(done)) {
        *why = QStringLiteral("%1 is there already.").arg(words(done));
        return std::nullopt;
    }
    const auto fail = [&](const QString &words) -> std::optional<BackupMade> {
        QDir(work).removeRecursively();
        *why = words;
        return std::nullopt;
    };
    if (!to.mkdir(QLatin1Char('.') + name + kPartialSuffix))
        return fail(QStringLiteral("No folder could be made in %1 (is it writable, is there room?).").arg(words(dest)));
    QFile::setPermissions(work, kOwnerFolder);

    core::Manifest manifest;
    manifest.made = now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toStdString();
    BackupMade made;
    const QDir from(folder), into(work);
    for (const QString &relative : ownFiles(folder)) {
        QString reason;
        const auto bytes = ui::readWhole(from.filePath(relative), &reason);
        if (!bytes) // gone meanwhile, or not readable: a backup without it is still a backup of the rest
            continue;
        QByteArray kept = *bytes;
        // A line being appended is left for the next backup.
        if (relative.startsWith(QStringLiteral("logs/")) && !kept.isEmpty() && !kept.endsWith('\n'))
            kept.truncate(kept.lastIndexOf('\n') + 1);
        if (relative.contains(QLatin1Char('/'))) {
            if (!into.mkpath(QFileInfo(relative).path()))
                return fail(QStringLiteral("No folder could be made in %1.").arg(words(work)));
            QFile::setPermissions(into.filePath(QFileInfo(relative).path()), kOwnerFolder);
        }
        if (!writeSynced(into.filePath(relative), kept, &reason))
            return fail(reason);
        manifest.files.push_back(entry(relative, kept.size(), QCryptographicHash::hash(kept, QCryptographicHash::Sha256).toHex()));
        made.bytes += kept.size();
    }
    const QString archive = from.filePath(ArchiveDb::fileName());
    if (QFileInfo::exists(archive)) {
        QString reason;
        const auto schema = copyArchive(archive, into.filePath(ArchiveDb::fileName()), &reason);
        const auto digest = schema ? digestOf(into.filePath(ArchiveDb::fileName())) : std::nullopt;
        if (!schema || !digest)
            return fail(schema ? QStringLiteral("the archive's copy could not be read back") : reason);
        manifest.schema = *schema;
        const qint64 size = QFileInfo(into.filePath(ArchiveDb::fileName())).size();
        manifest.files.push_back(entry(ArchiveDb::fileName(), size, *digest));
        made.bytes += size;
    }
    QString reason;
    if (!writeSynced(into.filePath(kManifest), QByteArray::fromStdString(core::manifestText(manifest)), &reason))
        return fail(reason);
    syncFolder(work);
    if (!to.rename(QLatin1Char('.') + name + kPartialSuffix, name))
        return fail(QStringLiteral("The backup could not be renamed to %1.").arg(words(done)));
    syncFolder(dest);
    made.folder = done;
    made.files = int(manifest.files.size());
    return made;
}

std::optional<core::Manifest> checkBackup(const QString &backup, QString *why)
{
    const QDir dir(backup);
    QString reason;
    const auto text = ui::readWhole(dir.filePath(kManifest), &reason);
    if (!text) {
        *why = QStringLiteral("%1 is not a whole backup: its manifest cannot be read (%2).").arg(words(backup), reason);
        return std::nullopt;
    }
    std::string wrong;
    const auto manifest = core::readManifest(ui::textOf(*text), &wrong);
    if (!manifest) {
        *why = QStringLiteral("%1 is not a whole backup: %2.").arg(words(backup), QString::fromStdString(wrong));
        return std::nullopt;
    }
    if (manifest->schema > ArchiveDb::kSchemaVersion) {
        *why = QStringLiteral("%1 was made by a newer program (archive schema %2; this one reads up to %3): restore "
                              "it with that program.")
                   .arg(words(backup))
                   .arg(manifest->schema)
                   .arg(ArchiveDb::kSchemaVersion);
        return std::nullopt;
    }
    for (const core::BackupFile &f : manifest->files) {
        const QString path = dir.filePath(QString::fromStdString(f.path));
        const auto digest = QFileInfo(path).size() == f.size ? digestOf(path) : std::nullopt;
        if (!digest || digest->toStdString() != f.sha256) {
            *why = QStringLiteral("%1 is damaged: %2 is %3.")
                       .arg(words(backup), QString::fromStdString(f.path),
                            QFileInfo::exists(path) ? QStringLiteral("not as it was made") : QStringLiteral("missing"));
            return std::nullopt;
        }
        if (f.path == ArchiveDb::fileName().toStdString()) {
            ArchiveDb db;
            const std::string check = db.open(path, true) ? db.integrityCheck() : db.error().toStdString();
            if (check != "ok") {
                *why = QStringLiteral("%1 is damaged: its archive is not whole (%2).").arg(words(backup), QString::fromStdString(check));
                return std::nullopt;
            }
        }
    }
    return manifest;
}

std::optional<Restored> restoreBackup(const QString &backup, const QString &folder, QString *why)
{
    const auto manifest = checkBackup(backup, why);
    if (!manifest)
        return std::nullopt;
    Restored r;
    const QDir from(backup);
    QDir to(folder);
    for (const core::BackupFile &f : manifest->files) {
        const QString relative = QString::fromStdString(f.path), target = to.filePath(relative);
        if (!to.mkpath(QFileInfo(relative).path())) {
            *why = QStringLiteral("No folder could be made for %1.").arg(words(target));
            return std::nullopt;
        }
        const bool archive = relative == ArchiveDb::fileName();
        // A journal of the archive replaced would be read into the one restored: it goes aside with it.
        for (const QString &path : archive ? QStringList{target, target + "-wal", target + "-shm"} : QStringList{target})
            if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
                if (path == target && !archive && QFileInfo(path).size() == f.size
                    && digestOf(path).value_or(QByteArray()).toStdString() == f.sha256)
                    continue; // as it was
                const QString kept = ui::keepAside(path, QStringLiteral(".before-restore"));
                if (kept.isEmpty()) {
                    *why = QStringLiteral("%1 could not be kept aside, so nothing more was restored.").arg(words(path));
                    return std::nullopt;
                }
                r.keptAside << QDir(folder).relativeFilePath(kept);
            }
        const QString part = target + QStringLiteral(".restoring");
        QFile::remove(part);
        QFile copy(part);
        if (!QFile::copy(from.filePath(relative), part) || !copy.open(QIODevice::ReadWrite) || !sync(copy)) {
            QFile::remove(part);
            *why = QStringLiteral("%1 could not be written.").arg(words(target));
            return std::nullopt;
        }
        copy.close();
        QFile::remove(target);
        if (!QFile::rename(part, target)) {
            *why = QStringLiteral("%1 could not be put in place.").arg(words(target));
            return std::nullopt;
        }
        r.files << relative;
    }
    syncFolder(folder);
    return r;
}

QStringList backupsIn(const QString &dest)
{
    QStringList whole;
    for (const QString &name : QDir(dest).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        if (core::readBackupName(name.toStdString()))
            whole << name;
    return whole;
}

QStringList dropOldBackups(const QString &dest, const QDate &today, int days, int weeks)
{
    const QStringList names = backupsIn(dest);
    std::vector<core::BackupStamp> stamps;
    for (const QString &n : names)
        stamps.push_back(*core::readBackupName(n.toStdString()));
    QStringList dropped;
    for (const size_t i : core::backupsToDrop(stamps, {today.year(), today.month(), today.day()}, days, weeks))
        if (QDir(QDir(dest).filePath(names[int(i)])).removeRecursively())
            dropped << names[int(i)];
    return dropped;
}

bool markBackupDestination(const QString &dest, QString *why)
{
    if (!QDir().mkpath(dest)) {
        *why = QStringLiteral("The folder %1 could not be made.").arg(words(dest));
        return false;
    }
    const QString marker = QDir(dest).filePath(QString::fromLatin1(core::kBackupMarker));
    if (QFileInfo::exists(marker))
        return true;
    return writeSynced(marker,
                       "Veldra keeps its daily backups in this folder; they go only where this file is.\n", why);
}

int answerBackup(int argc, char **argv, const core::CommandLine &line)
{
    QCoreApplication app(argc, argv);
    const std::string program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
    const ui::FolderPlace place = ui::findProgramFolder(line.folder);
    const QString given = QString::fromLocal8Bit(line.backupPath.c_str());
    QString why;
    if (line.action == core::CommandLine::Action::Backup) {
        const auto made = makeBackup(place.path, given, QDateTime::currentDateTime(), false, &why);
        if (!made) {
            std::fprintf(stderr, "%s: No backup was made: %s\n", program.c_str(), why.toLocal8Bit().constData());
            return 1;
        }
        std::printf("%d files (%.1f MB) of %s backed up into %s.\n", made->files, double(made->bytes) / 1e6,
                    words(place.path).toLocal8Bit().constData(), words(made->folder).toLocal8Bit().constData());
        return 0;
    }
    // Nothing may run on the folder while its files are replaced.
    ui::FolderLock lock(place);
    qint64 holder = 0;
    QString holderName;
    if (!lock.acquire(&holder, &holderName)) {
        std::fprintf(stderr, "%s: Nothing was restored: %s\n", program.c_str(),
                     ui::folderInUseText(place.path, holder, holderName).toLocal8Bit().constData());
        return 1;
    }
    const auto restored = restoreBackup(given, place.path, &why);
    if (!restored) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), why.toLocal8Bit().constData());
        return 1;
    }
    std::printf("Restored into %s from %s:\n", words(place.path).toLocal8Bit().constData(),
                words(given).toLocal8Bit().constData());
    for (const QString &f : restored->files)
        std::printf("  %s\n", f.toLocal8Bit().constData());
    if (!restored->keptAside.isEmpty()) {
        std::printf("The files they replaced were kept as:\n");
        for (const QString &f : restored->keptAside)
            std::printf("  %s\n", f.toLocal8Bit().constData());
    }
    std::printf("The message outbox, the web logins and what was sent out are the folder's own and stay as they were.\n");
    return 0;
}

} // namespace archive
