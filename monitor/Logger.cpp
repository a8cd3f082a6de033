// SPDX-License-Identifier: GPL-3.0-or-later
#include "Logger.h"

#include "Dials.h"
#include "RoomPages.h"
#include "alarms/AlarmWatch.h"
#include "alarms/Banner.h"
#include "config/Calibrate.h"
#include "config/ProgramSetup.h"
#include "core/Gauge.h"
#include "core/Number.h"
#include "core/TickTexts.h"
#include "desktop/Desktop.h"
#include "graph/Graph.h"
#include "history/History.h"
#include "publish/Publisher.h"
#include "ui/Files.h"
#include "ui/Options.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>

namespace monitor {

namespace {
struct MeterSpec {
    int fullScale;
    int widthPx, heightPx;
    const char *legend;
};
// Meters 0..5: volts, amps, watts, watt-hours, RPM, wind speed.
const MeterSpec kMeters[6] = {
    {100, 172, 100, "VOLTS"}, {100, 174, 100, "AMPS"}, {1000, 174, 101, "WATTS"},
    {3000, 174, 102, "WH"},   {1000, 174, 101, "RPM"}, {100, 174, 100, "WIND"},
};

const QColor kRed(255, 0, 0);

QString number(double v) { return ui::fromLocal(core::numberText(v)); }

} // namespace

// Title label and back colour of each quantity, shared with the read-out block.
QColor Logger::quantityColour(int meter)
{
    static const QColor colours[6] = {QColor(255, 0, 0),   QColor(0, 255, 0),   QColor(128, 128, 255),
                                      QColor(255, 0, 255), QColor(255, 255, 0), QColor(128, 128, 128)};
    return colours[meter];
}

QLabel *Logger::quantityLabel(QWidget *parent, const QString &name, const QString &caption, int meter)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(name);
    QFont f(QStringLiteral("Arial"), 12);
    f.setBold(true);
    l->setFont(f);
    l->setAlignment(Qt::AlignCenter);
    ui::setColours(l, quantityColour(meter), Qt::black);
    return l;
}

int Logger::fullScale(int index)
{
    static const int scales[14] = {100, 100, 1000, 3000, 1000, 100, 0, 100, 100, 0, 1000, 100, 1000, 3000};
    return index >= 0 && index < 14 ? scales[index] : 0;
}

Logger::Logger(const ui::Services &services, const Edition &edition, QWidget *parent)
    : Logger(std::make_unique<Session>(services), edition, parent)
{ }

Logger::Logger(std::unique_ptr<Session> own, const Edition &edition, QWidget *parent)
    : Logger(*own, edition, parent)
{
    m_ownSession = std::move(own);
}

Logger::Logger(Session &session, const Edition &edition, QWidget *parent)
    : QWidget(parent), m_services(session.services()), m_edition(edition), m_session(&session)
{
    m_session->setMessageOwner(this);
    setObjectName(QStringLiteral("Logger"));
    // A dark back so that the white "Record" and "Seconds" captions read.
    QPalette back = palette();
    back.setColor(QPalette::Window, QColor(0, 64, 0));
    setPalette(back);
    setAutoFillBackground(true);
    buildControls();
    if (m_edition.layoutMainWindow)
        m_edition.layoutMainWindow(*this);

    Timer1 = m_session->logTimer();
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(250);
    Timer2->setSingleShot(true);
    Timer3 = m_session->energyTimer();
    connect(Timer2, &QTimer::timeout, this, &Logger::Timer2_Timer);
    MSComm1 = m_session->port();

    connect(m_session, &Session::frameProcessed, this,
            [this](const core::RawReading &, const core::Reading &r) { showFrame(r); });
    // Saves and logging switched from the browser show here as if done here.
    connect(m_session, &Session::settingsTakenUp, this, &Logger::showSettings);
    connect(m_session, &Session::loggingChanged, this, [this](bool on, const std::string &shown) {
        if (on)
            showLogging(shown);
        else
            showStopped();
    });
    connect(m_session, &Session::logged, this, [this] {
        Timer2->start();
        BlinkLog->setBackColour(kRed);
    });
    connect(m_session, &Session::energyChanged, this, [this](double wh) {
        if (m_history)
            m_history->setToday(wh);
    });
    alarms::AlarmWatch *watch = m_session->alarms();
    connect(watch, &alarms::AlarmWatch::staleChanged, this, &Logger::setNeedlesGrey);
    connect(watch, &alarms::AlarmWatch::bannerChanged, this,
            [this](const QList<QStringList> &raised) { alarms::showBanner(AlarmBanner, raised); });
    connect(watch, &alarms::AlarmWatch::statusChanged, this, [this](const QString &text, const QString &tip) {
        LinkStatus->setText(text);
        LinkStatus->setToolTip(tip);
    });
    connect(watch, &alarms::AlarmWatch::beep, this, [] { QApplication::beep(); });
    alarms::showBanner(AlarmBanner, watch->banner());
    LinkStatus->setText(watch->status());
    LinkStatus->setToolTip(watch->statusTip());
    connect(publisher(), &publish::Publisher::statusChanged, OptionsButton, &QWidget::setToolTip);
    OptionsButton->setToolTip(publisher()->statusText());
    addRoomPages(*this);

    Form_Load();
    const QDate d = m_services.clock->date();
    m_session->startEnergy({d.year(), d.month(), d.day()});
}

