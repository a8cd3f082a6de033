// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: start-up and settings, frames to live read-out, the six
// meters, logging and the commands that open the other windows. What runs
// behind it (port, frames, logging, energy, alarms, curve, publishing) is the
// session's; each handler here calls into the session and updates controls.

#include "Edition.h"
#include "Session.h"
#include "core/Frame.h"
#include "core/Reading.h"
#include "core/Settings.h"
#include "ui/Canvas.h"
#include "ui/Controls.h"
#include "ui/ReconnectingPort.h"
#include "ui/ReportList.h"
#include "ui/Services.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace history {
class History;
}
namespace alarms {
class AlarmWatch;
}
namespace publish {
class Publisher;
}
namespace desktop {
class Desktop;
}
namespace ui {
class OptionsPage;
}

namespace monitor {

class Logger : public QWidget {
    Q_OBJECT
public:
    // On a session of its own, made by the program's composition root.
    Logger(const ui::Services &services, const Edition &edition, QWidget *parent = nullptr);
    // On a session the caller owns and keeps for the window's life.
    Logger(Session &session, const Edition &edition, QWidget *parent = nullptr);
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
    core::DataState dataState() const { return m_session->dataState(); }
    Session *session() const { return m_session; }
    ui::ReconnectingPort *link() const { return m_session->link(); }
    void StartLogging_Click();
    void StopLogging_Click();
    void Setup_Click();
    void CalibrateButton_Click();
    void ShowLogs_Click();
    // Our own: the History window with the energy and the power curve.
    void History_Click();
    // Our own: the Options window, a page for each of our settings files.
    void Options_Click();
    // Ends the program, also when the close box would hide it to the tray.
    void Exit_Click();
    // Our own: the tray icon, the notifications and the Desktop page of the
    // Options window (a program on a desktop sets it; tests may not).
    void setDesktop(desktop::Desktop *desktop);
    // The pages of the Options and History windows, made each time the
    // window opens, in the order added (monitor/RoomPages.cpp adds the
    // rooms'). `takeUp` runs once the Options page's file was saved; a maker
    // may give no page.
    void addOptionsPage(const QString &title, std::function<ui::OptionsPage *(QWidget *parent)> make,
                        std::function<void()> takeUp);
    void addHistoryPage(const QString &title, std::function<QWidget *(QWidget *parent)> make);
    alarms::AlarmWatch *alarmWatch() const { return m_session->alarms(); }

    // Settings (texts as found in the files) and the live state, as the
    // session holds them.
    const core::ProgramSettings &settings() const { return m_session->settings(); }
    const core::CalibrationSettings &calibration() const { return m_session->calibration(); }
    const core::Reading &reading() const { return m_session->reading(); }
    const core::Maxima &maxima() const { return m_session->maxima(); }
    double WattHours() const { return m_session->wattHours(); }

    // Controls, named as the design names them.
    QPushButton *StartLogging, *StopLogging, *CalibrateButton, *Setup, *ShowLogs, *Exit;
    // Our own: the energy history (and the power curve beside it).
    QPushButton *HistoryButton;
    // Our own: the Options window (alarms, MQTT); its tool tip is the state
    // of the MQTT connection.
    QPushButton *OptionsButton;
    // Our own: the alarm banner and the link's status line.
    QLabel *AlarmBanner, *LinkStatus;
    publish::Publisher *publisher() const { return m_session->publisher(); }
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
    // Timer1 (the logging tick) and Timer3 (the energy step) are the
    // session's, as is the port; Timer2 puts the lamps out.
    QTimer *Timer1, *Timer2, *Timer3;
    ui::SerialPort *MSComm1 = nullptr;

    const Edition &edition() const { return m_edition; }
    // Full scale of meter i (0..5) and of the read-out holders.
    static int fullScale(int index);
    // Back colour of a quantity's labels, by meter number.
    static QColor quantityColour(int meter);
    // A bold, centred title or value label in a quantity's colour.
    static QLabel *quantityLabel(QWidget *parent, const QString &name, const QString &caption, int meter);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Logger(std::unique_ptr<Session> own, const Edition &edition, QWidget *parent);
    void buildControls();
    // The settings on the controls: the delay box and the read-out list.
    void showSettings();
    void buildReadoutList();
    // Logging running with `shownDelay`: the delay box and buttons as then.
    void showLogging(const std::string &shownDelay);
    void showStopped();
    // The message, the setup window and one silent retry.
    void recoverPort();
    // A processed frame on the read-out list, the meters and the title.
    void showFrame(const core::Reading &reading);
    // Stale data draws the needles grey, so a frozen one is never taken for live.
    void setNeedlesGrey(bool grey);

    ui::Services m_services;
    Edition m_edition;
    std::unique_ptr<Session> m_ownSession;
    Session *m_session;
    // The History window while it is open: today's bar follows the total.
    QPointer<history::History> m_history;
    bool m_needlesGrey = false;
    QPointer<desktop::Desktop> m_desktop;
    bool m_exiting = false;
    struct OptionsEntry {
        QString title;
        std::function<ui::OptionsPage *(QWidget *)> make;
        std::function<void()> takeUp;
    };
    struct HistoryEntry {
        QString title;
        std::function<QWidget *(QWidget *)> make;
    };
    std::vector<OptionsEntry> m_optionsPages;
    std::vector<HistoryEntry> m_historyPages;
};

} // namespace monitor
