// SPDX-License-Identifier: GPL-3.0-or-later
// Faults from outside the program: a serial device that goes away while
// logging, files that cannot be written, broken settings files and odd logs.
// The built program runs on a virtual X display where only it shows the
// behaviour (the real port, real message boxes, a signal's default action);
// the windows run in this process on a temporary folder where that reaches
// the same code.
#include "config/Calibrate.h"
#include "config/ProgramSetup.h"
#include "core/Number.h"
#include "editions/Editions.h"
#include "graph/Graph.h"
#include "monitor/Logger.h"
#include "support/Processes.h"
#include "support/TestSupport.h"
#include "ui/Canvas.h"
#include "ui/Files.h"
#include "ui/ReportList.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using testsupport::FakeServices;
using testsupport::ProgramFolder;
using testsupport::cpuSeconds;
using testsupport::Pty;
using testsupport::readFile;
using testsupport::run;

namespace {

// Frames and the records the delivered calibration makes of them. Every value
// of kHigh is above the one of kLow, so a maximum taken over both is kHigh's.
const QByteArray kLow = "[<V>532.48</V><I>522</I><R>2</R><S>3.2</S><M>1</M>]";
const QByteArray kLowRecord = "<V>13</V><I>1</I><W>13</W><R>60</R><S>2</S><M>1</M><T>";
const QByteArray kHigh = "[<V>614.4</V><I>542</I><R>5</R><S>8</S><M>1</M>]";
const QByteArray kHighRecord = "<V>15</V><I>3</I><W>45</W><R>150</R><S>5</S><M>1</M><T>";
const QString kHighTitle = "Logger  15 V  3 A  45 W  150 RPM  5 WIND ";
const QByteArray kMid = "[<V>573.44</V><I>532</I><R>10</R><S>16</S><M>0</M>]";
const QByteArray kMidRecord = "<V>14</V><I>2</I><W>28</W><R>300</R><S>10</S><M>0</M><T>";

const char *const kOverLimit =
    "Over 10,000 records, too many to display. Please use a smaller time range. If you set you "
    "logging interval to 10 seconds or more, you wont have this problem in the future. ";

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qWarning("could not write %s", qPrintable(path));
}

// The lines of a CR LF text, without the empty piece after the last line end.
QList<QByteArray> crlfLines(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    return lines;
}

// Random bytes that include NULs, the same on every run.
QByteArray binary(qsizetype size, quint32 seed)
{
    QByteArray b(size, '\0');
    QRandomGenerator gen(seed);
    for (qsizetype i = 0; i < size; ++i)
        b[i] = char(gen.bounded(256));
    for (qsizetype i = 0; i < size; i += 97)
        b[i] = '\0';
    return b;
}

// Full log records of the given time, as the logger writes them.
QByteArray records(int count, const QByteArray &time = "01:00")
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += "<V>12.5</V><I>0</I><W>0</W><R>0</R><S>0</S><M>0</M><T>" + time + "</T>\r\n";
    return out;
}

// The line (with its line end) repeated, then empty lines, up to `size` bytes
// give or take one.
QByteArray fillTo(const QByteArray &line, qsizetype size)
{
    QByteArray text;
    while (text.size() + line.size() < size)
        text += line;
    while (text.size() + 1 < size)
        text += "\r\n";
    return text;
}

// What the logger names the day's history file after the fake clock's date.
QString historyFile()
{
    return "html/history" + testsupport::FakeClock().shortDateText().replace('/', '_') + ".txt";
}

// Lowers this process's file-size limit while it lives. Writes past it then
// fail with EFBIG, as on a full disk (SIGXFSZ is ignored by this process).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit r = m_old;
        r.rlim_cur = bytes;
        m_set = setrlimit(RLIMIT_FSIZE, &r) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }
    bool ok() const { return m_set; }

private:
    rlimit m_old{};
    bool m_set = false;
};

