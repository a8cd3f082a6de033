// SPDX-License-Identifier: GPL-3.0-or-later
// The program in the background on the desktop, through its seams: a tray
// icon and a notifier that record, the main window on a temporary folder with
// the fake clock and port. The close box, the tray's tool tip and click, the
// notifications at raise and clear, the Desktop page with its autostart
// entry, and the second start's request to show the window.
#include "alarms/AlarmWatch.h"
#include "desktop/Desktop.h"
#include "desktop/DesktopPage.h"
#include "ui/RunningProgram.h"
#include "editions/Editions.h"
#include "monitor/Logger.h"
#include "support/TestSupport.h"
#include "ui/Options.h"

#include <QApplication>
#include <QCheckBox>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <future>

namespace {
// 11 V and 13 V with the delivered calibration; live.
const QByteArray kLow = "[<V>450.56</V><I>522</I>]";
const QByteArray kGood = "[<V>532.48</V><I>522</I>]";

class FakeTray : public desktop::TrayIcon {
public:
    explicit FakeTray(bool available) : m_available(available) { }
    bool available() const override { return m_available; }
    void setVisible(bool visible) override { m_visible = visible; }
    bool isVisible() const override { return m_visible; }
    void setToolTip(const QString &text) override { tip = text; }
    void click() { emit clicked(); }
    void doubleClick() { emit doubleClicked(); }
    void chooseExit() { emit exitChosen(); }
    QString tip;

private:
    bool m_available;
    bool m_visible = false;
};

struct Recorded : desktop::Notifier {
    void notify(const QString &summary, const QString &body) override { shown << summary + " | " + body; }
    QStringList shown;
};

struct Rig {
    explicit Rig(bool trayAvailable, const QByteArray &desktopCfg = QByteArray(),
                 const QByteArray &alarmsCfg = QByteArray())
        : fake(folder.path())
    {
        folder.write("prog.cfg", testsupport::progCfg());
        if (!desktopCfg.isEmpty())
            folder.write("desktop.cfg", desktopCfg);
        if (!alarmsCfg.isEmpty())
            folder.write("alarms.cfg", alarmsCfg);
        logger = std::make_unique<monitor::Logger>(fake.services(), editions::crestdial());
        auto t = std::make_unique<FakeTray>(trayAvailable);
        tray = t.get();
        auto n = std::make_unique<Recorded>();
        notes = n.get();
        desktop::Autostart entry;
        entry.file = desktop::Autostart::fileFor("org.example.veldra.crestdial");
        entry.name = "Veldra crestdial";
        entry.comment = "At login";
        entry.program = "/opt/veldra dir/crestdial";
        entry.arguments = QStringList{"--folder", folder.path()};
        desk = std::make_unique<desktop::Desktop>(fake.services(), logger->alarmWatch(), std::move(t),
                                                  std::move(n), entry);
        desk->setWindow(logger.get());
        logger->setDesktop(desk.get());
        QObject::connect(desk.get(), &desktop::Desktop::exitRequested, logger.get(), &monitor::Logger::Exit_Click);
        logger->show();
    }
    testsupport::FakeSerialPort *port() { return fake.ports.front(); }
    void run(int seconds, const QByteArray &frame)
    {
        for (int i = 0; i < seconds; ++i) {
            fake.clock.advanceSeconds(1);
            port()->feed(frame);
            logger->alarmWatch()->tick();
        }
    }
    testsupport::ProgramFolder folder;
    testsupport::FakeServices fake;
    std::unique_ptr<monitor::Logger> logger;
    FakeTray *tray;
    Recorded *notes;
    std::unique_ptr<desktop::Desktop> desk;
};
} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    }

    // The close box hides the window only where the user chose it and a tray
    // can bring it back; Exit and the tray's Exit always end the program.
    void closing_data()
    {
        QTest::addColumn<QByteArray>("desktopCfg");
        QTest::addColumn<bool>("trayAvailable");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("keepsRunning");
        const QByteArray keep = "<KeepInTray>1</KeepInTray>";
        QTest::newRow("close box, off by default") << QByteArray() << true << "close box" << false;
        QTest::newRow("close box, kept in the tray") << keep << true << "close box" << true;
        QTest::newRow("close box, kept but no tray") << keep << false << "close box" << false;
        QTest::newRow("Exit button, kept in the tray") << keep << true << "Exit" << false;
        QTest::newRow("tray's Exit, window hidden") << keep << true << "tray Exit" << false;
        QTest::newRow("damaged file: off") << QByteArray("<KeepInTray>yes") << true << "close box" << false;
    }
    void closing()
    {
        QFETCH(QByteArray, desktopCfg);
        QFETCH(bool, trayAvailable);
        QFETCH(QString, how);
        QFETCH(bool, keepsRunning);
        Rig rig(trayAvailable, desktopCfg);
        // While the icon holds the program, no closed window ends it.
        QCOMPARE(QApplication::quitOnLastWindowClosed(), !trayAvailable);
        QVERIFY(rig.port()->isOpen());
        if (how == "close box") {
            rig.logger->close();
        } else if (how == "Exit") {
            rig.logger->Exit->click();
        } else {
            rig.logger->close();
            QVERIFY(!rig.logger->isVisible());
            rig.tray->chooseExit();
        }
        QVERIFY(!rig.logger->isVisible());
        // A program that ends lets the port go and saves; one in the tray reads on.
        QCOMPARE(rig.port()->isOpen(), keepsRunning);
        rig.port()->feed(kGood);
        QCOMPARE(rig.logger->ListView1->text(0, 1) == "13", keepsRunning);
    }

    // The icon's tool tip is the status line; a click hides the window and
    // the next shows it again.
    void trayIcon()
    {
        Rig rig(true);
        rig.run(3, kGood);
        QVERIFY(!rig.logger->LinkStatus->text().isEmpty());
        QCOMPARE(rig.tray->tip, rig.logger->LinkStatus->text());
        rig.tray->click();
        QVERIFY(!rig.logger->isVisible());
        rig.tray->click();
        QVERIFY(rig.logger->isVisible());
        // A double click (a click, then the double) leaves it in view.
        rig.tray->click();
        rig.tray->doubleClick();
        QVERIFY(rig.logger->isVisible());
        rig.logger->showMinimized();
        rig.tray->click();
        QVERIFY(rig.logger->isVisible() && !rig.logger->isMinimized());
    }

    // One notification at each raise and clear when they are on, none when off.
    void notifications_data()
    {
        QTest::addColumn<QByteArray>("desktopCfg");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("off by default") << QByteArray() << QStringList();
        QTest::newRow("on") << QByteArray("<Notify>1</Notify>")
                            << QStringList{"Battery low raised | Battery low: 11 V since 14:05:12",
                                           "Battery low cleared | Cleared at 14:05:17"};
    }
    void notifications()
    {
        QFETCH(QByteArray, desktopCfg);
        QFETCH(QStringList, shown);
        Rig rig(true, desktopCfg,
                "<BatteryLowOn>1</BatteryLowOn><BatteryLow>12</BatteryLow><HoldTime>2</HoldTime>");
        rig.run(5, kLow);
        rig.run(5, kGood);
        QTest::qWait(50);
        QCOMPARE(rig.notes->shown, shown);
    }

    // The page shows what is in force and saves it; the autostart entry is
    // written or removed with its tick box.
    void desktopPage()
    {
        Rig rig(false);
#ifdef Q_OS_WIN
        const QString entry = "org.example.veldra.crestdial"; // the Run key's value
#else
        const QString entry = m_config.path() + "/autostart/org.example.veldra.crestdial.desktop";
#endif
        QFile::remove(entry);
        auto save = [&](bool keep, bool notify, bool login) {
            rig.fake.modal.onRun = [&](QDialog *d) {
                auto *options = qobject_cast<ui::Options *>(d);
                QVERIFY(options);
                QCOMPARE(options->tabs()->tabText(options->pageCount() - 1), QString("Desktop"));
                auto *page = options->page<desktop::DesktopPage>();
                QVERIFY(page);
                // Without a tray, the box is kept as chosen and the note says why it does nothing.
                QVERIFY(page->TrayNote->text().contains("no tray"));
                page->KeepInTray->setChecked(keep);
                page->Notify->setChecked(notify);
                page->StartAtLogin->setChecked(login);
                options->Save_Click();
            };
            rig.logger->Options_Click();
        };
        rig.fake.messages.texts.clear();
        save(true, false, true);
        QCOMPARE(rig.folder.read("desktop.cfg"),
                 QByteArray("<KeepInTray>1</KeepInTray>\r\n<Notify>0</Notify>\r\n"));
        QVERIFY(rig.desk->settings().keepInTray && !rig.desk->settings().notify);
        QVERIFY2(rig.fake.messages.texts.isEmpty(), qPrintable(rig.fake.messages.texts.join('\n')));
#ifdef Q_OS_WIN
        const QSettings run("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                            QSettings::NativeFormat);
        QCOMPARE(run.value(entry).toString(), "\"\\opt\\veldra dir\\crestdial\" \"--folder\" \"" + rig.folder.path() + '"');
        save(false, true, false);
        QVERIFY(!rig.desk->autostart().enabled());
        QVERIFY(!rig.desk->settings().keepInTray && rig.desk->settings().notify);
#else
        QFile f(entry);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray written = f.readAll();
        QVERIFY2(written.contains("\nExec=\"/opt/veldra dir/crestdial\" --folder "
                                  + rig.folder.path().toLocal8Bit() + "\n"),
                 written.constData());
        QVERIFY(written.startsWith("[Desktop Entry]\nType=Application\n"));
        save(false, true, false);
        QVERIFY(!QFile::exists(entry));
        QVERIFY(!rig.desk->settings().keepInTray && rig.desk->settings().notify);

        // An entry that cannot be written is a failure, not a success.
        rig.folder.write("blocker", "x");
        qputenv("XDG_CONFIG_HOME", rig.folder.file("blocker").toLocal8Bit());
        desktop::Autostart blocked = rig.desk->autostart();
        blocked.file = desktop::Autostart::fileFor("org.example.veldra.crestdial");
        QVERIFY(!blocked.set(true));
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
#endif
    }

    // A second start asks the running program to show its window; with none
    // listening on the folder, the answer is no.
    void secondStart()
    {
        testsupport::ProgramFolder folder, other;
        ui::RunningProgram running(folder.path());
        QVERIFY(running.listening());
        QSignalSpy asked(&running, &ui::RunningProgram::showRequested);
        auto ask = [](const QString &path) {
            auto answer = std::async(std::launch::async,
                                     [path] { return ui::RunningProgram::ask(path, ui::RunningProgram::Ask::Show); });
            while (answer.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
                QCoreApplication::processEvents();
            return answer.get();
        };
        QVERIFY(ask(folder.path()));
        QCOMPARE(asked.count(), 1);
        QVERIFY(!ask(other.path()));
        QCOMPARE(asked.count(), 1);
    }

private:
    QTemporaryDir m_config;
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
