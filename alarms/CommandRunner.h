// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs the alarm command: the program with its arguments, never through a
// shell, in the background, in a process group of its own so that the time
// limit ends whatever it started too. What it prints, how it ended, and
// failures to start go to a log file as one block of whole lines per run
// (the first line stamped when it started, the last when it ended); the log
// is kept under kMaxLogBytes with one older generation beside it.

#include "ui/Clock.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

namespace alarms {

class CommandRunner : public QObject {
    Q_OBJECT
public:
    // Runs beyond this many at once are not started (and logged): a value
    // flapping for hours must not pile up processes.
    static constexpr int kMaxRunning = 8;
    // Output kept per run; the rest is cut (and the cut logged).
    static constexpr qint64 kMaxOutput = 64 * 1024;
    // The log is moved to its ".1" name (replacing the older one) before a
    // block would take it past this.
    static constexpr qint64 kMaxLogBytes = 1024 * 1024;

    // Why `program` could not be run from `workingFolder` (a name without a
    // folder is looked for on the PATH), in words for a message; empty when
    // it is an executable file.
    static QString whyNotRunnable(const QString &program, const QString &workingFolder);

    CommandRunner(const ui::Clock *clock, QString logFile, QString workingFolder, QObject *parent = nullptr);
    ~CommandRunner() override;

    // Starts `program` with `arguments`. A run still going after
    // `limitSeconds` is killed with everything in its process group; what a
    // run that ended by itself left running is ended at the same moment.
    void run(const QString &program, const QStringList &arguments, double limitSeconds);
    int running() const { return m_running; }
    // Why the last run could not be started, until a run ends with exit code
    // 0; empty when none failed to start.
    QString startProblem() const { return m_startProblem; }

signals:
    // A run has ended and its block is in the log (for tests).
    void finished();
    void startProblemChanged(const QString &problem);

private:
    void log(const QDateTime &started, const QString &head, const QByteArray &output, const QString &end);
    void setStartProblem(const QString &problem);

    const ui::Clock *m_clock;
    QString m_logFile, m_folder;
    int m_running = 0;
    QString m_startProblem;
};

} // namespace alarms
