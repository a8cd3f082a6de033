#pragma once
// The main window's alarms and link status: it takes each frame and a tick a
// second, keeps the alarms (core::AlarmBook) and the link counters, and shows
// them in the banner and the status line; every raise and clear goes to
// "logs/alarms.csv", the command and, when chosen, the beep.

#include "core/Alarms.h"
#include "core/Frame.h"
#include "core/Liveness.h"
#include "core/Reading.h"
#include "core/Settings.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "ui/ReconnectingPort.h"
#include "ui/Services.h"

#include <QDateTime>
#include <QObject>
#include <QRect>
#include <array>

class QLabel;
class QTimer;

namespace alarms {

class CommandRunner;

// The main window's alarm banner (white on red, hidden while no alarm is
// raised) and link-status line; each edition places them. The banner's place
// is the most room it may take: it shows every raised alarm whole, on as many
// lines as that room holds (shortened to "title: value" or to the title when
// they would not fit, the full texts in its tool tip), and it shrinks to the
// lines it needs, keeping its top, or its bottom when aligned to the bottom.
QLabel *makeBanner(QWidget *parent);
QLabel *makeStatusLine(QWidget *parent);

class AlarmWatch : public QObject {
    Q_OBJECT
public:
    // What the main window lends: the banner and status labels (shown and
    // hidden here), its port, its liveness and its program settings (the
    // port number and the wind unit).
    struct Wiring {
        QWidget *window;
        QLabel *banner, *status;
        const ui::ReconnectingPort *link;
        const core::Liveness *liveness;
        const core::ProgramSettings *program;
    };
    AlarmWatch(const ui::Services &services, const Wiring &wiring);
    ~AlarmWatch() override;

    // Reads "alarms.cfg": missing gives the defaults silently; damaged is told
    // once, kept aside (ui::keepAside), and the defaults hold; one that
    // cannot be read is told and left alone.
    void loadSettings();
    const core::AlarmSettings &settings() const { return m_book.settings(); }

    // A processed frame (after the liveness has taken it).
    void frame(const core::RawReading &raw, const core::Reading &reading);
    // The frame buffer's total of dropped pieces; returns how many are new.
    long long setDropped(long long total);
    // The check a second: alarms, the status line, the needles' colour.
    void tick();

    const core::LinkCounters &counters() const { return m_counters; }
    bool raised(core::AlarmId id) const { return m_book.raised(id); }
    CommandRunner *runner() const { return m_runner; }
    QTimer *timer() const { return m_timer; }

signals:
    // The data turned stale (true) or live again (false); paused data
    // changes nothing.
    void staleChanged(bool stale);
    // An alarm was raised or cleared (key as in alarms.csv, the name people read).
    void alarmChanged(const QString &key, const QString &name, bool raised);

private:
    void handle(const std::vector<core::AlarmEvent> &events);
    void refresh();
    void showBanner();
    QString unit(core::AlarmId id) const;

    ui::Services m_services;
    Wiring m_wiring;
    ui::ProgramFolder m_folder;
    ui::FailureNotices m_notices;
    core::AlarmBook m_book;
    core::LinkCounters m_counters;
    std::array<QDateTime, core::kAlarmCount> m_since;
    double m_start;
    QRect m_bannerArea;
    bool m_stale = false;
    CommandRunner *m_runner;
    QTimer *m_timer;
};

} // namespace alarms
