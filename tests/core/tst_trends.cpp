// SPDX-License-Identifier: GPL-3.0-or-later
// The axis helper (nice steps, scales, local time ticks across changes of the
// clocks), the Trends chart as data (table by range, columns, gaps, runs) and
// the daily logs made into archive minutes.
#include "core/Axis.h"
#include "core/LogImport.h"
#include "core/Number.h"
#include "core/Trends.h"

#include <QStringList>
#include <QtTest>

namespace {

// A zone an hour east of UTC with summer time as in Europe in 2026: from
// 29 March 01:00 UTC to 25 October 01:00 UTC two hours east.
constexpr std::int64_t kSpring = 1774746000, kAutumn = 1792890000;
int europe(std::int64_t t) { return t >= kSpring && t < kAutumn ? 7200 : 3600; }
// Local midnights (UTC) of 29 March, 30 March, 25 October and 26 October 2026.
constexpr std::int64_t kMar29 = 1774738800, kMar30 = 1774821600, kOct25 = 1792879200, kOct26 = 1792969200;

QString ticksText(const std::vector<core::TimeTick> &ticks, std::int64_t origin)
{
    QStringList out;
    for (const core::TimeTick &t : ticks)
        out << QStringLiteral("%1@%2").arg(QString::fromStdString(t.label)).arg((t.t - origin) / 3600.0, 0, 'g', 6);
    return out.join(QLatin1Char(' '));
}

// Minutes from a pattern: one token a minute from `start`, "-" for none,
// a leading "i" for one imported from a daily log; the value is the volts
// (and the watts, ten times it).
std::vector<core::ArchiveRow> minutesOf(const QString &pattern, std::int64_t start)
{
    std::vector<core::ArchiveRow> rows;
    const QStringList tokens = pattern.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int i = 0; i < tokens.size(); ++i) {
        QString token = tokens[i];
        if (token == QLatin1String("-"))
            continue;
        core::ArchiveRow r;
        r.t = start + i * 60;
        r.minutes = 1;
        r.imported = token.startsWith(QLatin1Char('i'));
        if (r.imported)
            token.remove(0, 1);
        const double v = token.toDouble();
        r.volts.add(v);
        r.watts.add(v * 10);
        r.frames = 1;
        rows.push_back(r);
    }
    return rows;
}

QByteArray logOf(const QStringList &stamps, double watts = 100)
{
    QByteArray log;
    for (const QString &s : stamps) {
        const bool zero = s.startsWith(QLatin1Char('z'));
        const QString stamp = zero ? s.mid(1) : s;
        log += QStringLiteral("<V>%1</V><I>%2</I><W>%3</W><R>%4</R><S>%5</S><M>1</M><T>%6</T>\r\n")
                   .arg(zero ? 0 : 13.0)
                   .arg(zero ? 0 : watts / 13)
                   .arg(zero ? 0 : watts)
                   .arg(zero ? 0 : 300)
                   .arg(zero ? 0 : 10)
                   .arg(stamp)
                   .toLatin1();
    }
    return log;
}

QStringList minutesFrom(int hour, int minute, int count, int each = 1)
{
    QStringList out;
    for (int i = 0; i < count; ++i)
        for (int k = 0; k < each; ++k)
            out << QStringLiteral("%1:%2").arg(hour + (minute + i) / 60).arg((minute + i) % 60, 2, 10, QLatin1Char('0'));
    return out;
}

} // namespace

