#pragma once
// The program folder: where every file the program reads or writes lies, and
// the reading of its two settings files. How the folder is laid out is known
// here and nowhere else; which folder it is, in FolderStart.h.

#include "core/Settings.h"

#include <QSet>
#include <QString>
#include <optional>
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
    // The file's text, or nullopt (after telling, when due) when the defaults
    // must stand in for it. `defaults` is written where the file is missing.
    std::optional<std::string> settingsText(const QString &file, const std::string &defaults);
    void tell(const QString &condition, const QString &file, const QString &text);
    void tellKeys(const QString &condition, const QString &file, const std::vector<std::string> &keys,
                  const QString &text);

    QString m_path;
    MessageService *m_messages;
    QObject *m_parent;
    // "condition|file" pairs already told.
    QSet<QString> m_told;
};

} // namespace ui
