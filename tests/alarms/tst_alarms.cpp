// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm command, the Alarms page's refusals, and the alarms in the main
// window on a temporary folder with the fake clock and port.
#include "alarms/AlarmWatch.h"
#include "alarms/AlarmsPage.h"
#include "alarms/Banner.h"
#include "alarms/CommandRunner.h"
#include "editions/Editions.h"
#include "monitor/Logger.h"
#include "support/Processes.h"
#include "support/TestSupport.h"
#include "ui/Options.h"
#include "ui/QtSerialPortControl.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

using testsupport::FakeServices;
using testsupport::ProgramFolder;

namespace {
// 11 V, 13 V and 50 V with the delivered calibration; live (volts and amps).
const QByteArray kLow = "[<V>450.56</V><I>522</I>]";
const QByteArray kGood = "[<V>532.48</V><I>522</I>]";
const QByteArray kFifty = "[<V>2048</V><I>522</I>]";

// Battery low on at 12 V, hold 2 s, no data after 20 s.
const QByteArray kShortAlarms = "<BatteryLowOn>1</BatteryLowOn><BatteryLow>12</BatteryLow>"
                                "<HoldTime>2</HoldTime><NoData>20</NoData>";

QList<QByteArray> lines(const QByteArray &text)
{
    QList<QByteArray> out = text.split('\n');
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

struct Rig {
    explicit Rig(const QByteArray &alarmsCfg = QByteArray(),
                 const monitor::Edition &edition = editions::crestdial(),
                 const QByteArray &prog = testsupport::progCfg())
        : fake(folder.path())
    {
        folder.write("prog.cfg", prog);
        if (!alarmsCfg.isNull())
            folder.write("alarms.cfg", alarmsCfg);
        logger = std::make_unique<monitor::Logger>(fake.services(), edition);
    }
    testsupport::FakeSerialPort *port() { return fake.ports.front(); }
    alarms::AlarmWatch *watch() { return logger->alarmWatch(); }
    // Seconds pass with a frame (when given) and the check each second.
    void run(int seconds, const QByteArray &frame = QByteArray())
    {
        for (int i = 0; i < seconds; ++i) {
            fake.clock.advanceSeconds(1);
            if (!frame.isEmpty())
                port()->feed(frame);
            watch()->tick();
        }
    }
    QColor needleMiddle() { return logger->Picture1[0]->image().pixelColor(86, 50); }
    bool needleGrey()
    {
        const QColor c = needleMiddle();
        return qAbs(c.red() - c.blue()) < 10 && c.lightness() > 110 && c.lightness() < 190;
    }
    ProgramFolder folder;
    FakeServices fake;
    std::unique_ptr<monitor::Logger> logger;
};
} // namespace

class TestAlarmsRoom : public QObject {
    Q_OBJECT
private slots:
    // The runner starts the program itself: no shell splits the program's
    // path or the arguments, or expands what is in them. Each run has a group
    // of its own that the time limit ends whole; its block is stamped when it
    // started and when it ended.
    void command_data()
    {
        QTest::addColumn<QByteArray>("script"); // empty: no such program
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<double>("limit");
        QTest::addColumn<QStringList>("logged");
        const QStringList odd{"battery_low", "it's \"quoted\"", "two  blanks ", "$HOME;`id`|*"};
        QTest::newRow("arguments arrive as given")
            << QByteArray("for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done\n") << odd << 30.0
            << QStringList{"<battery_low>", "<it's \"quoted\">", "<two  blanks >", "<$HOME;`id`|*>", "ended: exit code 0"};
        QTest::newRow("a hanging command is killed")
            << QByteArray("echo waiting\nexec sleep 60\n") << QStringList{"no_data"} << 1.0
            << QStringList{"waiting", "killed after 1 s"};
        // Seen: a script's own sleep outlived the limit and piled up.
        QTest::newRow("what a hanging script started is killed with it")
            << QByteArray("sleep 300 >/dev/null 2>&1 &\necho $! > started.pid\necho waiting\nsleep 60\n")
            << QStringList{"no_data"} << 1.0 << QStringList{"waiting", "killed after 1 s"};
        QTest::newRow("what a finished script left running is ended at the limit")
            << QByteArray("sleep 300 >/dev/null 2>&1 &\necho $! > started.pid\n") << QStringList{"no_data"} << 2.0
            << QStringList{"", "(it left processes running; they are ended when the time limit is up)",
                           "ended: exit code 0"};
        QTest::newRow("a failing command is logged")
            << QByteArray("echo no mail server >&2\nexit 3\n") << QStringList{"x"} << 30.0
            << QStringList{"no mail server", "failed: exit code 3"};
        QTest::newRow("a missing command is logged") << QByteArray() << QStringList{"x"} << 30.0
                                                     << QStringList{"failed: could not start it"};
    }
    void command()
    {
        QFETCH(QByteArray, script);
        QFETCH(QStringList, arguments);
        QFETCH(double, limit);
        QFETCH(QStringList, logged);
        ProgramFolder folder;
        QVERIFY(QDir(folder.path()).mkpath("my alarms"));
        const QString program = folder.file("my alarms/send it.sh");
        if (!script.isEmpty()) {
            folder.write("my alarms/send it.sh", "#!/bin/sh\n" + script);
            QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
        }
        testsupport::FakeClock clock;
        alarms::CommandRunner runner(&clock, folder.file("logs/alarms-command.log"), folder.path());
        QSignalSpy ended(&runner, &alarms::CommandRunner::finished);
        QElapsedTimer t;
        t.start();
        runner.run(program, arguments, limit);
        clock.advanceSeconds(7); // the end is stamped when it came
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
        QVERIFY2(t.elapsed() < 15000, "the time limit was not kept");
        QCOMPARE(runner.running(), 0);
        QCOMPARE(runner.startProblem().isEmpty(), !script.isEmpty());
        const QList<QByteArray> log = lines(folder.read("logs/alarms-command.log"));
        QVERIFY2(log.size() >= 2 && log.first().startsWith("2026-03-07T14:05:09 run " + program.toLocal8Bit()),
                 log.value(0).constData());
        QByteArrayList body;
        for (const QByteArray &l : log.mid(1)) {
            QVERIFY2(l.endsWith('\r'), l.constData());
            body << l.chopped(1);
        }
        // The last line is the end; the lines before it what the command printed.
        const QByteArray end = body.takeLast();
        QVERIFY2(end.startsWith("2026-03-07T14:05:16 " + logged.last().toLocal8Bit()), end.constData());
        QStringList printed;
        for (const QByteArray &l : body)
            printed << QString::fromLocal8Bit(l);
        QCOMPARE(printed, logged.mid(0, logged.size() - 1));
        // Whatever the script started in the background is gone by the limit.
        if (folder.exists("started.pid")) {
            const QByteArray pid = folder.read("started.pid").trimmed();
            const auto gone = [&] {
                QFile stat("/proc/" + pid + "/stat");
                // Gone, or dead and waiting only for its new parent to reap it.
                return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
            };
            QTRY_VERIFY_WITH_TIMEOUT(gone(), 10000);
        }
    }

