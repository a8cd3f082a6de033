// SPDX-License-Identifier: GPL-3.0-or-later
// The minutes' categories tallied in the archive as minutes are written, on a
// real SQLite database: the tallies equal the categories worked out afresh
// from the minutes kept, after a run that moves earlier minutes (across an
// hour), a minute written again, an imported day, retention and a change of
// the rules; and an archive of the schema before them takes them up.
#include "archive/ArchiveDb.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

namespace {

// 2026-12-09 10:50 UTC.
constexpr std::int64_t kBase = 1796813400;

// "g" generating at 8 m/s, "s" the rotor still at 9 m/s, "c" calm at 2 m/s,
// "_" no minute.
core::ArchiveRow minute(QChar kind, std::int64_t t)
{
    core::ArchiveRow r;
    r.t = t;
    r.minutes = 1;
    r.frames = 30;
    const double wind = kind == 's' ? 9 : kind == 'c' ? 2 : 8;
    const double rpm = kind == 'g' ? 300 : 0, amps = kind == 'g' ? 10 : 0;
    for (int i = 0; i < 30; ++i) {
        r.volts.add(13);
        r.amps.add(amps);
        r.watts.add(13 * amps);
        r.wind.add(wind);
        r.rpm.add(rpm);
    }
    r.energyWh = 13 * amps / 60;
    r.windUnit = "m/s";
    return r;
}

core::AvailabilityRules rules(double cutIn)
{
    core::TurbineSettings s;
    s.cutIn = cutIn;
    return core::availabilityRules(s, {}, nullptr);
}

// The tallies afresh: every minute kept, classed in order, summed by day.
core::AvailabilityTally afresh(archive::ArchiveDb &db, const core::AvailabilityRules &r)
{
    core::MinuteClasser classer(r);
    std::map<std::int64_t, std::pair<core::ArchiveRow, core::Category>> classed;
    for (const core::ArchiveRow &m : db.rows(archive::Step::Minute, 0, INT64_MAX)) {
        const auto c = classer.add(m);
        classed[m.t] = {m, c.category};
        for (const std::int64_t t : c.moved)
            classed[t].second = c.category;
    }
    core::AvailabilityTally t;
    for (const auto &[key, m] : classed)
        t.count(m.second, m.first.energyWh,
                core::losesEnergy(m.second) && !m.first.imported ? core::lostBinOf(m.first, r.curve) : std::nullopt);
    return t;
}

core::AvailabilityTally kept(archive::ArchiveDb &db)
{
    core::AvailabilityTally t;
    const auto days = db.availabilityDays(0, INT64_MAX);
    if (days)
        for (const auto &[day, d] : *days)
            t.add(d);
    return t;
}

} // namespace

class TestArchiveAvailability : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { testsupport::setZone("UTC"); }

    // Minutes written one by one (from 10:50, a minute apart), then what
    // happens; the stopped minutes the tallies hold after it.
    void talliesFollowTheMinutes_data()
    {
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<QString>("then");
        QTest::addColumn<long long>("stopped");
        const QString run = QString(8, 'g') + QString(12, 's') + QString(5, 'g');
        QTest::newRow("a run of twelve across the hour") << run << "" << 12LL;
        QTest::newRow("nine stopped minutes are none") << QString(9, 's') + "g" << "" << 0LL;
        // The program started again within its last minute.
        const QString upToTen = QString(8, 'g') + QString(10, 's');
        QTest::newRow("the tenth minute written again") << upToTen << "again 17" << 10LL;
        QTest::newRow("the tenth written again as generating") << upToTen << "generating 17" << 0LL;
        QTest::newRow("an imported hour between") << run << "import" << 12LL;
        QTest::newRow("a higher cut-in: all calm") << run << "cut-in 10" << 0LL;
        QTest::newRow("minutes let go, then the rules change") << run << "forget, cut-in 10" << 2LL;
        QTest::newRow("an archive from before the tallies") << run << "schema 3" << 12LL;
    }
    void talliesFollowTheMinutes()
    {
        QFETCH(QString, minutes);
        QFETCH(QString, then);
        QFETCH(long long, stopped);
        QTemporaryDir dir;
        const QString path = dir.filePath("archive.sqlite");
        archive::ArchiveDb db;
        QVERIFY(db.open(path, false));
        core::AvailabilityRules r = rules(3);
        QVERIFY(db.setAvailabilityRules(r));
        for (int i = 0; i < minutes.size(); ++i)
            if (minutes[i] != '_')
                QVERIFY2(db.write(minute(minutes[i], kBase + i * 60)), qPrintable(db.error()));

        if (then.startsWith("again") || then.startsWith("generating")) {
            // The rest of the minute, merged in.
            const int i = then.section(' ', 1).toInt();
            core::ArchiveRow rest = minute(then.startsWith("again") ? 's' : 'g', kBase + i * 60);
            QVERIFY(db.write(rest));
        } else if (then == "import") {
            std::vector<core::ArchiveRow> imported;
            for (int i = 0; i < 60; ++i) {
                core::ArchiveRow m = minute(i < 30 ? 'c' : 's', kBase - 7200 + i * 60);
                m.imported = 1;
                imported.push_back(m);
            }
            QCOMPARE(db.addImported(imported), 60LL);
        } else if (then.startsWith("forget")) {
            // Minutes before 11:00 go: the hour before keeps its two
            // stopped minutes as they were counted.
            QVERIFY(db.forgetMinutesBefore(kBase + 10 * 60));
            r = rules(10);
            QVERIFY(db.setAvailabilityRules(r));
            QCOMPARE(kept(db).minutes[size_t(core::Category::Stopped)], stopped);
            QCOMPARE(kept(db).minutes[size_t(core::Category::Calm)], 15LL);
            return;
        } else if (then.startsWith("cut-in")) {
            r = rules(then.section(' ', 1).toDouble());
            QVERIFY(db.setAvailabilityRules(r));
        } else if (then == "schema 3") {
            db.close();
            sqlite3 *raw = nullptr;
            QCOMPARE(sqlite3_open(path.toUtf8().constData(), &raw), SQLITE_OK);
            QCOMPARE(sqlite3_exec(raw, "DROP TABLE avail_hour; DROP TABLE avail_lost; DELETE FROM meta WHERE key = "
                                       "'avail_rules'; PRAGMA user_version = 3",
                                  nullptr, nullptr, nullptr),
                     SQLITE_OK);
            sqlite3_close(raw);
            QVERIFY(db.open(path, false));
            QVERIFY(kept(db) == core::AvailabilityTally());
            QVERIFY(db.setAvailabilityRules(r));
        }
        const core::AvailabilityTally got = kept(db);
        QCOMPARE(got.minutes[size_t(core::Category::Stopped)], stopped);
        QVERIFY(got == afresh(db, r));
        QCOMPARE(db.availabilityKey(), r.key());
    }
};

QTEST_GUILESS_MAIN(TestArchiveAvailability)
#include "tst_archiveavailability.moc"
