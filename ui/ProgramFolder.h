// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program folder: where every file the program reads or writes lies, and
// the reading of its two settings files. How the folder is laid out is known
// here and nowhere else; which folder it is, in FolderStart.h.

#include "KeptFile.h"
#include "core/Settings.h"

#include <QString>
#include <string>
#include <vector>

class QObject;

namespace ui {

class MessageService;

class ProgramFolder {
public:
    // Without a message service the settings are read silently and nothing is
    // written: for the windows that only show them. With one (the main
    // window's, which lives as long as the program) the reads also tell the
    // user, each condition once for this object's life:
    // - a file that does not exist is created with the defaults (said each
    //   time it is made; said once when it cannot be made);
    // - a file that exists but cannot be read is named with the reason and
    //   left untouched; its defaults hold for this run;
    // - keys missing from a file take their defaults and are named;
    // - calibration values that are not numbers are named.
    explicit ProgramFolder(QString path, MessageService *messages = nullptr, QObject *parent = nullptr);

    const QString &path() const { return m_path; }

    QString programSettingsFile() const;
    QString calibrationSettingsFile() const;
    QString logsFolder() const;
    // `stamp` is the log date stamp, year_month_day ("2026_3_7").
    QString logFile(const QString &stamp) const;
    QString spreadsheetFile(const QString &stamp) const;
    // `shortDate` is the short date text of the regional settings; its "/"
    // become "_" in the name.
    QString historyFile(QString shortDate) const;
    QString pageTemplate() const;
    QString livePage() const;
    // The same page under a name web servers know the type of.
    QString livePageHtml() const;
    // Ours: the MQTT settings (owner-only, it may hold a password).
    QString mqttSettings() const;
    // The e-mail and push channels (owner-only, they hold passwords), and the
    // messages not yet sent.
    QString messageSettings() const;
    QString outbox() const;
    // Data out's settings (owner-only, they hold a password or token), and
    // the last minute's change the database confirmed.
    QString dataOutSettings() const;
    QString dataOutCursor() const;
    // The site's and the turbine's settings for the power curve, "turbine.cfg".
    QString turbineSettings() const;
    // The archive's settings, "archive.cfg".
    QString archiveSettings() const;
    QString backupSettings() const;
    // The web server's settings, "web.cfg".
    QString webSettings() const;
    // The web server's open logins (digests of their tokens), owner-only.
    QString webSessions() const;
    // Today's, yesterday's and the lifetime energy, kept across restarts.
    QString energyState() const;
    // One line a day of energy and peaks.
    QString energyCsv() const;
    // The measured power curve, "powercurve.csv".
    QString powerCurveFile() const;
    // The alarms' settings, their raises and clears, and what the alarm
    // command printed.
    QString alarmsSettings() const;
    QString alarmsCsv() const;
    QString alarmsCommandLog() const;
    // The entry that names the device of serial port `number` ("COM3").
    QString portEntry(int number) const;
    // Held by the program that runs on the folder.
    QString lockFile() const;

    // The settings with the delivered defaults for whatever cannot be read.
    core::ProgramSettings programSettings();
    core::CalibrationSettings calibrationSettings();

    // Replace a settings file whole; false when it could not be written (the
    // old file is then unchanged).
    bool writeProgramSettings(const core::ProgramSettings &s) const;
    bool writeCalibrationSettings(const core::CalibrationSettings &s) const;

private:
    // The settings read from `file` with `read`, or `defaults` (written where
    // the file is missing, when there is someone to tell).
    template <class Settings, class Read>
    Settings settings(KeptFile &file, const Settings &defaults, const std::string &defaultsText, Read read);

    QString m_path;
    MessageService *m_messages;
    // Each remembers what it told, for this object's life.
    KeptFile m_programFile, m_calibrationFile;
};

} // namespace ui
