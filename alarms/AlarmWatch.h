// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The session's alarms and link status: it takes each frame and a tick a
// second, keeps the alarms (core::AlarmBook) and the link counters, and tells
// what the banner and the status line should show; every raise and clear goes
// to "logs/alarms.csv", the command and, when chosen, the beep.

#include "core/Alarms.h"
#include "core/Frame.h"
#include "core/Liveness.h"
#include "core/Reading.h"
#include "core/Settings.h"
#include "ui/KeptFile.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "ui/ReconnectingPort.h"
#include "ui/Services.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <array>
#include <map>

class QTimer;

namespace alarms {

class CommandRunner;

class AlarmWatch : public QObject {
    Q_OBJECT
public:
    // What the session lends: its port, its liveness and its program
    // settings (the port number and the wind unit).
    struct Wiring {
        const ui::ReconnectingPort *link;
        const core::Liveness *liveness;
        const core::ProgramSettings *program;
    };
    AlarmWatch(const ui::Services &services, const Wiring &wiring);
    ~AlarmWatch() override;

    // Reads "alarms.cfg": missing gives the defaults silently; damaged is told,
    // kept aside as "alarms.cfg.bad" (or the next free number), and the
    // defaults hold; one that cannot be read is told once and left alone.
    void loadSettings();
    const core::AlarmSettings &settings() const { return m_book.settings(); }

    // A processed frame (after the liveness has taken it).
    void frame(const core::RawReading &raw, const core::Reading &reading);
    // The frame buffer's total of dropped pieces; returns how many are new.
    long long setDropped(long long total);
    // The check a second: alarms, the status line, the needles' colour.
    void tick();
    // The days' performance against the certified curve and today
    // (yyyymmdd), for "under-performing".
    void setPerformance(const std::map<int, core::PerformanceSums> &days, int today);
    // The daily backups that failed in a row, for "backup failed".
    void setBackupFailures(int failedInARow);
    // The cut-in, the cut-out and what curtails the turbine, for the
    // turbine's alarms (the archive resolves them).
    void setTurbine(const core::AvailabilityRules &rules);

    const core::LinkCounters &counters() const { return m_counters; }
    QList<QStringList> banner() const { return m_banner; }
    QString status() const { return m_status; }
    QString statusTip() const { return m_statusTip; }
    // What another room has to say on the status line ("" for nothing).
    void setRoomStatus(const QString &room, const QString &text);
    bool raised(core::AlarmId id) const { return m_book.raised(id); }
    // A raised alarm's value and since when, as the banner gives them.
    struct Raised {
        double value = 0;
        QString unit;     // "V", "RPM", the wind unit, "%", "min"; "" for no data (its value is seconds)
        QDateTime since;
        QString text;     // "Battery low: 11 V since 14:05:15"
    };
    std::optional<Raised> raisedAlarm(core::AlarmId id) const;
    CommandRunner *runner() const { return m_runner; }
    QTimer *timer() const { return m_timer; }

signals:
    // The data turned stale (true) or live again (false); paused data
    // changes nothing.
    void staleChanged(bool stale);
    // An alarm was raised or cleared (key as in alarms.csv, the name people
    // read), with its value and, when raised, since when: "11 V since 14:05:15".
    void alarmChanged(const QString &key, const QString &name, bool raised, const QString &value);
    // The raised alarms, each in three forms, longest first: "title: value
    // since when" ("Battery low: 11 V since 14:05:15"), "title: value" and
    // "title"; empty when none is raised.
    void bannerChanged(const QList<QStringList> &alarms);
    // The link's status line and its tool tip.
    void statusChanged(const QString &text, const QString &toolTip);
    // An alarm was raised with the beep chosen.
    void beep();

private:
    void handle(const std::vector<core::AlarmEvent> &events);
    void refresh();
    void showBanner();
    QString unit(core::AlarmId id) const;
    QString valueText(core::AlarmId id, double value) const;
    QString sinceText(const QDateTime &since) const;

    ui::Services m_services;
    Wiring m_wiring;
    ui::ProgramFolder m_folder;
    ui::KeptFile m_settingsFile;
    ui::FailureNotices m_notices;
    core::AlarmBook m_book;
    core::LinkCounters m_counters;
    std::array<QDateTime, core::kAlarmCount> m_since;
    double m_start;
    bool m_stale = false;
    QList<QStringList> m_banner;
    QString m_status, m_statusTip;
    // What each room adds to the status line, by the room's name.
    QMap<QString, QString> m_roomStatus;
    CommandRunner *m_runner;
    QTimer *m_timer;
};

} // namespace alarms
