// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Turbine and site" page of the Options window ("turbine.cfg"): what the
// power curve needs to know of the site's air and of what curtails the
// turbine, its rated power for the capacity factor, its cut-in for calm
// minutes and its rotor for the power coefficient.

#include "core/Forms.h"
#include "ui/Options.h"
#include "ui/Services.h"

#include <optional>
#include <utility>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace history {

class TurbinePage : public ui::OptionsPage {
    Q_OBJECT
public:
    explicit TurbinePage(const ui::Services &services, QWidget *parent = nullptr);

    void Form_Load() override;
    bool check() override;
    // Checks, then writes "turbine.cfg".
    bool save() override;

    QLineEdit *Altitude, *MeanTemperature, *BatteryFullVolts, *CutIn, *CutOut, *RatedPower, *RotorDiameter, *Site;
    QCheckBox *ActivePowerControl, *DumpsToLoad;
    QLabel *Density;

private:
    // The settings the entries hold into `s`, or what is wrong.
    std::optional<core::FormProblem> read(core::TurbineSettings &s) const;
    void showDensity();

    ui::Services m_services;
};

} // namespace history
