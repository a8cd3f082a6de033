// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The few file operations the system uses. Texts are bytes in the local 8-bit
// encoding; every file is opened, used and closed within one call.

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace ui {

// The whole file, or nullopt when it cannot be read; then `reason` (when
// given) says why, in words for a message. Only regular files are read, so a
// pipe in a file's place never blocks.
std::optional<QByteArray> readWhole(const QString &path, QString *reason = nullptr);
// Replaces the file through a temporary file, so readers never see half of it.
bool replaceWhole(const QString &path, const QByteArray &bytes);
// A path as the system writes it ("\" on Windows), for messages.
QString nativePath(const QString &path);
// The same, readable and writable by its owner only (also when it existed
// with wider permissions).
bool writeOwnerOnly(const QString &path, const QByteArray &bytes);
// Appends and closes; creates the file when missing.
bool append(const QString &path, const QByteArray &bytes);
bool exists(const QString &path);
// `base` + `suffix`, or with "-2", "-3", ... before the suffix, the first
// name that nothing (not even a dangling link, nor a database's "-wal" or
// "-shm" file) holds.
QString freeName(const QString &base, const QString &suffix);
// Moves a damaged file aside under a free name (freeName(path, ".bad"):
// "energy.cfg.bad", then "energy.cfg-2.bad", ...), never over an older copy,
// so that it is kept for the user while a fresh one takes its place. A
// database's "-wal" and "-shm" files move with it, to the kept name's. The
// name it was kept as, or empty when it could not be moved. Another
// `suffix` keeps a file for another reason (one a restore replaces).
QString keepAside(const QString &path, const QString &suffix = QStringLiteral(".bad"));
// True when the file is there and holds at least one byte.
bool hasContent(const QString &path);
// Creates the folder (and parents) when missing; true when it is there.
bool ensureFolder(const QString &path);

// Bytes of a standard string <-> QByteArray, unchanged.
inline QByteArray bytesOf(std::string_view s) { return QByteArray(s.data(), qsizetype(s.size())); }
inline std::string textOf(const QByteArray &b) { return std::string(b.constData(), size_t(b.size())); }

// Local 8-bit text <-> QString.
QString fromLocal(std::string_view bytes);
std::string toLocal(const QString &text);

} // namespace ui
