// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on a temporary program folder with a fake clock, fake
// port, recorded messages and scripted modal windows.
#include "alarms/AlarmWatch.h"
#include "config/ProgramSetup.h"
#include "editions/Editions.h"
#include "monitor/Logger.h"
#include "support/TestSupport.h"

#include <QtTest>
#include <sys/stat.h>

using monitor::Logger;
using testsupport::FakeServices;
using testsupport::ProgramFolder;

namespace {
struct Rig {
    explicit Rig(const QByteArray &prog = testsupport::progCfg(), bool failOpen = false,
                 const monitor::Edition &edition = editions::crestdial())
        : fake(folder.path())
    {
        folder.write("prog.cfg", prog);
        fake.failOpen = failOpen;
        logger = std::make_unique<Logger>(fake.services(), edition);
    }
    testsupport::FakeSerialPort *port() { return fake.ports.front(); }
    QStringList rows() const
    {
        QStringList out;
        for (int r = 0; r < logger->ListView1->rowCount(); ++r)
            out << logger->ListView1->text(r, 1) + " " + logger->ListView1->text(r, 2);
        return out;
    }
    ProgramFolder folder;
    FakeServices fake;
    std::unique_ptr<Logger> logger;
};
} // namespace

class TestLogger : public QObject {
    Q_OBJECT
private slots:
    void startsWaitingWithThePortOpen()
    {
        Rig rig;
        QCOMPARE(rig.logger->windowTitle(), QString("Veldra - Waiting for Signal"));
        QVERIFY(rig.port()->isOpen());
        QCOMPARE(rig.port()->portNumber(), 1);
        QCOMPARE(rig.port()->settings(), QString("4800,N,8,1"));
        QCOMPARE(rig.fake.messages.texts, QStringList());
        QVERIFY(!rig.logger->StopLogging->isEnabled());
        QVERIFY(!rig.logger->Timer1->isActive());
        QVERIFY(rig.logger->Timer3->isActive());
        QCOMPARE(rig.logger->Timer3->interval(), 5000);
    }

    void readoutList_data()
    {
        QTest::addColumn<QString>("rpm");
        QTest::addColumn<QString>("ws");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<double>("points");
        const QStringList four{"0.0 Volts", "0.0 Amps", "0.0 Watts", "0.0 WattHours"};
        QTest::newRow("neither") << "0" << "0" << four << 24.0;
        QTest::newRow("rpm") << "1" << "0" << (four + QStringList{"0.0 RPM"}) << 20.0;
        QTest::newRow("wind, units with blanks") << "0" << "1.0" << (four + QStringList{"0.0  km/h "}) << 20.0;
        QTest::newRow("both") << " 1" << "1" << (four + QStringList{"0.0 RPM", "0.0  km/h "}) << 18.0;
    }
    void readoutList()
    {
        QFETCH(QString, rpm);
        QFETCH(QString, ws);
        QFETCH(QStringList, rows);
        QFETCH(double, points);
        Rig rig(testsupport::progCfg("1", "0", "0", "60", "0", rpm, ws, " km/h "));
        QCOMPARE(rig.rows(), rows);
        QCOMPARE(rig.logger->ListView1->font().pointSizeF(), points);
        QCOMPARE(rig.logger->ListView1->font().family(), QString("Arial"));
        QCOMPARE(rig.logger->ListView1->columnCount(), 3);
        QCOMPARE(rig.logger->ListView1->columnWidthTwips(2), 2600);
    }

    void logOnStartsLogging_data()
    {
        QTest::addColumn<QString>("logDelay");
        QTest::addColumn<bool>("logging");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("period");
        QTest::newRow("5 becomes 10") << "5" << true << "10" << 10000;
        QTest::newRow("900 becomes 600") << "900" << true << "600" << 600000;
        QTest::newRow("12.5 stays") << "12.5" << true << "12.5" << 12500;
        QTest::newRow("not a number") << "abc" << false << "abc" << 0;
    }
    void logOnStartsLogging()
    {
        QFETCH(QString, logDelay);
        QFETCH(bool, logging);
        QFETCH(QString, shown);
        QFETCH(int, period);
        Rig rig(testsupport::progCfg("1", "0", "0", logDelay, "1"));
        QCOMPARE(rig.logger->Timer1->isActive(), logging);
        QCOMPARE(rig.logger->delay->text(), shown);
        QCOMPARE(rig.logger->StartLogging->isEnabled(), !logging);
        QCOMPARE(rig.logger->StopLogging->isEnabled(), logging);
        if (logging)
            QCOMPARE(rig.logger->Timer1->interval(), period);
        QVERIFY(rig.fake.messages.texts.isEmpty());
    }