// The main window on a temporary folder with fake services.
struct Rig {
    explicit Rig(const QByteArray &prog) : fake(folder.path()) { folder.write("prog.cfg", prog); }
    void start() { logger = std::make_unique<monitor::Logger>(fake.services(), editions::crestdial()); }
    testsupport::FakeSerialPort *port() { return fake.ports.front(); }
    ProgramFolder folder;
    FakeServices fake;
    std::unique_ptr<monitor::Logger> logger;
};

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
    testsupport::VirtualDisplay m_xvfb;
    QString m_display;

    struct Program {
        ~Program()
        {
            process.kill();
            process.waitForFinished(3000);
        }
        ProgramFolder folder;
        QProcess process;
        QString log() const { return folder.file("logs/" + QDate::currentDate().toString("yyyy_M_d") + ".txt"); }
    };

    bool haveDisplay() const { return !m_display.isEmpty(); }

    // Starts the built crestdial in the folder. The program gets the default
    // action for SIGXFSZ whatever this process does with it, and optionally a
    // file-size limit.
    void launch(Program &p, const QByteArray &prog, rlim_t fileSizeLimit = RLIM_INFINITY)
    {
        const QString exe = testsupport::installProgram(p.folder.path(), "crestdial", prog, m_display, p.process);
        QVERIFY(!exe.isEmpty());
        p.process.setChildProcessModifier([fileSizeLimit] {
            ::signal(SIGXFSZ, SIG_DFL);
            if (fileSizeLimit != RLIM_INFINITY) {
                const rlimit r{fileSizeLimit, fileSizeLimit};
                setrlimit(RLIMIT_FSIZE, &r);
            }
        });
        p.process.start(exe, {});
        QVERIFY(p.process.waitForStarted());
    }

    // Names of the process's visible windows.
    QStringList windowNames(qint64 pid)
    {
        QStringList names;
        for (const QString &id :
             run("xdotool", {"search", "--all", "--onlyvisible", "--pid", QString::number(pid), "--name", "."})
                 .split('\n', Qt::SkipEmptyParts))
            names << run("xdotool", {"getwindowname", id});
        return names;
    }
    // The main window's title, or "" while it is not shown.
    QString title(qint64 pid)
    {
        for (const QString &name : windowNames(pid))
            if (name.startsWith("Logger ") || name == "Veldra - Waiting for Signal")
                return name;
        return QString();
    }
    // Message boxes carry the program title alone.
    int messageBoxes(qint64 pid) { return int(windowNames(pid).count("Veldra")); }
    // Presses OK in the message box on top.
    void pressOk(qint64 pid)
    {
        const QStringList ids = run("xdotool", {"search", "--all", "--onlyvisible", "--pid", QString::number(pid),
                                                "--name", "^Veldra$"})
                                    .split('\n', Qt::SkipEmptyParts);
        QVERIFY(!ids.isEmpty());
        run("xdotool", {"windowfocus", "--sync", ids.last()});
        run("xdotool", {"key", "--clearmodifiers", "Return"});
    }

    static QString exitText(const QProcess &p)
    {
        return p.state() == QProcess::Running
                   ? QStringLiteral("running")
                   : QStringLiteral("ended, %1 %2")
                         .arg(p.exitStatus() == QProcess::CrashExit ? "crash" : "exit code")
                         .arg(p.exitStatus() == QProcess::CrashExit ? -1 : p.exitCode());
    }

