// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Alarms page of the Options window: each alarm on or off with its
// threshold, the hold time, the hysteresis, the beep and the command, saved to
// "alarms.cfg".

#include "core/Alarms.h"
#include "ui/Options.h"
#include "ui/Services.h"

#include <array>
#include <optional>

class QCheckBox;
class QLineEdit;

namespace alarms {

class AlarmsPage : public ui::OptionsPage {
    Q_OBJECT
public:
    // `windUnit` is the unit the wind speeds are shown in.
    AlarmsPage(const ui::Services &services, const QString &windUnit, QWidget *parent = nullptr);

    // Fills the controls from "alarms.cfg" (the defaults where it is missing
    // or damaged; the main window tells about that).
    void Form_Load() override;
    // Checks every value; a bad one is named and nothing is saved.
    bool check() override;
    // Checks, then writes "alarms.cfg" whole.
    bool save() override;

    // Indexed by core::AlarmId.
    std::array<QCheckBox *, core::kAlarmCount> On{};
    std::array<QLineEdit *, core::kAlarmCount> Threshold{};
    QLineEdit *PerformanceDays, *HoldTime, *VoltsHysteresis, *PercentHysteresis, *Command, *CommandLimit;
    QCheckBox *Beep;

private:
    // The settings the controls hold, or none after the message.
    std::optional<core::AlarmSettings> read();

    ui::Services m_services;
};

} // namespace alarms
