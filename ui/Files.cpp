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
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

bool append(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const bool ok = f.write(bytes) == bytes.size();
    f.close();
    return ok && f.error() == QFileDevice::NoError;
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
