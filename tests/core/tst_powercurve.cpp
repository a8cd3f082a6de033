// SPDX-License-Identifier: GPL-3.0-or-later
// The measured power curve: bins, units, which frames count, the annual
// energy estimate and the curve's file.
#include "core/Number.h"
#include "core/PowerCurve.h"

#include <QtTest>

#include <cmath>

using core::DataState;
using core::PowerCurve;

namespace {

// Bins filled from a text such as "0-5:0;6-60:200": bins 0 to 5 at 0 W, 6 to
// 60 at 200 W, ten frames each.
PowerCurve curveOf(const QString &bins, const std::string &unit = "m/s")
{
    PowerCurve c(unit);
    for (const QString &part : bins.split(';', Qt::SkipEmptyParts)) {
        const QStringList range = part.section(':', 0, 0).split('-');
        const double watts = part.section(':', 1).toDouble();
        for (int k = range.front().toInt(); k <= range.back().toInt(); ++k) {
            core::PowerCurveBin &b = c.bin(k);
            b.frames = 10;
            b.sumWatts = 10 * watts;
            b.sumSquares = 10 * watts * watts;
            b.first = b.last = 1772892309;
        }
    }
    return c;
}

core::Calibration delivered() { return core::calibrationFrom(core::defaultCalibrationSettings()); }

// A curve fed through add() as the keeper feeds it: frames 0.5 s apart.
PowerCurve fed(const std::vector<std::pair<double, double>> &windAndWatts, const std::string &units = "m/s")
{
    PowerCurve c;
    double t = 100;
    std::int64_t stamp = 1772892309;
    for (const auto &[wind, watts] : windAndWatts) {
        core::CurveSample s{wind, watts, watts / 4};
        c.add(s, core::windUnit(units), t, stamp);
        t += 0.5;
        ++stamp;
    }
    return c;
}

} // namespace

