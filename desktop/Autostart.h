// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Start at login": the program's XDG autostart entry (on Windows, a value
// of the user's Run key), written or removed.

#include <QString>
#include <QStringList>

namespace desktop {

struct Autostart {
    // The entry's file ("$XDG_CONFIG_HOME/autostart/<name>.desktop").
    QString file;
    // Its name and comment in the session's list of programs started at login.
    QString name, comment;
    // What it starts: an absolute path and the arguments.
    QString program;
    QStringList arguments;

    // `entryName` names the file (the program's desktop entry name);
    // XDG_CONFIG_HOME, or ~/.config when it is not set, holds it.
    static QString fileFor(const QString &entryName);

    // Whether the entry is there (whatever wrote it).
    bool enabled() const;
    // Writes the entry whole or removes it; false when that failed.
    bool set(bool on) const;
};

} // namespace desktop
