// SPDX-License-Identifier: GPL-3.0-or-later
// veldra-service end to end, with no display and no Qt platform at all: a
// fresh folder whose port cannot open at first, a pseudo-terminal as COM1
// after SIGHUP, a real broker. Fed frames it keeps the energy, publishes,
// takes up a changed alarms.cfg at SIGHUP, keeps a second program off its
// folder, and at SIGTERM leaves every file readable with "offline" on the
// broker. Its lines carry the journal's priority when standard error is the
// journal's stream.
#include "archive/ArchiveDb.h"
#include "core/Alarms.h"
#include "core/EnergyBook.h"
#include "publish/MqttSettingsFile.h"
#include "web/WebSettingsFile.h"
#include "support/Broker.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QtTest>
#include <algorithm>
#include <csignal>
#include <sys/stat.h>

using testsupport::Broker;

namespace {
// 15 V and 10 A with the delivered calibration.
const QByteArray kFrame = "[<V>614.4</V><I>612</I><R>5</R><S>8</S><M>0</M>]\r\n";
} // namespace

class TestService : public QObject {
    Q_OBJECT
private slots:
    // A window program started without a display says so and names the
    // service, rather than aborting with Qt's plugin message.
    void windowsSayThereIsNoDisplay()
    {
        testsupport::ProgramFolder folder;
        QProcess window;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        window.setProcessEnvironment(env);
        window.start(qEnvironmentVariable("VELDRA_BIN") + "/crestdial", {"--folder", folder.path()});
        QVERIFY(window.waitForFinished(20000));
        QCOMPARE(window.exitStatus(), QProcess::NormalExit);
        QCOMPARE(window.exitCode(), 1);
        QVERIFY(window.readAllStandardError().contains("there is no display to show the window on"));
    }

