// SPDX-License-Identifier: GPL-3.0-or-later
// The MQTT page of the Options window: what it refuses (a message, nothing
// saved), what it saves, and that the file is owner-only and the password
// never shown back.
#include "publish/MqttPage.h"
#include "publish/MqttSettingsFile.h"
#include "support/TestSupport.h"
#include "ui/Options.h"

#include <QDir>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {
// The Options window with the MQTT page, as the main window opens it.
struct MqttWindow {
    explicit MqttWindow(testsupport::FakeServices &fake) : page(new publish::MqttPage(fake.services(), nullptr))
    {
        options.addPage(page, "MQTT");
    }
    publish::MqttPage *operator->() const { return page; }
    void Save_Click() { options.Save_Click(); }
    int result() const { return options.result(); }
    ui::Options options;
    publish::MqttPage *page;
};
} // namespace

class TestMqttWindow : public QObject {
    Q_OBJECT
private slots:
    void refused_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("caFile");
        QTest::addColumn<QString>("message");
        QTest::newRow("port 0") << true << "broker" << "0" << false << "" << "port must be a whole number";
        QTest::newRow("port too high") << true << "broker" << "65536" << false << "" << "port must be a whole number";
        QTest::newRow("port a fraction") << true << "broker" << "1883.5" << false << "" << "port must be a whole number";
        QTest::newRow("port text") << true << "broker" << "mqtt" << false << "" << "port must be a whole number";
        QTest::newRow("port empty, MQTT off") << false << "broker" << "" << false << "" << "port must be a whole number";
        QTest::newRow("no host with MQTT on") << true << "  " << "1883" << false << "" << "host name or address";
        QTest::newRow("TLS without a CA file") << true << "broker" << "8883" << true << "" << "CA file";
        QTest::newRow("CA file missing") << true << "broker" << "8883" << true << "/nonexistent/ca.crt" << "/nonexistent/ca.crt does not exist";
    }
    void refused()
    {
        QFETCH(bool, on);
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(bool, tls);
        QFETCH(QString, caFile);
        QFETCH(QString, message);
        testsupport::ProgramFolder folder;
        testsupport::FakeServices fake(folder.path());
        MqttWindow w(fake);
        w->MqttOn->setChecked(on);
        w->Host->setText(host);
        w->Port->setText(port);
        w->Tls->setChecked(tls);
        w->CaFile->setText(caFile);
        w.Save_Click();
        QCOMPARE(fake.messages.texts.size(), 1);
        QVERIFY2(fake.messages.texts[0].contains(QDir::toNativeSeparators(message)), qPrintable(fake.messages.texts[0]));
        QVERIFY(fake.messages.texts[0].contains("Nothing was saved"));
        QVERIFY(!folder.exists("mqtt.cfg"));
        QVERIFY(w.result() != QDialog::Accepted);
    }

    // The stored password goes only to the host it was typed for.
    void passwordOnANewHost_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<bool>("hinted");
        QTest::newRow("same host keeps it") << "broker.lan" << "" << "old" << false;
        QTest::newRow("same host, other case") << "Broker.LAN" << "" << "old" << false;
        QTest::newRow("new host drops it") << "evil.example" << "" << "" << true;
        QTest::newRow("new host, one typed") << "other.lan" << "new" << "new" << true;
    }
    void passwordOnANewHost()
    {
        QFETCH(QString, host);
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QFETCH(bool, hinted);
        testsupport::ProgramFolder folder;
        testsupport::FakeServices fake(folder.path());
        core::MqttSettings s;
        s.on = true;
        s.host = "broker.lan";
        s.user = "owner";
        s.password = "old";
        QVERIFY(publish::writeMqttSettingsFile(folder.file("mqtt.cfg"), s));
        MqttWindow w(fake);
        w->Host->setText(host);
        w->Password->setText(typed);
        // The window tells before Save.
        QCOMPARE(w->Password->toolTip().contains("not sent to a new host"), hinted);
        QCOMPARE(w->Password->placeholderText().contains("new host"), hinted);
        w.Save_Click();
        QCOMPARE(fake.messages.texts, QStringList());
        QCOMPARE(QString::fromStdString(publish::readMqttSettingsFile(folder.file("mqtt.cfg")).password), saved);
    }

    // An empty interval is the default; the CA file can be chosen.
    void intervalDefaultAndCaChooser()
    {
        testsupport::ProgramFolder folder;
        testsupport::FakeServices fake(folder.path());
        folder.write("ca.crt", "x");
        MqttWindow w(fake);
        w->MqttOn->setChecked(true);
        w->Tls->setChecked(true);
        w->Interval->clear();
        fake.files.answer = folder.file("ca.crt");
        w->CaFileButton->click();
        QCOMPARE(fake.files.asked.size(), 1);
        QCOMPARE(w->CaFile->text(), QDir::toNativeSeparators(folder.file("ca.crt")));
        fake.files.answer.clear(); // cancelled: the entry stays
        w->CaFileButton->click();
        QCOMPARE(w->CaFile->text(), QDir::toNativeSeparators(folder.file("ca.crt")));
        w.Save_Click();
        QCOMPARE(fake.messages.texts, QStringList());
        const core::MqttSettings s = publish::readMqttSettingsFile(folder.file("mqtt.cfg"));
        QCOMPARE(s.interval, std::string("1"));
        QCOMPARE(QString::fromStdString(s.caFile), QDir::toNativeSeparators(folder.file("ca.crt")));
    }

    void savedOwnerOnlyPasswordNeverShown()
    {
        testsupport::ProgramFolder folder;
        testsupport::FakeServices fake(folder.path());
        {
            MqttWindow w(fake);
            QVERIFY(w->ClientId->placeholderText().startsWith("veldra-"));
            w->MqttOn->setChecked(true);
            w->Host->setText("broker.lan");
            w->Port->setText("1884");
            w->User->setText("owner");
            w->Password->setText("s3cret</Password>&");
            w.Save_Click();
            QCOMPARE(fake.messages.texts, QStringList());
            QCOMPARE(w.result(), int(QDialog::Accepted));
        }
#ifndef Q_OS_WIN // there the user's profile keeps it to its owner
        QCOMPARE(QFile::permissions(folder.file("mqtt.cfg")) & QFileDevice::Permissions(0x7077),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
        core::MqttSettings s = publish::readMqttSettingsFile(folder.file("mqtt.cfg"));
        QCOMPARE(s.password, std::string("s3cret</Password>&"));
        QCOMPARE(s.port, std::string("1884"));

        // Opened again: the password entry is empty; saved so, the password stays.
        MqttWindow again(fake);
        QCOMPARE(again->Password->text(), QString());
        QCOMPARE(again->Host->text(), QString("broker.lan"));
        again->Interval->setText("5");
        again.Save_Click();
        s = publish::readMqttSettingsFile(folder.file("mqtt.cfg"));
        QCOMPARE(s.password, std::string("s3cret</Password>&"));
        QCOMPARE(s.interval, std::string("5"));
#ifndef Q_OS_WIN // there the user's profile keeps it to its owner
        QCOMPARE(QFile::permissions(folder.file("mqtt.cfg")) & QFileDevice::Permissions(0x7077),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
    }
};

QTEST_MAIN(TestMqttWindow)
#include "tst_mqttwindow.moc"
