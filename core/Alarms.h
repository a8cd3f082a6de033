// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Alarms on the unit's values and on the data itself, the settings file
// "alarms.cfg", the lines of "logs/alarms.csv", and the link's counters and
// status text. Times are seconds on a monotonic clock.

#include "Availability.h"
#include "Liveness.h"
#include "Performance.h"

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

enum class AlarmId {
    BatteryLow, BatteryHigh, OverSpeed, HighWind, NoData, UnderPerforming,
    RotorStopped, NotCharging, WindImplausible, BackupFailed
};
constexpr int kAlarmCount = 10;
constexpr std::array<AlarmId, kAlarmCount> kAlarms{
    AlarmId::BatteryLow,      AlarmId::BatteryHigh,  AlarmId::OverSpeed,   AlarmId::HighWind,       AlarmId::NoData,
    AlarmId::UnderPerforming, AlarmId::RotorStopped, AlarmId::NotCharging, AlarmId::WindImplausible,
    AlarmId::BackupFailed};
// The alarms on what the turbine does in the wind: raised when their
// condition has held, in live frames, for their threshold in minutes.
//
//   rotor stopped in wind     the wind at least the cut-in plus
//                             kStoppedMargin and below the cut-out, and RPM 0
//   turning but not charging  RPM above kTurningRPM and the current below
//                             kNoCurrentAmps
//   wind sensor implausible   the wind reading unchanged (at its two
//                             decimals) while RPM is above kTurningRPM, or
//                             RPM above kTurningRPM with the wind below the
//                             cut-in
//
// A frame with the battery full or the load dumping holds neither "stopped"
// nor "not charging" (the turbine is held back, as in the minutes'
// categories); "not charging" waits for the turbine's rules to know that. The condition ends
// when frames have shown it not holding for the hold time; a wind between
// the cut-in and the stopped margin neither holds "stopped" nor ends it, and
// a new wind reading ends the unchanged one at once. A bin of the measured
// curve above the Betz limit does not count: the curve holds every minute
// kept, so an alarm on it would stay raised long after the sensor was
// mended; the Power curve page names such bins instead.
bool isRunAlarm(AlarmId id);

// "battery_low", ...: the name in alarms.csv and for the alarm command.
std::string_view alarmKey(AlarmId id);
// "Battery low", ...: the name people read.
std::string_view alarmTitle(AlarmId id);

struct AlarmSettings {
    // Indexed by AlarmId. Thresholds: volts, volts, RPM, wind speed in the
    // user's unit, seconds without a live frame, the performance against the
    // certified curve in percent, and minutes for the turbine's alarms.
    // The daily backup's alarm counts failed backups in a row.
    std::array<bool, kAlarmCount> on{false, false, false, false, true, false, false, false, false, false};
    std::array<double, kAlarmCount> threshold{11.8, 14.8, 800, 20, 60, 70, 10, 10, 180, 1};
    // The days in a row (see performanceRun) under-performing needs.
    int performanceDays = 7;
    // How long a condition must hold before an alarm is raised or cleared.
    double holdSeconds = 10;
    // How far back past its threshold a value must be to clear: volts for the
    // battery, percent of the threshold for RPM and wind.
    double voltsHysteresis = 0.2;
    double percentHysteresis = 5;
    bool beep = false;
    // A program run on every raise and clear; empty for none.
    std::string command;
    // A command still running after this long is killed.
    double commandLimitSeconds = 30;

    bool isOn(AlarmId id) const { return on[size_t(id)]; }
    double limit(AlarmId id) const { return threshold[size_t(id)]; }
};

// The whole file text, CR LF line ends, numbers with ".".
std::string alarmSettingsText(const AlarmSettings &s);
// Keys missing from the text keep their defaults (files written before a key
// existed stay good). nullopt when the text is damaged: no key at all, a value
// that does not read, or values that alarmSettingsProblem() refuses.
std::optional<AlarmSettings> readAlarmSettings(std::string_view text);
// Why the values cannot be used, in words for a message; "" when they can.
std::string alarmSettingsProblem(const AlarmSettings &s);

// A raise or a clear.
struct AlarmEvent {
    AlarmId id;
    bool raised;
    double value, threshold;
};

// "time,alarm,state,value,threshold", without its line end.
std::string_view alarmCsvHeader();
// `isoTime` as "2026-03-07T14:05:09".
std::string alarmCsvLine(std::string_view isoTime, const AlarmEvent &e);
// The value and threshold as the command and the file get them: "." always;
// whole seconds for "no data", whole minutes for the turbine's alarms.
std::string alarmNumberText(AlarmId id, double value);
// The unit of those numbers: "V", "RPM", the wind's unit as set, "s", "%"
// or "min".
std::string alarmUnit(AlarmId id, std::string_view windUnit);
// A line of alarms.csv read back; nullopt for the header and for anything
// not written as alarmCsvLine writes (a line cut short, an edited one).
struct AlarmCsvRecord {
    std::string time; // local, "2026-03-07T14:05:09"
    AlarmEvent event;
};
std::optional<AlarmCsvRecord> readAlarmCsvLine(std::string_view line);

