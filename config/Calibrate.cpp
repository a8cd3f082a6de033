// SPDX-License-Identifier: GPL-3.0-or-later
#include "Calibrate.h"

#include "core/Forms.h"
#include "core/Number.h"
#include "core/Settings.h"
#include "ui/Controls.h"
#include "ui/Files.h"
#include "ui/ProgramFolder.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

namespace config {

namespace {
// Layout in pixels of the 362 x 308 client area. Each step area holds its
// texts on the left and, on the right, "raw ÷ divider" with "= result" below.
const int kWidth = 362;
const int kHeight = 308;
const int kTextLeft = 6;
const int kTextWidth = 228;
const int kRawLeft = 236;
const int kRawWidth = 46;
const int kSignLeft = 285;
const int kSignSize = 13;
const int kBoxLeft = 301;
const int kBoxWidth = 55;
const int kRowHeight = 13;
// "= result" sits below, starting left of the divider box so long results fit.
const int kEqualsLeft = 252;
const int kResultLeft = kEqualsLeft + kSignSize + 4;

// A line of a step's text, under its heading.
QLabel *textLine(QWidget *parent, const char *name, const QString &caption, int top, int width = kTextWidth)
{
    return ui::greenLabel(parent, QLatin1String(name), caption, QRect(kTextLeft, top, width, kRowHeight));
}

QLabel *heading(QWidget *parent, const char *name, const QString &caption, int top)
{
    QLabel *l = ui::greenLabel(parent, QLatin1String(name), caption, QRect(kTextLeft, top, kTextWidth, 15));
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

QLineEdit *dividerBox(QWidget *parent, const char *name, int top)
{
    QLineEdit *e = ui::greenEntry(parent, QLatin1String(name));
    e->setGeometry(kBoxLeft, top, kBoxWidth, 20);
    return e;
}

// A small picture of a division sign on bright green.
QLabel *divisionSign(QWidget *parent, const char *name, int top)
{
    QPixmap pm(kSignSize, kSignSize);
    pm.fill(ui::brightGreen());
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRect(2, 6, kSignSize - 4, 1);
    p.drawEllipse(QRectF(5, 1.5, 3, 3));
    p.drawEllipse(QRectF(5, 8.5, 3, 3));
    p.end();
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(kSignLeft, top, kSignSize, kSignSize);
    ui::setColours(l, ui::brightGreen());
    l->setPixmap(pm);
    return l;
}

// The right-hand group of a step: raw value, ÷, divider box, and "= result"
// below. `top` is the top of the divider box.
struct Group {
    QLabel *raw, *sign, *equals, *result;
    QLineEdit *box;
};
Group group(QWidget *parent, const char *raw, const char *sign, const char *box, const char *equals,
            const char *result, int top)
{
    Group g;
    g.raw = ui::greenLabel(parent, QLatin1String(raw), QStringLiteral("0"),
                           QRect(kRawLeft, top + 3, kRawWidth, 15));
    g.raw->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    g.sign = divisionSign(parent, sign, top + 4);
    g.box = dividerBox(parent, box, top);
    g.equals = ui::greenLabel(parent, QLatin1String(equals), QStringLiteral("="),
                              QRect(kEqualsLeft, top + 25, kSignSize, kSignSize));
    ui::setColours(g.equals, ui::brightGreen(), Qt::black);
    g.equals->setAlignment(Qt::AlignCenter);
    g.result = ui::greenLabel(parent, QLatin1String(result), QString(),
                              QRect(kResultLeft, top + 24, kWidth - kResultLeft - 2, 15));
    return g;
}

QFrame *rule(QWidget *parent, const char *name, int top)
{
    auto *f = new QFrame(parent);
    f->setObjectName(QLatin1String(name));
    f->setFrameShape(QFrame::HLine);
    f->setFrameShadow(QFrame::Plain);
    f->setGeometry(0, top, kWidth, 1);
    QPalette p = f->palette();
    p.setColor(QPalette::WindowText, ui::brightGreen());
    f->setPalette(p);
    return f;
}

QString text(const std::string &s) { return ui::fromLocal(s); }
} // namespace

Calibrate::Calibrate(const ui::Services &services, QWidget *parent) : QDialog(parent), m_services(services)
{
    setObjectName(QStringLiteral("Calibrate"));
    setWindowTitle(QStringLiteral("Calibration"));
    setFixedSize(kWidth, kHeight);
    setFont(QFont(QStringLiteral("Arial"), 8));
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());
    buildControls();

