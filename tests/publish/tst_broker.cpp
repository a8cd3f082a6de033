// Publishing against a real broker: the main window on a temporary folder fed
// by the fake port, a mosquitto started by the test, and mosquitto_sub reading
// back what arrived. Waits are generous: the suite also runs under the
// sanitizers.
#include "core/Number.h"
#include "editions/Editions.h"
#include "monitor/Logger.h"
#include "publish/MqttSettingsFile.h"
#include "publish/Publisher.h"
#include "support/Broker.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using testsupport::Broker;

namespace {
struct Rig {
    Rig(int port, const std::string &user = {}, const std::string &password = {}) : fake(folder.path())
    {
        folder.write("prog.cfg", testsupport::progCfg("1", "0", "0", "60", "0", "1", "1", "mph"));
        core::MqttSettings s;
        s.on = true;
        s.host = "127.0.0.1";
        s.port = std::to_string(port);
        s.clientId = "site-a";
        s.user = user;
        s.password = password;
        publish::writeMqttSettingsFile(folder.file("mqtt.cfg"), s);
        logger = std::make_unique<monitor::Logger>(fake.services(), editions::crestdial());
        // A frame a second of the fake clock, every 100 ms.
        feeder.setInterval(100);
        QObject::connect(&feeder, &QTimer::timeout, [this] { frame(); });
    }
    void frame()
    {
        fake.clock.advanceSeconds(1);
        ++frames;
        fake.ports.front()->feed(QStringLiteral("[<V>%1</V><I>600</I><R>%2</R><M>1</M><S>9</S>]\r\n")
                                     .arg(500 + frames % 7)
                                     .arg(20 + frames % 5)
                                     .toLatin1());
    }
    publish::Publisher *publisher() const { return logger->publisher(); }
    testsupport::ProgramFolder folder;
    testsupport::FakeServices fake;
    std::unique_ptr<monitor::Logger> logger;
    QTimer feeder;
    int frames = 0;
};

const QStringList kTopics{"veldra/site-a/#", "homeassistant/#"};
} // namespace