Logger::~Logger() = default;

void Logger::buildControls()
{
    StartLogging = ui::button(this, QStringLiteral("StartLogging"), QStringLiteral("Start"));
    StopLogging = ui::button(this, QStringLiteral("StopLogging"), QStringLiteral("Stop"));
    CalibrateButton = ui::button(this, QStringLiteral("CalibrateButton"), QStringLiteral("Calib"));
    Setup = ui::button(this, QStringLiteral("Setup"), QStringLiteral(" Setup"));
    ShowLogs = ui::button(this, QStringLiteral("ShowLogs"), QStringLiteral("Graph"));
    Exit = ui::button(this, QStringLiteral("Exit"), QStringLiteral("Exit"));
    HistoryButton = ui::button(this, QStringLiteral("History"), QStringLiteral("History"));
    OptionsButton = ui::button(this, QStringLiteral("Options"), QStringLiteral("Options"));
    connect(OptionsButton, &QPushButton::clicked, this, &Logger::Options_Click);
    AlarmBanner = alarms::makeBanner(this);
    LinkStatus = alarms::makeStatusLine(this);
    connect(StartLogging, &QPushButton::clicked, this, &Logger::StartLogging_Click);
    connect(StopLogging, &QPushButton::clicked, this, &Logger::StopLogging_Click);
    connect(CalibrateButton, &QPushButton::clicked, this, &Logger::CalibrateButton_Click);
    connect(Setup, &QPushButton::clicked, this, &Logger::Setup_Click);
    connect(ShowLogs, &QPushButton::clicked, this, &Logger::ShowLogs_Click);
    connect(Exit, &QPushButton::clicked, this, &Logger::Exit_Click);
    connect(HistoryButton, &QPushButton::clicked, this, &Logger::History_Click);

    Label9_0 = new QLabel(QStringLiteral("Record"), this);
    Label9_0->setObjectName(QStringLiteral("Label9(0)"));
    Label9_0->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label10 = new QLabel(QStringLiteral("Seconds"), this);
    Label10->setObjectName(QStringLiteral("Label10"));
    for (QLabel *l : {Label9_0, Label10}) {
        ui::setColours(l, QColor(), Qt::white);
        l->setFont(QFont(QStringLiteral("Arial"), 8));
    }
    Label9_0->setAutoFillBackground(false);
    Label10->setAutoFillBackground(false);

    BlinkLog = new ui::LampButton(this);
    BlinkLog->setObjectName(QStringLiteral("BlinkLog"));
    BlinkData = new ui::LampButton(this);
    BlinkData->setObjectName(QStringLiteral("BlinkData"));
    BlinkData->setBackColour(Qt::white);

    delay = new QLineEdit(QStringLiteral("60"), this);
    delay->setObjectName(QStringLiteral("delay"));

    txtMode = new QLabel(this);
    txtMode->setObjectName(QStringLiteral("txtMode"));
    QFont modeFont(QStringLiteral("Arial"));
    modeFont.setPointSizeF(13.5);
    modeFont.setBold(true);
    txtMode->setFont(modeFont);
    txtMode->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ui::setColours(txtMode, QColor(), kRed);
    txtMode->setAutoFillBackground(false);

    ListView1 = new ui::ReportList(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));

    for (int i = 0; i < 6; ++i) {
        auto *pic = new ui::Canvas(this);
        pic->setObjectName(QStringLiteral("Picture1(%1)").arg(i));
        pic->setBackgroundColour(QColor(0, 128, 0));
        pic->setPicture(dialImage(kMeters[i].widthPx, kMeters[i].heightPx, kMeters[i].fullScale,
                                  QString::fromLatin1(kMeters[i].legend)));
        Picture1[size_t(i)] = pic;
    }

    Label1 = quantityLabel(this, QStringLiteral("Label1"), QStringLiteral("            VOLTS"), 0);
    Label2 = quantityLabel(this, QStringLiteral("Label2"), QStringLiteral("           AMPS"), 1);
    Label3 = quantityLabel(this, QStringLiteral("Label3"), QStringLiteral("            WATTS"), 2);
    Label4 = quantityLabel(this, QStringLiteral("Label4"), QStringLiteral(" WATT HOURS"), 3);
    Label5[6] = quantityLabel(this, QStringLiteral("Label5(6)"), QStringLiteral("        MILL RPM"), 4);
    Labe6[1] = quantityLabel(this, QStringLiteral("Labe6(1)"), QStringLiteral("  WIND SPEED"), 5);
    for (int i = 0; i < 6; ++i)
        Label5[size_t(i)] = quantityLabel(this, QStringLiteral("Label5(%1)").arg(i), QString(), i);

    for (int i : {0, 1, 2, 3, 4, 5, 7, 8, 10, 11, 12, 13}) {
        auto *holder = new ui::ValueHolder(i, 0, fullScale(i), this);
        connect(holder, &ui::ValueHolder::changed, this, &Logger::VScroll1_Change);
        VScroll1[size_t(i)] = holder;
    }
}