    // A new, empty folder gets the delivered files and one line that names them.
    void newFolderMadeReady()
    {
        QTemporaryDir folder;
        QProcess service;
        service.start(qEnvironmentVariable("VELDRA_BIN") + "/veldra-service", {"--folder", folder.path()});
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += service.readAllStandardError()).contains("Running on the folder"), 20000);
        service.terminate();
        QVERIFY(service.waitForFinished(10000));
        said += service.readAllStandardError();
        QCOMPARE(said.count("made ready"), 1);
        QVERIFY2(said.contains("prog.cfg, settings.cfg and html/template.asp put in, and the folders logs, html and Excel made."),
                 said.constData());
        QVERIFY2(!said.contains("was missing"), said.constData());
        const QString dist = qEnvironmentVariable("VELDRA_SOURCE") + "/dist/";
        for (const char *f : {"prog.cfg", "settings.cfg", "html/template.asp"})
            QCOMPARE(testsupport::readFile(QDir(folder.path()).filePath(f)), testsupport::readFile(dist + f));
    }

    void runsWithoutADisplay()
    {
        if (!Broker::available()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("mosquitto or mosquitto_sub is missing (scripts/install-deps installs them)");
            QSKIP("mosquitto or mosquitto_sub is missing; scripts/install-deps installs them");
        }
        testsupport::ProgramFolder folder;
        Broker broker(folder.path());
        QVERIFY(broker.start());
        QVERIFY(publish::writeMqttSettingsFile(folder.file("mqtt.cfg"), testsupport::mqttTo(broker.port(), "shed")));
        core::WebSettings webCfg;
        webCfg.on = true;
        const int webPort = testsupport::freePort();
        webCfg.port = std::to_string(webPort);
        QVERIFY(web::writeWebSettingsFile(folder.file("web.cfg"), webCfg));
        // Port 2 has no device: the start-up failure is one line, then silent retries.
        folder.write("prog.cfg", testsupport::progCfg("2", "1", "0", "10", "1"));

        QProcess watcher;
        watcher.start("mosquitto_sub",
                      {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-v", "-t", "veldra/shed/program",
                       "-t", "veldra/shed/volts", "-t", "veldra/shed/alarm/battery_low"});
        QVERIFY(watcher.waitForStarted());
        QByteArray heard;
        auto said = [&](const QByteArray &line) {
            heard += watcher.readAllStandardOutput();
            return heard.split('\n').contains(line);
        };

        // Standard error into a file that the journal's variable names.
        const QString errFile = folder.file("service.err");
        QFile(errFile).open(QIODevice::WriteOnly);
        struct stat st { };
        QCOMPARE(::stat(QFile::encodeName(errFile).constData(), &st), 0);
        QProcess service;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        env.insert("JOURNAL_STREAM",
                   QStringLiteral("%1:%2").arg(qulonglong(st.st_dev)).arg(qulonglong(st.st_ino)));
        service.setProcessEnvironment(env);
        service.setStandardErrorFile(errFile, QIODevice::Append);
        service.start(qEnvironmentVariable("VELDRA_BIN") + "/veldra-service", {"--folder", folder.path()});
        QVERIFY(service.waitForStarted());
        auto errors = [&] { return testsupport::readFile(errFile); };
        QTRY_VERIFY_WITH_TIMEOUT(errors().contains("<6>Running on the folder"), 20000);
        QVERIFY2(errors().contains(QString("<6>Serving at http://127.0.0.1:%1/.\n").arg(webPort).toLatin1()),
                 errors().constData());
        // Without a COM2 entry the device it stands for is named.
        QVERIFY2(errors().contains("with port 2 (/dev/ttyS1, no COM2 entry in the folder); logging"),
                 errors().constData());
        QTRY_VERIFY_WITH_TIMEOUT(said("veldra/shed/program online"), 30000);
        QTest::qWait(5000);
        QCOMPARE(errors().count("<3>Error opening port 2"), 1);

        // Another program on the folder is refused, and told who holds it.
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(qEnvironmentVariable("VELDRA_BIN") + "/veldra-service", {"--folder", folder.path()});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY2(second.readAllStandardError().contains(
                     QString("Another Veldra program, veldra-service (process %1), is already running")
                         .arg(service.processId())
                         .toLocal8Bit()),
                 errors().constData());

        // SIGHUP: the port and an alarm that the frames raise at once.
        testsupport::Pty pty(folder.file("COM1"));
        QVERIFY(pty.ok());
        folder.write("prog.cfg", testsupport::progCfg("1", "1", "0", "10", "1"));
        core::AlarmSettings a;
        a.on[size_t(core::AlarmId::BatteryLow)] = true;
        a.threshold[size_t(core::AlarmId::BatteryLow)] = 20;
        a.threshold[size_t(core::AlarmId::BatteryHigh)] = 30;
        a.holdSeconds = 0;
        folder.write("alarms.cfg", QByteArray::fromStdString(core::alarmSettingsText(a)));
        QVERIFY(testsupport::signalProcess(service, SIGHUP));
        QTRY_VERIFY_WITH_TIMEOUT(errors().contains("<6>Settings read again: the port COM1; logging every 10 s."),
                                 20000);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 60000
               && !(said("veldra/shed/alarm/battery_low ON") && said("veldra/shed/volts 15")
                    && folder.read("logs/alarms.csv").contains("battery_low,raised"))) {
            pty.send(kFrame);
            QTest::qWait(250);
        }
        QVERIFY2(said("veldra/shed/volts 15"), heard.constData());
        QVERIFY2(said("veldra/shed/alarm/battery_low ON"), errors().constData());
        QVERIFY2(folder.read("logs/alarms.csv").contains("battery_low,raised"), folder.read("logs/alarms.csv"));
        // With its value and since when, as the banner gives them.
        QVERIFY2(errors().contains("<6>Battery low raised: 15 V since "), errors().constData());
        // Energy counted (the energy step is every 5 s) and a log record written.
        const QString log = "logs/" + QDate::currentDate().toString("yyyy_M_d") + ".txt";
        t.restart();
        while (t.elapsed() < 60000 && !folder.read(log).contains("<V>15</V>")) {
            pty.send(kFrame);
            QTest::qWait(250);
        }
        QVERIFY2(folder.read(log).contains("<V>15</V>"), folder.read(log).constData());

        QVERIFY(testsupport::signalProcess(service, SIGTERM));
        QVERIFY(service.waitForFinished(20000));
        QCOMPARE(service.exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(said("veldra/shed/program offline"), 20000);
        QCOMPARE(
            testsupport::subscribe(broker.port(), {"veldra/shed/program"}, 1).value("veldra/shed/program").payload,
            QByteArray("offline"));
        QVERIFY(errors().contains("<6>Ending (SIGTERM)."));

        // Every file reads, and holds what the run counted.
        const auto energy = core::readEnergyState(folder.read("energy.cfg").toStdString());
        QVERIFY2(energy && energy->today > 0, folder.read("energy.cfg").constData());
        const QByteArray csv = folder.read("logs/energy.csv");
        QCOMPARE(core::readEnergyCsv(csv.toStdString()).size(), size_t(csv.count('\n') - 1));
        // The archive holds the run's minutes (the last one written at the end) and checks whole.
        archive::ArchiveDb db;
        QVERIFY2(db.open(folder.file("archive.sqlite"), true), qPrintable(db.error()));
        QCOMPARE(db.integrityCheck(), std::string("ok"));
        const auto minutes = db.rows(archive::Step::Minute, 0, QDateTime::currentSecsSinceEpoch() + 60);
        QVERIFY(!minutes.empty());
        // (The run may end just after a minute began, with no frame in it yet.)
        QCOMPARE(std::max_element(minutes.begin(), minutes.end(),
                                  [](const auto &a, const auto &b) { return a.volts.max < b.volts.max; })
                     ->volts.max,
                 15.0);
        QVERIFY(!folder.exists("veldra.lock"));
        watcher.kill();
        watcher.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
