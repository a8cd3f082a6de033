// SPDX-License-Identifier: GPL-3.0-or-later
// Each minute in one category (every rule and its edges), the run a stop
// needs, the cut-in taken from where it is known, and availability and lost
// energy against figures worked out by hand.
#include "core/Availability.h"
#include "core/Number.h"

#include <QtTest>

namespace {

// 0 W up to 3 m/s, rated 1000 W at 12 m/s.
const std::vector<core::CurvePoint> kCertified{{3, 0}, {4, 50}, {8, 400}, {12, 1000}, {16, 1000}};

core::AvailabilityRules rules()
{
    core::TurbineSettings s;
    s.batteryFullVolts = 14.4;
    s.dumpsToLoad = true;
    s.cutOut = 20;
    return core::availabilityRules(s, kCertified, nullptr);
}

// A minute from "key=value" words: wind (m/s, "-" for no reading), rpm ("-"
// for none), amps, watts, volts, nodata (seconds), load (seconds), imported,
// unit; the others as in a producing minute at 8 m/s.
core::ArchiveRow minute(const QString &text, std::int64_t t = 1796817600)
{
    QMap<QString, QString> v{{"wind", "8"}, {"rpm", "300"}, {"amps", "10"},    {"watts", "130"}, {"volts", "13"},
                             {"nodata", "0"}, {"load", "0"}, {"imported", "0"}, {"unit", "m/s"}};
    for (const QString &word : text.split(' ', Qt::SkipEmptyParts))
        v[word.section('=', 0, 0)] = word.section('=', 1);
    core::ArchiveRow r;
    r.t = t;
    r.minutes = 1;
    r.frames = 30;
    const auto spread = [](const QString &value) {
        const double x = value.toDouble();
        return value == "-" ? core::Spread() : core::Spread{30, x * 30, x, x};
    };
    r.wind = spread(v["wind"]);
    r.rpm = spread(v["rpm"]);
    r.amps = spread(v["amps"]);
    r.watts = spread(v["watts"]);
    r.volts = spread(v["volts"]);
    r.noDataSeconds = v["nodata"].toDouble();
    r.loadSeconds = v["load"].toDouble();
    r.imported = v["imported"].toInt();
    r.energyWh = v["watts"].toDouble() / 60;
    r.windUnit = v["unit"].toStdString();
    return r;
}

} // namespace

class TestAvailability : public QObject {
    Q_OBJECT
private slots:
    void minuteFits_data()
    {
        QTest::addColumn<QString>("minute");
        QTest::addColumn<QString>("category");
        QTest::newRow("generating") << "" << "generating";
        QTest::newRow("no frames covering half of it") << "nodata=31" << "no_data";
        QTest::newRow("half of it with data") << "nodata=30" << "generating";
        QTest::newRow("battery full") << "volts=14.4" << "battery_full";
        QTest::newRow("dump load") << "load=5" << "dump_load";
        QTest::newRow("battery full in calm: the battery first") << "volts=14.5 wind=1 watts=0" << "battery_full";
        QTest::newRow("calm") << "wind=2.9 rpm=40 amps=0 watts=0" << "calm";
        QTest::newRow("the cut-in is not calm") << "wind=3 rpm=0 amps=0 watts=0" << "generating";
        QTest::newRow("stopped at the cut-in and the margin") << "wind=4 rpm=0 amps=0 watts=0" << "stopped";
        QTest::newRow("stopped, no speed sensor, no current") << "wind=9 rpm=- amps=0 watts=0" << "stopped";
        QTest::newRow("turning but not charging") << "wind=9 rpm=250 amps=0.05 watts=0.6" << "not_charging";
        QTest::newRow("turning, a little current") << "wind=9 rpm=250 amps=0.1 watts=1.3" << "generating";
        QTest::newRow("still above the cut-out: protection") << "wind=21 rpm=0 amps=0 watts=0" << "high_wind";
        QTest::newRow("above rated wind, under half the curve") << "wind=14 watts=450" << "high_wind";
        QTest::newRow("above rated wind, at the curve") << "wind=14 watts=900" << "generating";
        QTest::newRow("below rated wind, weak") << "wind=11 watts=50" << "generating";
        QTest::newRow("no wind reading, nothing made") << "wind=- rpm=0 amps=0 watts=0" << "calm";
        QTest::newRow("no wind reading, turning without current") << "wind=- amps=0 watts=0" << "not_charging";
        QTest::newRow("a wind unit not known") << "unit=knotz rpm=0 amps=0 watts=0" << "calm";
        QTest::newRow("imported, its highest wind calm") << "imported=1 wind=2 watts=0" << "calm";
        QTest::newRow("imported, its highest volts full") << "imported=1 volts=14.6" << "battery_full";
        QTest::newRow("imported, maxima cannot tell a stop") << "imported=1 wind=9 rpm=0 watts=0" << "no_data";
    }
    void minuteFits()
    {
        QFETCH(QString, minute);
        QFETCH(QString, category);
        QCOMPARE(QString::fromUtf8(core::categoryKey(core::minuteFits(::minute(minute), rules())).data()), category);
    }

