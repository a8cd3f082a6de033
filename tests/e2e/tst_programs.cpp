// SPDX-License-Identifier: GPL-3.0-or-later
// The built programs, end to end: a real window on a virtual X display, a
// pseudo-terminal linked as COM1 in a temporary program folder, frames sent in
// pieces, the title read back from the window system and the files checked.
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QtTest>

namespace {

using testsupport::cpuSeconds;
using testsupport::Pty;
using testsupport::run;

} // namespace

class TestPrograms : public QObject {
    Q_OBJECT
    testsupport::VirtualDisplay m_xvfb;
    QString m_display;

    // The title of the program's main window, or "" while it has none.
    QString title(qint64 pid)
    {
        const QStringList ids = run("xdotool",
                                    {"search", "--all", "--pid", QString::number(pid), "--name", "Veldra|Logger"})
                                    .split('\n', Qt::SkipEmptyParts);
        return ids.isEmpty() ? QString() : run("xdotool", {"getwindowname", ids.last()});
    }

    struct Running {
        ~Running()
        {
            process.kill();
            process.waitForFinished(3000);
        }
        testsupport::ProgramFolder folder;
        QProcess process;
    };

    void start(Running &r, const QString &edition, const QByteArray &prog)
    {
        const QString exe = testsupport::installProgram(r.folder.path(), edition, prog, m_display, r.process);
        QVERIFY(!exe.isEmpty());
        r.process.start(exe, {});
        QVERIFY(r.process.waitForStarted());
    }

private slots:
    void initTestCase()
    {
        if (!m_xvfb.start())
            QSKIP("Xvfb and xdotool are needed (scripts/install-deps installs them)");
        m_display = m_xvfb.name();
    }

    void waitsThenShowsFramesAndSurvivesALostDevice()
    {
        Running r;
        auto pty = std::make_unique<Pty>(r.folder.file("COM1"));
        QVERIFY(pty->ok());
        start(r, "crestdial", testsupport::progCfg());
        const qint64 pid = r.process.processId();
        QTRY_COMPARE_WITH_TIMEOUT(title(pid), QString("Veldra - Waiting for Signal"), 15000);

        // A frame in three pieces, after some noise.
        pty->send("noise]");
        pty->send("[<V>512</V><I>5");
        QTest::qWait(200);
        pty->send("37</I><R>10</R><M>0</M>");
        QTest::qWait(200);
        pty->send("<S>8</S>]\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(title(pid), QString("Logger  12.5 V  2.5 A  31.25 W  300 RPM  5 WIND "), 10000);

        // The device vanishes: the program keeps running and stays idle.
        pty->vanish();
        QTest::qWait(1000);
        const double before = cpuSeconds(pid);
        QTest::qWait(4000);
        const double used = cpuSeconds(pid) - before;
        QVERIFY2(used < 0.4, qPrintable(QString("CPU while the device was gone: %1 s in 4 s").arg(used)));
        QCOMPARE(r.process.state(), QProcess::Running);

        // It comes back under the same name: frames are shown again.
        pty = std::make_unique<Pty>(r.folder.file("COM1"));
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     pty->send("[<V>550.9</V><I>512</I><R>0</R><S>0</S>]");
                                     return title(pid).startsWith("Logger  13.45 V");
                                 }()),
                                 15000);
        r.process.terminate();
        r.process.waitForFinished(5000);
    }

    void bothEditionsLogTheSameRecord()
    {
        QStringList records;
        for (const QString edition : {"crestdial", "flankdial"}) {
            Running r;
            Pty pty(r.folder.file("COM1"));
            QVERIFY(pty.ok());
            start(r, edition, testsupport::progCfg("1", "1", "1", "10", "1"));
            const qint64 pid = r.process.processId();
            QTRY_COMPARE_WITH_TIMEOUT(title(pid), QString("Veldra - Waiting for Signal"), 15000);
            const QString stamp = QDate::currentDate().toString("yyyy_M_d");
            const QString log = r.folder.file("logs/" + stamp + ".txt");
            // Frames until the first tick has written its record.
            QElapsedTimer t;
            t.start();
            while (!QFileInfo::exists(log) && t.elapsed() < 30000) {
                pty.send("[<V>550.9</V><I>533</I><R>20.8</R><S>7.2</S><M>1</M>]");
                QTest::qWait(300);
            }
            QVERIFY2(QFileInfo::exists(log), "no record after 30 s");
            QVERIFY(title(pid).startsWith("Logger  13.45 V  2.1 A  28.24 W  624 RPM  4.5 WIND"));
            QFile f(log);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray line = f.readAll();
            QVERIFY2(line.startsWith("<V>13.45</V><I>2.1</I><W>28.24</W><R>624</R><S>4.5</S><M>1</M><T>"),
                     line.constData());
            QVERIFY(line.endsWith("</T>\r\n"));
            records << QString::fromLatin1(line.left(line.indexOf("<T>")));
            // The pages and the spreadsheet hold the same values.
            const QByteArray page = r.folder.read("html/log.asp");
            QVERIFY(page.contains("13.45 V") && page.contains("Load On"));
            QVERIFY(
                r.folder.read("Excel/" + stamp + ".xls")
                    .contains(
                        "<tr><td>13.45</td><td>2.1</td><td>28.24</td><td>624</td><td>4.5</td><td>Load On</td>"));
            r.process.terminate();
            r.process.waitForFinished(5000);
        }
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[0], records[1]);
    }
};

QTEST_GUILESS_MAIN(TestPrograms)
#include "tst_programs.moc"
