// SPDX-License-Identifier: GPL-3.0-or-later
// The settings pages as forms: what a window's page and a browser both read
// their texts with, and what a browser's form may hold.
#include "core/Forms.h"

#include <QtTest>

namespace {
QString qs(const std::string &s) { return QString::fromStdString(s); }

// "key=value;key=value" over `base`.
core::FormValues with(core::FormValues base, const QString &changes)
{
    for (const QString &pair : changes.split(';', Qt::SkipEmptyParts))
        base[pair.section('=', 0, 0).toStdString()] = pair.section('=', 1).toStdString();
    return base;
}
} // namespace

class TestForms : public QObject {
    Q_OBJECT
private slots:
    // Changed texts read back into the file, or the problem with its key.
    void alarms_data()
    {
        QTest::addColumn<QString>("changes");
        QTest::addColumn<QString>("expected"); // a line of the file, or "<key>: <words of the problem>"
        QTest::newRow("as shown") << "" << "<BatteryLow>11.8</BatteryLow>";
        QTest::newRow("a comma") << "BatteryLow=12,1;BatteryLowOn=1" << "<BatteryLow>12.1</BatteryLow>";
        QTest::newRow("ticked") << "Beep=1" << "<Beep>1</Beep>";
        QTest::newRow("not a number") << "OverSpeed=fast" << "OverSpeed: \"fast\" is not a number (Over-speed, RPM above)";
        QTest::newRow("days not whole") << "UnderPerformingDays=2.5" << "UnderPerformingDays: whole number of days";
        QTest::newRow("the file's rule") << "HoldTime=-1" << ": Nothing was saved.";
        QTest::newRow("the command checked") << "Command= /bin/missing " << "Command: The command /bin/missing cannot be run: gone.";
        QTest::newRow("the first problem first") << "BatteryHigh=x;HoldTime=y" << "BatteryHigh: \"x\"";
    }
    void alarms()
    {
        QFETCH(QString, changes);
        QFETCH(QString, expected);
        core::AlarmSettings s;
        const auto problem = core::readAlarmValues(with(core::alarmValues(core::AlarmSettings()), changes), s,
                                                   [](const std::string &c) { return c == "/bin/missing" ? "gone" : ""; });
        if (problem)
            QVERIFY2(qs(problem->key + ": " + problem->text).startsWith(expected.section(':', 0, 0) + ":")
                         && qs(problem->text).contains(expected.section(": ", 1)),
                     problem->text.c_str());
        else
            QVERIFY2(qs(core::alarmSettingsText(s)).contains(expected), core::alarmSettingsText(s).c_str());
        QVERIFY(!problem || qs(problem->text).endsWith(" Nothing was saved."));
    }

