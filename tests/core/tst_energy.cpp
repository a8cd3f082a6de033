// Live, stale and paused data, and the day's energy counted from it.
#include "core/Energy.h"
#include "core/Liveness.h"

#include <QtTest>

using core::DataState;

class TestEnergy : public QObject {
    Q_OBJECT
private slots:
    void liveFrame_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<bool>("live");
        QTest::newRow("volts and amps") << "[<V>553</V><I>560</I>]" << true;
        QTest::newRow("zero is a reading") << "[<V>0</V><I>0</I><R>1</R>]" << true;
        QTest::newRow("amps missing") << "[<V>553</V><R>12</R>]" << false;
        QTest::newRow("volts empty") << "[<V></V><I>560</I>]" << false;
        QTest::newRow("amps not a number") << "[<V>553</V><I>5x</I>]" << false;
        QTest::newRow("below the no-number mark") << "[<V>-3</V><I>560</I>]" << false;
        QTest::newRow("only rpm and wind") << "[<R>12</R><S>9</S>]" << false;
    }
    void liveFrame()
    {
        QFETCH(QString, frame);
        QTEST(core::isLive(core::decodeFrame(frame.toStdString())), "live");
    }

    void states()
    {
        core::Liveness l;
        QCOMPARE(l.state(0), DataState::Stale); // nothing has come yet
        l.frame(core::decodeFrame("[<R>5</R>]"), 1);
        QCOMPARE(l.state(1), DataState::Stale);
        l.frame(core::decodeFrame("[<V>1</V><I>2</I>]"), 2);
        QCOMPARE(l.state(16.9), DataState::Live);
        QCOMPARE(l.state(17), DataState::Stale);
        l.setPaused(true);
        QCOMPARE(l.state(3), DataState::Paused);
        l.setPaused(false);
        QCOMPARE(l.state(3), DataState::Live);
    }

    // Frames every second until `framesEnd`, a step every `step` seconds for
    // an hour at 600 W.
    void energyOfAnHour_data()
    {
        QTest::addColumn<double>("step");
        QTest::addColumn<double>("framesEnd");
        QTest::addColumn<double>("expected");
        QTest::addColumn<double>("tolerance");
        QTest::newRow("steady 600 W") << 5.0 << 3600.0 << 600.0 << 1e-9;
        // 100 Wh, plus the 15 s until the data is stale, give or take a step.
        QTest::newRow("frames stop after 10 minutes") << 5.0 << 600.0 << 102.5 << 600.0 / 720;
        QTest::newRow("frames stop between steps") << 5.0 << 602.0 << 102.5 + 600.0 / 1800 << 1e-9;
        QTest::newRow("ticks 10 s apart") << 10.0 << 3600.0 << 600.0 << 1e-9;
        QTest::newRow("late ticks count 10 s at most") << 60.0 << 3600.0 << 100.0 << 1e-9;
        QTest::newRow("no frames at all") << 5.0 << 0.0 << 0.0 << 0.0;
    }
    void energyOfAnHour()
    {
        QFETCH(double, step);
        QFETCH(double, framesEnd);
        const core::CivilDate day{2026, 3, 7};
        const core::RawReading live = core::decodeFrame("[<V>1</V><I>1</I>]");
        core::Liveness liveness;
        core::EnergyCounter energy;
        energy.begin(0, day);
        double nextFrame = 0;
        for (double t = step; t <= 3600; t += step) {
            for (; nextFrame <= std::min(t, framesEnd) && framesEnd > 0; nextFrame += 1)
                liveness.frame(live, nextFrame);
            energy.step(600, liveness, t, day);
        }
        QFETCH(double, expected);
        QFETCH(double, tolerance);
        QVERIFY2(std::fabs(energy.wattHours() - expected) <= tolerance,
                 qPrintable(QString::number(energy.wattHours(), 'g', 17)));
    }

    void dayChangeAndPause()
    {
        core::Liveness l;
        l.frame(core::decodeFrame("[<V>1</V><I>1</I>]"), 0);
        core::EnergyCounter e;
        e.begin(0, {2026, 3, 7});
        e.step(720, l, 5, {2026, 3, 7});
        QCOMPARE(e.wattHours(), 1.0);
        // A step that comes late after midnight still starts the new day.
        e.step(720, l, 10, {2026, 3, 8});
        QCOMPARE(e.wattHours(), 1.0);
        l.setPaused(true);
        e.step(720, l, 14, {2026, 3, 8});
        QCOMPARE(e.wattHours(), 1.0);
    }
};

QTEST_APPLESS_MAIN(TestEnergy)
#include "tst_energy.moc"
