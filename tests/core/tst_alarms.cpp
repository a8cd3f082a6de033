// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm rules on a script of frames and ticks, alarms.cfg, and the link's
// counters and status text.
#include "core/Alarms.h"
#include "core/Number.h"

#include <QtTest>

using core::AlarmId;
using core::DataState;

namespace {
// Every alarm on; battery 11.8 / 14.8 V, 800 RPM, wind 20, no data 30 s,
// under-performing below 70 % for 7 days, hold 10 s, hysteresis 0.2 V and 5 %.
core::AlarmSettings allOn()
{
    core::AlarmSettings s;
    s.on = {true, true, true, true, true, true};
    s.threshold = {11.8, 14.8, 800, 20, 30, 70};
    return s;
}

// Day n of March 2026 as yyyymmdd.
int march(int n) { return 20260300 + n; }

QString eventText(double t, const core::AlarmEvent &e)
{
    return QStringLiteral("%1 %2 %3 %4")
        .arg(t)
        .arg(QString::fromStdString(std::string(core::alarmKey(e.id))))
        .arg(e.raised ? "raised" : "cleared")
        .arg(QString::fromStdString(core::alarmNumberText(e.id, e.value)));
}
} // namespace

class TestAlarms : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { core::setDecimalSeparator('.'); }

    // A script of steps "time what [value]" separated by ";":
    //   v V    a live frame of V volts (no RPM or wind field)
    //   r R    a live frame of 12.5 V and R RPM;  w W  the same with wind W
    //   x V    a frame that is not live (its amps did not read), V volts
    //   L S P  the check a second with the data live, stale or paused
    //   off    battery low switched off
    // The book starts at time 0; steps "from-to/every what" repeat a step.
    void rules_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("one odd frame raises nothing") << "0 v 12.5; 1 v 11; 2 v 12.5; 12 L; 13 v 12.5" << QStringList{};
        QTest::newRow("raised once the condition held the hold time")
            << "0 v 11.5; 5 v 11.4; 9 L; 10 L; 11 v 11.3" << QStringList{"10 battery_low raised 11.4"};
        QTest::newRow("cleared only past the hysteresis, held the hold time")
            << "0 v 11.5; 10 v 11.5; 11 v 11.9; 25 v 11.99; 30 L; 31 v 12; 40 L; 41 v 12.1"
            << QStringList{"10 battery_low raised 11.5", "41 battery_low cleared 12.1"};
        QTest::newRow("flapping at the threshold raises nothing")
            << "0-40/2 v 11.7; 1-41/2 v 11.9; 42 L" << QStringList{};
        QTest::newRow("flapping at the clear line keeps it raised")
            << "0 v 11; 10 v 11; 11-61/2 v 12.1; 12-62/2 v 11.9; 63 L"
            << QStringList{"10 battery_low raised 11"};
        QTest::newRow("battery high, both ways")
            << "0 v 15; 10 v 15; 11 v 14.7; 20 v 14.61; 21 v 14.6; 31 v 14.6"
            << QStringList{"10 battery_high raised 15", "31 battery_high cleared 14.6"};
        QTest::newRow("over-speed with 5 % hysteresis")
            << "0 r 850; 10 r 850; 11 r 770; 21 r 770; 22 r 760; 32 L"
            << QStringList{"10 over_speed raised 850", "32 over_speed cleared 760"};
        QTest::newRow("high wind; frames without wind leave it alone")
            << "0 w 25; 5 v 12.5; 10 v 12.5; 10 L; 11 w 18; 21 L"
            << QStringList{"10 high_wind raised 25", "21 high_wind cleared 18"};
        QTest::newRow("no data while the port is away, cleared by a live frame")
            << "0 v 12.5; 20 S; 29 S; 30 S; 31 S; 40 v 12.5; 41 L"
            << QStringList{"30 no_data raised 30", "40 no_data cleared 40"};
        QTest::newRow("no data from the start")
            << "10 S; 29 S; 30 S" << QStringList{"30 no_data raised 30"};
        QTest::newRow("frames that are not live are no data")
            << "0 v 12.5; 1-30/1 x 11; 30 S" << QStringList{"30 no_data raised 30"};
        QTest::newRow("paused: no data neither raised nor counted")
            << "0 v 12.5; 10-100/10 P; 101 S; 130 S; 131 S" << QStringList{"131 no_data raised 30"};
        // Counted again from the end of the pause.
        QTest::newRow("paused: no data stays raised")
            << "0 S; 30 S; 31-90/1 P; 91 S; 100 v 12.5"
            << QStringList{"30 no_data raised 30", "100 no_data cleared 9"};
        QTest::newRow("stale data confirms no value condition")
            << "0 v 11.5; 16 S; 20 v 11.5; 29 v 11.5; 30 L" << QStringList{"30 battery_low raised 11.5"};
        QTest::newRow("switched off while raised")
            << "0 v 11.5; 10 v 11.5; 15 off; 16 v 11; 30 v 11; 31 L"
            << QStringList{"10 battery_low raised 11.5", "15 battery_low cleared 11.5"};
    }
    void rules()
    {
        QFETCH(QString, script);
        core::AlarmBook book(0);
        QVERIFY(book.setSettings(allOn(), 0).empty());
        QStringList got;
        struct Step {
            double t;
            QStringList what;
        };
        QList<Step> steps;
        for (const QString &s : script.split(';')) {
            QStringList parts = s.simplified().split(' ');
            const QString when = parts.takeFirst();
            if (when.contains('-')) {
                const double from = when.section('-', 0, 0).toDouble(),
                             to = when.section('-', 1).section('/', 0, 0).toDouble(),
                             every = when.section('/', 1).toDouble();
                for (double t = from; t <= to; t += every)
                    steps.append({t, parts});
            } else {
                steps.append({when.toDouble(), parts});
            }
        }
        std::stable_sort(steps.begin(), steps.end(), [](const Step &a, const Step &b) { return a.t < b.t; });
        for (const Step &step : steps) {
            const QString op = step.what.value(0);
            const double arg = step.what.value(1).toDouble();
            std::vector<core::AlarmEvent> events;
            core::AlarmBook::Values v;
            v.live = true;
            v.volts = 12.5;
            if (op == "v" || op == "x") {
                v.volts = arg;
                v.live = op == "v";
                events = book.frame(v, step.t);
            } else if (op == "r" || op == "w") {
                (op == "r" ? v.rpm : v.wind) = arg;
                events = book.frame(v, step.t);
            } else if (op == "off") {
                core::AlarmSettings s = allOn();
                s.on[size_t(AlarmId::BatteryLow)] = false;
                events = book.setSettings(s, step.t);
            } else {
                QVERIFY2(op == "L" || op == "S" || op == "P", qPrintable(op));
                events = book.tick(op == "L"   ? DataState::Live
                                   : op == "S" ? DataState::Stale
                                               : DataState::Paused,
                                   step.t);
            }
            for (const auto &e : events) {
                got << eventText(step.t, e);
                QCOMPARE(book.raised(e.id), e.raised);
            }
        }
        QTEST(got, "events");
    }

    // The under-performing alarm on a script of days, steps separated by ";":
    //   D P W [C] day D of March (or days "D-E") at P percent of C Wh
    //             certified (100 unless given), with W minutes of wind above
    //             the cut-in
    //   t D       judged on day D (the days before it count)
    //   set P N   threshold P percent over N days;  off  the alarm switched off
    // An event is written "D key raised|cleared value".
    void underPerforming_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("seven windy days below the threshold raise it")
            << "1-7 65 120; t 8" << QStringList{"8 under_performing raised 65"};
        QTest::newRow("six are not enough") << "2-7 65 120; t 8" << QStringList{};
        QTest::newRow("today does not count yet") << "1-6 65 120; 7 10 300; t 7" << QStringList{};
        QTest::newRow("calm days neither break nor lengthen the run")
            << "1-3 60 120; 4 95 59; 5 20 0; 6-9 60 60; t 10" << QStringList{"10 under_performing raised 60"};
        QTest::newRow("a calm day is not one of the seven") << "1-5 60 120; 6 60 59; 7 60 120; t 8" << QStringList{};
        QTest::newRow("a good windy day breaks the run") << "1-3 60 120; 4 70 120; 5-7 60 120; t 8" << QStringList{};
        QTest::newRow("at the threshold is not below") << "1-7 70 120; t 8" << QStringList{};
        QTest::newRow("the value is the run's energy ratio, not the mean of the days")
            << "1 50 120 400; 2-7 62 120; t 8" << QStringList{"8 under_performing raised 57.2"};
        QTest::newRow("cleared by the next good windy day, with its figure")
            << "1-7 65 120; t 8; 8 50 30; t 9; 9 80 90; t 10"
            << QStringList{"8 under_performing raised 65", "10 under_performing cleared 80"};
        QTest::newRow("stays raised through calm days") << "1-7 65 120; t 8; 8-20 99 10; t 21"
                                                        << QStringList{"8 under_performing raised 65"};
        QTest::newRow("a shorter run of days raises at once")
            << "1-3 65 120; t 4; set 70 3" << QStringList{"4 under_performing raised 65"};
        QTest::newRow("a lower threshold clears it") << "1-7 65 120; t 8; set 60 7"
                                                     << QStringList{"8 under_performing raised 65",
                                                                    "8 under_performing cleared 65"};
        QTest::newRow("off: neither raised nor cleared") << "1-7 65 120; off; t 8" << QStringList{};
        QTest::newRow("switched off while raised clears it")
            << "1-7 65 120; t 8; off" << QStringList{"8 under_performing raised 65", "8 under_performing cleared 65"};
        QTest::newRow("no certified curve: no days, nothing raised") << "t 8" << QStringList{};
    }
    void underPerforming()
    {
        QFETCH(QString, script);
        core::AlarmSettings settings = allOn();
        core::AlarmBook book;
        book.setSettings(settings, 0);
        std::map<int, core::PerformanceSums> days;
        int today = 0;
        QStringList got;
        for (const QString &s : script.split(';')) {
            const QStringList w = s.simplified().split(' ');
            std::vector<core::AlarmEvent> events;
            if (w[0] == "t") {
                today = march(w[1].toInt());
                events = book.performance(days, today);
            } else if (w[0] == "set") {
                settings.threshold[size_t(AlarmId::UnderPerforming)] = w[1].toDouble();
                settings.performanceDays = w[2].toInt();
                events = book.setSettings(settings, 0);
            } else if (w[0] == "off") {
                settings.on[size_t(AlarmId::UnderPerforming)] = false;
                events = book.setSettings(settings, 0);
            } else {
                const int from = w[0].section('-', 0, 0).toInt(), to = w[0].section('-', -1).toInt();
                const double certified = w.size() > 3 ? w[3].toDouble() : 100;
                for (int d = from; d <= to; ++d)
                    days[march(d)] = {w[1].toDouble() * certified / 100, certified, 200, w[2].toLongLong()};
            }
            for (const auto &e : events)
                got << QStringLiteral("%1 %2").arg(today % 100).arg(eventText(0, e).section(' ', 1));
        }
        QTEST(got, "events");
    }

    // The turbine's alarms, each on after 1 minute, hold 10 s; cut-in 3 m/s,
    // cut-out 25, the battery full at 14.4 V. Steps "time what ...":
    //   f W R A [V]  a live frame: wind W m/s, R RPM, A amps, V volts
    //                (12.5 unless given); "-" for a field that did not read
    //   g W R A      the same with the wind in a unit of no known factor
    //   L S          the check a second, the data live or stale
    //   unknown      (first) the turbine's rules not known yet
    void turbineRules_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("stopped in wind for its minutes") << "0-60/5 f 5 0 0" << QStringList{"60 rotor_stopped raised 1"};
        QTest::newRow("stopped: a wind within the margin neither holds nor ends it")
            << "0-30/5 f 5 0 0; 35-60/5 f 3.5 0 0" << QStringList{"60 rotor_stopped raised 1"};
        QTest::newRow("stopped: calm for the hold time starts it again")
            << "0-30/5 f 5 0 0; 35-45/5 f 2 0 0; 50-105/5 f 5 0 0; 110 f 5 0 0"
            << QStringList{"110 rotor_stopped raised 1"};
        QTest::newRow("stopped: calm shorter than the hold changes nothing")
            << "0-30/5 f 5 0 0; 35 f 2 0 0; 40-60/5 f 5 0 0" << QStringList{"60 rotor_stopped raised 1"};
        QTest::newRow("stopped: above the cut-out is no fault") << "0-60/5 f 26 0 0" << QStringList{};
        QTest::newRow("stopped with the battery full is no fault") << "0-60/5 f 5 0 0 14.4" << QStringList{};
        QTest::newRow("stopped: cleared once the rotor turned for the hold time")
            << "0-60/5 f 5 0 0; 65-75/5 f 5 200 5"
            << QStringList{"60 rotor_stopped raised 1", "75 rotor_stopped cleared 1"};
        QTest::newRow("stopped: no RPM read tells nothing") << "0-60/5 f 5 - 0" << QStringList{};
        QTest::newRow("turning but not charging")
            << "0-60/10 f 8 200 0.05; 5-55/10 f 8.1 200 0.05" << QStringList{"60 not_charging raised 1"};
        QTest::newRow("0.1 A is charging") << "0-60/10 f 8 200 0.1; 5-55/10 f 8.1 200 0.1" << QStringList{};
        QTest::newRow("30 RPM is not turning") << "0-60/10 f 8 30 0; 5-55/10 f 8.1 30 0" << QStringList{};
        QTest::newRow("wind unchanged while turning") << "0-60/5 f 6 200 5" << QStringList{"60 wind_implausible raised 1"};
        QTest::newRow("wind unchanged, rotor slow: plausible") << "0-60/5 f 6 20 5" << QStringList{};
        QTest::newRow("a new wind reading starts it again")
            << "0-25/5 f 6 200 5; 30-85/5 f 6.01 200 5; 90 f 6.01 200 5"
            << QStringList{"90 wind_implausible raised 1"};
        QTest::newRow("a new wind reading clears it")
            << "0-60/5 f 6 200 5; 65 f 6.5 200 5"
            << QStringList{"60 wind_implausible raised 1", "65 wind_implausible cleared 1"};
        QTest::newRow("turning with the wind below the cut-in")
            << "0-60/10 f 2 200 5; 5-55/10 f 2.5 200 5" << QStringList{"60 wind_implausible raised 1"};
        QTest::newRow("below the cut-in in an unknown unit tells nothing")
            << "0-60/10 g 2 200 5; 5-55/10 g 2.5 200 5" << QStringList{};
        QTest::newRow("stale data starts a condition again")
            << "0-30/5 f 5 0 0; 40 S; 45-100/5 f 5 0 0; 105 f 5 0 0" << QStringList{"105 rotor_stopped raised 1"};
        QTest::newRow("stale data keeps a raised one")
            << "0-60/5 f 5 0 0; 70 S; 80 f 5 0 0" << QStringList{"60 rotor_stopped raised 1"};
        QTest::newRow("the check a second raises between frames")
            << "0-50/10 f 5 0 0; 59 L; 60 L" << QStringList{"60 rotor_stopped raised 1"};
        // Without the cut-in and the battery's limit only the unchanged wind is judged.
        QTest::newRow("before the turbine's rules are known")
            << "0 unknown; 0-60/5 f 2 200 0" << QStringList{"60 wind_implausible raised 1"};
    }
    void turbineRules()
    {
        QFETCH(QString, script);
        core::AlarmSettings settings;
        for (const AlarmId id : {AlarmId::RotorStopped, AlarmId::NotCharging, AlarmId::WindImplausible}) {
            settings.on[size_t(id)] = true;
            settings.threshold[size_t(id)] = 1;
        }
        settings.on[size_t(AlarmId::NoData)] = false;
        core::AlarmBook book(0);
        book.setSettings(settings, 0);
        core::AvailabilityRules rules;
        rules.cutIn = 3;
        rules.cutOut = 25;
        rules.curve.batteryFullVolts = 14.4;
        if (!script.startsWith("0 unknown"))
            book.setTurbine(rules);
        std::vector<std::pair<double, QStringList>> steps;
        for (const QString &s : script.split(';')) {
            QStringList parts = s.simplified().split(' ');
            const QString when = parts.takeFirst();
            const double from = when.section('-', 0, 0).toDouble();
            const double to = when.contains('-') ? when.section('-', 1).section('/', 0, 0).toDouble() : from;
            const double every = when.contains('/') ? when.section('/', 1).toDouble() : 1;
            for (double t = from; t <= to; t += every)
                steps.emplace_back(t, parts);
        }
        std::stable_sort(steps.begin(), steps.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        QStringList got;
        for (const auto &step : steps) {
            const double t = step.first;
            const QStringList &what = step.second;
            std::vector<core::AlarmEvent> events;
            const auto field = [&](int i) {
                return what.value(i) == "-" ? std::nullopt : std::optional<double>(what.value(i).toDouble());
            };
            if (what[0] == "f" || what[0] == "g") {
                core::AlarmBook::Values v;
                v.live = true;
                v.wind = field(1);
                if (what[0] == "f")
                    v.windMetres = v.wind;
                v.rpm = field(2);
                v.amps = field(3);
                v.volts = what.size() > 4 ? field(4) : 12.5;
                events = book.frame(v, t);
            } else if (what[0] != "unknown") {
                events = book.tick(what[0] == "L" ? DataState::Live : DataState::Stale, t);
            }
            for (const auto &e : events) {
                got << eventText(t, e);
                QCOMPARE(book.raised(e.id), e.raised);
            }
        }
        QTEST(got, "events");
    }

    void settingsFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("good");
        QTest::addColumn<double>("batteryLow");
        QTest::addColumn<bool>("noDataOn");
        QTest::addColumn<QString>("command");
        QTest::newRow("missing keys keep their defaults") << QByteArray("<NoData>90</NoData>") << true << 11.8 << true << "";
        QTest::newRow("a comma is read as the separator")
            << QByteArray("<BatteryLowOn>1</BatteryLowOn><BatteryLow>23,6</BatteryLow><BatteryHigh>29,6</BatteryHigh>")
            << true << 23.6 << true << "";
        QTest::newRow("command with blanks, no data off")
            << QByteArray("<NoDataOn>0</NoDataOn>\r\n<Command>/opt/my alarms/send mail</Command>\r\n") << true << 11.8
            << false << "/opt/my alarms/send mail";
        QTest::newRow("empty") << QByteArray() << false << 0.0 << false << "";
        QTest::newRow("no key at all") << QByteArray("Alarm Settings\r\n\r\n<Colour>red</Colour>") << false << 0.0 << false << "";
        QTest::newRow("binary") << QByteArray("\x00\xff<Batt\x01", 8) << false << 0.0 << false << "";
        QTest::newRow("threshold not a number") << QByteArray("<BatteryLow>eleven</BatteryLow>") << false << 0.0 << false << "";
        QTest::newRow("switch neither 0 nor 1") << QByteArray("<Beep>2</Beep>") << false << 0.0 << false << "";
        QTest::newRow("low above high") << QByteArray("<BatteryLow>15</BatteryLow>") << false << 0.0 << false << "";
        QTest::newRow("negative hold time") << QByteArray("<HoldTime>-1</HoldTime>") << false << 0.0 << false << "";
        QTest::newRow("no command time limit") << QByteArray("<CommandLimit>0</CommandLimit>") << false << 0.0 << false << "";
        QTest::newRow("under-performing days not whole")
            << QByteArray("<UnderPerformingDays>2.5</UnderPerformingDays>") << false << 0.0 << false << "";
        QTest::newRow("under-performing over no days")
            << QByteArray("<UnderPerformingDays>0</UnderPerformingDays>") << false << 0.0 << false << "";
        QTest::newRow("under-performing at 0 %") << QByteArray("<UnderPerforming>0</UnderPerforming>") << false << 0.0
                                                 << false << "";
        QTest::newRow("under-performing written before it existed: its defaults")
            << QByteArray("<BatteryLowOn>1</BatteryLowOn>") << true << 11.8 << true << "";
        QTest::newRow("a turbine's alarm after no time") << QByteArray("<RotorStopped>0</RotorStopped>") << false
                                                         << 0.0 << false << "";
        QTest::newRow("a turbine's alarm after more than a day")
            << QByteArray("<WindImplausible>1441</WindImplausible>") << false << 0.0 << false << "";
    }
    void settingsFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, good);
        const auto s = core::readAlarmSettings(std::string_view(text.constData(), size_t(text.size())));
        QCOMPARE(s.has_value(), good);
        if (!good)
            return;
        QTEST(s->limit(AlarmId::BatteryLow), "batteryLow");
        QTEST(s->isOn(AlarmId::NoData), "noDataOn");
        QTEST(QString::fromStdString(s->command), "command");
        // What is written reads back the same, with "." under a "," locale.
        core::setDecimalSeparator(',');
        const std::string written = core::alarmSettingsText(*s);
        QVERIFY2(written.find(',') == std::string::npos, written.c_str());
        const auto again = core::readAlarmSettings(written);
        QVERIFY(again);
        QCOMPARE(core::alarmSettingsText(*again), written);
    }

    void defaultsOnlyNoData()
    {
        const core::AlarmSettings s;
        for (const AlarmId id : core::kAlarms)
            QCOMPARE(s.isOn(id), id == AlarmId::NoData);
        QVERIFY(core::alarmSettingsProblem(s).empty());
    }

    // A file written before the turbine's alarms came reads as before and is
    // written again line for line, their keys after it.
    void olderFileKeepsItsLines()
    {
        const std::string older = "Alarm Settings\r\n\r\n<BatteryLowOn>1</BatteryLowOn>\r\n<BatteryLow>11.8</BatteryLow>\r\n"
            "<BatteryHighOn>0</BatteryHighOn>\r\n<BatteryHigh>14.8</BatteryHigh>\r\n<OverSpeedOn>0</OverSpeedOn>\r\n"
            "<OverSpeed>800</OverSpeed>\r\n<HighWindOn>0</HighWindOn>\r\n<HighWind>20</HighWind>\r\n"
            "<NoDataOn>1</NoDataOn>\r\n<NoData>60</NoData>\r\n<UnderPerformingOn>0</UnderPerformingOn>\r\n"
            "<UnderPerforming>70</UnderPerforming>\r\n<UnderPerformingDays>7</UnderPerformingDays>\r\n"
            "<HoldTime>10</HoldTime>\r\n<VoltsHysteresis>0.2</VoltsHysteresis>\r\n"
            "<PercentHysteresis>5</PercentHysteresis>\r\n<Beep>0</Beep>\r\n<Command></Command>\r\n"
            "<CommandLimit>30</CommandLimit>\r\n";
        const auto s = core::readAlarmSettings(older + "\r\n");
        QVERIFY(s);
        QCOMPARE(core::alarmSettingsText(*s),
                 older + "<RotorStoppedOn>0</RotorStoppedOn>\r\n<RotorStopped>10</RotorStopped>\r\n"
                         "<NotChargingOn>0</NotChargingOn>\r\n<NotCharging>10</NotCharging>\r\n"
                         "<WindImplausibleOn>0</WindImplausibleOn>\r\n<WindImplausible>180</WindImplausible>\r\n"
                         "<BackupFailedOn>0</BackupFailedOn>\r\n<BackupFailed>1</BackupFailed>\r\n\r\n");
    }

    void backupFailures_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<double>("threshold");
        QTest::addColumn<QList<int>>("failedInARow");
        QTest::addColumn<QString>("events"); // r raised, c cleared, - none, after each
        QTest::newRow("at once") << true << 1.0 << QList<int>{0, 1, 2, 0} << "-r-c";
        QTest::newRow("the third in a row") << true << 3.0 << QList<int>{1, 2, 3, 4, 0, 1} << "--r-c-";
        QTest::newRow("off") << false << 1.0 << QList<int>{1, 2, 0} << "---";
    }
    void backupFailures()
    {
        QFETCH(bool, on);
        QFETCH(double, threshold);
        QFETCH(QList<int>, failedInARow);
        QFETCH(QString, events);
        core::AlarmSettings s;
        s.on[size_t(AlarmId::BackupFailed)] = on;
        s.threshold[size_t(AlarmId::BackupFailed)] = threshold;
        core::AlarmBook book;
        book.setSettings(s, 0);
        QString seen;
        for (const int n : failedInARow) {
            const auto e = book.backups(n);
            seen += e.empty() ? "-" : e[0].raised ? "r" : "c";
        }
        QCOMPARE(seen, events);
    }

    void csvLine()
    {
        core::setDecimalSeparator(',');
        QCOMPARE(core::alarmCsvLine("2026-03-07T14:05:09", {AlarmId::BatteryLow, true, 11.456, 11.8}),
                 std::string("2026-03-07T14:05:09,battery_low,raised,11.46,11.8"));
        QCOMPARE(core::alarmCsvLine("2026-03-07T14:06:00", {AlarmId::NoData, false, 75.9, 60}),
                 std::string("2026-03-07T14:06:00,no_data,cleared,75,60"));
        QCOMPARE(core::alarmCsvLine("2026-03-07T17:05:00", {AlarmId::RotorStopped, true, 180.99, 180}),
                 std::string("2026-03-07T17:05:00,rotor_stopped,raised,180,180"));
        // Read back as written, CR LF or not; anything else is passed over.
        const auto back = core::readAlarmCsvLine("2026-03-07T14:05:09,battery_low,raised,11.46,11.8\r");
        QVERIFY(back && back->time == "2026-03-07T14:05:09" && back->event.id == AlarmId::BatteryLow
                && back->event.raised && back->event.value == 11.46 && back->event.threshold == 11.8);
        for (const char *bad : {"time,alarm,state,value,threshold", "2026-03-07T14:05:09,battery_low,raised,11.4",
                                "2026-03-07T14:05:09,battery_lo,raised,1,2", "2026-03-07 14:05:09,no_data,cleared,1,2",
                                "2026-03-07T14:05:09,no_data,gone,1,2", "2026-03-07T14:05:09,no_data,raised,x,2",
                                "2026-03-07T14:05:09,no_data,raised,1,2,3", ""})
            QVERIFY2(!core::readAlarmCsvLine(bad), bad);
    }

    void statusText_data()
    {
        QTest::addColumn<double>("age");
        QTest::addColumn<QString>("text");
        QTest::newRow("fresh") << 3.0 << "COM1 open, 30 frames/min, 2 rejected";
        QTest::newRow("10 s is not yet told") << 10.0 << "COM1 open, 30 frames/min, 2 rejected";
        QTest::newRow("seconds") << 59.9 << "COM1 open, 30 frames/min, 2 rejected, no data for 59 s";
        QTest::newRow("minutes") << 150.0 << "COM1 open, 30 frames/min, 2 rejected, no data for 2 min";
        QTest::newRow("hours") << 3 * 3600.0 + 301 << "COM1 open, 30 frames/min, 2 rejected, no data for 3 h 5 min";
        QTest::newRow("whole hours") << 7200.0 << "COM1 open, 30 frames/min, 2 rejected, no data for 2 h";
    }
    void statusText()
    {
        QFETCH(double, age);
        QTEST(QString::fromStdString(core::linkStatusText("COM1", "open", 30, 2, age)), "text");
    }

    void counters()
    {
        core::LinkCounters c;
        // Two frames a second for 90 s, every fifth not live.
        for (int i = 0; i < 180; ++i)
            c.frame(i % 5 != 0, 1000 + i * 0.5);
        c.setDropped(3);
        QCOMPARE(c.received(), 180LL);
        QCOMPARE(c.rejected(), 36LL + 3);
        QCOMPARE(c.perMinute(1089.5), 120LL);
        QCOMPARE(c.perMinute(1119.5), 60LL);
        QCOMPARE(c.perMinute(1200), 0LL);
    }
};

QTEST_APPLESS_MAIN(TestAlarms)
#include "tst_alarms.moc"