    // The log stays under its bound with one older generation beside it.
    void commandLogKeptSmall()
    {
        ProgramFolder folder;
        const QByteArray full(alarms::CommandRunner::kMaxLogBytes - 20, 'x');
        folder.write("logs/alarms-command.log", full);
        folder.write("logs/alarms-command.log.1", "the oldest");
        testsupport::FakeClock clock;
        alarms::CommandRunner runner(&clock, folder.file("logs/alarms-command.log"), folder.path());
        QSignalSpy ended(&runner, &alarms::CommandRunner::finished);
        runner.run("true", {}, 30);
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
        QCOMPARE(folder.read("logs/alarms-command.log.1"), full);
        QVERIFY(folder.read("logs/alarms-command.log").startsWith("2026-03-07T14:05:09 run true"));
    }

    // A command that cannot start shows on the status line until one succeeds.
    void commandStartProblemOnTheStatusLine()
    {
        Rig rig(kShortAlarms + "<Command>./my alarm</Command>");
        rig.run(3, kGood);
        rig.run(3, kLow);
        QSignalSpy ended(rig.watch()->runner(), &alarms::CommandRunner::finished);
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
        rig.watch()->tick();
        QVERIFY2(rig.logger->LinkStatus->text().contains(", the alarm command could not be started ("),
                 qPrintable(rig.logger->LinkStatus->text()));
        rig.folder.write("my alarm", "#!/bin/sh\n");
        QFile::setPermissions(rig.folder.file("my alarm"), QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
        rig.run(5, kGood);
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 2, 20000);
        rig.watch()->tick();
        QVERIFY2(!rig.logger->LinkStatus->text().contains("alarm command"),
                 qPrintable(rig.logger->LinkStatus->text()));
    }

