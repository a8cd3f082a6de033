// SPDX-License-Identifier: GPL-3.0-or-later
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

    // Stored date and energy.csv against today's date: which totals go on.
    // Today is 2026-03-07.
    void startUp_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<double>("today");
        QTest::addColumn<double>("yesterday");
        QTest::addColumn<double>("lifetime");
        QTest::addColumn<bool>("clockBack");
        QTest::addColumn<double>("storedDay"); // the stored date's line to write, -1 for none
        const auto state = [](const char *date) {
            return QByteArray("Energy State File\r\n\r\n<Date>") + date
                   + "</Date>\r\n<Today>120.5</Today>\r\n<Yesterday>300</Yesterday>\r\n<Lifetime>9000.25</Lifetime>\r\n";
        };
        const CivilDate d4{2026, 3, 4}, d5{2026, 3, 5}, d6{2026, 3, 6}, d7{2026, 3, 7}, d8{2026, 3, 8};
        const auto csv = [](std::initializer_list<QByteArray> lines) {
            QByteArray out = kHeader;
            for (const QByteArray &l : lines)
                out += l + "\r\n";
            return out;
        };
        const QByteArray estimated4 = line(d4, 400).replace(",0,", ",1,");
        const QByteArray years = csv({line(d6, 700), line(d5, 1000), estimated4, line(d7, 3000)});
        QTest::newRow("same day") << state("2026-03-07") << QByteArray() << 120.5 << 300.0 << 9000.25 << false << -1.0;
        QTest::newRow("yesterday") << state("2026-03-06") << QByteArray() << 0.0 << 120.5 << 9000.25 << false << 120.5;
        QTest::newRow("across a year end") << state("2025-12-31") << QByteArray() << 0.0 << 0.0 << 9000.25 << false << 120.5;
        QTest::newRow("older") << state("2026-03-01") << QByteArray() << 0.0 << 0.0 << 9000.25 << false << 120.5;
        QTest::newRow("clock set back") << state("2026-03-08") << QByteArray() << 300.0 << 0.0 << 9000.25 << true << 120.5;
        QTest::newRow("missing") << QByteArray() << QByteArray() << 0.0 << 0.0 << 0.0 << false << -1.0;
        QTest::newRow("damaged number") << state("2026-03-07").replace("120.5", "12x") << QByteArray() << 0.0 << 0.0 << 0.0 << false << -1.0;
        QTest::newRow("damaged date") << state("2026-3-7") << QByteArray() << 0.0 << 0.0 << 0.0 << false << -1.0;
        QTest::newRow("cut short") << state("2026-03-07").left(60) << QByteArray() << 0.0 << 0.0 << 0.0 << false << -1.0;
        // Rows that reproduce lost records.
        QTest::newRow("clock set back: today goes on from its line")
            << state("2026-03-08") << csv({line(d6, 700), line(d7, 5000), line(d8, 100)}) << 5000.0 << 700.0
            << 9000.25 << true << 120.5;
        QTest::newRow("missing, energy.csv present: the measured days") << QByteArray() << years << 3000.0 << 700.0
                                                                        << 4700.0 << false << -1.0;
        QTest::newRow("damaged, energy.csv present") << state("2026-03-07").replace("120.5", "12x") << years << 3000.0
                                                     << 700.0 << 4700.0 << false << -1.0;
        QTest::newRow("killed: today's line behind the state")
            << state("2026-03-07") << csv({line(d7, 100)}) << 120.5 << 300.0 << 9000.25 << false << -1.0;
        QTest::newRow("today's line ahead of the state")
            << state("2026-03-07") << csv({line(d7, 150)}) << 150.0 << 300.0 << 9029.75 << false << -1.0;
        QTest::newRow("killed before midnight: yesterday's line behind")
            << state("2026-03-06") << csv({line(d6, 100)}) << 0.0 << 120.5 << 9000.25 << false << 120.5;
        QTest::newRow("yesterday from its line, whatever the stored date")
            << state("2026-03-01") << csv({line(d6, 700), line(d5, 20)}) << 0.0 << 700.0 << 9000.25 << false << 120.5;
    }
    void startUp()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, csv);
        const auto stored = core::readEnergyState(file.toStdString());
        const core::EnergyStart e = core::energyAtStart(stored, core::readEnergyCsv(csv.toStdString()),
                                                        {2026, 3, 7});
        QTEST(e.today, "today");
        QTEST(e.yesterday, "yesterday");
        QTEST(e.lifetime, "lifetime");
        QTEST(e.clockBack, "clockBack");
        QTEST(e.storedDay ? e.storedDay->energyWh : -1.0, "storedDay");
        QCOMPARE(e.rebuilt, !stored);
        if (e.todayLine)
            QCOMPARE(e.todayLine->energyWh, e.today);
        if (stored) // what is written reads back the same
            QCOMPARE(core::readEnergyState(core::energyStateText(*stored))->lifetime, stored->lifetime);
    }

    // A line is only replaced by one that keeps each column's extreme.
    void lineKeepsExtremes_data()
    {
        QTest::addColumn<QByteArray>("old");
        QTest::addColumn<QByteArray>("now");
        QTest::addColumn<QByteArray>("kept");
        const QByteArray full = "2026-03-07,5000,0,800,12,mph,300,11.5,14,60,5,1000,3";
        QTest::newRow("each column's extreme") << full << QByteArray("2026-03-07,11,0,900,10,mph,200,12,13.5,2,90,20,9")
                                               << QByteArray("2026-03-07,5000,0,900,12,mph,300,11.5,14,60,90,1000,9");
        QTest::newRow("empty columns keep the old values")
            << full << QByteArray("2026-03-07,11,0,,,mph,,,,0,0,,") << full;
        QTest::newRow("measurement replaces an estimate") << QByteArray("2026-03-07,5000,1,800,12,mph,300,11.5,14,60,5,,")
                                                          << QByteArray("2026-03-07,11,0,,,mph,,,,0,0,,")
                                                          << QByteArray("2026-03-07,11,0,,,mph,,,,0,0,,");
        QTest::newRow("an estimate never replaces a measurement") << full << QByteArray("2026-03-07,9000,1,,,mph,,,,0,0,,")
                                                                  << full;
    }
    void lineKeepsExtremes()
    {
        QFETCH(QByteArray, old);
        QFETCH(QByteArray, now);
        const std::string text = core::withDay((kHeader + old + "\r\n").toStdString(),
                                               *core::readDayLine(now.toStdString()));
        QFETCH(QByteArray, kept);
        QCOMPARE(QByteArray::fromStdString(text), kHeader + kept + "\r\n");
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

    // A date change during a run, either way, hands over the day left; the
    // new date goes on from its measured line, and yesterday is the line of
    // the day before it. The run: 10 Wh on 2026-03-07 (lifetime 100), a step
    // of 1 Wh, then a step of 1 Wh on the new date.
    void dayChangeDuringARun_data()
    {
        QTest::addColumn<CivilDate>("date");
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<double>("today");
        QTest::addColumn<double>("yesterday");
        const CivilDate d5{2026, 3, 5}, d6{2026, 3, 6}, d8{2026, 3, 8}, d9{2026, 3, 9};
        QTest::newRow("the next day") << d8 << QByteArray() << 1.0 << 11.0;
        QTest::newRow("two days on: yesterday from its line") << d9 << kHeader + line(d8, 300) + "\r\n" << 1.0 << 300.0;
        // Reproduces 5000 Wh becoming 11 Wh.
        QTest::newRow("clock set back across midnight")
            << d6 << kHeader + line(d5, 700) + "\r\n" + line(d6, 5000) + "\r\n" << 5001.0 << 700.0;
        QTest::newRow("set back to a day without a line") << d6 << QByteArray() << 1.0 << 0.0;
        QTest::newRow("forward again to a day with a line") << d8 << kHeader + line(d8, 40) + "\r\n" << 41.0 << 11.0;
        QTest::newRow("an estimate is not gone on from")
            << d6 << kHeader + line(d6, 400).replace(",0,", ",1,") + "\r\n" << 1.0 << 0.0;
    }
    void dayChangeDuringARun()
    {
        QFETCH(CivilDate, date);
        QFETCH(QByteArray, csv);
        const std::vector<core::DayRecord> days = core::readEnergyCsv(csv.toStdString());
        core::Liveness l;
        core::EnergyBook book;
        core::EnergyStart totals;
        totals.today = 10;
        totals.lifetime = 100;
        book.start(totals, {2026, 3, 7}, 0, "mph");
        book.setDayLookup([&days](const CivilDate &d) -> std::optional<core::DayRecord> {
            for (const auto &r : days)
                if (r.date == d)
                    return r;
            return std::nullopt;
        });
        l.frame(core::decodeFrame("[<V>1</V><I>1</I>]"), 0);
        QVERIFY(!book.step(720, 0, l, 5, {2026, 3, 7}));
        const auto left = book.step(720, 0, l, 10, date);
        QVERIFY(left && left->date == CivilDate({2026, 3, 7}) && left->energyWh == 11.0);
        QTEST(book.today(), "today");
        QTEST(book.yesterday(), "yesterday");
        QCOMPARE(book.day().date, date);
        QCOMPARE(book.lifetime(), 102.0);
        QVERIFY(!book.step(720, 0, l, 12, date));
    }

    // A machine that slept (the clock jumps on): the pre-sleep watts count for
    // no more than a step, the gap counts as no-data time.
    void jumpForward()
    {
        core::Liveness l;
        core::EnergyBook book;
        book.start({}, {2026, 3, 7}, 0, "mph");
        l.frame(core::decodeFrame("[<V>1</V><I>1</I>]"), 0);
        book.step(720, 1, l, 5, {2026, 3, 7});
        book.step(720, 1, l, 5 + 3600, {2026, 3, 7});
        QCOMPARE(l.state(5 + 3600), DataState::Stale);
        QCOMPARE(book.today(), 3.0); // live until 15 s after the frame
        QCOMPARE(book.day().noDataSeconds, 3590.0);
        QCOMPARE(book.day().loadOnSeconds, 5.0);
    }
};

QTEST_APPLESS_MAIN(TestEnergy)
#include "tst_energy.moc"
