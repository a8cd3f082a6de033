// SPDX-License-Identifier: GPL-3.0-or-later
#include "Alarms.h"

#include "Number.h"
#include "TagValue.h"
#include "Text.h"

#include <cmath>

namespace core {

namespace {
const char *const kCrLf = "\r\n";

struct Names {
    std::string_view key, title, onTag, valueTag;
};
const Names kNames[kAlarmCount] = {
    {"battery_low", "Battery low", "BatteryLowOn", "BatteryLow"},
    {"battery_high", "Battery high", "BatteryHighOn", "BatteryHigh"},
    {"over_speed", "Over-speed", "OverSpeedOn", "OverSpeed"},
    {"high_wind", "High wind", "HighWindOn", "HighWind"},
    {"no_data", "No data", "NoDataOn", "NoData"},
    {"under_performing", "Under-performing", "UnderPerformingOn", "UnderPerforming"},
    {"rotor_stopped", "Rotor stopped in wind", "RotorStoppedOn", "RotorStopped"},
    {"not_charging", "Turning but not charging", "NotChargingOn", "NotCharging"},
    {"wind_implausible", "Wind sensor implausible", "WindImplausibleOn", "WindImplausible"},
    {"backup_failed", "Backup failed", "BackupFailedOn", "BackupFailed"},
};
// The turbine's alarms wait at most a day.
constexpr double kMostRunMinutes = 1440;
constexpr int kMostPerformanceDays = 30;

// The alarms that follow the frames' values past a threshold.
bool isValueAlarm(AlarmId id)
{
    return id == AlarmId::BatteryLow || id == AlarmId::BatteryHigh || id == AlarmId::OverSpeed
           || id == AlarmId::HighWind;
}
// Low alarms raise below their threshold, the others above.
bool raisesBelow(AlarmId id) { return id == AlarmId::BatteryLow; }
} // namespace

bool isRunAlarm(AlarmId id)
{
    return id == AlarmId::RotorStopped || id == AlarmId::NotCharging || id == AlarmId::WindImplausible;
}

std::string_view alarmKey(AlarmId id) { return kNames[size_t(id)].key; }
std::string_view alarmTitle(AlarmId id) { return kNames[size_t(id)].title; }

// ---- alarms.cfg ---------------------------------------------------------------

std::string alarmSettingsText(const AlarmSettings &s)
{
    std::string text = std::string("Alarm Settings") + kCrLf + kCrLf;
    const auto alarm = [&](AlarmId id) {
        text += tagLine(kNames[size_t(id)].onTag, s.isOn(id) ? "1" : "0");
        text += tagLine(kNames[size_t(id)].valueTag, dotNumberText(s.limit(id)));
    };
    // Files had these keys before the turbine's alarms and the backup's came.
    const auto later = [](AlarmId id) { return isRunAlarm(id) || id == AlarmId::BackupFailed; };
    for (const AlarmId id : kAlarms)
        if (!later(id))
            alarm(id);
    text += tagLine("UnderPerformingDays", std::to_string(s.performanceDays));
    text += tagLine("HoldTime", dotNumberText(s.holdSeconds));
    text += tagLine("VoltsHysteresis", dotNumberText(s.voltsHysteresis));
    text += tagLine("PercentHysteresis", dotNumberText(s.percentHysteresis));
    text += tagLine("Beep", s.beep ? "1" : "0");
    text += tagLine("Command", s.command);
    text += tagLine("CommandLimit", dotNumberText(s.commandLimitSeconds));
    for (const AlarmId id : kAlarms)
        if (later(id))
            alarm(id);
    return text + kCrLf;
}

std::optional<AlarmSettings> readAlarmSettings(std::string_view text)
{
    AlarmSettings s;
    bool any = false, bad = false;
    const auto number = [&](std::string_view key, double &into) {
        if (const auto v = tagValue(text, key)) {
            any = true;
            if (const auto n = readNumber(*v))
                into = *n;
            else
                bad = true;
        }
    };
    // Switches are 0 or 1; anything else is a damaged file, not "off".
    const auto flag = [&](std::string_view key, bool &into) {
        if (const auto v = tagValue(text, key)) {
            any = true;
            const auto n = readNumber(*v);
            if (n && (*n == 0 || *n == 1))
                into = *n == 1;
            else
                bad = true;
        }
    };
    for (const AlarmId id : kAlarms) {
        bool on = s.isOn(id);
        flag(kNames[size_t(id)].onTag, on);
        s.on[size_t(id)] = on;
        number(kNames[size_t(id)].valueTag, s.threshold[size_t(id)]);
    }
    double performanceDays = s.performanceDays;
    number("UnderPerformingDays", performanceDays);
    if (performanceDays != std::floor(performanceDays) || !(std::abs(performanceDays) <= kMostPerformanceDays))
        bad = true;
    else
        s.performanceDays = int(performanceDays);
    number("HoldTime", s.holdSeconds);
    number("VoltsHysteresis", s.voltsHysteresis);
    number("PercentHysteresis", s.percentHysteresis);
    flag("Beep", s.beep);
    if (const auto v = tagValue(text, "Command")) {
        any = true;
        s.command = *v;
    }
    number("CommandLimit", s.commandLimitSeconds);
    if (!any || bad || !alarmSettingsProblem(s).empty())
        return std::nullopt;
    return s;
}

std::string alarmSettingsProblem(const AlarmSettings &s)
{
    for (const AlarmId id : kAlarms)
        if (!(s.limit(id) >= 0))
            return std::string("The threshold for ") + std::string(alarmTitle(id)) + " must be 0 or more.";
    if (!(s.limit(AlarmId::BatteryLow) < s.limit(AlarmId::BatteryHigh)))
        return "The battery low threshold must be below the battery high threshold.";
    if (!(s.limit(AlarmId::NoData) >= 1))
        return "The no data time must be at least 1 second.";
    if (!(s.limit(AlarmId::UnderPerforming) > 0 && s.limit(AlarmId::UnderPerforming) <= 200))
        return "The under-performing threshold must be above 0 and at most 200 %.";
    for (const AlarmId id : kAlarms)
        if (isRunAlarm(id) && !(s.limit(id) >= 1 && s.limit(id) <= kMostRunMinutes))
            return "The time for " + std::string(alarmTitle(id)) + " must be between 1 and "
                   + dotNumberText(kMostRunMinutes) + " minutes.";
    if (const double b = s.limit(AlarmId::BackupFailed); !(b >= 1 && b <= 30 && b == std::floor(b)))
        return "The failed backups in a row must be a whole number from 1 to 30.";
    if (s.performanceDays < 1 || s.performanceDays > kMostPerformanceDays)
        return "The under-performing days must be between 1 and " + std::to_string(kMostPerformanceDays) + ".";
    if (!(s.holdSeconds >= 0 && s.holdSeconds <= 86400))
        return "The hold time must be between 0 and 86400 seconds.";
    if (!(s.voltsHysteresis >= 0) || !(s.percentHysteresis >= 0 && s.percentHysteresis <= 100))
        return "The hysteresis must be 0 or more (at most 100 %).";
    if (!(s.commandLimitSeconds >= 1 && s.commandLimitSeconds <= 86400))
        return "The command time limit must be between 1 and 86400 seconds.";
    for (const char c : s.command)
        if (c == '\r' || c == '\n' || c == '<' || c == '>')
            return "The command must be a single program path (without line breaks, < or >).";
    return std::string();
}

// ---- alarms.csv -----------------------------------------------------------------

std::string_view alarmCsvHeader() { return "time,alarm,state,value,threshold"; }

std::string alarmNumberText(AlarmId id, double value)
{
    return dotNumberText(id == AlarmId::NoData || id == AlarmId::BackupFailed || isRunAlarm(id) ? std::floor(value)
                                                                                               : roundHalfEven(value, 2));
}

std::string alarmCsvLine(std::string_view isoTime, const AlarmEvent &e)
{
    std::string line(isoTime);
    line += ',';
    line += alarmKey(e.id);
    line += e.raised ? ",raised," : ",cleared,";
    line += alarmNumberText(e.id, e.value) + ',' + alarmNumberText(e.id, e.threshold);
    return line;
}

std::string alarmUnit(AlarmId id, std::string_view windUnit)
{
    switch (id) {
    case AlarmId::BatteryLow:
    case AlarmId::BatteryHigh: return "V";
    case AlarmId::OverSpeed: return "RPM";
    case AlarmId::HighWind: return std::string(windUnit);
    case AlarmId::NoData: return "s";
    case AlarmId::UnderPerforming: return "%";
    case AlarmId::BackupFailed: return "in a row";
    case AlarmId::RotorStopped:
    case AlarmId::NotCharging:
    case AlarmId::WindImplausible: break;
    }
    return "min";
}

std::optional<AlarmCsvRecord> readAlarmCsvLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const std::vector<std::string_view> f = split(line, ",");
    // The time as written: yyyy-mm-ddThh:mm:ss.
    const auto isTime = [](std::string_view t) {
        if (t.size() != 19)
            return false;
        for (size_t i = 0; i < t.size(); ++i) {
            const char want = i == 4 || i == 7 ? '-' : i == 10 ? 'T' : i == 13 || i == 16 ? ':' : '0';
            if (want == '0' ? !(t[i] >= '0' && t[i] <= '9') : t[i] != want)
                return false;
        }
        return true;
    };
    if (f.size() != 5 || !isTime(f[0]) || (f[2] != "raised" && f[2] != "cleared"))
        return std::nullopt;
    const auto value = readNumber(f[3]), threshold = readNumber(f[4]);
    if (!value || !threshold)
        return std::nullopt;
    for (const AlarmId id : kAlarms)
        if (alarmKey(id) == f[1])
            return AlarmCsvRecord{std::string(f[0]), {id, f[2] == "raised", *value, *threshold}};
    return std::nullopt;
}

