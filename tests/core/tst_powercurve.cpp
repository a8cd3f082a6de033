// SPDX-License-Identifier: GPL-3.0-or-later
// The power curve of one-minute averages: which minutes count and where,
// the density normalisations, the rules for measured bins and gaps, the
// annual energy against the standard's formula, completeness, the curve file
// and turbine.cfg.
#include "core/Number.h"
#include "core/Physics.h"
#include "core/PowerCurve.h"

#include <QtTest>

#include <cmath>

using core::MinuteUse;
using core::PowerCurve;

namespace {

// A live minute: its mean wind (m/s), watts, highest volts, load seconds.
core::ArchiveRow minute(double wind, double watts, double voltsMax = 13, double loadSeconds = 0)
{
    core::ArchiveRow r;
    r.t = 1796817600; // 2026-12-09T12:00:00Z
    r.minutes = 1;
    r.frames = 30;
    r.volts = {30, 13 * 30, 12.9, voltsMax};
    r.watts = {30, watts * 30, watts, watts};
    r.wind = {30, wind * 30, wind, wind};
    r.loadSeconds = loadSeconds;
    r.energyWh = watts / 60;
    r.windUnit = "mph";
    return r;
}

// Bins from a text such as "8-20:100;24:50x3": bins 8 to 20 at 100 W, bin 24
// at 50 W with 3 minutes; ten minutes each unless given, at the bin centres.
PowerCurve curveOf(const QString &bins)
{
    PowerCurve c;
    for (const QString &part : bins.split(';', Qt::SkipEmptyParts)) {
        const QStringList range = part.section(':', 0, 0).split('-');
        const QString value = part.section(':', 1);
        const double watts = value.section('x', 0, 0).toDouble();
        const long long n = value.contains('x') ? value.section('x', 1).toLongLong() : 10;
        for (int k = range.front().toInt(); k <= range.back().toInt(); ++k) {
            core::CurveBin &b = c.bin(k);
            b.minutes = n;
            b.sumWind = double(n) * PowerCurve::centre(k);
            b.sumWatts = double(n) * watts;
            b.sumSquares = double(n) * watts * watts;
        }
    }
    return c;
}

double F(double v, double mean) { return 1 - std::exp(-M_PI / 4 * (v / mean) * (v / mean)); }

} // namespace

