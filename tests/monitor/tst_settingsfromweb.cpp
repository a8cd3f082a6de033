// SPDX-License-Identifier: GPL-3.0-or-later
// A settings page saved from the browser writes, byte for byte, the file its
// page or window writes for the same input, and the running session takes it
// up as it takes up that window's save.
#include "alarms/AlarmsPage.h"
#include "archive/ArchivePage.h"
#include "config/Calibrate.h"
#include "config/ProgramSetup.h"
#include "history/TurbinePage.h"
#include "monitor/RoomPages.h"
#include "monitor/Session.h"
#include "monitor/SettingsFromWeb.h"
#include "publish/DataOutPage.h"
#include "publish/MessagesPage.h"
#include "publish/MqttPage.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QPushButton>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QtTest>

namespace {
using Answer = std::pair<int, std::string>;

QJsonObject json(const Answer &a) { return QJsonDocument::fromJson(QByteArray::fromStdString(a.second)).object(); }

Answer read(monitor::Session &s, const QString &page, core::QueryPairs query = {})
{
    return monitor::settingsAnswer(s, {page.toStdString(), "", "127.0.0.1", "", false, std::move(query)});
}

Answer write(monitor::Session &s, const QString &page, const QJsonObject &body)
{
    return monitor::settingsAnswer(s, {page.toStdString(), QJsonDocument(body).toJson().toStdString(), "127.0.0.1", "", true});
}

// The form's values as typed, with the version read just before.
Answer save(monitor::Session &s, const QString &page, const QVariantMap &values)
{
    return write(s, page, {{"version", json(read(s, page))["version"]}, {"values", QJsonObject::fromVariantMap(values)}});
}

// The Setup and Calibration windows' entries by the file's keys.
const QMap<QString, QString> kControls{{"Port", "PortNumber"},           {"VoltDivider", "BatteryVolts"},
                                       {"AmpDivider", "BatteryCurrent"}, {"RPMDivider", "PulseDivider"},
                                       {"WSDivider", "Pulse2Divider"}};
const QMap<QString, QString> kFiles{{"setup", "prog.cfg"}, {"calibration", "settings.cfg"}};
} // namespace

