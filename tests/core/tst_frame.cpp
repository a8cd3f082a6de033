// SPDX-License-Identifier: GPL-3.0-or-later
// Frame assembly and decoding: what the unit sends, and what a noisy line
// makes of it.
#include "core/Frame.h"
#include "core/Gauge.h"
#include "core/Reading.h"

#include <QtTest>

using core::FrameAssembler;

class TestFrame : public QObject {
    Q_OBJECT
private slots:
    void decode_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<double>("volts");
        QTest::addColumn<double>("amps");
        QTest::addColumn<double>("rpm");
        QTest::addColumn<int>("mode");
        QTest::addColumn<double>("wind");
        QTest::newRow("complete") << "[<V>553</V><I>560</I><R>12</R><M>1</M><S>9</S>]" << 553.0 << 560.0 << 12.0 << 1 << 9.0;
        QTest::newRow("any order, separators") << "[<S>4</S>, <M>0</M>\r\n<R>10</R> <I>512</I><V>700</V>]" << 700.0 << 512.0 << 10.0 << 0 << 4.0;
        QTest::newRow("only volts") << "[<V>12.5</V>]" << 12.5 << 0.0 << 0.0 << 0 << 0.0;
        QTest::newRow("empty field") << "[<V></V>]" << -1.0 << 0.0 << 0.0 << 0 << 0.0;
        QTest::newRow("letters") << "[<V>abc</V>]" << -1.0 << 0.0 << 0.0 << 0 << 0.0;
        QTest::newRow("blanks around") << "[<V> 12 </V>]" << 12.0 << 0.0 << 0.0 << 0 << 0.0;
        QTest::newRow("mode 1.5") << "[<M>1.5</M>]" << 0.0 << 0.0 << 0.0 << 2 << 0.0;
        QTest::newRow("mode 2.5") << "[<M>2.5</M>]" << 0.0 << 0.0 << 0.0 << 2 << 0.0;
        QTest::newRow("mode 3.5") << "[<M>3.5</M>]" << 0.0 << 0.0 << 0.0 << 4 << 0.0;
        QTest::newRow("mode too big") << "[<M>40000</M>]" << 0.0 << 0.0 << 0.0 << -1 << 0.0;
        QTest::newRow("closing tag first") << "[</V>5<V>7</V>]" << 0.0 << 0.0 << 0.0 << 0 << 0.0;
        QTest::newRow("lower-case tag") << "[<v>5</v>]" << 0.0 << 0.0 << 0.0 << 0 << 0.0;
        QTest::newRow("tags after the bracket") << "[<V>1</V>]<I>5</I>" << 1.0 << 0.0 << 0.0 << 0 << 0.0;
        QTest::newRow("text before the frame") << "<V>9</V>[<V>1</V>]" << 1.0 << 0.0 << 0.0 << 0 << 0.0;
    }
    void decode()
    {
        QFETCH(QString, frame);
        const core::RawReading r = core::decodeFrame(frame.toStdString());
        QTEST(r.RawVolts, "volts");
        QTEST(r.RawAmps, "amps");
        QTEST(r.RawRPM, "rpm");
        QTEST(int(r.Mode), "mode");
        QTEST(r.RawWindSpeed, "wind");
    }

    void assembly_data()
    {
        QTest::addColumn<QStringList>("reads");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<QString>("left");
        QTest::newRow("split over two reads") << QStringList{"[<V>5", "</V>]"} << QStringList{"[<V>5</V>]"} << "";
        QTest::newRow("stray bracket, then a frame") << QStringList{"xx]", "[<V>1</V>]"} << QStringList{"[<V>1</V>]"} << "";
        // Both are processed: dropping the second would lose a reading.
        QTest::newRow("two frames in one read") << QStringList{"[<V>1</V>][<V>2</V>]"} << QStringList{"[<V>1</V>]", "[<V>2</V>]"} << "";
        QTest::newRow("next frame starts in the same read") << QStringList{"[<V>1</V>]\r\n[<V>", "2</V>]"} << QStringList{"[<V>1</V>]", "[<V>2</V>]"} << "";
        QTest::newRow("no start yet") << QStringList{"<V>1</V>]"} << QStringList{} << "<V>1</V>]";
        QTest::newRow("open frame waits") << QStringList{"[<V>1"} << QStringList{} << "[<V>1";
    }
    void assembly()
    {
        QFETCH(QStringList, reads);
        QFETCH(QStringList, frames);
        QFETCH(QString, left);
        FrameAssembler a;
        QStringList got;
        for (const QString &r : reads) {
            a.append(r.toStdString());
            while (auto f = a.next())
                got << QString::fromStdString(*f);
        }
        QCOMPARE(got, frames);
        QCOMPARE(QString::fromStdString(a.buffer()), left);
    }

    void bufferIsBounded()
    {
        FrameAssembler a;
        const std::string junk(1 << 20, 'x');
        a.append(junk);
        QVERIFY(!a.next());
        QVERIFY(a.buffer().size() <= FrameAssembler::kLimit);

        // Past the bound only the text from the last "[" survives, so a frame
        // that starts in the junk still completes.
        QCOMPARE(a.dropped(), 1LL);
        a.append(std::string(5000, 'y') + "[<V>3");
        QVERIFY(!a.next());
        QCOMPARE(a.buffer(), std::string("[<V>3"));
        QCOMPARE(a.dropped(), 2LL);
        a.append("</V>]");
        QCOMPARE(*a.next(), std::string("[<V>3</V>]"));

        // A start followed by endless junk cannot grow without bound either.
        a.append("[" + std::string(10000, 'z'));
        QVERIFY(!a.next());
        QVERIFY(a.buffer().size() <= FrameAssembler::kLimit);
        QCOMPARE(a.dropped(), 3LL);

        // Each frame start cut off at the bound counts; clear() keeps the count.
        a.clear();
        a.append("[<V>1[<I>2" + std::string(5000, 'w') + "[<V>4");
        QCOMPARE(a.dropped(), 5LL);
        a.append("</V>]xx\r\n");
        QCOMPARE(*a.next(), std::string("[<V>4</V>]"));
        QVERIFY(!a.next());
        QCOMPARE(a.dropped(), 5LL);
    }

    void calibration_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<double>("volts");
        QTest::addColumn<double>("amps");
        QTest::addColumn<double>("watts");
        QTest::addColumn<double>("rpm");
        QTest::addColumn<double>("wind");
        // Starting reading: 1 V, 1 A, 1 W, 1 RPM, 1 wind.
        QTest::newRow("worked example") << "[<V>512</V><I>537</I><R>10</R><S>8</S><M>0</M>]" << 12.5 << 2.5 << 31.25 << 150.0 << 5.0;
        QTest::newRow("unreadable volts keep theirs") << "[<V>x</V><I>537</I><R>0</R><S>0</S>]" << 1.0 << 2.5 << 2.5 << 0.0 << 0.0;
        QTest::newRow("missing current tags") << "[<V>512</V><R>1</R><S>1</S>]" << 12.5 << -51.2 << -640.0 << 15.0 << 0.6;
        QTest::newRow("raw -1 or less ignored") << "[<V>-5</V><I>-1</I><R>-2</R><S>-1</S>]" << 1.0 << 1.0 << 1.0 << 1.0 << 1.0;
    }
    void calibration()
    {
        QFETCH(QString, frame);
        core::Reading r{1, 1, 1, 1, 1, 0};
        const core::Calibration cal{40.96, 512.0, 10.0, 4.0, 1.6};
        core::applyFrame(r, core::decodeFrame(frame.toStdString()), cal);
        QTEST(r.Volts, "volts");
        QTEST(r.Amps, "amps");
        QTEST(r.Watts, "watts");
        QTEST(r.RPM, "rpm");
        QTEST(r.WindSpeed, "wind");
    }

    void unusableDividerKeepsTheValue()
    {
        core::Reading r{12, 2, 24, 100, 5, 0};
        core::Calibration cal{0.0, std::nullopt, 10.0, std::nullopt, 0.0};
        core::applyFrame(r, core::decodeFrame("[<V>600</V><I>530</I><R>9</R><S>9</S>]"), cal);
        QCOMPARE(r.Volts, 12.0);
        QCOMPARE(r.Amps, 2.0); // no offset to subtract
        QCOMPARE(r.RPM, 100.0);
        QCOMPARE(r.WindSpeed, 5.0);
        QCOMPARE(r.Watts, 24.0);
        // A tiny divider with a huge raw value must not store infinity.
        core::Calibration tiny{1e-308, 0.0, 1.0, 1.0, 1.0};
        core::applyFrame(r, core::decodeFrame("[<V>1e300</V>]"), tiny);
        QVERIFY(std::isfinite(r.Volts));
        QVERIFY(std::isfinite(r.Watts));
    }

    void maximaOnlyRise()
    {
        core::Maxima m;
        m.raise({12.5, -3, -37.5, 0, 2, 0});
        m.raise({12.4, -1, 20, 300, 1, 0});
        QCOMPARE(m.MaxVolts, 12.5);
        QCOMPARE(m.MaxAmps, 0.0); // discharging all interval
        QCOMPARE(m.MaxWatts, 20.0);
        QCOMPARE(m.MaxRPM, 300.0);
        QCOMPARE(m.MaxWindSpeed, 2.0);
    }

    void holderPosition_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("fullScale");
        QTest::addColumn<int>("position");
        QTest::newRow("12.5 to even") << 12.5 << 100 << 12;
        QTest::newRow("13.5 to even") << 13.5 << 100 << 14;
        QTest::newRow("negative clamps to 0") << -3.2 << 100 << 0;
        QTest::newRow("above full scale") << 1500.0 << 1000 << 1000;
        QTest::newRow("watt-hours") << 123.456 << 3000 << 123;
    }
    void holderPosition()
    {
        QFETCH(double, value);
        QFETCH(int, fullScale);
        QTEST(core::holderPosition(value, fullScale), "position");
    }

    void needle_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("fullScale");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("tipX");
        QTest::addColumn<double>("tipY");
        QTest::newRow("volts half scale points up") << 2580.0 << 1500.0 << 100.0 << 50.0 << 1290.0 << 331.0;
        QTest::newRow("volts zero points left") << 2580.0 << 1500.0 << 100.0 << 0.0 << 133.0 << 1488.0;
        QTest::newRow("volts full scale points right") << 2580.0 << 1500.0 << 100.0 << 100.0 << 2447.0 << 1488.0;
        // 45 degrees up and to the left, needle length 1170.
        QTest::newRow("watts 250") << 2610.0 << 1515.0 << 1000.0 << 250.0 << 1305 - 1170 / std::sqrt(2.0) << 1503 - 1170 / std::sqrt(2.0);
    }
    void needle()
    {
        QFETCH(double, width);
        QFETCH(double, height);
        QFETCH(double, fullScale);
        QFETCH(double, value);
        QFETCH(double, tipX);
        QFETCH(double, tipY);
        const core::Needle n = core::needle(width, height, {0, fullScale, 0, 30, 0.1}, value);
        QCOMPARE(n.cx, float(width / 2));
        QVERIFY2(std::fabs(n.x - tipX) < 0.01, qPrintable(QString::number(n.x)));
        QVERIFY2(std::fabs(n.y - tipY) < 0.01, qPrintable(QString::number(n.y)));
    }
};

QTEST_APPLESS_MAIN(TestFrame)
#include "tst_frame.moc"
