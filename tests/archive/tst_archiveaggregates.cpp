// SPDX-License-Identifier: GPL-3.0-or-later
// The wind's tallies and the performance's day sums the archive keeps beside
// its minutes, held against the same figures read from the rows, on an
// archive with every kind of minute: calm, gusts, another unit, imported,
// replaced and merged, across a month's end and the spring clock change,
// with minutes let go and rules changed.

#include "archive/ArchiveDb.h"
#include "archive/Certified.h"
#include "archive/WindReport.h"
#include "core/WebAnalyses.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QtTest>

#include <cmath>
#include <limits>
#include <sqlite3.h>

namespace {

// 2026-03-27 00:00 in Berlin: the clocks go forward on the 29th, April
// starts on the sixth day.
constexpr std::int64_t kStart = 1774566000;
constexpr int kDays = 9;
constexpr std::int64_t kEver = std::numeric_limits<std::int64_t>::max() / 2;

const std::vector<core::CurvePoint> kCertifiedA{{2.5, 0}, {3, 15}, {6, 165}, {9, 520}, {12, 900}, {25, 950}};
const std::vector<core::CurvePoint> kCertifiedB{{3, 0}, {4, 30}, {8, 400}, {14, 1000}};

// Minute `i` from kStart, as the session or (`imported`) a daily log gives it.
core::ArchiveRow minuteAt(int i, bool imported = false, double shift = 0)
{
    core::ArchiveRow r;
    r.t = kStart + std::int64_t(i) * 60;
    r.utcOffset = QDateTime::fromSecsSinceEpoch(r.t).offsetFromUtc();
    r.minutes = 1;
    r.imported = imported ? 1 : 0;
    r.frames = imported ? 0 : 20;
    const double wind = i % 11 == 0 ? 0 : 2 + 9 * std::abs(std::sin(i / 37.0)) + shift;
    // Minute 8's log record holds a gust the measured minute in its place has not.
    const double gust = imported && i == 8 ? 45.6 : i % 997 == 5 ? 31.4 : wind * 1.5;
    const double watts = wind > 3 ? 30 * (wind - 3) * (wind - 3) : 0;
    const long long n = imported ? 1 : r.frames;
    r.wind = {n, wind * double(n), wind, gust};
    r.watts = {n, watts * double(n), watts, watts};
    r.volts = {n, 13.1 * double(n), 13.1, 13.1};
    r.energyWh = watts / 60;
    r.windUnit = i % 53 == 0 ? "furlongs" : "mph";
    return r;
}

int sql(const QString &path, const char *statements)
{
    sqlite3 *db = nullptr;
    int rc = sqlite3_open(path.toUtf8().constData(), &db);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, statements, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc;
}

std::string windText(const std::optional<core::WindStats> &w)
{
    return w ? core::windReportText(*w, core::PowerCurve(), core::TurbineSettings()) : "unreadable";
}

std::string performanceText(const std::optional<core::PerformanceBook> &book)
{
    if (!book)
        return "unreadable";
    const auto months = book->months();
    return core::performanceJson(*book, 1000) + core::energyReportText({}, &months);
}

} // namespace

