#include "MqttSettingsFile.h"

#include "ui/Files.h"

#include <QFile>
#include <QSysInfo>

namespace publish {

namespace {
const QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
}

core::MqttSettings readMqttSettingsFile(const QString &path, QString *reason)
{
    if (!ui::exists(path))
        return core::MqttSettings();
    const auto bytes = ui::readWhole(path, reason);
    return bytes ? core::readMqttSettings(bytes->toStdString()) : core::MqttSettings();
}

bool writeMqttSettingsFile(const QString &path, const core::MqttSettings &s)
{
    // The replacement takes the permissions of the file it replaces, so the
    // file is made owner-only (empty) before anything is written into it.
    if (!ui::exists(path)) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.close();
    }
    if (!QFile::setPermissions(path, kOwnerOnly))
        return false;
    return ui::replaceWhole(path, QByteArray::fromStdString(core::mqttSettingsText(s)))
           && QFile::setPermissions(path, kOwnerOnly);
}

std::string hostName() { return QSysInfo::machineHostName().toStdString(); }

} // namespace publish
