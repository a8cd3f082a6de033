// SPDX-License-Identifier: GPL-3.0-or-later
// The archive end to end: the built program, fed one frame over and over by
// the simulated unit with logging off, writes a row for the minute whose
// values are the frame's, and --export prints it from another process while
// the program runs and after it has ended.
#include "archive/ArchiveDb.h"
#include "core/EnergyBook.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QtTest>

#include <csignal>

namespace {
// 15 V and 10 A with the delivered calibration: 150 W, load on.
const QByteArray kFrame = "[<V>614.4</V><I>612</I><R>5</R><S>8</S><M>1</M>]";
} // namespace

class TestArchiveEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void minutesOfTheRunningProgram()
    {
        testsupport::ProgramFolder folder;
        folder.write("frame.txt", kFrame + "\n");
        QProcess unit;
        QVERIFY(testsupport::startUnit(unit, folder.path(), {"--replay", folder.file("frame.txt"), "--rate", "4"}));
        auto stopUnit = qScopeGuard([&unit] {
            unit.kill();
            unit.waitForFinished(3000);
        });
        QTRY_VERIFY_WITH_TIMEOUT(folder.exists("COM1"), 10000);

        QProcess program;
        const QString exe = testsupport::startOffscreen(folder.path(), "crestdial", testsupport::progCfg("1"), program);
        QVERIFY(!exe.isEmpty());
        auto stopProgram = qScopeGuard([&program] {
            program.kill();
            program.waitForFinished(3000);
        });

        // The first minute is written when it ends.
        const qint64 started = QDateTime::currentSecsSinceEpoch();
        std::vector<core::ArchiveRow> rows;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                archive::ArchiveDb db;
                if (!db.open(folder.file("archive.sqlite"), true))
                    return false;
                rows = db.rows(archive::Step::Minute, 0, started + 3600);
                return !rows.empty();
            }(),
            150000);
        const core::ArchiveRow &r = rows.front();
        for (const auto &[spread, value] : {std::pair{&r.volts, 15.0}, {&r.amps, 10.0}, {&r.watts, 150.0}}) {
            QCOMPARE(spread->mean(), value);
            QCOMPARE(spread->min, value);
            QCOMPARE(spread->max, value);
        }
        QCOMPARE(r.windUnit, std::string("mph"));
        QCOMPARE(r.rejected, 0LL);
        const double covered = 60 - r.noDataSeconds;
        // Four frames a second over the time with data (the program may
        // have started a moment before the minute ended).
        QVERIFY2(r.frames >= 1 && std::abs(double(r.frames) - 4 * covered) <= 8,
                 qPrintable(QString("%1 frames in %2 s").arg(r.frames).arg(covered)));
        // Energy comes in the energy book's steps of 5 s, each credited to the
        // minute it ends in: a step's worth either way, and a late timer's
        // step (a loaded machine) counts at most 10 s.
        QVERIFY2(std::abs(r.energyWh - 150 * covered / 3600) <= 150 * 10.0 / 3600 + 0.001,
                 qPrintable(QString::number(r.energyWh)));
        QVERIFY2(std::abs(r.loadSeconds - covered) <= 1, qPrintable(QString::number(r.loadSeconds)));
        // Nothing before the program ran counts as data.
        QVERIFY2(covered <= double(r.t + 60 - started) + 1, qPrintable(QString::number(covered)));

        // The export, while the program runs; from the row's own day.
        const QString day = QDateTime::fromSecsSinceEpoch(r.t).date().toString(Qt::ISODate);
        QProcess exporter;
        exporter.start(exe, {"--export", day, day, "--folder", folder.path()});
        QVERIFY(exporter.waitForFinished(30000));
        QCOMPARE(exporter.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(exporter.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QVERIFY(lines.size() >= 2);
        QVERIFY(lines[0].startsWith("time,minutes,imported,frames,"));
        QVERIFY2(lines[1].contains(QString(",1,0,%1,0,15,15,15,10,10,10,150,150,150,").arg(r.frames)),
                 qPrintable(lines[1]));

        // Killed: every minute written stays, and the database checks whole.
        QVERIFY(testsupport::signalProcess(program, SIGKILL));
        QVERIFY(program.waitForFinished(10000));
        archive::ArchiveDb db;
        QVERIFY(db.open(folder.file("archive.sqlite"), true));
        QCOMPARE(db.integrityCheck(), std::string("ok"));
        QVERIFY(db.rows(archive::Step::Minute, 0, started + 3600).size() >= 1);
        exporter.start(exe, {"--export", day, day, "--step", "day", "--folder", folder.path()});
        QVERIFY(exporter.waitForFinished(30000));
        QCOMPARE(exporter.exitCode(), 0);
        QVERIFY(QString::fromUtf8(exporter.readAllStandardOutput()).contains(",15,15,15,10,10,10,150,150,150,"));

        // The service answers the same, byte for byte.
        const QString service = qEnvironmentVariable("VELDRA_BIN") + "/veldra-service";
        for (const QStringList &args :
             {QStringList{"--export", day, day, "--step", "day"}, QStringList{"--report", "powercurve"}}) {
            QByteArray answers[2];
            for (int i = 0; i < 2; ++i) {
                QProcess p;
                p.start(i ? service : exe, args + QStringList{"--folder", folder.path()});
                QVERIFY(p.waitForFinished(30000));
                QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
                answers[i] = p.readAllStandardOutput();
            }
            QVERIFY(answers[0].startsWith(args[0] == "--export" ? "time," : ""));
            QCOMPARE(answers[1], answers[0]);
        }
    }

    // SIGTERM (a logout, a shutdown) ends the window as Exit does: the minute
    // in progress written, the archive closed cleanly, the energy saved;
    // also while a message box waits at start (a port that cannot open).
    void endsCleanlyOnSigterm_data()
    {
        QTest::addColumn<bool>("box");
        QTest::newRow("running") << false;
        QTest::newRow("a message box open") << true;
    }
    void endsCleanlyOnSigterm()
    {
        QFETCH(bool, box);
        testsupport::ProgramFolder folder;
        folder.write("frame.txt", kFrame + "\n");
        QProcess unit;
        if (!box) {
            QVERIFY(testsupport::startUnit(unit, folder.path(), {"--replay", folder.file("frame.txt"), "--rate", "4"}));
            QTRY_VERIFY_WITH_TIMEOUT(folder.exists("COM1"), 10000);
        }
        auto stopUnit = qScopeGuard([&unit] {
            unit.kill();
            unit.waitForFinished(3000);
        });
        QProcess program;
        QVERIFY(!testsupport::startOffscreen(folder.path(), "crestdial", testsupport::progCfg(box ? "99" : "1"), program)
                     .isEmpty());
        QTRY_VERIFY2_WITH_TIMEOUT(folder.exists("archive.sqlite") && (box || folder.exists("energy.cfg")),
                                  qPrintable(QDir(folder.path()).entryList().join(' ')), 20000);
        QTest::qWait(3000);
        const qint64 minute = QDateTime::currentSecsSinceEpoch() / 60 * 60;
        QVERIFY(testsupport::signalProcess(program, SIGTERM));
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        archive::ArchiveDb db;
        QVERIFY(db.open(folder.file("archive.sqlite"), false));
        QVERIFY2(db.takeOver(), "the archive was not closed cleanly");
        if (box)
            return;
        QVERIFY(db.row(archive::Step::Minute, minute) || db.row(archive::Step::Minute, minute - 60));
        const auto state = core::readEnergyState(folder.read("energy.cfg").toStdString());
        QVERIFY(state && state->today > 0);
    }
};

QTEST_GUILESS_MAIN(TestArchiveEndToEnd)
#include "tst_archive.moc"