class TestPowerCurve : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { core::setDecimalSeparator(','); } // the reports must not follow it

    void units_data()
    {
        QTest::addColumn<QString>("units");
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("factor");
        QTest::newRow("mph") << "mph" << "m/s" << 0.44704;
        QTest::newRow("km/h with blanks") << " Km/H " << "m/s" << 1 / 3.6;
        QTest::newRow("knots") << "kt" << "m/s" << 1852.0 / 3600;
        QTest::newRow("own unit, commas and quotes out") << "Beau,\"fort" << "beaufort" << 0.0;
    }
    void units()
    {
        QFETCH(QString, units);
        QFETCH(double, factor);
        const core::WindUnit u = core::windUnit(units.toStdString());
        QTEST(QString::fromStdString(u.name), "name");
        QCOMPARE(u.toMetresPerSecond.value_or(0), factor);
    }

    void binEdges_data()
    {
        QTest::addColumn<double>("speed");
        QTest::addColumn<int>("bin");
        QTest::newRow("0") << 0.0 << 0;
        QTest::newRow("an edge goes up") << 4.75 << 10;
        QTest::newRow("below the edge") << 4.7499 << 9;
        QTest::newRow("30.25 still the last") << 30.25 << 60;
        QTest::newRow("above the last") << 30.26 << -1;
        QTest::newRow("negative") << -0.1 << -1;
    }
    void binEdges()
    {
        QFETCH(double, speed);
        QTEST(PowerCurve::binOf(speed).value_or(-1), "bin");
    }

    // Standard atmosphere table values: sea level at 15 °C, 1000 m at 8.5 °C,
    // 2000 m at 2 °C.
    void density_data()
    {
        QTest::addColumn<double>("altitude");
        QTest::addColumn<double>("celsius");
        QTest::addColumn<double>("density");
        QTest::newRow("sea level") << 0.0 << 15.0 << 1.2250;
        QTest::newRow("1000 m") << 1000.0 << 8.5 << 1.1117;
        QTest::newRow("2000 m") << 2000.0 << 2.0 << 1.0066;
    }
    void density()
    {
        QFETCH(double, altitude);
        QFETCH(double, celsius);
        QFETCH(double, density);
        QVERIFY2(std::abs(core::airDensity(altitude, celsius) - density) < 0.0005,
                 qPrintable(QString::number(core::airDensity(altitude, celsius), 'f', 5)));
    }

    // 8 m/s and 500 W at 1000 m and 15 °C (1.08655 kg/m³ by hand): the power
    // scaled by 1.225 / 1.08655, or the wind by (1.08655 / 1.225)^(1/3).
    void normalisation_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<int>("bin");
        QTest::addColumn<double>("wind");
        QTest::addColumn<double>("watts");
        QTest::newRow("stall or furling: power") << false << 16 << 8.0 << 563.711;
        QTest::newRow("active control: wind") << true << 15 << 7.68649 << 500.0;
    }
    void normalisation()
    {
        QFETCH(bool, active);
        core::TurbineSettings s;
        s.altitude = 1000;
        s.activePowerControl = active;
        // 8 m/s as the archive keeps it: in m/s whatever unit is shown.
        const core::CurveMinute m = core::curveMinute(minute(8, 500), core::curveRules(s));
        QCOMPARE(int(m.use), int(MinuteUse::Curve));
        QTEST(m.bin, "bin");
        QFETCH(double, wind);
        QFETCH(double, watts);
        QVERIFY2(std::abs(m.wind - wind) < 1e-4, qPrintable(QString::number(m.wind, 'f', 6)));
        QVERIFY2(std::abs(m.watts - watts) < 1e-3, qPrintable(QString::number(m.watts, 'f', 6)));
    }

    void minuteUse_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("use");
        QTest::newRow("a live minute") << "" << int(MinuteUse::Curve);
        QTest::newRow("imported from a daily log") << "imported" << int(MinuteUse::Unusable);
        QTest::newRow("battery full") << "volts 14.4" << int(MinuteUse::BatteryFull);
        QTest::newRow("battery just below full") << "volts 14.39" << int(MinuteUse::Curve);
        QTest::newRow("load on, dumping") << "load dump" << int(MinuteUse::LoadOn);
        QTest::newRow("load on, no dumping") << "load" << int(MinuteUse::Curve);
        QTest::newRow("battery full, no wind read") << "volts 14.5 nowind" << int(MinuteUse::BatteryFull);
        QTest::newRow("no wind read") << "nowind" << int(MinuteUse::Unusable);
        QTest::newRow("wind in an unknown unit") << "furlongs" << int(MinuteUse::Unusable);
        QTest::newRow("6 s without data") << "gap 6" << int(MinuteUse::Curve);
        QTest::newRow("7 s without data") << "gap 7" << int(MinuteUse::Unusable);
        QTest::newRow("wind beyond the last bin") << "wind 31" << int(MinuteUse::Unusable);
    }
    void minuteUse()
    {
        QFETCH(QString, change);
        const QStringList words = change.split(' ', Qt::SkipEmptyParts);
        core::ArchiveRow r = minute(6, 120);
        core::TurbineSettings s;
        s.batteryFullVolts = 14.4;
        for (int i = 0; i < words.size(); ++i) {
            const QString &w = words[i];
            if (w == "imported")
                r.imported = 1;
            else if (w == "volts")
                r.volts.max = words[++i].toDouble();
            else if (w == "load")
                r.loadSeconds = 12;
            else if (w == "dump")
                s.dumpsToLoad = true;
            else if (w == "nowind")
                r.wind = core::Spread();
            else if (w == "furlongs")
                r.windUnit = "furlongs";
            else if (w == "gap")
                r.noDataSeconds = words[++i].toDouble();
            else if (w == "wind")
                r.wind = {30, 30 * words[++i].toDouble(), 0, 0};
        }
        const core::CurveMinute m = core::curveMinute(r, core::curveRules(s));
        QTEST(int(m.use), "use");
        // Curtailed minutes keep their time with data and their energy.
        PowerCurve c;
        c.add(m, 202612);
        if (m.use == MinuteUse::BatteryFull || m.use == MinuteUse::LoadOn) {
            QCOMPARE(c.curtailedIn(202612, m.use).seconds, 60 - r.noDataSeconds);
            QCOMPARE(c.curtailedIn(std::nullopt, m.use).energyWh, 2.0);
            QCOMPARE(c.curtailedIn(202611, m.use).seconds, 0.0);
            QCOMPARE(c.minutes(), 0LL);
        } else {
            QCOMPARE(c.minutes(), m.use == MinuteUse::Curve ? 1LL : 0LL);
        }
    }

    // The annual energy of curves whose power is constant between two winds,
    // where the standard's sum telescopes to
    //   (F(a) - F(a - 0.5)) P / 2 + (F(b) - F(a)) P, held: + (F(cut-out) - F(b)) P.
    void estimate_data()
    {
        QTest::addColumn<QString>("curve");
        QTest::addColumn<double>("from");  // a: the lowest point
        QTest::addColumn<double>("to");    // b: the highest point the estimate uses
        QTest::addColumn<double>("cutOut");
        QTest::newRow("4 to 10 m/s") << "8-20:100" << 4.0 << 10.0 << 25.0;
        QTest::newRow("one missing bin bridged") << "8-14:100;16-20:100" << 4.0 << 10.0 << 25.0;
        QTest::newRow("two missing bins end it") << "8-14:100;17-20:100" << 4.0 << 7.0 << 25.0;
        QTest::newRow("a bin of 9 minutes ends it, bridged once") << "8-14:100;15:100x9;16:100x9;17-20:100" << 4.0
                                                                   << 7.0 << 25.0;
        QTest::newRow("a cut-out of 20 m/s") << "8-20:100" << 4.0 << 10.0 << 20.0;
        QTest::newRow("a stray minute at 25 m/s changes nothing") << "8-20:100;50:2000x1" << 4.0 << 10.0 << 25.0;
    }
    void estimate()
    {
        QFETCH(QString, curve);
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(double, cutOut);
        const core::Estimate e = core::annualEnergy(core::measuredPoints(curveOf(curve)), cutOut);
        QCOMPARE(e.rows.size(), size_t(8));
        for (const core::EstimateRow &r : e.rows) {
            const double v = r.averageWind;
            const double measured = 8.76 * ((F(from, v) - F(from - 0.5, v)) * 50 + (F(to, v) - F(from, v)) * 100);
            const double held = 8.76 * (F(cutOut, v) - F(to, v)) * 100;
            QVERIFY2(std::abs(r.measuredKwh - measured) < 1e-9, qPrintable(QString::number(v)));
            QVERIFY2(std::abs(r.extrapolatedKwh - measured - held) < 1e-9, qPrintable(QString::number(v)));
            QCOMPARE(r.incomplete, measured < 0.95 * (measured + held));
        }
        QCOMPARE(e.wattsAt11.has_value(), false); // the curve ends before 11 m/s
    }

    // The one-frame-at-25-m/s file that lifted 831 kWh to 4383: one wild
    // minute leaves every figure as it was.
    void strayMinute()
    {
        const PowerCurve good = curveOf("6:0;7:10;8:30;9:60;10:100;11:150;12:210;13:280;14:350;15:420;16:480");
        PowerCurve wild = good;
        wild.add({MinuteUse::Curve, 50, 25, 2500, std::nullopt, 60, 40}, 202612);
        const auto a = core::annualEnergy(core::measuredPoints(good), 25);
        const auto b = core::annualEnergy(core::measuredPoints(wild), 25);
        for (size_t i = 0; i < a.rows.size(); ++i) {
            QCOMPARE(b.rows[i].measuredKwh, a.rows[i].measuredKwh);
            QCOMPARE(b.rows[i].extrapolatedKwh, a.rows[i].extrapolatedKwh);
        }
        QCOMPARE(core::curveChart(wild, 25).marks.back().faint, true);
    }

    // A bin's point is its minutes' mean wind, not its centre.
    void meanWindNotCentre()
    {
        PowerCurve c;
        for (int i = 0; i < 10; ++i)
            c.add(core::curveMinute(minute(i < 5 ? 5.1 : 5.2, 200), core::CurveRules()), 202612);
        const auto points = core::measuredPoints(c);
        QCOMPARE(points.size(), size_t(1));
        QVERIFY(std::abs(points[0].wind - 5.15) < 1e-12);
        const auto e = core::annualEnergy(points, 25);
        const double expected = 8.76 * (F(5.15, 4) - F(4.65, 4)) * 100;
        QVERIFY(std::abs(e.rows[0].measuredKwh - expected) < 1e-9);
        // Taken out again, a minute leaves the bin as it was without it.
        c.add(core::curveMinute(minute(5.2, 200), core::CurveRules()), 202612, -1);
        QCOMPARE(c.bins()[10].minutes, 9LL);
        QVERIFY(!c.bins()[10].measured());
    }

    void powerAt11_data()
    {
        QTest::addColumn<QString>("points");
        QTest::addColumn<double>("watts"); // -1: none
        QTest::newRow("between two points") << "10.8:400;11.3:500" << 440.0;
        QTest::newRow("on a point") << "10:300;11:420;12:500" << 420.0;
        QTest::newRow("beyond the last point") << "9:200;10.9:390" << -1.0;
    }
    void powerAt11()
    {
        QFETCH(QString, points);
        std::vector<core::CurvePoint> p;
        for (const QString &s : points.split(';'))
            p.push_back({s.section(':', 0, 0).toDouble(), s.section(':', 1).toDouble()});
        const auto e = core::annualEnergy(p, 25);
        QFETCH(double, watts);
        if (watts < 0)
            QVERIFY(!e.wattsAt11);
        else
            QVERIFY2(e.wattsAt11 && std::abs(*e.wattsAt11 - watts) < 1e-9, qPrintable(QString::number(e.wattsAt11.value_or(-1))));
    }

    void completeness_data()
    {
        QTest::addColumn<QString>("curve");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QString>("missing");
        // Bins 4 to 28 at 150 minutes each: 62.5 h.
        QTest::newRow("complete") << "4:0x150;5:0x150;6-28:100x150" << true << "";
        QTest::newRow("too few hours") << "4:0;5:0;6-28:100" << false << "";
        QTest::newRow("one bin short") << "4:0x150;5:0x150;6-18:100x150;19:100x9;20-28:100x150" << false
                                       << "9.5 m/s";
        QTest::newRow("two ranges") << "4:0x150;5:0x150;6-18:100x150;21-26:100x150" << false
                                    << "9.5-10 m/s; 13.5-14 m/s";
        QTest::newRow("1 m/s below the lowest producing bin") << "5:0x150;6-28:100x150" << false << "2 m/s";
        QTest::newRow("nothing produces") << "4-28:0x150" << false << "";
    }
    void completeness()
    {
        QFETCH(QString, curve);
        const core::Completeness c = core::completeness(curveOf(curve));
        QTEST(c.complete, "complete");
        QTEST(QString::fromStdString(c.missing), "missing");
        QCOMPARE(core::completenessNote(c).empty(), c.complete);
    }

    void curveFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("points"); // empty: refused
        QTest::newRow("watts") << QByteArray("wind_m_s,power_w\r\n3,0\r\n5,120.5\r\n") << "3:0;5:120.5";
        QTest::newRow("kW, semicolons and decimal commas, a BOM")
            << QByteArray("\xEF\xBB\xBFwind;Power_kW\n3;0\n5,5;1,25\n") << "3:0;5.5:1250";
        QTest::newRow("no unit in the header") << QByteArray("wind,power\r\n3,0\r\n5,1\r\n") << "";
        QTest::newRow("falling wind") << QByteArray("wind,power_w\r\n5,0\r\n4,1\r\n") << "";
        QTest::newRow("one point") << QByteArray("wind,power_w\r\n5,0\r\n") << "";
        QTest::newRow("a third field") << QByteArray("wind,power_w\r\n3,0,1\r\n5,1\r\n") << "";
    }
    void curveFile()
    {
        QFETCH(QByteArray, text);
        std::string error;
        const auto points = core::readCurveFile(text.toStdString(), &error);
        QStringList got;
        for (const core::CurvePoint &p : points.value_or(std::vector<core::CurvePoint>()))
            got << QString::number(p.wind) + ':' + QString::number(p.watts);
        QTEST(got.join(';'), "points");
        QCOMPARE(error.empty(), points.has_value());
    }

    void estimateText()
    {
        const std::string text = core::estimateText(core::annualEnergy({{3, 0}, {11, 500}}, 25));
        QVERIFY(text.rfind("annual_average_wind_m_s,aep_measured_kwh,aep_extrapolated_kwh,aep_measured_note\r\n4,", 0)
                == 0);
        QVERIFY(text.find("\r\n11,") != std::string::npos && text.find(",incomplete\r\n") != std::string::npos);
        QVERIFY(text.find(';') == std::string::npos && text.find("0,0") == std::string::npos);
        QVERIFY(QByteArray::fromStdString(text).endsWith("\r\npower_at_11_m_s_w,500\r\n"));
        QVERIFY(core::estimateText(core::Estimate()).find("\r\n4,,,\r\n") != std::string::npos);
    }

    void turbineSettings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("written");
        QTest::newRow("defaults") << ""
                                  << "<Altitude>0</Altitude>|<MeanTemperature></MeanTemperature>|"
                                     "<ActivePowerControl>0</ActivePowerControl>|<BatteryFullVolts></BatteryFullVolts>|"
                                     "<DumpsToLoad>0</DumpsToLoad>|<CutOut>25</CutOut>|<RatedPower></RatedPower>|";
        QTest::newRow("all set, a decimal comma")
            << "<Altitude>350</Altitude><MeanTemperature>9,5</MeanTemperature><ActivePowerControl>1</ActivePowerControl>"
               "<BatteryFullVolts>14.4</BatteryFullVolts><DumpsToLoad>1</DumpsToLoad><CutOut>20</CutOut>"
               "<RatedPower>2500</RatedPower>"
            << "<Altitude>350</Altitude>|<MeanTemperature>9.5</MeanTemperature>|<ActivePowerControl>1</ActivePowerControl>|"
               "<BatteryFullVolts>14.4</BatteryFullVolts>|<DumpsToLoad>1</DumpsToLoad>|<CutOut>20</CutOut>|"
               "<RatedPower>2500</RatedPower>|";
        QTest::newRow("out of range takes the default")
            << "<Altitude>9000</Altitude><MeanTemperature>x</MeanTemperature><BatteryFullVolts>-1</BatteryFullVolts>"
               "<CutOut>2</CutOut><RatedPower>0</RatedPower>"
            << "<Altitude>0</Altitude>|<MeanTemperature></MeanTemperature>|<ActivePowerControl>0</ActivePowerControl>|"
               "<BatteryFullVolts></BatteryFullVolts>|<DumpsToLoad>0</DumpsToLoad>|<CutOut>25</CutOut>|"
               "<RatedPower></RatedPower>|";
        QTest::newRow("a site named, with a tag in it")
            << "<Site> Barn &lt;North&gt; &amp; ä </Site>"
            << "<Altitude>0</Altitude>|<MeanTemperature></MeanTemperature>|<ActivePowerControl>0</ActivePowerControl>|"
               "<BatteryFullVolts></BatteryFullVolts>|<DumpsToLoad>0</DumpsToLoad>|<CutOut>25</CutOut>|"
               "<RatedPower></RatedPower>|<Site>Barn &lt;North&gt; &amp; ä</Site>|";
    }
    void turbineSettings()
    {
        QFETCH(QString, text);
        const core::TurbineSettings s = core::readTurbineSettings(text.toStdString());
        const QString written = QString::fromStdString(core::turbineSettingsText(s));
        QTEST(QString(written).replace("\r\n", "|"), "written");
        QVERIFY(core::readTurbineSettings(written.toStdString()) == s);
    }

    // Cp and the tip-speed ratio per bin, the bins above Betz, and the
    // report's columns for them (the first bin with wind's line).
    void physics_data()
    {
        QTest::addColumn<QString>("bins");
        QTest::addColumn<double>("rpm"); // every bin's mean; -1 for none read
        QTest::addColumn<double>("diameter"); // 0 for none set
        QTest::addColumn<bool>("activeControl"); // at 2000 m and 2 °C
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("cp");
        QTest::addColumn<double>("lambda"); // -1 for none
        QTest::addColumn<QString>("aboveBetz");
        QTest::addColumn<QString>("reportEnd");
        QTest::newRow("no rotor diameter: nothing") << "16:500" << 400.0 << 0.0 << false << 0 << 0.0 << -1.0 << ""
                                                     << ",1,,\r\n";
        QTest::newRow("stall: at the reference air, no RPM")
            << "0:0;16:500" << -1.0 << 3.0 << false << 1 << 0.225560 << -1.0 << "" << ",1,0.226,\r\n";
        QTest::newRow("with RPM") << "16:500" << 400.0 << 3.0 << false << 1 << 0.225560 << 7.853982 << ""
                                  << ",1,0.226,7.85\r\n";
        // The bin's wind stands for the reference air; the tip meets the site's wind.
        QTest::newRow("active control in thin air") << "16:500" << 400.0 << 3.0 << true << 1 << 0.225560 << 7.3561
                                                    << "" << ",1,0.226,7.36\r\n";
        QTest::newRow("above Betz: measured bins only")
            << "8:400;9:400x9;10:400;16:500" << -1.0 << 3.0 << false << 4 << 1.443582 << -1.0
            << "4 m/s; 5 m/s" << ",1,1.444,\r\n";
        QTest::newRow("above Betz: neighbours as a range")
            << "8-9:400;16:500" << -1.0 << 3.0 << false << 3 << 1.443582 << -1.0 << "4-4.5 m/s" << ",1,1.444,\r\n";
    }
    void physics()
    {
        QFETCH(QString, bins);
        QFETCH(double, rpm);
        QFETCH(double, diameter);
        QFETCH(bool, activeControl);
        QFETCH(double, cp);
        QFETCH(double, lambda);
        QFETCH(QString, reportEnd);
        PowerCurve curve = curveOf(bins);
        for (int k = 0; k < PowerCurve::kBins && rpm >= 0; ++k) {
            curve.bin(k).rpmMinutes = curve.bin(k).minutes;
            curve.bin(k).sumRPM = rpm * double(curve.bin(k).minutes);
        }
        core::TurbineSettings s;
        if (diameter > 0)
            s.rotorDiameter = diameter;
        if (activeControl) {
            s.activePowerControl = true;
            s.altitude = 2000;
            s.meanTemperature = 2;
        }
        const auto physics = core::binPhysics(curve, s);
        QTEST(int(physics.size()), "count");
        if (!physics.empty()) {
            QVERIFY2(std::abs(physics.front().cp - cp) < 1e-5, qPrintable(QString::number(physics.front().cp)));
            QCOMPARE(physics.front().tipSpeedRatio.has_value(), lambda >= 0);
            if (lambda >= 0)
                QVERIFY2(std::abs(*physics.front().tipSpeedRatio - lambda) < 1e-3,
                         qPrintable(QString::number(*physics.front().tipSpeedRatio)));
        }
        QTEST(QString::fromStdString(core::aboveBetzText(physics)), "aboveBetz");
        // The columns before keep their bytes; the two new ones end each bin's line.
        const QString report = QString::fromStdString(core::curveReportText(curve, s));
        QVERIFY(report.startsWith("bin_m_s,minutes,mean_wind_m_s,mean_power_w,sd_power_w,mean_rpm,measured,cp,"
                                  "tip_speed_ratio\r\n"));
        const int first = physics.empty() ? 16 : physics.front().bin;
        const QString line = QString::number(PowerCurve::centre(first)) + ",10,";
        const int at = report.indexOf("\r\n" + line) + 2;
        QVERIFY(at > 1);
        QCOMPARE(report.mid(at, report.indexOf("\r\n", at) + 2 - at).section(',', 6), reportEnd.mid(1));
    }

    void chart()
    {
        const core::CurveChart c = core::curveChart(curveOf("6:0;7-20:100;22:80x3"), 25);
        QCOMPARE(c.marks.size(), size_t(16));
        QCOMPARE(c.marks.back().faint, true);
        QCOMPARE(c.marks.back().minutes, 3LL);
        QCOMPARE(c.measured.size(), size_t(15));
        QVERIFY(c.heldFrom && c.heldFrom->wind == 10 && c.heldFrom->watts == 100 && c.heldTo == 25);
        QCOMPARE(c.windEnd, 12.0);
        QCOMPARE(c.wattsTop, 100.0);
        QVERIFY(core::curveChart(PowerCurve(), 25).marks.empty());
        QVERIFY(!core::curveChart(PowerCurve(), 25).heldFrom);
    }
};

QTEST_MAIN(TestPowerCurve)
#include "tst_powercurve.moc"
