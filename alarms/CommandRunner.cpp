// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandRunner.h"

#include "ui/Files.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <memory>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace alarms {

namespace {
// Whole lines with CR LF ends, whatever the command printed.
QByteArray asLines(const QByteArray &text)
{
    QByteArray out;
    if (text.isEmpty())
        return out;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        out += line + "\r\n";
    }
    if (text.endsWith('\n'))
        out.chop(2); // the split's empty piece after the last line end
    return out;
}

// The processes of one run: on Unix the session its first process leads
// (whose id is the group's), on Windows a job object the first process is
// put in as it starts, which whatever it starts then belongs to as well.
struct RunGroup {
    qint64 id = 0; // the group's id, or the job's handle; 0 when there is none
    RunGroup() = default;
    RunGroup(const RunGroup &) = delete;
    RunGroup &operator=(const RunGroup &) = delete;
    ~RunGroup()
    {
#ifdef Q_OS_WIN
        // Closing the handle leaves what runs in the job running.
        if (id)
            ::CloseHandle(HANDLE(quintptr(id)));
#endif
    }
    void adopt(QProcess *first)
    {
#ifdef Q_OS_WIN
        HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
        HANDLE process = ::OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(first->processId()));
        if (job && process && ::AssignProcessToJobObject(job, process))
            id = qint64(quintptr(job));
        else if (job)
            ::CloseHandle(job);
        if (process)
            ::CloseHandle(process);
#else
        id = first->processId();
#endif
    }
};

// Ends every process of a run's group; true while any of them was still there.
bool endGroup(qint64 group)
{
#if defined(Q_OS_UNIX)
    return group > 0 && ::kill(-pid_t(group), SIGKILL) == 0;
#elif defined(Q_OS_WIN)
    return group != 0 && ::TerminateJobObject(HANDLE(quintptr(group)), 1);
#else
    Q_UNUSED(group);
    return false;
#endif
}

bool groupAlive(qint64 group)
{
#if defined(Q_OS_UNIX)
    return group > 0 && ::kill(-pid_t(group), 0) == 0;
#elif defined(Q_OS_WIN)
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    return group != 0
           && ::QueryInformationJobObject(HANDLE(quintptr(group)), JobObjectBasicAccountingInformation, &info,
                                          sizeof info, nullptr)
           && info.ActiveProcesses > 0;
#else
    Q_UNUSED(group);
    return false;
#endif
}
} // namespace

QString CommandRunner::whyNotRunnable(const QString &program, const QString &workingFolder)
{
    QString path = program;
    if (!program.contains(QLatin1Char('/'))) {
        path = QStandardPaths::findExecutable(program);
        if (path.isEmpty())
            return QStringLiteral("no program of that name is on the PATH");
    }
    const QFileInfo file(QDir(workingFolder), path);
    if (!file.exists())
        return QStringLiteral("there is no such file");
    if (file.isDir())
        return QStringLiteral("it is a folder");
    if (!file.isExecutable())
        return QStringLiteral("it is not executable");
    return QString();
}

CommandRunner::CommandRunner(const ui::Clock *clock, QString logFile, QString workingFolder, QObject *parent)
    : QObject(parent), m_clock(clock), m_logFile(std::move(logFile)), m_folder(std::move(workingFolder))
{ }

CommandRunner::~CommandRunner()
{
    for (QProcess *p : findChildren<QProcess *>()) {
        p->disconnect(this);
        endGroup(p->property("group").toLongLong());
        p->kill();
        p->waitForFinished(1000);
    }
    // Groups whose first process ended but which left others running.
    for (QTimer *t : findChildren<QTimer *>(QStringLiteral("leftovers")))
        endGroup(t->property("group").toLongLong());
}

void CommandRunner::log(const QDateTime &started, const QString &head, const QByteArray &output,
                        const QString &end)
{
    ui::ensureFolder(QFileInfo(m_logFile).absolutePath());
    QByteArray block = (started.toString(Qt::ISODate) + QLatin1Char(' ') + head).toLocal8Bit() + "\r\n";
    block += asLines(output);
    block += (m_clock->now().toString(Qt::ISODate) + QLatin1Char(' ') + end).toLocal8Bit() + "\r\n";
    if (QFileInfo(m_logFile).size() + block.size() > kMaxLogBytes) {
        const QString older = m_logFile + QStringLiteral(".1");
        QFile::remove(older);
        QFile::rename(m_logFile, older);
    }
    ui::append(m_logFile, block);
}