// ---- the state machine ----------------------------------------------------------

std::vector<AlarmEvent> AlarmBook::setSettings(const AlarmSettings &s, double now)
{
    std::vector<AlarmEvent> events;
    for (const AlarmId id : kAlarms) {
        Alarm &a = m_alarm[size_t(id)];
        if (a.raised && !s.isOn(id)) {
            if (id == AlarmId::NoData)
                a.value = noDataSeconds(now);
            events.push_back({id, false, a.value, m_settings.limit(id)});
            a.raised = false;
        }
        a.pendingSince.reset();
    }
    m_settings = s;
    judgePerformance(events);
    return events;
}

double AlarmBook::noDataSeconds(double now) const { return std::max(0.0, now - m_noDataFrom); }

void AlarmBook::flip(AlarmId id, std::vector<AlarmEvent> &events)
{
    Alarm &a = m_alarm[size_t(id)];
    a.raised = !a.raised;
    a.pendingSince.reset();
    events.push_back({id, a.raised, a.value, m_settings.limit(id)});
}

void AlarmBook::consider(AlarmId id, double value, double now, std::vector<AlarmEvent> &events)
{
    Alarm &a = m_alarm[size_t(id)];
    a.value = value;
    if (!m_settings.isOn(id))
        return;
    const double t = m_settings.limit(id);
    const double band = id == AlarmId::BatteryLow || id == AlarmId::BatteryHigh
                            ? m_settings.voltsHysteresis
                            : t * m_settings.percentHysteresis / 100;
    // Readings have two decimals: a value exactly at the clear line clears,
    // whatever the sum's last binary digit.
    const double slack = 1e-9;
    bool flipping;
    if (raisesBelow(id))
        flipping = a.raised ? value >= t + band - slack : value < t;
    else
        flipping = a.raised ? value <= t - band + slack : value > t;
    if (!flipping) {
        a.pendingSince.reset();
        return;
    }
    if (!a.pendingSince)
        a.pendingSince = now;
    if (now - *a.pendingSince >= m_settings.holdSeconds)
        flip(id, events);
}