    // Nothing is saved unless every value is good.
    void windowRefuses_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message"); // empty: saved
        QTest::newRow("not a number") << "BatteryLow" << "eleven" << "\"eleven\" is not a number (Battery low, volts below). Nothing was saved.";
        QTest::newRow("group separator") << "OverSpeed" << "1,000.5" << "\"1,000.5\" is not a number (Over-speed, RPM above). Nothing was saved.";
        QTest::newRow("empty hold time") << "HoldTime" << "" << "\"\" is not a number (hold time). Nothing was saved.";
        QTest::newRow("low above high") << "BatteryLow" << "15" << "The battery low threshold must be below the battery high threshold. Nothing was saved.";
        QTest::newRow("negative threshold") << "HighWind" << "-3" << "The threshold for High wind must be 0 or more. Nothing was saved.";
        QTest::newRow("no time limit") << "CommandLimit" << "0" << "The command time limit must be between 1 and 86400 seconds. Nothing was saved.";
        QTest::newRow("no such command") << "Command" << "/no/such/alarm" << "The command /no/such/alarm cannot be run: there is no such file. Nothing was saved.";
        QTest::newRow("command not executable") << "Command" << "./prog.cfg" << "The command ./prog.cfg cannot be run: it is not executable. Nothing was saved.";
        QTest::newRow("command not on the PATH") << "Command" << "no-such-alarm-program" << "The command no-such-alarm-program cannot be run: no program of that name is on the PATH. Nothing was saved.";
        QTest::newRow("under-performing days not whole") << "UnderPerformingDays" << "2.5" << "The under-performing days must be a whole number of days. Nothing was saved.";
        QTest::newRow("under-performing over too many days") << "UnderPerformingDays" << "31" << "The under-performing days must be between 1 and 30. Nothing was saved.";
        QTest::newRow("under-performing at 0 %") << "UnderPerforming" << "0" << "The under-performing threshold must be above 0 and at most 200 %. Nothing was saved.";
        QTest::newRow("a comma is a separator") << "BatteryLow" << "11,5" << "";
    }
    void windowRefuses()
    {
        QFETCH(QString, entry);
        QFETCH(QString, text);
        QFETCH(QString, message);
        Rig rig;
        int result = -1;
        rig.fake.modal.onRun = [&](QDialog *d) {
            auto *options = qobject_cast<ui::Options *>(d);
            QVERIFY(options);
            auto *w = options->page<alarms::AlarmsPage>();
            QVERIFY(w);
            w->findChild<QLineEdit *>(entry)->setText(text);
            w->findChild<QCheckBox *>("BatteryLowOn")->setChecked(true);
            options->Save_Click();
            result = options->result();
        };
        rig.logger->OptionsButton->click();
        QCOMPARE(rig.fake.modal.runs, 1);
        if (!message.isEmpty()) {
            QCOMPARE(rig.fake.messages.texts.join(" // "), message);
            QCOMPARE(result, int(QDialog::Rejected));
            QVERIFY(!rig.folder.exists("alarms.cfg"));
            QVERIFY(!rig.watch()->settings().isOn(core::AlarmId::BatteryLow));
            return;
        }
        QVERIFY(rig.fake.messages.texts.isEmpty());
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(rig.folder.read("alarms.cfg").contains("<BatteryLow>11.5</BatteryLow>\r\n"));
        // The main window works with what was saved.
        QVERIFY(rig.watch()->settings().isOn(core::AlarmId::BatteryLow));
        QCOMPARE(rig.watch()->settings().limit(core::AlarmId::BatteryLow), 11.5);
    }

