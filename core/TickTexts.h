// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The texts of the logging tick: the daily log record, the history line and
// live page, the spreadsheet header and rows; also the watt-hour step and the
// check of the logging interval typed by the user.
//
// Texts are bytes in the local 8-bit encoding. Numbers go through numberText,
// so they carry the regional decimal separator. Functions that build one line
// return it without its line end; the caller adds CR LF. The spreadsheet texts
// are blocks and carry their own line ends.

#include "Liveness.h"
#include "Reading.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace core {

// Year, month and day as plain numbers joined by "_": 2026_3_7. Names the day's
// log and spreadsheet files.
std::string logDateStamp(int year, int month, int day);

// "Load On" when mode is 1, otherwise empty.
std::string modeText(std::int16_t mode);

// One daily log line, without CR LF:
// <V>13.45</V><I>2.1</I><W>28.25</W><R>312</R><S>4.5</S><M>1</M><T>14:05</T>
// hour is 0..23, minute 0..59 (the time of writing).
std::string logRecord(const Maxima &maxima, std::int16_t mode, int hour, int minute);

// One history line, without CR LF: each value with its unit, pieces separated
// by two tabs, ending with the long time text. An empty modeText leaves four
// tabs in a row.
std::string historyLine(const Maxima &maxima, std::string_view wsUnits, std::string_view modeText,
                        std::string_view longTime);

// The live page body: the template with its eight placeholders replaced, one
// after another in this order, each everywhere, case-sensitive:
// <VV> <II> <WW> <WH> <RR> <SS> <TT> <MM>. No line end is added; the page file
// is this text followed by CR LF.
std::string substituteTemplate(std::string_view templateText, const Maxima &maxima, double wattHours,
                               std::string_view longTime, std::string_view modeText);

// Our own placeholders, after the eight: <WY> yesterday's energy in Wh (one
// decimal) and <WT> the lifetime energy in kWh (two decimals).
std::string substituteEnergyTotals(std::string_view page, double yesterdayWh, double lifetimeWh);

// And after those: <SU> the wind-speed unit (with "&", "<" and ">" made
// entities, as it is the user's text in a page), <DD> the date (ISO,
// "2026-03-07") and <LD> the logging interval in whole seconds, rounded up.
std::string substitutePageExtras(std::string_view page, std::string_view wsUnits, std::string_view isoDate,
                                 double logSeconds);

// And last: <DS> the state of the data at the tick (dataStateWord: "live",
// "stale" or "paused", a bare word that a class attribute can hold) and <DL>
// the time of the last live frame (lastLiveText).
std::string substituteDataState(std::string_view page, DataState state, std::string_view lastLive);
// "03:16" when the frame came on the page's day, "2026-03-06 03:16" when
// before it. Dates are ISO ("2026-03-07").
std::string lastLiveText(std::string_view pageDate, std::string_view frameDate, int hour, int minute);

// The header block of a new spreadsheet file: the title row (wsUnits titles
// the wind-speed column) followed by CR LF CR LF.
std::string spreadsheetHeader(std::string_view wsUnits);
// One spreadsheet row block, followed by CR LF CR LF.
std::string spreadsheetRow(const Maxima &maxima, std::string_view modeText, std::string_view longTime);

// What Start does with the text of the interval box.
struct StartDelay {
    bool valid = false;  // false: the text is not a number; change nothing
    std::string newText; // text to show in the box ("600", "10" or as typed)
    int periodMs = 0;    // logging period, 10000..600000 when valid
};
// Clamps the interval into 10..600 seconds; values inside stay as typed,
// fractions included. The period is seconds * 1000 rounded halves to even.
StartDelay startDelay(std::string_view delayText);

} // namespace core
