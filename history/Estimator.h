// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Estimate missing days": the days that have a daily log but no line in
// logs/energy.csv are estimated from their logs on a worker thread, then
// written into the file together. Progress goes to a callback that may cancel;
// what could not be done comes back as text for the user, never as a box.

#include "core/EnergyHistory.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QThread;

namespace history {

class Estimator : public QObject {
    Q_OBJECT
public:
    struct Job {
        core::CivilDate date;
        QString log;
    };
    struct Outcome {
        std::vector<core::DayRecord> days;
        int unreadable = 0, empty = 0;
    };

    // The estimating of one program folder; `today` is never estimated.
    Estimator(QString programFolder, const core::CivilDate &today, QObject *parent = nullptr);
    // Cancels a run still going and waits for it; it writes nothing then.
    ~Estimator() override;

    // Finds the missing days and starts on them. Returns what to tell the user
    // when nothing was started (no day missing, energy.csv unreadable), and an
    // empty text once the worker runs; `total()` then says how many days.
    QString start();
    bool running() const { return m_worker != nullptr; }
    int total() const { return int(m_jobs.size()); }

    // The work itself, for any thread: `progress(done)` after each day; it
    // returns false to stop.
    static Outcome estimate(const std::vector<Job> &jobs, const std::string &windUnit,
                            const std::function<bool(int done)> &progress);
    // Writes the outcome's days that are still missing now (energy.csv is read
    // again first: the running program rewrites today's line each minute).
    // Returns how many days were added and the text for the user.
    std::pair<int, QString> write(const Outcome &outcome) const;

signals:
    void progressed(int done);
    // The run has ended and its days are written.
    void finished(int added, const QString &text);

private:
    void finish();

    QString m_folder;
    core::CivilDate m_today;
    std::vector<Job> m_jobs;
    std::string m_windUnit;
    QThread *m_worker = nullptr;
    std::atomic<bool> m_cancel{false};
    // Filled by the worker; read only after it has ended.
    Outcome m_outcome;
};

} // namespace history
