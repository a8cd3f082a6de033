// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlarmsPage.h"

#include "CommandRunner.h"

#include "core/Number.h"
#include "ui/Controls.h"
#include "ui/Files.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>

#include <cmath>

namespace alarms {

namespace {
const int kRowHeight = 22;
const int kEntryLeft = 206;
const int kWidth = 384;

int rowTop(int row) { return 6 + row * kRowHeight; }

QLabel *rowLabel(QWidget *parent, const QString &name, const QString &caption, int left, int row, int width)
{
    QLabel *l = ui::greenLabel(parent, name, caption);
    l->setGeometry(left, rowTop(row), width, 20);
    l->setFont(QFont(QStringLiteral("Arial"), 8));
    return l;
}

QLineEdit *rowEntry(QWidget *parent, const QString &name, int row, int left = kEntryLeft, int width = 60)
{
    QLineEdit *e = ui::greenEntry(parent, name);
    e->setGeometry(left, rowTop(row), width, 20);
    return e;
}

QCheckBox *rowCheck(QWidget *parent, const QString &name, int row)
{
    return ui::greenTickBox(parent, name, QString(), QRect(6, rowTop(row) + 1, 18, 18));
}

} // namespace

AlarmsPage::AlarmsPage(const ui::Services &services, const QString &windUnit, QWidget *parent)
    : ui::OptionsPage(parent), m_services(services)
{
    setObjectName(QStringLiteral("AlarmsPage"));
    // The least size: the page fills the room the largest page needs.
    setMinimumSize(kWidth, rowTop(core::kAlarmCount + 6) + 4);
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());

