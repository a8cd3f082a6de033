// SPDX-License-Identifier: GPL-3.0-or-later
// Days estimated from their daily logs, the days energy.csv is missing, and
// the totals of a month and a year.
#include "core/EnergyHistory.h"
#include "core/Number.h"

#include <QtTest>

using core::CivilDate;

namespace {
constexpr int kHour = 3600;

QByteArray record(double volts, double watts, int mode, int minuteOfDay)
{
    char line[160];
    std::snprintf(line, sizeof line, "<V>%g</V><I>%g</I><W>%g</W><R>%g</R><S>%g</S><M>%d</M><T>%02d:%02d</T>\r\n",
                  volts, watts > 0 ? 1.0 : 0.0, watts, watts > 0 ? 300.0 : 0.0, watts > 0 ? 5.5 : 0.0, mode,
                  minuteOfDay / 60, minuteOfDay % 60);
    return line;
}

// A logging run as the logging tick writes it: a record every `seconds` after
// Start at `from`, until `to` (seconds after midnight), stamped with the minute.
QByteArray run(int from, int to, double seconds, double watts, int mode = 0, double volts = 13)
{
    QByteArray text;
    for (double t = from + seconds; t <= to + 1e-9; t += seconds)
        text += record(volts, watts, mode, int(t / 60));
    return text;
}

CivilDate date(const QString &iso) { return *core::readIsoDate(iso.toStdString()); }

QString isoList(const std::vector<CivilDate> &dates)
{
    QStringList out;
    for (const auto &d : dates)
        out << QString::fromStdString(core::isoDate(d));
    return out.join(' ');
}

core::DayRecord day(const QString &iso, double wh, bool estimated = false)
{
    core::DayRecord d;
    d.date = date(iso);
    d.energyWh = wh;
    d.estimated = estimated;
    return d;
}
} // namespace