    // A falling battery raises, its recovery clears; the banner, alarms.csv
    // and the status line show it.
    void raiseAndClearInTheMainWindow_data()
    {
        QTest::addColumn<bool>("column");
        QTest::newRow("crestdial") << false;
        QTest::newRow("flankdial") << true;
    }
    void raiseAndClearInTheMainWindow()
    {
        QFETCH(bool, column);
        Rig rig(kShortAlarms, column ? editions::flankdial() : editions::crestdial());
        QLabel *banner = rig.logger->AlarmBanner;
        rig.run(3, kGood);
        QVERIFY(banner->isHidden());
        rig.run(1, kLow);
        QVERIFY(banner->isHidden()); // not yet held long enough
        rig.run(2, kLow);
        QVERIFY(!banner->isHidden());
        QCOMPARE(banner->text(), QString("Battery low: 11 V since 14:05:15"));
        rig.run(5, kGood);
        QVERIFY(banner->isHidden());
        const QList<QByteArray> csv = lines(rig.folder.read("logs/alarms.csv"));
        QCOMPARE(csv, (QList<QByteArray>{"time,alarm,state,value,threshold\r",
                                         "2026-03-07T14:05:15,battery_low,raised,11,12\r",
                                         "2026-03-07T14:05:18,battery_low,cleared,13,12\r"}));
        QCOMPARE(rig.logger->LinkStatus->text(), QString("COM1 open, 11 frames/min, 0 rejected"));
        QVERIFY(rig.fake.messages.texts.isEmpty());
    }

    // Short alarms share a line of crestdial's wide banner; flankdial's grows
    // upwards, a line an alarm.
    void bannerLines_data()
    {
        QTest::addColumn<bool>("column");
        QTest::addColumn<int>("lines");
        QTest::newRow("crestdial") << false << 1;
        QTest::newRow("flankdial") << true << 2;
    }
    void bannerLines()
    {
        QFETCH(bool, column);
        QFETCH(int, lines);
        Rig rig(kShortAlarms, column ? editions::flankdial() : editions::crestdial());
        alarms::showBanner(rig.logger->AlarmBanner,
                           {{"Battery low: 11 V since 14:05:15", "Battery low: 11 V", "Battery low"},
                            {"No data: 7 s since 14:05:20", "No data: 7 s", "No data"}});
        QCOMPARE(rig.logger->AlarmBanner->text().split('\n').size(), lines);
    }