std::vector<AlarmEvent> AlarmBook::frame(const Values &v, double now)
{
    std::vector<AlarmEvent> events;
    if (!v.live)
        return events;
    if (m_alarm[size_t(AlarmId::NoData)].raised) {
        m_alarm[size_t(AlarmId::NoData)].value = noDataSeconds(now);
        flip(AlarmId::NoData, events);
    }
    m_noDataFrom = now;
    const std::pair<AlarmId, std::optional<double>> values[] = {{AlarmId::BatteryLow, v.volts},
                                                                {AlarmId::BatteryHigh, v.volts},
                                                                {AlarmId::OverSpeed, v.rpm},
                                                                {AlarmId::HighWind, v.wind}};
    for (const auto &[id, value] : values)
        if (value)
            consider(id, *value, now, events);
    followTurbine(v, now);
    judgeRuns(now, events);
    return events;
}

void AlarmBook::Run::step(std::optional<bool> holds, double now, double hold)
{
    if (!holds)
        return;
    if (*holds) {
        against.reset();
        if (!since)
            since = now;
        return;
    }
    if (!since)
        return;
    if (!against)
        against = now;
    if (now - *against >= hold) {
        since.reset();
        against.reset();
    }
}

void AlarmBook::followTurbine(const Values &v, double now)
{
    const double hold = m_settings.holdSeconds;
    const std::optional<AvailabilityRules> &t = m_turbine;
    // The battery full or the load dumping hold the turbine back: it is not
    // stopped or idle for a fault. That tells nothing of the wind sensor.
    const bool curtailed = t
                           && ((t->curve.batteryFullVolts && v.volts && *v.volts >= *t->curve.batteryFullVolts)
                               || (t->curve.dumpsToLoad && v.loadOn));
    const auto is = [](const std::optional<double> &x, auto test) {
        return x ? std::optional<bool>(test(*x)) : std::nullopt;
    };
    const std::optional<bool> turning = is(v.rpm, [](double r) { return r > kTurningRPM; });
    const std::optional<double> wind = t ? v.windMetres : std::nullopt;
    // Both parts hold; either does not: false; else the frame cannot tell.
    const auto both = [](std::optional<bool> a, std::optional<bool> b) -> std::optional<bool> {
        if (a == false || b == false)
            return false;
        if (!a || !b)
            return std::nullopt;
        return true;
    };

    // Stopped: a wind between the cut-in and its margin tells nothing.
    std::optional<bool> windy;
    if (wind && (*wind < t->cutIn || *wind >= t->cutOut))
        windy = false;
    else if (wind && *wind >= t->cutIn + kStoppedMargin)
        windy = true;
    const std::optional<bool> still = is(v.rpm, [](double r) { return r <= 0; });
    m_stopped.step(curtailed ? false : both(windy, still), now, hold);
    const std::optional<bool> noCurrent = is(v.amps, [](double a) { return a < kNoCurrentAmps; });
    const std::optional<bool> idle = curtailed ? false : both(turning, noCurrent);
    m_notCharging.step(t ? idle : std::nullopt, now, hold);
    m_belowCutIn.step(both(turning, is(wind, [t](double w) { return w < t->cutIn; })), now, hold);

    // Any new reading shows the sensor moves: the unchanged run starts again.
    if (v.wind) {
        const double read = roundHalfEven(*v.wind, 2);
        if (read != m_unchangedWind) {
            m_unchangedWind = read;
            m_unchanged = Run();
        }
        m_unchanged.step(turning, now, hold);
    }
}

