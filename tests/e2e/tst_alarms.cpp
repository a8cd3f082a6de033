// SPDX-License-Identifier: GPL-3.0-or-later
// The built program's alarms, end to end: a falling battery voltage on a
// pseudo-terminal raises the battery alarm (banner and alarms.csv), its
// recovery clears it, and the unit unplugged raises "no data". The settings
// use short hold times; the waits are generous, as the suite also runs under
// the sanitizers.
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QImage>
#include <QtTest>

using testsupport::Pty;
using testsupport::readFile;
using testsupport::run;

namespace {
// 13 V and 11 V with the delivered calibration.
const QByteArray kGood = "[<V>532.48</V><I>522</I><R>2</R><S>3.2</S><M>0</M>]";
const QByteArray kLow = "[<V>450.56</V><I>522</I><R>2</R><S>3.2</S><M>0</M>]";
const QByteArray kAlarms =
    "<BatteryLowOn>1</BatteryLowOn>\r\n<BatteryLow>12</BatteryLow>\r\n<HoldTime>2</HoldTime>\r\n"
    "<NoDataOn>1</NoDataOn>\r\n<NoData>5</NoData>\r\n";
} // namespace

class TestAlarmsEndToEnd : public QObject {
    Q_OBJECT
    testsupport::VirtualDisplay m_xvfb;
    QString m_display;

    QString windowId(qint64 pid)
    {
        return run("xdotool", {"search", "--all", "--onlyvisible", "--pid", QString::number(pid), "--name",
                               "^(Logger|Veldra - )"})
            .split('\n', Qt::SkipEmptyParts)
            .value(0);
    }
    // The share of red pixels in the banner's place (twips 9480, 2445, 5320 x 345).
    double bannerRed(qint64 pid, const QString &folder)
    {
        const QString shot = folder + "/shot.png";
        run("import", {"-window", windowId(pid), shot});
        const QImage img(shot);
        // Inside the banner's first line, under the status line of the bottom strip.
        const QRect banner(190, 185, 354, 16);
        if (img.isNull() || !img.rect().contains(banner))
            return -1;
        int red = 0;
        for (int y = banner.top(); y <= banner.bottom(); ++y)
            for (int x = banner.left(); x <= banner.right(); ++x) {
                const QColor c = img.pixelColor(x, y);
                red += c.red() > 150 && c.green() < 60 && c.blue() < 60;
            }
        return double(red) / (banner.width() * banner.height());
    }

private slots:
    void initTestCase()
    {
        if (!m_xvfb.start() || QStandardPaths::findExecutable("import").isEmpty())
            QSKIP("Xvfb, xdotool and ImageMagick's import are needed (scripts/install-deps installs them)");
        m_display = m_xvfb.name();
    }

    void batteryFallsAndRecoversThenTheUnitIsUnplugged()
    {
        testsupport::ProgramFolder folder;
        QProcess process;
        folder.write("alarms.cfg", kAlarms);
        auto pty = std::make_unique<Pty>(folder.file("COM1"));
        QVERIFY(pty->ok());
        const QString exe = testsupport::installProgram(folder.path(), "crestdial", testsupport::progCfg(),
                                                        m_display, process);
        QVERIFY(!exe.isEmpty());
        process.start(exe, {});
        QVERIFY(process.waitForStarted());
        const qint64 pid = process.processId();
        const QString csv = folder.file("logs/alarms.csv");
        const auto sendUntil = [&](const QByteArray &frame, auto done, int ms) {
            QElapsedTimer t;
            t.start();
            while (!done() && t.elapsed() < ms) {
                pty->send(frame);
                QTest::qWait(250);
            }
            return done();
        };

        QVERIFY(sendUntil(
            kGood,
            [&] {
                return run("xdotool", {"getwindowname", windowId(pid)}).startsWith("Logger  13 V");
            },
            20000));
        QCOMPARE(bannerRed(pid, folder.path()), 0.0);

        QVERIFY2(sendUntil(
                     kLow, [&] { return readFile(csv).contains(",battery_low,raised,11,12\r\n"); }, 30000),
                 readFile(csv).constData());
        QVERIFY(sendUntil(
            kLow, [&] { return bannerRed(pid, folder.path()) > 0.5; }, 10000));

        QVERIFY2(sendUntil(
                     kGood, [&] { return readFile(csv).contains(",battery_low,cleared,13,12\r\n"); }, 30000),
                 readFile(csv).constData());
        QVERIFY(sendUntil(
            kGood, [&] { return bannerRed(pid, folder.path()) == 0; }, 10000));

        pty->vanish();
        QTRY_VERIFY_WITH_TIMEOUT(readFile(csv).contains(",no_data,raised,"), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(bannerRed(pid, folder.path()) > 0.5, 10000);
        const QList<QByteArray> lines = readFile(csv).split('\n');
        QCOMPARE(lines.value(0), QByteArray("time,alarm,state,value,threshold\r"));
        QCOMPARE(lines.size(), 5); // header, three events, the end of the last line
        QCOMPARE(process.state(), QProcess::Running);
        process.kill();
        process.waitForFinished(3000);
    }
};

QTEST_MAIN(TestAlarmsEndToEnd)
#include "tst_alarms.moc"
