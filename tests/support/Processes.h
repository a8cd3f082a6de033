#pragma once
// Helpers for driving the built programs from outside: a pseudo-terminal
// linked as a COM entry, short commands, and a process's CPU time and memory.
// Header-only.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QThread>

#include <cerrno>
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
