// SPDX-License-Identifier: GPL-3.0-or-later
// Which folder the built program runs on, and one program per folder: the
// programs are copied into the layouts a user has (a folder of its own, a
// build's bin, an installed prefix) and started on a virtual X display.
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QtTest>

using testsupport::Pty;
using testsupport::lockHolder;
using testsupport::readFile;
using testsupport::run;

namespace {

bool copyExecutable(const QString &edition, const QString &folder)
{
    const QString exe = folder + "/" + edition;
    return QDir().mkpath(folder) && QFile::copy(qEnvironmentVariable("VELDRA_BIN") + "/" + edition, exe)
           && QFile::setPermissions(exe, QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
}

} // namespace

class TestFolders : public QObject {
    Q_OBJECT
    testsupport::VirtualDisplay m_xvfb;
    QString m_display;

    // The environment of a user whose home is `home`, on the virtual display.
    QProcessEnvironment environment(const QString &home) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        env.remove("XDG_DATA_HOME");
        env.insert("DISPLAY", m_display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        return env;
    }

    // The first window of the process named exactly `name`, or "".
    QString window(qint64 pid, const QString &name)
    {
        return run("xdotool", {"search", "--all", "--pid", QString::number(pid), "--name", "^" + name + "$"})
            .split('\n', Qt::SkipEmptyParts)
            .value(0);
    }

private slots:
    void initTestCase()
    {
        if (!m_xvfb.start())
            QSKIP("Xvfb and xdotool are needed (scripts/install-deps installs them)");
        m_display = m_xvfb.name();
    }

    // Folders are relative to a scratch folder, which is also the working
    // folder, so a relative --folder is taken from there.
    void folderOrder_data()
    {
        QTest::addColumn<QString>("programIn");
        QTest::addColumn<bool>("shareBeside");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected");
        const QString data = "home/.local/share/veldra";
        QTest::newRow("own folder") << "mill" << false << QStringList{} << "mill";
        QTest::newRow("a build's bin") << "build/bin" << false << QStringList{} << "build/bin";
        QTest::newRow("installed") << "usr/bin" << true << QStringList{} << data;
        QTest::newRow("installed, --folder") << "usr/bin" << true << QStringList{"--folder", "given"} << "given";
        QTest::newRow("own folder, --folder=") << "mill" << false << QStringList{"--folder=given"} << "given";
    }

