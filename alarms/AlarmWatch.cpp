// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlarmWatch.h"

#include "CommandRunner.h"
#include "core/Number.h"
#include "core/PowerCurve.h"
#include "ui/Files.h"

#include <QFileInfo>
#include <QTimer>

#include <array>
#include <vector>

namespace alarms {

namespace {
ui::KeptFile::Texts settingsTexts()
{
    ui::KeptFile::Texts t;
    t.unreadable = QStringLiteral("The alarm settings in %1 cannot be read (%2), so the default alarms hold for "
                                  "this run. The file is left as it is.");
    t.damaged = QStringLiteral(
        "The alarm settings in %1 are damaged, so the default alarms hold (only \"no data\" "
        "is on). The damaged file is kept as %3.");
    t.notKept = QStringLiteral(
        "The alarm settings in %1 are damaged, so the default alarms hold (only \"no data\" "
        "is on). The damaged file could not be moved aside.");
    return t;
}

QString portStateWord(ui::PortState state)
{
    switch (state) {
    case ui::PortState::Open: return QStringLiteral("open");
    case ui::PortState::Away: return QStringLiteral("away");
    case ui::PortState::Paused: return QStringLiteral("paused");
    case ui::PortState::NoPortNumber: return QStringLiteral("no port number");
    }
    return QString();
}
} // namespace

AlarmWatch::AlarmWatch(const ui::Services &services, const Wiring &wiring)
    : m_services(services), m_wiring(wiring), m_folder(services.programFolder),
      m_settingsFile(m_folder.alarmsSettings(), services.messages, nullptr, settingsTexts()),
      m_notices(services.messages, nullptr), m_book(services.clock->monotonicSeconds()),
      m_start(services.clock->monotonicSeconds())
{
    m_runner = new CommandRunner(services.clock, m_folder.alarmsCommandLog(), m_folder.path(), this);
    connect(m_runner, &CommandRunner::startProblemChanged, this, &AlarmWatch::refresh);
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &AlarmWatch::tick);
    connect(wiring.link, &ui::ReconnectingPort::stateChanged, this, &AlarmWatch::refresh);
    loadSettings();
    m_timer->start();
}

AlarmWatch::~AlarmWatch() = default;

void AlarmWatch::loadSettings()
{
    const auto loaded = m_settingsFile.load(
        [](std::string_view text, std::string *) { return core::readAlarmSettings(text); });
    handle(m_book.setSettings(loaded.value.value_or(core::AlarmSettings()), m_services.clock->monotonicSeconds()));
}

void AlarmWatch::frame(const core::RawReading &raw, const core::Reading &reading)
{
    const double now = m_services.clock->monotonicSeconds();
    const bool live = core::isLive(raw);
    m_counters.frame(live, now);
    core::AlarmBook::Values v;
    v.live = live;
    v.volts = reading.Volts;
    if (raw.rpmRead)
        v.rpm = reading.RPM;
    if (raw.windRead) {
        v.wind = reading.WindSpeed;
        if (const auto toMetres = core::windUnit(m_wiring.program->WSUnits).toMetresPerSecond)
            v.windMetres = reading.WindSpeed * *toMetres;
    }
    v.amps = reading.Amps;
    v.loadOn = reading.Mode == 1;
    handle(m_book.frame(v, now));
    if (live && m_stale) {
        m_stale = false;
        emit staleChanged(false);
    }
    showBanner();
}

long long AlarmWatch::setDropped(long long total)
{
    const long long before = m_counters.rejected();
    m_counters.setDropped(total);
    return m_counters.rejected() - before;
}

void AlarmWatch::tick()
{
    const double now = m_services.clock->monotonicSeconds();
    const core::DataState state = m_wiring.liveness->state(now);
    handle(m_book.tick(state, now));
    if (state != core::DataState::Paused && (state == core::DataState::Stale) != m_stale) {
        m_stale = !m_stale;
        emit staleChanged(m_stale);
    }
    showBanner();
    refresh();
}

void AlarmWatch::setTurbine(const core::AvailabilityRules &rules) { m_book.setTurbine(rules); }

void AlarmWatch::setPerformance(const std::map<int, core::PerformanceSums> &days, int today)
{
    handle(m_book.performance(days, today));
    showBanner();
}

void AlarmWatch::setBackupFailures(int failedInARow)
{
    handle(m_book.backups(failedInARow));
    showBanner();
}

