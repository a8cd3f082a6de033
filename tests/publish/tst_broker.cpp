// SPDX-License-Identifier: GPL-3.0-or-later
// Publishing against a real broker: the main window on a temporary folder fed
// by the fake port, a mosquitto started by the test, and mosquitto_sub reading
// back what arrived. Waits are generous: the suite also runs under the
// sanitizers. The retry delays are shortened; the no-data alarm comes after
// 3 s. ctest preloads a shim that makes the name "slow-lookup.test" slow.
#include "alarms/AlarmWatch.h"
#include "core/Alarms.h"
#include "core/Number.h"
#include "editions/Editions.h"
#include "monitor/Logger.h"
#include "publish/MqttClient.h"
#include "publish/MqttPage.h"
#include "publish/MqttSettingsFile.h"
#include "publish/Publisher.h"
#include "support/Broker.h"
#include "support/TestSupport.h"
#include "ui/Options.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <dlfcn.h>

using testsupport::Broker;

namespace {
using testsupport::mqttTo;

struct Rig {
    explicit Rig(const core::MqttSettings &s) : fake(folder.path())
    {
        folder.write("prog.cfg", testsupport::progCfg("1", "0", "0", "60", "0", "1", "1", "mph"));
        core::AlarmSettings alarms;
        alarms.threshold[size_t(core::AlarmId::NoData)] = 3;
        alarms.holdSeconds = 0;
        folder.write("alarms.cfg", QByteArray::fromStdString(core::alarmSettingsText(alarms)));
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
    // As the Options window's Save does for the MQTT page.
    void setMqtt(const core::MqttSettings &s)
    {
        publish::writeMqttSettingsFile(folder.file("mqtt.cfg"), s);
        publisher()->reload();
    }
    testsupport::ProgramFolder folder;
    testsupport::FakeServices fake;
    std::unique_ptr<monitor::Logger> logger;
    QTimer feeder;
    int frames = 0;
};

const QStringList kTopics{"veldra/site-a/#", "homeassistant/#"};

QByteArray retainedPayload(int port, const QString &topic)
{
    const auto seen = testsupport::subscribe(port, {topic}, 1);
    return seen.value(topic).retained ? seen.value(topic).payload : QByteArray("(none)");
}

// Polls `ok` until it holds or `ms` of real time have passed. (QTRY counts
// each try as its step, however long a subscription takes.)
template <typename Ok>
bool eventually(Ok ok, int ms = 20000)
{
    QElapsedTimer t;
    t.start();
    while (!ok()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(100);
    }
    return true;
}

// The retained payload of `topic` once it is `expected`, or the last seen.
QByteArray retainedOnce(int port, const QString &topic, const QByteArray &expected)
{
    QByteArray got;
    eventually([&] { return (got = retainedPayload(port, topic)) == expected; });
    return got;
}

// A certificate authority, or a server certificate for 127.0.0.1 signed by one.
bool openssl(const QString &dir, const QStringList &args)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start("openssl", args);
    return p.waitForFinished(30000) && p.exitCode() == 0;
}
bool makeCa(const QString &dir, const QString &name)
{
    return openssl(dir, {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                         "-keyout", name + ".key", "-out", name + ".crt", "-days", "2", "-subj", "/CN=" + name});
}
bool makeServerCertificate(const QString &dir, const QString &ca)
{
    QFile ext(dir + "/server.ext");
    ext.open(QIODevice::WriteOnly);
    ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    ext.close();
    return openssl(dir, {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                         "server.key", "-out", "server.csr", "-subj", "/CN=localhost"})
           && openssl(dir, {"x509", "-req", "-in", "server.csr", "-CA", ca + ".crt", "-CAkey", ca + ".key",
                            "-CAcreateserial", "-out", "server.crt", "-days", "2", "-extfile", "server.ext"});
}
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
        // Children (broker, subscribers) go without the shim.
        m_slowLookup = dlsym(RTLD_DEFAULT, "veldra_slow_lookup_loaded") != nullptr;
        qunsetenv("LD_PRELOAD");
        publish::MqttClient::setRetryDelays(0.2, 2);
        m_broker = std::make_unique<Broker>(m_dir.path());
        QVERIFY(m_broker->start());
        // Every config of the wind sensor, from the start.
        m_windConfigs.start("mosquitto_sub", {"-h", "127.0.0.1", "-p", QString::number(m_broker->port()), "-t",
                                              "homeassistant/sensor/site-a/wind_speed/config"});
        QVERIFY(m_windConfigs.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(m_broker->logCount("Received SUBSCRIBE") == 1, 10000);
        m_rig = std::make_unique<Rig>(mqttTo(m_broker->port()));
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
        const QString alarmCfg = "homeassistant/binary_sensor/site-a/alarm-%1/config";
        QTest::newRow("availability") << "veldra/site-a/availability" << "" << "online";
        QTest::newRow("program") << "veldra/site-a/program" << "" << "online";
        QTest::newRow("load") << "veldra/site-a/load" << "" << "ON";
        QTest::newRow("wind unit") << "veldra/site-a/wind_speed_unit" << "" << "mph";
        QTest::newRow("volts config: class") << cfg.arg("volts") << "device_class" << "voltage";
        QTest::newRow("volts config: state") << cfg.arg("volts") << "state_topic" << "veldra/site-a/volts";
        // Live values need the program and live data; alarms and totals the program only.
        QTest::newRow("volts config: availability") << cfg.arg("volts") << "availability" << "veldra/site-a/program veldra/site-a/availability";
        QTest::newRow("volts config: mode") << cfg.arg("volts") << "availability_mode" << "all";
        QTest::newRow("volts config: one form") << cfg.arg("volts") << "availability_topic" << "";
        QTest::newRow("load config: availability") << "homeassistant/binary_sensor/site-a/load/config" << "availability" << "veldra/site-a/program veldra/site-a/availability";
        QTest::newRow("energy today: availability") << cfg.arg("energy_today") << "availability" << "veldra/site-a/program";
        QTest::newRow("energy total: availability") << cfg.arg("energy_total") << "availability" << "veldra/site-a/program";
        QTest::newRow("no data config: availability") << alarmCfg.arg("no_data") << "availability" << "veldra/site-a/program";
        QTest::newRow("high wind config: availability") << alarmCfg.arg("high_wind") << "availability" << "veldra/site-a/program";
        QTest::newRow("volts config: model, whichever edition") << cfg.arg("volts") << "device/model" << "Wind turbine monitor";
        QTest::newRow("volts config: unique") << cfg.arg("volts") << "unique_id" << "site-a_volts";
        QTest::newRow("wind config: unit") << cfg.arg("wind_speed") << "unit_of_measurement" << "mph";
        QTest::newRow("wind config: class") << cfg.arg("wind_speed") << "device_class" << "wind_speed";
        QTest::newRow("energy today: class") << cfg.arg("energy_today") << "device_class" << "energy";
        QTest::newRow("energy today: unit") << cfg.arg("energy_today") << "unit_of_measurement" << "Wh";
        // Net energy may go down a little: not a meter reset.
        QTest::newRow("energy today: state class") << cfg.arg("energy_today") << "state_class" << "total";
        QTest::newRow("energy total: state class") << cfg.arg("energy_total") << "state_class" << "total";
        QTest::newRow("energy total: device version") << cfg.arg("energy_total") << "device/sw_version" << QString(VELDRA_TEST_VERSION);
        QTest::newRow("month's availability: unit") << cfg.arg("availability_month") << "unit_of_measurement" << "%";
        QTest::newRow("month's availability: program only") << cfg.arg("availability_month") << "availability" << "veldra/site-a/program";
        QTest::newRow("load config") << "homeassistant/binary_sensor/site-a/load/config" << "payload_on" << "ON";
        // Every alarm from the start, as it stands (no data is on and not raised).
        QTest::newRow("no data alarm") << "veldra/site-a/alarm/no_data" << "" << "OFF";
        QTest::newRow("battery low config") << "homeassistant/binary_sensor/site-a/alarm-battery_low/config" << "device_class" << "problem";
        QTest::newRow("under-performing alarm") << "veldra/site-a/alarm/under_performing" << "" << "OFF";
        QTest::newRow("under-performing config: name") << "homeassistant/binary_sensor/site-a/alarm-under_performing/config" << "name" << "Under-performing";
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
            const QJsonValue v = o.value(path.last());
            got = v.toString();
            // An availability list: its topics.
            for (const QJsonValue &item : v.toArray())
                got += (got.isEmpty() ? "" : " ") + item.toObject().value("topic").toString();
        }
        QCOMPARE(got, expected);
    }

    // The wind sensor's config is sent once, with the unit of the settings.
    void discoveryOnceWithTheUnit()
    {
        QByteArray said = m_windConfigs.readAllStandardOutput();
        QCOMPARE(said.count('\n'), 1);
        QCOMPARE(QJsonDocument::fromJson(said).object().value("unit_of_measurement").toString(), QString("mph"));
        m_windConfigs.kill();
        m_windConfigs.waitForFinished();
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
    // The MQTT page, open meanwhile, and the Options button's tool tip
    // follow the connection's state.
    void brokerRestart()
    {
        bool pageOpen = false;
        m_rig->fake.modal.onRun = [&](QDialog *d) {
            auto *page = qobject_cast<ui::Options *>(d)->page<publish::MqttPage>();
            QVERIFY(page->Status->text().startsWith("Connected to 127.0.0.1:"));
            m_broker->stop();
            QTRY_VERIFY_WITH_TIMEOUT(!m_rig->publisher()->connected(), 20000);
            QCOMPARE(page->Status->text(), m_rig->publisher()->statusText());
            QCOMPARE(m_rig->logger->OptionsButton->toolTip(), m_rig->publisher()->statusText());
            pageOpen = true;
        };
        m_rig->logger->OptionsButton->click();
        m_rig->fake.modal.onRun = nullptr;
        QVERIFY(pageOpen);
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
        // The no-data alarm is raised, and its entity (program only) stays available.
        QCOMPARE(retainedOnce(m_broker->port(), "veldra/site-a/alarm/no_data", "ON"), QByteArray("ON"));
        QCOMPARE(retainedPayload(m_broker->port(), "veldra/site-a/program"), QByteArray("online"));
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
        core::MqttSettings s = mqttTo(guarded.port());
        s.user = "owner";
        s.password = "wrong";
        Rig rig(s);
        QTRY_VERIFY2_WITH_TIMEOUT(rig.publisher()->statusText().contains("not authorised"),
                                  qPrintable(rig.publisher()->statusText()), 20000);
        QVERIFY(rig.publisher()->statusText().contains("user name and password"));
        const int before = guarded.connections();
        QTest::qWait(5000);
        // Tries 0.8, 1.8, 2 s apart: at most 4 more in 5 s; a storm is hundreds.
        QVERIFY2(guarded.connections() - before <= 4, qPrintable(QString::number(guarded.connections())));
        QVERIFY(guarded.connections() >= 2);
        QVERIFY(!rig.publisher()->connected());
    }

    // A broker whose certificate the CA file does not vouch for: the status
    // says why and tries go on, spaced out; once the broker has the right
    // certificate, values flow without touching the settings.
    void tlsWrongThenRightCa()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        QVERIFY(makeCa(d, "ours") && makeCa(d, "other") && makeServerCertificate(d, "other"));
        Broker broker(d);
        broker.addTlsListener(d + "/server.crt", d + "/server.key");
        QVERIFY(broker.start());
        core::MqttSettings s = mqttTo(broker.tlsPort(), "site-t");
        s.tls = true;
        s.caFile = (d + "/ours.crt").toStdString();
        Rig rig(s);
        rig.feeder.start();
        QTRY_VERIFY2_WITH_TIMEOUT(rig.publisher()->statusText().contains("certificate verify failed"),
                                  qPrintable(rig.publisher()->statusText()), 20000);
        QVERIFY(rig.publisher()->statusText().contains("Trying again"));
        const int before = broker.connections();
        QTest::qWait(4000);
        const int tries = broker.connections() - before;
        QVERIFY2(tries >= 1 && tries <= 5, qPrintable(QString::number(tries)));
        QVERIFY(!rig.publisher()->connected());

        broker.stop();
        QVERIFY(makeServerCertificate(d, "ours"));
        QVERIFY(broker.start());
        QTRY_VERIFY2_WITH_TIMEOUT(rig.publisher()->connected(), qPrintable(rig.publisher()->statusText()), 30000);
        QCOMPARE(retainedOnce(broker.port(), "veldra/site-t/program", "online"), QByteArray("online"));
        QVERIFY(eventually([&] { return retainedPayload(broker.port(), "veldra/site-t/volts") != "(none)"; }));
    }

    // MQTT switched on during a run publishes the alarms as they stand.
    void switchedOnWithAnAlarmRaised()
    {
        core::MqttSettings s = mqttTo(m_broker->port(), "site-d");
        s.on = false;
        Rig rig(s);
        rig.fake.clock.advanceSeconds(30);
        QTRY_VERIFY_WITH_TIMEOUT(rig.logger->alarmWatch()->raised(core::AlarmId::NoData), 20000);
        s.on = true;
        rig.setMqtt(s);
        QCOMPARE(retainedOnce(m_broker->port(), "veldra/site-d/alarm/no_data", "ON"), QByteArray("ON"));
        QCOMPARE(retainedPayload(m_broker->port(), "veldra/site-d/alarm/battery_low"), QByteArray("OFF"));
    }

    // A new client id: what the old one left on the broker is cleared; at
    // exit the program topic says offline.
    void clientIdChanged()
    {
        const QStringList oldTopics{"veldra/site-e/#", "homeassistant/+/site-e/#"};
        auto rig = std::make_unique<Rig>(mqttTo(m_broker->port(), "site-e"));
        rig->feeder.start();
        QVERIFY(eventually([&] { return testsupport::subscribe(m_broker->port(), oldTopics, 1).size() > 20; }));
        // The same settings saved again (or SIGHUP): the connection stays.
        auto *client = rig->publisher()->findChild<publish::MqttClient *>();
        QVERIFY(client);
        rig->setMqtt(mqttTo(m_broker->port(), "site-e"));
        QCOMPARE(rig->publisher()->findChildren<publish::MqttClient *>(), QList<publish::MqttClient *>{client});
        QVERIFY(rig->publisher()->connected());
        rig->setMqtt(mqttTo(m_broker->port(), "site-f"));
        QTRY_VERIFY_WITH_TIMEOUT(rig->publisher()->connected(), 20000);
        QStringList left;
        QVERIFY2(eventually([&] {
                     return (left = testsupport::subscribe(m_broker->port(), oldTopics, 1).keys()).isEmpty();
                 }),
                 qPrintable(left.join(", ")));
        QCOMPARE(retainedOnce(m_broker->port(), "veldra/site-f/alarm/no_data", "OFF"), QByteArray("OFF"));
        QVERIFY(retainedPayload(m_broker->port(), "homeassistant/sensor/site-f/volts/config") != "(none)");
        rig.reset();
        QCOMPARE(retainedPayload(m_broker->port(), "veldra/site-f/program"), QByteArray("offline"));
    }

    // A name that does not resolve: the status says so, and it is tried
    // again and again, spaced out.
    void unknownNameIsRetried()
    {
        if (!m_slowLookup)
            QSKIP("the slow-lookup shim is not preloaded; run through ctest");
        const auto *lookups = static_cast<const int *>(dlsym(RTLD_DEFAULT, "veldra_failed_lookups"));
        QVERIFY(lookups);
        core::MqttSettings s = mqttTo(m_broker->port(), "site-n");
        s.host = "no-such-host.test";
        Rig rig(s);
        QTRY_VERIFY_WITH_TIMEOUT(__atomic_load_n(lookups, __ATOMIC_SEQ_CST) > 0, 20000);
        const int before = __atomic_load_n(lookups, __ATOMIC_SEQ_CST);
        QTest::qWait(4000);
        const int tries = __atomic_load_n(lookups, __ATOMIC_SEQ_CST) - before;
        QVERIFY2(tries >= 2 && tries <= 6, qPrintable(QString::number(tries)));
        QVERIFY2(rig.publisher()->statusText().contains("name could not be looked up"),
                 qPrintable(rig.publisher()->statusText()));
    }

    // A name lookup that takes seconds: saving the settings and exit never
    // wait for it; the old connection ends on its own.
    void slowLookup()
    {
        if (!m_slowLookup) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("the slow-lookup shim is not preloaded (ctest sets LD_PRELOAD)");
            QSKIP("the slow-lookup shim is not preloaded; run through ctest");
        }
        const int lookupMs = 4000;
        qputenv("SLOW_LOOKUP_MS", QByteArray::number(lookupMs));
        const int threads = publish::MqttClient::threadsRunning();
        core::MqttSettings s = mqttTo(m_broker->port(), "site-s");
        s.host = "slow-lookup.test";
        auto rig = std::make_unique<Rig>(s);
        QElapsedTimer t;
        t.start();
        // Saved again while the first lookup is under way, with the old
        // connection's cleanup (deleteLater) run at once.
        s.topicPrefix = "farm/site-s";
        rig->setMqtt(s);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(t.elapsed() < lookupMs / 2, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(publish::MqttClient::threadsRunning(), threads + 2);
        QTRY_VERIFY_WITH_TIMEOUT(rig->publisher()->connected(), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(publish::MqttClient::threadsRunning(), threads + 1, 30000);
        QCOMPARE(retainedOnce(m_broker->port(), "farm/site-s/program", "online"), QByteArray("online"));

        // Exit during a lookup waits at most a second.
        s.topicPrefix.clear();
        rig->setMqtt(s);
        t.start();
        rig.reset();
        QVERIFY2(t.elapsed() < lookupMs / 2, qPrintable(QString::number(t.elapsed())));
        QTRY_COMPARE_WITH_TIMEOUT(publish::MqttClient::threadsRunning(), threads, 30000);
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
    QProcess m_windConfigs;
    bool m_slowLookup = false;
};

QTEST_MAIN(TestBroker)
#include "tst_broker.moc"
