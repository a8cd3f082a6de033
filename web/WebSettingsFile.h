// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading and writing "web.cfg". The file holds the password's hash, so it is
// made readable by its owner only.

#include "core/Web.h"

#include <QString>
#include <optional>
#include <string>

namespace web {

// The settings; the defaults (the server off) when the file is missing. When
// it is there but cannot be read, `reason` (when given) says why.
core::WebSettings readWebSettingsFile(const QString &path, QString *reason = nullptr);
// Replaces the file whole, owner-only; false when it could not be written
// (the old file is then unchanged).
bool writeWebSettingsFile(const QString &path, const core::WebSettings &s);

// What keeps `s` from being saved, in the words the Options page uses: the
// file's rules, and the TLS files being there. `passwordTyped`: a new
// password comes with it.
std::optional<QString> webSettingsFault(const core::WebSettings &s, bool passwordTyped);
// Saves `s` as web.cfg at `path` the one way every change of it is saved
// (the Options page, the command line, the browser): checked, `newPassword`
// hashed in when it is not empty, written whole. The message that says why
// nothing was saved, or nothing (and `saved` then holds what was written).
std::optional<QString> storeWebSettings(const QString &path, core::WebSettings s, const std::string &newPassword,
                                        core::WebSettings *saved = nullptr);

} // namespace web
