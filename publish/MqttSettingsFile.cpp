// SPDX-License-Identifier: GPL-3.0-or-later
#include "MqttSettingsFile.h"

#include "ui/Files.h"
#include "ui/KeptFile.h"

#include <QFile>
#include <QSysInfo>

namespace publish {

namespace {
const QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
}

core::MqttSettings readMqttSettingsFile(const QString &path, QString *reason)
{
    // Every text reads as settings (what is not understood takes its
    // default), so the file is never damaged; its owner tells the rest.
    ui::KeptFile file(path, nullptr, nullptr, {});
    const auto loaded = file.load(
        [](std::string_view text, std::string *) { return std::optional(core::readMqttSettings(text)); });
    if (reason && loaded.state == ui::KeptFile::State::Unreadable)
        *reason = loaded.reason;
    return loaded.value.value_or(core::MqttSettings());
}

bool writeOwnerOnly(const QString &path, const QByteArray &bytes)
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
    return ui::replaceWhole(path, bytes) && QFile::setPermissions(path, kOwnerOnly);
}

bool writeMqttSettingsFile(const QString &path, const core::MqttSettings &s)
{
    return writeOwnerOnly(path, QByteArray::fromStdString(core::mqttSettingsText(s)));
}

std::string hostName() { return QSysInfo::machineHostName().toStdString(); }

} // namespace publish