class TestTrends : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { core::setDecimalSeparator('.'); }

    void niceAxis_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("axis"); // low high step
        QTest::newRow("energy up to 999 Wh") << 0.0 << 999.0 << 5 << "0 1000 200";
        QTest::newRow("just over a step") << 0.0 << 1001.0 << 5 << "0 1500 500";
        // 0.3 / 3 is 0.09999999999999999 in doubles: still a step of 0.1.
        QTest::newRow("a step on a power of ten") << 0.0 << 0.3 << 3 << "0 0.3 0.1";
        QTest::newRow("battery volts, rounded outwards") << 12.31 << 13.87 << 5 << "12 14 0.5";
        QTest::newRow("below zero") << -3.0 << 47.0 << 5 << "-10 50 10";
        QTest::newRow("one value") << 5.0 << 5.0 << 5 << "5 6 1";
        QTest::newRow("nothing at all") << 0.0 << 0.0 << 5 << "0 0.2 0.2";
    }
    void niceAxis()
    {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(int, ticks);
        QFETCH(QString, axis);
        const core::NiceAxis a = core::niceAxis(low, high, ticks);
        QCOMPARE(QStringLiteral("%1 %2 %3").arg(a.low, 0, 'g', 6).arg(a.high, 0, 'g', 6).arg(a.step, 0, 'g', 6), axis);
        const std::vector<double> t = a.ticks();
        QCOMPARE(t.front(), a.low);
        QVERIFY(qAbs(t.back() - a.high) < a.step * 1e-9);
        QVERIFY(a.low <= low && a.high >= high);
    }

    void linearScale_data()
    {
        QTest::addColumn<double>("v0");
        QTest::addColumn<double>("v1");
        QTest::addColumn<double>("p0");
        QTest::addColumn<double>("p1");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("pixel");
        QTest::newRow("left to right") << 0.0 << 10.0 << 50.0 << 150.0 << 2.5 << 75.0;
        QTest::newRow("upright: high values at the top") << 12.0 << 14.0 << 300.0 << 100.0 << 13.5 << 150.0;
        QTest::newRow("beyond the ends") << 0.0 << 10.0 << 0.0 << 100.0 << -1.0 << -10.0;
        QTest::newRow("a span of nothing") << 5.0 << 5.0 << 20.0 << 80.0 << 7.0 << 20.0;
    }
    void linearScale()
    {
        QFETCH(double, v0);
        QFETCH(double, v1);
        QFETCH(double, p0);
        QFETCH(double, p1);
        QFETCH(double, value);
        QFETCH(double, pixel);
        const core::LinearScale s(v0, v1, p0, p1);
        QCOMPARE(s.pixel(value), pixel);
        if (v0 != v1)
            QCOMPARE(s.value(pixel), value);
    }

    void utcOfLocal_data()
    {
        QTest::addColumn<qint64>("local");
        QTest::addColumn<QString>("utc"); // hours after the local time read as UTC
        QTest::newRow("a winter hour") << qint64(kMar29 + 3600 + 3600) << "-1";
        QTest::newRow("the hour the clocks skip") << qint64(kMar29 + 3600 + 2 * 3600 + 1800) << "";
        QTest::newRow("after the skip") << qint64(kMar29 + 3600 + 3 * 3600) << "-2";
        QTest::newRow("the repeated hour: both, summer first") << qint64(kOct25 + 7200 + 2 * 3600 + 1800)
                                                               << "-2 -1";
    }
    void utcOfLocal()
    {
        QFETCH(qint64, local);
        QFETCH(QString, utc);
        QStringList hours;
        for (const std::int64_t t : core::utcOfLocal(local, europe))
            hours << QString::number((t - local) / 3600.0);
        QCOMPARE(hours.join(QLatin1Char(' ')), utc);
    }

    void timeTicks_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<int>("most");
        QTest::addColumn<QString>("ticks"); // label@hours after `from`
        QTest::newRow("a spring day of 23 hours: 03:00 two hours in")
            << qint64(kMar29) << qint64(kMar30) << 9
            << "Sun 29 Mar@0 03:00@2 06:00@5 09:00@8 12:00@11 15:00@14 18:00@17 21:00@20 Mon 30 Mar@23";
        QTest::newRow("an autumn day of 25 hours: 03:00 four hours in")
            << qint64(kOct25) << qint64(kOct26) << 10
            << "Sun 25 Oct@0 03:00@4 06:00@7 09:00@10 12:00@13 15:00@16 18:00@19 21:00@22 Mon 26 Oct@25";
        QTest::newRow("the repeated hour has two ticks")
            << qint64(kOct25) << qint64(kOct25 + 6 * 3600) << 8
            << "Sun 25 Oct@0 01:00@1 02:00@2 02:00@3 03:00@4 04:00@5 05:00@6";
        QTest::newRow("half hours inside a day") << qint64(kMar30 + 9 * 3600 + 600) << qint64(kMar30 + 11 * 3600)
                                                 << 5 << "09:30@0.333333 10:00@0.833333 10:30@1.33333 11:00@1.83333";
        QTest::newRow("weeks start on Mondays, at local midnight")
            << qint64(kMar29) << qint64(kMar29 + 20 * 86400) << 4 << "30 Mar@23 6 Apr@191 13 Apr@359";
        QTest::newRow("months, January named by its year")
            << qint64(kOct25) << qint64(kOct25 + 120 * 86400) << 5 << "Nov@169 Dec@889 2027@1633 Feb@2377";
    }
    void timeTicks()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(int, most);
        QFETCH(QString, ticks);
        const auto t = core::timeTicks(from, to, most, europe);
        QCOMPARE(ticksText(t, from), ticks);
        QVERIFY(int(t.size()) <= most);
    }

    void trendTable_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("table");
        QTest::newRow("a day: minutes") << qint64(86400) << 1000 << int(core::TrendTable::Minute);
        QTest::newRow("a week on 1000 columns: minutes") << qint64(7 * 86400) << 1000 << int(core::TrendTable::Minute);
        QTest::newRow("a week on 800 columns: hours") << qint64(7 * 86400) << 800 << int(core::TrendTable::Hour);
        QTest::newRow("a year on 1000 columns: hours") << qint64(365 * 86400) << 1000 << int(core::TrendTable::Hour);
        QTest::newRow("a year on 700 columns: days") << qint64(365 * 86400) << 700 << int(core::TrendTable::Day);
        QTest::newRow("ten years: days") << qint64(3650 * 86400) << 1400 << int(core::TrendTable::Day);
    }
    void trendTable()
    {
        QFETCH(qint64, seconds);
        QFETCH(int, columns);
        QFETCH(int, table);
        QCOMPARE(int(core::trendTable(kMar30, kMar30 + seconds, columns)), table);
        // Never more rows than the columns hold.
        const auto t = core::trendTable(kMar30, kMar30 + seconds, columns);
        QVERIFY(double(seconds) / double(core::trendTableSeconds(t)) <= columns * core::kTrendRowsPerColumn
                || t == core::TrendTable::Day);
    }

    void columns_data()
    {
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("shown"); // per column: lowest..highest, "i" when imported, "_" for none
        QTest::newRow("a minute a column, a gap") << "12 13 - 14" << 4 << "12..12 13..13 _ 14..14";
        QTest::newRow("peaks kept: lowest and highest per column") << "12 18 13 11 12 12" << 2 << "12..18 11..12";
        QTest::newRow("columns narrower than a minute are no gap") << "12 14" << 6
                                                                  << "12..12 12..12 12..12 14..14 14..14 14..14";
        QTest::newRow("a gap shorter than a column is none at that scale") << "12 - 13 14" << 2 << "12..12 13..14";
        QTest::newRow("imported when at least half its minutes are")
            << "i12 i13 12 i14 12 13" << 2 << "i12..13 12..14";
        QTest::newRow("nothing") << "- - - -" << 2 << "_ _";
    }
    void columns()
    {
        QFETCH(QString, minutes);
        QFETCH(int, columns);
        QFETCH(QString, shown);
        const int n = int(minutes.split(QLatin1Char(' '), Qt::SkipEmptyParts).size());
        // A minute before the range, to be left out.
        std::vector<core::ArchiveRow> rows = minutesOf(QStringLiteral("99"), kMar30 - 60);
        for (const core::ArchiveRow &r : minutesOf(minutes, kMar30))
            rows.push_back(r);
        const core::TrendData d = core::trendColumns(rows, core::TrendTable::Minute, kMar30, kMar30 + n * 60,
                                                     columns, core::windShown("mph"));
        QStringList out;
        for (const core::TrendColumn &c : d.quantities[0])
            out << (c.has ? QStringLiteral("%1%2..%3").arg(c.imported ? "i" : "").arg(c.low).arg(c.high)
                          : QStringLiteral("_"));
        QCOMPARE(out.join(QLatin1Char(' ')), shown);
    }

    void runs_data()
    {
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<QString>("runs"); // points of each run; "i" for the imported style
        QTest::newRow("gaps break the line") << "12 - 13 14 - 15" << "1 2 1";
        QTest::newRow("the line goes on where imported minutes start") << "12 13 i14 i15 13" << "2 i3 2";
        QTest::newRow("no data, no line") << "- -" << "";
    }
    void runs()
    {
        QFETCH(QString, minutes);
        QFETCH(QString, runs);
        const int n = int(minutes.split(QLatin1Char(' '), Qt::SkipEmptyParts).size());
        const core::TrendData d = core::trendColumns(minutesOf(minutes, kMar30), core::TrendTable::Minute, kMar30,
                                                     kMar30 + n * 60, n, core::windShown("mph"));
        const core::TrendPicture pic = core::trendPicture(d, {true, false, false, false, false},
                                                          n + core::kTrendLeft + core::kTrendRight, 300, europe);
        QCOMPARE(int(pic.lanes.size()), 1);
        QStringList out;
        for (const core::TrendRun &r : pic.lanes[0].runs) {
            out << QStringLiteral("%1%2").arg(r.imported ? "i" : "").arg(r.mean.size());
            // The band's edges hold the column's lowest and highest.
            for (size_t k = 0; k < r.mean.size(); ++k)
                QVERIFY(r.low[k].y >= r.mean[k].y && r.mean[k].y >= r.high[k].y);
        }
        QCOMPARE(out.join(QLatin1Char(' ')), runs);
        QCOMPARE(pic.empty, runs.isEmpty());
    }

    void importLog_data()
    {
        QTest::addColumn<QStringList>("stamps"); // "z" before one: all zeros
        QTest::addColumn<qint64>("day");         // its local midnight in the zone
        QTest::addColumn<int>("minutes");
        QTest::addColumn<qint64>("first");       // seconds after the local midnight, as UTC
        QTest::addColumn<qint64>("last");
        QTest::addColumn<double>("wattHours");
        QTest::addColumn<int>("summer");         // minutes two hours east

        QTest::newRow("a minute a record at 60 s")
            << minutesFrom(8, 1, 5) << qint64(kMar30) << 5 << qint64(8 * 3600 + 60) << qint64(8 * 3600 + 300)
            << 500.0 / 60 << 5;
        QTest::newRow("600 s: ten minutes a record, ending with its stamp")
            << QStringList{"8:10", "8:20", "8:30"} << qint64(kMar30) << 30 << qint64(8 * 3600 + 60)
            << qint64(8 * 3600 + 30 * 60) << 50.0 << 30;
        QTest::newRow("10 s records are merged into their minute")
            << minutesFrom(8, 1, 4, 6) << qint64(kMar30) << 4 << qint64(8 * 3600 + 60) << qint64(8 * 3600 + 240)
            << 2400.0 / 360 << 4;
        QTest::newRow("a record of zeros fills nothing")
            << QStringList{"8:01", "z8:02", "8:03"} << qint64(kMar30) << 2 << qint64(8 * 3600 + 60)
            << qint64(8 * 3600 + 180) << 200.0 / 60 << 2;
        // 01:58 to 02:59 in summer time, 02:00 to 03:01 again in winter time:
        // 124 minutes one after another in UTC.
        QTest::newRow("the repeated hour, in file order")
            << minutesFrom(1, 58, 62) + minutesFrom(2, 0, 62) << qint64(kOct25) << 124
            << qint64(3600 + 58 * 60) << qint64(3600 + 58 * 60 + 123 * 60) << 12400.0 / 60 << 62;
        QTest::newRow("the skipped hour") << QStringList{"1:59", "3:00", "3:01"} << qint64(kMar29) << 3
                                          << qint64(3600 + 59 * 60) << qint64(3600 + 61 * 60) << 300.0 / 60 << 2;
    }
    void importLog()
    {
        QFETCH(QStringList, stamps);
        QFETCH(qint64, day);
        QFETCH(int, minutes);
        QFETCH(qint64, first);
        QFETCH(qint64, last);
        QFETCH(double, wattHours);
        QFETCH(int, summer);
        const std::int64_t local = day + europe(day);
        const core::CivilDate date = core::civilFromDays(long(local / 86400));
        const auto rows = core::importLogMinutes(logOf(stamps).toStdString(), date, "mph", europe);
        QCOMPARE(int(rows.size()), minutes);
        QCOMPARE(qint64(rows.front().t), day + first);
        QCOMPARE(qint64(rows.back().t), day + last);
        double wh = 0;
        int twoEast = 0;
        for (size_t i = 0; i < rows.size(); ++i) {
            const core::ArchiveRow &r = rows[i];
            QVERIFY(i == 0 || r.t > rows[i - 1].t);
            QVERIFY(r.imported == 1 && r.minutes == 1 && r.frames == 0);
            QCOMPARE(r.watts.max, 100.0);
            QCOMPARE(r.windUnit, std::string("mph"));
            QVERIFY(qAbs(r.wind.max - 4.4704) < 1e-9); // 10 mph in m/s
            wh += r.energyWh;
            twoEast += r.utcOffset == 7200;
        }
        QVERIFY(qAbs(wh - wattHours) < 1e-6);
        QCOMPARE(twoEast, summer);
    }
};

QTEST_APPLESS_MAIN(TestTrends)
#include "tst_trends.moc"