private slots:
    void initTestCase()
    {
        core::setDecimalSeparator('.');
        // The in-process writes past a file-size limit must fail, not kill the test.
        ::signal(SIGXFSZ, SIG_IGN);
        if (m_xvfb.start())
            m_display = m_xvfb.name();
    }

    // ---- the built program ------------------------------------------------

    void deviceGoneAndBackWhileLogging()
    {
        if (!haveDisplay())
            QSKIP("Xvfb and xdotool are needed (scripts/install-deps installs them)");
        Program p;
        auto pty = std::make_unique<Pty>(p.folder.file("COM1"));
        QVERIFY(pty->ok());
        launch(p, testsupport::progCfg("1", "0", "0", "10", "1"));
        const qint64 pid = p.process.processId();
        QTRY_COMPARE_WITH_TIMEOUT(title(pid), QString("Veldra - Waiting for Signal"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT((pty->send(kLow), title(pid).startsWith("Logger  13 V")), 10000);

        // Gone: the program keeps running and stays idle while it looks for the device.
        pty->vanish();
        QTest::qWait(1000);
        const double before = cpuSeconds(pid);
        QTest::qWait(5000);
        const double used = cpuSeconds(pid) - before;
        qInfo("CPU while the device was gone: %.2f s in 5 s", used);
        QVERIFY2(used >= 0 && used < 0.5,
                 qPrintable(QString("CPU while the device was gone: %1 s in 5 s").arg(used)));
        QCOMPARE(exitText(p.process), QString("running"));

        // Back under the same name: frames are shown again...
        pty = std::make_unique<Pty>(p.folder.file("COM1"));
        QTRY_VERIFY_WITH_TIMEOUT((pty->send(kHigh), title(pid) == kHighTitle), 15000);
        const int logged = int(crlfLines(readFile(p.log())).size());

        // ...and every tick from now on logs them.
        QElapsedTimer t;
        t.start();
        while (crlfLines(readFile(p.log())).size() < logged + 3 && t.elapsed() < 45000) {
            pty->send(kHigh);
            QTest::qWait(250);
        }
        const QList<QByteArray> lines = crlfLines(readFile(p.log()));
        QVERIFY2(lines.size() >= logged + 3,
                 qPrintable(QString("%1 records after the device came back").arg(lines.size() - logged)));
        for (int i = logged; i < lines.size(); ++i)
            QVERIFY2(lines[i].startsWith(kHighRecord) && lines[i].endsWith("</T>"), lines[i].constData());
        QCOMPARE(messageBoxes(pid), 0);
    }

    // The simulated unit and udev both remove the COM entry when the device
    // goes and make it again when it comes back, to a new device.
    void entryRemovedAndMadeAgain()
    {
        if (!haveDisplay())
            QSKIP("Xvfb and xdotool are needed (scripts/install-deps installs them)");
        Program p;
        auto pty = std::make_unique<Pty>(p.folder.file("COM1"));
        QVERIFY(pty->ok());
        launch(p, testsupport::progCfg("1"));
        const qint64 pid = p.process.processId();
        QTRY_VERIFY_WITH_TIMEOUT((pty->send(kLow), title(pid).startsWith("Logger  13 V")), 15000);

        QFile::remove(p.folder.file("COM1"));
        pty.reset();
        QTest::qWait(5000);
        pty = std::make_unique<Pty>(p.folder.file("COM1"));
        QTRY_VERIFY_WITH_TIMEOUT((pty->send(kHigh), title(pid) == kHighTitle), 10000);
        QCOMPARE(messageBoxes(pid), 0);
    }

    void fileSizeLimitReachedWhileLogging()
    {
        if (!haveDisplay())
            QSKIP("Xvfb and xdotool are needed (scripts/install-deps installs them)");
        const rlim_t limit = 4096;
        Program p;
        Pty pty(p.folder.file("COM1"));
        QVERIFY(pty.ok());
        // The day's log stands just below the limit: its next record does not fit.
        const QByteArray full = fillTo(records(1), limit - 20);
        writeFile(p.log(), full);
        launch(p, testsupport::progCfg("1", "1", "1", "10", "1"), limit);
        const qint64 pid = p.process.processId();
        QTRY_COMPARE_WITH_TIMEOUT(title(pid), QString("Veldra - Waiting for Signal"), 15000);

        // Two ticks: the spreadsheet gets a row on each.
        const QString sheet = p.folder.file("Excel/" + QDate::currentDate().toString("yyyy_M_d") + ".xls");
        QElapsedTimer t;
        t.start();
        while (readFile(sheet).count("<tr><td>15</td>") < 2 && t.elapsed() < 35000
               && p.process.state() == QProcess::Running) {
            pty.send(kHigh);
            QTest::qWait(250);
        }
        QCOMPARE(exitText(p.process), QString("running"));
        QCOMPARE(
            readFile(sheet).count("<tr><td>15</td><td>3</td><td>45</td><td>150</td><td>5</td><td>Load On</td>"),
            2);
        QVERIFY(readFile(p.folder.file("html/log.asp")).contains("15 V"));
        const QStringList history = QDir(p.folder.file("html")).entryList({"history*.txt"});
        QCOMPARE(history.size(), 1);
        QCOMPARE(crlfLines(readFile(p.folder.file("html/" + history.front()))).size(), 2);
        // One message for the log, however many ticks failed, and one for
        // the archive, which cannot grow past the limit either.
        QCOMPARE(messageBoxes(pid), 2);
        QVERIFY(title(pid).startsWith("Logger  15 V"));
        QVERIFY2(readFile(p.log()) == full,
                 readFile(p.log()).mid(full.size()).toPercentEncoding("<>/:").constData());
    }

    void brokenSettingsAtStartUp()
    {
        if (!haveDisplay())
            QSKIP("Xvfb and xdotool are needed (scripts/install-deps installs them)");
        Program p;
        Pty pty(p.folder.file("COM1"));
        QVERIFY(pty.ok());
        p.folder.write("settings.cfg", binary(10 << 20, 7));
        launch(p, testsupport::progCfg());
        const qint64 pid = p.process.processId();

        // The user is told before the main window shows, once.
        QTRY_COMPARE_WITH_TIMEOUT(messageBoxes(pid), 1, 15000);
        QCOMPARE(title(pid), QString());
        pressOk(pid);
        QTRY_COMPARE_WITH_TIMEOUT(title(pid), QString("Veldra - Waiting for Signal"), 15000);
        QCOMPARE(messageBoxes(pid), 0);

        // Frames are read with the delivered calibration.
        QTRY_VERIFY_WITH_TIMEOUT((pty.send(kHigh), title(pid) == kHighTitle), 10000);
        QCOMPARE(messageBoxes(pid), 0);
        QCOMPARE(readFile(p.folder.file("settings.cfg")), binary(10 << 20, 7));
    }

    // ---- the windows in this process ----------------------------------------

    void unwritableTickFile_data();
    void unwritableTickFile();
    void unwritableSettingsFile_data();
    void unwritableSettingsFile();
    void brokenSettingsFile_data();
    void brokenSettingsFile();
    void oddLogFile_data();
    void oddLogFile();
};

// Each file a logging tick writes, made unwritable in two ways: a folder in
// its place, or a file-size limit it has reached.
void TestFaults::unwritableTickFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("folder");
    const QString history = historyFile();
    for (const bool folder : {true, false}) {
        const char *how = folder ? "folder in place" : "file-size limit";
        QTest::addRow("log, %s", how) << "logs/2026_3_7.txt" << folder;
        QTest::addRow("history, %s", how) << history << folder;
        QTest::addRow("live page, %s", how) << "html/log.asp" << folder;
        QTest::addRow("spreadsheet, %s", how) << "Excel/2026_3_7.xls" << folder;
    }
}

