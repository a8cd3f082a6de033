#pragma once
// The main window: start-up and settings, frames to live read-out, the six
// meters, logging and the commands that open the other windows.

#include "Edition.h"
#include "core/EnergyBook.h"
#include "core/Frame.h"
#include "core/Reading.h"
#include "core/Settings.h"
#include "ui/Canvas.h"
#include "ui/Controls.h"
#include "ui/ProgramFolder.h"
#include "ui/ReconnectingPort.h"
#include "ui/ReportList.h"
#include "ui/Services.h"

#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>

namespace history {
class History;
class PowerCurveKeeper;
} // namespace history
namespace logging {
class EnergyKeeper;
class TickWriter;
} // namespace logging
namespace alarms {
class AlarmWatch;
}
namespace publish {
class Publisher;
}

namespace monitor {

class Logger : public QWidget {
    Q_OBJECT
public:
    Logger(const ui::Services &services, const Edition &edition, QWidget *parent = nullptr);
    ~Logger() override;

    // Start-up: waiting title, settings, port (with recovery), automatic logging.
    void Form_Load();
    // Reads both settings files and rebuilds the read-out list.
    void LoadSettings();
    // Port number, line settings, read length, open. False when any step failed.
    bool openPort();

    // Serial receive notification of MSComm1.
    void MSComm1_OnComm();
    void ProcessFrame(const std::string &frame);
    void VScroll1_Change(int index);
    void DrawGauge(int Index, double MinValue, double MaxValue, double MinPos, double MaxPos, int LineWidth,
                   double Inset, double Value);

    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    // Live, stale, or paused while another window holds the port.
    core::DataState dataState() const;
    ui::ReconnectingPort *link() const { return m_link; }
    history::PowerCurveKeeper *powerCurve() const { return m_powerCurve; }
    void StartLogging_Click();
    void StopLogging_Click();
    void Setup_Click();
    void CalibrateButton_Click();
    void ShowLogs_Click();
    // Our own: the History window with the energy and the power curve.
    void History_Click();
    void Mqtt_Click();
    void Exit_Click();
    void Alarms_Click();
    alarms::AlarmWatch *alarmWatch() const { return m_alarms.get(); }

    // Settings (texts as found in the files).
    core::ProgramSettings settings;
    core::CalibrationSettings calibration;
    // Live state.
    core::Reading reading;
    core::Maxima maxima;
    double WattHours = 0;

    // Controls, named as the design names them.
    QPushButton *StartLogging, *StopLogging, *CalibrateButton, *Setup, *ShowLogs, *Exit;
    // Our own: the energy history (and the power curve beside it).
    QPushButton *HistoryButton;
    // Our own: the alarms, their banner and the link's status line.
    QPushButton *AlarmsButton;
    QLabel *AlarmBanner, *LinkStatus;
    // Our own: the MQTT settings and connection state.
    QPushButton *MqttButton;
    publish::Publisher *publisher() const { return m_publisher; }
    QLabel *Label9_0, *Label10, *txtMode;
    ui::LampButton *BlinkLog, *BlinkData;
    QLineEdit *delay;
    ui::ReportList *ListView1;
    std::array<ui::Canvas *, 6> Picture1{};
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr;
    std::array<QLabel *, 14> Label5{};
    std::array<QLabel *, 2> Labe6{};
    // Edition-only title labels of the read-out block.
    QLabel *Label6 = nullptr, *Label7 = nullptr, *Label8 = nullptr, *Label11 = nullptr;
    // Index 6 and 9 do not exist.
    std::array<ui::ValueHolder *, 14> VScroll1{};
    QTimer *Timer1, *Timer2, *Timer3;
    ui::SerialPort *MSComm1 = nullptr;

    const Edition &edition() const { return m_edition; }
    // Full scale of meter i (0..5) and of the read-out holders.
    static int fullScale(int index);
    // Back colour of a quantity's labels, by meter number.
    static QColor quantityColour(int meter);
    // A bold, centred title or value label in a quantity's colour.
    static QLabel *quantityLabel(QWidget *parent, const QString &name, const QString &caption, int meter);

signals:
    // Each frame once decoded and calibrated, with the state of the data after
    // it and when it came (seconds on the monotonic clock).
    void frameProcessed(const core::RawReading &raw, const core::Reading &reading, core::DataState state,
                        double now);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildReadoutList();
    bool startLoggingFrom(bool interactive);
    core::CivilDate today() const;
    // The message, the setup window and one silent retry.
    void recoverPort();

    ui::Services m_services;
    Edition m_edition;
    // Reads the settings files for the whole run, telling each fault once.
    ui::ProgramFolder m_folder;
    ui::ReconnectingPort *m_link;
    core::FrameAssembler m_rx;
    core::Calibration m_cal;
    core::Liveness m_liveness;
    // The clock's time of the last live frame, for the live page.
    QDateTime m_lastLiveAt;
    core::EnergyBook m_book;
    std::unique_ptr<logging::EnergyKeeper> m_energyFiles;
    QTimer *m_energySave;
    // The History window while it is open: today's bar follows the total.
    QPointer<history::History> m_history;
    std::unique_ptr<logging::TickWriter> m_tick;
    history::PowerCurveKeeper *m_powerCurve;
    std::unique_ptr<alarms::AlarmWatch> m_alarms;
    // Stale data draws the needles grey, so a frozen one is never taken for live.
    void setNeedlesGrey(bool grey);
    bool m_needlesGrey = false;
    publish::Publisher *m_publisher = nullptr;
};

} // namespace monitor
