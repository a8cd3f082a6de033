// SPDX-License-Identifier: GPL-3.0-or-later
#include "TurbinePage.h"

#include "core/Number.h"
#include "core/Turbine.h"
#include "ui/Controls.h"
#include "ui/Files.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSysInfo>

namespace history {

namespace {
constexpr int kEntryLeft = 180;
int rowTop(int r) { return 8 + r * 28; }

QLineEdit *entry(QWidget *parent, const char *name, const QString &caption, const QString &after, int r)
{
    ui::greenLabel(parent, QStringLiteral("Label%1").arg(QLatin1String(name)), caption)
        ->setGeometry(8, rowTop(r), kEntryLeft - 12, 20);
    QLineEdit *e = ui::greenEntry(parent, QLatin1String(name));
    e->setGeometry(kEntryLeft, rowTop(r), 60, 20);
    ui::greenLabel(parent, QStringLiteral("Unit%1").arg(QLatin1String(name)), after)
        ->setGeometry(kEntryLeft + 68, rowTop(r), 220, 20);
    return e;
}

QCheckBox *tickBox(QWidget *parent, const char *name, const QString &caption, int r)
{
    return ui::greenTickBox(parent, QLatin1String(name), caption, QRect(8, rowTop(r), 404, 20));
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
    CutIn = entry(this, "CutIn", QStringLiteral("Cut-in wind speed"), QStringLiteral("m/s (empty: from the curves)"), 5);
    CutOut = entry(this, "CutOut", QStringLiteral("Cut-out wind speed"), QStringLiteral("m/s"), 6);
    RatedPower = entry(this, "RatedPower", QStringLiteral("Rated power"), QStringLiteral("W (empty: none)"), 7);
    RotorDiameter = entry(this, "RotorDiameter", QStringLiteral("Rotor diameter"), QStringLiteral("m (empty: none)"), 8);
    Site = entry(this, "Site", QStringLiteral("Site name"), QString(), 9);
    // A name is wider than a number, and has no unit beside it.
    Site->resize(228, Site->height());
    delete findChild<QLabel *>(QStringLiteral("UnitSite"));
    Site->setPlaceholderText(QSysInfo::machineHostName());
    Density = ui::greenLabel(this, QStringLiteral("Density"), QString());
    Density->setGeometry(8, rowTop(10) + 4, 404, 96);
    Density->setWordWrap(true);
    Density->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    for (QLineEdit *e : {Altitude, MeanTemperature})
        connect(e, &QLineEdit::textChanged, this, &TurbinePage::showDensity);
    Form_Load();
}

void TurbinePage::Form_Load()
{
    const auto bytes = ui::readWhole(ui::ProgramFolder(m_services.programFolder).turbineSettings());
    showFormValues(core::turbineValues(bytes ? core::readTurbineSettings(ui::textOf(*bytes)) : core::TurbineSettings()),
                   false);
    showDensity();
}

std::optional<core::FormProblem> TurbinePage::read(core::TurbineSettings &s) const
{
    return core::readTurbineValues(formValues(core::turbineFields(), false), s);
}

void TurbinePage::showDensity()
{
    core::TurbineSettings s;
    QString text;
    if (!read(s))
        text = QStringLiteral("Air density at the site: %1 kg/m³. The power curve is normalised to 1.225 kg/m³; "
                              "minutes with the battery full or the load dumping are kept out of it.")
                   .arg(QString::fromStdString(core::numberText(core::roundHalfEven(core::siteDensity(s), 3))));
    Density->setText(text);
}

bool TurbinePage::check()
{
    core::TurbineSettings s;
    const auto problem = read(s);
    if (problem)
        tellProblem(*problem, *m_services.messages, false);
    return !problem;
}

bool TurbinePage::save()
{
    core::TurbineSettings s;
    if (!check() || read(s))
        return false;
    const QString path = ui::ProgramFolder(m_services.programFolder).turbineSettings();
    if (ui::replaceWhole(path, QByteArray::fromStdString(core::turbineSettingsText(s))))
        return true;
    m_services.messages->inform(this, ui::cannotSave(path));
    return false;
}

} // namespace history
