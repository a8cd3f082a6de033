// SPDX-License-Identifier: GPL-3.0-or-later
#include "Autostart.h"

#include "core/Desktop.h"
#include "ui/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace desktop {

#ifdef Q_OS_WIN
// On Windows the entry is a value of the user's Run key, named `file`.
namespace {
const QString kRunKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
}

QString Autostart::fileFor(const QString &entryName) { return entryName; }

bool Autostart::enabled() const { return QSettings(kRunKey, QSettings::NativeFormat).contains(file); }

bool Autostart::set(bool on) const
{
    QSettings run(kRunKey, QSettings::NativeFormat);
    if (!on) {
        run.remove(file);
    } else {
        QStringList words{QDir::toNativeSeparators(program)};
        for (const QString &a : arguments)
            words << a;
        for (QString &w : words)
            w = QLatin1Char('"') + w + QLatin1Char('"');
        run.setValue(file, words.join(QLatin1Char(' ')));
    }
    run.sync();
    return run.status() == QSettings::NoError;
}
#else
QString Autostart::fileFor(const QString &entryName)
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    // A relative XDG_CONFIG_HOME counts as not set, as XDG says.
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/") + entryName + QStringLiteral(".desktop");
}

bool Autostart::enabled() const { return QFileInfo(file).isFile(); }

bool Autostart::set(bool on) const
{
    if (!on)
        return !QFileInfo::exists(file) || QFile::remove(file);
    std::vector<std::string> args;
    for (const QString &a : arguments)
        args.push_back(a.toStdString());
    const std::string text = core::autostartEntry(name.toStdString(), comment.toStdString(), program.toStdString(),
                                                  args);
    // Desktop entries are UTF-8 whatever the locale.
    return ui::ensureFolder(QFileInfo(file).absolutePath())
           && ui::replaceWhole(file, QByteArray::fromStdString(text));
}
#endif

} // namespace desktop
