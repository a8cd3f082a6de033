// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading and writing "messages.cfg". It holds mail passwords and bot tokens,
// so it is made readable by its owner only.

#include "core/Messages.h"

#include <QString>
#include <optional>

namespace publish {

// The settings; the defaults (messages off, no channel) when the file is
// missing. When it is there but cannot be read, `reason` says why.
core::MessageSettings readMessageSettingsFile(const QString &path, QString *reason = nullptr);
// Replaces the file whole, owner-only; false when it could not be written.
bool writeMessageSettingsFile(const QString &path, const core::MessageSettings &s);
// What keeps settings from being saved beyond their own rules: a CA file
// named that is not there. The message, or nothing.
std::optional<QString> messageFileFault(const core::MessageSettings &s);

} // namespace publish
