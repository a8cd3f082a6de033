// SPDX-License-Identifier: GPL-3.0-or-later
// Killed at any moment, the program loses at most a few seconds of energy and
// never leaves a file that cannot be read. The built program runs on the
// simulated unit replaying one frame (constant power); it is killed with
// SIGKILL at random moments and started again at once, as a window and as
// the service. VELDRA_KILLS sets how many times (scripts/killtest runs many).
#include "archive/ArchiveDb.h"
#include "core/EnergyBook.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QDate>
#include <QRandomGenerator>
#include <QtTest>

#include <csignal>

using testsupport::ProgramFolder;

namespace {
// 15 V and 10 A with the delivered calibration: 150 W.
const QByteArray kFrame = "[<V>614.4</V><I>612</I><R>5</R><S>8</S><M>0</M>]";
constexpr double kWatts = 150;
// What one kill may cost: the seconds since the last save, and the start-up.
constexpr double kLossPerKillSeconds = 75;
} // namespace

class TestKillTest : public QObject {
    Q_OBJECT
private slots:
    void killedAtRandomMoments_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("window") << "crestdial";
        QTest::newRow("service") << "veldra-service";
    }
    void killedAtRandomMoments()
    {
        QFETCH(QString, program);
        const bool service = program == "veldra-service";
        ProgramFolder folder;
        folder.write("frame.txt", kFrame + "\n");
        folder.write("prog.cfg", testsupport::progCfg("1"));
        QProcess unit;
        QVERIFY(testsupport::startUnit(unit, folder.path(), {"--replay", folder.file("frame.txt"), "--rate", "4"}));
        QTRY_VERIFY_WITH_TIMEOUT(folder.exists("COM1"), 10000);

        const int kills = qEnvironmentVariableIntValue("VELDRA_KILLS") > 0
                              ? qEnvironmentVariableIntValue("VELDRA_KILLS")
                              : 3;
        const QDate day = QDate::currentDate();
        QRandomGenerator random(20261208);
        double running = 0;
        // The minutes each run covered whole (the start-up and the last
        // second's write aside).
        QList<qint64> covered;
        for (int run = 0; run <= kills; ++run) {
            QProcess process;
            QString exe = qEnvironmentVariable("VELDRA_BIN") + "/veldra-service";
            QStringList args{"--folder", folder.path()};
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            if (service) {
                env.remove("DISPLAY");
                env.remove("QT_QPA_PLATFORM");
                process.setProcessChannelMode(QProcess::ForwardedChannels);
            } else {
                exe = testsupport::installProgram(folder.path(), program, QByteArray(), QString(), process);
                QVERIFY(!exe.isEmpty());
                args.clear();
                env = process.processEnvironment();
                env.insert("QT_QPA_PLATFORM", "offscreen");
            }
            folder.write("prog.cfg", testsupport::progCfg("1"));
            process.setProcessEnvironment(env);
            QElapsedTimer alive;
            process.start(exe, args);
            QVERIFY(process.waitForStarted());
            alive.start();
            // The last run ends normally; the others are killed between 5 and
            // 30 s, and in a long test every fifth after 65 to 150 s, so that
            // runs span whole minutes.
            const qint64 startedAt = QDateTime::currentMSecsSinceEpoch();
            const bool longRun = kills > 3 && run % 5 == 4;
            const int ms = run == kills ? 15000
                                        : (longRun ? 65000 + int(random.bounded(85000)) : 5000 + int(random.bounded(25000)));
            QTest::qWait(ms);
            if (run == kills) {
                process.terminate();
            } else {
                ::kill(pid_t(process.processId()), SIGKILL);
            }
            const qint64 endedAt = QDateTime::currentMSecsSinceEpoch();
            QVERIFY(process.waitForFinished(10000));
            running += alive.elapsed() / 1000.0;
            for (qint64 m = (startedAt + 5000) / 60000 + 1; (m + 1) * 60000 + 2000 <= endedAt; ++m)
                covered << m * 60;

            // The archive checks whole after every kill.
            if (folder.exists("archive.sqlite")) {
                archive::ArchiveDb db;
                QVERIFY2(db.open(folder.file("archive.sqlite"), true), qPrintable(db.error()));
                QCOMPARE(db.integrityCheck(), std::string("ok"));
            }

            // Every file reads after every kill.
            const auto state = core::readEnergyState(folder.read("energy.cfg").toStdString());
            if (folder.exists("energy.cfg"))
                QVERIFY2(state, folder.read("energy.cfg").constData());
            const QByteArray csv = folder.read("logs/energy.csv");
            if (!csv.isEmpty())
                QVERIFY2(core::readEnergyCsv(csv.toStdString()).size() == size_t(csv.count('\n') - 1),
                         csv.constData());
        }
        unit.kill();
        unit.waitForFinished(3000);

        // Every minute a run covered whole has its one row, counted once.
        archive::ArchiveDb db;
        QVERIFY(db.open(folder.file("archive.sqlite"), true));
        for (const qint64 t : covered) {
            const auto row = db.row(archive::Step::Minute, t);
            QVERIFY2(row, qPrintable(QString("no row for %1").arg(t)));
            QVERIFY2(row->frames <= 4 * 60 + 2 && row->noDataSeconds <= 2,
                     qPrintable(QString("%1: %2 frames, %3 s without data").arg(t).arg(row->frames).arg(row->noDataSeconds)));
        }
        qInfo("%lld minutes covered whole, each with its row", static_cast<long long>(covered.size()));
        if (QDate::currentDate() != day)
            QSKIP("the day changed during the test");

        const auto state = core::readEnergyState(folder.read("energy.cfg").toStdString());
        QVERIFY(state);
        const double expected = kWatts * running / 3600;
        const double lost = expected - state->today;
        qInfo("%d kills, %.0f s running: %.3f Wh counted, %.3f Wh expected, %.1f s of energy lost per kill", kills,
              running, state->today, expected, kills ? lost / kWatts * 3600 / kills : 0.0);
        QVERIFY2(state->today <= expected + kWatts * 2 / 3600, "more energy than the time allows");
        QVERIFY2(lost <= kWatts * kLossPerKillSeconds * std::max(kills, 1) / 3600, "lost too much energy");
    }
};

QTEST_GUILESS_MAIN(TestKillTest)
#include "tst_killtest.moc"
