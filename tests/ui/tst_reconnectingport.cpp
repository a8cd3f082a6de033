// SPDX-License-Identifier: GPL-3.0-or-later
// The reconnecting port on real pseudo-terminals: it follows the program
// folder's COM entry as the device behind it goes, comes back or moves.
#include "support/Processes.h"
#include "ui/QtSerialPortControl.h"
#include "ui/ReconnectingPort.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using testsupport::Pty;
using ui::PortState;

namespace {
// Waits up to this long for something a retry should bring: one retry period
// and room for a slow (sanitized, loaded) machine.
constexpr int kWaitMs = 10000;

QString target(const QString &link) { return QFileInfo(link).canonicalFilePath(); }

struct Rig {
    Rig()
        : entry(folder.filePath("COM1")), fallbackLink(folder.filePath("fallback")),
          link(std::make_unique<ui::QtSerialPortControl>(folder.path(), nullptr,
                                                         [this](int) { return target(fallbackLink); }))
    { }
    // Frames sent on `pty` reach the port's reader.
    bool reads(Pty &pty)
    {
        link.port()->readAll();
        pty.send("[<V>1</V>]");
        return QTest::qWaitFor([&] { return link.port()->readAll().contains("[<V>1</V>]"); }, kWaitMs);
    }
    QTemporaryDir folder;
    QString entry, fallbackLink;
    ui::ReconnectingPort link;
};
} // namespace

class TestReconnectingPort : public QObject {
    Q_OBJECT
private slots:
    // The unit's entry goes away while a system port that is not the unit is
    // there: the port waits for the entry instead of settling on the other.
    void entryGoneAndBack()
    {
        Rig rig;
        Pty other(rig.fallbackLink);
        auto unit = std::make_unique<Pty>(rig.entry);
        QVERIFY(rig.link.open(1));
        QCOMPARE(rig.link.port()->openedDevice(), target(rig.entry));
        QVERIFY(rig.reads(*unit));

        QFile::remove(rig.entry);
        unit.reset();
        QTRY_COMPARE_WITH_TIMEOUT(rig.link.state(), PortState::Away, kWaitMs);
        QTest::qWait(2 * ui::ReconnectingPort::kRetryMs + 500);
        QCOMPARE(rig.link.state(), PortState::Away);

        unit = std::make_unique<Pty>(rig.entry);
        QTRY_COMPARE_WITH_TIMEOUT(rig.link.state(), PortState::Open, kWaitMs);
        QCOMPARE(rig.link.port()->openedDevice(), target(rig.entry));
        QVERIFY(rig.reads(*unit));
    }

    // An entry re-pointed to another device, or one that appears where the
    // system's port was in use, is followed within a retry period.
    void followsTheEntry()
    {
        Rig rig;
        Pty system(rig.fallbackLink);
        QVERIFY(rig.link.open(1));
        QCOMPARE(rig.link.port()->openedDevice(), target(rig.fallbackLink));

        Pty first(rig.entry);
        QTRY_COMPARE_WITH_TIMEOUT(rig.link.port()->openedDevice(), target(rig.entry), kWaitMs);
        QVERIFY(rig.reads(first));

        Pty second(rig.entry);
        QTRY_COMPARE_WITH_TIMEOUT(rig.link.port()->openedDevice(), target(rig.entry), kWaitMs);
        QCOMPARE(rig.link.state(), PortState::Open);
        QVERIFY(rig.reads(second));
    }

    // Nothing there at the start, then the unit is plugged in; a port number
    // that cannot be read is never tried.
    void pluggedInLaterAndNoNumber()
    {
        Rig rig;
        QSignalSpy states(&rig.link, &ui::ReconnectingPort::stateChanged);
        QVERIFY(!rig.link.open(1));
        QCOMPARE(rig.link.state(), PortState::Away);
        Pty unit(rig.entry);
        QTRY_COMPARE_WITH_TIMEOUT(rig.link.state(), PortState::Open, kWaitMs);
        QVERIFY(rig.reads(unit));

        QVERIFY(!rig.link.open(std::nullopt));
        QCOMPARE(rig.link.state(), PortState::NoPortNumber);
        QVERIFY(!rig.link.port()->isOpen());
        QVERIFY(!rig.link.retryTimer()->isActive());
        QCOMPARE(states.size(), 3); // away, open, no number

        rig.link.pause();
        QCOMPARE(rig.link.state(), PortState::Paused);
        QVERIFY(!rig.link.reopen());
    }
};

QTEST_GUILESS_MAIN(TestReconnectingPort)
#include "tst_reconnectingport.moc"
