// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive's rows: one for each minute that had live data, and the hour and
// day summaries rolled up from them. A minute is a UTC minute; hours and days
// are local, so each row keeps the offset from UTC it was measured at and a
// change of daylight-saving time neither merges nor splits them wrongly.
//
// The minutes are made here from the stream of frames: every live frame holds
// its load state until the next frame, for at most the time after which the
// data turns stale; what no live frame covers is time without data. Time is
// measured on the clock that counts sleep, so a step of the wall clock neither
// stretches nor shrinks a minute. The energy of a minute is what the energy
// book counted while it was open, so the archive's days and energy.csv agree.

#include "Frame.h"
#include "Reading.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// Count, sum and extremes of one quantity.
struct Spread {
    long long n = 0;
    double sum = 0, min = 0, max = 0;

    void add(double v);
    void merge(const Spread &o);
    double mean() const { return n ? sum / double(n) : 0; }
    bool operator==(const Spread &o) const
    {
        return n == o.n && sum == o.sum && min == o.min && max == o.max;
    }
};

struct ArchiveRow {
    // UTC seconds where the row starts: the minute, the local hour or the
    // local day.
    std::int64_t t = 0;
    // Seconds east of UTC at its first minute.
    int utcOffset = 0;
    // Minutes with live data in it (1 for a minute), and of them those
    // imported from the daily logs (whose values are interval maxima).
    long long minutes = 0, imported = 0;
    // Live frames, and frames that came but were not live or were dropped.
    long long frames = 0, rejected = 0;
    double energyWh = 0, loadSeconds = 0, noDataSeconds = 0;
    Spread volts, amps, watts, rpm, wind;
    // The wind unit as shown; the wind values are in m/s when windUnit()
    // knows it, else in that unit.
    std::string windUnit;
};

// Whether a row (or a column of rows) is drawn apart as the daily logs'
// interval maxima: at least half of its minutes were imported.
inline bool mostlyImported(long long minutes, long long imported) { return imported > 0 && imported * 2 >= minutes; }

// Local calendar day of a row, as yyyymmdd.
int localDayKey(std::int64_t t, int utcOffset);
// UTC start of the local hour that holds second `t`.
std::int64_t localHourStart(std::int64_t t, int utcOffset);
// "2026-03-29T01:59:00+01:00".
std::string isoLocalTime(std::int64_t t, int utcOffset);

// A minute written again (the program restarted within it) takes the new
// part in: frames and energy add up, and the time without data is what
// neither part covered.
ArchiveRow mergeMinute(const ArchiveRow &old, const ArchiveRow &more);
// An hour or day summary with one more minute, or a part of one (`more`
// then carries minutes 0 and the change of the minute's no-data time).
// Wind of another unit than the summary's is left out.
ArchiveRow rollUp(const ArchiveRow &summary, const ArchiveRow &more);

class MinuteBuilder {
public:
    // `utcMs` is the wall clock (ms since 1970 UTC) when an event came and
    // `monoMs` the clock that counts sleep (any origin); the wind unit is the
    // one shown. Each call returns the minutes that ended before it (usually
    // none).
    std::vector<ArchiveRow> frame(std::int64_t utcMs, std::int64_t monoMs, int utcOffset, const RawReading &raw,
                                  const Reading &reading, std::string_view windUnitShown);
    // Frames dropped before they could be decoded.
    std::vector<ArchiveRow> dropped(std::int64_t utcMs, std::int64_t monoMs, long long count);
    // Energy the energy book counted (watt-hours): it goes to the minute of
    // `utcMs`, which a held live reading covers even before its first frame.
    std::vector<ArchiveRow> energy(std::int64_t utcMs, std::int64_t monoMs, int utcOffset, double wattHours);
    // The minutes that ended by `utcMs` (the clock's tick).
    std::vector<ArchiveRow> advance(std::int64_t utcMs, std::int64_t monoMs);
    // The minute in progress as far as it got (at the end of a run).
    std::optional<ArchiveRow> flush(std::int64_t utcMs, std::int64_t monoMs);

    // A step of the wall clock larger than this (against the clock that
    // counts sleep) ends the open minute where the time really got to.
    static constexpr std::int64_t kStepMs = 2000;

private:
    // Credits the held reading up to `utcMs` to the open minute (clipped to it).
    void account(std::int64_t utcMs);
    void close(std::vector<ArchiveRow> &out);
    void open(std::int64_t utcMs, int utcOffset);

    std::optional<ArchiveRow> m_row;
    double m_covered = 0; // seconds of the open minute with live data
    // Up to when time was credited, and the latest event on both clocks.
    std::int64_t m_last = 0, m_lastEvent = 0, m_lastMono = 0;
    bool m_started = false;
    std::optional<std::int64_t> m_lastLive;
    bool m_loadOn = false;
    // Rejected frames of a minute that has no row yet.
    std::int64_t m_rejectedMinute = -1;
    long long m_rejected = 0;
};

} // namespace core

namespace core {

// "archive.cfg": how many days the minutes are kept (0: for ever).
constexpr int kDefaultMinuteDays = 730;
struct ArchiveSettings {
    int minuteDays = kDefaultMinuteDays;
};
std::string archiveSettingsText(const ArchiveSettings &s);

// Where retention cuts, so that a wrong wall clock never wipes the minutes:
// the clock is taken at its word at start only when it is no more than a day
// past the newest minute kept, and after that the cut-off moves on by no
// more than the time that really passed (on the clock that counts sleep).
class Retention {
public:
    struct Cut {
        // Minutes before this (UTC seconds) may go; nullopt: none.
        std::optional<std::int64_t> before;
        // The clock was more than a day past the newest minute at start.
        bool clockAhead = false;
    };
    Cut next(std::int64_t wall, double monoSeconds, std::optional<std::int64_t> newestMinute, int minuteDays);

private:
    std::optional<std::int64_t> m_reference;
    double m_mono = 0;
};
// Anything unreadable takes its default.
ArchiveSettings readArchiveSettings(std::string_view text);

} // namespace core

namespace core {

// The archive as CSV (the export): a header with the units, then one line a
// row, numbers with "." and absent values empty. The wind columns are in
// the unit named in wind_unit.
std::string archiveCsvHeader();
std::string archiveCsvLine(const ArchiveRow &row);

} // namespace core