void TestFaults::unwritableTickFile()
{
    QFETCH(QString, target);
    QFETCH(bool, folder);
    const rlim_t limit = 4096;
    Rig rig(testsupport::progCfg("1", "1", "1", "10", "1"));
    const QString log = "logs/2026_3_7.txt", sheet = "Excel/2026_3_7.xls", page = "html/log.asp";
    const QString history = historyFile();

    // What the target holds before; it must hold exactly that while it fails.
    QByteArray before;
    if (folder) {
        QVERIFY(QDir().mkpath(rig.folder.file(target)));
    } else if (target == page) {
        // The page outgrows the limit through a long template.
        rig.folder.write("html/template.asp", "<VV> V <MM>\r\n<!--" + QByteArray(2 * limit, '-') + "-->");
        before = "the page of the last good tick\r\n";
    } else {
        // Just below the limit: the tick's line does not fit.
        before = fillTo(target == log ? records(1) : "an earlier line of this file\r\n", limit - 20);
    }
    if (!folder)
        rig.folder.write(target, before);
    rig.start();
    QVERIFY(rig.logger->Timer1->isActive());

    const QByteArray frames[3] = {kLow, kMid, kHigh};
    const QByteArray logged[3] = {kLowRecord, kMidRecord, kHighRecord};
    for (const QByteArray &frame : frames) {
        rig.port()->feed(frame);
        rig.fake.clock.advanceSeconds(10);
        FileSizeLimit l(folder ? RLIM_INFINITY : limit);
        QVERIFY(l.ok());
        rig.logger->Timer1_Timer();
    }

    // One message, naming the file; logging goes on.
    QCOMPARE(rig.fake.messages.texts.size(), 1);
    QVERIFY2(rig.fake.messages.texts.front().contains(QDir::toNativeSeparators(rig.folder.file(target))),
             qPrintable(rig.fake.messages.texts.front()));
    QVERIFY(rig.logger->Timer1->isActive());
    QCOMPARE(rig.logger->maxima().MaxVolts, 0.0);

    // The other files have every record.
    if (target != log) {
        const QList<QByteArray> lines = crlfLines(rig.folder.read(log));
        QCOMPARE(lines.size(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY2(lines[i].startsWith(logged[i]), lines[i].constData());
    }
    if (target != history) {
        const QList<QByteArray> lines = crlfLines(rig.folder.read(history));
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[0].startsWith("13V") && lines[1].startsWith("14V") && lines[2].startsWith("15V"),
                 rig.folder.read(history).constData());
    }
    if (target != sheet) {
        const QByteArray text = rig.folder.read(sheet);
        QCOMPARE(text.count("<tr><td>1"), 3);
        QVERIFY(text.contains("<tr><td>15</td><td>3</td><td>45</td><td>150</td><td>5</td><td>Load On</td>"));
    }
    if (target != page)
        QVERIFY(rig.folder.read(page).contains("15 V"));

    // Nothing half-written, and no temporary file left behind.
    if (folder) {
        QVERIFY(QFileInfo(rig.folder.file(target)).isDir());
        QCOMPARE(entries(rig.folder.file(target)), QStringList());
    } else {
        QVERIFY2(rig.folder.read(target) == before,
                 rig.folder.read(target).mid(before.size()).toPercentEncoding("<>/: ").constData());
    }
    const QSet<QString> known{"2026_3_7.txt",
                              "2026_3_7.xls",
                              "log.asp",
                              "log.html",
                              "template.asp",
                              "energy.csv",
                              QFileInfo(history).fileName()};
    for (const QString sub : {"logs", "html", "Excel"})
        for (const QString &name : entries(rig.folder.file(sub)))
            QVERIFY2(known.contains(name), qPrintable(sub + "/" + name));

    // Once it can be written again, the next tick's line is there in full.
    if (folder)
        QVERIFY(QDir(rig.folder.file(target)).removeRecursively());
    rig.port()->feed(kHigh);
    rig.fake.clock.advanceSeconds(10);
    rig.logger->Timer1_Timer();
    QCOMPARE(rig.fake.messages.texts.size(), 1);
    const QByteArray after = rig.folder.read(target);
    if (target == page) {
        QVERIFY(after.contains(folder ? "\">15</span><span class=\"unit\">V<" : "15 V Load On"));
        return;
    }
    const QByteArray added = after.mid(before.size());
    const QByteArray start = target == log     ? kHighRecord
                             : target == sheet ? QByteArray(folder ? "<html>" : "<tr><td>15</td>")
                                               : QByteArray("15V");
    QVERIFY2(after.startsWith(before) && added.startsWith(start) && added.endsWith("\r\n")
                 && (target != sheet || added.contains("<tr><td>15</td><td>3</td><td>45</td>")),
             added.toPercentEncoding("<>/: ").constData());
}

// The setup and calibration windows save their file whole or not at all.
void TestFaults::unwritableSettingsFile_data()
{
    QTest::addColumn<bool>("setup");
    QTest::newRow("prog.cfg from the setup window") << true;
    QTest::newRow("settings.cfg from the calibration window") << false;
}

void TestFaults::unwritableSettingsFile()
{
    QFETCH(bool, setup);
    const QString name = setup ? "prog.cfg" : "settings.cfg";
    Rig rig(testsupport::progCfg());
    rig.start();
    const QByteArray before = rig.folder.read(name);
    const QStringList files = entries(rig.folder.path());

    int refused = -1, accepted = -1;
    QByteArray duringSave;
    rig.fake.modal.onRun = [&](QDialog *d) {
        auto *setupWindow = qobject_cast<config::ProgramSetup *>(d);
        auto *calibrate = qobject_cast<config::Calibrate *>(d);
        QVERIFY(setup ? setupWindow != nullptr : calibrate != nullptr);
        if (setup)
            setupWindow->LogDelay->setText("30");
        else
            calibrate->BatteryVolts->setText("20.48");
        auto save = [&] {
            if (setup)
                setupWindow->Command1_Click();
            else
                calibrate->Command1_Click();
        };
        {
            // Smaller than the file: its write fails part way.
            FileSizeLimit l(64);
            QVERIFY(l.ok());
            save();
        }
        refused = d->result();
        duringSave = rig.folder.read(name);
        // Room again: the user presses save once more.
        save();
        accepted = d->result();
    };
    if (setup)
        rig.logger->Setup_Click();
    else
        rig.logger->CalibrateButton_Click();
    QCOMPARE(rig.fake.modal.runs, 1);

    QCOMPARE(duringSave, before);
    QCOMPARE(refused, int(QDialog::Rejected));
    QCOMPARE(rig.fake.messages.texts.size(), 1);
    QVERIFY2(rig.fake.messages.texts.front().startsWith("Could not save "
                                                        + QDir::toNativeSeparators(rig.folder.file(name))),
             qPrintable(rig.fake.messages.texts.front()));
    QCOMPARE(accepted, int(QDialog::Accepted));
    QCOMPARE(entries(rig.folder.path()), files);
    // The main window took up the saved settings and has its port again.
    if (setup) {
        QVERIFY(rig.folder.read(name).contains("<LogDelay>30</LogDelay>\r\n"));
        QCOMPARE(rig.logger->delay->text(), QString("30"));
    } else {
        QVERIFY(rig.folder.read(name).contains("<VoltDivider>20.48</VoltDivider>\r\n"));
        rig.port()->feed("[<V>614.4</V>]");
        QVERIFY2(rig.logger->windowTitle().startsWith("Logger  30 V"), qPrintable(rig.logger->windowTitle()));
    }
    QVERIFY(rig.port()->isOpen());
}

// Settings files that are empty, cut off, binary or huge: the program starts,
// says so once, uses the delivered value for each key it cannot find, leaves
// the file as it is, and the other windows open on the same values.
void TestFaults::brokenSettingsFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("missing");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("units");
    QTest::addColumn<QString>("voltDivider");
    QTest::addColumn<QString>("title");

    const QStringList progKeys{"Port", "Savehtml", "SaveExcel", "LogDelay", "LogOn", "DisplayRPM", "DisplayWS", "WSUnits"};
    const QStringList calKeys{"VoltDivider", "VoltOffset", "AmpDivider", "RPMDivider", "WSDivider"};
    const QByteArray prog = testsupport::progCfg("2", "0", "0", "60", "0", "1", "1", "knots");
    const QByteArray cal = "Calibration Settings\r\n\r\n\r\n<VoltDivider>20.48</VoltDivider>\r\n<VoltOffset>512</VoltOffset>\r\n";
    const QString delivered = "Logger  15 V  3 A  45 W  150 RPM  5 WIND ";
    const QByteArray huge = binary(10 << 20, 3);

    QTest::newRow("prog.cfg empty") << "prog.cfg" << QByteArray() << progKeys << "1" << "mph" << "40.96" << delivered;
    QTest::newRow("prog.cfg cut mid-tag")
        << "prog.cfg" << prog.left(prog.indexOf("<LogDelay>") + 5) << progKeys.mid(3) << "2" << "mph" << "40.96" << delivered;
    QTest::newRow("prog.cfg binary") << "prog.cfg" << binary(4096, 1) << progKeys << "1" << "mph" << "40.96" << delivered;
    QTest::newRow("prog.cfg 10 MB, keys at the end")
        << "prog.cfg" << huge + "\r\n<Port>3</Port>\r\n<WSUnits>knots</WSUnits>\r\n"
        << QStringList{"Savehtml", "SaveExcel", "LogDelay", "LogOn", "DisplayRPM", "DisplayWS"} << "3" << "knots"
        << "40.96" << delivered;

    QTest::newRow("settings.cfg empty") << "settings.cfg" << QByteArray() << calKeys << "1" << "mph" << "40.96" << delivered;
    QTest::newRow("settings.cfg cut mid-tag")
        << "settings.cfg" << cal.left(cal.indexOf("</VoltOffset>") + 4) << calKeys.mid(1) << "1" << "mph" << "20.48"
        << "Logger  30 V  3 A  90 W  150 RPM  5 WIND ";
    QTest::newRow("settings.cfg binary") << "settings.cfg" << binary(4096, 2) << calKeys << "1" << "mph" << "40.96" << delivered;
    QTest::newRow("settings.cfg 10 MB, keys at the end")
        << "settings.cfg" << huge + cal << calKeys.mid(2) << "1" << "mph" << "20.48"
        << "Logger  30 V  3 A  90 W  150 RPM  5 WIND ";
}

