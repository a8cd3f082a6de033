// SPDX-License-Identifier: GPL-3.0-or-later
#include "MqttSettingsFile.h"

#include "ui/Files.h"
#include "ui/KeptFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

namespace publish {

core::MqttSettings readMqttSettingsFile(const QString &path, QString *reason)
{
    return ui::readOwnSettings(path, core::readMqttSettings, reason);
}

bool writeMqttSettingsFile(const QString &path, const core::MqttSettings &s)
{
    return ui::writeOwnerOnly(path, QByteArray::fromStdString(core::mqttSettingsText(s)));
}

std::optional<QString> mqttFileFault(const core::MqttSettings &s)
{
    const QString ca = QString::fromLocal8Bit(QByteArray::fromStdString(s.caFile)).trimmed();
    if (s.tls && !QFileInfo(ca).isFile())
        return QStringLiteral("The CA file %1 does not exist. Nothing was saved.").arg(QDir::toNativeSeparators(ca));
    return std::nullopt;
}

std::string hostName() { return QSysInfo::machineHostName().toStdString(); }

} // namespace publish