    void failedPortGoesThroughSetup()
    {
        ProgramFolder folder;
        folder.write("prog.cfg", testsupport::progCfg(" 3 "));
        FakeServices fake(folder.path());
        fake.failOpen = true;
        fake.modal.onRun = [&](QDialog *d) {
            auto *setup = qobject_cast<config::ProgramSetup *>(d);
            QVERIFY(setup);
            QCOMPARE(setup->PortNumber->text(), QString(" 3 "));
            setup->PortNumber->setText("2");
            fake.ports.front()->setFailOpen(false);
            setup->Command1_Click();
        };
        Logger logger(fake.services(), editions::crestdial());
        QCOMPARE(
            fake.messages.texts,
            QStringList{
                "Error opening port  3 , Click OK to open the Program Setup page, and select another com port."});
        QCOMPARE(fake.modal.runs, 1);
        QVERIFY(fake.ports.front()->isOpen());
        QCOMPARE(fake.ports.front()->portNumber(), 2);
    }

    void secondFailureIsSilent()
    {
        Rig rig(testsupport::progCfg("abc"), true);
        QCOMPARE(rig.fake.messages.texts.size(), 1);
        QVERIFY(rig.fake.messages.texts.front().startsWith("Error opening port abc, Click OK"));
        QCOMPARE(rig.fake.modal.runs, 1);
        QVERIFY(!rig.port()->isOpen());
        QCOMPARE(rig.logger->windowTitle(), QString("Veldra - Waiting for Signal"));
    }

    void unreadablePortNumberOpensNothing()
    {
        // The port number cannot be read: no port is opened on the old number,
        // and the port chosen in the setup window opens.
        ProgramFolder folder;
        folder.write("prog.cfg", testsupport::progCfg("99999"));
        FakeServices fake(folder.path());
        bool openDuringSetup = true;
        fake.modal.onRun = [&](QDialog *d) {
            openDuringSetup = fake.ports.front()->isOpen();
            auto *setup = qobject_cast<config::ProgramSetup *>(d);
            setup->PortNumber->setText("3");
            setup->Command1_Click();
        };
        Logger logger(fake.services(), editions::crestdial());
        QVERIFY(!openDuringSetup);
        QCOMPARE(fake.messages.texts.size(), 1);
        QVERIFY(fake.ports.front()->isOpen());
        QCOMPARE(fake.ports.front()->openedPorts(), QList<int>{3});
    }

    void brokenSettingsFilesAreRepaired()
    {
        ProgramFolder folder;
        QFile::remove(folder.file("prog.cfg"));
        folder.write("settings.cfg", "Calibration Settings\r\n<VoltDivider>20</VoltDivider>");
        FakeServices fake(folder.path());
        Logger logger(fake.services(), editions::crestdial());
        QCOMPARE(fake.messages.texts.size(), 2);
        QVERIFY(fake.messages.texts[0].contains("prog.cfg"));
        QVERIFY(fake.messages.texts[1].contains("VoltOffset, AmpDivider, RPMDivider, WSDivider"));
        // A fresh prog.cfg was written; the user's settings.cfg was not touched.
        QVERIFY(folder.read("prog.cfg").startsWith("Program Config File\r\n"));
        QCOMPARE(folder.read("settings.cfg"), QByteArray("Calibration Settings\r\n<VoltDivider>20</VoltDivider>"));
        QCOMPARE(logger.calibration().VoltDivider, std::string("20"));
        // Told once per run, not at every reload.
        logger.LoadSettings();
        QCOMPARE(fake.messages.texts.size(), 2);
    }