void TestFaults::brokenSettingsFile()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, missing);
    QFETCH(QString, port);
    QFETCH(QString, units);
    QFETCH(QString, voltDivider);
    QFETCH(QString, title);

    Rig rig(testsupport::progCfg());
    rig.folder.write(file, content);
    rig.start();

    QCOMPARE(rig.fake.messages.texts.size(), 1);
    const QString message = rig.fake.messages.texts.front();
    QVERIFY2(message.contains(QDir::toNativeSeparators(rig.folder.file(file))), qPrintable(message));
    QVERIFY2(message.contains(missing.join(", ")), qPrintable(message));
    QVERIFY(rig.port()->isOpen());
    QCOMPARE(rig.port()->portNumber(), port.toInt());
    rig.port()->feed(kHigh);
    QCOMPARE(rig.logger->windowTitle(), title);

    // The other windows open on the same values.
    QStringList seen;
    rig.fake.modal.onRun = [&](QDialog *d) {
        if (auto *setup = qobject_cast<config::ProgramSetup *>(d))
            seen << "setup " + setup->PortNumber->text() + " " + setup->WSUnits->text();
        else if (auto *cal = qobject_cast<config::Calibrate *>(d))
            seen << "calibration " + cal->BatteryVolts->text();
        else if (auto *graph = qobject_cast<graph::Graph *>(d))
            seen << "graph " + graph->ListView1->columnTitle(6);
    };
    rig.logger->Setup_Click();
    rig.logger->CalibrateButton_Click();
    rig.logger->ShowLogs_Click();
    QCOMPARE(seen, (QStringList{"setup " + port + " " + units, "calibration " + voltDivider, "graph " + units}));

    // Still told only once; the file is the user's and stays as it was.
    QCOMPARE(rig.fake.messages.texts.size(), 1);
    QVERIFY(rig.folder.read(file) == content);
    QVERIFY(rig.port()->isOpen());
    rig.port()->feed(kHigh);
    QCOMPARE(rig.logger->windowTitle(), title);
}

