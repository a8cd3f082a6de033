// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebFeed.h"

#include "publish/DataOut.h"
#include "publish/Messenger.h"

#include "Session.h"
#include "alarms/AlarmWatch.h"
#include "archive/ArchiveDb.h"
#include "archive/SummaryRows.h"
#include "core/Alarms.h"
#include "core/PowerCurve.h"
#include "core/Text.h"
#include "archive/Archive.h"
#include "archive/AvailabilityReport.h"
#include "archive/BackupWatch.h"
#include "archive/Certified.h"
#include "archive/WindReport.h"
#include "core/WebAnalyses.h"
#include "ui/Files.h"
#include "ui/ProgramFolder.h"
#include "archive/CurveReport.h"
#include "web/WebServer.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <memory>
#include <mutex>

namespace monitor {

namespace {
using Answer = std::pair<int, std::string>;

// Days of performance the browser is given (the window's table shows as many).
constexpr size_t kPerformanceDays = 31;
// The end of logs/alarms.csv read for the browser: some thousands of lines.
constexpr qint64 kAlarmsTail = 256 * 1024;

Answer refusal(int status, const std::string &text) { return {status, core::errorJson(text)}; }

// The archive read on the server's thread, with a connection of its own
// (the writer's thread keeps writing meanwhile: the database is in WAL mode).
template <typename Answerer>
Answer fromArchive(const QString &file, Answerer answer)
{
    if (!QFileInfo::exists(file))
        return answer(nullptr);
    archive::ArchiveDb db;
    if (!db.open(file, true))
        return refusal(503, "The archive cannot be read: " + db.error().toStdString());
    return answer(&db);
}

// The performance by day and month, against the certified curve.
Answer performanceAnswer(const QString &folder)
{
    QString why;
    const auto certified = archive::readCertifiedCurve(folder, &why);
    if (!certified)
        return refusal(404, why.toStdString());
    const auto book = archive::readPerformance(folder, archive::Archive::turbineSettings(folder), *certified, 0,
                                               std::numeric_limits<std::int64_t>::max() / 2, {}, &why);
    if (!book)
        return refusal(503, why.toStdString());
    return Answer{200, core::performanceJson(*book, kPerformanceDays)};
}

void answerArchive(web::WebServer &server, const QString &file)
{
    // The hours a chart asked for, kept for when it asks again.
    const auto hours = std::make_shared<archive::SummaryRows>();
    server.setArchiveHandler(core::WebRoute::Series, [file, hours](const core::QueryPairs &query, const core::WebNow &at) {
        const std::int64_t now = at.time;
        std::string error;
        const auto q = core::seriesQuery(query, now, &error);
        if (!q)
            return refusal(400, error);
        const archive::Step step = q->step == core::SeriesStep::Minute ? archive::Step::Minute
                                   : q->step == core::SeriesStep::Hour ? archive::Step::Hour
                                                                       : archive::Step::Day;
        return fromArchive(file, [&](archive::ArchiveDb *db) {
            Answer a;
            const auto answer = [&](const std::vector<core::ArchiveRow> &rows) {
                a = Answer{200, q->form == core::SeriesForm::Columns ? core::seriesColumnsJson(*q, rows, at.windUnit)
                                                                      : core::seriesJson(*q, rows)};
            };
            if (!db)
                answer({});
            else if (!hours->read(*db, file, step, q->from, q->to, answer))
                return refusal(503, "The archive cannot be read: " + db->error().toStdString());
            return a;
        });
    });
    server.setArchiveHandler(core::WebRoute::Days, [file](const core::QueryPairs &query, const core::WebNow &at) {
        const std::int64_t now = at.time;
        const QDate today = QDateTime::fromSecsSinceEpoch(now).date();
        std::string error;
        const auto q = core::daysQuery(query, today.year(), today.month(), &error);
        if (!q)
            return refusal(400, error);
        return fromArchive(file, [&](archive::ArchiveDb *db) {
            return Answer{200, core::daysJson(*q, db ? db->rows(archive::Step::Day, q->from, q->to)
                                                     : std::vector<core::ArchiveRow>())};
        });
    });
    const QString folder = QFileInfo(file).absolutePath();
    server.setArchiveHandler(core::WebRoute::Availability, [folder](const core::QueryPairs &query, const core::WebNow &at) {
        const std::int64_t now = at.time;
        std::string error;
        const auto year = core::yearOfQuery(query, QDateTime::fromSecsSinceEpoch(now).date().year(), &error);
        if (!year)
            return refusal(400, error);
        const QDate first(*year, 1, 1);
        QString why;
        const auto book = archive::readAvailability(folder, first.startOfDay().toSecsSinceEpoch(),
                                                    first.addYears(1).startOfDay().toSecsSinceEpoch(), now, &why);
        if (!book)
            return refusal(503, why.toStdString());
        return Answer{200, core::availabilityJson(*year, archive::periodsOf(book->years),
                                                  archive::periodsOf(book->months), archive::periodsOf(book->days))};
    });
    server.setArchiveHandler(core::WebRoute::Energy, [folder](const core::QueryPairs &query, const core::WebNow &at) {
        std::string error;
        const auto year = core::yearOfQuery(query, QDateTime::fromSecsSinceEpoch(at.time).date().year(), &error);
        if (!year)
            return refusal(400, error);
        QString why;
        const auto days = archive::readEnergyDays(folder, &why);
        if (!days)
            return refusal(503, why.toStdString());
        return Answer{200, core::energyJson(core::yearSummary(*days, *year), *days, at.lifetimeWh)};
    });
    server.setArchiveHandler(core::WebRoute::Wind, [folder](const core::QueryPairs &, const core::WebNow &at) {
        QString why;
        const auto wind = archive::readWind(folder, &why, nullptr);
        const core::TurbineSettings settings = archive::Archive::turbineSettings(folder);
        const auto curve = wind ? archive::readCurve(folder, settings, &why) : std::nullopt;
        if (!wind || !curve)
            return refusal(503, why.toStdString());
        return Answer{200, core::windJson(*wind, core::siteEstimate(*wind, *curve, settings),
                                          core::annualEnergy(core::measuredPoints(*curve), settings.cutOut),
                                          at.windUnit, at.windToMetresPerSecond)};
    });
    // An archive without the day sums (an earlier version's, until a writer
    // makes them) is read minute by minute, half a second a year: one
    // answer serves for a minute.
    struct Kept {
        std::mutex m;
        std::int64_t at = 0;
        Answer answer;
    };
    auto kept = std::make_shared<Kept>();
    server.setArchiveHandler(core::WebRoute::Performance, [folder, kept](const core::QueryPairs &, const core::WebNow &at) {
        std::lock_guard lock(kept->m);
        if (kept->at && at.time >= kept->at && at.time < kept->at + 60)
            return kept->answer;
        kept->at = at.time;
        kept->answer = performanceAnswer(folder);
        return kept->answer;
    });
    server.setArchiveHandler(core::WebRoute::Alarms, [folder](const core::QueryPairs &, const core::WebNow &at) {
        QFile file(ui::ProgramFolder(folder).alarmsCsv());
        std::vector<core::AlarmCsvRecord> history;
        long long lines = 0;
        if (file.open(QIODevice::ReadOnly)) {
            // The latest lines only: a file of years holds thousands.
            const qint64 size = file.size(), from = std::max<qint64>(0, size - kAlarmsTail);
            file.seek(from);
            const std::string tail = file.readAll().toStdString();
            std::vector<std::string_view> text = core::splitLines(tail);
            if (from > 0 && !text.empty())
                text.erase(text.begin()); // begun mid-line
            for (const std::string_view line : text)
                if (auto r = core::readAlarmCsvLine(line)) {
                    history.push_back(std::move(*r));
                    ++lines;
                }
        } else if (file.exists()) {
            return refusal(503, "logs/alarms.csv cannot be read: " + file.errorString().toStdString());
        }
        return Answer{200, core::alarmsJson(at.alarms, history, lines, at.windUnit)};
    });
}
} // namespace

void feedWebServer(Session &session, web::WebServer &server, archive::Archive &archive, publish::Messenger *messenger,
                   const archive::BackupWatch *backup)
{
    answerArchive(server, archive.path());

    struct State {
        bool hasReading = false;
        core::DataState sent = core::DataState::Stale;
    };
    auto state = std::make_shared<State>();
    Session *s = &session;
    web::WebServer *w = &server;
    archive::Archive *a = &archive;

    // Only copying: the texts are made on the server's threads.
    auto update = [s, w, a, messenger, backup, state](bool reading) {
        core::WebNow n;
        n.time = s->services().clock->now().toSecsSinceEpoch();
        n.state = s->dataState();
        if (s->liveness().liveUntil())
            n.lastLive = s->lastLiveAt().toSecsSinceEpoch();
        n.hasReading = state->hasReading;
        const core::Reading &r = s->reading();
        n.volts = r.Volts;
        n.amps = r.Amps;
        n.watts = r.Watts;
        n.rpm = r.RPM;
        n.windSpeed = r.WindSpeed;
        n.loadOn = r.Mode == 1;
        n.windUnit = std::string(core::trimBlanks(s->settings().WSUnits, " \t"));
        n.windToMetresPerSecond = core::windUnit(s->settings().WSUnits).toMetresPerSecond;
        n.todayWh = s->wattHours();
        n.yesterdayWh = s->book().yesterday();
        n.lifetimeWh = s->book().lifetime();
        n.framesReceived = s->alarms()->counters().received();
        n.framesRejected = s->alarms()->counters().rejected();
        n.archiveMinutesDropped = a->minutesDropped();
        if (messenger) {
            const publish::Messenger::Counts c = messenger->counts();
            n.messagesSent = c.sent;
            n.messagesFailed = c.failed;
            n.messagesDropped = c.dropped;
            n.messagesWaiting = c.waiting;
        }
        if (const publish::DataOut *d = s->dataOut()) {
            const publish::DataOut::Counts c = d->counts();
            n.dataOutOn = c.on;
            n.dataOutSent = c.sent;
            n.dataOutFailed = c.failures;
            n.dataOutBacklog = c.backlog;
            n.dataOutForgotten = c.forgotten;
            n.dataOutLastSuccess = c.lastSuccess;
        }
        n.month = s->monthAvailability();
        if (backup) {
            n.backupOn = backup->settings().on;
            if (const auto last = backup->lastGood())
                n.lastBackup = last->toSecsSinceEpoch();
            n.backupProblem = backup->problem().toStdString();
        }
        for (const core::AlarmId id : core::kAlarms) {
            core::WebAlarm alarm;
            alarm.key = core::alarmKey(id);
            alarm.name = core::alarmTitle(id);
            if (const auto r = s->alarms()->raisedAlarm(id)) {
                alarm.raised = true;
                alarm.value = r->value;
                alarm.unit = r->unit.toStdString();
                alarm.since = r->since.toSecsSinceEpoch();
                alarm.text = r->text.toStdString();
            }
            n.alarms.push_back(alarm);
        }
        // A change of state without a frame (stale, paused) is news for a stream too.
        const bool news = reading || n.state != state->sent;
        state->sent = n.state;
        w->setNow(n, news);
    };

    QObject::connect(s, &Session::frameProcessed, w, [update, state] {
        state->hasReading = true;
        update(true);
    });
    QObject::connect(s, &Session::energyChanged, w, [update] { update(false); });
    QObject::connect(s->alarms(), &alarms::AlarmWatch::alarmChanged, w, [update] { update(false); });
    auto *second = new QTimer(w);
    second->setInterval(1000);
    QObject::connect(second, &QTimer::timeout, w, [update] { update(false); });
    second->start();
    // The curve's bins change as minutes are written: a few dozen rows, read again each minute.
    const QString folder = s->services().programFolder;
    const auto curve = [w, folder] {
        const core::TurbineSettings settings = archive::Archive::turbineSettings(folder);
        QString why, noCertified;
        const auto certified = archive::readCertifiedCurve(folder, &noCertified);
        if (const auto c = archive::readCurve(folder, settings, &why))
            w->setPowerCurve(*c, settings, certified.value_or(std::vector<core::CurvePoint>()));
    };
    QObject::connect(&archive, &archive::Archive::written, w, curve);
    QObject::connect(s, &Session::settingsSaved, w, [curve](ui::SettingsFile file) {
        if (file == ui::SettingsFile::Turbine || file == ui::SettingsFile::CertifiedCurve)
            curve();
    });
    curve();
    update(false);
}

} // namespace monitor
