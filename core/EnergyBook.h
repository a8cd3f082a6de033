// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The energy that outlives the program: today's, yesterday's and the lifetime
// total (the state file "energy.cfg"), and one line a day in "logs/energy.csv".
// Numbers in both files are written with "." whatever the locale, so that
// spreadsheets and scripts read them everywhere.

#include "Energy.h"
#include "Frame.h"
#include "Liveness.h"
#include "Reading.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// ---- dates ------------------------------------------------------------------

// Days since 1970-01-01 (negative before), and back.
long daysFromCivil(const CivilDate &d);
CivilDate civilFromDays(long days);
// "2026-03-07"; nullopt unless exactly that shape and a real date.
std::string isoDate(const CivilDate &d);
std::optional<CivilDate> readIsoDate(std::string_view text);
inline bool operator<(const CivilDate &a, const CivilDate &b) { return daysFromCivil(a) < daysFromCivil(b); }

// ---- energy.cfg -------------------------------------------------------------

struct EnergyState {
    CivilDate date;
    double today = 0, yesterday = 0, lifetime = 0; // watt-hours
    std::string written;                           // ISO date and time, for people
};
std::string energyStateText(const EnergyState &s);
// nullopt when a value is missing or unreadable: the file is damaged.
std::optional<EnergyState> readEnergyState(std::string_view text);

// ---- logs/energy.csv --------------------------------------------------------

struct DayRecord {
    CivilDate date;
    double energyWh = 0;
    bool estimated = false; // made afterwards from the day's log, an upper bound
    std::optional<double> peakWatts, peakWind;
    std::string windUnit;
    std::optional<double> peakRpm, minVolts, maxVolts;
    double loadOnSeconds = 0, noDataSeconds = 0; // written as whole minutes
    std::optional<long long> framesReceived, framesRejected;
};

// The header line, without its line end. The columns are fixed for good.
std::string_view energyCsvHeader();
std::string dayLine(const DayRecord &d);
std::optional<DayRecord> readDayLine(std::string_view line);
// Every day line of a file's text, in file order; lines that do not read are
// skipped here (and kept when the file is rewritten).
std::vector<DayRecord> readEnergyCsv(std::string_view text);
// The file's text with `day` in its place: its own date's line replaced by
// keptDay of the two, or `day` inserted in date order. Every other line stays as it was, byte for byte; a
// file without the header gets it first.
std::string withDay(std::string_view text, const DayRecord &day);

// The line that takes the place of `old` (a line of the same date): of two
// measured or two estimated lines, each column's extreme (energy, peaks,
// minutes and frame counts the larger, min_volts the smaller); a measured line
// always takes the place of an estimate and never gives way to one.
DayRecord keptDay(const DayRecord &old, const DayRecord &now);
// The measured line of `date` among `days` (several lines of one date kept as
// one), or nullopt.
std::optional<DayRecord> measuredDay(const std::vector<DayRecord> &days, const CivilDate &date);

// What the totals are at start-up, from the stored state (nullopt when the
// file is missing or damaged) and the days of energy.csv. Each date's energy
// is the larger of what its line and the state hold for it, so a line that
// lagged behind the state (a kill) and a lost state both lose nothing.
struct EnergyStart {
    double today = 0, yesterday = 0, lifetime = 0;
    // Today's measured line, when it has one: its peaks and minutes go on.
    std::optional<DayRecord> todayLine;
    // The stored date's line brought up to the state's total, when that date
    // is not today and its line lagged: to be written at once.
    std::optional<DayRecord> storedDay;
    // The stored date is later than today: the clock was set back.
    bool clockBack = false;
    // No state: the lifetime is the sum of the measured days.
    bool rebuilt = false;
};
EnergyStart energyAtStart(const std::optional<EnergyState> &stored, const std::vector<DayRecord> &days,
                          const CivilDate &today);

// ---- the book kept while the program runs -----------------------------------

class EnergyBook {
public:
    // Takes up the totals and today's line (energyAtStart).
    void start(const EnergyStart &totals, const CivilDate &today, double now, const std::string &windUnit);
    // Where a date's line is found when the date changes to it (the clock set
    // back, or forward again): that day goes on from its line. Without one,
    // every new date starts at 0.
    using DayLookup = std::function<std::optional<DayRecord>(const CivilDate &)>;
    void setDayLookup(DayLookup lookup) { m_lookup = std::move(lookup); }

    // A processed frame: the day's peaks, from live frames only.
    void frame(const RawReading &raw, const Reading &reading);
    // The energy step (every few seconds). When the date has changed, either
    // way, the left day's record is returned: it is to be written (keptDay
    // merges it with its line, so nothing of the line is lost). Time with
    // stale data counts as no-data time in full, however long the gap (the
    // machine slept); energy never counts more than a step's worth.
    std::optional<DayRecord> step(double watts, std::int16_t mode, const Liveness &liveness, double now,
                                  const CivilDate &today);

    double today() const { return m_counter.wattHours(); }
    // For a total set from outside (the main window's own value).
    void setToday(double wattHours);
    double yesterday() const { return m_yesterday; }
    double lifetime() const { return m_lifetime; }
    const DayRecord &day() const { return m_day; }
    EnergyState state(const std::string &written) const;
    void setWindUnit(const std::string &unit) { m_day.windUnit = unit; }
    // Frames received and rejected (as the link counters count them) since
    // the last call; they go to today's line.
    void countFrames(long long received, long long rejected);

private:
    EnergyCounter m_counter;
    double m_yesterday = 0, m_lifetime = 0;
    DayRecord m_day;
    std::optional<double> m_lastStep;
    DayLookup m_lookup;
};

} // namespace core
