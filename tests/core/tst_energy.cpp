// Live, stale and paused data, and the day's energy counted from it.
#include "core/Energy.h"
#include "core/EnergyBook.h"
#include "core/Liveness.h"

#include <QtTest>

using core::CivilDate;
using core::DataState;
Q_DECLARE_METATYPE(CivilDate)

namespace {
core::DayRecord day(CivilDate date, double wh)
{
    core::DayRecord d;
    d.date = date;
    d.energyWh = wh;
    d.windUnit = "mph";
    return d;
}
QByteArray line(CivilDate date, double wh) { return QByteArray::fromStdString(core::dayLine(day(date, wh))); }
const QByteArray kHeader = QByteArray::fromStdString(std::string(core::energyCsvHeader())) + "\r\n";
} // namespace

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

    void isoDates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "2026-03-07" << true;
        QTest::newRow("leap day") << "2024-02-29" << true;
        QTest::newRow("no leap day") << "2026-02-29" << false;
        QTest::newRow("month 13") << "2026-13-01" << false;
        QTest::newRow("short") << "2026-3-7" << false;
        QTest::newRow("blank") << " 2026-03-07" << false;
    }
    void isoDates()
    {
        QFETCH(QString, text);
        const auto d = core::readIsoDate(text.toStdString());
        QTEST(d.has_value(), "valid");
        if (d) {
            QCOMPARE(QString::fromStdString(core::isoDate(*d)), text);
            QCOMPARE(core::civilFromDays(core::daysFromCivil(*d)), *d);
        }
    }

    // Stored date against today's: which totals go on.
    void startUp_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<double>("today");
        QTest::addColumn<double>("yesterday");
        QTest::addColumn<double>("lifetime");
        QTest::addColumn<bool>("clockBack");
        const auto state = [](const char *date) {
            return QByteArray("Energy State File\r\n\r\n<Date>") + date
                   + "</Date>\r\n<Today>120.5</Today>\r\n<Yesterday>300</Yesterday>\r\n<Lifetime>9000.25</Lifetime>\r\n";
        };
        QTest::newRow("same day") << state("2026-03-07") << 120.5 << 300.0 << 9000.25 << false;
        QTest::newRow("yesterday") << state("2026-03-06") << 0.0 << 120.5 << 9000.25 << false;
        QTest::newRow("across a year end") << state("2025-12-31") << 0.0 << 0.0 << 9000.25 << false;
        QTest::newRow("older") << state("2026-03-01") << 0.0 << 0.0 << 9000.25 << false;
        QTest::newRow("clock set back") << state("2026-03-08") << 0.0 << 0.0 << 9000.25 << true;
        QTest::newRow("missing") << QByteArray() << 0.0 << 0.0 << 0.0 << false;
        QTest::newRow("damaged number") << state("2026-03-07").replace("120.5", "12x") << 0.0 << 0.0 << 0.0 << false;
        QTest::newRow("damaged date") << state("2026-3-7") << 0.0 << 0.0 << 0.0 << false;
        QTest::newRow("cut short") << state("2026-03-07").left(60) << 0.0 << 0.0 << 0.0 << false;
    }
    void startUp()
    {
        QFETCH(QByteArray, file);
        const auto stored = core::readEnergyState(file.toStdString());
        const core::EnergyStart e = core::energyAtStart(stored, CivilDate{2026, 3, 7});
        QTEST(e.today, "today");
        QTEST(e.yesterday, "yesterday");
        QTEST(e.lifetime, "lifetime");
        QTEST(e.clockBack, "clockBack");
        if (stored) // what is written reads back the same
            QCOMPARE(core::readEnergyState(core::energyStateText(*stored))->lifetime, stored->lifetime);
    }

    // Today's line goes in its place; every other line stays byte for byte.
    void energyFile_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<CivilDate>("date");
        QTest::addColumn<QByteArray>("after");
        const CivilDate jan31{2026, 1, 31}, feb1{2026, 2, 1}, dec31{2025, 12, 31}, jan1{2026, 1, 1};
        QTest::newRow("new file") << QByteArray() << feb1 << kHeader + line(feb1, 5) + "\r\n";
        QTest::newRow("across a month end") << kHeader + line(jan31, 1) + "\r\n" << feb1
                                            << kHeader + line(jan31, 1) + "\r\n" + line(feb1, 5) + "\r\n";
        QTest::newRow("across a year end") << kHeader + line(dec31, 1) + "\r\n" << jan1
                                           << kHeader + line(dec31, 1) + "\r\n" + line(jan1, 5) + "\r\n";
        QTest::newRow("today replaced") << kHeader + line(jan31, 1) + "\r\n" + line(feb1, 2) + "\r\n" << feb1
                                        << kHeader + line(jan31, 1) + "\r\n" + line(feb1, 5) + "\r\n";
        QTest::newRow("later day kept (clock set back)")
            << kHeader + line(feb1, 2) + "\r\n" << jan31 << kHeader + line(jan31, 5) + "\r\n" + line(feb1, 2) + "\r\n";
        QTest::newRow("no header, a foreign line kept")
            << QByteArray("# mine\n") << feb1 << kHeader + "# mine\r\n" + line(feb1, 5) + "\r\n";
    }
    void energyFile()
    {
        QFETCH(QByteArray, before);
        QFETCH(CivilDate, date);
        const std::string text = core::withDay(before.toStdString(), day(date, 5));
        QTEST(QByteArray::fromStdString(text), "after");
        QCOMPARE(core::readEnergyCsv(text).back().windUnit, std::string("mph"));
    }

    void dayLineRoundTrip()
    {
        core::DayRecord d = day({2026, 3, 7}, 1234.567);
        d.estimated = true;
        d.peakWatts = 512.25;
        d.minVolts = 11.9;
        d.windUnit = "km, \"h\"";
        d.loadOnSeconds = 600;
        d.framesReceived = 17280;
        const std::string text = core::dayLine(d);
        QCOMPARE(QString::fromStdString(text), QString("2026-03-07,1234.57,1,512.25,,km h,,11.9,,10,0,17280,"));
        const auto back = core::readDayLine(text);
        QVERIFY(back && back->estimated && !back->peakWind && back->loadOnSeconds == 600);
        QVERIFY(!core::readDayLine("2026-03-07,12,2,,,,,,,,,,"));
        // Found by fuzzing: a frame count too large for an integer.
        QVERIFY(!core::readDayLine("2026-03-07,12,0,,,,,,,,,1e98,"));
        QVERIFY(!core::readDayLine("2026-03-07,12,0,,,,,,,,,,2.5"));
    }

    // A day change during a run hands over the finished day once; a clock set
    // back hands over nothing and starts today again.
    void dayChangeDuringARun()
    {
        core::Liveness l;
        core::EnergyBook book;
        book.start({10, 0, 100, false}, std::nullopt, {2026, 3, 7}, 0, "mph");
        l.frame(core::decodeFrame("[<V>1</V><I>1</I>]"), 0);
        QVERIFY(!book.step(720, 0, l, 5, {2026, 3, 7}));
        QCOMPARE(book.lifetime(), 101.0);
        const auto finished = book.step(720, 0, l, 10, {2026, 3, 8});
        QVERIFY(finished && finished->date == CivilDate({2026, 3, 7}) && finished->energyWh == 11.0);
        QCOMPARE(book.yesterday(), 11.0);
        QCOMPARE(book.today(), 1.0);
        QVERIFY(!book.step(0, 0, l, 12, {2026, 3, 6}));
        QCOMPARE(book.today(), 0.0);
        QCOMPARE(book.yesterday(), 0.0);
        QCOMPARE(book.lifetime(), 102.0);
    }
};

QTEST_APPLESS_MAIN(TestEnergy)
#include "tst_energy.moc"
