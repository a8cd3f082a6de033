#pragma once
// The few file operations the system uses. Texts are bytes in the local 8-bit
// encoding; every file is opened, used and closed within one call.

#include <QByteArray>
#include <QString>
#include <optional>

namespace ui {

// The whole file, or nullopt when it cannot be read.
std::optional<QByteArray> readWhole(const QString &path);
// Replaces the file through a temporary file, so readers never see half of it.
bool replaceWhole(const QString &path, const QByteArray &bytes);
// Appends and closes; creates the file when missing.
bool append(const QString &path, const QByteArray &bytes);
bool exists(const QString &path);
// Creates the folder (and parents) when missing; true when it is there.
bool ensureFolder(const QString &path);

// Local 8-bit text <-> QString.
QString fromLocal(const std::string &bytes);
std::string toLocal(const QString &text);

} // namespace ui
