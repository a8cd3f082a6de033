// SPDX-License-Identifier: GPL-3.0-or-later
#include "Rooms.h"

#include "SettingsFromWeb.h"
#include "WebFeed.h"
#include "alarms/AlarmWatch.h"
#include "archive/Archive.h"
#include "archive/AvailabilityWatch.h"
#include "archive/BackupWatch.h"
#include "archive/PerformanceWatch.h"
#include "publish/DataOut.h"
#include "publish/Messenger.h"
#include "web/WebServer.h"

#include <QTimer>

namespace monitor {

Rooms::Rooms(const ui::Services &services)
    : m_session(std::make_unique<Session>(services)),
      m_archive(std::make_unique<archive::Archive>(m_session->services()))
{
    Session *s = m_session.get();
    archive::Archive *a = m_archive.get();
    QObject::connect(s, &Session::frameProcessed, a,
                     [s, a](const core::RawReading &raw, const core::Reading &reading, core::DataState, double) {
                         a->frame(raw, reading, s->settings().WSUnits);
                     });
    QObject::connect(s, &Session::energyCounted, a, &archive::Archive::energy);
    QObject::connect(s, &Session::framesDropped, a, &archive::Archive::dropped);
    alarms::AlarmWatch *watch = s->alarms();
    // The turbine's alarms judge the wind by the cut-in the minutes' categories use.
    QObject::connect(a, &archive::Archive::rulesFound, watch, &alarms::AlarmWatch::setTurbine);
    QObject::connect(a, &archive::Archive::statusChanged, watch,
                     [watch](const QString &text) { watch->setRoomStatus(QStringLiteral("archive"), text); });
    // Under-performing is judged on whole days read from the archive; the
    // day's summary says how yesterday went.
    m_performance = std::make_unique<archive::PerformanceWatch>(
        m_session->services(), [this, s](const std::map<int, core::PerformanceSums> &days, int today) {
            s->alarms()->setPerformance(days, today);
            m_performanceDays = days;
        });
    s->messenger()->setSummarySource([this, s] {
        publish::DaySummary d;
        d.yesterdayWh = s->book().yesterday();
        const QDate yesterday = s->services().clock->now().date().addDays(-1);
        const auto day = m_performanceDays.find(yesterday.year() * 10000 + yesterday.month() * 100 + yesterday.day());
        if (day != m_performanceDays.end())
            if (const auto ratio = day->second.ratio())
                d.performance = *ratio;
        return d;
    });
    archive::PerformanceWatch *p = m_performance.get();
    QTimer::singleShot(0, p, &archive::PerformanceWatch::check);
    m_availability = std::make_unique<archive::AvailabilityWatch>(
        m_session->services(), [s](const std::optional<core::Availability> &month) { s->setMonthAvailability(month); });
    QTimer::singleShot(0, m_availability.get(), &archive::AvailabilityWatch::check);

    // The daily backup: its failures are an alarm; the status line tells of it.
    m_backup = std::make_unique<archive::BackupWatch>(m_session->services());
    archive::BackupWatch *b = m_backup.get();
    QObject::connect(b, &archive::BackupWatch::failures, watch, &alarms::AlarmWatch::setBackupFailures);
    const auto backupStatus = [b, watch] {
        QString text;
        if (!b->problem().isEmpty())
            text = QStringLiteral("the daily backup failed");
        else if (b->settings().on && b->lastGood())
            text = QStringLiteral("backed up %1").arg(b->lastGood()->toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        watch->setRoomStatus(QStringLiteral("backup"), text);
    };
    QObject::connect(b, &archive::BackupWatch::changed, watch, backupStatus);
    QObject::connect(b, &archive::BackupWatch::failures, watch, backupStatus);
    backupStatus();

    // Data out reads the archive with its own connection, woken by each minute written.
    m_dataOut = std::make_unique<publish::DataOut>(m_session->services(), a->path(),
                                                   [a](std::optional<qint64> seq) { a->setSentUpTo(seq); });
    publish::DataOut *d = m_dataOut.get();
    QObject::connect(a, &archive::Archive::written, d, &publish::DataOut::wake);
    QObject::connect(a, &archive::Archive::rulesFound, d, &publish::DataOut::setRules);
    QObject::connect(d, &publish::DataOut::statusChanged, watch,
                     [watch](const QString &text) { watch->setRoomStatus(QStringLiteral("data out"), text); });
    s->setDataOut(d);
    d->loadSettings();

    // The web server reads the session's values (and the archive); it starts as web.cfg says.
    m_web = std::make_unique<web::WebServer>(m_session->services());
    web::WebServer *w = m_web.get();
    feedWebServer(*s, *w, *a, s->messenger(), b);
    answerSettings(*s, *w);
    s->setWebServer(w);
    // Each settings file to every room here that reads it (the session's
    // own alarms and publisher take theirs themselves).
    QObject::connect(s, &Session::settingsSaved, w, [this](ui::SettingsFile file) { take(file); });
    w->reload();
}

// The web server stops first; the archive writes its last minute while the
// session still stands.
Rooms::~Rooms()
{
    m_session->setWebServer(nullptr);
    m_web.reset();
    m_session->setDataOut(nullptr);
    m_dataOut.reset();
    m_performance.reset();
    m_availability.reset();
    m_archive.reset();
}

void Rooms::take(ui::SettingsFile file)
{
    switch (file) {
    case ui::SettingsFile::Alarms:
    case ui::SettingsFile::Mqtt: break;
    case ui::SettingsFile::Archive: m_archive->loadSettings(); break;
    case ui::SettingsFile::Web: m_web->reload(); break;
    case ui::SettingsFile::Turbine:
        m_archive->loadTurbine();
        m_performance->check();
        m_session->messenger()->loadSettings(); // the site's name
        m_dataOut->loadSettings();
        break;
    case ui::SettingsFile::Messages: break;
    case ui::SettingsFile::Backup: m_backup->loadSettings(); break;
    case ui::SettingsFile::DataOut: m_dataOut->loadSettings(); break;
    case ui::SettingsFile::CertifiedCurve:
        m_archive->loadTurbine();
        m_performance->check();
        break;
    }
}

void Rooms::reload()
{
    for (const ui::SettingsFile file : ui::kSettingsFiles)
        m_session->saved(file);
}

} // namespace monitor
