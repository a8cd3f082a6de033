// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading and writing "mqtt.cfg". The file may hold a password, so it is
// made readable by its owner only.

#include "core/Mqtt.h"

#include <QString>
#include <optional>

namespace publish {

// The settings; the defaults (MQTT off) when the file is missing. When it is
// there but cannot be read, `reason` (when given) says why.
core::MqttSettings readMqttSettingsFile(const QString &path, QString *reason = nullptr);
// Replaces the file whole, owner-only; false when it could not be written
// (the old file is then unchanged).
bool writeMqttSettingsFile(const QString &path, const core::MqttSettings &s);

// What keeps settings read from a form from being saved beyond the file's
// own rules: the CA file missing with TLS on. The message, or nothing.
std::optional<QString> mqttFileFault(const core::MqttSettings &s);

// This machine's name, for the default client id.
std::string hostName();

} // namespace publish