// The alarms' states. Value alarms follow live frames only. An alarm is
// raised when its condition has held for the hold time and cleared when its
// value has stayed back past the threshold by the hysteresis for the hold time,
// so neither one odd frame nor a value wavering at the threshold changes it.
// "No data" is raised when no live frame has come for its threshold (from the
// start, or from the end of a pause: the window that held the port was
// reading the unit), cleared by the next live frame, and neither raised nor
// cleared while the data is paused.
class AlarmBook {
public:
    explicit AlarmBook(double now = 0) : m_noDataFrom(now) { }

    // New settings. A raised alarm that is now off is cleared.
    std::vector<AlarmEvent> setSettings(const AlarmSettings &s, double now);
    const AlarmSettings &settings() const { return m_settings; }

    // A processed frame: its calibrated values, each given only when its field
    // read; volts, RPM and wind count only from a live frame.
    struct Values {
        bool live = false;
        std::optional<double> volts, rpm, wind;
        std::optional<double> amps;
        // The wind in m/s; none in a unit of no known factor.
        std::optional<double> windMetres;
        bool loadOn = false;
    };
    std::vector<AlarmEvent> frame(const Values &v, double now);
    // The cut-in, the cut-out and what curtails the turbine, as the minutes'
    // categories resolve them. Until they are known the turbine's alarms
    // judge only the unchanged wind.
    void setTurbine(const AvailabilityRules &rules) { m_turbine = rules; }
    // The regular check, every second or so.
    std::vector<AlarmEvent> tick(DataState state, double now);
    // The days' performance against the certified curve (none without a
    // certified curve) and today (yyyymmdd): "under-performing" is raised
    // while performanceRun() finds its days in a row, cleared when not.
    std::vector<AlarmEvent> performance(const std::map<int, PerformanceSums> &days, int today);
    // The daily backups that failed in a row (0 after a good one): "backup
    // failed" is raised from its threshold on, cleared by a good backup.
    std::vector<AlarmEvent> backups(int failedInARow);

    bool raised(AlarmId id) const { return m_alarm[size_t(id)].raised; }
    // The latest value (seconds without data for "no data", minutes the
    // condition has held for the turbine's alarms).
    double value(AlarmId id) const { return m_alarm[size_t(id)].value; }

    // A condition of the turbine's alarms over time: it holds since `since`;
    // frames against it since `against` end it after the hold time.
    struct Run {
        std::optional<double> since, against;
        // `holds` none: the frame cannot tell.
        void step(std::optional<bool> holds, double now, double hold);
        double minutes(double now) const { return since ? (now - *since) / 60 : 0; }
    };

private:
    struct Alarm {
        bool raised = false;
        std::optional<double> pendingSince; // the flipping condition holds since
        double value = 0;
    };
    void consider(AlarmId id, double value, double now, std::vector<AlarmEvent> &events);
    void judgePerformance(std::vector<AlarmEvent> &events);
    void followTurbine(const Values &v, double now);
    void judgeRuns(double now, std::vector<AlarmEvent> &events);
    void flip(AlarmId id, std::vector<AlarmEvent> &events);
    double noDataSeconds(double now) const;

    AlarmSettings m_settings;
    std::array<Alarm, kAlarmCount> m_alarm{};
    double m_noDataFrom;
    bool m_paused = false;
    std::map<int, PerformanceSums> m_performance;
    int m_today = 0;
    std::optional<AvailabilityRules> m_turbine;
    Run m_stopped, m_notCharging, m_unchanged, m_belowCutIn;
    std::optional<double> m_unchangedWind;
};

// Frames counted for the status line and the day's line of energy.csv.
// Received: every complete frame. Rejected: received frames that are not live
// (their volts or amps do not read) and the pieces of text the frame buffer
// dropped at its bound (see FrameAssembler::dropped()).
class LinkCounters {
public:
    void frame(bool live, double now);
    // The buffer's total of dropped pieces (it only grows).
    void setDropped(long long total) { m_dropped = total; }
    long long received() const { return m_received; }
    long long rejected() const { return m_notLive + m_dropped; }
    // Frames received in the 60 seconds up to `now`.
    long long perMinute(double now) const;

private:
    long long m_received = 0, m_notLive = 0, m_dropped = 0;
    // Frames per whole second, for the last minute.
    std::array<long long, 60> m_count{};
    std::array<long long, 60> m_second{};
};

// How the status line names the port: "COM" and the port setting (blanks
// left out) while the port is the folder's entry; when the system's device
// stands in for a missing entry, "port 1 (/dev/ttyS0, no COM1 entry in the
// folder)", so a forgotten link shows. A system device of the same name as
// the entry (Windows' COM1) is just that name.
std::string portName(std::string_view portSetting, int number, std::string_view systemDevice);

// "45 s", "2 min", "3 h 5 min": whole units, rounded down.
std::string ageText(double seconds);
// The status line: "COM1 open, 30 frames/min, 2 rejected", and ", no data for
// 2 min" when `noDataSeconds` is over 10.
std::string linkStatusText(std::string_view port, std::string_view state, long long perMinute, long long rejected,
                           std::optional<double> noDataSeconds);

} // namespace core