void CommandRunner::setStartProblem(const QString &problem)
{
    if (problem == m_startProblem)
        return;
    m_startProblem = problem;
    emit startProblemChanged(problem);
}

void CommandRunner::run(const QString &program, const QStringList &arguments, double limitSeconds)
{
    QStringList quoted;
    for (const QString &a : arguments)
        quoted << QLatin1Char('"') + a + QLatin1Char('"');
    const QString head = QStringLiteral("run %1 %2").arg(program, quoted.join(QLatin1Char(' ')));
    const QDateTime started = m_clock->now();
    if (m_running >= kMaxRunning) {
        log(started, head, QByteArray(),
            QStringLiteral("not started: %1 earlier runs are still going").arg(m_running));
        emit finished();
        return;
    }

    auto *p = new QProcess(this);
#ifdef Q_OS_UNIX
    // A session (and so a process group) of its own: the limit then reaches
    // what a script starts, and no signal meant for this program reaches it.
    p->setChildProcessModifier([] { ::setsid(); });
#endif
    p->setProcessChannelMode(QProcess::MergedChannels);
    p->setWorkingDirectory(m_folder);
    p->setStandardInputFile(QProcess::nullDevice());
    auto output = std::make_shared<QByteArray>();
    auto cut = std::make_shared<bool>(false);
    auto killed = std::make_shared<bool>(false);
    auto group = std::make_shared<RunGroup>();
    // The limit outlives the first process when the run left others behind.
    auto *limit = new QTimer(this);
    limit->setSingleShot(true);
    limit->setInterval(int(limitSeconds * 1000));
    ++m_running;

    connect(p, &QProcess::readyReadStandardOutput, this, [p, output, cut] {
        const QByteArray more = p->readAllStandardOutput();
        const qint64 room = kMaxOutput - output->size();
        if (more.size() > room)
            *cut = true;
        *output += more.left(qMax<qint64>(0, room));
    });
    connect(limit, &QTimer::timeout, this, [limit, group, killed] {
        *killed = true;
        endGroup(group->id);
        if (auto *first = qobject_cast<QProcess *>(limit->parent()))
            first->kill();
        else
            limit->deleteLater();
    });
    limit->setParent(p);
    const auto done = [this, p, head, started, output, cut, group, limit](const QString &end) {
        --m_running;
        QByteArray text = *output;
        if (*cut)
            text += QByteArray("\n(output cut after %1 bytes)").replace("%1", QByteArray::number(kMaxOutput));
        if (groupAlive(group->id) && limit->isActive()) {
            text += "\n(it left processes running; they are ended when the time limit is up)";
            limit->setParent(this);
            limit->setObjectName(QStringLiteral("leftovers"));
            limit->setProperty("group", group->id);
        }
        log(started, head, text, end);
        p->deleteLater();
        emit finished();
    };
    connect(p, &QProcess::finished, this,
            [this, p, killed, limitSeconds, done](int code, QProcess::ExitStatus status) {
                if (*killed)
                    done(QStringLiteral("killed after %1 s").arg(limitSeconds));
                else if (status == QProcess::CrashExit)
                    done(QStringLiteral("failed: it crashed (%1)").arg(p->errorString()));
                else if (code != 0)
                    done(QStringLiteral("failed: exit code %1").arg(code));
                else {
                    setStartProblem(QString());
                    done(QStringLiteral("ended: exit code 0"));
                }
            });
    connect(p, &QProcess::errorOccurred, this, [this, p, done](QProcess::ProcessError error) {
        // Only a run that never started ends here; the others end in finished().
        if (error == QProcess::FailedToStart) {
            setStartProblem(p->errorString());
            done(QStringLiteral("failed: could not start it (%1)").arg(p->errorString()));
        }
    });
    connect(p, &QProcess::started, this, [p, group] {
        group->adopt(p);
        p->setProperty("group", group->id);
    });
    limit->start();
    // The program and each argument go to the system as they are: no shell
    // splits, expands or quotes them.
    p->start(program, arguments);
}

} // namespace alarms
