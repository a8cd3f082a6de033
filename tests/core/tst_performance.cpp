// SPDX-License-Identifier: GPL-3.0-or-later
// The turbine against its certified curve: the certified power at a wind,
// the performance of scripted minutes against sums worked out by hand, the
// ratio per bin and the monthly energy report.
#include "core/Number.h"
#include "core/Performance.h"

#include <QtTest>

namespace {

// 0 W at 2 m/s up to 700 W at 10 m/s; cut-in 2 m/s.
const std::vector<core::CurvePoint> kCertified{{2, 0}, {4, 40}, {6, 160}, {8, 400}, {10, 700}};

// A live minute from "day:wind:watts[:what]": day 0 is 2026-12-09 (UTC, at
// noon), wind in m/s; what is "full" (the battery at 14.5 V), "load" (the
// load on for 20 s), "imported" (from a daily log) or "gap" (10 s without data).
core::ArchiveRow minute(const QString &text, int index)
{
    const QStringList f = text.split(':');
    core::ArchiveRow r;
    r.t = 1796817600 + f[0].toInt() * 86400 + index * 60;
    r.minutes = 1;
    r.frames = 30;
    const double wind = f[1].toDouble(), watts = f[2].toDouble();
    const QString what = f.value(3);
    r.volts = {30, 13 * 30, 12.9, what == "full" ? 14.5 : 13};
    r.watts = {30, watts * 30, watts, watts};
    r.wind = {30, wind * 30, wind, wind};
    r.loadSeconds = what == "load" ? 20 : 0;
    r.imported = what == "imported";
    r.noDataSeconds = what == "gap" ? 10 : 0;
    r.energyWh = watts / 60;
    r.windUnit = "m/s";
    return r;
}

QString sumsText(const core::PerformanceSums &s)
{
    const auto ratio = s.ratio();
    const auto n = [](double v) { return QString::number(core::roundHalfEven(v, 6), 'g', 12); };
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(n(s.measuredWh), n(s.certifiedWh))
        .arg(s.minutes)
        .arg(s.windyMinutes)
        .arg(ratio ? n(*ratio) : QStringLiteral("-"));
}

} // namespace

class TestPerformance : public QObject {
    Q_OBJECT
private slots:
    void certifiedWatts_data()
    {
        QTest::addColumn<double>("wind");
        QTest::addColumn<double>("watts"); // -1: none
        QTest::newRow("on a point") << 6.0 << 160.0;
        QTest::newRow("between points, linear") << 7.0 << 280.0;
        QTest::newRow("the first point") << 2.0 << 0.0;
        QTest::newRow("the last point") << 10.0 << 700.0;
        QTest::newRow("below the curve: none") << 1.99 << -1.0;
        QTest::newRow("above the curve: none, not held") << 10.01 << -1.0;
    }
    void certifiedWatts()
    {
        QFETCH(double, wind);
        QTEST(core::certifiedWatts(kCertified, wind).value_or(-1), "watts");
    }

    void cutIn()
    {
        QCOMPARE(core::cutInWind(kCertified).value_or(-1), 2.0);
        QCOMPARE(core::cutInWind({{0, 0}, {2.5, 0}, {3, 12}, {4, 0}, {5, 60}}).value_or(-1), 2.5);
        QCOMPARE(core::cutInWind({{3, 10}, {5, 50}}).value_or(-1), 3.0);
        QVERIFY(!core::cutInWind({{0, 0}, {5, 0}}));
    }

