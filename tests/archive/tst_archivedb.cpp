// SPDX-License-Identifier: GPL-3.0-or-later
// The archive on a real SQLite database: minutes and their summaries, a
// minute written twice, retention, what is found at start, the export, and
// a disk that fills up for real (a small tmpfs in a mount namespace of its own).

#include "archive/ArchiveDb.h"
#include "archive/ArchiveWriter.h"
#include "archive/Export.h"
#include "archive/PerformanceWatch.h"
#include "core/Alarms.h"
#include "support/Fakes.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <sqlite3.h>

namespace {

// 2026-03-29 00:58:00 UTC.
constexpr std::int64_t kBase = 1774745880;

core::ArchiveRow minute(std::int64_t t, int offset, double volts, long long frames = 60, double noData = 0)
{
    core::ArchiveRow r;
    r.t = t;
    r.utcOffset = offset;
    r.minutes = 1;
    r.frames = frames;
    r.noDataSeconds = noData;
    r.energyWh = volts / 10;
    for (long long i = 0; i < frames; ++i) {
        r.volts.add(volts + (i % 2 ? 0.25 : -0.25));
        r.amps.add(10);
        r.watts.add(volts * 10);
        r.wind.add(4.4704);
    }
    r.windUnit = "mph";
    return r;
}

QString exported(const QString &folder, const QString &from, const QString &to, archive::Step step, int *rc)
{
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    *rc = archive::exportArchive(folder, from, to, step, out, err);
    QByteArray text;
    for (std::FILE *f : {out, err}) {
        std::rewind(f);
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, qsizetype(n));
        std::fclose(f);
    }
    return QString::fromUtf8(text);
}

// The local zone for a test's time, then UTC again as main() set it.
struct Zone {
    explicit Zone(const char *name) { testsupport::setZone(name); }
    ~Zone() { testsupport::setZone("UTC"); }
};

// Runs SQL on the file as the sqlite3 shell would; SQLite's result code.
int sql(const QString &path, const QString &statements)
{
    sqlite3 *db = nullptr;
    int rc = sqlite3_open(path.toUtf8().constData(), &db);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, statements.toUtf8().constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc;
}

// One integer SQLite answers on the file.
qint64 scalar(const QString &path, const QString &query)
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *s = nullptr;
    qint64 v = -1;
    if (sqlite3_open(path.toUtf8().constData(), &db) == SQLITE_OK
        && sqlite3_prepare_v2(db, query.toUtf8().constData(), -1, &s, nullptr) == SQLITE_OK
        && sqlite3_step(s) == SQLITE_ROW)
        v = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    sqlite3_close(db);
    return v;
}

// A leaf page of `table`'s b-tree (its middle one, or its last) read from the
// file, and the keys it holds: lo < key <= hi. Page 1 for "sqlite_schema".
struct Leaf {
    qint64 page = 1, lo = INT64_MIN, hi = INT64_MAX;
};
Leaf leafOf(const QString &path, const QString &table, bool last, bool root = false)
{
    Leaf leaf;
    if (table == "sqlite_schema")
        return leaf;
    const qint64 size = scalar(path, "pragma page_size");
    leaf.page = scalar(path, QString("select rootpage from sqlite_schema where name='%1'").arg(table));
    if (root)
        return leaf;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Leaf{0};
    const auto byte = [](const QByteArray &p, qint64 at) { return quint8(p[int(at)]); };
    const auto u16 = [&](const QByteArray &p, qint64 at) { return byte(p, at) << 8 | byte(p, at + 1); };
    const auto u32 = [&](const QByteArray &p, qint64 at) { return qint64(u16(p, at)) << 16 | u16(p, at + 2); };
    const auto varint = [&](const QByteArray &p, qint64 at) {
        qint64 v = 0;
        for (int i = 0; i < 9; ++i) {
            const int b = byte(p, at + i);
            v = i == 8 ? v << 8 | b : v << 7 | (b & 0x7f);
            if (i < 8 && !(b & 0x80))
                break;
        }
        return v;
    };
    for (;;) {
        f.seek((leaf.page - 1) * size);
        const QByteArray p = f.read(size);
        const qint64 head = leaf.page == 1 ? 100 : 0;
        if (byte(p, head) != 0x05) // an interior page of a table: down to one of its children
            return leaf;
        const int cells = u16(p, head + 3);
        const auto key = [&](int i) { return varint(p, u16(p, head + 12 + 2 * i) + 4); };
        const int child = last ? cells : cells / 2;
        if (child > 0)
            leaf.lo = key(child - 1);
        if (child < cells)
            leaf.hi = key(child);
        leaf.page = child < cells ? u32(p, u16(p, head + 12 + 2 * child)) : u32(p, head + 8);
    }
}

// Run as the child under a small tmpfs: fills the disk while minutes come,
// then makes room again. Exits 0 when everything held.
int fullDiskChild(const QString &dir)
{
    archive::ArchiveWriter w(dir + "/archive.sqlite", core::TurbineSettings(), {});
    int problems = 0, working = 0;
    QObject::connect(&w, &archive::ArchiveWriter::problem, [&](const QString &condition, const QString &text) {
        ++problems;
        std::fprintf(stderr, "told: %s: %s\n", qPrintable(condition), qPrintable(text));
    });
    QObject::connect(&w, &archive::ArchiveWriter::working, [&] { ++working; });
    w.start();
    int t = 0;
    for (; t < 10; ++t)
        w.write(minute(kBase + 60 * t, 0, 12));
    QFile filler(dir + "/filler");
    if (!filler.open(QIODevice::WriteOnly))
        return 10;
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) { }
    filler.close();
    for (int i = 0; i < 20; ++i, ++t)
        w.write(minute(kBase + 60 * t, 0, 12));
    if (problems != 1 || w.waiting() == 0) {
        std::fprintf(stderr, "full: %d problems, %zu waiting\n", problems, w.waiting());
        return 11;
    }
    filler.remove();
    w.write(minute(kBase + 60 * t, 0, 12));
    ++t;
    if (working != 1 || w.waiting() != 0) {
        std::fprintf(stderr, "room again: working %d, %zu waiting\n", working, w.waiting());
        return 12;
    }
    w.finish();
    archive::ArchiveDb db;
    if (!db.open(dir + "/archive.sqlite", true) || db.integrityCheck() != "ok")
        return 13;
    const auto rows = db.rows(archive::Step::Minute, 0, kBase * 2);
    const auto hours = db.rows(archive::Step::Hour, 0, kBase * 2);
    long long minutes = 0;
    for (const auto &h : hours)
        minutes += h.minutes;
    if (int(rows.size()) != t || minutes != t) {
        std::fprintf(stderr, "%zu rows, %lld minutes in hours, %d written\n", rows.size(), minutes, t);
        return 14;
    }
    return 0;
}

} // namespace