class TstArchiveAggregates : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { testsupport::setZone("Europe/Berlin"); }

    void sameAsFromTheRows_data()
    {
        QTest::addColumn<bool>("certified");
        // Minutes before this hour of the archive are let go (0: none), in
        // two steps: the first cuts an hour in two.
        QTest::addColumn<int>("forgetHours");
        // "": none; "certified": another curve and site; "wind": the wind's
        // tallies made again; "schema": an earlier version's archive;
        // "older": a daily log from before them all imported.
        QTest::addColumn<QString>("change");

        QTest::newRow("as written") << true << 0 << "";
        QTest::newRow("no certified curve") << false << 0 << "";
        QTest::newRow("minutes let go") << true << 80 << "";
        QTest::newRow("minutes let go, then another curve") << true << 80 << "certified";
        QTest::newRow("minutes let go, then the wind made again") << true << 80 << "wind";
        QTest::newRow("minutes let go by an earlier version") << true << 80 << "schema";
        // Hours whose minutes were let go stand for them wherever the first
        // minute kept is: a read of the rows takes only those before it.
        QTest::newRow("minutes let go, then older ones imported") << true << 80 << "older";
    }

    void sameAsFromTheRows()
    {
        QFETCH(bool, certified);
        QFETCH(int, forgetHours);
        QFETCH(QString, change);
        testsupport::ProgramFolder folder;
        const QString path = folder.file("archive.sqlite");
        core::TurbineSettings site;
        site.altitude = 400;
        const auto curve = certified ? kCertifiedA : std::vector<core::CurvePoint>();
        std::optional<core::PerformanceBook> before;
        std::string windBefore;
        QString why;
        {
            archive::ArchiveDb db;
            QVERIFY(db.open(path, false));
            QVERIFY(db.setPerformanceRules(curve, core::curveRules(site)));
            // The first day's first hours come from a daily log; most of
            // them are then measured, which takes their place.
            std::vector<core::ArchiveRow> imported;
            for (int i = 0; i < 300; ++i)
                imported.push_back(minuteAt(i, true));
            QCOMPARE(db.addImported(imported), 300LL);
            for (int i = 0; i < kDays * 1440; i += i < 300 ? 2 : 3) {
                QVERIFY(db.write(minuteAt(i)));
                // A restart within the minute adds its part.
                if (i % 97 == 0)
                    QVERIFY(db.write(minuteAt(i, false, 1.3)));
            }
            before = archive::readPerformanceFromMinutes(folder.path(), site, curve, 0, kEver, {}, &why);
            QVERIFY(before);
            // An hour cut in two counts the minutes it keeps, then its summary.
            for (const int cut : {-1200, 0}) {
                if (!forgetHours)
                    break;
                QVERIFY(db.forgetMinutesBefore(kStart + forgetHours * 3600 + cut));
                QCOMPARE(windText(archive::readWind(folder.path(), &why)),
                         windText(archive::readWindFromRows(folder.path(), &why)));
            }
            windBefore = windText(archive::readWindFromRows(folder.path(), &why));
            if (change == "older") {
                std::vector<core::ArchiveRow> older;
                for (int i = -2880; i < -2820; ++i) {
                    older.push_back(minuteAt(i, true));
                    older.back().windUnit = "mph";
                }
                QCOMPARE(db.addImported(older), 60LL);
            }
        }
        if (change == "schema")
            QCOMPARE(sql(path,
                         "DROP TABLE wind_month; DROP TABLE wind_mille; DROP TABLE wind_gust; DROP TABLE "
                         "perf_day; DELETE FROM meta WHERE key IN ('wind_rules', 'perf_rules', 'perf_from'); "
                         "PRAGMA user_version = 5;"),
                     SQLITE_OK);
        if (change == "wind")
            QCOMPARE(sql(path, "UPDATE meta SET value = 'earlier' WHERE key = 'wind_rules'"), SQLITE_OK);
        if (change == "certified")
            site.altitude = 1200;
        const auto now = change == "certified" ? kCertifiedB : curve;
        // Read from the rows until a writer brings them up to date.
        if (change != "older")
            QCOMPARE(windText(archive::readWind(folder.path(), &why)),
                     windText(archive::readWindFromRows(folder.path(), &why)));
        int from = 0;
        {
            archive::ArchiveDb db;
            QVERIFY(db.open(path, false));
            QVERIFY(db.setPerformanceRules(now, core::curveRules(site)));
            QVERIFY(db.forgetMinutesBefore(0));
            from = db.performanceFrom();
        }

        const auto wind = archive::readWind(folder.path(), &why);
        QVERIFY2(wind, qPrintable(why));
        QCOMPARE(windText(wind), windBefore);
        QCOMPARE(wind->minutesFromHours > 0, forgetHours > 0);

        // Days whose minutes were let go keep the sums they were made with
        // (by the rules then); other rules make the days kept whole again. An
        // earlier version's archive has the days of its minutes kept.
        const bool again = change == "certified", earlier = change == "schema";
        QCOMPARE(from > 0, again);
        core::PerformanceBook expected(now, core::curveRules(site));
        const auto kept = archive::readPerformanceFromMinutes(folder.path(), site, now, 0, kEver, {}, &why);
        QVERIFY(kept);
        for (const auto &[day, sums] : before->days())
            if (!earlier && (!again || day < from))
                expected.add(day, sums);
        for (const auto &[day, sums] : kept->days())
            if (earlier || (again && day >= from))
                expected.add(day, sums);
        QCOMPARE(performanceText(archive::readPerformance(folder.path(), site, now, 0, kEver, {}, &why)),
                 performanceText(expected));
        // A range that cuts days takes their minutes.
        const std::int64_t a = kStart + 5 * 86400 + 7777, b = kStart + 7 * 86400 + 4321;
        QCOMPARE(performanceText(archive::readPerformance(folder.path(), site, now, a, b, {}, &why)),
                 performanceText(archive::readPerformanceFromMinutes(folder.path(), site, now, a, b, {}, &why)));
    }
};

QTEST_MAIN(TstArchiveAggregates)
#include "tst_archiveaggregates.moc"
