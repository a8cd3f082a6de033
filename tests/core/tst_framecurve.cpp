// SPDX-License-Identifier: GPL-3.0-or-later
// The earlier version's power curve file (frames in bins), read once to be
// taken into the archive's curve: its reader, its mending, the UTC times.
#include "core/FrameCurve.h"
#include "core/Number.h"

#include <QtTest>

#include <algorithm>

using core::FrameCurve;

namespace {
// Frames of `watts` one second apart from `first`, each of `rpm` when given.
void setBin(FrameCurve &c, int k, const std::vector<double> &watts, std::int64_t first, double rpm = -1)
{
    core::FrameBin &b = c.bin(k);
    for (double w : watts) {
        ++b.frames;
        b.sumWatts += w;
        b.sumSquares += w * w;
        if (rpm >= 0) {
            ++b.rpmFrames;
            b.sumRPM += rpm;
        }
    }
    b.seconds = double(watts.size() - 1);
    b.first = first;
    b.last = first + std::int64_t(watts.size()) - 1;
}
} // namespace

class TestFrameCurve : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { core::setDecimalSeparator(','); } // the files must not follow it

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
        FrameCurve c(core::windUnit(units.toStdString()).name);
        setBin(c, 0, {-1.25}, 1772892309);
        setBin(c, 7, {12.5, 13.75}, 1772892310);
        setBin(c, 20, {402.375, 398.125}, 1772892312);
        setBin(c, 60, {1234.5}, 1772892313);
        std::string text = core::frameCurveText(c);
        QCOMPARE(std::count(text.begin(), text.end(), '\n'), 62);
        QVERIFY(text.find(',') != std::string::npos && text.find("13.125") != std::string::npos);
        if (lfOnly)
            text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        std::string error;
        const auto back = core::readFrameCurve(text, &error);
        QVERIFY2(back, error.c_str());
        QVERIFY(*back == c);
        QCOMPARE(core::frameCurveText(*back), core::frameCurveText(c));
        QVERIFY(core::readFrameCurve(core::frameCurveText(FrameCurve())));
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
        FrameCurve c;
        setBin(c, 10, {100, 120}, 1772892309, 250);
        QByteArray text = QByteArray::fromStdString(core::frameCurveText(c));
        QVERIFY(core::readFrameCurve(text.toStdString()));
        if (from.isEmpty())
            text.clear();
        else {
            QVERIFY2(text.count(from.toLatin1()) == 1, qPrintable(from));
            text.replace(from.toLatin1(), to.toLatin1());
        }
        std::string error;
        QVERIFY(!core::readFrameCurve(text.toStdString(), &error));
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
        FrameCurve c;
        setBin(c, 10, {100, 120}, 1772892309, 250);
        setBin(c, 2, {3}, 1772892000, 25);
        QByteArray text = QByteArray::fromStdString(core::frameCurveText(c));
        QVERIFY2(text.count(from.toLatin1()) == 1, qPrintable(from));
        text.replace(from.toLatin1(), to.toLatin1());
        std::string error, mended;
        const auto back = core::readFrameCurve(text.toStdString(), &error, &mended);
        QVERIFY2(back, error.c_str());
        QTEST(QString::fromStdString(mended), "mended");
        const int bin = QString::fromStdString(mended).isEmpty()
                            ? 10
                            : QString::fromStdString(mended).section(' ', 1, 1).toInt();
        QTEST(qint64(back->bins()[size_t(bin)].first), "first");
        QTEST(qint64(back->bins()[size_t(bin)].last), "last");
    }
};

QTEST_MAIN(TestFrameCurve)
#include "tst_framecurve.moc"
