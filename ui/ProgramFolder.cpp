#include "ProgramFolder.h"

#include "Files.h"
#include "Services.h"

#include <QDir>
#include <QStringList>

namespace ui {

namespace {
QString shown(const QString &path) { return QDir::toNativeSeparators(path); }

QString keyList(const std::vector<std::string> &keys)
{
    QStringList names;
    for (const auto &k : keys)
        names << QString::fromStdString(k);
    return names.join(QStringLiteral(", "));
}
} // namespace

ProgramFolder::ProgramFolder(QString path, MessageService *messages, QObject *parent)
    : m_path(std::move(path)), m_messages(messages), m_parent(parent)
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

std::optional<std::string> ProgramFolder::settingsText(const QString &file, const std::string &defaults)
{
    QString reason;
    if (const auto bytes = readWhole(file, &reason))
        return bytes->toStdString();

    // Only a file that is not there is made afresh; one that is there but
    // cannot be read may hold the user's calibration and is left alone.
    if (exists(file)) {
        tell(
            QStringLiteral("unreadable"), file,
            QStringLiteral(
                "The settings file %1 could not be read (%2). The default settings are used until the program is closed; the file was left as it is.")
                .arg(shown(file), reason));
        return std::nullopt;
    }
    if (!m_messages)
        return std::nullopt;
    if (replaceWhole(file, QByteArray::fromStdString(defaults))) {
        m_told.remove(QStringLiteral("uncreatable|") + file);
        m_messages->inform(
            m_parent,
            QStringLiteral(
                "The settings file %1 was missing. A new one with the default settings has been written.")
                .arg(shown(file)));
    } else {
        tell(
            QStringLiteral("uncreatable"), file,
            QStringLiteral(
                "The settings file %1 was missing, and a new one could not be written. The default settings are used until the program is closed.")
                .arg(shown(file)));
    }
    return std::nullopt;
}

void ProgramFolder::tell(const QString &condition, const QString &file, const QString &text)
{
    const QString key = condition + QLatin1Char('|') + file;
    if (!m_messages || m_told.contains(key))
        return;
    m_told.insert(key);
    m_messages->inform(m_parent, text);
}

void ProgramFolder::tellKeys(const QString &condition, const QString &file, const std::vector<std::string> &keys,
                             const QString &text)
{
    if (!keys.empty())
        tell(condition, file, text.arg(shown(file), keyList(keys)));
}

core::ProgramSettings ProgramFolder::programSettings()
{
    const core::ProgramSettings defaults = core::defaultProgramSettings();
    const QString file = programSettingsFile();
    const auto text = settingsText(file, core::programSettingsText(defaults));
    if (!text)
        return defaults;
    std::vector<std::string> missing;
    const core::ProgramSettings s = core::readProgramSettings(*text, defaults, &missing);
    tellKeys(
        QStringLiteral("keys"), file, missing,
        QStringLiteral(
            "The settings file %1 has no value for: %2. Default values are used for them; open the setup or calibration window and save to store them."));
    return s;
}

core::CalibrationSettings ProgramFolder::calibrationSettings()
{
    const core::CalibrationSettings defaults = core::defaultCalibrationSettings();
    const QString file = calibrationSettingsFile();
    const auto text = settingsText(file, core::calibrationSettingsText(defaults));
    if (!text)
        return defaults;
    std::vector<std::string> missing;
    const core::CalibrationSettings s = core::readCalibrationSettings(*text, defaults, &missing);
    tellKeys(
        QStringLiteral("keys"), file, missing,
        QStringLiteral(
            "The settings file %1 has no value for: %2. Default values are used for them; open the setup or calibration window and save to store them."));
    tellKeys(
        QStringLiteral("numbers"), file, core::nonNumericCalibration(s),
        QStringLiteral(
            "The settings file %1 holds a value that is not a number for: %2. The readings that use it are not updated; correct it in the calibration window and save."));
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
