// SPDX-License-Identifier: GPL-3.0-or-later
// The pure parts of publishing: mqtt.cfg, the names made from it, the wind
// units home automation knows, and the table of latest values.
#include "core/Mqtt.h"

#include <QtTest>

Q_DECLARE_METATYPE(std::string)

namespace {
QString qs(const std::string &s) { return QString::fromStdString(s); }
} // namespace

class TestMqtt : public QObject {
    Q_OBJECT
private slots:
    void settingsReadBack_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << "secret";
        QTest::newRow("its own closing tag") << "a</Password>b";
        QTest::newRow("entities and brackets") << "&lt;<&amp;>&";
        QTest::newRow("empty") << "";
    }
    void settingsReadBack()
    {
        QFETCH(QString, password);
        core::MqttSettings s;
        s.on = true;
        s.host = "broker";
        s.user = "owner";
        s.password = password.toStdString();
        s.topicPrefix = "farm/<north>";
        const core::MqttSettings back = core::readMqttSettings(core::mqttSettingsText(s));
        QCOMPARE(qs(back.password), password);
        QCOMPARE(qs(back.topicPrefix), QString("farm/<north>"));
        QVERIFY(back.on);
        QCOMPARE(qs(back.discoveryPrefix), QString("homeassistant"));
    }

    void missingKeysTakeDefaults()
    {
        const core::MqttSettings s = core::readMqttSettings("<MqttOn>1</MqttOn>\r\n<Port>8883</Port>\r\n");
        QVERIFY(s.on);
        QCOMPARE(qs(s.port), QString("8883"));
        QCOMPARE(qs(s.host), QString("localhost"));
        QVERIFY(s.discovery);
        QCOMPARE(qs(s.interval), QString("1"));
        QVERIFY(!core::readMqttSettings("").on);
    }

    void names_data()
    {
        QTest::addColumn<QString>("hostName");
        QTest::addColumn<QString>("clientId");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("expectedId");
        QTest::addColumn<QString>("expectedPrefix");
        QTest::newRow("defaults") << "barn" << "" << "" << "veldra-barn" << "veldra/veldra-barn";
        QTest::newRow("dots and blanks made -") << "pi.local lan" << "" << "" << "veldra-pi-local-lan" << "veldra/veldra-pi-local-lan";
        QTest::newRow("no host name") << "" << "" << "" << "veldra-host" << "veldra/veldra-host";
        QTest::newRow("own id") << "barn" << "mill" << "" << "mill" << "veldra/mill";
        QTest::newRow("own prefix") << "barn" << "" << " farm/north " << "veldra-barn" << "farm/north";
    }
    void names()
    {
        QFETCH(QString, hostName);
        QFETCH(QString, clientId);
        QFETCH(QString, prefix);
        QFETCH(QString, expectedId);
        QFETCH(QString, expectedPrefix);
        core::MqttSettings s;
        s.clientId = clientId.toStdString();
        s.topicPrefix = prefix.toStdString();
        QCOMPARE(qs(core::clientIdOf(s, hostName.toStdString())), expectedId);
        QCOMPARE(qs(core::topicPrefixOf(s, hostName.toStdString())), expectedPrefix);
    }

    void problems_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("port 1") << "port" << "1" << true;
        QTest::newRow("port 65535") << "port" << "65535" << true;
        QTest::newRow("port with blanks") << "port" << " 8883 " << true;
        QTest::newRow("port negative") << "port" << "-1" << false;
        QTest::newRow("interval 1") << "interval" << "1" << true;
        QTest::newRow("interval with comma") << "interval" << "2,5" << true;
        QTest::newRow("interval below a second") << "interval" << "0.5" << false;
        QTest::newRow("interval empty: the default") << "interval" << "" << true;
        QTest::newRow("prefix with wildcard") << "prefix" << "farm/#" << false;
        QTest::newRow("prefix ending in /") << "prefix" << "farm/" << false;
        QTest::newRow("discovery prefix empty") << "discovery" << "" << false;
        QTest::newRow("client id with /") << "client" << "a/b" << false;
        QTest::newRow("password without user") << "password" << "x" << false;
    }
    void problems()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(bool, accepted);
        core::MqttSettings s;
        s.on = true;
        const std::string v = value.toStdString();
        if (field == "port")
            s.port = v;
        if (field == "interval")
            s.interval = v;
        if (field == "prefix")
            s.topicPrefix = v;
        if (field == "discovery")
            s.discoveryPrefix = v;
        if (field == "client")
            s.clientId = v;
        if (field == "password")
            s.password = v;
        const auto problem = core::mqttSettingsProblem(s);
        QVERIFY2(problem.has_value() != accepted, problem ? problem->c_str() : "accepted");
    }

    // Ids that differ only in what discovery refuses stay apart.
    void nodeIds_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::newRow("dot and blank") << "site.a" << "site a";
        QTest::newRow("cleaned and plain") << "site.a" << "site-a";
        QTest::newRow("two umlauts") << "m\u00fchle" << "m\u00f6hle";
    }
    void nodeIds()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        const std::string na = core::nodeId(a.toStdString()), nb = core::nodeId(b.toStdString());
        QVERIFY2(na != nb, na.c_str());
        QCOMPARE(qs(core::idText(na)), qs(na));
        QCOMPARE(qs(core::nodeId(a.toStdString())), qs(na));
        // An id with nothing to clean stays as it is.
        QCOMPARE(qs(core::nodeId("site-a_2")), QString("site-a_2"));
    }

    void homeWindUnit_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("home");
        QTest::newRow("mph") << "mph" << "mph";
        QTest::newRow("MPH with blanks") << " MPH " << "mph";
        QTest::newRow("kph") << "kph" << "km/h";
        QTest::newRow("knots") << "Knots" << "kn";
        QTest::newRow("m/s") << "m/s" << "m/s";
        QTest::newRow("unknown") << "furlongs" << "";
    }
    void homeWindUnit()
    {
        QFETCH(QString, unit);
        QFETCH(QString, home);
        QCOMPARE(qs(core::homeWindUnit(unit.toStdString()).value_or("")), home);
    }

    // Frames every `every` seconds for `seconds`, one topic: how many messages
    // go out, and the last one is the latest value.
    void outboxLimitsEachTopic_data()
    {
        QTest::addColumn<double>("interval");
        QTest::addColumn<double>("every");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("messages");
        QTest::newRow("a frame a second, each sent") << 1.0 << 1.0 << 10 << 10;
        QTest::newRow("ten frames a second, one a second") << 1.0 << 0.1 << 100 << 10;
        QTest::newRow("interval 5 s") << 5.0 << 1.0 << 20 << 4;
        QTest::newRow("frames slower than the interval") << 1.0 << 3.0 << 5 << 5;
    }
    void outboxLimitsEachTopic()
    {
        QFETCH(double, interval);
        QFETCH(double, every);
        QFETCH(int, frames);
        QFETCH(int, messages);
        core::Outbox box(interval);
        int sent = 0;
        std::string last;
        for (int i = 0; i < frames; ++i) {
            box.set("t/volts", std::to_string(i));
            for (const auto &m : box.take(1000 + i * every)) {
                ++sent;
                last = m.second;
            }
        }
        QCOMPARE(sent, messages);
        // What waits goes out once the interval is over: the latest value.
        for (const auto &m : box.take(1000 + frames * every + interval))
            last = m.second;
        QCOMPARE(qs(last), QString::number(frames - 1));
        QVERIFY(box.take(1e6).empty());
    }

    // However long the broker is away, one value per topic waits; all() gives
    // each topic's latest once.
    void outboxKeepsOnlyTheLatest()
    {
        core::Outbox box;
        for (int i = 0; i < 10000; ++i) {
            box.set("a", std::to_string(i));
            box.set("b", "x");
        }
        QCOMPARE(box.size(), size_t(2));
        const auto all = box.all(5);
        QCOMPARE(all.size(), size_t(2));
        QCOMPARE(qs(all[0].second), QString("9999"));
        QVERIFY(box.take(5.5).empty());
        box.set("a", "new");
        QVERIFY(box.take(5.5).empty());
        QCOMPARE(box.take(6).size(), size_t(1));
    }
};

QTEST_MAIN(TestMqtt)
#include "tst_mqtt.moc"
