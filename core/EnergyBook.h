#pragma once
// The energy that outlives the program: today's, yesterday's and the lifetime
// total (the state file "energy.cfg"), and one line a day in "logs/energy.csv".
// Numbers in both files are written with "." whatever the locale, so that
// spreadsheets and scripts read them everywhere.

#include "Energy.h"
#include "Frame.h"
#include "Liveness.h"
#include "Reading.h"

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

// What the totals are at start-up, from the stored state (none when the file
// is missing or damaged).
struct EnergyStart {
    double today = 0, yesterday = 0, lifetime = 0;
    // The stored date is later than today: the clock was set back.
    bool clockBack = false;
};
EnergyStart energyAtStart(const std::optional<EnergyState> &stored, const CivilDate &today);

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
// The file's text with `day` in its place: its own date's line replaced, or
// inserted in date order. Every other line stays as it was, byte for byte; a
// file without the header gets it first.
std::string withDay(std::string_view text, const DayRecord &day);

// ---- the book kept while the program runs -----------------------------------

class EnergyBook {
public:
    // Takes up the stored totals and today's line (when the file has one).
    void start(const EnergyStart &totals, const std::optional<DayRecord> &todayLine, const CivilDate &today,
               double now, const std::string &windUnit);

    // A processed frame: the day's peaks, from live frames only.
    void frame(const RawReading &raw, const Reading &reading);
    // The energy step (every few seconds). When the date has moved on, the
    // finished day's record is returned: it is to be written once. A date that
    // went back (the clock was set back) returns nothing: the later day's line
    // is not rewritten.
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
};

} // namespace core