    // Sums per day: "measured_Wh certified_Wh minutes windy_minutes ratio",
    // worked out by hand from the certified curve above.
    void minutes_data()
    {
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<double>("density");
        QTest::addColumn<bool>("activeControl");
        QTest::addColumn<QStringList>("days");
        QTest::addColumn<QString>("month");
        // (80 + 200) / 60 against (100 + 280) / 60.
        QTest::newRow("two minutes, sea level")
            << "0:5:80 0:7:200" << 1.225 << false << QStringList{"20261209 4.666667 6.333333 2 2 0.736842"}
            << "4.666667 6.333333 2 2 0.736842";
        // The power normalised to 1.225: 80 x 1.225 = 98 W against 100 W.
        QTest::newRow("thin air: the power normalised")
            << "0:5:80" << 1.0 << false << QStringList{"20261209 1.633333 1.666667 1 1 0.98"}
            << "1.633333 1.666667 1 1 0.98";
        // Active control normalises the wind instead: 5 x (1 / 1.225)^(1/3)
        // = 4.672952 m/s, where the certified curve gives 80.377112 W.
        QTest::newRow("thin air, active control: the wind normalised")
            << "0:5:80" << 1.0 << true << QStringList{"20261209 1.333333 1.339619 1 1 0.995308"}
            << "1.333333 1.339619 1 1 0.995308";
        QTest::newRow("winds outside the certified curve left out of both")
            << "0:1:0 0:12:900 0:5:100" << 1.225 << false << QStringList{"20261209 1.666667 1.666667 1 1 1"}
            << "1.666667 1.666667 1 1 1";
        // 2 m/s is the cut-in itself, not above it; 3 m/s: 20 W certified.
        QTest::newRow("at the cut-in: compared, not windy")
            << "0:2:0 0:3:10" << 1.225 << false << QStringList{"20261209 0.166667 0.333333 2 1 0.5"}
            << "0.166667 0.333333 2 1 0.5";
        QTest::newRow("curtailed, imported and gappy minutes left out")
            << "0:5:100 0:7:50:full 0:7:50:load 0:7:50:imported 0:7:50:gap" << 1.225 << false
            << QStringList{"20261209 1.666667 1.666667 1 1 1"} << "1.666667 1.666667 1 1 1";
        // The month is the days' energy summed, not their ratios averaged.
        QTest::newRow("two days and their month")
            << "0:5:100 1:7:140 1:3:0" << 1.225 << false
            << QStringList{"20261209 1.666667 1.666667 1 1 1", "20261210 2.333333 5 2 2 0.466667"}
            << "4 6.666667 3 3 0.6";
        QTest::newRow("nothing compared: no ratio") << "0:12:900" << 1.225 << false << QStringList{} << "";
    }
    void minutes()
    {
        QFETCH(QString, minutes);
        QFETCH(double, density);
        QFETCH(bool, activeControl);
        core::CurveRules rules;
        rules.density = density;
        rules.activePowerControl = activeControl;
        rules.batteryFullVolts = 14.4;
        rules.dumpsToLoad = true;
        core::PerformanceBook book(kCertified, rules);
        const QStringList list = minutes.split(' ');
        for (int i = 0; i < list.size(); ++i)
            book.add(minute(list[i], i));
        QStringList days;
        for (const auto &[day, sums] : book.days())
            days << QString::number(day) + ' ' + sumsText(sums);
        QTEST(days, "days");
        const auto months = book.months();
        QTEST(months.empty() ? QString() : sumsText(months.at(202612)), "month");
    }

    void binRatios()
    {
        core::PowerCurve curve;
        const auto fillBin = [&](int k, long long n, double wind, double watts) {
            core::CurveBin &b = curve.bin(k);
            b.minutes = n;
            b.sumWind = double(n) * wind;
            b.sumWatts = double(n) * watts;
        };
        fillBin(2, 20, 1.0, 0);   // below the certified curve: left out
        fillBin(6, 20, 3.0, 10);  // certified 20 W
        fillBin(14, 3, 7.0, 266); // certified 280 W, few minutes
        fillBin(4, 12, 2.0, 1);   // certified 0 W: no ratio
        const auto r = core::binRatios(curve, kCertified);
        QCOMPARE(int(r.size()), 3);
        QCOMPARE(r[0].bin, 4);
        QVERIFY(!r[0].ratio);
        QCOMPARE(r[1].ratio.value_or(-1), 0.5);
        QVERIFY(!r[1].faint);
        QCOMPARE(r[2].certifiedWatts, 280.0);
        QCOMPARE(r[2].ratio.value_or(-1), 0.95);
        QVERIFY(r[2].faint);
    }

    void energyReport_data()
    {
        QTest::addColumn<bool>("withCurve");
        QTest::addColumn<QString>("text");
        QTest::newRow("without a certified curve") << false
                                                   << "month,energy_kwh,days,estimated_days\r\n"
                                                      "2026-11,1.5,2,1\r\n"
                                                      "2026-12,0.25,1,0\r\n";
        QTest::newRow("with one: months of either source")
            << true
            << "month,energy_kwh,days,estimated_days,compared_hours,compared_measured_kwh,compared_certified_kwh,"
               "performance_percent\r\n"
               "2026-10,0,0,0,2,1.2,1.5,80\r\n"
               "2026-11,1.5,2,1,0,0,0,\r\n"
               "2026-12,0.25,1,0,0.5,0.1,0.3,33.3\r\n";
    }
    void energyReport()
    {
        QFETCH(bool, withCurve);
        core::setDecimalSeparator(',');
        std::vector<core::DayRecord> days(4);
        days[0].date = {2026, 11, 3};
        days[0].energyWh = 1000;
        days[1].date = {2026, 11, 4};
        days[1].energyWh = 500;
        days[1].estimated = true;
        // A date written twice counts once, the measured line winning.
        days[2].date = {2026, 12, 1};
        days[2].energyWh = 900;
        days[2].estimated = true;
        days[3].date = {2026, 12, 1};
        days[3].energyWh = 250;
        std::map<int, core::PerformanceSums> months;
        months[202610] = {1200, 1500, 120, 100};
        months[202612] = {100, 300, 30, 30};
        const std::string text = core::energyReportText(days, withCurve ? &months : nullptr);
        core::setDecimalSeparator('.');
        QTEST(QString::fromStdString(text), "text");
    }
};

QTEST_APPLESS_MAIN(TestPerformance)
#include "tst_performance.moc"
