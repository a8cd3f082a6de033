// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading and writing "web.cfg". The file holds the password's hash, so it is
// made readable by its owner only.

#include "core/Web.h"

#include <QString>

namespace web {

// The settings; the defaults (the server off) when the file is missing. When
// it is there but cannot be read, `reason` (when given) says why.
core::WebSettings readWebSettingsFile(const QString &path, QString *reason = nullptr);
// Replaces the file whole, owner-only; false when it could not be written
// (the old file is then unchanged).
bool writeWebSettingsFile(const QString &path, const core::WebSettings &s);

} // namespace web