// ---- start-up and settings -------------------------------------------------

void Logger::Form_Load()
{
    setWindowTitle(ui::programTitle() + QStringLiteral(" - Waiting for Signal"));
    StopLogging->setEnabled(false);
    const bool opened = m_session->start();
    showSettings();
    if (!opened)
        recoverPort();
    if (const auto l = m_session->logAsSettingsSay(); l.result == monitor::Session::LogStart::Started)
        showLogging(l.shown);
}

void Logger::recoverPort()
{
    m_session->pausePort(QStringLiteral("Setup"));
    m_services.messages->inform(
        this, QStringLiteral("Error opening port ") + ui::fromLocal(settings().Port)
                  + QStringLiteral(", Click OK to open the Program Setup page, and select another com port."));
    config::ProgramSetup setupWindow(m_services, this);
    m_services.modal->run(&setupWindow);
    LoadSettings();
    // One silent retry; after that the port is tried every 2 s, silently.
    openPort();
}

void Logger::LoadSettings()
{
    m_session->loadSettings();
    showSettings();
}

void Logger::showSettings()
{
    delay->setText(ui::fromLocal(settings().LogDelay));
    buildReadoutList();
}

void Logger::buildReadoutList()
{
    const bool rpm = core::isOn(settings().DisplayRPM);
    const bool ws = core::isOn(settings().DisplayWS);
    ListView1->clearColumns();
    ListView1->clearRows();
    ListView1->setHeadersVisible(false);
    double size = 24;
    if (rpm || ws)
        size = 20;
    if (rpm && ws)
        size = 18;
    ListView1->setListFont(QStringLiteral("Arial"), size);
    ListView1->addColumn(QString(), 1);
    ListView1->addColumn(QString(), 1500);
    ListView1->addColumn(QString(), 2600);

    std::vector<QStringList> rows;
    const QString zero = QStringLiteral("0.0");
    for (const char *name : {"Volts", "Amps", "Watts", "WattHours"})
        rows.push_back({QString(), zero, QString::fromLatin1(name)});
    if (rpm)
        rows.push_back({QString(), zero, QStringLiteral("RPM")});
    if (ws)
        rows.push_back({QString(), zero, ui::fromLocal(settings().WSUnits)});
    ListView1->setRows(std::move(rows));
}

