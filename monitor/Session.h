// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The running session: everything that goes on whether or not a window shows
// it. The settings, the port with its recovery, frames in, calibrated
// readings, the logging tick with its maxima, the energy book and its files,
// the alarms with their command, and publishing, all fed from
// here. It links no Gui and no Widgets, so a program without a display runs
// the same code; windows and feature rooms connect to its signals.

#include "core/Availability.h"
#include "core/EnergyBook.h"
#include "core/Frame.h"
#include "core/Liveness.h"
#include "core/Reading.h"
#include "core/Settings.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "ui/ReconnectingPort.h"
#include "ui/Services.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>

class QTimer;

namespace alarms {
class AlarmWatch;
}
namespace logging {
class EnergyKeeper;
class TickWriter;
} // namespace logging
namespace publish {
class DataOut;
class Messenger;
class Publisher;
}
namespace web {
class WebServer;
}

namespace monitor {

class Session : public QObject {
    Q_OBJECT
public:
    // The session's messages are shown over `messageOwner` (a window, or none).
    explicit Session(const ui::Services &services, QObject *messageOwner = nullptr);
    ~Session() override;
    void setMessageOwner(QObject *owner) { m_messages.owner = owner; }

    // ---- start-up, in the order a program runs it
    // Reading and energy of the day back to nothing until the files are read.
    void resetReading();
    // Reads both settings files (each fault told once) and hands the wind
    // unit and calibration on.
    void loadSettings();
    // Opens the port named by `Port`; false when any step failed (it is then
    // tried again every 2 s).
    bool openPort();
    // Again with the port number and line settings it had.
    bool reopenPort();
    // Another window takes the port; the data is paused meanwhile. `window`
    // names it (its title) until the port is opened again.
    void pausePort(const QString &window = QString());
    // The window that has the port (its Setup or Calibration window is open),
    // else empty.
    QString portLentTo() const { return m_portLentTo; }
    // Takes up the energy files for `today` and starts the energy step.
    void startEnergy(const core::CivilDate &today);
    // What every program does first, window or not: the reading cleared,
    // the settings read, the port opened (false when it did not open).
    bool start();

    // ---- a save of prog.cfg or settings.cfg from elsewhere than its window
    // (the browser): what closing that window does. The settings read again,
    // then the port opened again, with the number now in prog.cfg after
    // Setup, as it was after Calibration; false when it did not open (it is
    // then tried again every 2 s).
    bool takeUpSetup();
    bool takeUpCalibration();

    // ---- logging
    // Starts the logging tick from the delay text ("Seconds"); nullopt when it
    // is not a number from 10 to 600. Else the text to show for it.
    std::optional<std::string> startLogging(const std::string &delayText);
    void stopLogging();
    bool logging() const;
    // The delay text logging was last started with (as it is shown).
    const std::string &loggingDelay() const { return m_loggingDelay; }
    void resetMaxima() { m_maxima.reset(); }
    // Logging as LogOn and LogDelay say, at a start and after the settings
    // were read again: stopped when LogOn is off; else started with LogDelay
    // and the maxima begun anew, unless it runs already and LogDelay is
    // still `runningDelay` (the LogDelay it was started with).
    struct LogStart {
        enum { Off, AsBefore, Started, BadDelay } result;
        std::string shown; // Started: the delay as it is shown
    };
    LogStart logAsSettingsSay(const std::string &runningDelay = std::string());

    // ---- the handlers, also called by the window's own event handlers
    // The port's receive notification: the waiting characters into frames.
    void receive();
    void processFrame(const std::string &frame);
    // The logging tick: the day's record and whatever is published with it.
    void logTick();
    // The energy step every 5 s.
    void energyStep();
    // The end of the run: the port let go, energy saved.
    void finish();
    // One of our own settings files was saved (or SIGHUP came): every room
    // that reads it takes it up, the session's alarms and publisher too.
    void saved(ui::SettingsFile file) { emit settingsSaved(file); }