    // Minutes a minute apart ("s" stopped, "g" generating, "_" a missing
    // minute); the categories given, and the minutes moved when a run
    // became long enough (by index).
    void runs_data()
    {
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<QString>("categories");
        QTest::addColumn<QString>("moved");
        QTest::newRow("nine stopped minutes are not a stop") << "sssssssssg" << "gggggggggg" << "";
        QTest::newRow("the tenth moves the nine before it") << "sssssssssss" << "gggggggggss" << "9:0-8";
        QTest::newRow("a missing minute begins the run anew") << "sssss_ssssssssss"
                                                              << "ggggg_gggggggggs" << "15:6-14";
        QTest::newRow("another cause begins it anew") << "sssssnnnnnnnnnn" << "gggggggggggggg"
                                                      "n" << "14:5-13";
    }
    void runs()
    {
        QFETCH(QString, minutes);
        QFETCH(QString, categories);
        QFETCH(QString, moved);
        const QMap<QChar, QString> kinds{{'s', "wind=9 rpm=0 amps=0 watts=0"},
                                         {'n', "wind=9 rpm=250 amps=0 watts=0"},
                                         {'g', ""}};
        const std::int64_t t0 = 1796817600;
        core::MinuteClasser classer(rules());
        QString got, movedGot;
        for (int i = 0; i < minutes.size(); ++i) {
            if (minutes[i] == '_') {
                got += '_';
                continue;
            }
            const auto c = classer.add(minute(kinds[minutes[i]], t0 + i * 60));
            got += QString::fromUtf8(core::categoryKey(c.category).data()).left(1);
            if (!c.moved.empty())
                movedGot += QStringLiteral("%1:%2-%3").arg(i).arg((c.moved.front() - t0) / 60).arg((c.moved.back() - t0) / 60);
        }
        QCOMPARE(got, categories);
        QCOMPARE(movedGot, moved);
    }