bool Logger::openPort() { return m_session->openPort(); }

// ---- frames ------------------------------------------------------------------

void Logger::MSComm1_OnComm() { m_session->receive(); }

void Logger::ProcessFrame(const std::string &frame) { m_session->processFrame(frame); }

void Logger::showFrame(const core::Reading &reading)
{
    Timer2->start();
    BlinkData->setBackColour(kRed);

    const double WattHours = m_session->wattHours();
    const core::ProgramSettings &settings = m_session->settings();
    std::vector<QStringList> rows;
    rows.push_back({QString(), number(reading.Volts), QStringLiteral("Volts")});
    rows.push_back({QString(), number(reading.Amps), QStringLiteral("Amps")});
    rows.push_back({QString(), number(reading.Watts), QStringLiteral("Watts")});
    rows.push_back({QString(), number(core::roundHalfEven(WattHours, 1)), QStringLiteral("WattHours")});
    if (core::isOn(settings.DisplayRPM))
        rows.push_back({QString(), number(reading.RPM), QStringLiteral("RPM")});
    if (core::isOn(settings.DisplayWS))
        rows.push_back({QString(), number(reading.WindSpeed), ui::fromLocal(settings.WSUnits)});
    ListView1->setRows(std::move(rows));

    // The meters pass through 0 so that each one is redrawn for every frame.
    const double values[6] = {reading.Volts, reading.Amps, reading.Watts,
                              WattHours,     reading.RPM,  reading.WindSpeed};
    for (int i = 0; i < 6; ++i)
        VScroll1[size_t(i)]->setValue(0);
    for (int i = 0; i < 6; ++i)
        VScroll1[size_t(i)]->setValue(core::holderPosition(values[i], fullScale(i)));
    if (m_edition.hasReadoutBlock) {
        const std::pair<int, double> readouts[6] = {{7, reading.Volts},  {8, reading.Amps},
                                                    {10, reading.RPM},   {11, reading.WindSpeed},
                                                    {12, reading.Watts}, {13, WattHours}};
        for (const auto &[index, value] : readouts)
            VScroll1[size_t(index)]->setValue(core::holderPosition(value, fullScale(index)));
    }

    txtMode->setText(reading.Mode == 1 ? QStringLiteral("On Load") : QString());
    setWindowTitle(QStringLiteral("Logger  ") + number(reading.Volts) + QStringLiteral(" V  ")
                   + number(reading.Amps) + QStringLiteral(" A  ") + number(reading.Watts) + QStringLiteral(" W  ")
                   + number(reading.RPM) + QStringLiteral(" RPM  ") + number(reading.WindSpeed)
                   + QStringLiteral(" WIND "));
}

void Logger::VScroll1_Change(int index)
{
    if (index < 0 || index >= 14 || !VScroll1[size_t(index)])
        return;
    const int value = VScroll1[size_t(index)]->value();
    if (QLabel *label = Label5[size_t(index)])
        label->setText(QString::number(value));
    if (index <= 5)
        DrawGauge(index, 0, fullScale(index), 0, 30, 3, 0.1, value);
}

void Logger::DrawGauge(int Index, double MinValue, double MaxValue, double MinPos, double MaxPos, int LineWidth,
                       double Inset, double Value)
{
    ui::Canvas *pic = Picture1[size_t(Index)];
    core::GaugeScale scale{MinValue, MaxValue, MinPos, MaxPos, Inset};
    const core::Needle n = core::needle(pic->scaleWidth(), pic->scaleHeight(), scale, Value);
    pic->setLineWidth(LineWidth);
    pic->clear();
    if (m_needlesGrey)
        pic->line(n.cx, n.cy, n.x, n.y, QColor(150, 150, 150));
    else
        pic->line(n.cx, n.cy, n.x, n.y);
    pic->setDrawColour(Qt::black);
}

// ---- logging -----------------------------------------------------------------

void Logger::Timer1_Timer() { m_session->logTick(); }