class TstArchiveDb : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void minutesAndSummaries()
    {
        Zone berlin("Europe/Berlin");
        if (QDateTime::fromSecsSinceEpoch(kBase).offsetFromUtc() != 3600)
            QSKIP("the C library here does not know the zone (Windows)");
        QTemporaryDir dir;
        archive::ArchiveDb db;
        QVERIFY2(db.open(dir.filePath("archive.sqlite"), false), qPrintable(db.error()));
        // 01:58 and 01:59 at +01:00, then 03:00 at +02:00: three hours' rows;
        // the last minute again (a restart within it).
        QVERIFY(db.write(minute(kBase, 3600, 12)));
        QVERIFY(db.write(minute(kBase + 60, 3600, 13)));
        QVERIFY(db.write(minute(kBase + 120, 7200, 14, 30, 30)));
        QVERIFY(db.write(minute(kBase + 120, 7200, 14, 20, 40)));

        const auto minutes = db.rows(archive::Step::Minute, kBase, kBase + 180);
        QCOMPARE(minutes.size(), size_t(3));
        QCOMPARE(minutes[0].volts.mean(), 12.0);
        QCOMPARE(minutes[0].volts.min, 11.75);
        QCOMPARE(minutes[0].volts.max, 12.25);
        QCOMPARE(minutes[0].wind.max, 4.470); // thousandths of m/s
        QCOMPARE(minutes[0].windUnit, std::string("mph"));
        QCOMPARE(minutes[2].frames, 50LL);
        QCOMPARE(minutes[2].noDataSeconds, 10.0);
        QCOMPARE(minutes[2].utcOffset, 7200);

        const auto hours = db.rows(archive::Step::Hour, 0, kBase * 2);
        QCOMPARE(hours.size(), size_t(2));
        QCOMPARE(hours[0].minutes, 2LL);
        QCOMPARE(hours[0].t, kBase - 58 * 60);
        QCOMPARE(hours[0].volts.mean(), 12.5);
        QCOMPARE(hours[0].energyWh, 2.5);
        QCOMPARE(hours[1].minutes, 1LL);
        QCOMPARE(hours[1].frames, 50LL);
        QCOMPARE(hours[1].noDataSeconds, 10.0);
        const auto days = db.rows(archive::Step::Day, 0, kBase * 2);
        QCOMPARE(days.size(), size_t(1));
        QCOMPARE(days[0].minutes, 3LL);
        QCOMPARE(days[0].t, kBase - 60 * 60 - 58 * 60); // local midnight, +01:00
        QCOMPARE(days[0].volts.min, 11.75);
        QCOMPARE(days[0].volts.max, 14.25);

        // Retention takes minutes only.
        QVERIFY(db.forgetMinutesBefore(kBase + 60));
        QCOMPARE(db.rows(archive::Step::Minute, 0, kBase * 2).size(), size_t(2));
        QCOMPARE(db.rows(archive::Step::Hour, 0, kBase * 2).size(), size_t(2));
        QCOMPARE(db.integrityCheck(), std::string("ok"));
    }

    // The curve's bins follow the minutes in the same transaction: a minute
    // written again counts once, forgetting minutes leaves the curve, other
    // rules make the bins again from the minutes kept, a reset starts anew.
    void curveFollowsMinutes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("archive.sqlite");
        archive::ArchiveDb db;
        QVERIFY(db.open(path, false));
        // 12 V: 120 W at 4.470 m/s (bin 9); the two halves of one minute,
        // each too short alone, count as one minute once they merge.
        for (int i = 0; i < 12; ++i)
            QVERIFY(db.write(minute(kBase + 60 * i, 3600, 12)));
        QVERIFY(db.write(minute(kBase + 60 * 12, 3600, 12, 30, 30)));
        QCOMPARE(db.curve(core::CurveRules())->bins()[9].minutes, 12LL);
        QVERIFY(db.write(minute(kBase + 60 * 12, 3600, 12, 30, 30)));
        const core::PowerCurve after = *db.curve(core::CurveRules());
        QCOMPARE(after.bins()[9].minutes, 13LL);
        QCOMPARE(after.minutes(), 13LL);
        QVERIFY(std::abs(after.bins()[9].meanWind() - 4.470) < 1e-9);
        QVERIFY(std::abs(after.bins()[9].meanWatts() - 120) < 1e-9);

        QVERIFY(db.forgetMinutesBefore(kBase + 60 * 13));
        QCOMPARE(db.curve(core::CurveRules())->minutes(), 13LL);

        // A battery full at 12.2 V: what the minutes kept say, made again.
        core::TurbineSettings s;
        s.batteryFullVolts = 12.2;
        for (int i = 13; i < 15; ++i)
            QVERIFY(db.write(minute(kBase + 60 * i, 3600, 12)));
        QVERIFY(db.setCurveRules(core::curveRules(s)));
        const core::PowerCurve rebuilt = *db.curve(core::curveRules(s));
        QCOMPARE(rebuilt.minutes(), 0LL);
        QCOMPARE(rebuilt.curtailedIn(std::nullopt, core::MinuteUse::BatteryFull).seconds, 120.0);
        // Back to the first rules: the same bins as written one by one.
        QVERIFY(db.setCurveRules(core::CurveRules()));
        QCOMPARE(db.curve(core::CurveRules())->bins()[9].minutes, 2LL);
        // Asked by other rules than its bins were made by, as the writer will make them.
        QCOMPARE(db.curve(core::curveRules(s))->minutes(), 0LL);
        QCOMPARE(db.curve(core::curveRules(s))->curtailedIn(std::nullopt, core::MinuteUse::BatteryFull).seconds,
                 120.0);

        // A reset through another connection: the writer's next minutes count
        // from then on, and a minute from before it is never taken out.
        {
            archive::ArchiveDb other;
            QVERIFY(other.open(path, false));
            QVERIFY(other.resetCurve(kBase + 60 * 15));
        }
        QVERIFY(db.write(minute(kBase + 60 * 14, 3600, 12)));
        QVERIFY(db.write(minute(kBase + 60 * 15, 3600, 12)));
        const core::PowerCurve reset = *db.curve(core::CurveRules());
        QCOMPARE(reset.minutes(), 1LL);
        QCOMPARE(reset.bins()[9].minutes, 1LL);
        QCOMPARE(db.integrityCheck(), std::string("ok"));
    }

    // An archive of the first schema takes the curve's tables and makes the
    // bins of its minutes; read-only before that, the curve is made in memory.
    void schemaOneTakesTheCurve()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("archive.sqlite");
        {
            archive::ArchiveDb db;
            QVERIFY(db.open(path, false));
            for (int i = 0; i < 10; ++i)
                QVERIFY(db.write(minute(kBase + 60 * i, 0, 13)));
        }
        QCOMPARE(sql(path, "drop table curve_bin; drop table curve_seed; drop table "
                             "curve_curtailed; delete from meta where key like 'curve%'; pragma user_version=1;"),
                 0);
        archive::ArchiveDb reader;
        QVERIFY(reader.open(path, true));
        QCOMPARE(reader.curve(core::CurveRules())->bins()[9].minutes, 10LL);
        reader.close();
        archive::ArchiveDb db;
        QVERIFY2(db.open(path, false), qPrintable(db.error()));
        QVERIFY(db.setCurveRules(core::CurveRules()));
        const core::PowerCurve c = *db.curve(core::CurveRules());
        QCOMPARE(c.bins()[9].minutes, 10LL);
        QVERIFY(c.bins()[9].measured());
        QCOMPARE(db.rows(archive::Step::Minute, 0, kBase * 2).size(), size_t(10));
    }

    // powercurve.csv of the earlier version: taken in once as whole minutes,
    // kept under a numbered name, and still there after the bins are made
    // again; only what came before the archive measured (else counted twice).
    void frameCurveTakenOnce_data()
    {
        QTest::addColumn<qint64>("measuredAt"); // a measured minute at kBase + this; none when < 0
        QTest::addColumn<long long>("binMinutes");
        QTest::addColumn<QString>("told");
        QTest::newRow("no minutes measured yet") << qint64(-1) << 10LL << "was taken into the curve of one-minute";
        QTest::newRow("measured after its frames")
            << qint64(7200) << 10LL << "was taken into the curve of one-minute";
        QTest::newRow("measured in the same time")
            << qint64(300) << 0LL
            << "its other 1 bins hold time the curve has from the archive's minutes and were left out";
    }
    void frameCurveTakenOnce()
    {
        QFETCH(qint64, measuredAt);
        QFETCH(long long, binMinutes);
        QFETCH(QString, told);
        QTemporaryDir dir;
        if (measuredAt >= 0) {
            archive::ArchiveDb db;
            QVERIFY(db.open(dir.filePath("archive.sqlite"), false));
            QVERIFY(db.write(minute(kBase + measuredAt, 0, 12)));
        }
        core::FrameCurve frames;
        core::FrameBin &b = frames.bin(12);
        b.frames = 1200;
        b.sumWatts = 1200 * 150.0;
        b.sumSquares = 1200 * 150.0 * 150.0;
        b.seconds = 600; // 10 minutes
        b.first = kBase;
        b.last = kBase + 600;
        frames.bin(50).frames = 1; // the stray frame: a second, no whole minute
        frames.bin(50).sumWatts = 2000;
        frames.bin(50).sumSquares = 2000.0 * 2000;
        frames.bin(50).seconds = 1;
        frames.bin(50).first = frames.bin(50).last = kBase;
        for (const char *name : {"powercurve.csv", "powercurve-frames.csv"}) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray::fromStdString(core::frameCurveText(frames)));
        }
        {
            archive::ArchiveWriter w(dir.filePath("archive.sqlite"), core::TurbineSettings(), {});
            QSignalSpy problems(&w, &archive::ArchiveWriter::problem);
            w.start();
            w.finish();
            QCOMPARE(problems.size(), 1);
            QVERIFY2(problems.first().at(1).toString().contains("powercurve-frames-2.csv"),
                     qPrintable(problems.first().at(1).toString()));
            QVERIFY2(problems.first().at(1).toString().contains(told),
                     qPrintable(problems.first().at(1).toString()));
        }
        QVERIFY(!QFileInfo::exists(dir.filePath("powercurve.csv")));
        archive::ArchiveDb db;
        QVERIFY(db.open(dir.filePath("archive.sqlite"), false));
        core::TurbineSettings s;
        s.dumpsToLoad = true;
        QVERIFY(db.setCurveRules(core::curveRules(s)));
        const core::PowerCurve c = *db.curve(core::CurveRules());
        QCOMPARE(c.bins()[12].minutes, binMinutes);
        QCOMPARE(c.bins()[50].minutes, 0LL);
        if (!binMinutes)
            return;
        QCOMPARE(c.bins()[12].meanWind(), 6.0);
        QCOMPARE(c.bins()[12].meanWatts(), 150.0);
        QVERIFY(!db.takeFrameCurve(frames));
    }

    // Minutes from the daily logs: never over one already there, never into
    // an hour whose minutes were let go, and nothing twice.
    void addImported_data()
    {
        QTest::addColumn<QString>("measured"); // minutes 0..4 of an hour: "m" measured before the import
        QTest::addColumn<bool>("forget");      // minutes before the hour's third let go first
        QTest::addColumn<int>("runs");
        QTest::addColumn<int>("added");        // by the last run
        QTest::addColumn<int>("minutes");      // the hour's summary afterwards
        QTest::addColumn<int>("imported");
        QTest::newRow("an empty archive takes them all") << "....." << false << 1 << 5 << 5 << 5;
        QTest::newRow("measured minutes stay as they were") << ".m.m." << false << 1 << 3 << 5 << 3;
        QTest::newRow("again: nothing more") << ".m.m." << false << 2 << 0 << 5 << 3;
        QTest::newRow("an hour whose minutes were let go is left") << "mm.m." << true << 1 << 0 << 3 << 0;
    }
    void addImported()
    {
        QFETCH(QString, measured);
        QFETCH(bool, forget);
        QFETCH(int, runs);
        QFETCH(int, added);
        QFETCH(int, minutes);
        QFETCH(int, imported);
        QTemporaryDir dir;
        archive::ArchiveDb db;
        QVERIFY2(db.open(dir.filePath("archive.sqlite"), false), qPrintable(db.error()));
        const std::int64_t hour = kBase + 120; // 01:00 UTC
        for (int i = 0; i < measured.size(); ++i)
            if (measured[i] == QLatin1Char('m'))
                QVERIFY(db.write(minute(hour + 60 * i, 0, 12)));
        if (forget)
            QVERIFY(db.forgetMinutesBefore(hour + 120));
        std::vector<core::ArchiveRow> rows;
        for (int i = 0; i < 5; ++i) {
            core::ArchiveRow r = minute(hour + 60 * i, 0, 20, 1);
            r.frames = 0;
            r.imported = 1;
            rows.push_back(r);
        }
        long long last = -1;
        for (int run = 0; run < runs; ++run)
            last = db.addImported(rows);
        QCOMPARE(last, (long long)added);
        const auto h = db.row(archive::Step::Hour, hour);
        QVERIFY(h);
        QCOMPARE(h->minutes, (long long)minutes);
        QCOMPARE(h->imported, (long long)imported);
        const auto d = db.rows(archive::Step::Day, 0, hour * 2);
        QCOMPARE(d.size(), size_t(1));
        QCOMPARE(d[0].minutes, (long long)minutes);
        for (const core::ArchiveRow &m : db.rows(archive::Step::Minute, hour, hour + 300)) {
            const int i = int((m.t - hour) / 60);
            const bool wasMeasured = measured[i] == QLatin1Char('m');
            QCOMPARE(m.imported, wasMeasured ? 0LL : 1LL);
            QCOMPARE(m.volts.max, wasMeasured ? 12.25 : 19.75);
        }
        QCOMPARE(db.integrityCheck(), std::string("ok"));
    }

    // What the writer finds at start: the file, what the user is told, and
    // whether a new archive then works.
    void atStart_data()
    {
        QTest::addColumn<QByteArray>("found");
        QTest::addColumn<QString>("told");
        QTest::addColumn<bool>("keptAside");
        QTest::addColumn<bool>("writes");
        QTest::newRow("none") << QByteArray() << "" << false << true;
        QTest::newRow("not a database") << QByteArray(5000, 'x') << "kept" << true << true;
        QTest::newRow("another program's database") << QByteArray("create table x(a);") << "kept" << true << true;
        QTest::newRow("a newer program's archive") << QByteArray("pragma user_version=9;") << "open" << false
                                                   << false;
    }
    void atStart()
    {
        QFETCH(QByteArray, found);
        QFETCH(QString, told);
        QFETCH(bool, keptAside);
        QFETCH(bool, writes);
        QTemporaryDir dir;
        const QString path = dir.filePath("archive.sqlite");
        if (found.startsWith("create") || found.startsWith("pragma")) {
            QCOMPARE(sql(path, QString::fromLatin1(found)), SQLITE_OK);
        } else if (!found.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(found);
        }
        archive::ArchiveWriter w(path, core::TurbineSettings(), {});
        QSignalSpy problems(&w, &archive::ArchiveWriter::problem);
        w.start();
        w.write(minute(kBase, 0, 12));
        w.finish();
        QCOMPARE(problems.isEmpty() ? QString() : problems.first().first().toString(), told);
        QCOMPARE(QFileInfo::exists(path + ".bad"), keptAside);
        if (keptAside) {
            QVERIFY(problems.first().at(1).toString().contains("archive.sqlite.bad"));
        }
        archive::ArchiveDb db;
        if (writes) {
            QVERIFY(db.open(path, true));
            QCOMPARE(db.rows(archive::Step::Minute, 0, kBase * 2).size(), size_t(1));
        } else {
            QCOMPARE(w.waiting(), size_t(1));
        }
    }

    // A damaged archive found at start: a year of hours and days, curve bins
    // and the minutes of the last two weeks, one page overwritten. What can
    // be read comes back; what the page held is made again where its source
    // came back; the user is told how much.
    // A day is found by its date however the zone's clocks change on it:
    // written so now, or mended when an older archive is opened.
    void dayBoundaries_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("minute"); // local
        QTest::addColumn<QString>("dayStarts");
        QTest::addColumn<bool>("mended");
        const QList<QStringList> rows{
            {"Europe/Berlin", "2026-03-29T03:30", "2026-03-29T00:00:00+01:00"},
            {"Europe/Berlin", "2026-10-25T23:30", "2026-10-25T00:00:00+02:00"},
            {"America/Santiago", "2026-09-06T12:00", "2026-09-06T01:00:00-03:00"},
            {"Australia/Lord_Howe", "2026-10-04T12:00", "2026-10-04T00:00:00+10:30"},
        };
        for (const bool mended : {false, true})
            for (const QStringList &r : rows)
                QTest::addRow("%s %s%s", qPrintable(r[0]), qPrintable(r[1]), mended ? ", mended" : "")
                    << r[0].toUtf8() << r[1] << r[2] << mended;
    }
    void dayBoundaries()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, minute);
        QFETCH(QString, dayStarts);
        QFETCH(bool, mended);
        Zone z(zone.constData());
        QTemporaryDir dir;
        const QString path = dir.filePath("archive.sqlite");
        const QDateTime at = QDateTime::fromString(minute, Qt::ISODate);
        if (at.offsetFromUtc() == 0)
            QSKIP("the C library here does not know the zone (Windows)");
        {
            archive::ArchiveDb db;
            QVERIFY(db.open(path, false));
            QVERIFY(db.write(::minute(at.toSecsSinceEpoch(), at.offsetFromUtc(), 12)));
        }
        if (mended) {
            // As the program wrote days before: from the first minute's offset.
            const qint64 off = at.offsetFromUtc(), t = at.toSecsSinceEpoch();
            const qint64 start = (t + off) / 86400 * 86400 - off;
            QCOMPARE(sql(path, QString("UPDATE day SET t = %1, utc_offset = %2; PRAGMA user_version = 2")
                                   .arg(start)
                                   .arg(off)),
                     SQLITE_OK);
            archive::ArchiveDb db;
            QVERIFY2(db.open(path, false), qPrintable(db.error()));
        }
        const QString date = minute.left(10);
        int rc = -1;
        const QStringList lines =
            exported(dir.path(), date, date, archive::Step::Day, &rc).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rc, 0);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[1].startsWith(dayStarts + ",1,"), qPrintable(lines[1]));
    }

    // A measured minute takes the place of one imported from the daily logs,
    // in the minute and in its summaries; one measured before takes the new part in.
    void measuredReplacesImported()
    {
        QTemporaryDir dir;
        archive::ArchiveDb db;
        QVERIFY(db.open(dir.filePath("archive.sqlite"), false));
        core::ArchiveRow logged = minute(kBase, 0, 20, 1); // 2 Wh, interval maxima
        QCOMPARE(db.addImported({logged}), 1LL);
        QVERIFY(db.write(minute(kBase + 60, 0, 12)));
        QVERIFY(db.write(minute(kBase, 0, 12, 30, 30))); // 1.2 Wh measured
        QVERIFY(db.write(minute(kBase, 0, 12, 30, 30))); // the rest of it after a restart
        const auto m = db.row(archive::Step::Minute, kBase);
        QVERIFY(m);
        QCOMPARE(m->imported, 0LL);
        QCOMPARE(m->frames, 60LL);
        QCOMPARE(m->energyWh, 2.4);
        for (const auto step : {archive::Step::Hour, archive::Step::Day}) {
            const auto rows = db.rows(step, 0, kBase * 2);
            QCOMPARE(rows.size(), size_t(1));
            QCOMPARE(rows[0].minutes, 2LL);
            QCOMPARE(rows[0].imported, 0LL);
            QCOMPARE(rows[0].frames, 120LL);
            QCOMPARE(std::llround(rows[0].energyWh * 1000), 3600LL);
            QCOMPARE(rows[0].volts.max, 12.25);
        }
    }

    // Retention by a clock that is wrong: 800 days ahead at start, nothing
    // goes (and it is told once); as time passes, no more than it.
    void retentionByAWrongClock()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("archive.sqlite");
        archive::ArchiveWriter w(path, core::TurbineSettings(), {});
        QSignalSpy problems(&w, &archive::ArchiveWriter::problem);
        w.start();
        const std::int64_t day = 86400, newest = kBase + 9 * day;
        for (std::int64_t t = kBase; t <= newest; t += day / 4)
            w.write(minute(t, 0, 12));
        const auto kept = [&path] {
            archive::ArchiveDb db;
            return db.open(path, true) ? db.rows(archive::Step::Minute, 0, kBase * 2).size() : size_t(0);
        };
        QCOMPARE(kept(), size_t(37));
        w.forget(newest + 800 * day, 0, 3);
        QCOMPARE(kept(), size_t(37));
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems.first().at(0).toString(), QString("clock ahead"));
        w.forget(newest + 800 * day + day / 2, day / 2, 3); // half a day later
        QCOMPARE(kept(), size_t(37 - 26)); // the minutes before newest - 2.5 days
        w.forget(newest + day, day, 3); // set right
        QCOMPARE(kept(), size_t(37 - 28));
        QCOMPARE(problems.size(), 1);
        w.finish();
    }

    // Minutes that waited a week are let go one by one, told once and
    // counted; those still waiting at the end are named.
    void droppedAndUnwritten()
    {
        QTemporaryDir dir;
        archive::ArchiveWriter w(dir.filePath("missing/archive.sqlite"), core::TurbineSettings(), {});
        QSignalSpy problems(&w, &archive::ArchiveWriter::problem);
        QSignalSpy dropped(&w, &archive::ArchiveWriter::droppedChanged);
        const std::int64_t n = archive::ArchiveWriter::kMaxWaiting + 2;
        for (std::int64_t i = 0; i < n; ++i)
            w.write(minute(kBase + 60 * i, 0, 12, 1));
        QCOMPARE(w.dropped(), 2LL);
        QCOMPARE(dropped.size(), 2);
        QStringList told;
        for (const auto &p : problems)
            told << p.at(0).toString();
        QCOMPARE(told.count("dropped"), 1);
        const QString lost = w.finish();
        QVERIFY2(
            lost.startsWith(QString("%1 minutes from 2026-03-29 01:00 to 2026-04-05 00:59 could not be written")
                                .arg(archive::ArchiveWriter::kMaxWaiting)),
            qPrintable(lost));
    }

    // Damage found while writing is dealt with as at start: the file kept
    // aside, what reads taken over, and the waiting minute written.
    void damageWhileRunning()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("archive.sqlite");
        archive::ArchiveWriter w(path, core::TurbineSettings(), {});
        QSignalSpy problems(&w, &archive::ArchiveWriter::problem);
        w.start();
        for (int i = 0; i < 600; ++i)
            w.write(minute(kBase + 60 * i, 0, 12));
        QCOMPARE(sql(path, "pragma wal_checkpoint(truncate)"), SQLITE_OK);
        const Leaf leaf = leafOf(path, "minute", true);
        const qint64 lost = scalar(path, QString("select count(*) from minute where t > %1").arg(leaf.lo));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            const qint64 size = scalar(path, "pragma page_size");
            QVERIFY(f.seek((leaf.page - 1) * size));
            QCOMPARE(f.write(QByteArray(int(size), char(0xa5))), size);
        }
        w.write(minute(kBase + 60 * 600, 0, 12));
        QCOMPARE(w.waiting(), size_t(0));
        QVERIFY(QFileInfo::exists(path + ".bad"));
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems.first().at(1).toString().contains(QString("minutes %1").arg(600 - lost)),
                 qPrintable(problems.first().at(1).toString()));
        QVERIFY(w.finish().isEmpty());
        archive::ArchiveDb db;
        QVERIFY(db.open(path, true));
        QCOMPARE(db.rows(archive::Step::Minute, 0, kBase * 2).size(), size_t(600 - lost + 1));
        QCOMPARE(db.rows(archive::Step::Hour, 0, kBase * 2).size(), size_t(11));
    }

    void salvageAtStart_data()
    {
        QTest::addColumn<QString>("table"); // whose page is overwritten
        QTest::addColumn<bool>("last");     // its last leaf, else its middle one
        QTest::addColumn<bool>("root");     // its root page: none of its rows
        QTest::newRow("a page of minutes") << "minute" << false << false;
        QTest::newRow("the minutes' root page") << "minute" << false << true;
        QTest::newRow("a page of hours: made again from their minutes") << "hour" << true << false;
        QTest::newRow("a page of days: made again from their hours") << "day" << true << false;
        QTest::newRow("the curve's page: made again from the minutes") << "curve_bin" << false << false;
        QTest::newRow("the schema's page: nothing comes back") << "sqlite_schema" << false << false;
    }
    void salvageAtStart()
    {
        QFETCH(QString, table);
        QFETCH(bool, last);
        QFETCH(bool, root);
        QTemporaryDir dir;
        const QString path = dir.filePath("archive.sqlite");
        const std::int64_t t0 = kBase - 58 * 60, twoWeeks = 14 * 86400;
        {
            archive::ArchiveDb db;
            QVERIFY(db.open(path, false));
            // The writer's rules, so that it finds the curve as made by them.
            QVERIFY(db.setCurveRules(core::curveRules(core::TurbineSettings())));
            std::vector<core::ArchiveRow> imported;
            for (std::int64_t t = t0; t < t0 + twoWeeks - 7200; t += 60) {
                imported.push_back(minute(t, 0, 12 + double(t % 7), 1));
                imported.back().frames = 0;
            }
            QCOMPARE(db.addImported(imported), (long long)imported.size());
            // Measured minutes: the curve's bin 9 (120 W at 4.47 m/s).
            for (std::int64_t t = t0 + twoWeeks - 7200; t < t0 + twoWeeks; t += 60)
                QVERIFY(db.write(minute(t, 0, 12)));
        }
        QCOMPARE(
            sql(path, QString("with recursive n(i) as (select 0 union all select i + 1 from n where i < 8759) "
                              "insert into hour(t, utc_offset, minutes, imported, frames, energy_wh) select "
                              "%1 + i * 3600, 0, 60, 0, 3600, i % 97 from n;"
                              "insert into day(day, t, utc_offset, minutes, imported, frames, energy_wh) select "
                              "cast(strftime('%Y%m%d', min(t), 'unixepoch') as integer), min(t), 0, "
                              "sum(minutes), 0, sum(frames), sum(energy_wh) from hour where t < %2 group by "
                              "t / 86400;"
                              "with recursive n(i) as (select 0 union all select i + 1 from n where i < 23) "
                              "insert into curve_bin select 20 + i, 100 + i, 5.0 * (100 + i), 50.0 * (100 + i), "
                              "0, 0, 0 from n;")
                          .arg(t0 - 365 * 86400)
                          .arg(t0)),
            SQLITE_OK);
        // Each table as it was, by row: its key and what it counts.
        const auto state = [](const QString &file) {
            std::map<QString, std::vector<std::array<qint64, 3>>> s{
                {"0", {}}, {"1", {}}, {"2", {}}, {"curve", {}}};
            archive::ArchiveDb db;
            if (!db.open(file, true))
                return s;
            for (const auto step : {archive::Step::Minute, archive::Step::Hour, archive::Step::Day})
                for (const core::ArchiveRow &r : db.rows(step, 0, kBase * 2))
                    s[QString::number(int(step))].push_back({r.t, r.minutes, std::llround(r.energyWh * 1000)});
            if (const auto curve = db.curve(core::curveRules(core::TurbineSettings())))
                for (int b = 0; b < core::PowerCurve::kBins; ++b)
                    if (curve->bins()[size_t(b)].minutes)
                        s["curve"].push_back({b, curve->bins()[size_t(b)].minutes, 0});
            return s;
        };
        auto before = state(path);
        QCOMPARE(before["0"].size(), size_t(twoWeeks / 60));
        QCOMPARE(before["1"].size(), size_t(8760 + 14 * 24));
        QCOMPARE(before["curve"].size(), size_t(25));

        QCOMPARE(sql(path, "pragma wal_checkpoint(truncate)"), SQLITE_OK);
        const Leaf leaf = leafOf(path, table, last, root);
        const QString key = table == "day" ? "day" : table == "curve_bin" ? "bin" : "t";
        const qint64 lost = table == "sqlite_schema"
                                ? 0
                                : scalar(path, QString("select count(*) from %1 where %2 > %3 and %2 <= %4")
                                                   .arg(table, key)
                                                   .arg(leaf.lo)
                                                   .arg(leaf.hi));
        QVERIFY(lost >= 0);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            const qint64 size = scalar(path, "pragma page_size");
            QVERIFY(f.seek((leaf.page - 1) * size));
            QCOMPARE(f.write(QByteArray(int(size), char(0xa5))), size);
        }

        archive::ArchiveWriter w(path, core::TurbineSettings(), {});
        QSignalSpy problems(&w, &archive::ArchiveWriter::problem);
        w.start();
        w.finish();
        QVERIFY(QFileInfo::exists(path + ".bad"));
        QCOMPARE(problems.size(), 1);
        const QString told = problems.first().at(1).toString();
        const auto after = state(path);
        // What comes back: everything but the page (nothing past the schema's),
        // and what it held made again from minutes or hours.
        if (table == "sqlite_schema") {
            QVERIFY2(told.contains("; nothing could be read from it"), qPrintable(told));
            QVERIFY(after.at("0").empty());
            return;
        }
        const qint64 minutes = qint64(before["0"].size()) - (table == "minute" ? lost : 0);
        const qint64 hours = qint64(before["1"].size()) - (table == "hour" ? lost : 0);
        const qint64 days = qint64(before["2"].size()) - (table == "day" ? lost : 0);
        QString expected = QString("minutes %1, hours %2").arg(minutes).arg(hours);
        if (table == "hour")
            expected += QString(" (and %1 made again from their minutes)").arg(lost);
        expected += QString(", days %1").arg(days);
        if (table == "day")
            expected += QString(" (and %1 made again from their hours)").arg(lost);
        expected += table == "curve_bin" ? " came back; curve bins 1 were made again from the minutes kept"
                                         : ", curve bins 25 came back";
        QVERIFY2(told.contains(expected), qPrintable(told + "\n" + expected));
        QVERIFY(lost > 0);
        if (table == "minute") {
            auto &m = before["0"];
            m.erase(std::remove_if(m.begin(), m.end(),
                                   [&](const auto &r) { return r[0] > leaf.lo && r[0] <= leaf.hi; }),
                    m.end());
        }
        if (table == "curve_bin")
            before["curve"] = {{9, 120, 0}};
        QCOMPARE(after.at("0"), before["0"]);
        QCOMPARE(after.at("1"), before["1"]);
        QCOMPARE(after.at("2"), before["2"]);
        QCOMPARE(after.at("curve"), before["curve"]);
        archive::ArchiveDb db;
        QVERIFY(db.open(path, true));
        QCOMPARE(db.integrityCheck(), std::string("ok"));
    }

    // The live alarms learn the cut-in the categories use: at start, when
    // the turbine's settings change, and when the archive cannot be opened.
    void rulesToldForTheAlarms()
    {
        QTemporaryDir dir;
        core::TurbineSettings s;
        s.cutIn = 4;
        for (const QString &path : {dir.filePath("archive.sqlite"), dir.filePath("missing/archive.sqlite")}) {
            archive::ArchiveWriter w(path, s, {});
            QList<double> told;
            QObject::connect(&w, &archive::ArchiveWriter::rulesFound,
                             [&](const core::AvailabilityRules &r) { told << r.cutIn; });
            w.start();
            core::TurbineSettings other = s;
            other.cutIn = 5;
            w.setTurbine(other, {});
            QCOMPARE(told, (QList<double>{4, 5}));
            w.finish();
        }
    }

    // The export reads while the writer holds the archive open.
    void exportWhileWriting()
    {
        QTemporaryDir dir;
        archive::ArchiveWriter w(dir.filePath("archive.sqlite"), core::TurbineSettings(), {});
        w.start();
        for (int i = 0; i < 3; ++i)
            w.write(minute(kBase + 60 * i, 0, 12 + i));
        int rc = -1;
        QString text = exported(dir.path(), "2026-03-29T00:58", "2026-03-29T01:00Z", archive::Step::Minute, &rc);
        QCOMPARE(rc, 0);
        QStringList lines = text.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3); // the header and two minutes
        QVERIFY(lines[1].startsWith("2026-03-29T00:58:00+00:00,1,0,60,0,12,11.75,12.25,10,10,10,120,120,120,,,,"
                                    "4.47,4.47,4.47,m/s,1.2,0,0"));
        text = exported(dir.path(), "2026-03-29", "2026-03-29", archive::Step::Day, &rc);
        QCOMPARE(rc, 0);
        QVERIFY2(text.contains("\n2026-03-29T00:00:00+00:00,3,0,180,"), qPrintable(text));
        w.finish();

        QCOMPARE((exported(dir.path(), "2026-03-29", "yesterday", archive::Step::Day, &rc), rc), 2);
        QCOMPARE((exported(dir.path(), "2026-03-29", "2026-03-28", archive::Step::Day, &rc), rc), 2);
        QCOMPARE((exported(dir.filePath("none"), "2026-03-29", "2026-03-29", archive::Step::Day, &rc), rc), 1);
    }

    // The export writes as it reads: what fails on the way is told, never a
    // short file taken for the whole.
    void exportFails_data()
    {
        QTest::addColumn<bool>("damaged");  // a page of minutes overwritten
        QTest::addColumn<bool>("readOnly"); // the output cannot be written
        QTest::addColumn<QString>("told");
        QTest::newRow("output not writable") << false << true << "The export could not be written.";
        QTest::newRow("a page unreadable midway") << true << false << "could not be read to the end";
    }
    void exportFails()
    {
        QFETCH(bool, damaged);
        QFETCH(bool, readOnly);
        QFETCH(QString, told);
        QTemporaryDir dir;
        const QString path = dir.filePath("archive.sqlite");
        {
            archive::ArchiveDb db;
            QVERIFY(db.open(path, false));
            std::vector<core::ArchiveRow> rows;
            for (int i = 0; i < 3 * 24 * 60; ++i)
                rows.push_back(minute(kBase + 60 * i, 0, 12, 1));
            QCOMPARE(db.addImported(rows), (long long)rows.size());
        }
        if (damaged) {
            QCOMPARE(sql(path, "pragma wal_checkpoint(truncate)"), SQLITE_OK);
            const qint64 size = scalar(path, "pragma page_size");
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.seek((leafOf(path, "minute", false).page - 1) * size));
            QCOMPARE(f.write(QByteArray(int(size), char(0xa5))), size);
        }
        const QString outPath = dir.filePath("out.csv");
        QFile(outPath).open(QIODevice::WriteOnly);
        std::FILE *out = std::fopen(outPath.toLocal8Bit().constData(), readOnly ? "rb" : "wb");
        std::FILE *err = std::tmpfile();
        QVERIFY(out && err);
        QCOMPARE(archive::exportArchive(dir.path(), "2026-03-29", "2026-04-01", archive::Step::Minute, out, err),
                 1);
        std::fclose(out);
        std::rewind(err);
        char text[1000] = {};
        std::fread(text, 1, sizeof text - 1, err);
        std::fclose(err);
        QVERIFY2(QString(text).contains(told), text);
        // What was read before the damage is there.
        QFile written(outPath);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll().count('\n') > 100, damaged);
    }

    // The days the under-performing alarm judges, read on the watch's thread,
    // and the same days' performance on the exported day rows: 120 W at
    // 4.4704 m/s against 223.52 W certified there is 53.7 %. March 1 to 6
    // have 61 minutes of wind each, but the 3rd only 59: with the 7th today,
    // five days count.
    void performanceOfDays()
    {
        QTemporaryDir dir;
        {
            archive::ArchiveDb db;
            QVERIFY(db.open(dir.filePath("archive.sqlite"), false));
            for (int day = 1; day <= 7; ++day) {
                const QDateTime noon(QDate(2026, 3, day), QTime(12, 0));
                for (int m = 0; m < (day == 3 ? 59 : 61); ++m)
                    QVERIFY(db.write(minute(noon.toSecsSinceEpoch() + 60 * m, noon.offsetFromUtc(), 12)));
            }
        }
        QFile curve(dir.filePath("certified-curve.csv"));
        QVERIFY(curve.open(QIODevice::WriteOnly));
        curve.write("wind_m_s,power_w\r\n0,0\r\n10,500\r\n");
        curve.close();

        testsupport::FakeServices fake(dir.path());
        fake.clock.set(QDateTime(QDate(2026, 3, 7), QTime(14, 5)));
        std::map<int, core::PerformanceSums> told;
        int today = 0;
        archive::PerformanceWatch watch(fake.services(), [&](const auto &days, int t) {
            told = days;
            today = t;
        });
        watch.check();
        QTRY_VERIFY_WITH_TIMEOUT(today != 0, 20000);
        QCOMPARE(today, 20260307);
        QCOMPARE(int(told.size()), archive::PerformanceWatch::kLookBackDays);
        QVERIFY(!told.count(20260307));
        QCOMPARE(told.at(20260301).windyMinutes, 61LL);
        QCOMPARE(told.at(20260303).windyMinutes, 59LL);
        QCOMPARE(std::round(told.at(20260306).ratio().value_or(0) * 10000), 5369.0);
        QVERIFY(!told.at(20260228).ratio());

        core::AlarmSettings s;
        s.on[size_t(core::AlarmId::UnderPerforming)] = true;
        s.performanceDays = 6;
        core::AlarmBook book;
        book.setSettings(s, 0);
        QVERIFY(book.performance(told, today).empty());
        s.performanceDays = 5;
        const auto raised = book.setSettings(s, 0);
        QCOMPARE(int(raised.size()), 1);
        QCOMPARE(core::alarmNumberText(raised[0].id, raised[0].value), std::string("53.69"));

        int rc = -1;
        const QStringList lines = exported(dir.path(), "2026-03-01", "2026-03-07", archive::Step::Day, &rc).split('\n');
        QCOMPARE(rc, 0);
        QVERIFY2(lines[0].endsWith(",no_data_s,performance_percent"), qPrintable(lines[0]));
        QCOMPARE(lines.size(), 9); // a header, seven days, the end
        for (int i = 1; i <= 7; ++i)
            QVERIFY2(lines[i].endsWith(",53.7"), qPrintable(lines[i]));
    }

    void fullDisk()
    {
        if (qEnvironmentVariableIsSet("VELDRA_FULL_DISK_DIR"))
            QSKIP("the child's own run");
#ifdef Q_OS_WIN
        QSKIP("a full disk is made with a tmpfs in a Linux mount namespace");
#endif
        QTemporaryDir dir;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VELDRA_FULL_DISK_DIR", dir.path());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        // The tmpfs is seen only inside the namespace, and goes with it.
        child.start("unshare", {"-m", "--propagation", "private", "sh", "-c",
                                "mount -t tmpfs -o size=4m veldra-test \"$0\" && exec \"$1\"", dir.path(),
                                QCoreApplication::applicationFilePath()});
        QVERIFY(child.waitForFinished(120000));
        if (child.exitCode() == 1 || child.exitCode() == 32) {
            if (qEnvironmentVariableIntValue("CI") == 1)
                QFAIL("a tmpfs could not be mounted in a namespace of its own");
            QSKIP("a tmpfs in a mount namespace needs root");
        }
        QCOMPARE(child.exitCode(), 0);
    }
};

int main(int argc, char **argv)
{
    // The export reads times in local time.
    qputenv("TZ", "UTC");
    if (qEnvironmentVariableIsSet("VELDRA_FULL_DISK_DIR")) {
        QCoreApplication app(argc, argv);
        return fullDiskChild(qEnvironmentVariable("VELDRA_FULL_DISK_DIR"));
    }
    QCoreApplication app(argc, argv);
    TstArchiveDb test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_archivedb.moc"