    void folderOrder()
    {
        QFETCH(QString, programIn);
        QFETCH(bool, shareBeside);
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        QTemporaryDir scratch;
        const QDir root(scratch.path());
        QVERIFY(copyExecutable("crestdial", root.filePath(programIn)));
        const QString dist = qEnvironmentVariable("VELDRA_SOURCE") + "/dist";
        const QStringList delivered{"prog.cfg", "settings.cfg", "html/template.asp"};
        if (shareBeside) {
            QVERIFY(root.mkpath("usr/share/veldra/html"));
            for (const QString &f : delivered)
                QVERIFY(QFile::copy(dist + "/" + f, root.filePath("usr/share/veldra/" + f)));
        }
        QVERIFY(root.mkpath("home") && root.mkpath("given"));
        const QString exe = root.filePath(programIn + "/crestdial");
        const QString folder = root.filePath(expected);

        QProcess help;
        help.setProcessEnvironment(environment(root.filePath("home")));
        help.setWorkingDirectory(root.path());
        help.start(exe, args + QStringList{"--help"});
        QVERIFY(help.waitForFinished(10000));
        QCOMPARE(help.exitCode(), 0);
        QVERIFY2(help.readAllStandardOutput().contains("Program folder: " + folder.toLocal8Bit() + "\n"),
                 qPrintable(folder));

        QProcess program;
        program.setProcessEnvironment(environment(root.filePath("home")));
        program.setWorkingDirectory(root.path());
        program.start(exe, args);
        QVERIFY(program.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(lockHolder(folder), program.processId(), 15000);
        for (const QString &other : {programIn, QString("given"), QString("home/.local/share/veldra")})
            if (other != expected)
                QVERIFY2(!QFileInfo::exists(root.filePath(other + "/veldra.lock")), qPrintable(other));
        // Only the installed program makes its folder; every new folder gets
        // the delivered files, from the installed copies or the program's own
        // (written just after the lock is taken, so they may come a moment later).
        QCOMPARE(QFileInfo::exists(root.filePath("home/.local")), expected.startsWith("home"));
        for (const QString &f : delivered)
            QTRY_COMPARE_WITH_TIMEOUT(readFile(folder + "/" + f), readFile(dist + "/" + f), 15000);
        QVERIFY(QFileInfo(folder + "/logs").isDir() && QFileInfo(folder + "/Excel").isDir());
        program.kill();
        program.waitForFinished(3000);
    }

    void oneProgramPerFolder()
    {
        testsupport::ProgramFolder folder;
        Pty pty(folder.file("COM1"));
        QVERIFY(pty.ok());
        QVERIFY(copyExecutable("crestdial", folder.path()) && copyExecutable("flankdial", folder.path()));
        const QProcessEnvironment env = environment(folder.path());

        QProcess first;
        first.setProcessEnvironment(env);
        first.start(folder.file("crestdial"), {});
        QVERIFY(first.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(lockHolder(folder.path()), first.processId(), 15000);

        // The other edition on the same folder brings the running window to
        // the front and ends. However old the lock, a running holder keeps it.
        QFile lock(folder.file("veldra.lock"));
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
        lock.close();
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(folder.file("flankdial"), {});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(second.readAllStandardError().contains(
            QString("crestdial (process %1) already runs on the folder %2; its window was brought to the front.")
                .arg(first.processId())
                .arg(folder.path())
                .toLocal8Bit()));
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(lockHolder(folder.path()), first.processId());

        // Killed, the first leaves its lock behind; the next start takes it over.
        const qint64 killed = first.processId();
        first.kill();
        QVERIFY(first.waitForFinished(5000));
        QCOMPARE(lockHolder(folder.path()), killed);
        QProcess service;
        QProcessEnvironment bare = env;
        bare.remove("DISPLAY");
        bare.remove("QT_QPA_PLATFORM");
        service.setProcessEnvironment(bare);
        service.start(qEnvironmentVariable("VELDRA_BIN") + "/veldra-service", {"--folder", folder.path()});
        QVERIFY(service.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(lockHolder(folder.path()), service.processId(), 15000);

        // The service has no window to show: a window started beside it is
        // told which program holds the folder, once, and ends.
        QProcess refused;
        refused.setProcessEnvironment(env);
        refused.start(folder.file("flankdial"), {});
        QVERIFY(refused.waitForStarted());
        const QString text =
            QString("Another Veldra program, veldra-service (process %1), is already running on the folder %2.")
                .arg(service.processId())
                .arg(folder.path());
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += refused.readAllStandardError()).contains(text.toLocal8Bit()), 15000);
        QString box;
        QTRY_VERIFY_WITH_TIMEOUT(!(box = window(refused.processId(), "Veldra")).isEmpty(), 15000);
        QVERIFY(window(refused.processId(), "Veldra - Waiting for Signal").isEmpty());
        run("xdotool", {"windowfocus", "--sync", box, "key", "Return"});
        QVERIFY(refused.waitForFinished(10000));
        QCOMPARE(refused.exitCode(), 1);
        service.terminate();
        QVERIFY(service.waitForFinished(10000));
        QCOMPARE(service.exitCode(), 0);

        QProcess third;
        third.setProcessEnvironment(env);
        third.start(folder.file("crestdial"), {});
        QVERIFY(third.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(lockHolder(folder.path()), third.processId(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!window(third.processId(), "Veldra - Waiting for Signal").isEmpty(), 15000);
        third.terminate();
        third.waitForFinished(5000);
    }

    // Answered without a display, before the window system starts.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("version") << QStringList{"--version"} << 0 << "^crestdial \\(Veldra\\) \\d+\\.\\d+\\.\\d+\\n$" << "^$";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << "^$"
                                        << "^crestdial: unknown option '--bogus'\\nUsage: crestdial \\[--folder DIR\\]";
        QTest::newRow("no such folder") << QStringList{"--folder", "/nonexistent/mill"} << 2 << "^$"
                                        << "^crestdial: there is no folder '/nonexistent/mill'\\nUsage:";
    }

    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("VELDRA_BIN") + "/crestdial", args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), status);
        const QString said = QString::fromLocal8Bit(p.readAllStandardOutput());
        const QString complained = QString::fromLocal8Bit(p.readAllStandardError());
        QVERIFY2(QRegularExpression(out).match(said).hasMatch(), qPrintable(said));
        QVERIFY2(QRegularExpression(err).match(complained).hasMatch(), qPrintable(complained));
    }
};

QTEST_GUILESS_MAIN(TestFolders)
#include "tst_folders.moc"
