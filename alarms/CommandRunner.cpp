#include "CommandRunner.h"

#include "ui/Files.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <memory>

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
} // namespace

CommandRunner::CommandRunner(const ui::Clock *clock, QString logFile, QString workingFolder, QObject *parent)
    : QObject(parent), m_clock(clock), m_logFile(std::move(logFile)), m_folder(std::move(workingFolder))
{ }

CommandRunner::~CommandRunner()
{
    for (QProcess *p : findChildren<QProcess *>()) {
        p->disconnect(this);
        p->kill();
        p->waitForFinished(1000);
    }
}

void CommandRunner::log(const QString &head, const QByteArray &output, const QString &end)
{
    ui::ensureFolder(QFileInfo(m_logFile).absolutePath());
    const QString stamp = m_clock->now().toString(Qt::ISODate);
    QByteArray block = (stamp + QLatin1Char(' ') + head).toLocal8Bit() + "\r\n";
    block += asLines(output);
    block += (stamp + QLatin1Char(' ') + end).toLocal8Bit() + "\r\n";
    ui::append(m_logFile, block);
}

void CommandRunner::run(const QString &program, const QStringList &arguments, double limitSeconds)
{
    QStringList quoted;
    for (const QString &a : arguments)
        quoted << QLatin1Char('"') + a + QLatin1Char('"');
    const QString head = QStringLiteral("run %1 %2").arg(program, quoted.join(QLatin1Char(' ')));
    if (m_running >= kMaxRunning) {
        log(head, QByteArray(), QStringLiteral("not started: %1 earlier runs are still going").arg(m_running));
        emit finished();
        return;
    }

    auto *p = new QProcess(this);
    p->setProcessChannelMode(QProcess::MergedChannels);
    p->setWorkingDirectory(m_folder);
    p->setStandardInputFile(QProcess::nullDevice());
    auto output = std::make_shared<QByteArray>();
    auto cut = std::make_shared<bool>(false);
    auto killed = std::make_shared<bool>(false);
    auto *limit = new QTimer(p);
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
    connect(limit, &QTimer::timeout, this, [p, killed] {
        *killed = true;
        p->kill();
    });
    const auto done = [this, p, head, output, cut](const QString &end) {
        --m_running;
        QByteArray text = *output;
        if (*cut)
            text += QByteArray("\n(output cut after %1 bytes)").replace("%1", QByteArray::number(kMaxOutput));
        log(head, text, end);
        p->deleteLater();
        emit finished();
    };
    connect(p, &QProcess::finished, this, [p, killed, limitSeconds, done](int code, QProcess::ExitStatus status) {
        if (*killed)
            done(QStringLiteral("killed after %1 s").arg(limitSeconds));
        else if (status == QProcess::CrashExit)
            done(QStringLiteral("failed: it crashed (%1)").arg(p->errorString()));
        else if (code != 0)
            done(QStringLiteral("failed: exit code %1").arg(code));
        else
            done(QStringLiteral("ended: exit code 0"));
    });
    connect(p, &QProcess::errorOccurred, this, [p, done](QProcess::ProcessError error) {
        // Only a run that never started ends here; the others end in finished().
        if (error == QProcess::FailedToStart)
            done(QStringLiteral("failed: could not start it (%1)").arg(p->errorString()));
    });
    limit->start();
    // The program and each argument go to the system as they are: no shell
    // splits, expands or quotes them.
    p->start(program, arguments);
}

} // namespace alarms
