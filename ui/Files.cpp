// SPDX-License-Identifier: GPL-3.0-or-later
#include "Files.h"
#include "Notices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace ui {

std::optional<QByteArray> readWhole(const QString &path, QString *reason)
{
    auto fail = [reason](const QString &why) -> std::optional<QByteArray> {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    const QFileInfo info(path);
    if (!info.exists())
        return fail(QStringLiteral("it does not exist"));
    if (info.isDir())
        return fail(QStringLiteral("it is a folder"));
    if (!info.isFile())
        return fail(QStringLiteral("it is not a regular file"));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fail(f.errorString());
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return fail(f.errorString());
    return bytes;
}

bool replaceWhole(const QString &path, const QByteArray &bytes)
{
    // Unbuffered, so a short write (disk full, size limit) shows here and the
    // old file stays, instead of a cut-short file being committed at flush.
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

QString nativePath(const QString &path) { return QDir::toNativeSeparators(path); }

bool writeOwnerOnly(const QString &path, const QByteArray &bytes)
{
    // The replacement takes the permissions of the file it replaces, so the
    // file is made owner-only (empty) before anything is written into it.
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!exists(path)) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.close();
    }
    if (!QFile::setPermissions(path, ownerOnly))
        return false;
    return replaceWhole(path, bytes) && QFile::setPermissions(path, ownerOnly);
}

bool append(const QString &path, const QByteArray &bytes)
{
    // A short write is taken back, so the file never ends in half a line that
    // the next append would run into.
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    const qint64 before = f.size();
    const bool ok = f.write(bytes) == bytes.size() && f.error() == QFileDevice::NoError;
    if (!ok)
        f.resize(before);
    f.close();
    return ok;
}

bool exists(const QString &path) { return QFileInfo::exists(path); }

bool hasContent(const QString &path) { return QFileInfo(path).size() > 0; }

bool ensureFolder(const QString &path)
{
    QFileInfo info(path);
    if (info.isDir())
        return true;
    if (info.exists())
        return false;
    return QDir().mkpath(path);
}

QString fromLocal(std::string_view bytes) { return QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size())); }

std::string toLocal(const QString &text) { return textOf(text.toLocal8Bit()); }

QString cannotSave(const QString &path)
{
    return QStringLiteral("Could not save %1. Check that the folder can be written to, then press Save again.")
        .arg(QDir::toNativeSeparators(path));
}

QString savedAtText(const QTime &when)
{
    return QStringLiteral("Saved at %1.").arg(when.toString(QStringLiteral("HH:mm:ss")));
}

QString cannotWrite(const QString &path)
{
    return QStringLiteral("Could not write %1").arg(QDir::toNativeSeparators(path));
}

namespace {
const char *const kCompanions[] = {"-wal", "-shm"};
bool taken(const QString &name) { return QFileInfo::exists(name) || QFileInfo(name).isSymLink(); }
} // namespace

QString freeName(const QString &base, const QString &suffix)
{
    const auto free = [](const QString &name) {
        if (taken(name))
            return false;
        for (const char *c : kCompanions)
            if (taken(name + QLatin1String(c)))
                return false;
        return true;
    };
    QString name = base + suffix;
    for (int n = 2; !free(name); ++n)
        name = base + QStringLiteral("-%1").arg(n) + suffix;
    return name;
}

QString keepAside(const QString &path, const QString &suffix)
{
    const QString aside = freeName(path, suffix);
    // QFile::rename never replaces an existing file.
    if (!QFile::rename(path, aside))
        return QString();
    for (const char *c : kCompanions)
        if (taken(path + QLatin1String(c)))
            QFile::rename(path + QLatin1String(c), aside + QLatin1String(c));
    return aside;
}

} // namespace ui