    if (m_services.makePort) {
        if (auto port = m_services.makePort()) {
            m_link = new ui::ReconnectingPort(std::move(port), this);
            m_link->port()->setObjectName(QStringLiteral("MSComm2"));
            connect(m_link->port(), &ui::SerialPort::received, this, &Calibrate::MSComm2_OnComm);
            // The half message before a loss has no continuation.
            connect(m_link, &ui::ReconnectingPort::opened, this, [this] { m_buffer.clear(); });
            connect(m_link, &ui::ReconnectingPort::stateChanged, this, [this](ui::PortState state) {
                if (state == ui::PortState::Away)
                    m_buffer.clear();
            });
        }
    }
    Form_Load();
}

Calibrate::~Calibrate() { closePort(); }

void Calibrate::buildControls()
{
    // Step 1
    Label8 = heading(this, "Label8", QStringLiteral("Step 1. Set Voltage"), 3);
    Label2 = textLine(this, "Label2", QStringLiteral("Measure your battery voltage, and then adjust"), 20);
    Label9 = textLine(this, "Label9", QStringLiteral("this value until the correct battery voltage"), 33);
    Label10 = textLine(this, "Label10", QStringLiteral("is displayed"), 46);
    Group g = group(this, "txtBattV", "Picture1", "BatteryVolts", "Label6", "txtBattVadjusted", 12);
    txtBattV = g.raw, Picture1 = g.sign, BatteryVolts = g.box, Label6 = g.equals, txtBattVadjusted = g.result;
    rule(this, "Line1", 66);

    // Step 2
    Label11 = heading(this, "Label11", QStringLiteral("Step 2. Set Current"), 70);
    Label7 = textLine(this, "Label7", QStringLiteral("With no current flowing, press the Zero button.."), 87,
                      kWidth - 2 * kTextLeft);
    Command2 = ui::button(this, QStringLiteral("Command2"), QStringLiteral("Zero"), QRect(kTextLeft, 103, 52, 24));
    OffsetV = ui::greenLabel(this, QStringLiteral("OffsetV"), QStringLiteral("0"), QRect(64, 108, 60, 14));
    OffsetV->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1 = ui::greenLabel(this, QStringLiteral("Label1"), QStringLiteral("Offset"), QRect(128, 108, 40, 14));
    Label12 = textLine(this, "Label12", QStringLiteral("Apply a charging current, and adjust this"), 131);
    Label13 = textLine(this, "Label13", QStringLiteral("value until the correct amps is displayed."), 144);
    g = group(this, "txtShuntV", "Picture2", "BatteryCurrent", "Label20", "txtBattAadjusted", 106);
    txtShuntV = g.raw, Picture2 = g.sign, BatteryCurrent = g.box, Label20 = g.equals, txtBattAadjusted = g.result;
    ui::setColours(txtShuntV, ui::brightGreen(), Qt::black);
    rule(this, "Line2", 161);

    // Step 3
    Label14 = heading(this, "Label14", QStringLiteral("Step 3. Set RPM"), 165);
    Label3 = textLine(this, "Label3", QStringLiteral("How many pulses per revolution?"), 183);
    g = group(this, "txtPulsess", "Picture3", "PulseDivider", "Label16", "txtWindmillRPM", 168);
    txtPulsess = g.raw, Picture3 = g.sign, PulseDivider = g.box, Label16 = g.equals, txtWindmillRPM = g.result;
    rule(this, "Line3", 215);

    // Step 4
    Label21 = heading(this, "Label21", QStringLiteral("Step 4. Set Wind Speed"), 219);
    Label23 = textLine(this, "Label23", QStringLiteral("How many pulses per ?"), 237);
    g = group(this, "txtPulsess2", "Picture4", "Pulse2Divider", "Label4", "txtWindSpeed", 222);
    txtPulsess2 = g.raw, Picture4 = g.sign, Pulse2Divider = g.box, Label4 = g.equals, txtWindSpeed = g.result;
    rule(this, "Line4", 269);

    // Buttons: Enter in a divider box presses none of them (and saves nothing).
    Command6 = ui::button(this, QStringLiteral("Command6"), QStringLiteral("Exit ( dont save )"),
                          QRect(kTextLeft, 277, 130, 24));
    Command1 = ui::button(this, QStringLiteral("Command1"), QStringLiteral("Save Calibration"),
                          QRect(kWidth - kTextLeft - 130, 277, 130, 24));

    // A divider box is marked while it gives no result, and its result says why.
    for (QLineEdit *box : {BatteryVolts, BatteryCurrent, PulseDivider, Pulse2Divider})
        connect(box, &QLineEdit::textChanged, this, &Calibrate::markDividers);

    connect(Command2, &QPushButton::clicked, this, &Calibrate::Command2_Click);
    connect(Command1, &QPushButton::clicked, this, &Calibrate::Command1_Click);
    connect(Command6, &QPushButton::clicked, this, &Calibrate::Command6_Click);
}

void Calibrate::markDividers()
{
    markDivider(BatteryVolts, txtBattVadjusted, false);
    // A negative current divider reverses the current.
    markDivider(BatteryCurrent, txtBattAadjusted, true);
    markDivider(PulseDivider, txtWindmillRPM, false);
    markDivider(Pulse2Divider, txtWindSpeed, false);
}

void Calibrate::markDivider(QLineEdit *box, QLabel *result, bool negativeAllowed)
{
    const core::DividerProblem problem = core::dividerProblem(ui::toLocal(box->text()), negativeAllowed);
    QString why;
    switch (problem) {
    case core::DividerProblem::None: break;
    case core::DividerProblem::NotANumber:
        why = QStringLiteral("\"%1\" is not a number, so there is no result.").arg(box->text());
        break;
    case core::DividerProblem::Zero: why = QStringLiteral("A divider of 0 gives no result."); break;
    case core::DividerProblem::Negative: why = QStringLiteral("A divider below 0 gives no result here."); break;
    }
    if (!why.isEmpty())
        why += QStringLiteral(" It is saved as typed, and the main window then says that it cannot be used.");
    ui::markEntry(box, why);
    const QString said = text(core::dividerProblemText(problem));
    if (!said.isEmpty())
        result->setText(said);
    else if (result->text().startsWith(QStringLiteral("divider is ")))
        result->clear(); // the next frame gives the result
}

QString Calibrate::settingsPath() const
{
    return ui::ProgramFolder(m_services.programFolder).calibrationSettingsFile();
}

void Calibrate::Form_Load()
{
    // A file or key that cannot be read takes the delivered value; the main
    // window already tells the user about broken settings files.
    ui::ProgramFolder folder(m_services.programFolder);
    const core::ProgramSettings prog = folder.programSettings();
    m_calPort.reset();
    if (const auto port = core::readInt16(prog.Port))
        m_calPort = *port;
    m_calUnits = text(prog.WSUnits);

    const core::CalibrationSettings cal = folder.calibrationSettings();
    m_offsetText = cal.VoltOffset;
    m_calOffset = core::readNumber(cal.VoltOffset);

    Label23->setText(QStringLiteral("How many pulses per ") + m_calUnits + QStringLiteral("?"));

    m_buffer.clear();
    const bool opened = m_link && m_link->open(m_calPort);

    const core::FormValues boxes = core::calibrationValues(cal);
    BatteryVolts->setText(text(boxes.at("VoltDivider")));
    BatteryCurrent->setText(text(boxes.at("AmpDivider")));
    OffsetV->setText(text(boxes.at("VoltOffset")));
    PulseDivider->setText(text(boxes.at("RPMDivider")));
    Pulse2Divider->setText(text(boxes.at("WSDivider")));
    // An empty box as loaded raises no change.
    markDividers();

    if (!opened) {
        const QString port = m_calPort ? QString::number(*m_calPort) : text(prog.Port);
        m_services.messages->inform(
            this,
            QStringLiteral("Could not open serial port %1 for calibration, so no live values will be shown. "
                           "Check that the monitoring unit is connected and that no other program uses the port. "
                           "The calibration can still be edited and saved.")
                .arg(port));
    }
}

void Calibrate::MSComm2_OnComm()
{
    if (!m_link)
        return;
    const QByteArray bytes = m_link->port()->readAll();
    m_link->port()->clearInput();
    const auto message = m_buffer.append(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    if (!message)
        return;

    const core::CalibrationBoxes boxes{ui::toLocal(BatteryVolts->text()), ui::toLocal(BatteryCurrent->text()),
                                       ui::toLocal(PulseDivider->text()), ui::toLocal(Pulse2Divider->text())};
    const core::CalibrationReadout r = core::calibrationReadout(
        core::calibrationFields(*message), boxes, m_calOffset, ui::toLocal(m_calUnits), m_calWindSpeed);
    m_calWindSpeed = r.CalWindSpeed;

    txtBattV->setText(text(r.txtBattV));
    txtShuntV->setText(text(r.txtShuntV));
    txtPulsess->setText(text(r.txtPulsess));
    txtWindmillRPM->setText(text(r.txtWindmillRPM));
    txtPulsess2->setText(text(r.txtPulsess2));
    txtWindSpeed->setText(text(r.txtWindSpeed));
    if (r.txtBattVadjusted)
        txtBattVadjusted->setText(text(*r.txtBattVadjusted));
    if (r.txtBattAadjusted)
        txtBattAadjusted->setText(text(*r.txtBattAadjusted));
}

void Calibrate::Command2_Click()
{
    // The caption is the raw current rounded to 2 decimals ("0" before any frame).
    const auto v = core::readNumber(ui::toLocal(txtShuntV->text()));
    if (!v)
        return;
    m_calOffset = *v;
    OffsetV->setText(text(core::numberText(*v)));
}

void Calibrate::Command1_Click()
{
    const core::FormValues v{{"VoltDivider", ui::toLocal(BatteryVolts->text())},
                             {"VoltOffset", m_calOffset ? core::numberText(*m_calOffset) : m_offsetText},
                             {"AmpDivider", ui::toLocal(BatteryCurrent->text())},
                             {"RPMDivider", ui::toLocal(PulseDivider->text())},
                             {"WSDivider", ui::toLocal(Pulse2Divider->text())}};
    core::CalibrationSettings stored;
    stored.VoltOffset = m_offsetText;
    core::CalibrationSettings s;
    // The offset is always a number or the stored text, so nothing is refused here.
    core::readCalibrationValues(v, stored, s);

    const QString path = settingsPath();
    if (!ui::ProgramFolder(m_services.programFolder).writeCalibrationSettings(s)) {
        // Nothing was changed on disk; stay open so nothing typed is lost.
        m_services.messages->inform(
            this,
            QStringLiteral(
                "Could not save %1. Check that the folder can be written to, then press Save Calibration again.")
                .arg(QDir::toNativeSeparators(path)));
        return;
    }
    closePort();
    accept();
}

void Calibrate::Command6_Click() { reject(); }

void Calibrate::done(int result)
{
    closePort();
    QDialog::done(result);
}

void Calibrate::closeEvent(QCloseEvent *event)
{
    closePort();
    QDialog::closeEvent(event);
}

void Calibrate::closePort()
{
    if (m_link)
        m_link->pause();
}

} // namespace config
