// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers for driving the built programs from outside: a pseudo-terminal
// linked as a COM entry, short commands, and a process's CPU time and memory.
// Header-only.

#include "Broker.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace testsupport {

// A pseudo-terminal whose device end is linked (e.g. as COM1) in a folder.
class Pty {
public:
    explicit Pty(const QString &link)
    {
        int slave = -1;
        char name[256] = {};
        if (openpty(&m_master, &slave, name, nullptr, nullptr) != 0) {
            m_master = -1;
            return;
        }
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        ::close(slave);
        // Never block when the program is not reading, and keep this end out
        // of the program, or closing it here would not hang the line up.
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        fcntl(m_master, F_SETFD, FD_CLOEXEC);
        QFile::remove(link);
        QFile::link(QString::fromLocal8Bit(name), link);
    }
    ~Pty() { vanish(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool ok() const { return m_master >= 0; }

    // Writes all of it, waiting (up to `waitMs`) while the terminal's buffer
    // is full; false when not everything could be written.
    bool send(const QByteArray &bytes, int waitMs = 0)
    {
        qsizetype done = 0;
        QElapsedTimer t;
        t.start();
        while (m_master >= 0 && done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else if ((n < 0 && errno != EAGAIN) || t.elapsed() >= waitMs)
                break;
            else
                QThread::msleep(2);
        }
        return done == bytes.size();
    }

    // As when an adapter is unplugged: the link stays and points at nothing.
    void vanish()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
};

// The whole file, or nothing when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The process id written in a program folder's lock file, or 0.
// Sends `signal` to the process while it runs; false when it has ended (the
// pid is 0 then, and kill(0, ...) would signal this test's own process group:
// ctest and everything that started it).
inline bool signalProcess(QProcess &p, int signal)
{
    const qint64 pid = p.processId();
    return pid > 0 && ::kill(pid_t(pid), signal) == 0;
}

inline qint64 lockHolder(const QString &folder)
{
    return readFile(folder + "/veldra.lock").split('\n').value(0).toLongLong();
}

// A virtual X display (Xvfb on a free display number) that this process and
// the programs it starts use; it ends with the object.
class VirtualDisplay {
public:
    ~VirtualDisplay()
    {
        if (m_xvfb.state() != QProcess::NotRunning) {
            m_xvfb.terminate();
            m_xvfb.waitForFinished(3000);
        }
    }
    // False when Xvfb or xdotool is missing or the display did not come up
    // within 10 s. Sets DISPLAY for this process.
    bool start()
    {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty()
            || QStandardPaths::findExecutable("xdotool").isEmpty())
            return false;
        // Xvfb picks a free display and tells its number on standard output.
        m_xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x900x24", "-nolisten", "tcp", "-noreset"});
        if (!m_xvfb.waitForStarted()
            || !waitFor([&] { return m_xvfb.canReadLine() || m_xvfb.waitForReadyRead(100); }))
            return false;
        m_name = ":" + QString::fromLatin1(m_xvfb.readLine()).trimmed();
        qputenv("DISPLAY", m_name.toLocal8Bit());
        return waitFor([&] {
            QProcess probe;
            probe.setStandardOutputFile(QProcess::nullDevice());
            probe.setStandardErrorFile(QProcess::nullDevice());
            probe.start("xdpyinfo", {"-display", m_name});
            return probe.waitForFinished(5000) && probe.exitCode() == 0;
        });
    }
    // ":N", or "" before start() succeeded.
    const QString &name() const { return m_name; }

private:
    template <typename Ready>
    static bool waitFor(Ready ready)
    {
        QElapsedTimer t;
        t.start();
        while (!ready()) {
            if (t.elapsed() > 10000)
                return false;
            QThread::msleep(100);
        }
        return true;
    }
    QProcess m_xvfb;
    QString m_name;
};

// Starts the simulated unit on port 1 of `folder` with `options` (what it
// sends and how fast); false when it did not start.
inline bool startUnit(QProcess &unit, const QString &folder, const QStringList &options)
{
    unit.start(qEnvironmentVariable("VELDRA_BIN") + "/../tools/veldra-simunit",
               QStringList{"--folder", folder, "--port", "1", "--quiet"} + options);
    return unit.waitForStarted();
}

// Copies a built program (from VELDRA_BIN) into a program folder, writes its
// prog.cfg and prepares `process` to run it there on the given X display.
// Returns the program's path, or "" when it could not be copied.
inline QString installProgram(const QString &folder, const QString &edition, const QByteArray &prog,
                              const QString &display, QProcess &process)
{
    const QString exe = folder + "/" + edition;
    QFile::remove(exe);
    if (!QFile::copy(qEnvironmentVariable("VELDRA_BIN") + "/" + edition, exe))
        return QString();
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
    QFile cfg(folder + "/prog.cfg");
    if (!cfg.open(QIODevice::WriteOnly | QIODevice::Truncate) || cfg.write(prog) != prog.size())
        return QString();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    return exe;
}

// Installs `edition` in the folder with `prog` as its prog.cfg and starts it
// on Qt's offscreen platform; its path, or "" when it could not be started.
inline QString startOffscreen(const QString &folder, const QString &edition, const QByteArray &prog,
                              QProcess &process)
{
    const QString exe = installProgram(folder, edition, prog, QString(), process);
    if (exe.isEmpty())
        return QString();
    QProcessEnvironment env = process.processEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(exe, {});
    return process.waitForStarted() ? exe : QString();
}

// Starts `program` on `folder` with `prog` as its prog.cfg: an edition on
// Qt's offscreen platform, or "veldra-service"; true once something listens
// on `port`, within a minute.
inline bool startServing(QProcess &process, const QString &folder, const QString &program, const QByteArray &prog,
                         int port)
{
    if (program == "veldra-service") {
        QFile cfg(folder + "/prog.cfg");
        if (!cfg.open(QIODevice::WriteOnly | QIODevice::Truncate) || cfg.write(prog) != prog.size())
            return false;
        cfg.close();
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(qEnvironmentVariable("VELDRA_BIN") + "/veldra-service", {"--folder", folder});
        if (!process.waitForStarted())
            return false;
    } else if (startOffscreen(folder, program, prog, process).isEmpty()) {
        return false;
    }
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 60000) {
        if (listening(port))
            return true;
        QThread::msleep(100);
    }
    return false;
}

// Ends a started program: SIGTERM, and a kill after 10 s.
inline void endProgram(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000))
        process.kill();
    process.waitForFinished(3000);
}

// The standard output of a short command, without its final line ends.
inline QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(5000);
    QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    while (out.endsWith('\n'))
        out.chop(1);
    return out;
}

// CPU seconds a process has used so far (-1 when it is gone).
inline double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

// Resident memory of a process in megabytes (-1 when it is gone).
inline double rssMegabytes(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return -1;
}

} // namespace testsupport
