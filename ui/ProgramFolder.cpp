// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramFolder.h"

#include "Files.h"
#include "Services.h"

#include <QDir>
#include <QStringList>

namespace ui {

namespace {

QString keyList(const std::vector<std::string> &keys)
{
    QStringList names;
    for (const auto &k : keys)
        names << QString::fromStdString(k);
    return names.join(QStringLiteral(", "));
}

KeptFile::Texts settingsTexts()
{
    KeptFile::Texts t;
    t.unreadable = QStringLiteral(
        "The settings file %1 could not be read (%2). The default settings are used until the program is closed; the file was left as it is.");
    t.made = QStringLiteral(
        "The settings file %1 was missing. A new one with the default settings has been written.");
    t.notMade = QStringLiteral(
        "The settings file %1 was missing, and a new one could not be written. The default settings are used until the program is closed.");
    return t;
}

// Their messages wait for OK: nothing should go on with the defaults unseen.
KeptFile::Policy settingsPolicy()
{
    KeptFile::Policy p;
    p.wait = true;
    return p;
}
} // namespace

ProgramFolder::ProgramFolder(QString path, MessageService *messages, QObject *parent)
    : m_path(std::move(path)), m_messages(messages),
      m_programFile(programSettingsFile(), messages, parent, settingsTexts(), settingsPolicy()),
      m_calibrationFile(calibrationSettingsFile(), messages, parent, settingsTexts(), settingsPolicy())
{ }

QString ProgramFolder::programSettingsFile() const { return QDir(m_path).filePath(QStringLiteral("prog.cfg")); }
QString ProgramFolder::calibrationSettingsFile() const
{
    return QDir(m_path).filePath(QStringLiteral("settings.cfg"));
}
QString ProgramFolder::logsFolder() const { return QDir(m_path).filePath(QStringLiteral("logs")); }

QString ProgramFolder::logFile(const QString &stamp) const
{
    return QDir(m_path).filePath(QStringLiteral("logs/%1.txt").arg(stamp));
}

QString ProgramFolder::spreadsheetFile(const QString &stamp) const
{
    return QDir(m_path).filePath(QStringLiteral("Excel/%1.xls").arg(stamp));
}

QString ProgramFolder::historyFile(QString shortDate) const
{
    return QDir(m_path).filePath(
        QStringLiteral("html/history%1.txt").arg(shortDate.replace(QLatin1Char('/'), QLatin1Char('_'))));
}

QString ProgramFolder::pageTemplate() const { return QDir(m_path).filePath(QStringLiteral("html/template.asp")); }
QString ProgramFolder::livePage() const { return QDir(m_path).filePath(QStringLiteral("html/log.asp")); }
QString ProgramFolder::livePageHtml() const { return QDir(m_path).filePath(QStringLiteral("html/log.html")); }
QString ProgramFolder::mqttSettings() const { return QDir(m_path).filePath(QStringLiteral("mqtt.cfg")); }
QString ProgramFolder::messageSettings() const { return QDir(m_path).filePath(QStringLiteral("messages.cfg")); }
QString ProgramFolder::dataOutSettings() const { return QDir(m_path).filePath(QStringLiteral("dataout.cfg")); }
QString ProgramFolder::dataOutCursor() const { return QDir(m_path).filePath(QStringLiteral("dataout-cursor.txt")); }
QString ProgramFolder::outbox() const { return QDir(m_path).filePath(QStringLiteral("outbox.txt")); }

QString ProgramFolder::turbineSettings() const { return QDir(m_path).filePath(QStringLiteral("turbine.cfg")); }

QString ProgramFolder::archiveSettings() const { return QDir(m_path).filePath(QStringLiteral("archive.cfg")); }
QString ProgramFolder::backupSettings() const { return QDir(m_path).filePath(QStringLiteral("backup.cfg")); }

QString ProgramFolder::webSettings() const { return QDir(m_path).filePath(QStringLiteral("web.cfg")); }

QString ProgramFolder::webSessions() const { return QDir(m_path).filePath(QStringLiteral("web.sessions")); }

QString ProgramFolder::energyState() const { return QDir(m_path).filePath(QStringLiteral("energy.cfg")); }

QString ProgramFolder::energyCsv() const { return QDir(logsFolder()).filePath(QStringLiteral("energy.csv")); }

QString ProgramFolder::powerCurveFile() const { return QDir(m_path).filePath(QStringLiteral("powercurve.csv")); }

QString ProgramFolder::alarmsSettings() const { return QDir(m_path).filePath(QStringLiteral("alarms.cfg")); }
QString ProgramFolder::alarmsCsv() const { return QDir(logsFolder()).filePath(QStringLiteral("alarms.csv")); }
QString ProgramFolder::alarmsCommandLog() const
{
    return QDir(logsFolder()).filePath(QStringLiteral("alarms-command.log"));
}

QString ProgramFolder::portEntry(int number) const
{
    return QDir(m_path).filePath(QStringLiteral("COM%1").arg(number));
}

QString ProgramFolder::lockFile() const { return QDir(m_path).filePath(QStringLiteral("veldra.lock")); }

template <class Settings, class Read>
Settings ProgramFolder::settings(KeptFile &file, const Settings &defaults, const std::string &defaultsText,
                                 Read read)
{
    // Only a file that is not there is made afresh; one that is there but
    // cannot be read may hold the user's calibration and is left alone.
    const auto loaded = file.load([&](std::string_view text, std::string *) {
        std::vector<std::string> missing;
        const Settings s = read(text, defaults, &missing);
        if (!missing.empty())
            file.tell(
                QStringLiteral("keys"),
                QStringLiteral(
                    "The settings file %1 has no value for: %2. Default values are used for them; open the setup or calibration window and save to store them.")
                    .arg(nativePath(file.path()), keyList(missing)));
        return std::optional<Settings>(s);
    });
    if (loaded.state == KeptFile::State::Missing && m_messages)
        file.make(QByteArray::fromStdString(defaultsText));
    return loaded.value.value_or(defaults);
}

core::ProgramSettings ProgramFolder::programSettings()
{
    const core::ProgramSettings defaults = core::defaultProgramSettings();
    return settings(m_programFile, defaults, core::programSettingsText(defaults), core::readProgramSettings);
}

core::CalibrationSettings ProgramFolder::calibrationSettings()
{
    const core::CalibrationSettings defaults = core::defaultCalibrationSettings();
    const core::CalibrationSettings s = settings(
        m_calibrationFile, defaults, core::calibrationSettingsText(defaults), core::readCalibrationSettings);
    if (const auto keys = core::nonNumericCalibration(s); !keys.empty())
        m_calibrationFile.tell(
            QStringLiteral("numbers"),
            QStringLiteral(
                "The settings file %1 holds a value that is not a number for: %2. The readings that use it are not updated; correct it in the calibration window and save.")
                .arg(nativePath(m_calibrationFile.path()), keyList(keys)));
    return s;
}

bool ProgramFolder::writeProgramSettings(const core::ProgramSettings &s) const
{
    return replaceWhole(programSettingsFile(), QByteArray::fromStdString(core::programSettingsText(s)));
}

bool ProgramFolder::writeCalibrationSettings(const core::CalibrationSettings &s) const
{
    return replaceWhole(calibrationSettingsFile(), QByteArray::fromStdString(core::calibrationSettingsText(s)));
}

} // namespace ui
