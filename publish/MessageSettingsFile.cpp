// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageSettingsFile.h"

#include "ui/Files.h"
#include "ui/KeptFile.h"

#include <QDir>
#include <QFileInfo>

namespace publish {

core::MessageSettings readMessageSettingsFile(const QString &path, QString *reason)
{
    return ui::readOwnSettings(path, core::readMessageSettings, reason);
}

bool writeMessageSettingsFile(const QString &path, const core::MessageSettings &s)
{
    return ui::writeOwnerOnly(path, QByteArray::fromStdString(core::messageSettingsText(s)));
}

std::optional<QString> messageFileFault(const core::MessageSettings &s)
{
    const QString ca = QString::fromUtf8(QByteArray::fromStdString(s.caFile)).trimmed();
    if (!ca.isEmpty() && !QFileInfo(ca).isFile())
        return QStringLiteral("The CA file %1 does not exist. Nothing was saved.").arg(QDir::toNativeSeparators(ca));
    return std::nullopt;
}

} // namespace publish
