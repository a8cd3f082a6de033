#include "Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace ui {

std::optional<QByteArray> readWhole(const QString &path)
{
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return std::nullopt;
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

bool ensureFolder(const QString &path)
{
    QFileInfo info(path);
    if (info.isDir())
        return true;
    if (info.exists())
        return false;
    return QDir().mkpath(path);
}

QString fromLocal(const std::string &bytes)
{
    return QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size()));
}

std::string toLocal(const QString &text)
{
    const QByteArray b = text.toLocal8Bit();
    return std::string(b.constData(), size_t(b.size()));
}

} // namespace ui
