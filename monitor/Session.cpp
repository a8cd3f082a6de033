// SPDX-License-Identifier: GPL-3.0-or-later
#include "Session.h"

#include "alarms/AlarmWatch.h"
#include "core/Number.h"
#include "core/TickTexts.h"
#include "logging/EnergyKeeper.h"
#include "logging/TickWriter.h"
#include "publish/Messenger.h"
#include "publish/Publisher.h"
#include "ui/Files.h"

#include <QTimer>

namespace monitor {

namespace {
// The energy totals are saved this often while they change (today's line of
// energy.csv once a minute).
const int kEnergySaveMs = 10000;

ui::Services withMessages(ui::Services s, ui::MessageService *messages)
{
    s.messages = messages;
    return s;
}
} // namespace

Session::Session(const ui::Services &services, QObject *messageOwner)
    : m_services(withMessages(services, &m_messages)), m_folder(services.programFolder, &m_messages)
{
    m_messages.inner = services.messages;
    m_messages.owner = messageOwner;
    m_lastLiveAt = m_services.clock->now();

    m_logTimer = new QTimer(this);
    m_logTimer->setObjectName(QStringLiteral("Timer1"));
    m_logTimer->setInterval(1000);
    connect(m_logTimer, &QTimer::timeout, this, &Session::logTick);
    m_energyTimer = new QTimer(this);
    m_energyTimer->setObjectName(QStringLiteral("Timer3"));
    m_energyTimer->setInterval(5000);
    connect(m_energyTimer, &QTimer::timeout, this, &Session::energyStep);

    m_link = new ui::ReconnectingPort(m_services.makePort(), this);
    port()->setObjectName(QStringLiteral("MSComm1"));
    connect(port(), &ui::SerialPort::received, this, &Session::receive);
    connect(m_link, &ui::ReconnectingPort::opened, this, [this] { m_rx.clear(); });
    connect(m_link, &ui::ReconnectingPort::stateChanged, this, [this](ui::PortState state) {
        m_liveness.setPaused(state == ui::PortState::Paused);
        if (state == ui::PortState::Away)
            m_rx.clear(); // the half frame before the loss has no continuation
    });

    m_alarms = std::make_unique<alarms::AlarmWatch>(m_services,
                                                    alarms::AlarmWatch::Wiring{m_link, &m_liveness, &m_settings});
    m_tick = std::make_unique<logging::TickWriter>(m_services, nullptr);
    m_energyFiles = std::make_unique<logging::EnergyKeeper>(m_services, nullptr);
    m_energySave = new QTimer(this);
    m_energySave->setInterval(kEnergySaveMs);
    connect(m_energySave, &QTimer::timeout, this, [this] { m_energyFiles->save(m_book); });
    m_publisher = new publish::Publisher(
        m_services, [this] { return dataState(); }, this);
    // Every alarm's state is published, each as it is now and then at each raise and clear.
    for (const core::AlarmId id : core::kAlarms)
        m_publisher->setAlarm(std::string(core::alarmKey(id)), std::string(core::alarmTitle(id)),
                              m_alarms->raised(id));
    m_messenger = new publish::Messenger(m_services, this);
    connect(m_alarms.get(), &alarms::AlarmWatch::alarmChanged, m_messenger, &publish::Messenger::alarm);
    connect(m_messenger, &publish::Messenger::statusChanged, this,
            [this](const QString &text) { m_alarms->setRoomStatus(QStringLiteral("messages"), text); });
    connect(this, &Session::settingsSaved, this, [this](ui::SettingsFile file) {
        if (file == ui::SettingsFile::Alarms)
            m_alarms->loadSettings();
        else if (file == ui::SettingsFile::Mqtt)
            m_publisher->reload();
        else if (file == ui::SettingsFile::Messages)
            m_messenger->loadSettings();
    });
    m_messenger->loadSettings();
    connect(m_alarms.get(), &alarms::AlarmWatch::alarmChanged, this,
            [this](const QString &key, const QString &name, bool raised) {
                m_publisher->setAlarm(key.toStdString(), name.toStdString(), raised);
            });
}

Session::~Session() = default;

void Session::setMonthAvailability(const std::optional<core::Availability> &month)
{
    m_month = month;
    m_publisher->setMonthAvailability(month ? month->timeBased : std::nullopt);
}

// ---- start-up and settings -------------------------------------------------

void Session::resetReading()
{
    m_reading = core::Reading();
    m_wattHours = 0;
}

void Session::loadSettings()
{
    // What cannot be read takes the delivered defaults; m_folder tells the
    // user, once per condition, and creates only files that do not exist.
    m_settings = m_folder.programSettings();
    m_book.setWindUnit(m_settings.WSUnits);
    m_publisher->setWindUnit(m_settings.WSUnits);
    m_calibration = m_folder.calibrationSettings();
    m_cal = core::calibrationFrom(m_calibration);
}

bool Session::start()
{
    resetReading();
    loadSettings();
    return openPort();
}

bool Session::openPort()
{
    m_portLentTo.clear();
    m_rx.clear();
    const auto number = core::readInt16(m_settings.Port);
    return m_link->open(number ? std::optional<int>(*number) : std::nullopt);
}

bool Session::reopenPort()
{
    m_portLentTo.clear();
    return m_link->reopen();
}

void Session::pausePort(const QString &window)
{
    m_portLentTo = window;
    m_link->pause();
}

bool Session::takeUpSetup()
{
    loadSettings();
    emit settingsTakenUp();
    return openPort();
}

bool Session::takeUpCalibration()
{
    loadSettings();
    emit settingsTakenUp();
    return reopenPort();
}

void Session::startEnergy(const core::CivilDate &today)
{
    // The caller reads the date once for this and nothing else, so a start at
    // midnight neither carries the old day's total into the new day nor loses it.
    m_book.start(m_energyFiles->load(today), today, m_services.clock->monotonicSeconds(), m_settings.WSUnits);
    m_book.setDayLookup([this](const core::CivilDate &date) { return m_energyFiles->dayLine(date); });
    m_wattHours = m_book.today();
    // Today's line and the state agree from the start (a kill left the line behind).
    m_energyFiles->save(m_book, true);
    m_energyTimer->start();
    m_energySave->start();
    // Whoever shows the energy (the web server's values among them) has it from the start.
    emit energyChanged(m_wattHours);
}

// ---- frames ------------------------------------------------------------------

void Session::receive()
{
    const QByteArray bytes = port()->readAll();
    port()->clearInput();
    m_rx.append(std::string_view(bytes.constData(), size_t(bytes.size())));
    while (auto frame = m_rx.next())
        processFrame(*frame);
    if (const long long dropped = m_alarms->setDropped(m_rx.dropped())) {
        m_book.countFrames(0, dropped);
        emit framesDropped(dropped);
    }
}

void Session::processFrame(const std::string &frame)
{
    m_lastFrame = frame;
    const core::RawReading raw = core::decodeFrame(frame);
    core::applyFrame(m_reading, raw, m_cal);
    const double now = m_services.clock->monotonicSeconds();
    m_liveness.frame(raw, now);
    if (core::isLive(raw))
        m_lastLiveAt = m_services.clock->now();
    m_book.frame(raw, m_reading);
    m_book.countFrames(1, core::isLive(raw) ? 0 : 1);
    m_alarms->frame(raw, m_reading);
    if (m_logTimer->isActive())
        m_maxima.raise(m_reading);
    m_publisher->frame({m_reading.Volts, m_reading.Amps, m_reading.Watts, m_reading.RPM, m_reading.WindSpeed,
                        m_reading.Mode == 1, m_wattHours, m_book.lifetime()});
    emit frameProcessed(raw, m_reading, m_liveness.state(now), now);
}

// ---- logging -----------------------------------------------------------------

std::optional<std::string> Session::startLogging(const std::string &delayText)
{
    const core::StartDelay d = core::startDelay(delayText);
    if (!d.valid)
        return std::nullopt;
    m_logTimer->setInterval(d.periodMs);
    m_logTimer->start();
    m_loggingDelay = d.newText;
    emit loggingChanged(true, m_loggingDelay);
    return d.newText;
}

void Session::stopLogging()
{
    const bool was = logging();
    m_logTimer->stop();
    if (was)
        emit loggingChanged(false, std::string());
}

Session::LogStart Session::logAsSettingsSay(const std::string &runningDelay)
{
    if (!core::isOn(m_settings.LogOn)) {
        stopLogging();
        return {LogStart::Off, {}};
    }
    if (logging() && m_settings.LogDelay == runningDelay)
        return {LogStart::AsBefore, {}};
    const auto shown = startLogging(m_settings.LogDelay);
    if (!shown)
        return {LogStart::BadDelay, {}};
    resetMaxima();
    return {LogStart::Started, *shown};
}

bool Session::logging() const { return m_logTimer->isActive(); }

void Session::logTick()
{
    logging::TickValues v;
    v.maxima = m_maxima;
    v.mode = m_reading.Mode;
    v.wattHours = m_wattHours;
    v.yesterdayWh = m_book.yesterday();
    v.lifetimeWh = m_book.lifetime();
    v.savehtml = m_settings.Savehtml;
    v.saveExcel = m_settings.SaveExcel;
    v.wsUnits = m_settings.WSUnits;
    v.logSeconds = m_logTimer->interval() / 1000.0;
    v.state = dataState();
    v.lastLive = m_lastLiveAt;
    m_tick->write(v);
    m_maxima.reset();
    emit logged();
}

void Session::energyStep()
{
    const double now = m_services.clock->monotonicSeconds();
    m_book.setToday(m_wattHours);
    const double before = m_book.lifetime();
    if (const auto finished = m_book.step(m_reading.Watts, m_reading.Mode, m_liveness, now, today())) {
        m_energyFiles->finishDay(*finished);
        m_energyFiles->save(m_book, true);
    }
    m_wattHours = m_book.today();
    if (const double counted = m_book.lifetime() - before)
        emit energyCounted(counted);
    emit energyChanged(m_wattHours);
}

void Session::finish()
{
    // The seconds since the last step count too, while the data is still live.
    if (m_energyTimer->isActive())
        energyStep();
    m_link->pause();
    m_book.setToday(m_wattHours);
    m_energyFiles->save(m_book, true);
}


core::DataState Session::dataState() const { return m_liveness.state(m_services.clock->monotonicSeconds()); }

core::CivilDate Session::today() const
{
    const QDate d = m_services.clock->date();
    return {d.year(), d.month(), d.day()};
}

} // namespace monitor
