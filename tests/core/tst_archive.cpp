// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's minutes made from a scripted stream of frames, and the
// roll-ups, merges and texts made of them.

#include "core/Archive.h"
#include "core/Frame.h"

#include <QtTest>

namespace {

// One step of a script: at `s` seconds after the base, a live frame of
// `volts` x 10 A (mode 1 when `load`), a frame that is not live ('x'), `n`
// dropped frames ('d'), the clock's tick ('t'), energy counted ('e', `volts`
// watt-hours), a change of offset ('o', `volts` being the new offset in
// seconds) or the wall clock set by `volts` seconds ('w'; the times after it
// are on the wall clock).
struct Step {
    double s;
    char kind;
    double volts = 15;
    bool load = false;
    double wind = -1;
    const char *unit = "mph";
};
using Script = std::vector<Step>;

// 2026-03-29 00:58:00 UTC: Europe's clocks go forward two minutes later.
constexpr std::int64_t kBase = 1774745880;

core::RawReading raw(bool live, bool wind)
{
    core::RawReading r;
    r.voltsRead = r.ampsRead = live;
    r.windRead = wind;
    return r;
}

QString describe(const core::ArchiveRow &r)
{
    QString text = QString("%1 f%2 r%3 v%4/%5/%6 e%7 load%8 gap%9")
                       .arg(QString::fromStdString(core::isoLocalTime(r.t, r.utcOffset)))
                       .arg(r.frames)
                       .arg(r.rejected)
                       .arg(r.volts.mean())
                       .arg(r.volts.min)
                       .arg(r.volts.max)
                       .arg(r.energyWh, 0, 'f', 4)
                       .arg(r.loadSeconds)
                       .arg(r.noDataSeconds);
    if (r.wind.n)
        text += QString(" w%1/%2 %3").arg(r.wind.mean(), 0, 'f', 3).arg(r.wind.n).arg(QString::fromStdString(r.windUnit));
    return text;
}

QStringList run(const Script &script)
{
    core::MinuteBuilder b;
    QStringList out;
    int offset = 0;
    // The wall clock less the clock that counts sleep, in ms.
    std::int64_t set = 0;
    const auto take = [&out](const std::vector<core::ArchiveRow> &rows) {
        for (const auto &r : rows)
            out << describe(r);
    };
    for (const Step &st : script) {
        const auto ms = std::int64_t(std::llround((double(kBase) + st.s) * 1000));
        const std::int64_t mono = ms - set;
        core::Reading reading;
        reading.Volts = st.volts;
        reading.Amps = 10;
        reading.Watts = st.volts * 10;
        reading.Mode = st.load ? 1 : 0;
        reading.WindSpeed = st.wind;
        switch (st.kind) {
        case 'f': take(b.frame(ms, mono, offset, raw(true, st.wind >= 0), reading, st.unit)); break;
        case 'x': take(b.frame(ms, mono, offset, raw(false, false), reading, st.unit)); break;
        case 'd': take(b.dropped(ms, mono, 2)); break;
        case 't': take(b.advance(ms, mono)); break;
        case 'e': take(b.energy(ms, mono, offset, st.volts)); break;
        case 'o': offset = int(st.volts); break;
        case 'w': set += std::int64_t(st.volts) * 1000; break;
        }
    }
    return out;
}

// Frames once a second from `from` to `to` seconds (inclusive).
Script everySecond(double from, double to, double volts = 15, bool load = false)
{
    Script s;
    for (double t = from; t <= to; ++t)
        s.push_back({t, 'f', volts, load});
    return s;
}

Script operator+(Script a, const Script &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

Q_DECLARE_METATYPE(Script)

class TstArchive : public QObject {
    Q_OBJECT
private slots:
    void minutes_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("a whole minute, load on")
            << everySecond(0, 59, 15, true) + Script{{60, 't'}}
            << QStringList{"2026-03-29T00:58:00+00:00 f60 r0 v15/15/15 e0.0000 load60 gap0"};
        QTest::newRow("started half way: the first half had no data")
            << everySecond(30, 59) + Script{{60, 't'}}
            << QStringList{"2026-03-29T00:58:00+00:00 f30 r0 v15/15/15 e0.0000 load0 gap30"};
        QTest::newRow("frames stop: held until the data turns stale")
            << everySecond(0, 10) + Script{{60, 't'}}
            << QStringList{"2026-03-29T00:58:00+00:00 f11 r0 v15/15/15 e0.0000 load0 gap35"};
        // The reading of 0:55 holds over the boundary into the next minute.
        QTest::newRow("held across a minute")
            << Script{{0, 'f'}, {14, 'f'}, {28, 'f'}, {42, 'f'}, {55, 'f'}, {62, 'f'}, {120, 't'}}
            << QStringList{"2026-03-29T00:58:00+00:00 f5 r0 v15/15/15 e0.0000 load0 gap0",
                           "2026-03-29T00:59:00+00:00 f1 r0 v15/15/15 e0.0000 load0 gap43"};
        QTest::newRow("means and extremes")
            << Script{{0, 'f', 12}, {1, 'f', 13}, {2, 'f', 14}, {60, 't'}}
            << QStringList{"2026-03-29T00:58:00+00:00 f3 r0 v13/12/14 e0.0000 load0 gap43"};
        QTest::newRow("rejected and dropped frames, before and after the first live one")
            << Script{{1, 'x'}, {2, 'd'}, {10, 'f'}, {11, 'x'}, {12, 'd'}, {60, 't'}}
            << QStringList{"2026-03-29T00:58:00+00:00 f1 r6 v15/15/15 e0.0000 load0 gap45"};
        QTest::newRow("no live frame, no row") << Script{{1, 'x'}, {2, 'd'}, {59, 'x'}, {130, 't'}} << QStringList{};
        QTest::newRow("rejected frames of another minute do not count")
            << Script{{1, 'x'}, {61, 'f'}, {120, 't'}}
            << QStringList{"2026-03-29T00:59:00+00:00 f1 r0 v15/15/15 e0.0000 load0 gap45"};
        // Europe's summer time: 01:00 UTC is 02:00 before and 03:00 after.
        QTest::newRow("daylight saving time begins between two minutes")
            << Script{{0, 'o', 3600}} + everySecond(60, 119) + Script{{120, 'o', 7200}} + everySecond(120, 179)
                   + Script{{180, 't'}}
            << QStringList{"2026-03-29T01:59:00+01:00 f60 r0 v15/15/15 e0.0000 load0 gap0",
                           "2026-03-29T03:00:00+02:00 f60 r0 v15/15/15 e0.0000 load0 gap0"};
        QTest::newRow("local midnight between two minutes")
            << Script{{0, 'o', -3540}} + everySecond(0, 119) + Script{{120, 't'}}
            << QStringList{"2026-03-28T23:59:00-00:59 f60 r0 v15/15/15 e0.0000 load0 gap0",
                           "2026-03-29T00:00:00-00:59 f60 r0 v15/15/15 e0.0000 load0 gap0"};
        // The wall clock set: a minute ends with the time that really passed
        // (it held 55 s after a step forward at 0:40), and the reading held
        // goes on in the new time.
        QTest::newRow("clock set back an hour")
            << everySecond(0, 29) + Script{{0, 'w', -3600}, {-3570, 'f'}, {-3540, 't'}}
            << QStringList{"2026-03-29T00:58:00+00:00 f30 r0 v15/15/15 e0.0000 load0 gap30",
                           "2026-03-28T23:58:00+00:00 f1 r0 v15/15/15 e0.0000 load0 gap45"};
        QTest::newRow("clock set forward a day")
            << everySecond(0, 39) + Script{{0, 'w', 86400}} + everySecond(86440, 86459) + Script{{86520, 't'}}
            << QStringList{"2026-03-29T00:58:00+00:00 f40 r0 v15/15/15 e0.0000 load0 gap20",
                           "2026-03-30T00:58:00+00:00 f20 r0 v15/15/15 e0.0000 load0 gap40"};
        // Energy comes counted: it goes to the minute of its time, one
        // without a frame yet included (a reading held into it).
        QTest::newRow("energy to the minute of its time")
            << everySecond(0, 29) + Script{{30, 'e', 0.25}} + everySecond(30, 44) + Script{{45, 'e', 0.25}}
                   + everySecond(45, 58) + Script{{60, 'e', 0.5}, {120, 't'}}
            << QStringList{"2026-03-29T00:58:00+00:00 f59 r0 v15/15/15 e0.5000 load0 gap0",
                           "2026-03-29T00:59:00+00:00 f0 r0 v0/0/0 e0.5000 load0 gap47"};
        QTest::newRow("a jump forward (a sleep) is time without data")
            << everySecond(0, 4) + Script{{3600, 'f'}, {3660, 't'}}
            << QStringList{"2026-03-29T00:58:00+00:00 f5 r0 v15/15/15 e0.0000 load0 gap41",
                           "2026-03-29T01:58:00+00:00 f1 r0 v15/15/15 e0.0000 load0 gap45"};
        QTest::newRow("wind unit changed: the minute keeps the new one only")
            << Script{{0, 'f', 15, false, 10, "mph"},
                      {1, 'f', 15, false, 36, "km/h"},
                      {2, 'f', 15, false, 18, "km/h"},
                      {60, 't'}}
            << QStringList{"2026-03-29T00:58:00+00:00 f3 r0 v15/15/15 e0.0000 load0 gap43 w7.500/2 km/h"};
        QTest::newRow("an unknown unit is kept as it is")
            << Script{{0, 'f', 15, false, 3, "Bft"}, {60, 't'}}
            << QStringList{"2026-03-29T00:58:00+00:00 f1 r0 v15/15/15 e0.0000 load0 gap45 w3.000/1 Bft"};
    }
    void minutes()
    {
        QFETCH(Script, script);
        QFETCH(QStringList, rows);
        QCOMPARE(run(script), rows);
    }

    // Each call: the wall clock and the clock that counts sleep (seconds
    // from kBase) and whether minutes are kept at all; the cut-offs it gave,
    // in days from kBase ("-" for none, "!" when it found the clock ahead).
    // The archive's newest minute is kBase.
    void retention_data()
    {
        QTest::addColumn<QList<QList<double>>>("calls");
        QTest::addColumn<QStringList>("cuts");
        const double day = 86400;
        QTest::newRow("the clock right at start")
            << QList<QList<double>>{{60, 0, 1}, {3660, 3600, 1}} << QStringList{"-729.9993", "-729.9576"};
        QTest::newRow("a day ahead of the newest minute is still right")
            << QList<QList<double>>{{day, 0, 1}} << QStringList{"-729.0000"};
        QTest::newRow("800 days ahead at start: nothing, then as time passes")
            << QList<QList<double>>{{800 * day, 0, 1}, {800 * day + 3600, 3600, 1}}
            << QStringList{"!", "-729.9583"};
        QTest::newRow("stepped ahead while running, then set right")
            << QList<QList<double>>{{60, 0, 1}, {800 * day, 3600, 1}, {7260, 7200, 1}}
            << QStringList{"-729.9993", "-729.9576", "-729.9160"};
        QTest::newRow("set back: nothing let go comes back into the window")
            << QList<QList<double>>{{60, 0, 1}, {-day, 3600, 1}} << QStringList{"-729.9993", "-729.9993"};
        QTest::newRow("minutes kept for ever") << QList<QList<double>>{{60, 0, 0}} << QStringList{"-"};
    }
    void retention()
    {
        QFETCH(QList<QList<double>>, calls);
        QFETCH(QStringList, cuts);
        core::Retention r;
        QStringList got;
        for (const QList<double> &c : calls) {
            const auto cut = r.next(kBase + std::int64_t(c[0]), c[1], kBase, c[2] ? 730 : 0);
            got << (cut.clockAhead ? QString("!")
                    : cut.before   ? QString::number(double(*cut.before - kBase) / 86400, 'f', 4)
                                   : QString("-"));
        }
        QCOMPARE(got, cuts);
    }

    // A restart within a minute: the parts add up, and the time without data
    // is what neither run covered. Summaries add minutes and leave out wind
    // of another unit.
    void mergeAndRollUp()
    {
        core::ArchiveRow a, b;
        a.t = b.t = kBase;
        a.minutes = b.minutes = 1;
        a.frames = 30;
        b.frames = 20;
        a.noDataSeconds = 30;
        b.noDataSeconds = 40;
        a.energyWh = 1;
        b.energyWh = 0.5;
        a.volts.add(12);
        b.volts.add(14);
        a.wind.add(5);
        a.windUnit = "mph";
        b.wind.add(20);
        b.windUnit = "Bft";
        const core::ArchiveRow m = core::mergeMinute(a, b);
        QCOMPARE(m.minutes, 1LL);
        QCOMPARE(m.frames, 50LL);
        QCOMPARE(m.noDataSeconds, 10.0);
        QCOMPARE(m.energyWh, 1.5);
        QCOMPARE(m.volts.min, 12.0);
        QCOMPARE(m.volts.max, 14.0);
        QCOMPARE(m.wind.n, 1LL);

        core::ArchiveRow hour = core::rollUp(core::ArchiveRow(), a);
        hour = core::rollUp(hour, b);
        QCOMPARE(hour.minutes, 2LL);
        QCOMPARE(hour.noDataSeconds, 70.0);
        QCOMPARE(hour.windUnit, std::string("mph"));
        QCOMPARE(hour.wind.n, 1LL);
        // 06:43 at +05:45: the hour began at 00:15 UTC.
        QCOMPARE(core::localHourStart(kBase + 30, 20700), kBase - 43 * 60);
        QCOMPARE(core::localDayKey(kBase, -3600), 20260328);
    }

    void texts_data()
    {
        QTest::addColumn<QString>("cfg");
        QTest::addColumn<int>("days");
        QTest::newRow("missing") << "" << 730;
        QTest::newRow("for ever") << "<MinuteDays>0</MinuteDays>" << 0;
        QTest::newRow("thirty") << "<MinuteDays> 30 </MinuteDays>" << 30;
        QTest::newRow("negative") << "<MinuteDays>-1</MinuteDays>" << 730;
        QTest::newRow("a fraction") << "<MinuteDays>1.5</MinuteDays>" << 730;
        QTest::newRow("words") << "<MinuteDays>many</MinuteDays>" << 730;
    }
    void texts()
    {
        QFETCH(QString, cfg);
        QFETCH(int, days);
        QCOMPARE(core::readArchiveSettings(cfg.toStdString()).minuteDays, days);
        QCOMPARE(core::readArchiveSettings(core::archiveSettingsText({days})).minuteDays, days);
    }

    void csvLine()
    {
        core::ArchiveRow r;
        r.t = kBase;
        r.utcOffset = -12600;
        r.minutes = 1;
        r.frames = 2;
        r.volts.add(12.34);
        r.volts.add(12.36);
        r.amps.add(1);
        r.watts.add(12.35);
        r.wind.add(4.4704);
        r.windUnit = "mph";
        r.energyWh = 0.12345;
        r.noDataSeconds = 45;
        QCOMPARE(QString::fromStdString(core::archiveCsvLine(r)),
                 QString("2026-03-28T21:28:00-03:30,1,0,2,0,12.35,12.34,12.36,1,1,1,12.35,12.35,12.35,,,,"
                         "4.47,4.47,4.47,m/s,0.123,0,45\n"));
        QCOMPARE(QString::fromStdString(core::archiveCsvHeader()).count(','),
                 QString::fromStdString(core::archiveCsvLine(r)).count(','));
    }
};

QTEST_APPLESS_MAIN(TstArchive)
#include "tst_archive.moc"
