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

QString number(double v) { return QString::fromStdString(core::dotNumberText(v)); }

// The alarms' captions and the names of their controls, by core::AlarmId.
struct Row {
    const char *name, *caption;
};
const Row kRows[core::kAlarmCount] = {
    {"BatteryLow", "Battery low, volts below"}, {"BatteryHigh", "Battery high, volts above"},
    {"OverSpeed", "Over-speed, RPM above"},     {"HighWind", "High wind, wind speed above"},
    {"NoData", "No data for (seconds)"},       {"UnderPerforming", "Under-performing, below"},
};
} // namespace

AlarmsPage::AlarmsPage(const ui::Services &services, const QString &windUnit, QWidget *parent)
    : ui::OptionsPage(parent), m_services(services)
{
    setObjectName(QStringLiteral("AlarmsPage"));
    // The least size: the page fills the room the largest page needs.
    setMinimumSize(kWidth, rowTop(core::kAlarmCount + 6) + 4);
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());

    const QString units[core::kAlarmCount] = {QStringLiteral("V"), QStringLiteral("V"), QStringLiteral("RPM"),
                                              windUnit, QStringLiteral("s"), QStringLiteral("% for")};
    for (int i = 0; i < core::kAlarmCount; ++i) {
        const QString name = QLatin1String(kRows[i].name);
        On[size_t(i)] = rowCheck(this, name + QStringLiteral("On"), i);
        rowLabel(this, name + QStringLiteral("Label"), QLatin1String(kRows[i].caption), 28, i, 174);
        Threshold[size_t(i)] = rowEntry(this, name, i);
        rowLabel(this, name + QStringLiteral("Unit"), units[i], kEntryLeft + 66, i, 78);
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
    for (const core::AlarmId id : core::kAlarms) {
        On[size_t(id)]->setChecked(s.isOn(id));
        Threshold[size_t(id)]->setText(number(s.limit(id)));
    }
    PerformanceDays->setText(QString::number(s.performanceDays));
    HoldTime->setText(number(s.holdSeconds));
    VoltsHysteresis->setText(number(s.voltsHysteresis));
    PercentHysteresis->setText(number(s.percentHysteresis));
    Beep->setChecked(s.beep);
    Command->setText(ui::fromLocal(s.command));
    CommandLimit->setText(number(s.commandLimitSeconds));
}

std::optional<core::AlarmSettings> AlarmsPage::read()
{
    core::AlarmSettings s;
    const auto readEntry = [&](QLineEdit *entry, const QString &caption, double &into) {
        const auto v = core::readNumber(ui::toLocal(entry->text()));
        if (!v) {
            m_services.messages->inform(
                this,
                QStringLiteral("\"%1\" is not a number (%2). Nothing was saved.").arg(entry->text(), caption));
            entry->setFocus();
            return false;
        }
        into = *v;
        return true;
    };
    for (const core::AlarmId id : core::kAlarms) {
        s.on[size_t(id)] = On[size_t(id)]->isChecked();
        if (!readEntry(Threshold[size_t(id)], QLatin1String(kRows[size_t(id)].caption), s.threshold[size_t(id)]))
            return std::nullopt;
    }
    double days = 0;
    if (!readEntry(PerformanceDays, QStringLiteral("under-performing days"), days))
        return std::nullopt;
    if (days != std::floor(days) || !(std::abs(days) < 1e6)) {
        m_services.messages->inform(this, QStringLiteral("The under-performing days must be a whole number of "
                                                         "days. Nothing was saved."));
        PerformanceDays->setFocus();
        return std::nullopt;
    }
    s.performanceDays = int(days);
    if (!readEntry(HoldTime, QStringLiteral("hold time"), s.holdSeconds)
        || !readEntry(VoltsHysteresis, QStringLiteral("hysteresis, battery"), s.voltsHysteresis)
        || !readEntry(PercentHysteresis, QStringLiteral("hysteresis, RPM and wind"), s.percentHysteresis)
        || !readEntry(CommandLimit, QStringLiteral("command time limit"), s.commandLimitSeconds))
        return std::nullopt;
    s.beep = Beep->isChecked();
    s.command = ui::toLocal(Command->text().trimmed());
    if (!s.command.empty()) {
        const QString why = CommandRunner::whyNotRunnable(Command->text().trimmed(), m_services.programFolder);
        if (!why.isEmpty()) {
            m_services.messages->inform(this,
                                        QStringLiteral("The command %1 cannot be run: %2. Nothing was saved.")
                                            .arg(Command->text().trimmed(), why));
            Command->setFocus();
            return std::nullopt;
        }
    }
    if (const std::string problem = core::alarmSettingsProblem(s); !problem.empty()) {
        m_services.messages->inform(this, QString::fromStdString(problem) + QStringLiteral(" Nothing was saved."));
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