class TestSettingsFromWeb : public QObject {
    Q_OBJECT
private slots:
    void sameFileAsTheWindow_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("typed"); // "key=text;...", a tick box "1" or "0"
        QTest::newRow("alarms as they come") << "alarms" << "";
        QTest::newRow("alarms typed") << "alarms"
                                      << "BatteryLowOn=1;BatteryLow= 12,25 ;HoldTime=3;Beep=1;UnderPerformingDays=10;"
                                         "PercentHysteresis=7.5;NoDataOn=0";
        QTest::newRow("mqtt as it comes") << "mqtt" << "";
        QTest::newRow("archive") << "archive" << "MinuteDays= 90 ";
        QTest::newRow("turbine") << "turbine" << "Altitude=312,5;MeanTemperature=;BatteryFullVolts= 14.4;DumpsToLoad=1;"
                                                 "RatedPower=1000;Site= Scheune Nord ";
        QTest::newRow("setup as it comes, a greyed box kept") << "setup" << "";
        QTest::newRow("setup typed") << "setup" << "Port= 2.5;LogDelay=5 s;LogOn=1;DisplayRPM=0;WSUnits=km/h";
        QTest::newRow("calibration as it comes") << "calibration" << "";
        QTest::newRow("calibration typed") << "calibration" << "VoltDivider=56.0;AmpDivider=-10,24;RPMDivider=;WSDivider=1.60";
        QTest::newRow("messages typed") << "messages"
                                        << "MessagesOn=1;HoldOff= 5 ;Channel1Kind=email;Channel1Name=Home;"
                                           "Channel1Server=mail.example.org;Channel1User=me;Channel1Password=p ä;"
                                           "Channel1From=t@example.org;Channel1To=a@example.org, b@example.org";
        QTest::newRow("data out typed") << "dataout"
                                        << "DataOutOn=1;Kind=influxdb2;Url= https://db.lan:8086/ ;Org=Nord & co;"
                                           "Bucket=wind;Token=t ä&k";
        QTest::newRow("mqtt typed") << "mqtt"
                                    << "MqttOn=1;Host= Broker.lan ;Port=8883;User=veldra;Password=p & ä;"
                                       "ClientId=barn;TopicPrefix=wind/höhe;Discovery=0;Interval=";
    }
    void sameFileAsTheWindow()
    {
        QFETCH(QString, page);
        QFETCH(QString, typed);
        testsupport::ProgramFolder folder;
        folder.write("prog.cfg", testsupport::progCfg("1", "0", "2"));
        testsupport::FakeServices fake(folder.path());
        const QString name = kFiles.value(page, page + ".cfg");
        const QByteArray before = folder.read(name);
        QMap<QString, QString> values;
        for (const QString &pair : typed.split(';', Qt::SkipEmptyParts))
            values[pair.section('=', 0, 0)] = pair.section('=', 1);

        // In the window.
        std::unique_ptr<QWidget> window;
        if (page == "alarms")
            window = std::make_unique<alarms::AlarmsPage>(fake.services(), "mph");
        else if (page == "turbine")
            window = std::make_unique<history::TurbinePage>(fake.services());
        else if (page == "archive")
            window = std::make_unique<archive::ArchivePage>(fake.services());
        else if (page == "setup")
            window = std::make_unique<config::ProgramSetup>(fake.services());
        else if (page == "calibration")
            window = std::make_unique<config::Calibrate>(fake.services());
        else if (page == "messages")
            window = std::make_unique<publish::MessagesPage>(fake.services(), nullptr);
        else if (page == "dataout")
            window = std::make_unique<publish::DataOutPage>(fake.services(), nullptr);
        else
            window = std::make_unique<publish::MqttPage>(fake.services(), nullptr);
        for (auto it = values.begin(); it != values.end(); ++it) {
            const QString control = kFiles.contains(page) ? kControls.value(it.key(), it.key()) : it.key();
            if (auto *tick = window->findChild<QCheckBox *>(control))
                tick->setChecked(it.value() == "1");
            else if (auto *entry = window->findChild<QLineEdit *>(control))
                entry->setText(it.value());
            else
                QFAIL(qPrintable("no control " + it.key()));
        }
        if (auto *options = qobject_cast<ui::OptionsPage *>(window.get()))
            QVERIFY2(options->save(), qPrintable(fake.messages.texts.join('\n')));
        else
            window->findChild<QPushButton *>("Command1")->click();
        const QByteArray fromWindow = folder.read(name);
        QVERIFY(!fromWindow.isEmpty());
        if (before.isEmpty())
            QVERIFY(QFile::remove(folder.file(name)));
        else
            folder.write(name, before);

        // From the browser: the form, then the same texts.
        monitor::Session session(fake.services());
        session.loadSettings();
        QVariantMap map;
        for (auto it = values.begin(); it != values.end(); ++it)
            map[it.key()] = it.value();
        const auto saved = save(session, page, map);
        QVERIFY2(saved.first == 200, saved.second.c_str());
        QCOMPARE(folder.read(name), fromWindow);
    }

    // A browser's save of Setup or Calibration does what closing its window
    // does: the settings read again and the port opened again; refused while
    // a window of the program has the port.
    void setupAndCalibrationTakenUp_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("lentTo"); // the window open meanwhile
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("status");
        QTest::addColumn<QList<int>>("opened"); // the ports opened after the start's
        QTest::addColumn<QString>("said");
        QTest::newRow("setup: the new port") << "setup" << "" << "Port=3;WSUnits=km/h" << 200 << QList<int>{3} << "Saved at";
        QTest::newRow("setup: not a port") << "setup" << "" << "Port=COM3" << 400 << QList<int>{}
                                           << "There is a bad number for Port Number. Must be between 1 and 8 ( 1 or 2 most common )";
        QTest::newRow("setup while Setup is open") << "setup" << "Setup" << "Port=3" << 409 << QList<int>{}
                                                   << "The program's Setup window is open and has the port";
        QTest::newRow("calibration: the port as it was") << "calibration" << "" << "VoltDivider=50" << 200 << QList<int>{1}
                                                         << "Saved at";
        QTest::newRow("calibration while Calibration is open") << "calibration" << "Calibration" << "VoltDivider=50"
                                                               << 409 << QList<int>{} << "Calibration window is open";
        QTest::newRow("calibration: an offset that is no number") << "calibration" << "" << "VoltOffset=five" << 400
                                                                  << QList<int>{} << "The offset \"five\" is not a number";
    }
    void setupAndCalibrationTakenUp()
    {
        QFETCH(QString, page);
        QFETCH(QString, lentTo);
        QFETCH(QString, typed);
        QFETCH(int, status);
        QFETCH(QList<int>, opened);
        QFETCH(QString, said);
        testsupport::ProgramFolder folder;
        folder.write("prog.cfg", testsupport::progCfg());
        testsupport::FakeServices fake(folder.path());
        monitor::Session session(fake.services());
        QVERIFY(session.start());
        int takenUp = 0;
        connect(&session, &monitor::Session::settingsTakenUp, this, [&] { ++takenUp; });
        if (!lentTo.isEmpty())
            session.pausePort(lentTo);
        const QByteArray before = folder.read(kFiles[page]);
        QVariantMap map;
        for (const QString &pair : typed.split(';'))
            map[pair.section('=', 0, 0)] = pair.section('=', 1);

        const auto answer = save(session, page, map);
        QCOMPARE(answer.first, status);
        const QJsonObject body = json(answer);
        QVERIFY2((body["saved"].toString() + body["error"].toString()).startsWith(said) || body["error"].toString().contains(said),
                 answer.second.c_str());
        auto *port = fake.ports.front();
        QCOMPARE(port->openedPorts().mid(1), opened);
        QCOMPARE(takenUp, status == 200 ? 1 : 0);
        if (status != 200)
            QCOMPARE(folder.read(kFiles[page]), before);
        if (page == "setup" && status == 200)
            QCOMPARE(session.settings().WSUnits, std::string("km/h"));
    }

    // Beside Calibration, the last frame's raw values and the results of the
    // boxes as typed (the window's own worked case); beside Setup, logging
    // started and stopped as the main window's buttons do.
    void readoutAndLogging()
    {
        testsupport::ProgramFolder folder;
        folder.write("prog.cfg", testsupport::progCfg());
        testsupport::FakeServices fake(folder.path());
        monitor::Session session(fake.services());
        QVERIFY(session.start());
        QCOMPARE(json(read(session, "calibration"))["readout"].toObject()["data"].toString(), QString("none"));
        fake.ports.front()->feed("[<V>700</V><I>512</I><R>10</R><M>0</M><S>4</S>]");
        const QJsonObject r = json(read(session, "calibration",
                                        {{"VoltDivider", "56"}, {"AmpDivider", "10.24"}, {"VoltOffset", "500"},
                                         {"RPMDivider", "2"}, {"WSDivider", "1.6"}}))["readout"].toObject();
        QCOMPARE(r["txtBattV"].toString(), QString("700"));
        QCOMPARE(r["txtBattVadjusted"].toString(), QString("12.5 Volts"));
        QCOMPARE(r["txtShuntV"].toString(), QString("512"));
        QCOMPARE(r["txtBattAadjusted"].toString(), QString("1.17 Amps"));
        QCOMPARE(r["txtWindmillRPM"].toString(), QString("300 RPM"));
        QCOMPARE(r["txtWindSpeed"].toString(), QString("2.5 mph"));
        // A divider of 0 says so; without a usable offset the page keeps the
        // current's result it has: none is sent.
        const QJsonObject unusable = json(read(session, "calibration", {{"VoltDivider", "0"}, {"VoltOffset", "x"}}))["readout"].toObject();
        QCOMPARE(unusable["txtBattVadjusted"].toString(), QString("divider is 0"));
        QVERIFY(unusable["txtBattAadjusted"].isNull());

        QList<bool> seen;
        connect(&session, &monitor::Session::loggingChanged, this, [&](bool on, const std::string &) { seen << on; });
        const struct {
            const char *body;
            int status;
            bool logging;
            const char *said;
        } steps[] = {
            {R"({"action":"start","delay":"abc"})", 400, false, "Invalid delay period, needs to be a number between 10 and 600"},
            {R"({"action":"start","delay":"30"})", 200, true, "Logging every 30 seconds."},
            {R"({"action":"stop"})", 200, false, "Logging stopped."},
            {R"({"action":"pause"})", 400, false, "The action is \"start\" or \"stop\"."},
        };
        for (const auto &step : steps) {
            const auto a = monitor::settingsAnswer(session, {"logging", step.body, "127.0.0.1", "", true});
            QCOMPARE(a.first, step.status);
            QCOMPARE(json(a)[a.first == 200 ? "saved" : "error"].toString(), QString(step.said));
            QCOMPARE(session.logging(), step.logging);
        }
        QCOMPARE(session.logTimer()->interval(), 30000);
        QCOMPARE(seen, (QList<bool>{true, false}));
    }

    // A page open in the window shows a save from the browser.
    void openPageFollows()
    {
        testsupport::ProgramFolder folder;
        folder.write("prog.cfg", testsupport::progCfg());
        testsupport::FakeServices fake(folder.path());
        monitor::Session session(fake.services());
        session.loadSettings();
        auto *page = monitor::following(session, ui::SettingsFile::Archive, new archive::ArchivePage(fake.services()));
        std::unique_ptr<ui::OptionsPage> owned(page);
        const auto form = monitor::settingsAnswer(session, {"archive", "", "127.0.0.1", "", false});
        const QString version = QJsonDocument::fromJson(QByteArray::fromStdString(form.second))["version"].toString();
        const auto saved = monitor::settingsAnswer(
            session, {"archive", QString("{\"version\":\"%1\",\"values\":{\"MinuteDays\":\"45\"}}").arg(version).toStdString(),
                      "127.0.0.1", "", true});
        QVERIFY2(saved.first == 200, saved.second.c_str());
        QCOMPARE(page->findChild<QLineEdit *>("MinuteDays")->text(), QString("45"));
    }
};

QTEST_MAIN(TestSettingsFromWeb)
#include "tst_settingsfromweb.moc"
