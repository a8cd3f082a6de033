// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Import daily logs": the days before the archive, read from logs/*.txt into
// archive.sqlite as minutes marked imported, on a worker thread of its own
// with its own connection. Every log before today is read (today's minutes
// are the running program's); minutes already in the archive are skipped,
// so a second run adds only what the first did not. Each day is one
// transaction: a cancel or a failure keeps the days done.

#include "core/Axis.h"
#include "core/EnergyBook.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

class QThread;

namespace archive {

// The local zone of this computer, for any thread (each call makes its own
// cache of offsets, which changes of the clocks only ever take at whole
// quarter hours).
core::OffsetAt localZone();

class LogImporter : public QObject {
    Q_OBJECT
public:
    struct Job {
        core::CivilDate date;
        QString log;
    };
    struct Outcome {
        long long added = 0;
        int done = 0, unreadable = 0;
        bool cancelled = false;
        QString failure; // why the archive could not take a day; empty when it did
    };

    LogImporter(QString programFolder, const core::CivilDate &today, core::OffsetAt zone, QObject *parent = nullptr);
    // Cancels a run still going and waits for it.
    ~LogImporter() override;

    // Finds the logs and starts on them. Returns what to tell the user when
    // nothing was started, and an empty text once the worker runs.
    QString start();
    void cancel() { m_cancel = true; }
    bool running() const { return m_worker != nullptr; }
    int total() const { return int(m_jobs.size()); }

    // The work itself, for any thread: `progress(done)` after each log; it
    // returns false to stop.
    static Outcome run(const QString &archivePath, const std::vector<Job> &jobs, const std::string &windUnit,
                       const core::OffsetAt &zone, const std::function<bool(int done)> &progress);
    // What the user is told of an outcome of `total` logs.
    static QString text(const Outcome &outcome, int total);

signals:
    void progressed(int done);
    void finished(long long added, const QString &text);

private:
    void finish();

    QString m_folder;
    core::CivilDate m_today;
    core::OffsetAt m_zone;
    std::vector<Job> m_jobs;
    std::string m_windUnit;
    QThread *m_worker = nullptr;
    std::atomic<bool> m_cancel{false};
    Outcome m_outcome; // filled by the worker; read only after it has ended
};

} // namespace archive