void AlarmWatch::handle(const std::vector<core::AlarmEvent> &events)
{
    if (events.empty())
        return;
    const core::AlarmSettings &s = m_book.settings();
    const QString csv = m_folder.alarmsCsv();
    ui::ensureFolder(QFileInfo(csv).absolutePath());
    for (const core::AlarmEvent &e : events) {
        const QDateTime now = m_services.clock->now();
        if (e.raised) {
            m_since[size_t(e.id)] = now;
            if (s.beep)
                emit beep();
        }
        QByteArray line;
        if (!ui::hasContent(csv))
            line = ui::bytesOf(core::alarmCsvHeader()) + "\r\n";
        line += ui::bytesOf(core::alarmCsvLine(now.toString(Qt::ISODate).toStdString(), e)) + "\r\n";
        m_notices.outcome(csv, ui::append(csv, line), ui::cannotWrite(csv));
        const QString value = valueText(e.id, e.value);
        emit alarmChanged(ui::fromLocal(core::alarmKey(e.id)), ui::fromLocal(core::alarmTitle(e.id)), e.raised,
                          e.raised ? QStringLiteral("%1 since %2").arg(value, sinceText(now)) : value);
        if (!s.command.empty())
            m_runner->run(ui::fromLocal(s.command),
                          {ui::fromLocal(core::alarmKey(e.id)),
                           e.raised ? QStringLiteral("raised") : QStringLiteral("cleared"),
                           ui::fromLocal(core::alarmNumberText(e.id, e.value)),
                           ui::fromLocal(core::alarmNumberText(e.id, e.threshold))},
                          s.commandLimitSeconds);
    }
    showBanner();
}

QString AlarmWatch::unit(core::AlarmId id) const
{
    // "No data" is told as an age ("2 min 5 s"), never with its unit.
    if (id == core::AlarmId::NoData)
        return QString();
    return QLatin1Char(' ') + ui::fromLocal(core::alarmUnit(id, m_wiring.program->WSUnits));
}

QString AlarmWatch::valueText(core::AlarmId id, double v) const
{
    if (id == core::AlarmId::NoData)
        return ui::fromLocal(core::ageText(v));
    if (core::isRunAlarm(id))
        return ui::fromLocal(core::ageText(v * 60));
    return ui::fromLocal(core::numberText(core::roundHalfEven(v, 2))) + unit(id);
}

QString AlarmWatch::sinceText(const QDateTime &since) const
{
    return since.date() == m_services.clock->date() ? since.toString(QStringLiteral("HH:mm:ss"))
                                                    : since.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

std::optional<AlarmWatch::Raised> AlarmWatch::raisedAlarm(core::AlarmId id) const
{
    if (!m_book.raised(id))
        return std::nullopt;
    Raised r;
    r.value = m_book.value(id);
    r.unit = unit(id).trimmed();
    r.since = m_since[size_t(id)];
    r.text = QStringLiteral("%1: %2 since %3")
                 .arg(ui::fromLocal(core::alarmTitle(id)), valueText(id, r.value), sinceText(r.since));
    return r;
}

void AlarmWatch::showBanner()
{
    // Each raised alarm in three forms, longest first: "title: value since
    // when", "title: value", "title".
    QList<QStringList> shown;
    for (const core::AlarmId id : core::kAlarms)
        if (const auto r = raisedAlarm(id)) {
            const QString title = ui::fromLocal(core::alarmTitle(id));
            shown.push_back({r->text, QStringLiteral("%1: %2").arg(title, valueText(id, r->value)), title});
        }
    if (shown != m_banner) {
        m_banner = shown;
        emit bannerChanged(m_banner);
    }
}

void AlarmWatch::setRoomStatus(const QString &room, const QString &text)
{
    m_roomStatus[room] = text;
    refresh();
}

void AlarmWatch::refresh()
{
    const double now = m_services.clock->monotonicSeconds();
    const ui::PortState state = m_wiring.link->state();
    std::optional<double> age;
    if (state != ui::PortState::Paused) {
        const auto until = m_wiring.liveness->liveUntil();
        age = until ? now - (*until - core::kStaleAfterSeconds) : now - m_start;
    }
    const ui::SerialPort *serial = m_wiring.link->port();
    // A port number that cannot be read names no device.
    const QString device = state == ui::PortState::NoPortNumber ? QString() : serial->systemDevice();
    const std::string port = core::portName(m_wiring.program->Port, serial->portNumber(), ui::toLocal(device));
    QString text = ui::fromLocal(core::linkStatusText(port, portStateWord(state).toStdString(),
                                                      m_counters.perMinute(now), m_counters.rejected(), age));
    // Until a run succeeds, so that a wrong command is not only in its log.
    if (!m_runner->startProblem().isEmpty())
        text += QStringLiteral(", the alarm command could not be started (%1)").arg(m_runner->startProblem());
    for (const QString &said : m_roomStatus)
        if (!said.isEmpty())
            text += QStringLiteral(", ") + said;
    // The tool tip says the same, and how to name another device.
    QString tip = text;
    if (port.rfind("port ", 0) == 0)
        tip += QStringLiteral("\nThe program folder has no COM%1 entry, so port %1 is %2. To use another device, "
                              "make COM%1 in the program folder a link to it (for example to /dev/ttyUSB0).")
                   .arg(serial->portNumber())
                   .arg(device);
    if (text != m_status || tip != m_statusTip) {
        m_status = text;
        m_statusTip = tip;
        emit statusChanged(m_status, m_statusTip);
    }
}

} // namespace alarms