// Logs the graph window meets: a torn last line, NUL bytes, many lines and
// very long ones. The records loaded are those with a readable time in range.
void TestFaults::oddLogFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("range");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("message");
    // Volts of the first and last record loaded, and of one in between.
    QTest::addColumn<QList<double>>("volts");

    auto rec = [](double v, int minute) {
        return "<V>" + QByteArray::number(v) + "</V><I>1</I><W>2</W><R>3</R><S>4</S><M>0</M><T>" +
               QByteArray(core::timeText(minute / 60, minute % 60).c_str()) + "</T>";
    };
    QByteArray five;
    for (int i = 1; i <= 5; ++i)
        five += rec(i, 600 + i) + "\r\n";
    const QStringList day{"00", "00", "23", "59"};

    QTest::newRow("torn in a value") << five + rec(6, 606).left(20) << day << 5 << "" << QList<double>{1, 5, 3};
    QTest::newRow("torn in the time") << five + rec(6, 606).left(rec(6, 606).size() - 6) << day << 5 << ""
                                      << QList<double>{1, 5, 3};
    QTest::newRow("last line without its line end") << five + rec(6, 606) << day << 6 << "" << QList<double>{1, 6, 3};

    QTest::newRow("NUL in a value")
        << five + QByteArrayLiteral("<V>7\0</V><I>1</I><W>2</W><R>3</R><S>4</S><M>0</M><T>10:07</T>\r\n") + rec(8, 608) + "\r\n"
        << day << 7 << "" << QList<double>{1, 8, 0};
    QTest::newRow("line of NULs") << QByteArray(64, '\0') + "\r\n" + five << day << 5 << "" << QList<double>{1, 5, 3};
    QTest::newRow("NUL in the time")
        << five + QByteArrayLiteral("<V>7</V><I>1</I><W>2</W><R>3</R><S>4</S><M>0</M><T>10:\0" "07</T>\r\n") + rec(8, 608) + "\r\n"
        << day << 6 << "" << QList<double>{1, 8, 3};

    // 100 000 lines, line i with volts i at minute i mod 1440.
    QByteArray many;
    int inHour = 0, firstInHour = -1, lastInHour = -1;
    for (int i = 0; i < 100000; ++i) {
        const int minute = i % 1440;
        many += rec(i, minute) + "\r\n";
        if (minute >= 720 && minute <= 780) {
            ++inHour;
            if (firstInHour < 0)
                firstInHour = i;
            lastInHour = i;
        }
    }
    // Over the limit: the first 9,999 records are kept, nothing is drawn.
    QTest::newRow("100000 lines, whole day") << many << day << 9999 << kOverLimit << QList<double>{};
    QTest::newRow("100000 lines, one hour") << many << QStringList{"12", "00", "13", "00"} << inHour << ""
                                            << QList<double>{double(firstInHour), double(lastInHour), double(firstInHour + 1440)};

    const QByteArray megabyte(1 << 20, 'x');
    QTest::newRow("1 MB lines between records")
        << megabyte + "\r\n" + rec(1, 601) + "\r\n" + megabyte + "\r\n" + rec(2, 602) + "\r\n" + megabyte + "\r\n"
        << day << 2 << "" << QList<double>{1, 2, 2};
    QTest::newRow("1 MB of blanks in a value")
        << rec(1, 601) + "\r\n<V>" + QByteArray(1 << 20, ' ') + "13.45</V><I>1</I><W>2</W><R>3</R><S>4</S><M>0</M><T>10:02</T>\r\n" + rec(3, 603) + "\r\n"
        << day << 3 << "" << QList<double>{1, 3, 13.45};
    QTest::newRow("1 MB line that is one record")
        << rec(1, 601) + "\r\n<V>2</V><I>1</I><W>2</W><R>3</R><S>4</S><M>0</M><T>10:02</T>" + megabyte + "\r\n"
        << day << 2 << "" << QList<double>{1, 2, 2};
}