    // Every alarm raised at once, with long values, a long unit and dates of
    // the day before: each one is shown whole (in full, or shortened to
    // "title: value" or the title), the lines fit the banner, and the tool tip
    // holds every full text.
    void everyAlarmReadable_data()
    {
        QTest::addColumn<bool>("column");
        QTest::newRow("crestdial") << false;
        QTest::newRow("flankdial") << true;
    }
    void everyAlarmReadable()
    {
        QFETCH(bool, column);
        // The battery low alarm clears only 50 V above its threshold, so it
        // stays raised beside battery high.
        Rig rig("<BatteryLowOn>1</BatteryLowOn><BatteryLow>12</BatteryLow><BatteryHighOn>1</BatteryHighOn>"
                "<BatteryHigh>13</BatteryHigh><OverSpeedOn>1</OverSpeedOn><OverSpeed>100</OverSpeed>"
                "<HighWindOn>1</HighWindOn><HighWind>1</HighWind><HoldTime>2</HoldTime><NoData>20</NoData>"
                "<VoltsHysteresis>50</VoltsHysteresis><UnderPerformingOn>1</UnderPerformingOn>"
                "<RotorStoppedOn>1</RotorStoppedOn><RotorStopped>1</RotorStopped><NotChargingOn>1</NotChargingOn>"
                "<NotCharging>1</NotCharging><WindImplausibleOn>1</WindImplausibleOn><WindImplausible>1</WindImplausible>",
                column ? editions::flankdial() : editions::crestdial(),
                testsupport::progCfg("1", "0", "0", "60", "0", "1", "1", "knots"));
        rig.fake.clock.set(QDateTime(QDate(2026, 3, 7), QTime(23, 50)));
        rig.watch()->setTurbine(core::AvailabilityRules());
        rig.run(3, "[<V>459.9808</V><I>522</I>]");                               // 11.23 V
        rig.run(3, "[<V>588.5952</V><I>522</I><R>4115.389</R><S>19753.87</S>]"); // 14.37 V
        // A minute of a rotor that turns and stops by turns, no current and
        // the wind at 10 knots all along: the turbine's three alarms.
        for (int i = 0; i < 31; ++i) {
            rig.run(1, "[<V>588.5952</V><I>0</I><R>4115.389</R><S>16</S>]");
            rig.run(1, "[<V>588.5952</V><I>0</I><R>0</R><S>16</S>]");
        }
        rig.port()->loseLink();
        rig.fake.clock.advanceSeconds(23 * 3600 + 50 * 60);
        rig.run(2);
        // A week of windy days at 65.4 % of the certified curve's energy.
        std::map<int, core::PerformanceSums> days;
        for (int d = 1; d <= 7; ++d)
            days[20260300 + d] = {65.4, 100, 600, 600};
        rig.watch()->setPerformance(days, 20260308);
        QLabel *banner = rig.logger->AlarmBanner;
        QVERIFY(!banner->isHidden());
        const QStringList full = banner->toolTip().split('\n');
        const QStringList titles{"Battery low", "Battery high", "Over-speed", "High wind", "No data",
                                 "Under-performing", "Rotor stopped in wind", "Turning but not charging",
                                 "Wind sensor implausible"};
        QCOMPARE(full.size(), titles.size());
        const QStringList patterns{
            // the latest value, as before
            "Battery low: 14.37 V since 2026-03-07 23:50", "Battery high: 14.37 V since 2026-03-07 23:50",
            "Over-speed: 0 RPM since 2026-03-07 23:50", "High wind: 10 knots since 2026-03-07 23:50",
            "No data: 23 h 50 min since 23:4", "Under-performing: 65.4 % since 23:4",
            // held while no data came
            "Rotor stopped in wind: 1 min since 2026-03-07 23:51", "Turning but not charging: 1 min since 2026-03-07 23:51",
            "Wind sensor implausible: 1 min since 2026-03-07 23:51"};
        for (int i = 0; i < full.size(); ++i)
            QVERIFY2(full[i].startsWith(patterns[i]), qPrintable(full[i]));

        const QStringList lines = banner->text().split('\n');
        QStringList parts;
        for (const QString &line : lines)
            parts << line.split("   ");
        QCOMPARE(parts.size(), titles.size());
        for (int i = 0; i < parts.size(); ++i)
            QVERIFY2(parts[i] == full[i] || parts[i] == titles[i]
                         || (parts[i].startsWith(titles[i] + ": ") && full[i].startsWith(parts[i] + " since ")),
                     qPrintable(parts[i]));
        const QFontMetrics fm(banner->font());
        const QRect room = banner->contentsRect().adjusted(banner->indent(), 0, -banner->indent(), 0);
        for (const QString &line : lines)
            QVERIFY2(fm.horizontalAdvance(line) <= room.width(), qPrintable(line));
        QVERIFY(int(lines.size()) * fm.lineSpacing() <= room.height());
        QVERIFY(QRect(QPoint(), rig.logger->size()).contains(banner->geometry()));
    }

    // Stale data draws the needles grey; the next live frame black again;
    // paused data leaves them. Unplugged, "no data" is raised.
    void staleNeedlesAndNoData()
    {
        Rig rig(kShortAlarms);
        rig.port()->feed(kFifty);
        rig.watch()->tick();
        QVERIFY2(rig.needleMiddle().lightness() < 60, qPrintable(rig.needleMiddle().name()));
        rig.port()->loseLink();
        rig.run(14);
        QVERIFY(rig.needleMiddle().lightness() < 60);
        QVERIFY(rig.logger->LinkStatus->text().endsWith(", no data for 14 s"));
        rig.run(1);
        QVERIFY2(rig.needleGrey(), qPrintable(rig.needleMiddle().name()));
        QVERIFY(rig.logger->AlarmBanner->isHidden());
        rig.run(5);
        QCOMPARE(rig.logger->AlarmBanner->text(), QString("No data: 20 s since 14:05:29"));
        QVERIFY(lines(rig.folder.read("logs/alarms.csv"))
                    .value(1)
                    .startsWith("2026-03-07T14:05:29,no_data,raised,20,20"));
        // Paused: nothing changes.
        rig.logger->link()->pause();
        rig.run(30);
        QVERIFY(rig.needleGrey());
        QVERIFY(!rig.logger->AlarmBanner->isHidden());
        QVERIFY(rig.logger->LinkStatus->text().startsWith("COM1 paused"));
        // Back: the first live frame clears it and draws the needles black.
        QVERIFY(rig.logger->link()->reopen());
        rig.port()->feed(kFifty);
        QVERIFY(rig.needleMiddle().lightness() < 60);
        rig.watch()->tick();
        QVERIFY(rig.logger->AlarmBanner->isHidden());
        QCOMPARE(lines(rig.folder.read("logs/alarms.csv")).size(), 3);
    }

