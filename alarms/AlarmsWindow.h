#pragma once
// The Alarms window: each alarm on or off with its threshold, the hold time,
// the hysteresis, the beep and the command, saved to "alarms.cfg".

#include "core/Alarms.h"
#include "ui/Services.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace alarms {

class AlarmsWindow : public QDialog {
    Q_OBJECT
public:
    // `windUnit` is the unit the wind speeds are shown in.
    AlarmsWindow(const ui::Services &services, const QString &windUnit, QWidget *parent = nullptr);

    // Fills the controls from "alarms.cfg" (the defaults where it is missing
    // or damaged; the main window tells about that).
    void Form_Load();
    // Checks every value; a bad one is named and nothing is saved. Otherwise
    // writes "alarms.cfg" whole and closes.
    void Save_Click();

    // Indexed by core::AlarmId.
    std::array<QCheckBox *, core::kAlarmCount> On{};
    std::array<QLineEdit *, core::kAlarmCount> Threshold{};
    QLineEdit *HoldTime, *VoltsHysteresis, *PercentHysteresis, *Command, *CommandLimit;
    QCheckBox *Beep;
    QPushButton *Save;

private:
    ui::Services m_services;
};

} // namespace alarms