    void cutIn_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<bool>("certified");
        QTest::addColumn<bool>("measured");
        QTest::addColumn<double>("cutIn");
        QTest::newRow("as set") << "2.5" << true << true << 2.5;
        QTest::newRow("the certified curve's") << "" << true << true << 3.0;
        QTest::newRow("the measured curve's lowest producing bin") << "" << false << true << 4.75;
        QTest::newRow("neither") << "" << false << false << core::kDefaultCutIn;
    }
    void cutIn()
    {
        QFETCH(QString, set);
        QFETCH(bool, certified);
        QFETCH(bool, measured);
        QFETCH(double, cutIn);
        core::TurbineSettings s;
        if (!set.isEmpty())
            s.cutIn = set.toDouble();
        core::PowerCurve curve;
        for (int k = 8; k <= 12; ++k)
            for (int i = 0; i < 12; ++i)
                curve.add(core::curveMinute(minute(QStringLiteral("wind=%1 watts=%2").arg(k * 0.5).arg(k < 10 ? 0 : 20)),
                                            core::curveRules(s)),
                          202612);
        QCOMPARE(core::availabilityRules(s, certified ? kCertified : std::vector<core::CurvePoint>(),
                                         measured ? &curve : nullptr)
                     .cutIn,
                 cutIn);
    }

    // A day worked by hand: 600 minutes generating (1 kWh), an hour stopped
    // at 8 m/s (the certified 400 W: 0.4 kWh lost), half an hour with the
    // battery full at 12 m/s (1000 W, 0.1 kWh made: 0.4 kWh lost), ten
    // minutes not charging at 30 m/s (no curve there), the rest no data.
    void availabilityByHand()
    {
        core::AvailabilityTally t;
        for (int i = 0; i < 600; ++i)
            t.count(core::Category::Generating, 1000.0 / 600, 16);
        for (int i = 0; i < 60; ++i)
            t.count(core::Category::Stopped, 0, 16);
        for (int i = 0; i < 30; ++i)
            t.count(core::Category::BatteryFull, 100.0 / 30, 24);
        for (int i = 0; i < 10; ++i)
            t.count(core::Category::NotCharging, 0, 60);
        core::CurveRules air; // the reference air: no density change
        const auto expected = core::expectedWatts(core::PowerCurve(), kCertified, air);
        QCOMPARE(*expected[16], 400.0);
        QVERIFY(!expected[60]);
        const core::Availability a = core::availability(t, 1440, expected);
        QCOMPARE(a.minutes[size_t(core::Category::NoData)], 740LL);
        QCOMPARE(a.withData(), 700LL);
        QCOMPARE(core::roundHalfEven(*a.timeBased, 6), core::roundHalfEven(630.0 / 700, 6));
        QCOMPARE(core::roundHalfEven(a.lostKwh[size_t(core::Category::Stopped)], 6), 0.4);
        QCOMPARE(core::roundHalfEven(a.lostKwh[size_t(core::Category::BatteryFull)], 6), 0.4);
        QCOMPARE(a.lostKwh[size_t(core::Category::NotCharging)], 0.0);
        QCOMPARE(a.unpriced, 10LL);
        QCOMPARE(core::roundHalfEven(a.madeKwh, 6), 1.1);
        QCOMPARE(core::roundHalfEven(*a.energyBased, 6), core::roundHalfEven(1.1 / 1.5, 6));
        // Taken out again, it is as before.
        core::AvailabilityTally again = t;
        again.count(core::Category::Stopped, 0, 16);
        again.count(core::Category::Stopped, 0, 16, -1);
        QVERIFY(again == t);

        const std::string report = core::availabilityReportText({{202612, a}}, {{2026, a}});
        const auto lines = QString::fromStdString(report).split("\r\n");
        QCOMPARE(lines[0], "period,hours,no_data_hours,battery_full_hours,dump_load_hours,calm_hours,stopped_hours,"
                           "not_charging_hours,high_wind_hours,generating_hours,time_availability_percent,"
                           "energy_availability_percent,made_kwh,lost_battery_full_kwh,lost_dump_load_kwh,"
                           "lost_stopped_kwh,lost_not_charging_kwh,lost_high_wind_kwh,unpriced_hours");
        QCOMPARE(lines[1], "2026-12,24,12.33,0.5,0,0,1,0.17,0,10,90,73.3,1.1,0.4,0,0.4,0,0,0.17");
        QCOMPARE(lines[2], "2026," + lines[1].section(',', 1));
    }

    // Thinner air: a stall turbine would have made less than the curve
    // (at the reference air) gives.
    void expectedAtTheSitesAir()
    {
        core::CurveRules thin;
        thin.density = 1.0;
        QCOMPARE(core::roundHalfEven(*core::expectedWatts(core::PowerCurve(), kCertified, thin)[16], 6),
                 core::roundHalfEven(400 * 1.0 / 1.225, 6));
        thin.activePowerControl = true;
        QCOMPARE(*core::expectedWatts(core::PowerCurve(), kCertified, thin)[16], 400.0);
    }
};

QTEST_APPLESS_MAIN(TestAvailability)
#include "tst_availability.moc"