class TestBroker : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!Broker::available()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("mosquitto or mosquitto_sub is missing (scripts/install-deps installs them)");
            QSKIP("mosquitto or mosquitto_sub is missing; scripts/install-deps installs them");
        }
        m_broker = std::make_unique<Broker>(m_dir.path());
        QVERIFY(m_broker->start());
        m_rig = std::make_unique<Rig>(m_broker->port());
        m_rig->feeder.start();
        QTRY_VERIFY_WITH_TIMEOUT(m_rig->publisher()->connected(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(m_rig->frames > 30, 20000);
        m_seen = testsupport::subscribe(m_broker->port(), kTopics, 3);
    }

    // What a subscriber that comes later finds, all retained.
    void retained_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("key"); // a key of the JSON payload, or "" for the payload itself
        QTest::addColumn<QString>("expected");
        const QString cfg = "homeassistant/sensor/site-a/%1/config";
        QTest::newRow("availability") << "veldra/site-a/availability" << "" << "online";
        QTest::newRow("load") << "veldra/site-a/load" << "" << "ON";
        QTest::newRow("wind unit") << "veldra/site-a/wind_speed_unit" << "" << "mph";
        QTest::newRow("volts config: class") << cfg.arg("volts") << "device_class" << "voltage";
        QTest::newRow("volts config: state") << cfg.arg("volts") << "state_topic" << "veldra/site-a/volts";
        QTest::newRow("volts config: availability") << cfg.arg("volts") << "availability_topic" << "veldra/site-a/availability";
        QTest::newRow("volts config: unique") << cfg.arg("volts") << "unique_id" << "site-a_volts";
        QTest::newRow("wind config: unit") << cfg.arg("wind_speed") << "unit_of_measurement" << "mph";
        QTest::newRow("wind config: class") << cfg.arg("wind_speed") << "device_class" << "wind_speed";
        QTest::newRow("energy today: class") << cfg.arg("energy_today") << "device_class" << "energy";
        QTest::newRow("energy today: unit") << cfg.arg("energy_today") << "unit_of_measurement" << "Wh";
        QTest::newRow("energy total: state class") << cfg.arg("energy_total") << "state_class" << "total_increasing";
        QTest::newRow("energy total: device version") << cfg.arg("energy_total") << "device/sw_version" << QString(VELDRA_TEST_VERSION);
        QTest::newRow("load config") << "homeassistant/binary_sensor/site-a/load/config" << "payload_on" << "ON";
        // Every alarm from the start, as it stands (no data is on and not raised).
        QTest::newRow("no data alarm") << "veldra/site-a/alarm/no_data" << "" << "OFF";
        QTest::newRow("battery low config") << "homeassistant/binary_sensor/site-a/alarm-battery_low/config" << "device_class" << "problem";
    }
    void retained()
    {
        QFETCH(QString, topic);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QVERIFY2(m_seen.contains(topic), qPrintable("nothing on " + topic + "; got " + m_seen.keys().join(", ")));
        QVERIFY(m_seen[topic].retained);
        QString got = QString::fromUtf8(m_seen[topic].payload);
        if (!key.isEmpty()) {
            QJsonObject o = QJsonDocument::fromJson(m_seen[topic].payload).object();
            const QStringList path = key.split('/');
            for (int i = 0; i + 1 < path.size(); ++i)
                o = o.value(path[i]).toObject();
            got = o.value(path.last()).toString();
        }
        QCOMPARE(got, expected);
    }

    // The values are those the window shows, with "." whatever the locale.
    void values()
    {
        const char old = core::decimalSeparator();
        core::setDecimalSeparator(',');
        m_rig->feeder.stop();
        m_rig->fake.clock.advanceSeconds(5);
        m_rig->frame();
        const monitor::Logger &w = *m_rig->logger;
        const QMap<QString, QByteArray> expected{
            {"volts", QByteArray::fromStdString(core::dotNumberText(w.reading().Volts))},
            {"amps", QByteArray::fromStdString(core::dotNumberText(w.reading().Amps))},
            {"watts", QByteArray::fromStdString(core::dotNumberText(w.reading().Watts))},
            {"rpm", QByteArray::fromStdString(core::dotNumberText(w.reading().RPM))},
            {"wind_speed", QByteArray::fromStdString(core::dotNumberText(w.reading().WindSpeed))}};
        QVERIFY(expected["volts"].contains('.'));
        QMap<QString, testsupport::Received> seen;
        QTRY_VERIFY_WITH_TIMEOUT((seen = testsupport::subscribe(m_broker->port(), kTopics, 1),
                                  seen["veldra/site-a/volts"].payload == expected["volts"]),
                                 20000);
        core::setDecimalSeparator(old);
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QCOMPARE(seen["veldra/site-a/" + it.key()].payload, it.value());
        QVERIFY(seen["veldra/site-a/energy_total"].payload.toDouble() >= 0);
        m_rig->feeder.start();
    }

    // The broker stopped and started again while frames flow: the window goes
    // on, and the client reconnects and publishes everything again.
    void brokerRestart()
    {
        m_broker->stop();
        QTRY_VERIFY_WITH_TIMEOUT(!m_rig->publisher()->connected(), 20000);
        QVERIFY(m_rig->publisher()->statusText().contains("Not connected"));
        const int before = m_rig->frames;
        QTRY_VERIFY_WITH_TIMEOUT(m_rig->frames > before + 20, 20000);
        QVERIFY(m_rig->logger->windowTitle().startsWith("Logger"));
        QVERIFY(m_broker->start());
        QTRY_VERIFY_WITH_TIMEOUT(m_rig->publisher()->connected(), 90000);
        // The restarted broker kept nothing: all of this was sent again. A
        // subscriber gets it as retained once it has reached the broker, which
        // may be a moment after the connection is back.
        const QStringList again{"veldra/site-a/availability", "veldra/site-a/volts", "veldra/site-a/energy_today",
                                "homeassistant/sensor/site-a/volts/config",
                                "homeassistant/binary_sensor/site-a/load/config"};
        QMap<QString, testsupport::Received> seen;
        const auto allRetained = [&] {
            seen = testsupport::subscribe(m_broker->port(), kTopics, 2);
            for (const QString &t : again)
                if (!seen.contains(t) || !seen[t].retained)
                    return false;
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(allRetained(), 30000);
        QCOMPARE(seen["veldra/site-a/availability"].payload, QByteArray("online"));
    }

    // Stale data marks the device offline; the next live frame online again.
    void staleIsOffline()
    {
        m_rig->feeder.stop();
        m_rig->fake.clock.advanceSeconds(20);
        QTRY_COMPARE_WITH_TIMEOUT(testsupport::subscribe(m_broker->port(), {"veldra/site-a/availability"}, 1)
                                      .value("veldra/site-a/availability")
                                      .payload,
                                  QByteArray("offline"), 20000);
        m_rig->frame();
        QTRY_COMPARE_WITH_TIMEOUT(testsupport::subscribe(m_broker->port(), {"veldra/site-a/availability"}, 1)
                                      .value("veldra/site-a/availability")
                                      .payload,
                                  QByteArray("online"), 20000);
    }

    // A wrong password: a clear status, and tries only as the delay grows.
    void wrongPassword()
    {
        QTemporaryDir dir;
        Broker guarded(dir.path());
        QVERIFY(guarded.requirePassword("owner", "right"));
        QVERIFY(guarded.start());
        Rig rig(guarded.port(), "owner", "wrong");
        QTRY_VERIFY2_WITH_TIMEOUT(rig.publisher()->statusText().contains("not authorised"),
                                  qPrintable(rig.publisher()->statusText()), 20000);
        QVERIFY(rig.publisher()->statusText().contains("user name and password"));
        QTest::qWait(10000);
        // Tries 1, 4 and 9 s apart: at most 4 in these 10 s; a storm is hundreds.
        QVERIFY2(guarded.connections() <= 5, qPrintable(QString::number(guarded.connections())));
        QVERIFY(guarded.connections() >= 2);
        QVERIFY(!rig.publisher()->connected());
    }

    void cleanupTestCase()
    {
        m_rig.reset();
        m_broker.reset();
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Broker> m_broker;
    std::unique_ptr<Rig> m_rig;
    QMap<QString, testsupport::Received> m_seen;
};

QTEST_MAIN(TestBroker)
#include "tst_broker.moc"