void Logger::Timer2_Timer()
{
    BlinkData->setBackColour(ui::LampButton::buttonFace());
    BlinkLog->setBackColour(ui::LampButton::buttonFace());
    Timer2->stop();
}

void Logger::Timer3_Timer() { m_session->energyStep(); }

void Logger::showLogging(const std::string &shownDelay)
{
    delay->setText(ui::fromLocal(shownDelay));
    delay->setEnabled(false);
    StartLogging->setEnabled(false);
    StopLogging->setEnabled(true);
}

void Logger::StartLogging_Click()
{
    const auto shown = m_session->startLogging(ui::toLocal(delay->text()));
    if (!shown) {
        m_services.messages->inform(this, QStringLiteral("Invalid delay period, needs to be a number between 10 and 600"));
        return;
    }
    showLogging(*shown);
    m_session->resetMaxima();
}

void Logger::StopLogging_Click()
{
    showStopped();
    m_session->stopLogging();
}

void Logger::showStopped()
{
    StartLogging->setEnabled(true);
    delay->setEnabled(true);
    StopLogging->setEnabled(false);
}

// ---- commands ----------------------------------------------------------------

void Logger::Setup_Click()
{
    m_session->pausePort(QStringLiteral("Setup"));
    {
        config::ProgramSetup setupWindow(m_services, this);
        m_services.modal->run(&setupWindow);
    }
    LoadSettings();
    if (!openPort())
        recoverPort();
}

void Logger::CalibrateButton_Click()
{
    m_session->pausePort(QStringLiteral("Calibration"));
    {
        config::Calibrate calibrateWindow(m_services, this);
        m_services.modal->run(&calibrateWindow);
    }
    LoadSettings();
    // The port number and line settings are those it had before.
    if (!m_session->reopenPort())
        recoverPort();
}

void Logger::ShowLogs_Click()
{
    graph::Graph graphWindow(m_services, this);
    if (m_edition.layoutGraphWindow)
        m_edition.layoutGraphWindow(graphWindow);
    m_services.modal->run(&graphWindow);
}

void Logger::History_Click()
{
    history::History historyWindow(m_services, this);
    for (const HistoryEntry &e : m_historyPages)
        if (QWidget *page = e.make(&historyWindow))
            historyWindow.addPage(page, e.title);
    historyWindow.setToday(WattHours());
    m_history = &historyWindow;
    m_services.modal->run(&historyWindow);
}

void Logger::Options_Click()
{
    ui::Options options(this);
    for (const OptionsEntry &e : m_optionsPages)
        if (ui::OptionsPage *page = e.make(&options))
            options.addPage(page, e.title, e.takeUp);
    m_services.modal->run(&options);
}

void Logger::addOptionsPage(const QString &title, std::function<ui::OptionsPage *(QWidget *parent)> make,
                            std::function<void()> takeUp)
{
    m_optionsPages.push_back({title, std::move(make), std::move(takeUp)});
}

void Logger::addHistoryPage(const QString &title, std::function<QWidget *(QWidget *parent)> make)
{
    m_historyPages.push_back({title, std::move(make)});
}

void Logger::setNeedlesGrey(bool grey)
{
    m_needlesGrey = grey;
    // Meters that show no needle yet stay without one.
    for (int i = 0; i < 6; ++i)
        if (Picture1[size_t(i)]->drawCount() > 0)
            DrawGauge(i, 0, fullScale(i), 0, 30, 3, 0.1, VScroll1[size_t(i)]->value());
}

void Logger::setDesktop(desktop::Desktop *desktop)
{
    if (desktop && !m_desktop)
        addDesktopPage(*this, desktop);
    m_desktop = desktop;
}

void Logger::Exit_Click()
{
    m_exiting = true;
    close();
}

void Logger::closeEvent(QCloseEvent *event)
{
    // The close box may only hide the window; the session runs on behind the
    // tray icon.
    if (!m_exiting && m_desktop && m_desktop->closeBox() == core::CloseBox::HideToTray) {
        event->ignore();
        hide();
        return;
    }
    // The program ends with its main window, also when a message box that a
    // tick left open would otherwise keep it running.
    m_session->finish();
    QWidget::closeEvent(event);
    QCoreApplication::exit(0);
}

} // namespace monitor
