// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history of days: estimating a past day from its daily log, finding the
// logged days that energy.csv does not hold yet, and the totals of a month and
// of a year that the History window shows.

#include "EnergyBook.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// ---- estimating a day from its daily log --------------------------------------

// The day's line made from its log, marked estimated. The log holds the maxima
// of each logging interval, so the energy (highest watts × interval) and the
// lowest volts (the lowest of the interval maxima) are upper bounds. `date` and
// `windUnit` are the file's day and the unit the wind was logged in (the log
// does not say). nullopt when the log holds no record at all.
std::optional<DayRecord> estimateDay(std::string_view logText, const CivilDate &date, const std::string &windUnit);

// How many seconds each record of a day's log stands for, from the minutes
// of their stamps in file order (see EnergyHistory.cpp for how).
std::vector<double> recordSeconds(const std::vector<long> &minutes);

// The logging interval assumed for a record standing alone, when no other part
// of the day tells it: the delivered interval.
constexpr double kLoneRecordSeconds = 60;

// ---- which days are missing ---------------------------------------------------

// The day a daily log's file name stands for ("2026_3_7.txt"; leading zeros
// allowed); nullopt for any other name or a day that does not exist.
std::optional<CivilDate> readLogFileDate(std::string_view fileName);

// The days among `logDates` that energy.csv (`csvText`) has no line for, in
// date order, each once. A day with a line of its own, measured or estimated,
// readable or not, is never missing: nothing here replaces it. Today and later
// days are never missing (today's line is the running program's; a later date
// means the clock was set back).
std::vector<CivilDate> missingDays(std::string_view csvText, std::vector<CivilDate> logDates,
                                   const CivilDate &today);

// The file's text with each of `days` in its place, as withDay puts one (its
// date's line replaced by keptDay of the two, or inserted in date order; every
// other line byte for byte), in one pass however many days there are. Two days
// of one date in `days` are kept as one, as keptDay keeps them.
std::string withDays(std::string_view csvText, std::vector<DayRecord> days);

// ---- totals of a month and of a year ------------------------------------------

int daysInMonth(int year, int month);

struct MonthSummary {
    int year = 0, month = 0;
    // One slot per day of the month, [0] being the 1st; empty for a day without a line.
    std::vector<std::optional<DayRecord>> days;
    double total = 0, measuredTotal = 0, estimatedTotal = 0; // Wh
    int daysRecorded = 0, daysEstimated = 0;
    // The total over the days that have a line (0 without any).
    double dailyAverage = 0;
    // The day of the most energy (the earliest of equals); nullopt without any line.
    std::optional<DayRecord> best;
};

// `days` in any order; should a date stand twice, a measured line wins over an
// estimate, and otherwise the later line.
MonthSummary monthSummary(const std::vector<DayRecord> &days, int year, int month);

struct MonthTotal {
    double total = 0, estimated = 0; // Wh; `estimated` is the part from estimated days
    int daysRecorded = 0, daysEstimated = 0;
};

struct YearSummary {
    int year = 0;
    std::array<MonthTotal, 12> months{}; // [0] is January
    double total = 0, estimatedTotal = 0;
    int daysRecorded = 0, daysEstimated = 0;
    double dailyAverage = 0; // over the days that have a line
    int bestMonth = 0;       // 1..12, 0 without any line
};
YearSummary yearSummary(const std::vector<DayRecord> &days, int year);

// Energy for people: "845.2 Wh" below a kilowatt-hour, "12.35 kWh" from it, in
// the regional number text.
std::string energyText(double wattHours);

} // namespace core
