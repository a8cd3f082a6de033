// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebSettingsFile.h"

#include "ui/Files.h"
#include "ui/KeptFile.h"

namespace web {

core::WebSettings readWebSettingsFile(const QString &path, QString *reason)
{
    // Every text reads as settings (what is not understood takes its
    // default, which is off), so the file is never damaged.
    ui::KeptFile file(path, nullptr, nullptr, {});
    const auto loaded = file.load(
        [](std::string_view text, std::string *) { return std::optional(core::readWebSettings(text)); });
    if (reason && loaded.state == ui::KeptFile::State::Unreadable)
        *reason = loaded.reason;
    return loaded.value.value_or(core::WebSettings());
}

bool writeWebSettingsFile(const QString &path, const core::WebSettings &s)
{
    return ui::writeOwnerOnly(path, QByteArray::fromStdString(core::webSettingsText(s)));
}

} // namespace web