class TestPowerCurve : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { core::setDecimalSeparator(','); } // the files must not follow it

    void units_data()
    {
        QTest::addColumn<QString>("units");
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("speed");
        QTest::addColumn<int>("bin");
        QTest::newRow("kmh") << "kmh" << "m/s" << 36.0 << 20;
        QTest::newRow("km/h, on an edge after converting") << "km/h" << "m/s" << 0.9 << 1;
        QTest::newRow("KM / H with blanks") << " KM / H " << "m/s" << 36.0 << 20;
        QTest::newRow("kph") << "kph" << "m/s" << 27.9 << 16;
        QTest::newRow("mph") << "mph" << "m/s" << 10.0 << 9;
        QTest::newRow("MPH and a tab") << "MPH\t" << "m/s" << 67.6 << 60;
        QTest::newRow("mph above the last bin") << "mph" << "m/s" << 67.8 << -1;
        QTest::newRow("m/s") << "m/s" << "m/s" << 7.3 << 15;
        QTest::newRow("M/S") << "M/S" << "m/s" << 7.2 << 14;
        QTest::newRow("ms") << "ms" << "m/s" << 3.0 << 6;
        QTest::newRow("knots") << "Knots" << "m/s" << 10.0 << 10;
        QTest::newRow("kn") << "kn" << "m/s" << 20.0 << 21;
        QTest::newRow("kt") << "kt" << "m/s" << 1.0 << 1;
        QTest::newRow("unknown keeps its own unit") << "Beau fort" << "beaufort" << 7.3 << 15;
        QTest::newRow("unknown with a comma and quote") << "f,\"t/s" << "ft/s" << 60.0 << -1;
        QTest::newRow("empty") << "" << "" << 2.0 << 4;
    }
    void units()
    {
        QFETCH(QString, units);
        QFETCH(QString, name);
        QFETCH(double, speed);
        QFETCH(int, bin);
        const core::WindUnit u = core::windUnit(units.toStdString());
        QCOMPARE(QString::fromStdString(u.name), name);
        QCOMPARE(u.known(), name == "m/s");
        PowerCurve c;
        c.add(core::CurveSample{speed, 50, std::nullopt}, u, 0, 0);
        QCOMPARE(QString::fromStdString(c.unit()), name);
        int found = -1;
        for (int k = 0; k < PowerCurve::kBins; ++k)
            if (c.bins()[size_t(k)].frames)
                found = k;
        QCOMPARE(found, bin);
    }

    void binEdges_data()
    {
        QTest::addColumn<double>("speed");
        QTest::addColumn<int>("bin");
        QTest::newRow("0") << 0.0 << 0;
        QTest::newRow("just below the first edge") << 0.2499 << 0;
        QTest::newRow("0.25 goes up") << 0.25 << 1;
        QTest::newRow("0.74") << 0.74 << 1;
        QTest::newRow("0.75 goes up") << 0.75 << 2;
        QTest::newRow("11") << 11.0 << 22;
        QTest::newRow("30") << 30.0 << 60;
        QTest::newRow("30.25 is still the last bin") << 30.25 << 60;
        QTest::newRow("30.3 nowhere") << 30.3 << -1;
        QTest::newRow("negative nowhere") << -0.1 << -1;
        QTest::newRow("huge nowhere") << 1e300 << -1;
        QTest::newRow("NaN nowhere") << std::nan("") << -1;
    }
    void binEdges()
    {
        QFETCH(double, speed);
        QFETCH(int, bin);
        QCOMPARE(PowerCurve::binOf(speed).value_or(-1), bin);
    }

    // Frames after a good one (8 m/s at 45 W, RPM 150): which of them add a
    // second frame, and with RPM or not.
    void framesThatCount_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("wsDivider");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("rpmFrames");
        const QString good = "[<V>614.4</V><I>542</I><R>5</R><S>12.8</S><M>1</M>]";
        QTest::newRow("live") << good << int(DataState::Live) << "1.6" << 2 << 2;
        QTest::newRow("live without RPM") << "[<V>614.4</V><I>542</I><S>12.8</S>]" << int(DataState::Live) << "1.6" << 2 << 1;
        QTest::newRow("stale") << good << int(DataState::Stale) << "1.6" << 1 << 1;
        QTest::newRow("paused") << good << int(DataState::Paused) << "1.6" << 1 << 1;
        QTest::newRow("volts unreadable") << "[<V>6x</V><I>542</I><R>5</R><S>12.8</S>]" << int(DataState::Live) << "1.6" << 1 << 1;
        QTest::newRow("amps missing") << "[<V>614.4</V><R>5</R><S>12.8</S>]" << int(DataState::Live) << "1.6" << 1 << 1;
        QTest::newRow("wind empty") << "[<V>614.4</V><I>542</I><R>5</R><S></S>]" << int(DataState::Live) << "1.6" << 1 << 1;
        QTest::newRow("wind missing") << "[<V>614.4</V><I>542</I><R>5</R>]" << int(DataState::Live) << "1.6" << 1 << 1;
        // The reading would keep its old wind speed beside the new watts.
        QTest::newRow("wind divider 0") << good << int(DataState::Live) << "0" << 1 << 1;
        QTest::newRow("wind divider not a number") << good << int(DataState::Live) << "x" << 1 << 1;
    }
    void framesThatCount()
    {
        QFETCH(QString, frame);
        QFETCH(int, state);
        QFETCH(QString, wsDivider);
        const core::Calibration cal = delivered();
        core::Reading reading;
        PowerCurve c;
        const auto unit = core::windUnit("m/s");
        const core::RawReading first = core::decodeFrame("[<V>614.4</V><I>542</I><R>5</R><S>12.8</S><M>1</M>]");
        core::applyFrame(reading, first, cal);
        QCOMPARE(c.add(core::curveSample(first, reading, cal, DataState::Live), unit, 0, 0),
                 PowerCurve::Added::Counted);

        core::Calibration second = cal;
        second.WSDivider = core::readNumber(wsDivider.toStdString());
        const core::RawReading raw = core::decodeFrame(frame.toStdString());
        core::applyFrame(reading, raw, second);
        c.add(core::curveSample(raw, reading, second, DataState(state)), unit, 0.5, 1);
        const core::PowerCurveBin &b = c.bins()[16]; // 8 m/s
        QCOMPARE(int(c.frames()), int(b.frames));
        QTEST(int(b.frames), "frames");
        QTEST(int(b.rpmFrames), "rpmFrames");
        QCOMPARE(b.meanWatts(), 45.0);
        QCOMPARE(b.meanRPM().value_or(-1), 150.0);
    }

    void statistics()
    {
        PowerCurve c;
        const auto unit = core::windUnit("m/s");
        c.add(core::CurveSample{5, 100, 120.0}, unit, 10, 1000);
        c.add(core::CurveSample{5.1, 200, std::nullopt}, unit, 10.5, 1001);
        c.add(core::CurveSample{4.9, 300, 180.0}, unit, 11, 1002);
        // The frame after 20 s of silence stands for no time; the next for 1 s.
        c.add(core::CurveSample{4.8, 200, 150.0}, unit, 31, 1022);
        c.add(std::nullopt, unit, 31.5, 1022);
        c.add(core::CurveSample{4.8, 200, 150.0}, unit, 32.5, 1023);
        const core::PowerCurveBin &b = c.bins()[10];
        QCOMPARE(int(b.frames), 5);
        QCOMPARE(b.meanWatts(), 200.0);
        QCOMPARE(b.sdWatts(), std::sqrt(20000.0 / 4));
        QCOMPARE(b.meanRPM().value_or(-1), 150.0);
        QCOMPARE(b.seconds, 2.0);
        QCOMPARE(b.first, std::int64_t(1000));
        QCOMPARE(b.last, std::int64_t(1023));
        QCOMPARE(c.hoursOfData(), 2.0 / 3600);
    }

    // A curve holding frames keeps its unit: frames in another unit are not
    // mixed in; an empty curve takes the unit of its first frame.
    void unitOfTheCurve()
    {
        PowerCurve c;
        QCOMPARE(c.add(core::CurveSample{5, 1, std::nullopt}, core::windUnit("furlongs"), 0, 0),
                 PowerCurve::Added::Counted);
        QCOMPARE(c.unit(), std::string("furlongs"));
        QCOMPARE(c.add(core::CurveSample{5, 1, std::nullopt}, core::windUnit("mph"), 1, 1),
                 PowerCurve::Added::OtherUnit);
        QCOMPARE(c.add(core::CurveSample{5, 1, std::nullopt}, core::windUnit(" FURLONGS"), 2, 2),
                 PowerCurve::Added::Counted);
        QCOMPARE(int(c.frames()), 2);
        const core::AnnualEstimate e = core::annualEstimate(c);
        QVERIFY(!e.knownUnit);
        QVERIFY(e.rows.empty());
        QVERIFY(!e.wattsAt11);
        QVERIFY(
            QByteArray::fromStdString(core::powerCurveExportText(c)).contains("needs a known wind speed unit"));
    }

    // Hand computations: E = 8760 h x sum of (F(v_i) - F(v_i-1)) x mean of
    // the two powers, F(v) = 1 - exp(-pi/4 (v / average)^2).
    void estimate_data()
    {
        QTest::addColumn<QString>("curve");
        QTest::addColumn<double>("average");
        QTest::addColumn<double>("kWh");
        QTest::addColumn<double>("share");
        // 100 W x 8760 h x F(30), F(30) = 1 - 5e-13.
        QTest::newRow("flat 100 W at 5 m/s") << "0-60:100" << 5.0 << 876.0 << 1.0;
        // 8760 h x (100 W x (F(3) - F(2.5)) + 200 W x (F(30) - F(3))),
        // F(2.5) = 0.178275, F(3) = 0.246287.
        QTest::newRow("step at 5 m/s") << "0-5:0;6-60:200" << 5.0 << 1380.0838 << 1.0;
        // The same at 11 m/s, where F(30) = 0.997090 leaves a tail.
        QTest::newRow("step at 11 m/s") << "0-5:0;6-60:200" << 11.0 << 1662.3783 << 0.997367;
        // Bins 7 to 9 without frames: bridged between 6 and 10 at 200 W.
        QTest::newRow("gap bridged") << "0-5:0;6:200;10-60:200" << 5.0 << 1380.0838 << 1.0;
        // 876 kWh x F(10); the share is F(10.25).
        QTest::newRow("measured to 10 m/s only") << "0-20:100" << 5.0 << 838.1446 << 0.963140;
        // One bin at 5 m/s: a ramp from 0 W at 4.5 m/s, 8760 h x 50 W x
        // (F(5) - F(4.5)); the share is F(5.25) - F(4.75).
        QTest::newRow("one bin") << "10:100" << 5.0 << 32.1388 << 0.0715516;
    }
    void estimate()
    {
        QFETCH(QString, curve);
        QFETCH(double, average);
        QFETCH(double, kWh);
        QFETCH(double, share);
        const core::AnnualEstimate e = core::annualEstimate(curveOf(curve));
        QVERIFY(e.knownUnit);
        QCOMPARE(int(e.rows.size()), 8);
        const core::EstimateRow &row = e.rows[size_t(average) - 4];
        QCOMPARE(row.averageWind, average);
        QVERIFY2(std::abs(row.kilowattHours - kWh) <= kWh * 0.001,
                 qPrintable(QString::number(row.kilowattHours, 'f', 4)));
        QVERIFY2(std::abs(row.coveredShare - share) < 1e-5, qPrintable(QString::number(row.coveredShare, 'f', 6)));
    }

    void powerAt11AndHours()
    {
        QVERIFY(!core::annualEstimate(curveOf("0-21:100;23-60:300")).wattsAt11);
        QCOMPARE(core::annualEstimate(curveOf("0-21:100;22:250")).wattsAt11.value_or(-1), 250.0);
        QVERIFY(core::annualEstimate(PowerCurve()).rows.empty());

        const QByteArray text = QByteArray::fromStdString(core::powerCurveExportText(curveOf("0-5:0;6-60:200")));
        QVERIFY2(
            text.contains("\r\n\r\nannual_average_wind_m_s,annual_energy_kwh,share_of_year_covered_percent\r\n"
                          "4,"),
            text.constData());
        QVERIFY(text.contains("\r\n5,1380.1,100\r\n"));
        QVERIFY(text.contains("\r\nwatts_at_11_m_s,200\r\n"));
        QVERIFY(text.endsWith("\r\nhours_of_data,0\r\n"));
    }

    void utcTimes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("seconds");
        QTest::newRow("epoch") << "1970-01-01T00:00:00Z" << qint64(0);
        QTest::newRow("leap day") << "2024-02-29T23:59:59Z" << qint64(1709251199);
        QTest::newRow("after 2038") << "2040-07-01T12:00:00Z" << qint64(2224756800);
        QTest::newRow("30 February") << "2026-02-30T00:00:00Z" << qint64(-1);
        QTest::newRow("hour 24") << "2026-03-07T24:00:00Z" << qint64(-1);
        QTest::newRow("no zone") << "2026-03-07T14:05:09" << qint64(-1);
        QTest::newRow("blank") << "2026-03-07 14:05:09Z" << qint64(-1);
    }
    void utcTimes()
    {
        QFETCH(QString, text);
        QFETCH(qint64, seconds);
        QCOMPARE(qint64(core::readUtcText(text.toStdString()).value_or(-1)), seconds);
        if (seconds >= 0)
            QCOMPARE(QString::fromStdString(core::utcText(seconds)), text);
    }

    void fileRoundTrip_data()
    {
        QTest::addColumn<QString>("units");
        QTest::addColumn<bool>("lfOnly");
        QTest::newRow("m/s") << "mph" << false;
        QTest::newRow("own unit") << "furlongs" << false;
        QTest::newRow("LF line ends") << "kmh" << true;
    }
    void fileRoundTrip()
    {
        QFETCH(QString, units);
        QFETCH(bool, lfOnly);
        const PowerCurve c = fed(
            {{0, -1.25}, {3.3, 12.5}, {3.4, 13.75}, {10.1, 402.375}, {30, 1234.5}, {10.2, 398.125}},
            units.toStdString());
        std::string text = core::powerCurveText(c);
        QCOMPARE(std::count(text.begin(), text.end(), '\n'), 62);
        QVERIFY(text.find(',') != std::string::npos && text.find("13.125") != std::string::npos);
        if (lfOnly)
            text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        std::string error;
        const auto back = core::readPowerCurve(text, &error);
        QVERIFY2(back, error.c_str());
        QVERIFY(*back == c);
        QCOMPARE(core::powerCurveText(*back), core::powerCurveText(c));
        QVERIFY(core::readPowerCurve(core::powerCurveText(PowerCurve())));
    }

    void damagedFile_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("another header") << "wind_speed," << "speed,";
        QTest::newRow("a bin missing") << "30,m/s,0,,,,0,,,0,0,0,0\r\n" << "";
        QTest::newRow("a bin too many") << "30,m/s,0,,,,0,,,0,0,0,0\r\n" << "30,m/s,0,,,,0,,,0,0,0,0\r\n30.5,m/s,0,,,,0,,,0,0,0,0\r\n";
        QTest::newRow("cut in a line") << "30,m/s,0,,,,0,,,0,0,0,0\r\n" << "30,m/s,0,";
        QTest::newRow("bins out of order") << "\r\n1,m/s," << "\r\n1.5,m/s,";
        QTest::newRow("another unit") << "\r\n2,m/s," << "\r\n2,mph,";
        QTest::newRow("letters in a count") << "\r\n5,m/s,2," << "\r\n5,m/s,2x,";
        QTest::newRow("negative count") << "\r\n5,m/s,2," << "\r\n5,m/s,-2,";
        QTest::newRow("a field too many") << "\r\n5,m/s,2," << "\r\n5,m/s,2,7,";
        QTest::newRow("more RPM frames than frames") << ",2,500\r\n" << ",3,500\r\n";
        QTest::newRow("no time in any bin") << ",2026-03-07T14:05:09Z,2026-03-07T14:05:10Z," << ",,,";
        QTest::newRow("watts in a bin without frames") << "\r\n6,m/s,0,,,,0,,,0," << "\r\n6,m/s,0,,,,0,,,7,";
        QTest::newRow("a NUL") << "\r\n5,m/s,2," << QString::fromLatin1("\r\n5,m/s,2\0,", 10);
        QTest::newRow("a comma for the point") << "\r\n5,m/s," << "\r\n5,0,m/s,";
    }
    void damagedFile()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        // Two frames at 5 m/s 1 s apart, each of 250 RPM.
        PowerCurve c;
        c.add(core::CurveSample{5, 100, 250.0}, core::windUnit("m/s"), 0, 1772892309);
        c.add(core::CurveSample{5, 120, 250.0}, core::windUnit("m/s"), 1, 1772892310);
        QByteArray text = QByteArray::fromStdString(core::powerCurveText(c));
        QVERIFY(core::readPowerCurve(text.toStdString()));
        if (from.isEmpty())
            text.clear();
        else {
            QVERIFY2(text.count(from.toLatin1()) == 1, qPrintable(from));
            text.replace(from.toLatin1(), to.toLatin1());
        }
        std::string error;
        QVERIFY(!core::readPowerCurve(text.toStdString(), &error));
        QVERIFY(!error.empty());
    }

    // A bin's range is the earliest and latest time seen; a file whose range
    // is backwards or half unreadable is mended, naming the bin.
    void timeRange_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("mended");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        const QString range = ",2026-03-07T14:05:09Z,2026-03-07T14:05:10Z,";
        QTest::newRow("as written") << range << range << "" << qint64(1772892309) << qint64(1772892310);
        QTest::newRow("backwards") << range << ",2026-03-07T14:05:10Z,2026-03-07T14:05:09Z," << "bin 10 (5 m/s)"
                                   << qint64(1772892309) << qint64(1772892310);
        QTest::newRow("a time that is no date") << range << ",2026-03-07T14:05:09Z,2026-02-30T14:05:10Z,"
                                                << "bin 10 (5 m/s)" << qint64(1772892309) << qint64(1772892309);
        QTest::newRow("both unreadable: the other bins' range")
            << ",2026-03-07T14:00:00Z,2026-03-07T14:00:00Z," << ",x,," << "bin 2 (1 m/s)" << qint64(1772892309)
            << qint64(1772892310);
    }
    void timeRange()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        // The clock set back between two frames of one bin, and a frame at 1 m/s.
        PowerCurve c;
        c.add(core::CurveSample{5, 100, 250.0}, core::windUnit("m/s"), 0, 1772892310);
        c.add(core::CurveSample{5, 120, 250.0}, core::windUnit("m/s"), 1, 1772892309);
        c.add(core::CurveSample{1, 3, 25.0}, core::windUnit("m/s"), 2, 1772892000);
        QCOMPARE(c.bins()[10].first, std::int64_t(1772892309));
        QCOMPARE(c.bins()[10].last, std::int64_t(1772892310));
        QByteArray text = QByteArray::fromStdString(core::powerCurveText(c));
        QVERIFY2(text.count(from.toLatin1()) == 1, qPrintable(from));
        text.replace(from.toLatin1(), to.toLatin1());
        std::string error, mended;
        const auto back = core::readPowerCurve(text.toStdString(), &error, &mended);
        QVERIFY2(back, error.c_str());
        QTEST(QString::fromStdString(mended), "mended");
        const int bin = QString::fromStdString(mended).isEmpty()
                            ? 10
                            : QString::fromStdString(mended).section(' ', 1, 1).toInt();
        QTEST(qint64(back->bins()[size_t(bin)].first), "first");
        QTEST(qint64(back->bins()[size_t(bin)].last), "last");
    }
};

QTEST_MAIN(TestPowerCurve)
#include "tst_powercurve.moc"
