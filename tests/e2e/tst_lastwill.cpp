// SPDX-License-Identifier: GPL-3.0-or-later
// The built program publishing to a real broker, fed through a pseudo-terminal:
// its program topic says "online" while it runs; killed, the broker's last
// will says "offline" there.
#include "publish/MqttSettingsFile.h"
#include "support/Broker.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QtTest>
#include <csignal>

using testsupport::Broker;

class TestLastWill : public QObject {
    Q_OBJECT
private slots:
    void killedProgramGoesOffline()
    {
        if (!Broker::available()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("mosquitto or mosquitto_sub is missing (scripts/install-deps installs them)");
            QSKIP("mosquitto or mosquitto_sub is missing; scripts/install-deps installs them");
        }
        testsupport::ProgramFolder folder;
        Broker broker(folder.path());
        QVERIFY(broker.start());
        QVERIFY(publish::writeMqttSettingsFile(folder.file("mqtt.cfg"), testsupport::mqttTo(broker.port(), "site-b")));

        // Everything on the program topic, in order, as it comes.
        QProcess watcher;
        watcher.start("mosquitto_sub",
                      {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-t", "veldra/site-b/program"});
        QVERIFY(watcher.waitForStarted());
        QByteArray said;
        auto heard = [&](const QByteArray &word) {
            said += watcher.readAllStandardOutput();
            return said.split('\n').contains(word);
        };

        testsupport::Pty pty(folder.file("COM1"));
        QVERIFY(pty.ok());
        QProcess program;
        const QString exe = testsupport::installProgram(folder.path(), "crestdial", testsupport::progCfg("1"),
                                                        QString(), program);
        QVERIFY(!exe.isEmpty());
        QProcessEnvironment env = program.processEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(env);
        program.start(exe, {});
        QVERIFY(program.waitForStarted());
        QElapsedTimer t;
        t.start();
        while (!heard("online") && t.elapsed() < 30000) {
            pty.send("[<V>614.4</V><I>612</I><R>5</R><S>8</S><M>0</M>]\r\n");
            QTest::qWait(200);
        }
        QVERIFY2(heard("online"), said.constData());
        said.clear();

        QVERIFY(testsupport::signalProcess(program, SIGKILL));
        QVERIFY(program.waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(heard("offline"), 30000);
        // Retained: a subscriber that comes later learns it too.
        QCOMPARE(testsupport::subscribe(broker.port(), {"veldra/site-b/program"}, 1)
                     .value("veldra/site-b/program")
                     .payload,
                 QByteArray("offline"));
        watcher.kill();
        watcher.waitForFinished();
    }
};

QTEST_MAIN(TestLastWill)
#include "tst_lastwill.moc"