void AlarmBook::judgeRuns(double now, std::vector<AlarmEvent> &events)
{
    const std::pair<AlarmId, double> runs[] = {
        {AlarmId::RotorStopped, m_stopped.minutes(now)},
        {AlarmId::NotCharging, m_notCharging.minutes(now)},
        {AlarmId::WindImplausible, std::max(m_unchanged.minutes(now), m_belowCutIn.minutes(now))}};
    for (const auto &[id, minutes] : runs) {
        Alarm &a = m_alarm[size_t(id)];
        const bool over = minutes >= m_settings.limit(id);
        // A clear tells how long the condition held.
        if (a.raised && !over) {
            flip(id, events);
            continue;
        }
        a.value = minutes;
        if (!a.raised && over && m_settings.isOn(id))
            flip(id, events);
    }
}

std::vector<AlarmEvent> AlarmBook::tick(DataState state, double now)
{
    std::vector<AlarmEvent> events;
    if (state == DataState::Paused) {
        m_paused = true;
        return events;
    }
    if (m_paused) {
        // The window that held the port was reading the unit: the time
        // without data counts from here.
        m_paused = false;
        m_noDataFrom = std::max(m_noDataFrom, now);
    }
    for (const AlarmId id : kAlarms) {
        Alarm &a = m_alarm[size_t(id)];
        if (!isValueAlarm(id) || !a.pendingSince)
            continue;
        // A condition seen in live frames goes on holding while frames come;
        // from stale data nothing is concluded.
        if (state != DataState::Live)
            a.pendingSince.reset();
        else if (now - *a.pendingSince >= m_settings.holdSeconds)
            flip(id, events);
    }
    // From stale data nothing is concluded: a condition not yet long enough
    // starts again; a raised one stays, its time held, until live frames end it.
    if (state == DataState::Live)
        judgeRuns(now, events);
    else
        for (const auto &[id, run] : {std::pair{AlarmId::RotorStopped, &m_stopped},
                                      std::pair{AlarmId::NotCharging, &m_notCharging},
                                      std::pair{AlarmId::WindImplausible, &m_unchanged},
                                      std::pair{AlarmId::WindImplausible, &m_belowCutIn}}) {
            run->against.reset();
            if (!m_alarm[size_t(id)].raised)
                run->since.reset();
        }
    Alarm &noData = m_alarm[size_t(AlarmId::NoData)];
    noData.value = noDataSeconds(now);
    if (m_settings.isOn(AlarmId::NoData) && !noData.raised && noData.value >= m_settings.limit(AlarmId::NoData))
        flip(AlarmId::NoData, events);
    return events;
}