    // Each alarm's tick box and threshold: the form's first fields, a tick
    // box and its threshold an alarm (under-performing's days beside them).
    const std::vector<core::FormField> fields = core::alarmFields(windUnit.toStdString());
    std::vector<core::FormField> thresholds;
    for (size_t f = 0; f + 1 < fields.size() && int(thresholds.size()) < core::kAlarmCount; ++f)
        if (fields[f].kind == core::FormField::Kind::Tick)
            thresholds.push_back(fields[++f]);
    for (int i = 0; i < core::kAlarmCount; ++i) {
        const core::FormField &value = thresholds[size_t(i)];
        const QString name = QString::fromStdString(value.key);
        On[size_t(i)] = rowCheck(this, name + QStringLiteral("On"), i);
        rowLabel(this, name + QStringLiteral("Label"), QString::fromStdString(value.label), 28, i, 174);
        Threshold[size_t(i)] = rowEntry(this, name, i);
        rowLabel(this, name + QStringLiteral("Unit"), QString::fromStdString(value.unit), kEntryLeft + 66, i, 78);
    }
    // Under-performing also needs its days (see core::performanceRun).
    const int under = int(core::AlarmId::UnderPerforming);
    Threshold[size_t(under)]->setToolTip(QStringLiteral(
        "The energy measured as a share of what the certified curve gives for the same winds, day by day"));
    PerformanceDays = rowEntry(this, QStringLiteral("UnderPerformingDays"), under, kEntryLeft + 106, 36);
    PerformanceDays->setToolTip(QStringLiteral("Days in a row, each with at least an hour of wind above the "
                                               "certified curve's cut-in; days with less wind are passed over"));
    rowLabel(this, QStringLiteral("UnderPerformingDaysUnit"), QStringLiteral("days"), kEntryLeft + 146, under,
             kWidth - kEntryLeft - 146);
    // The turbine's alarms (see core::isRunAlarm).
    const auto n = [](double v) { return ui::fromLocal(core::numberText(v)); };
    Threshold[size_t(core::AlarmId::RotorStopped)]->setToolTip(
        QStringLiteral("Minutes with the wind at least %1 m/s above the cut-in (and below the cut-out) and the "
                       "rotor at 0 RPM, the battery not full")
            .arg(n(core::kStoppedMargin)));
    Threshold[size_t(core::AlarmId::NotCharging)]->setToolTip(
        QStringLiteral("Minutes with the rotor above %1 RPM and less than %2 A of current, the battery not full")
            .arg(n(core::kTurningRPM), n(core::kNoCurrentAmps)));
    Threshold[size_t(core::AlarmId::WindImplausible)]->setToolTip(
        QStringLiteral("Minutes with the rotor above %1 RPM while the wind reading stays the same, or stays "
                       "below the cut-in")
            .arg(n(core::kTurningRPM)));
    // The rows after the alarms.
    const int r = core::kAlarmCount;
    rowLabel(this, QStringLiteral("HoldTimeLabel"), QStringLiteral("Hold time (raise and clear)"), 28, r + 0, 174);
    HoldTime = rowEntry(this, QStringLiteral("HoldTime"), r + 0);
    rowLabel(this, QStringLiteral("HoldTimeUnit"), QStringLiteral("s"), kEntryLeft + 66, r + 0, 78);
    rowLabel(this, QStringLiteral("VoltsHysteresisLabel"), QStringLiteral("Hysteresis, battery"), 28, r + 1, 174);
    VoltsHysteresis = rowEntry(this, QStringLiteral("VoltsHysteresis"), r + 1);
    rowLabel(this, QStringLiteral("VoltsHysteresisUnit"), QStringLiteral("V"), kEntryLeft + 66, r + 1, 78);
    rowLabel(this, QStringLiteral("PercentHysteresisLabel"), QStringLiteral("Hysteresis, RPM and wind"), 28, r + 2,
             174);
    PercentHysteresis = rowEntry(this, QStringLiteral("PercentHysteresis"), r + 2);
    rowLabel(this, QStringLiteral("PercentHysteresisUnit"), QStringLiteral("% of the threshold"), kEntryLeft + 66,
             r + 2, kWidth - kEntryLeft - 66 - 4);
    Beep = rowCheck(this, QStringLiteral("Beep"), r + 3);
    rowLabel(this, QStringLiteral("BeepLabel"), QStringLiteral("Beep when an alarm is raised"), 28, r + 3, 240);
    rowLabel(this, QStringLiteral("CommandLabel"), QStringLiteral("Command"), 28, r + 4, 70);
    Command = rowEntry(this, QStringLiteral("Command"), r + 4, 100, 250);
    Command->setToolTip(QStringLiteral("A program run on every raise and clear with the alarm, raised or cleared, "
                                       "the value and the threshold as its arguments"));
    rowLabel(this, QStringLiteral("CommandLimitLabel"), QStringLiteral("Command time limit"), 28, r + 5, 174);
    CommandLimit = rowEntry(this, QStringLiteral("CommandLimit"), r + 5);
    rowLabel(this, QStringLiteral("CommandLimitUnit"), QStringLiteral("s"), kEntryLeft + 66, r + 5, 20);

    Form_Load();
}

void AlarmsPage::Form_Load()
{
    core::AlarmSettings s;
    const ui::ProgramFolder folder(m_services.programFolder);
    if (const auto bytes = ui::readWhole(folder.alarmsSettings()))
        if (const auto read = core::readAlarmSettings(std::string_view(bytes->constData(), size_t(bytes->size()))))
            s = *read;
    showFormValues(core::alarmValues(s), true);
}

std::optional<core::AlarmSettings> AlarmsPage::read()
{
    core::AlarmSettings s;
    const auto commandProblem = [this](const std::string &command) {
        return ui::toLocal(CommandRunner::whyNotRunnable(ui::fromLocal(command), m_services.programFolder));
    };
    if (const auto problem = core::readAlarmValues(formValues(core::alarmFields({}), true), s, commandProblem)) {
        tellProblem(*problem, *m_services.messages, true);
        return std::nullopt;
    }
    return s;
}

bool AlarmsPage::check() { return read().has_value(); }

bool AlarmsPage::save()
{
    const auto s = read();
    if (!s)
        return false;

    const QString path = ui::ProgramFolder(m_services.programFolder).alarmsSettings();
    const std::string text = core::alarmSettingsText(*s);
    if (!ui::replaceWhole(path, ui::bytesOf(text))) {
        m_services.messages->inform(this, ui::cannotSave(path));
        return false;
    }
    return true;
}

} // namespace alarms
