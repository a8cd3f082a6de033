// SPDX-License-Identifier: GPL-3.0-or-later
// A settings page saved from the browser writes, byte for byte, the file its
// page in the Options window writes for the same input.
#include "alarms/AlarmsPage.h"
#include "archive/ArchivePage.h"
#include "history/TurbinePage.h"
#include "monitor/RoomPages.h"
#include "monitor/Session.h"
#include "monitor/SettingsFromWeb.h"
#include "publish/MqttPage.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QtTest>

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
                                                 "RatedPower=1000";
        QTest::newRow("mqtt typed") << "mqtt"
                                    << "MqttOn=1;Host= Broker.lan ;Port=8883;User=veldra;Password=p & ä;"
                                       "ClientId=barn;TopicPrefix=wind/höhe;Discovery=0;Interval=";
    }
    void sameFileAsTheWindow()
    {
        QFETCH(QString, page);
        QFETCH(QString, typed);
        testsupport::ProgramFolder folder;
        folder.write("prog.cfg", testsupport::progCfg());
        testsupport::FakeServices fake(folder.path());
        const QString file = folder.file(page + ".cfg");
        QMap<QString, QString> values;
        for (const QString &pair : typed.split(';', Qt::SkipEmptyParts))
            values[pair.section('=', 0, 0)] = pair.section('=', 1);

        // In the window.
        std::unique_ptr<ui::OptionsPage> window;
        if (page == "alarms")
            window = std::make_unique<alarms::AlarmsPage>(fake.services(), "mph");
        else if (page == "turbine")
            window = std::make_unique<history::TurbinePage>(fake.services());
        else if (page == "archive")
            window = std::make_unique<archive::ArchivePage>(fake.services());
        else
            window = std::make_unique<publish::MqttPage>(fake.services(), nullptr);
        for (auto it = values.begin(); it != values.end(); ++it) {
            if (auto *tick = window->findChild<QCheckBox *>(it.key()))
                tick->setChecked(it.value() == "1");
            else if (auto *entry = window->findChild<QLineEdit *>(it.key()))
                entry->setText(it.value());
            else
                QFAIL(qPrintable("no control " + it.key()));
        }
        QVERIFY2(window->save(), qPrintable(fake.messages.texts.join('\n')));
        const QByteArray fromWindow = folder.read(page + ".cfg");
        QVERIFY(!fromWindow.isEmpty());
        QVERIFY(QFile::remove(file));

        // From the browser: the form, then the same texts.
        monitor::Session session(fake.services());
        session.loadSettings();
        const auto form = monitor::settingsAnswer(session, {page.toStdString(), "", "127.0.0.1", "", false});
        QCOMPARE(form.first, 200);
        QJsonObject body{{"version", QJsonDocument::fromJson(QByteArray::fromStdString(form.second))["version"]}};
        QVariantMap map;
        for (auto it = values.begin(); it != values.end(); ++it)
            map[it.key()] = it.value();
        body["values"] = QJsonObject::fromVariantMap(map);
        const auto saved = monitor::settingsAnswer(
            session, {page.toStdString(), QJsonDocument(body).toJson().toStdString(), "127.0.0.1", "", true});
        QVERIFY2(saved.first == 200, saved.second.c_str());
        QCOMPARE(folder.read(page + ".cfg"), fromWindow);
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