    // ---- what the session holds
    const core::ProgramSettings &settings() const { return m_settings; }
    const core::CalibrationSettings &calibration() const { return m_calibration; }
    const core::Reading &reading() const { return m_reading; }
    const core::Maxima &maxima() const { return m_maxima; }
    double wattHours() const { return m_wattHours; }
    const core::EnergyBook &book() const { return m_book; }
    const core::Liveness &liveness() const { return m_liveness; }
    core::DataState dataState() const;
    // The last frame decoded, as it came (empty before the first).
    const std::string &lastFrame() const { return m_lastFrame; }
    // The clock's time of the last live frame (the start, before the first).
    QDateTime lastLiveAt() const { return m_lastLiveAt; }

    ui::ReconnectingPort *link() const { return m_link; }
    ui::SerialPort *port() const { return m_link->port(); }
    // The logging tick (`Timer1`) and the energy step (`Timer3`).
    QTimer *logTimer() const { return m_logTimer; }
    QTimer *energyTimer() const { return m_energyTimer; }
    alarms::AlarmWatch *alarms() const { return m_alarms.get(); }
    publish::Publisher *publisher() const { return m_publisher; }
    // Alarms, a day's summary and a gap in the running, by e-mail and push.
    publish::Messenger *messenger() const { return m_messenger; }
    // This month's availability as last read from the archive, for MQTT and
    // the metrics (none before the first read).
    const std::optional<core::Availability> &monthAvailability() const { return m_month; }
    void setMonthAvailability(const std::optional<core::Availability> &month);
    // The web server, when the composition root made one (it owns it).
    web::WebServer *webServer() const { return m_web; }
    void setWebServer(web::WebServer *web) { m_web = web; }
    // Data out, when the composition root made it (it owns it).
    publish::DataOut *dataOut() const { return m_dataOut; }
    void setDataOut(publish::DataOut *d) { m_dataOut = d; }
    const ui::Services &services() const { return m_services; }

signals:
    // Each frame once decoded and calibrated, with the state of the data after
    // it and when it came (seconds on the monotonic clock).
    void frameProcessed(const core::RawReading &raw, const core::Reading &reading, core::DataState state,
                        double now);
    void settingsSaved(ui::SettingsFile file);
    // The settings were read again by takeUpSetup() or takeUpCalibration().
    void settingsTakenUp();
    // Logging was started (with the delay as shown) or stopped, from wherever.
    void loggingChanged(bool on, const std::string &shownDelay);
    // Frames that were cut short or too long and never decoded.
    void framesDropped(long long count);
    // A logging tick has been written.
    void logged();
    // Today's energy after an energy step.
    void energyChanged(double wattHours);
    // The energy an energy step counted (watt-hours), for the archive's minute.
    void energyCounted(double wattHours);

private:
    // The services with the messages shown over the current owner.
    struct OwnedMessages : ui::MessageService {
        ui::MessageService *inner = nullptr;
        QPointer<QObject> owner;
        void inform(QObject *o, const QString &text) override { inner->inform(o ? o : owner.data(), text); }
        void notify(QObject *o, const QString &text) override { inner->notify(o ? o : owner.data(), text); }
        bool ask(QObject *o, const QString &question) override
        {
            return inner->ask(o ? o : owner.data(), question);
        }
    };
    core::CivilDate today() const;

    OwnedMessages m_messages;
    ui::Services m_services;
    // Reads the settings files for the whole run, telling each fault once.
    ui::ProgramFolder m_folder;
    core::ProgramSettings m_settings;
    core::CalibrationSettings m_calibration;
    core::Calibration m_cal;
    core::Reading m_reading;
    core::Maxima m_maxima;
    double m_wattHours = 0;
    ui::ReconnectingPort *m_link;
    core::FrameAssembler m_rx;
    std::string m_lastFrame;
    QString m_portLentTo;
    std::string m_loggingDelay;
    core::Liveness m_liveness;
    QDateTime m_lastLiveAt;
    core::EnergyBook m_book;
    std::unique_ptr<logging::EnergyKeeper> m_energyFiles;
    std::unique_ptr<logging::TickWriter> m_tick;
    QTimer *m_logTimer, *m_energyTimer, *m_energySave;
    std::unique_ptr<alarms::AlarmWatch> m_alarms;
    std::optional<core::Availability> m_month;
    publish::Publisher *m_publisher;
    publish::Messenger *m_messenger;
    web::WebServer *m_web = nullptr;
    publish::DataOut *m_dataOut = nullptr;
};

} // namespace monitor
