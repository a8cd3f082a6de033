#pragma once
// Runs the alarm command: the program with its arguments, never through a
// shell, in the background. What it prints, how it ended, and failures to
// start go to a log file as one block of whole lines per run; nothing is ever
// shown to the user from here.

#include "ui/Clock.h"

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

    CommandRunner(const ui::Clock *clock, QString logFile, QString workingFolder, QObject *parent = nullptr);
    ~CommandRunner() override;

    // Starts `program` with `arguments`; a run still going after `limitSeconds`
    // is killed.
    void run(const QString &program, const QStringList &arguments, double limitSeconds);
    int running() const { return m_running; }

signals:
    // A run has ended and its block is in the log (for tests).
    void finished();

private:
    void log(const QString &head, const QByteArray &output, const QString &end);

    const ui::Clock *m_clock;
    QString m_logFile, m_folder;
    int m_running = 0;
};

} // namespace alarms
