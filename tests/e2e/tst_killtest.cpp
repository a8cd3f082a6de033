// SPDX-License-Identifier: GPL-3.0-or-later
// Killed at any moment, the program loses at most a few seconds of energy and
// never leaves a file that cannot be read. The built program runs on the
// simulated unit replaying one frame (constant power); it is killed with
// SIGKILL at random moments and started again at once, as a window and as
// the service. VELDRA_KILLS sets how many times (scripts/killtest runs many).
#include "archive/ArchiveDb.h"
#include "archive/Salvage.h"
#include "core/Alarms.h"
#include "core/Availability.h"
#include "core/EnergyBook.h"
#include "core/Messages.h"
#include "support/MessageServers.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QDate>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <sqlite3.h>

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
                QVERIFY2(testsupport::signalProcess(process, SIGKILL), process.readAllStandardError().constData());
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
        // Each minute kept is in the availability tallies once, with its energy.
        const auto minutes = db.rows(archive::Step::Minute, 0, INT64_MAX);
        core::AvailabilityTally tallied;
        const auto days = db.availabilityDays(0, INT64_MAX);
        QVERIFY(days);
        for (const auto &[key, d] : *days)
            tallied.add(d);
        long long talliedMinutes = 0;
        double talliedWh = 0, minutesWh = 0;
        for (int c = 0; c < core::kCategories; ++c) {
            talliedMinutes += tallied.minutes[size_t(c)];
            talliedWh += tallied.energyWh[size_t(c)];
        }
        for (const core::ArchiveRow &m : minutes)
            minutesWh += m.energyWh;
        QCOMPARE(talliedMinutes, (long long)minutes.size());
        QVERIFY2(std::abs(talliedWh - minutesWh) < 1e-6, qPrintable(QString("%1 Wh against %2").arg(talliedWh).arg(minutesWh)));
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

    // Killed while it keeps messages to the owner (an alarm raised and
    // cleared with each frame, two channels, each message added to the
    // outbox and marked done there, the outbox emptied when all went; the
    // receiver away in every other run, so that messages pile up), the
    // service leaves an outbox whose whole lines all read; started again, it
    // sends every message that was not marked done.
    void killedWhileKeepingMessages()
    {
        const QString missing = testsupport::messageServersMissing();
        if (!missing.isEmpty()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL(qPrintable(missing + " (scripts/install-deps installs it)"));
            QSKIP(qPrintable(missing + "; scripts/install-deps installs it"));
        }
        ProgramFolder folder;
        QVERIFY(testsupport::makeCertificates(folder.path(), "veldra"));
        testsupport::PythonServer receiver(testsupport::kHttpsServer, folder.file("https.log"));
        const QString record = folder.file("requests.jsonl");
        core::MessageSettings messages;
        messages.on = true;
        messages.holdOff = "0";
        messages.caFile = folder.file("veldra.pem").toStdString();
        for (int i = 1; i <= 2; ++i) {
            core::MessageChannel c;
            c.kind = "webhook";
            c.name = "hook " + std::to_string(i);
            c.url = "https://127.0.0.1:" + std::to_string(receiver.port()) + "/hook";
            messages.channels.push_back(c);
        }
        folder.write("messages.cfg", QByteArray::fromStdString(core::messageSettingsText(messages)));
        // Battery low alone, at once: 11 V raises it, 13 V clears it.
        core::AlarmSettings alarms;
        alarms.on.fill(false);
        alarms.on[size_t(core::AlarmId::BatteryLow)] = true;
        alarms.threshold[size_t(core::AlarmId::BatteryLow)] = 12;
        alarms.holdSeconds = 0;
        folder.write("alarms.cfg", QByteArray::fromStdString(core::alarmSettingsText(alarms)));
        folder.write("frames.txt", "[<V>450.56</V><I>522</I><R>2</R><S>3.2</S><M>0</M>]\n"
                                   "[<V>532.48</V><I>522</I><R>2</R><S>3.2</S><M>0</M>]\n");
        folder.write("prog.cfg", testsupport::progCfg("1"));
        QProcess unit;
        QVERIFY(
            testsupport::startUnit(unit, folder.path(), {"--replay", folder.file("frames.txt"), "--rate", "4"}));
        QTRY_VERIFY_WITH_TIMEOUT(folder.exists("COM1"), 10000);

        QRandomGenerator random(20261209);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.insert("VELDRA_MESSAGE_RETRY_MS", "100");
        QProcess service;
        service.setProcessEnvironment(env);
        service.setProcessChannelMode(QProcess::ForwardedChannels);
        const auto start = [&] {
            service.start(qEnvironmentVariable("VELDRA_BIN") + "/veldra-service", {"--folder", folder.path()});
            return service.waitForStarted();
        };
        QStringList pending;
        for (int kill = 0; kill < 6; ++kill) {
            const bool away = kill % 2 == 1;
            if (away)
                receiver.stop();
            else
                QVERIFY(
                    receiver.start({folder.file("veldra-server.pem"), folder.file("veldra-server.key"), record}));
            QVERIFY(start());
            QTest::qWait(1000 + int(random.bounded(2000)));
            QVERIFY2(testsupport::signalProcess(service, SIGKILL), service.readAllStandardError().constData());
            QVERIFY(service.waitForFinished(10000));
            // Every whole line reads; only a last one cut short may not.
            const QByteArray outbox = folder.read("outbox.txt");
            const QList<QByteArray> lines = outbox.split('\n');
            for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
                const QJsonObject o = QJsonDocument::fromJson(lines[i]).object();
                QVERIFY2(o.contains("add") ? o["created"].isDouble() && o["channel"].isDouble()
                                           : o["done"].isString(),
                         lines[i].constData());
            }
            pending.clear();
            for (const core::Message &m : core::readOutbox(outbox.toStdString()))
                pending << QString::fromStdString(m.id);
            qInfo("killed with the receiver %s: %lld lines in the outbox, %lld messages pending, the last line %s",
                  away ? "away" : "up", static_cast<long long>(lines.size() - 1),
                  static_cast<long long>(pending.size()), lines.last().isEmpty() ? "whole" : "cut short");
        }
        QVERIFY(testsupport::recordedRequests(record).size() > 0);
        QVERIFY(!pending.isEmpty());

        // No more changes: what was pending at the last kill goes, a line
        // cut short (as by a kill in the middle of an append) is passed
        // over, and the outbox ends empty.
        unit.kill();
        unit.waitForFinished(3000);
        core::Message cut;
        cut.id = "cut-short";
        cut.created = QDateTime::currentSecsSinceEpoch();
        cut.channelName = "hook 1";
        cut.state = "raised";
        const std::string line = core::outboxAddLine(cut);
        QFile outbox(folder.file("outbox.txt"));
        QVERIFY(outbox.open(QIODevice::Append));
        outbox.write(QByteArray::fromStdString(line.substr(0, line.size() / 2)));
        outbox.close();
        const qsizetype before = testsupport::recordedRequests(record).size();
        QVERIFY(receiver.start({folder.file("veldra-server.pem"), folder.file("veldra-server.key"), record}));
        QVERIFY(start());
        const auto sent = [&] {
            QStringList ids;
            for (const QJsonObject &r : testsupport::recordedRequests(record).mid(before))
                ids << r["headers"].toObject()["x-veldra-message-id"].toString();
            return ids;
        };
        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(pending.begin(), pending.end(), [&](const QString &id) { return sent().contains(id); }),
            60000);
        QTRY_VERIFY_WITH_TIMEOUT(core::readOutbox(folder.read("outbox.txt").toStdString()).empty(), 30000);
        QVERIFY(!sent().contains("cut-short"));
        service.terminate();
        QVERIFY(service.waitForFinished(10000));
    }

    // Killed while it copies what a damaged archive still holds, the service
    // leaves the damaged archive in place or the whole copy: started again,
    // it ends with every row the copy gives back.
    void killedWhileCopyingADamagedArchive()
    {
        ProgramFolder folder;
        folder.write("prog.cfg", testsupport::progCfg("1"));
        const QString path = folder.file("archive.sqlite");
        {
            archive::ArchiveDb db;
            QVERIFY(db.open(path, false));
        }
        // A year of hours and days, then 100,000 minutes, so the copy takes a while.
        const qint64 t0 = 1767225600; // 2026-01-01 UTC
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        const QString fill = QString(
            "BEGIN; WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 8759) "
            "INSERT INTO hour(t, utc_offset, minutes, imported, frames, energy_wh) SELECT %1 + i * 3600, 0, 60, 0, "
            "3600, i % 97 FROM n;"
            "INSERT INTO day(day, t, utc_offset, minutes, imported, frames, energy_wh) SELECT "
            "CAST(strftime('%Y%m%d', min(t), 'unixepoch') AS INTEGER), min(t), 0, sum(minutes), 0, sum(frames), "
            "sum(energy_wh) FROM hour GROUP BY t / 86400;"
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 99999) "
            "INSERT INTO minute(t, utc_offset, frames, rejected, energy_mwh, load_s, nodata_s, source, volts_mean, "
            "volts_min, volts_max) SELECT %1 + i * 60, 0, 60, 0, 2500, 0, 0, 0, 1500, 1490, 1510 FROM n;"
            "UPDATE meta SET value = 0 WHERE key = 'clean'; COMMIT; PRAGMA wal_checkpoint(TRUNCATE);")
                                 .arg(t0);
        QCOMPARE(sqlite3_exec(db, fill.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        // The minutes' pages, in the file's order (the indexes have pages of their own).
        std::vector<qint64> pages;
        sqlite3_stmt *leaves = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db, "SELECT pageno FROM dbstat WHERE name = 'minute' AND pagetype = 'leaf' "
                                        "ORDER BY pageno",
                                    -1, &leaves, nullptr),
                 SQLITE_OK);
        while (sqlite3_step(leaves) == SQLITE_ROW)
            pages.push_back(sqlite3_column_int64(leaves, 0));
        sqlite3_finalize(leaves);
        sqlite3_close(db);
        QVERIFY(pages.size() > 100);
        {
            // A page of minutes overwritten, late in the file.
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            const qint64 page = 4096, at = (pages[pages.size() * 4 / 5] - 1) * page;
            QVERIFY(f.seek(at));
            QCOMPARE(f.write(QByteArray(int(page), char(0xa5))), page);
        }
        // What the copy gives back when nothing interrupts it.
        QTemporaryDir scratch;
        QVERIFY(QFile::copy(path, scratch.filePath("damaged.sqlite")));
        const auto expected = archive::salvageArchive(scratch.filePath("damaged.sqlite"),
                                                      scratch.filePath("fresh.sqlite"), core::CurveRules());
        QVERIFY(expected && expected->readable);
        QVERIFY(expected->count("minute") > 90000 && expected->count("minute") < 100000);

        const auto minutes = [&]() -> long long {
            archive::ArchiveDb db;
            if (QFileInfo::exists(path + ".new") || !db.open(path, true))
                return -1;
            return (long long)db.rows(archive::Step::Minute, 0, t0 * 2).size();
        };
        const auto runFor = [&](int ms) {
            QProcess service;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove("DISPLAY");
            service.setProcessEnvironment(env);
            service.start(qEnvironmentVariable("VELDRA_BIN") + "/veldra-service", {"--folder", folder.path()});
            if (!service.waitForStarted())
                return false;
            if (ms > 0) {
                QTest::qWait(ms);
                if (!testsupport::signalProcess(service, SIGKILL))
                    return false;
            } else {
                // Until the copy is in place, then a clean end.
                QElapsedTimer waited;
                waited.start();
                while (minutes() != expected->count("minute") && waited.elapsed() < 60000)
                    QTest::qWait(100);
                service.terminate();
            }
            return service.waitForFinished(10000);
        };
        // Before, while and after the check and the copy (together about 0.2 s here).
        for (const int ms : {30, 60, 90, 120, 160, 220, 400}) {
            QVERIFY(runFor(ms));
            qInfo("killed after %d ms: %s%s", ms, QFileInfo::exists(path + ".new") ? "a copy, " : "",
                  QFileInfo::exists(path) ? "an archive" : "no archive");
        }
        QVERIFY(runFor(0));
        archive::ArchiveDb fresh;
        QVERIFY(fresh.open(path, true));
        QCOMPARE(fresh.integrityCheck(), std::string("ok"));
        QCOMPARE((long long)fresh.rows(archive::Step::Minute, 0, t0 * 2).size(), expected->count("minute"));
        QCOMPARE((long long)fresh.rows(archive::Step::Hour, 0, t0 * 2).size(), 8760LL);
        QCOMPARE((long long)fresh.rows(archive::Step::Day, 0, t0 * 2).size(), 365LL);
        QVERIFY(!QFileInfo::exists(path + ".new"));
    }
};

QTEST_GUILESS_MAIN(TestKillTest)
#include "tst_killtest.moc"