std::vector<AlarmEvent> AlarmBook::performance(const std::map<int, PerformanceSums> &days, int today)
{
    m_performance = days;
    m_today = today;
    std::vector<AlarmEvent> events;
    judgePerformance(events);
    return events;
}

std::vector<AlarmEvent> AlarmBook::backups(int failedInARow)
{
    std::vector<AlarmEvent> events;
    const AlarmId id = AlarmId::BackupFailed;
    Alarm &a = m_alarm[size_t(id)];
    a.value = failedInARow;
    // Each backup decides, so there is no hold time.
    if (m_settings.isOn(id) && (failedInARow >= m_settings.limit(id)) != a.raised)
        flip(id, events);
    else if (!m_settings.isOn(id) && a.raised)
        flip(id, events);
    return events;
}

void AlarmBook::judgePerformance(std::vector<AlarmEvent> &events)
{
    const AlarmId id = AlarmId::UnderPerforming;
    Alarm &a = m_alarm[size_t(id)];
    const PerformanceRun run
        = performanceRun(m_performance, m_today, m_settings.limit(id), m_settings.performanceDays);
    a.value = run.percent.value_or(0);
    // Whole days decide, so there is no hold time.
    if (m_settings.isOn(id) && run.under != a.raised)
        flip(id, events);
}

// ---- the link -------------------------------------------------------------------

void LinkCounters::frame(bool live, double now)
{
    ++m_received;
    if (!live)
        ++m_notLive;
    const auto second = static_cast<long long>(std::floor(now));
    const size_t slot = size_t(((second % 60) + 60) % 60);
    if (m_second[slot] != second) {
        m_second[slot] = second;
        m_count[slot] = 0;
    }
    ++m_count[slot];
}

long long LinkCounters::perMinute(double now) const
{
    const auto second = static_cast<long long>(std::floor(now));
    long long n = 0;
    for (size_t i = 0; i < 60; ++i)
        if (m_count[i] > 0 && m_second[i] > second - 60 && m_second[i] <= second)
            n += m_count[i];
    return n;
}

std::string portName(std::string_view portSetting, int number, std::string_view systemDevice)
{
    const std::string entry = "COM" + std::to_string(number);
    if (systemDevice.empty() || systemDevice == entry) {
        std::string name = "COM";
        for (const char c : portSetting)
            if (c != ' ')
                name += c;
        return name;
    }
    return "port " + std::to_string(number) + " (" + std::string(systemDevice) + ", no " + entry
           + " entry in the folder)";
}

std::string ageText(double seconds)
{
    const auto s = static_cast<long long>(std::floor(std::max(0.0, seconds)));
    if (s < 60)
        return std::to_string(s) + " s";
    if (s < 3600)
        return std::to_string(s / 60) + " min";
    const long long m = (s % 3600) / 60;
    return std::to_string(s / 3600) + " h" + (m ? " " + std::to_string(m) + " min" : std::string());
}

std::string linkStatusText(std::string_view port, std::string_view state, long long perMinute, long long rejected,
                           std::optional<double> noDataSeconds)
{
    std::string text(port);
    text += ' ';
    text += state;
    text += ", " + std::to_string(perMinute) + " frames/min, " + std::to_string(rejected) + " rejected";
    if (noDataSeconds && *noDataSeconds > 10)
        text += ", no data for " + ageText(*noDataSeconds);
    return text;
}

} // namespace core