    // The status line names the device when the system's port stood in for a
    // missing COM entry, and its tool tip says the same.
    void statusNamesTheDevice_data()
    {
        QTest::addColumn<bool>("entry");
        QTest::addColumn<QString>("expected"); // %1: the device
        QTest::newRow("COM1 entry") << true << "COM1 open, 0 frames/min, 0 rejected";
        QTest::newRow("no entry") << false
                                  << "port 1 (%1, no COM1 entry in the folder) open, 0 frames/min, 0 rejected";
    }
    void statusNamesTheDevice()
    {
        QFETCH(bool, entry);
        QFETCH(QString, expected);
        ProgramFolder folder;
        folder.write("prog.cfg", testsupport::progCfg());
        QTemporaryDir devices;
        const QString link = entry ? folder.file("COM1") : devices.filePath("ttyS0");
        testsupport::Pty unit(link);
        QVERIFY(unit.ok());
        const QString device = QFileInfo(link).canonicalFilePath();
        FakeServices fake(folder.path());
        ui::Services services = fake.services();
        // The real port; the system's device for port 1 is the terminal.
        services.makePort = [&] {
            return std::unique_ptr<ui::SerialPort>(
                new ui::QtSerialPortControl(folder.path(), nullptr, [device](int) { return device; }));
        };
        monitor::Logger logger(services, editions::crestdial());
        logger.alarmWatch()->tick();
        QCOMPARE(logger.LinkStatus->text(), entry ? expected : expected.arg(device));
        QVERIFY2(logger.LinkStatus->toolTip().startsWith(logger.LinkStatus->text()),
                 qPrintable(logger.LinkStatus->toolTip()));
        QCOMPARE(logger.LinkStatus->toolTip().contains("no COM1 entry, so port 1 is " + device), !entry);
        QVERIFY(fake.messages.texts.isEmpty());
    }

    // Frames rejected: not live, or cut off by the frame buffer's bound.
    void rejectedFramesCounted()
    {
        Rig rig;
        rig.port()->feed(kGood + "[<V>5x</V><I>1</I>]" + kGood + "[<V>1" + QByteArray(5000, 'j'));
        rig.port()->feed(kGood);
        rig.watch()->tick();
        QCOMPARE(rig.watch()->counters().received(), 4LL);
        QCOMPARE(rig.logger->LinkStatus->text(), QString("COM1 open, 4 frames/min, 2 rejected"));
        rig.logger->close();
        const QList<QByteArray> csv = lines(rig.folder.read("logs/energy.csv"));
        QVERIFY2(csv.value(1).endsWith(",4,2\r"), csv.value(1).constData());
    }

    // A damaged alarms.cfg: one message, kept aside, the defaults.
    void damagedSettings()
    {
        Rig rig("<BatteryLow>eleven</BatteryLow>");
        QCOMPARE(rig.fake.messages.texts.size(), 1);
        QVERIFY2(rig.fake.messages.texts.front().contains("alarms.cfg are damaged"),
                 qPrintable(rig.fake.messages.texts.front()));
        QCOMPARE(rig.folder.read("alarms.cfg.bad"), QByteArray("<BatteryLow>eleven</BatteryLow>"));
        QVERIFY(!rig.folder.exists("alarms.cfg"));
        QVERIFY(rig.watch()->settings().isOn(core::AlarmId::NoData));
        QVERIFY(!rig.watch()->settings().isOn(core::AlarmId::BatteryLow));
    }
};

QTEST_MAIN(TestAlarmsRoom)
#include "tst_alarms.moc"
