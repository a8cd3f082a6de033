// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading the daily log back: the date and time entries of the graph window,
// splitting a log file into lines and taking the fields out of one line.
// Times of day are fractions of a day (0 = midnight, 0.5 = noon), computed the
// same way for the bounds and for the records so that comparisons are exact.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

class LineTags;

// Hour and minute entries, each one or two digits with blanks around them
// allowed; hours 0 to 23, minutes 0 to 59. nullopt for anything else.
std::optional<double> readClockTime(std::string_view hours, std::string_view minutes);

struct CalendarDate {
    int year, month, day;
};

// Day, month and year entries: digits only (blanks around them and leading
// zeros allowed) naming a real day of the Gregorian calendar, years 1 to 9999.
// nullopt for anything else. The numbers, not the texts, name the day's file.
std::optional<CalendarDate> readCalendarDate(std::string_view day, std::string_view month, std::string_view year);

// The time field of a log line: "h:mm" or "h:mm:ss" (one or two digits each,
// blanks around allowed, hours 0 to 23). nullopt when it is not a time of day;
// a text that also names a date is never inside one day, so it is refused too.
std::optional<double> readLogTime(std::string_view text);

// Time text ("09:05") of a time of day as above; seconds are dropped.
std::string dayTimeText(double dayTime);

// One record as stored by the graph window.
struct LogRecord {
    double T = 0; // time of day
    double V = 0, I = 0, W = 0, R = 0, S = 0;
    std::int16_t M = 0;
};

struct DayRecords;

// Reads the lines of one load in file order. The mode text carries over from
// the last accepted line that had one, so use one reader per load.
class LogLineReader {
public:
    // The time of the line; nullopt when it has no time field or the field is
    // not a time of day (skip the line: a range that holds midnight must not
    // take empty lines).
    static std::optional<double> lineTime(std::string_view line);

    // The fields of an accepted line (call in file order, only for accepted
    // lines). A field that is missing or not a number gives 0; a mode that is
    // missing takes the last one seen; a mode that does not fit 16 bits gives 0.
    LogRecord fields(std::string_view line, double time);

private:
    friend DayRecords chooseRecords(std::string_view, double, double, std::size_t);
    LogRecord fields(const LineTags &tags, double time);
    bool m_hasMode = false;
    std::string m_mode;
};

// The records one load of a day's log takes: those of the lines (split at CR
// LF) whose time lies between start and finish, both included, in file order.
// When more than `limit` lines match, reading stops at the first one over it:
// overLimit, and records holds the first `limit`.
struct DayRecords {
    std::vector<LogRecord> records;
    bool overLimit = false;
};
DayRecords chooseRecords(std::string_view logText, double start, double finish, std::size_t limit);

} // namespace core