    // Such a file may hold the user's calibration: it was once taken as
    // missing and written over with the defaults.
    void unreadableSettingsAreKept_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("settings.cfg without read permission") << "settings.cfg" << "locked" << "Permission denied";
        QTest::newRow("settings.cfg a folder") << "settings.cfg" << "folder" << "it is a folder";
#ifndef Q_OS_WIN
        QTest::newRow("prog.cfg a pipe") << "prog.cfg" << "pipe" << "it is not a regular file";
#endif
    }
    void unreadableSettingsAreKept()
    {
        QFETCH(QString, file);
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        ProgramFolder folder;
        const QString path = folder.file(file);
        const QByteArray calibration = "<VoltDivider>39.5</VoltDivider>";
        QVERIFY(QFile::remove(path));
        if (kind == "locked") {
            folder.write(file, calibration);
            QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
            if (QFile probe(path); probe.open(QIODevice::ReadOnly))
                QSKIP("this user can read any file");
        } else if (kind == "folder") {
            QVERIFY(QDir(folder.path()).mkdir(file));
        } else {
#ifndef Q_OS_WIN
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
        }
        FakeServices fake(folder.path());
        Logger logger(fake.services(), editions::crestdial());

        QVERIFY2(fake.messages.texts.size() == 1, qPrintable(fake.messages.texts.join('|')));
        const QString text = fake.messages.texts[0];
        QVERIFY2(text.contains(QDir::toNativeSeparators(path)) && text.contains(reason)
                     && !text.contains("written"),
                 qPrintable(text));
        QCOMPARE(logger.calibration().VoltDivider, core::defaultCalibrationSettings().VoltDivider);
        QCOMPARE(logger.settings().Port, core::defaultProgramSettings().Port);
        // Told once per run.
        logger.LoadSettings();
        QCOMPARE(fake.messages.texts.size(), 1);
        const QFileInfo info(path);
        if (kind == "locked") {
            QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
            QCOMPARE(folder.read(file), calibration);
        } else {
            QVERIFY(info.exists() && !info.isFile());
        }
    }

    void dividerThatIsNotANumberToldOnce()
    {
        Rig rig;
        rig.folder.write("settings.cfg",
                         "<VoltDivider>40;96</VoltDivider><VoltOffset>512</VoltOffset>"
                         "<AmpDivider>10,0</AmpDivider><RPMDivider>2</RPMDivider><WSDivider></WSDivider>");
        rig.logger->LoadSettings();
        QCOMPARE(rig.fake.messages.texts.size(), 1);
        QVERIFY2(rig.fake.messages.texts[0].contains(QDir::toNativeSeparators(rig.folder.file("settings.cfg")))
                     && rig.fake.messages.texts[0].contains(": VoltDivider, WSDivider."),
                 qPrintable(rig.fake.messages.texts[0]));
        rig.logger->LoadSettings();
        QCOMPARE(rig.fake.messages.texts.size(), 1);
        // The readable values are used, "10,0" among them.
        rig.port()->feed("[<V>512</V><I>537</I>]");
        QCOMPARE(rig.logger->reading().Amps, 2.5);
        QCOMPARE(rig.logger->reading().Volts, 0.0);
    }

    void framesReachListTitleAndMeters()
    {
        Rig rig;
        rig.folder.write("settings.cfg",
                         "<VoltDivider>40.96</VoltDivider><VoltOffset>512</VoltOffset>"
                         "<AmpDivider>10</AmpDivider><RPMDivider>4</RPMDivider><WSDivider>1.6</WSDivider>");
        rig.logger->LoadSettings();
        rig.port()->feed("junk[<V>512</V><I>53");
        QCOMPARE(rig.logger->windowTitle(), QString("Veldra - Waiting for Signal"));
        rig.port()->feed("7</I><R>10</R><M>1</M><S>8</S>]");
        QCOMPARE(rig.logger->windowTitle(), QString("Logger  12.5 V  2.5 A  31.25 W  150 RPM  5 WIND "));
        QCOMPARE(rig.rows(),
                 (QStringList{"12.5 Volts", "2.5 Amps", "31.25 Watts", "0 WattHours", "150 RPM", "5 mph"}));
        QCOMPARE(rig.logger->txtMode->text(), QString("On Load"));
        QCOMPARE(rig.logger->Label5[0]->text(), QString("12"));
        QCOMPARE(rig.logger->Label5[2]->text(), QString("31"));
        QCOMPARE(rig.logger->Label5[4]->text(), QString("150"));
        QCOMPARE(rig.logger->BlinkData->backColour(), QColor(255, 0, 0));
        QVERIFY(rig.logger->Timer2->isActive());
        rig.logger->Timer2_Timer();
        QCOMPARE(rig.logger->BlinkData->backColour(), ui::LampButton::buttonFace());

        rig.port()->feed("[<V>552.96</V><M>0</M>]");
        QCOMPARE(rig.logger->txtMode->text(), QString());
        QCOMPARE(rig.logger->Label5[0]->text(), QString("14")); // 13.5 to even
    }

    void titleRunsWithoutWindDisplay()
    {
        // The title and the meters follow every frame, whatever the wind row.
        Rig rig(testsupport::progCfg("1", "0", "0", "60", "0", "0", "0"));
        rig.port()->feed("[<V>512</V><I>512</I><R>0</R><S>0</S><M>0</M>]");
        QCOMPARE(rig.logger->windowTitle(), QString("Logger  12.5 V  0 A  0 W  0 RPM  0 WIND "));
        QCOMPARE(rig.rows().size(), 4);
    }

    void metersRedrawOnlyOnChange()
    {
        Rig rig;
        ui::Canvas *volts = rig.logger->Picture1[0];
        ui::Canvas *amps = rig.logger->Picture1[1];
        const int voltsClears = volts->clearCount(), ampsClears = amps->clearCount();
        // 0 -> 12: one drawing; amps stay 0: none.
        rig.port()->feed("[<V>512</V><I>512</I>]");
        QCOMPARE(volts->clearCount(), voltsClears + 1);
        QCOMPARE(amps->clearCount(), ampsClears);
        // 12 -> 12 passes through 0: two drawings.
        rig.port()->feed("[<V>512</V><I>512</I>]");
        QCOMPARE(volts->clearCount(), voltsClears + 3);
        // Setting a holder to the value it has raises nothing.
        const QString before = rig.logger->Label5[0]->text();
        rig.logger->Label5[0]->setText("x");
        rig.logger->VScroll1[0]->setValue(12);
        QCOMPARE(rig.logger->Label5[0]->text(), QString("x"));
        Q_UNUSED(before);
        // A negative current clamps to 0, the list keeps the true value.
        rig.port()->feed("[<V>512</V><I>400</I>]");
        QCOMPARE(rig.logger->VScroll1[1]->value(), 0);
        QCOMPARE(rig.logger->ListView1->text(1, 1), QString("-11.2"));
    }

    void needleIsDrawnOnTheDial()
    {
        Rig rig;
        rig.port()->feed("[<V>2048</V>]"); // 50 V: straight up
        const QImage img = rig.logger->Picture1[0]->image();
        // Halfway along the vertical needle (x = 1290 twips = 86 px) is black.
        const QColor mid = img.pixelColor(86, 50);
        QVERIFY2(mid.lightness() < 60, qPrintable(mid.name()));
        // The same spot with the needle at 0 is the light dial face.
        rig.port()->feed("[<V>0</V>]");
        QVERIFY(rig.logger->Picture1[0]->image().pixelColor(86, 50).lightness() > 150);
    }

    void maximaRiseOnlyWhileLogging()
    {
        Rig rig;
        rig.port()->feed("[<V>4096</V><I>1000</I>]");
        QCOMPARE(rig.logger->maxima().MaxVolts, 0.0);
        rig.logger->StartLogging_Click();
        rig.port()->feed("[<V>512</V><I>537</I>]");
        rig.port()->feed("[<V>507.9</V><I>537</I>]");
        QCOMPARE(rig.logger->maxima().MaxVolts, 12.5);
        QCOMPARE(rig.logger->maxima().MaxAmps, 2.5);
    }

    void startAndStop_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("started");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("period");
        QTest::newRow("700") << "700" << true << "600" << 600000;
        QTest::newRow("5") << "5" << true << "10" << 10000;
        QTest::newRow("0") << "0" << true << "10" << 10000;
        QTest::newRow("-3") << "-3" << true << "10" << 10000;
        QTest::newRow("12.5") << "12.5" << true << "12.5" << 12500;
        QTest::newRow("abc") << "abc" << false << "abc" << 0;
        QTest::newRow("empty") << "" << false << "" << 0;
    }
    void startAndStop()
    {
        QFETCH(QString, text);
        QFETCH(bool, started);
        QFETCH(QString, shown);
        QFETCH(int, period);
        Rig rig;
        // Maxima left from an earlier run of the tick.
        rig.logger->Timer1->start();
        rig.logger->ProcessFrame("[<V>512</V>]");
        rig.logger->Timer1->stop();
        QCOMPARE(rig.logger->maxima().MaxVolts, 12.5);
        rig.logger->delay->setText(text);
        rig.logger->StartLogging_Click();
        QCOMPARE(rig.logger->Timer1->isActive(), started);
        QCOMPARE(rig.logger->delay->text(), shown);
        QCOMPARE(rig.logger->delay->isEnabled(), !started);
        if (started) {
            QCOMPARE(rig.logger->Timer1->interval(), period);
            QCOMPARE(rig.logger->maxima().MaxVolts, 0.0);
            QVERIFY(rig.fake.messages.texts.isEmpty());
            rig.logger->StopLogging_Click();
            QVERIFY(!rig.logger->Timer1->isActive());
            QVERIFY(rig.logger->StartLogging->isEnabled());
            QVERIFY(!rig.logger->StopLogging->isEnabled());
            QVERIFY(rig.logger->delay->isEnabled());
        } else {
            QCOMPARE(rig.fake.messages.texts,
                     QStringList{"Invalid delay period, needs to be a number between 10 and 600"});
            QCOMPARE(rig.logger->maxima().MaxVolts, 12.5);
        }
    }

    void tickWritesTheRecordAndResets()
    {
        Rig rig;
        rig.fake.clock.set(QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9)));
        rig.logger->StartLogging_Click();
        rig.port()->feed("[<V>550.9</V><I>533</I><R>20.8</R><S>7.2</S><M>1</M>]");
        rig.logger->Timer1_Timer();
        QCOMPARE(rig.folder.read("logs/2026_3_7.txt"),
                 QByteArray("<V>13.45</V><I>2.1</I><W>28.24</W><R>624</R><S>4.5</S><M>1</M><T>14:05</T>\r\n"));
        QCOMPARE(rig.logger->maxima().MaxVolts, 0.0);
        QCOMPARE(rig.logger->BlinkLog->backColour(), QColor(255, 0, 0));
        // No frames in the next interval: zeros with the last mode.
        rig.logger->Timer1_Timer();
        QVERIFY(rig.folder.read("logs/2026_3_7.txt")
                    .endsWith("<V>0</V><I>0</I><W>0</W><R>0</R><S>0</S><M>1</M><T>14:05</T>\r\n"));
    }

    // The totals are taken up at start-up, today's line agrees with them at
    // once, and both are written back at exit; a damaged state file is told
    // once and kept aside under a free name. Today is 2026-03-07.
    void energySurvivesARestart_data()
    {
        QTest::addColumn<QByteArray>("state");
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<double>("restored");
        QTest::addColumn<double>("lifetime");
        QTest::addColumn<QString>("told"); // in the one message, "" for none
        QTest::addColumn<QString>("keptAs");
        const QByteArray header = QByteArray(core::energyCsvHeader().data()) + "\r\n";
        const QByteArray days = header + "2026-03-06,700,0,,,mph,,,,0,0,,\r\n2026-03-07,3000,0,90,,mph,,,,0,0,,\r\n";
        const QByteArray damaged = "<Date>2026-03-07</Date><Today>12";
        QTest::newRow("same day") << QByteArray("<Date>2026-03-07</Date><Today>120.5</Today><Yesterday>3</Yesterday><Lifetime>5000</Lifetime>") << QByteArray() << 120.5 << 5000.0 << "" << "";
        QTest::newRow("missing") << QByteArray() << QByteArray() << 0.0 << 0.0 << "" << "";
        QTest::newRow("damaged") << damaged << QByteArray() << 0.0 << 0.0 << "start again from 0" << "energy.cfg.bad";
        // Rows that reproduce lost records.
        QTest::newRow("a second damage keeps the first copy")
            << damaged << QByteArray() << 0.0 << 0.0 << "energy.cfg-2.bad" << "energy.cfg-2.bad";
        QTest::newRow("killed: today's line behind the state")
            << QByteArray("<Date>2026-03-07</Date><Today>120.5</Today><Yesterday>3</Yesterday><Lifetime>5000</Lifetime>")
            << header + "2026-03-07,100,0,90,,mph,,,,0,0,,\r\n" << 120.5 << 5000.0 << "" << "";
        QTest::newRow("clock set back at start-up")
            << QByteArray("<Date>2026-03-08</Date><Today>10</Today><Yesterday>3</Yesterday><Lifetime>5000</Lifetime>")
            << days << 3000.0 << 5000.0 << "" << "";
        QTest::newRow("missing, energy.csv present") << QByteArray() << days << 3000.0 << 3700.0 << "rebuilt" << "";
        QTest::newRow("damaged, energy.csv present") << damaged << days << 3000.0 << 3700.0 << "(3.7 kWh" << "energy.cfg.bad";
    }
    void energySurvivesARestart()
    {
        QFETCH(QByteArray, state);
        QFETCH(QByteArray, csv);
        QFETCH(double, restored);
        QFETCH(double, lifetime);
        QFETCH(QString, told);
        QFETCH(QString, keptAs);
        ProgramFolder folder;
        if (!state.isEmpty())
            folder.write("energy.cfg", state);
        if (!csv.isEmpty())
            folder.write("logs/energy.csv", csv);
        if (keptAs.contains("-2"))
            folder.write("energy.cfg.bad", "older");
        FakeServices fake(folder.path());
        folder.write("prog.cfg", testsupport::progCfg());
        const auto todayLine = [&folder] {
            for (const auto &d : core::readEnergyCsv(folder.read("logs/energy.csv").toStdString()))
                if (d.date == core::CivilDate{2026, 3, 7})
                    return d;
            return core::DayRecord();
        };
        {
            Logger logger(fake.services(), editions::crestdial());
            QCOMPARE(logger.WattHours(), restored);
            QCOMPARE(fake.messages.texts.size(), told.isEmpty() ? 0 : 1);
            if (!told.isEmpty())
                QVERIFY2(fake.messages.texts.front().contains(told), qPrintable(fake.messages.texts.front()));
            QCOMPARE(folder.exists(keptAs.isEmpty() ? "energy.cfg.bad" : keptAs), !keptAs.isEmpty());
            if (keptAs.contains("-2"))
                QCOMPARE(folder.read("energy.cfg.bad"), QByteArray("older"));
            // Today's line and the state agree before the first step.
            QCOMPARE(todayLine().energyWh, restored);
            QCOMPARE(core::readEnergyState(folder.read("energy.cfg").toStdString())->lifetime, lifetime);
            fake.ports.front()->feed("[<V>512</V><I>537</I>]"); // 31.25 W
            for (int i = 0; i < 720; ++i) {
                fake.clock.advanceSeconds(5);
                fake.ports.front()->feed("[<V>512</V><I>537</I>]");
                logger.Timer3_Timer();
            }
            logger.close();
        }
        const auto back = core::readEnergyState(folder.read("energy.cfg").toStdString());
        QVERIFY(back);
        QCOMPARE(back->today, restored + 31.25);
        QCOMPARE(back->lifetime, lifetime + 31.25);
        QCOMPARE(todayLine().energyWh, restored + 31.25);
        if (!csv.isEmpty())
            QCOMPARE(todayLine().peakWatts.value_or(0), 90.0);
    }

    // The clock set back across midnight during a run: yesterday's line goes
    // on from where it was, and the day left is written.
    void clockSetBackAcrossMidnight()
    {
        Rig rig;
        rig.folder.write("logs/energy.csv", QByteArray(core::energyCsvHeader().data())
                                                + "\r\n2026-03-06,5000,0,900,,mph,,,,0,0,,\r\n");
        rig.fake.clock.set(QDateTime(QDate(2026, 3, 7), QTime(0, 0, 30)));
        const auto step = [&](int n) {
            for (int i = 0; i < n; ++i) {
                rig.fake.clock.advanceSeconds(5);
                rig.port()->feed("[<V>512</V><I>537</I>]"); // 31.25 W
                rig.logger->Timer3_Timer();
            }
        };
        step(12);
        const double today = rig.logger->WattHours();
        rig.fake.clock.stepWall(-120); // 23:59:30 on the 6th
        step(5);
        QVERIFY2(rig.logger->WattHours() > 5000, qPrintable(QString::number(rig.logger->WattHours())));
        rig.logger->close();
        const auto line = [&](int day) {
            for (const auto &d : core::readEnergyCsv(rig.folder.read("logs/energy.csv").toStdString()))
                if (d.date == core::CivilDate{2026, 3, day})
                    return d;
            return core::DayRecord();
        };
        QVERIFY2(line(6).energyWh > 5000, qPrintable(QString::number(line(6).energyWh)));
        QCOMPARE(line(6).peakWatts.value_or(0), 900.0);
        QVERIFY(today > 0 && line(7).energyWh >= today);
        const auto state = core::readEnergyState(rig.folder.read("energy.cfg").toStdString());
        QVERIFY(state && state->date == core::CivilDate({2026, 3, 6}) && state->yesterday == 0);
    }

    // A start that straddles midnight: whichever day it starts in, that day's
    // total is the one it goes on from.
    void startAtMidnightReadsTheDateOnce()
    {
        ProgramFolder folder;
        folder.write("prog.cfg", testsupport::progCfg());
        FakeServices fake(folder.path());
        const QDateTime midnight(QDate(2026, 3, 8), QTime(0, 0));
        fake.clock.msPerRead = 1;
        fake.clock.set(midnight);
        {
            Logger counting(fake.services(), editions::crestdial());
        }
        const qint64 reads = midnight.msecsTo(fake.clock.now());
        QVERIFY(reads > 1 && reads < 10000);
        for (qint64 k = 1; k <= reads; ++k) {
            folder.write(
                "energy.cfg",
                "<Date>2026-03-07</Date><Today>120.5</Today><Yesterday>3</Yesterday><Lifetime>5000</Lifetime>");
            QFile::remove(folder.file("logs/energy.csv"));
            fake.clock.set(midnight.addMSecs(-k));
            Logger logger(fake.services(), editions::crestdial());
            logger.close();
            const auto s = core::readEnergyState(folder.read("energy.cfg").toStdString());
            QVERIFY(s);
            const bool oldDay = s->date == core::CivilDate{2026, 3, 7};
            QCOMPARE(s->today, oldDay ? 120.5 : 0.0);
        }
    }

    // A machine that slept an hour: the data is stale at once, the pre-sleep
    // watts count for no more than a step, the hour is no-data time and
    // raises the no-data alarm.
    void sleepIsAJumpForward()
    {
        Rig rig;
        for (int i = 0; i < 12; ++i) {
            rig.fake.clock.advanceSeconds(5);
            rig.port()->feed("[<V>512</V><I>537</I>]"); // 31.25 W
            rig.logger->Timer3_Timer();
        }
        const double before = rig.logger->WattHours();
        rig.fake.clock.advanceSeconds(3600);
        QCOMPARE(rig.logger->dataState(), core::DataState::Stale);
        rig.logger->Timer3_Timer();
        rig.logger->alarmWatch()->tick();
        QVERIFY(rig.logger->WattHours() - before <= 31.25 * 10 / 3600 + 1e-9);
        QVERIFY(rig.logger->alarmWatch()->raised(core::AlarmId::NoData));
        rig.logger->close();
        const auto days = core::readEnergyCsv(rig.folder.read("logs/energy.csv").toStdString());
        QVERIFY(!days.empty() && days.back().noDataSeconds >= 59 * 60);
    }

    // At midnight the finished day is written once and becomes yesterday's
    // total on the live page.
    void dayChangeWritesTheDay()
    {
        Rig rig(testsupport::progCfg("1", "1"));
        rig.folder.write("html/template.asp", "<WH> <WY> <WT>");
        rig.fake.clock.set(QDateTime(QDate(2026, 3, 7), QTime(23, 59, 30)));
        rig.logger->Timer3_Timer();
        for (int i = 0; i < 12; ++i) {
            rig.fake.clock.advanceSeconds(5);
            rig.port()->feed("[<V>512</V><I>537</I>]");
            rig.logger->Timer3_Timer();
        }
        const QList<QByteArray> lines = rig.folder.read("logs/energy.csv").split('\n');
        QCOMPARE(lines.size(), 4); // header, the finished day, today, and the end of the last line
        // 25 s of 31.25 W before midnight; today's line as of the change.
        QVERIFY2(lines[1].startsWith("2026-03-07,0.22,0,31.25,"), lines[1].constData());
        QVERIFY2(lines[2].startsWith("2026-03-08,0.04,0,"), lines[2].constData());
        rig.logger->Timer1_Timer();
        QCOMPARE(rig.folder.read("html/log.asp"), QByteArray("0.303819444444444 0.2 0\r\n"));
    }

    // Energy comes from live frames only, and each day starts from 0.
    void wattHoursFromLiveFrames()
    {
        Rig rig;
        rig.fake.clock.set(QDateTime(QDate(2026, 3, 7), QTime(23, 58, 0)));
        auto stepWithFrame = [&](bool frame) {
            rig.fake.clock.advanceSeconds(5);
            if (frame)
                rig.port()->feed("[<V>512</V><I>537</I>]"); // 12.5 V, 2.5 A with the delivered calibration
            rig.logger->Timer3_Timer();
        };
        stepWithFrame(false); // no frame yet: nothing
        stepWithFrame(true);
        QCOMPARE(rig.logger->dataState(), core::DataState::Live);
        for (int i = 0; i < 11; ++i)
            stepWithFrame(true);
        QVERIFY2(std::fabs(rig.logger->WattHours() - 31.25 / 60) < 1e-9,
                 qPrintable(QString::number(rig.logger->WattHours())));

        // Nothing while the calibration window holds the port.
        rig.fake.modal.onRun = [&](QDialog *) {
            QCOMPARE(rig.logger->dataState(), core::DataState::Paused);
            for (int i = 0; i < 4; ++i)
                stepWithFrame(false);
        };
        rig.logger->CalibrateButton_Click();
        QVERIFY2(std::fabs(rig.logger->WattHours() - 31.25 / 60) < 1e-9,
                 qPrintable(QString::number(rig.logger->WattHours())));

        // Asleep from 23:59 to 00:30: the new day starts at 0 and the stale
        // reading adds nothing.
        rig.fake.clock.set(QDateTime(QDate(2026, 3, 8), QTime(0, 30, 0)));
        rig.logger->Timer3_Timer();
        QCOMPARE(rig.logger->dataState(), core::DataState::Stale);
        QCOMPARE(rig.logger->WattHours(), 0.0);
    }

    void lostDeviceIsRetried()
    {
        Rig rig;
        rig.port()->loseLink();
        QVERIFY(!rig.port()->isOpen());
        QVERIFY(rig.fake.messages.texts.isEmpty());
        // The retry timer brings it back; frames are shown again.
        QTRY_VERIFY_WITH_TIMEOUT(rig.port()->isOpen(), 5000);
        rig.port()->feed("[<V>512</V>]");
        QVERIFY(rig.logger->windowTitle().startsWith("Logger  12.5 V"));
    }

    void setupHandsThePortOver()
    {
        Rig rig;
        bool closedWhileOpen = false;
        rig.fake.modal.onRun = [&](QDialog *d) {
            closedWhileOpen = !rig.port()->isOpen();
            auto *setup = qobject_cast<config::ProgramSetup *>(d);
            setup->PortNumber->setText("4");
            setup->LogDelay->setText("30");
            setup->Command1_Click();
        };
        rig.logger->StartLogging_Click();
        rig.logger->Setup_Click();
        QVERIFY(closedWhileOpen);
        QVERIFY(rig.port()->isOpen());
        QCOMPARE(rig.port()->portNumber(), 4);
        // Logging went on; the new interval waits for the next Start.
        QVERIFY(rig.logger->Timer1->isActive());
        QCOMPARE(rig.logger->Timer1->interval(), 60000);
        QCOMPARE(rig.logger->delay->text(), QString("30"));
    }

    void setupClosedWithoutSaving()
    {
        Rig rig;
        const QByteArray before = rig.folder.read("prog.cfg");
        rig.fake.modal.onRun = [&](QDialog *d) { d->close(); };
        rig.port()->feed("[<V>512</V>]");
        rig.logger->Setup_Click();
        QCOMPARE(rig.folder.read("prog.cfg"), before);
        QVERIFY(rig.port()->isOpen());
        QCOMPARE(rig.port()->portNumber(), 1);
        QCOMPARE(rig.rows().front(), QString("0.0 Volts"));
    }
};

QTEST_MAIN(TestLogger)
#include "tst_logger.moc"
