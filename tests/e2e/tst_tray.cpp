// SPDX-License-Identifier: GPL-3.0-or-later
// The window program on a desktop with a tray (trayer) and a notification
// daemon (dunst), in a D-Bus session of its own (ctest runs it under
// dbus-run-session) on Xvfb with openbox: its icon sits in the tray, the
// close box hides the window while the program reads on, a click on the icon
// shows it again, a second start brings it to the front, and a raised alarm
// is a notification that dunst keeps in its history.
#include "core/Alarms.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QtTest>

using testsupport::run;

namespace {
// 11 V and 13 V with the delivered calibration; live.
const QByteArray kLow = "[<V>450.56</V><I>522</I>]\r\n";

// The program's windows: those shown now, or all of them.
QStringList windows(qint64 pid, bool visibleOnly)
{
    QStringList args{"search"};
    if (visibleOnly)
        args << "--onlyvisible";
    args << "--all"
         << "--pid" << QString::number(pid) << "--name"
         << ".*";
    return run("xdotool", args).split('\n', Qt::SkipEmptyParts);
}

QString title(const QString &window) { return run("xdotool", {"getwindowname", window}); }

// The main window (the one whose title is the program's or the readings').
QString mainWindow(qint64 pid, bool visibleOnly)
{
    for (const QString &w : windows(pid, visibleOnly)) {
        const QString t = title(w);
        if (t.startsWith("Veldra - ") || t.startsWith("Logger "))
            return w;
    }
    return QString();
}

void stop(QProcess &p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(3000);
    }
}
} // namespace

class TestTray : public QObject {
    Q_OBJECT
private slots:
    void inTheTray()
    {
        for (const char *tool : {"trayer", "dunst", "dunstctl", "openbox", "xdotool", "Xvfb"})
            if (QStandardPaths::findExecutable(tool).isEmpty()) {
                if (qEnvironmentVariableIsSet("CI"))
                    QFAIL(qPrintable(QString("%1 is missing (scripts/install-deps installs it)").arg(tool)));
                QSKIP(qPrintable(QString("%1 is missing; scripts/install-deps installs it").arg(tool)));
            }
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QFAIL("no D-Bus session: run the test under dbus-run-session, as ctest does");

        testsupport::VirtualDisplay display;
        QVERIFY(display.start());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display.name());
        QProcess wm, tray, daemon;
        for (QProcess *p : {&wm, &tray, &daemon}) {
            p->setProcessEnvironment(env);
            p->setStandardOutputFile(QProcess::nullDevice());
            p->setStandardErrorFile(QProcess::nullDevice());
        }
        // One after the other: the window manager, the tray, the notification daemon.
        wm.start("openbox", {});
        QVERIFY(wm.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id"), 30000);
        const QStringList trayArgs{"--edge",  "top", "--align",      "right", "--widthtype", "pixel",
                                   "--width", "200", "--heighttype", "pixel", "--height",    "32"};
        auto trayShown = [] {
            return !run("xdotool", {"search", "--onlyvisible", "--class", "trayer"}).isEmpty();
        };
        for (int attempt = 0; attempt < 3 && !trayShown(); ++attempt) {
            stop(tray);
            tray.start("trayer", trayArgs);
            QVERIFY(tray.waitForStarted());
            QElapsedTimer shown;
            shown.start();
            while (!trayShown() && tray.state() == QProcess::Running && shown.elapsed() < 15000)
                QTest::qWait(200);
        }
        QVERIFY2(trayShown(), "trayer shows no tray");
        daemon.start("dunst", {});
        QVERIFY(daemon.waitForStarted());
        testsupport::ProgramFolder folder;
        folder.write("desktop.cfg", "<KeepInTray>1</KeepInTray>\r\n<Notify>1</Notify>\r\n");
        core::AlarmSettings a;
        a.on[size_t(core::AlarmId::BatteryLow)] = true;
        a.threshold[size_t(core::AlarmId::BatteryLow)] = 12;
        a.holdSeconds = 1;
        folder.write("alarms.cfg", QByteArray::fromStdString(core::alarmSettingsText(a)));
        testsupport::Pty pty(folder.file("COM1"));
        QVERIFY(pty.ok());
        QProcess program;
        const QString exe = testsupport::installProgram(folder.path(), "crestdial", testsupport::progCfg("1"),
                                                        display.name(), program);
        QVERIFY(!exe.isEmpty());
        program.start(exe, {});
        QVERIFY(program.waitForStarted());
        QString window;
        QTRY_VERIFY_WITH_TIMEOUT(!(window = mainWindow(program.processId(), true)).isEmpty(), 20000);

        // The icon: the program's other window, small, inside the tray at the top right.
        QString icon;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const QString &w : windows(program.processId(), true))
                    if (w != window
                        && run("xdotool", {"getwindowgeometry", w})
                               .contains(QRegularExpression("Geometry: [1-3]?[0-9]x[1-3]?[0-9]\\b"))) {
                        icon = w;
                        return true;
                    }
                return false;
            }(),
            20000);

        // A raised alarm becomes a notification.
        QElapsedTimer t;
        t.start();
        QByteArray history;
        while (t.elapsed() < 30000 && !history.contains("Battery low raised")) {
            pty.send(kLow);
            QTest::qWait(300);
            history = run("dunstctl", {"history"}).toUtf8();
        }
        QVERIFY2(history.contains("Battery low raised"), history.constData());
        QVERIFY2(history.contains("Battery low: 11 V since"), history.constData());

        // The close box (Alt+F4 to the window manager) hides the window; the
        // program goes on reading. The key goes to the window that has the
        // focus, so it is given again until the window is gone.
        for (int attempt = 0; attempt < 5 && !mainWindow(program.processId(), true).isEmpty(); ++attempt) {
            run("xdotool", {"windowactivate", "--sync", window});
            run("xdotool", {"key", "--clearmodifiers", "alt+F4"});
            QElapsedTimer hidden;
            hidden.start();
            while (!mainWindow(program.processId(), true).isEmpty() && hidden.elapsed() < 4000)
                QTest::qWait(200);
        }
        QVERIFY(mainWindow(program.processId(), true).isEmpty());
        QTest::qWait(1000);
        QCOMPARE(program.state(), QProcess::Running);
        QVERIFY(!mainWindow(program.processId(), false).isEmpty());

        // A click on the icon shows it again.
        run("xdotool", {"mousemove", "--window", icon, "8", "8", "click", "1"});
        QTRY_VERIFY_WITH_TIMEOUT(!mainWindow(program.processId(), true).isEmpty(), 20000);

        // Hidden again (a click later than a double click), a second start on
        // the folder brings it to the front and ends.
        QTest::qWait(1500);
        run("xdotool", {"mousemove", "--window", icon, "8", "8", "click", "1"});
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow(program.processId(), true).isEmpty(), 20000);
        QProcess second;
        second.setProcessEnvironment(program.processEnvironment());
        second.start(exe, {});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(second.readAllStandardError().contains("its window was brought to the front"));
        QTRY_VERIFY_WITH_TIMEOUT(!mainWindow(program.processId(), true).isEmpty(), 20000);

        stop(program);
        for (QProcess *p : {&daemon, &tray, &wm})
            stop(*p);
    }
};

QTEST_GUILESS_MAIN(TestTray)
#include "tst_tray.moc"
