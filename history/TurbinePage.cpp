// SPDX-License-Identifier: GPL-3.0-or-later
#include "TurbinePage.h"

#include "core/Number.h"
#include "core/Turbine.h"
#include "ui/Controls.h"
#include "ui/Files.h"
#include "ui/Notices.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace history {

struct TurbineRead {
    core::TurbineSettings settings;
};

namespace {
QString cfgPath(const ui::Services &s) { return s.programFolder + QStringLiteral("/turbine.cfg"); }
constexpr int kEntryLeft = 180;
int rowTop(int r) { return 8 + r * 28; }

QLineEdit *entry(QWidget *parent, const char *name, const QString &caption, const QString &after, int r)
{
    ui::greenLabel(parent, QStringLiteral("Label%1").arg(QLatin1String(name)), caption)
        ->setGeometry(8, rowTop(r), kEntryLeft - 12, 20);
    QLineEdit *e = ui::greenEntry(parent, QLatin1String(name));
    e->setGeometry(kEntryLeft, rowTop(r), 60, 20);
    ui::greenLabel(parent, QStringLiteral("Unit%1").arg(QLatin1String(name)), after)
        ->setGeometry(kEntryLeft + 68, rowTop(r), 160, 20);
    return e;
}

QCheckBox *tickBox(QWidget *parent, const char *name, const QString &caption, int r)
{
    return ui::greenTickBox(parent, QLatin1String(name), caption, QRect(8, rowTop(r), 404, 20));
}

QString number(const std::optional<double> &v)
{
    return v ? QString::fromStdString(core::numberText(*v)) : QString();
}

// An entry's number; nullopt for an empty entry, and `bad` for text that is no number.
std::optional<double> read(const QLineEdit *e, bool &bad)
{
    const std::string t = e->text().trimmed().toStdString();
    if (t.empty())
        return std::nullopt;
    const auto v = core::readNumber(t);
    bad = !v;
    return v;
}
} // namespace

TurbinePage::TurbinePage(const ui::Services &services, QWidget *parent)
    : ui::OptionsPage(parent), m_services(services)
{
    setObjectName(QStringLiteral("TurbinePage"));
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());
    Altitude = entry(this, "Altitude", QStringLiteral("Altitude of the site"), QStringLiteral("m above sea level"), 0);
    MeanTemperature = entry(this, "MeanTemperature", QStringLiteral("Mean air temperature"),
                            QStringLiteral("°C (empty: 15)"), 1);
    ActivePowerControl = tickBox(this, "ActivePowerControl",
                                 QStringLiteral("Active power control (pitch), not stall or furling"), 2);
    BatteryFullVolts = entry(this, "BatteryFullVolts", QStringLiteral("Battery full at"), QStringLiteral("V (empty: off)"),
                             3);
    DumpsToLoad = tickBox(this, "DumpsToLoad", QStringLiteral("Surplus power is dumped into the load"), 4);
    CutOut = entry(this, "CutOut", QStringLiteral("Cut-out wind speed"), QStringLiteral("m/s"), 5);
    RatedPower = entry(this, "RatedPower", QStringLiteral("Rated power"), QStringLiteral("W (empty: none)"), 6);
    Density = ui::greenLabel(this, QStringLiteral("Density"), QString());
    Density->setGeometry(8, rowTop(7) + 4, 404, 110);
    Density->setWordWrap(true);
    Density->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    for (QLineEdit *e : {Altitude, MeanTemperature})
        connect(e, &QLineEdit::textChanged, this, &TurbinePage::showDensity);
    Form_Load();
}

void TurbinePage::Form_Load()
{
    const auto bytes = ui::readWhole(cfgPath(m_services));
    const core::TurbineSettings s
        = bytes ? core::readTurbineSettings(ui::textOf(*bytes)) : core::TurbineSettings();
    Altitude->setText(number(s.altitude));
    MeanTemperature->setText(number(s.meanTemperature));
    ActivePowerControl->setChecked(s.activePowerControl);
    BatteryFullVolts->setText(number(s.batteryFullVolts));
    DumpsToLoad->setChecked(s.dumpsToLoad);
    CutOut->setText(number(s.cutOut));
    RatedPower->setText(number(s.ratedPower));
    showDensity();
}

std::optional<std::pair<QString, QLineEdit *>> TurbinePage::problem(TurbineRead *out) const
{
    core::TurbineSettings s;
    bool bad = false;
    const auto altitude = read(Altitude, bad);
    if (bad || !altitude)
        return std::pair{QStringLiteral("Altitude: a height from -500 to 5000 m."), Altitude};
    s.altitude = *altitude;
    s.meanTemperature = read(MeanTemperature, bad);
    if (bad)
        return std::pair{QStringLiteral("Mean temperature: from -40 to 50 °C, or empty for 15 °C."), MeanTemperature};
    s.batteryFullVolts = read(BatteryFullVolts, bad);
    if (bad)
        return std::pair{QStringLiteral("Battery full at: volts above 0 and up to 1000, or empty for off."),
                         BatteryFullVolts};
    const auto cutOut = read(CutOut, bad);
    if (bad || !cutOut)
        return std::pair{QStringLiteral("Cut-out: a wind speed from 5 to 60 m/s."), CutOut};
    s.cutOut = *cutOut;
    s.ratedPower = read(RatedPower, bad);
    if (bad)
        return std::pair{QStringLiteral("Rated power: watts above 0 and up to 10000000, or empty for none."),
                         RatedPower};
    s.activePowerControl = ActivePowerControl->isChecked();
    s.dumpsToLoad = DumpsToLoad->isChecked();
    if (const auto why = core::turbineSettingsProblem(s)) {
        const QString text = QString::fromStdString(*why);
        QLineEdit *at = text.startsWith(QLatin1String("Altitude"))      ? Altitude
                        : text.startsWith(QLatin1String("Mean"))        ? MeanTemperature
                        : text.startsWith(QLatin1String("Battery"))     ? BatteryFullVolts
                        : text.startsWith(QLatin1String("Rated"))       ? RatedPower
                                                                        : CutOut;
        return std::pair{text, at};
    }
    if (out)
        out->settings = s;
    return std::nullopt;
}

void TurbinePage::showDensity()
{
    TurbineRead r;
    QString text;
    if (!problem(&r))
        text = QStringLiteral("Air density at the site: %1 kg/m³. The power curve is normalised to 1.225 kg/m³; "
                              "minutes with the battery full or the load dumping are kept out of it.")
                   .arg(QString::fromStdString(core::numberText(core::roundHalfEven(core::siteDensity(r.settings), 3))));
    Density->setText(text);
}

bool TurbinePage::check()
{
    const auto p = problem(nullptr);
    if (!p)
        return true;
    m_services.messages->inform(this, p->first);
    p->second->setFocus();
    return false;
}

bool TurbinePage::save()
{
    TurbineRead r;
    if (!check() || problem(&r))
        return false;
    if (ui::replaceWhole(cfgPath(m_services), QByteArray::fromStdString(core::turbineSettingsText(r.settings))))
        return true;
    m_services.messages->inform(this, ui::cannotSave(cfgPath(m_services)));
    return false;
}

} // namespace history
