// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive's writer: its own thread and its own connection. It checks the
// database at start (quickly, or whole after an unclean exit), keeps a damaged
// one aside and starts a new one, writes each minute handed to it, and keeps
// the minutes it could not write (a full disk) until they can be. At start it
// takes an earlier version's powercurve.csv into the curve, once.

#include "ArchiveDb.h"

#include <QObject>
#include <QString>
#include <deque>

namespace archive {

class ArchiveWriter : public QObject {
    Q_OBJECT
public:
    // At most this many minutes wait for room (a week).
    static constexpr size_t kMaxWaiting = 7 * 24 * 60;

    ArchiveWriter(QString path, const core::TurbineSettings &turbine, std::vector<core::CurvePoint> certified);
    ~ArchiveWriter() override;

    // Each runs on the writer's thread.
    void start();
    void write(const core::ArchiveRow &minute);
    // Lets go of the minutes past `minuteDays` (0: none), judged by the
    // wall clock `wall` (UTC seconds) only as far as the clock that counts
    // sleep (`mono`, seconds) bears it out.
    void forget(qint64 wall, double mono, int minuteDays);
    // The turbine settings or the certified curve changed: the curve and the
    // minutes' categories may be made again.
    void setTurbine(const core::TurbineSettings &turbine, const std::vector<core::CurvePoint> &certified);
    // The last change a sender had confirmed (none while nothing is sent):
    // minutes let go after it are counted as let go unsent.
    void setSentUpTo(std::optional<qint64> seq) { m_sentUpTo = seq; }
    // Writes what it can and closes; the minutes that could not be written,
    // in words ("" when none), for the log.
    QString finish();

    size_t waiting() const { return m_waiting.size(); }
    long long dropped() const { return m_dropped; }

signals:
    // Something the user must be told; `condition` names it, so that each is
    // told once until the archive works again.
    void problem(const QString &condition, const QString &text);
    // The archive writes again after a problem.
    void working();
    // Minutes were let go unwritten after a week of waiting; the total.
    void droppedChanged(long long total);
    // A minute (or several) is in the database.
    void written(qint64 lastMinute);
    // The minutes' categories' rules as they now stand (at start and when the
    // turbine's settings change), for those who judge live data by them.
    void rulesFound(const core::AvailabilityRules &rules);

private:
    bool openOrKeepAside();
    bool keepAside(const QString &why);
    // A copy of a damaged archive left by a kill: put in place when whole, else removed.
    void finishCopy();
    void takeFrameCurve();
    // The curve's rules, then the categories' (whose cut-in may come from the curve).
    bool applyRules();
    void drain();

    QString m_path;
    core::TurbineSettings m_turbine;
    std::vector<core::CurvePoint> m_certified;
    core::CurveRules m_rules;
    ArchiveDb m_db;
    std::deque<core::ArchiveRow> m_waiting;
    long long m_dropped = 0;
    core::Retention m_retention;
    bool m_failing = false;
    // A newer program's archive is left alone.
    bool m_refused = false;
    std::optional<qint64> m_sentUpTo;
};

} // namespace archive
