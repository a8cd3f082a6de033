// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebSettingsFile.h"

#include "WebPassword.h"
#include "ui/Files.h"
#include "ui/KeptFile.h"
#include "ui/Notices.h"

#include <QDir>
#include <QFileInfo>

namespace web {

core::WebSettings readWebSettingsFile(const QString &path, QString *reason)
{
    return ui::readOwnSettings(path, core::readWebSettings, reason);
}

bool writeWebSettingsFile(const QString &path, const core::WebSettings &s)
{
    return ui::writeOwnerOnly(path, QByteArray::fromStdString(core::webSettingsText(s)));
}

std::optional<QString> webSettingsFault(const core::WebSettings &s, bool passwordTyped)
{
    if (const auto problem = core::webSettingsProblem(s, passwordTyped))
        return QString::fromStdString(*problem) + QStringLiteral(" Nothing was saved.");
    if (s.tls)
        for (const std::string &f : {s.tlsCert, s.tlsKey}) {
            const QString path = QString::fromLocal8Bit(QByteArray::fromStdString(f)).trimmed();
            if (!QFileInfo(path).isFile())
                return QStringLiteral("The file %1 does not exist. Nothing was saved.").arg(QDir::toNativeSeparators(path));
        }
    return std::nullopt;
}

std::optional<QString> storeWebSettings(const QString &path, core::WebSettings s, const std::string &newPassword,
                                        core::WebSettings *saved)
{
    if (auto fault = webSettingsFault(s, !newPassword.empty()))
        return fault;
    if (!newPassword.empty()) {
        s.passwordHash = hashPassword(newPassword);
        if (s.passwordHash.empty())
            return QStringLiteral("The password could not be stored (the system gave no random numbers). Nothing was "
                                  "saved.");
    }
    if (!writeWebSettingsFile(path, s))
        return ui::cannotSave(path);
    if (saved)
        *saved = s;
    return std::nullopt;
}

} // namespace web