class TestEnergyHistory : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { core::setDecimalSeparator('.'); }

    void estimate_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<double>("energy"); // -1: no estimate
        QTest::addColumn<double>("tolerance"); // relative
        QTest::addColumn<double>("loadOnMinutes");
        QTest::addColumn<double>("noDataMinutes");
        QTest::addColumn<double>("minVolts");
        QTest::addColumn<double>("maxVolts");

        QTest::newRow("no record") << QByteArray("\r\n\r\n") << -1.0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("every 10 s all day") << run(0, 86390, 10, 100) << 8639 * 10 * 100 / 3600.0 << 0.005 << 0.0
                                            << 0.0 << 13.0 << 13.0;
        QTest::newRow("every 25 s: minutes with two and three records")
            << run(0, 4 * kHour, 25, 100) << 400.0 << 0.01 << 0.0 << 0.0 << 13.0 << 13.0;
        QTest::newRow("every 90 s: gaps of one and two minutes")
            << run(0, 6 * kHour, 90, 100) << 600.0 << 0.01 << 0.0 << 0.0 << 13.0 << 13.0;
        QTest::newRow("every 600 s") << run(6 * kHour, 18 * kHour, 600, 500) << 6000.0 << 0.001 << 0.0 << 0.0
                                     << 13.0 << 13.0;
        // Stopped for ten minutes: the pause adds nothing.
        QTest::newRow("a pause inside a 10 s day")
            << run(6 * kHour, 8 * kHour, 10, 100) + run(8 * kHour + 600, 10 * kHour, 10, 100) << 100 * (2 + 110 / 60.0)
            << 0.01 << 0.0 << 0.0 << 13.0 << 13.0;
        // Restarted at once with a ten-minute interval: the later records each
        // stand for ten minutes, not for the ten seconds of the run before.
        QTest::newRow("interval changed at a restart")
            << run(6 * kHour, 7 * kHour, 10, 100) + run(7 * kHour, 9 * kHour, 600, 300) << 700.0 << 0.01 << 0.0
            << 0.0 << 13.0 << 13.0;
        QTest::newRow("a record alone takes the interval of the run before")
            << run(6 * kHour, 7 * kHour, 60, 100) + record(13, 600, 0, 12 * 60) << 110.0 << 0.001 << 0.0 << 0.0
            << 13.0 << 13.0;
        QTest::newRow("the only record of the day") << record(13, 360, 0, 600) << 6.0 << 0.001 << 0.0 << 0.0
                                                    << 13.0 << 13.0;
        QTest::newRow("the clock set back half an hour")
            << run(10 * kHour, 11 * kHour, 10, 100) + run(10 * kHour + 1800, 11 * kHour, 10, 100) << 150.0 << 0.02
            << 0.0 << 0.0 << 13.0 << 13.0;
        // Intervals without a frame are logged as zeros: no data, and no 0 V.
        QTest::newRow("intervals without a frame")
            << run(0, kHour, 60, 0, 0, 0) + run(kHour, 2 * kHour, 60, 100, 0, 12.25) << 100.0 << 0.001 << 0.0
            << 60.0 << 12.25 << 12.25;
        QTest::newRow("load on and the volts' range")
            << run(0, kHour, 60, 100, 1, 14.1) + run(kHour, 2 * kHour, 60, 100, 0, 12.5) << 200.0 << 0.001 << 60.0
            << 0.0 << 12.5 << 14.1;
        QTest::newRow("blank lines of the graph window")
            << QByteArray("\r\n") + run(0, kHour, 60, 100) + "\r\n" + run(kHour, 2 * kHour, 60, 100) << 200.0
            << 0.001 << 0.0 << 0.0 << 13.0 << 13.0;
    }
    void estimate()
    {
        QFETCH(QByteArray, log);
        QFETCH(double, energy);
        const auto d = core::estimateDay(log.toStdString(), CivilDate{2025, 6, 1}, "km/h");
        QCOMPARE(d.has_value(), energy >= 0);
        if (!d)
            return;
        QFETCH(double, tolerance);
        QVERIFY2(std::abs(d->energyWh - energy) <= energy * tolerance,
                 qPrintable(QStringLiteral("%1 Wh, expected %2").arg(d->energyWh).arg(energy)));
        QVERIFY(d->estimated);
        QCOMPARE(d->date, (CivilDate{2025, 6, 1}));
        QCOMPARE(d->windUnit, std::string("km/h"));
        QFETCH(double, loadOnMinutes);
        QFETCH(double, noDataMinutes);
        QFETCH(double, minVolts);
        QFETCH(double, maxVolts);
        QVERIFY(std::abs(d->loadOnSeconds / 60 - loadOnMinutes) < 0.5);
        QVERIFY(std::abs(d->noDataSeconds / 60 - noDataMinutes) < 0.5);
        QCOMPARE(d->minVolts.value_or(0), minVolts);
        QCOMPARE(d->maxVolts.value_or(0), maxVolts);
        QVERIFY(!d->framesReceived && !d->framesRejected);
    }

    void peaks()
    {
        const QByteArray log = record(13, 80, 0, 60)
                               + "<V>12.9</V><I>3</I><W>38.7</W><R>512</R><S>9.5</S><M>1</M>"
                                 "<T>01:01</T>\r\n"
                               + record(13.2, 120, 0, 62);
        const auto d = core::estimateDay(log.toStdString(), CivilDate{2025, 6, 1}, "mph");
        QVERIFY(d);
        QCOMPARE(d->peakWatts.value_or(0), 120.0);
        QCOMPARE(d->peakRpm.value_or(0), 512.0);
        QCOMPARE(d->peakWind.value_or(0), 9.5);
        QCOMPARE(d->minVolts.value_or(0), 12.9);
        // Its line reads back as an estimate, never as a measured day.
        const auto back = core::readDayLine(core::dayLine(*d));
        QVERIFY(back && back->estimated);
    }

    void logFileDate_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("date"); // empty: not a daily log
        QTest::newRow("as written") << "2026_3_7.txt" << "2026-03-07";
        QTest::newRow("year end") << "2025_12_31.txt" << "2025-12-31";
        QTest::newRow("leading zeros") << "2026_03_07.txt" << "2026-03-07";
        QTest::newRow("no such day") << "2026_2_29.txt" << "";
        QTest::newRow("leap day") << "2028_2_29.txt" << "2028-02-29";
        QTest::newRow("month 13") << "2026_13_1.txt" << "";
        QTest::newRow("spreadsheet") << "2026_3_7.xls" << "";
        QTest::newRow("energy file") << "energy.csv" << "";
        QTest::newRow("a copy") << "2026_3_7 (2).txt" << "";
        QTest::newRow("day missing") << "2026_3.txt" << "";
        QTest::newRow("five-digit year") << "02026_3_7.txt" << "";
    }
    void logFileDate()
    {
        QFETCH(QString, name);
        QFETCH(QString, date);
        const auto d = core::readLogFileDate(name.toStdString());
        QCOMPARE(d ? QString::fromStdString(core::isoDate(*d)) : QString(), date);
    }

    void missing_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QString>("logs");
        QTest::addColumn<QString>("missing");
        const QByteArray header = QByteArray(core::energyCsvHeader().data()) + "\r\n";
        const QByteArray measured = "2026-03-02,1500,0,,,mph,,,,0,0,,\r\n";
        const QByteArray estimated = "2026-03-03,900,1,,,mph,,,,0,0,,\r\n";
        QTest::newRow("no file yet") << QByteArray() << "2026-03-03 2026-03-01" << "2026-03-01 2026-03-03";
        QTest::newRow("measured and estimated days stay")
            << header + measured + estimated << "2026-03-01 2026-03-02 2026-03-03 2026-03-04"
            << "2026-03-01 2026-03-04";
        QTest::newRow("a damaged line still holds its day")
            << header + "2026-03-02,15x0,0,,\r\n" << "2026-03-02" << "";
        QTest::newRow("today and later are never estimated")
            << header << "2026-03-06 2026-03-07 2026-03-08" << "2026-03-06";
        QTest::newRow("each day once") << header << "2026-03-05 2026-03-05" << "2026-03-05";
        QTest::newRow("lines ending in LF only") << QByteArray("date\n2026-03-01,5,0,,,,,,,,,,\n") << "2026-03-01"
                                                 << "";
    }
    void missing()
    {
        QFETCH(QByteArray, csv);
        QFETCH(QString, logs);
        std::vector<CivilDate> dates;
        for (const QString &iso : logs.split(' ', Qt::SkipEmptyParts))
            dates.push_back(date(iso));
        QFETCH(QString, missing);
        QCOMPARE(isoList(core::missingDays(csv.toStdString(), dates, CivilDate{2026, 3, 7})), missing);
    }

    // Many days at once come out as one day at a time would.
    void withDays_data()
    {
        QTest::addColumn<QByteArray>("csv");
        const QByteArray header = QByteArray(core::energyCsvHeader().data());
        const QByteArray a = "2026-03-02,1500,0,,,mph,,,,0,0,,", b = "2026-03-05,700,0,,,mph,,,,0,0,,";
        QTest::newRow("no file yet") << QByteArray();
        QTest::newRow("header only") << header + "\r\n";
        QTest::newRow("no header") << a + "\r\n" + b + "\r\n";
        QTest::newRow("in order") << header + "\r\n" + a + "\r\n" + b + "\r\n";
        QTest::newRow("out of order, a damaged line, no last line end")
            << header + "\r\n" + b + "\r\nnot a day\r\n\r\n" + a;
        QTest::newRow("a date twice, LF only") << header + "\n" + a + "\n" + a + "\n" + b + "\n";
    }
    void withDays()
    {
        QFETCH(QByteArray, csv);
        const std::vector<core::DayRecord> days = {day("2026-03-04", 10, true), day("2026-03-02", 20, true),
                                                   day("2026-03-01", 30, true), day("2026-03-20", 40, true),
                                                   day("2026-03-04", 50, true)};
        std::string oneByOne = csv.toStdString();
        for (const auto &d : days)
            oneByOne = core::withDay(oneByOne, d);
        QCOMPARE(core::withDays(csv.toStdString(), days), oneByOne);
    }

    void summaries()
    {
        const std::vector<core::DayRecord> days = {
            day("2024-02-29", 500),        day("2024-02-01", 300, true), day("2024-02-10", 800),
            day("2024-02-10", 2000, true), // an estimate never hides a measured day
            day("2024-03-31", 4000),       day("2023-12-31", 9999),      day("2025-01-01", 9999)};
        const auto m = core::monthSummary(days, 2024, 2);
        QCOMPARE(int(m.days.size()), 29);
        QCOMPARE(m.daysRecorded, 3);
        QCOMPARE(m.daysEstimated, 1);
        QCOMPARE(m.total, 1600.0);
        QCOMPARE(m.estimatedTotal, 300.0);
        QCOMPARE(m.dailyAverage, 1600.0 / 3);
        QCOMPARE(m.best->date, date("2024-02-10"));
        QVERIFY(!m.days[9]->estimated);
        QVERIFY(!core::monthSummary(days, 2024, 4).best);

        const auto y = core::yearSummary(days, 2024);
        QCOMPARE(y.total, 5600.0);
        QCOMPARE(y.daysRecorded, 4);
        QCOMPARE(y.estimatedTotal, 300.0);
        QCOMPARE(y.months[1].total, 1600.0);
        QCOMPARE(y.months[1].estimated, 300.0);
        QCOMPARE(y.bestMonth, 3);
        QCOMPARE(y.dailyAverage, 1400.0);
        QCOMPARE(core::yearSummary(days, 2022).bestMonth, 0);
    }
};

QTEST_APPLESS_MAIN(TestEnergyHistory)
#include "tst_energyhistory.moc"