void TestFaults::oddLogFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, range);
    QFETCH(int, count);
    QFETCH(QString, message);
    QFETCH(QList<double>, volts);

    ProgramFolder folder;
    folder.write("logs/2026_3_7.txt", content);
    FakeServices fake(folder.path());
    graph::Graph g(fake.services());
    g.Time1h->setText(range[0]);
    g.Time1m->setText(range[1]);
    g.Time2h->setText(range[2]);
    g.Time2m->setText(range[3]);
    QElapsedTimer t;
    t.start();
    g.Command1_Click();
    qInfo("Display took %lld ms", t.elapsed());

    QCOMPARE(fake.messages.texts, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(g.graphCount(), count);
    // The load only added its empty line.
    QVERIFY(folder.read("logs/2026_3_7.txt") == content + "\r\n");
    if (!message.isEmpty()) {
        QCOMPARE(g.ListView1->rowCount(), 0);
        QCOMPARE(g.Plot->drawCount(), 0);
        return;
    }
    QCOMPARE(g.ListView1->rowCount(), count);
    QCOMPARE(g.records().front().V, volts[0]);
    QCOMPARE(g.records().back().V, volts[1]);
    QCOMPARE(g.ListView1->text(0, 2), ui::fromLocal(core::numberText(volts[0])) + " ");
    QCOMPARE(g.ListView1->text(count - 1, 2), ui::fromLocal(core::numberText(volts[1])) + " ");
    // The third value is a record in between (index 3, or the second for short loads).
    bool found = false;
    for (const core::LogRecord &r : g.records())
        found = found || r.V == volts[2];
    QVERIFY2(found, qPrintable(QString("no record with %1 V").arg(volts[2])));
    QVERIFY(g.Plot->drawCount() > 0);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