    // Setup and Calibration: the stored settings ("key=value" over the
    // delivered ones) shown, changed, and read back into the file's text.
    void setupAndCalibration_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("changes");
        QTest::addColumn<QString>("expected"); // in the file, or "key: problem"
        QTest::newRow("a greyed box stays greyed") << "setup" << "SaveExcel=2" << "" << "<SaveExcel>2</SaveExcel>";
        QTest::newRow("a box of another value shows unticked") << "setup" << "LogOn=7" << "" << "<LogOn>0</LogOn>";
        QTest::newRow("a port with a blank, saved with it") << "setup" << "" << "Port= 2.5" << "<Port> 2.5</Port>";
        QTest::newRow("the interval as typed") << "setup" << "" << "LogDelay=5 s" << "<LogDelay>5 s</LogDelay>";
        QTest::newRow("no port") << "setup" << "" << "Port=" << "Port: There is a bad number for Port Number.";
        QTest::newRow("a divider in number text") << "calibration" << "VoltDivider=56.0" << "" << "<VoltDivider>56</VoltDivider>";
        QTest::newRow("the wind divider as found") << "calibration" << "WSDivider=1.60" << "" << "<WSDivider>1.60</WSDivider>";
        QTest::newRow("an offset from Zero") << "calibration" << "" << "VoltOffset=512.370" << "<VoltOffset>512.37</VoltOffset>";
        QTest::newRow("a broken offset kept") << "calibration" << "VoltOffset=five" << "" << "<VoltOffset>five</VoltOffset>";
        QTest::newRow("an offset typed that is no number") << "calibration" << "" << "VoltOffset=six" << "VoltOffset: The offset \"six\" is not a number";
    }
    void setupAndCalibration()
    {
        QFETCH(QString, page);
        QFETCH(QString, stored);
        QFETCH(QString, changes);
        QFETCH(QString, expected);
        std::optional<core::FormProblem> problem;
        std::string text;
        if (page == "setup") {
            const core::FormValues v = with(core::setupValues(core::defaultProgramSettings()), stored);
            core::ProgramSettings kept = core::defaultProgramSettings(), s;
            kept.SaveExcel = v.at("SaveExcel"), kept.LogOn = v.at("LogOn");
            problem = core::readSetupValues(with(core::setupValues(kept), changes), s);
            text = core::programSettingsText(s);
        } else {
            core::CalibrationSettings kept = core::defaultCalibrationSettings(), s;
            const core::FormValues v = with({}, stored);
            for (auto [key, into] : {std::pair{"VoltDivider", &kept.VoltDivider}, std::pair{"WSDivider", &kept.WSDivider},
                                     std::pair{"VoltOffset", &kept.VoltOffset}})
                if (v.count(key))
                    *into = v.at(key);
            problem = core::readCalibrationValues(with(core::calibrationValues(kept), changes), kept, s);
            text = core::calibrationSettingsText(s);
        }
        if (problem)
            QVERIFY2(qs(problem->key + ": " + problem->text).contains(expected), problem->text.c_str());
        else
            QVERIFY2(qs(text).contains(expected), text.c_str());
    }

    // The password a form leaves empty.
    void mqttPassword_data()
    {
        QTest::addColumn<QString>("changes");
        QTest::addColumn<QString>("password");
        QTest::newRow("kept") << "" << "secret";
        QTest::newRow("kept, the host in capitals") << "Host=BROKER.lan " << "secret";
        QTest::newRow("a new one") << "Password=new one " << "new one ";
        QTest::newRow("dropped for a new host") << "Host=other.lan" << "";
        QTest::newRow("none without a user") << "User= " << "";
    }
    void mqttPassword()
    {
        QFETCH(QString, changes);
        QFETCH(QString, password);
        core::MqttSettings stored;
        stored.host = "broker.lan";
        stored.user = "veldra";
        stored.password = "secret";
        QVERIFY(core::mqttValues(stored).at("Password").empty());
        core::MqttSettings s;
        QVERIFY(!core::readMqttValues(with(core::mqttValues(stored), changes), stored, s));
        QCOMPARE(qs(s.password), password);
    }

    // What a form from a browser may hold.
    void foreignForms_data()
    {
        QTest::addColumn<QString>("changes");
        QTest::addColumn<QString>("problem"); // the key, or "" for none
        QTest::newRow("texts") << "Host=broker.lan;Port=8883;Tls=1" << "";
        QTest::newRow("unknown key") << "Colour=red" << "Colour";
        QTest::newRow("read-only") << "CaFile=/etc/shadow" << "CaFile";
        QTest::newRow("a tick of another word") << "Tls=yes" << "Tls";
        QTest::newRow("a tag") << "ClientId=a</ClientId><Host>evil" << "ClientId";
        QTest::newRow("a line break") << "TopicPrefix=a\nb" << "TopicPrefix";
        QTest::newRow("a tab") << "User=a\tb" << "User";
    }
    void foreignForms()
    {
        QFETCH(QString, changes);
        QFETCH(QString, problem);
        const auto p = core::foreignFormProblem(core::mqttFields(), with({}, changes));
        QCOMPARE(p ? qs(p->key) : QString(), problem);
    }
};

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
