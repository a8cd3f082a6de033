// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Failures of files written in the background (ticks, saves): each file's
// failure is told once, by a message that does not wait, and told again only
// after the file has been written successfully in between.

#include "Services.h"

#include <QSet>
#include <QString>
#include <QTime>

namespace ui {

// Our own settings files that rooms take up while the program runs. A save
// (a window's page, the browser, the command line) or SIGHUP names the file
// it changed, and every room that reads that file takes it up; a room lists
// its files in the composition root's one switch, so none is missed by a
// misspelt name.
enum class SettingsFile { Alarms, Mqtt, Archive, Web, Turbine, CertifiedCurve, Messages, Backup, DataOut };
constexpr SettingsFile kSettingsFiles[] = {SettingsFile::Alarms,  SettingsFile::Mqtt,
                                           SettingsFile::Archive, SettingsFile::Web,
                                           SettingsFile::Turbine, SettingsFile::CertifiedCurve,
                                           SettingsFile::Messages, SettingsFile::Backup,
                                           SettingsFile::DataOut};

class FailureNotices {
public:
    FailureNotices(MessageService *messages, QObject *parent) : m_messages(messages), m_parent(parent) { }

    // Remembers the outcome for `file`; tells the user when a failure is new.
    void outcome(const QString &file, bool ok, const QString &message)
    {
        if (ok) {
            m_failing.remove(file);
            return;
        }
        if (m_failing.contains(file))
            return;
        m_failing.insert(file);
        m_messages->notify(m_parent, message);
    }

private:
    MessageService *m_messages;
    QObject *m_parent;
    QSet<QString> m_failing;
};

// "Could not write <path>", in the platform's spelling of the path.
QString cannotWrite(const QString &path);
// What a settings page says when its file could not be saved.
QString cannotSave(const QString &path);
// "Saved at 14:05:09.": what a page says after a save, in the window or the browser.
QString savedAtText(const QTime &when);

} // namespace ui
