// SPDX-License-Identifier: GPL-3.0-or-later
// The running session with no window at all: frames in through the port, the
// logging tick, energy and the end of the run, on fakes.
#include "core/Liveness.h"
#include "monitor/Session.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using testsupport::FakeServices;
using testsupport::ProgramFolder;

class TestSession : public QObject {
    Q_OBJECT
private slots:
    // What the window once did itself now runs without it: each frame is
    // calibrated and told once, the maxima rise only while the tick runs, the
    // tick writes them to the day's log, and the end of the run keeps the energy.
    void runsWithoutAWindow()
    {
        ProgramFolder folder;
        folder.write("prog.cfg", testsupport::progCfg());
        FakeServices fake(folder.path());
        monitor::Session session(fake.services());
        QSignalSpy frames(&session, &monitor::Session::frameProcessed);
        session.resetReading();
        session.loadSettings();
        QVERIFY(session.openPort());
        session.startEnergy({2026, 3, 7});

        fake.ports.front()->feed("[<V>512</V><I>537</I>]"); // 12.5 V, 31.25 W
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0][1].value<core::Reading>().Watts, 31.25);
        QCOMPARE(frames[0][2].value<core::DataState>(), core::DataState::Live);
        QCOMPARE(session.maxima().MaxVolts, 0.0); // not logging yet

        QCOMPARE(session.startLogging("5"), std::optional<std::string>("10"));
        QCOMPARE(session.logTimer()->interval(), 10000);
        fake.ports.front()->feed("[<V>552.96</V><I>537</I>]"); // 13.5 V
        QCOMPARE(session.maxima().MaxVolts, 13.5);
        session.logTick();
        QCOMPARE(session.maxima().MaxVolts, 0.0);
        QVERIFY2(folder.read("logs/2026_3_7.txt").startsWith("<V>13.5</V><I>2.5</I><W>33.75</W>"),
                 folder.read("logs/2026_3_7.txt").constData());

        for (int i = 0; i < 72; ++i) { // six minutes at 33.75 W
            fake.clock.advanceSeconds(5);
            fake.ports.front()->feed("[<V>552.96</V><I>537</I>]");
            session.energyStep();
        }
        QCOMPARE(session.wattHours(), 33.75 / 10);
        session.finish();
        QVERIFY(session.link()->state() == ui::PortState::Paused);
        QVERIFY(folder.read("energy.cfg").contains("<Today>3.375</Today>"));
        QVERIFY(fake.messages.texts.isEmpty());
    }
};

QTEST_MAIN(TestSession)
#include "tst_session.moc"
