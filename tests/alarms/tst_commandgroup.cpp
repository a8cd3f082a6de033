// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm command's time limit ends what the command started too, on every
// system (a process group on Unix, a job object on Windows). The command is
// this test program itself, run as a child that starts a grandchild.
#include "alarms/CommandRunner.h"
#include "support/Fakes.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QSignalSpy>
#include <QtTest>
#include <thread>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace {
bool gone(qint64 pid)
{
#ifdef Q_OS_WIN
    HANDLE h = ::OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!h)
        return true;
    const bool ended = ::WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    ::CloseHandle(h);
    return ended;
#else
    // Gone, or dead and waiting only for its new parent to reap it.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return ::kill(pid_t(pid), 0) != 0 || (stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z "));
#endif
}
} // namespace

class TestCommandGroup : public QObject {
    Q_OBJECT
private slots:
    void limitEndsWhatTheCommandStarted()
    {
        testsupport::ProgramFolder folder;
        testsupport::FakeClock clock;
        alarms::CommandRunner runner(&clock, folder.file("logs/alarms-command.log"), folder.path());
        QSignalSpy ended(&runner, &alarms::CommandRunner::finished);
        runner.run(QCoreApplication::applicationFilePath(), {"child"}, 1.0);
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 30000);
        const QByteArray log = folder.read("logs/alarms-command.log");
        QVERIFY2(log.contains("waiting\r\n") && log.contains("killed after 1 s"), log.constData());
        QTRY_VERIFY_WITH_TIMEOUT(folder.exists("grandchild.pid"), 5000);
        const qint64 grandchild = folder.read("grandchild.pid").trimmed().toLongLong();
        QVERIFY(grandchild > 0);
        QTRY_VERIFY_WITH_TIMEOUT(gone(grandchild), 10000);
    }
};

int main(int argc, char **argv)
{
    const QByteArray role = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (role == "grandchild") {
        std::this_thread::sleep_for(std::chrono::seconds(120));
        return 0;
    }
    if (role == "child") {
        // In the command's working folder (the program folder).
        QCoreApplication app(argc, argv);
        auto *grandchild = new QProcess; // kept running past this process
        grandchild->start(QCoreApplication::applicationFilePath(), {"grandchild"});
        if (!grandchild->waitForStarted(10000))
            return 2;
        QFile pid("grandchild.pid");
        if (!pid.open(QIODevice::WriteOnly) || pid.write(QByteArray::number(grandchild->processId())) <= 0)
            return 3;
        pid.close();
        std::printf("waiting\n");
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::seconds(60));
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestCommandGroup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_commandgroup.moc"
