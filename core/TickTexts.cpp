// SPDX-License-Identifier: GPL-3.0-or-later
#include "TickTexts.h"

#include "Number.h"
#include "Text.h"

#include <cmath>

namespace core {

namespace {
const char *const lineEnd = "\r\n";
const char *const twoTabs = "\t\t";
} // namespace

std::string logDateStamp(int year, int month, int day)
{
    return std::to_string(year) + "_" + std::to_string(month) + "_" + std::to_string(day);
}

std::string modeText(std::int16_t mode) { return mode == 1 ? "Load On" : ""; }

std::string logRecord(const Maxima &m, std::int16_t mode, int hour, int minute)
{
    std::string s;
    s += "<V>" + numberText(m.MaxVolts);
    s += "</V><I>" + numberText(m.MaxAmps);
    s += "</I><W>" + numberText(m.MaxWatts);
    s += "</W><R>" + numberText(m.MaxRPM);
    s += "</R><S>" + numberText(m.MaxWindSpeed);
    s += "</S><M>" + std::to_string(mode);
    s += "</M><T>" + timeText(hour, minute);
    s += "</T>";
    return s;
}

std::string historyLine(const Maxima &m, std::string_view wsUnits, std::string_view modeText,
                        std::string_view longTime)
{
    std::string s;
    s += numberText(m.MaxVolts) + "V" + twoTabs;
    s += numberText(m.MaxAmps) + "A" + twoTabs;
    s += numberText(m.MaxWatts) + "W" + twoTabs;
    s += numberText(m.MaxRPM) + "RPM" + twoTabs;
    s += numberText(m.MaxWindSpeed);
    s += wsUnits;
    s += twoTabs;
    s += modeText;
    s += twoTabs;
    s += longTime;
    return s;
}

std::string substituteTemplate(std::string_view templateText, const Maxima &m, double wattHours,
                               std::string_view longTime, std::string_view modeText)
{
    // One placeholder after another, as the template's author expects; none
    // of our values contains "<", so no value can form a later placeholder.
    std::string s = replaceAll(templateText, "<VV>", numberText(m.MaxVolts));
    s = replaceAll(s, "<II>", numberText(m.MaxAmps));
    s = replaceAll(s, "<WW>", numberText(m.MaxWatts));
    s = replaceAll(s, "<WH>", numberText(wattHours));
    s = replaceAll(s, "<RR>", numberText(m.MaxRPM));
    s = replaceAll(s, "<SS>", numberText(m.MaxWindSpeed));
    s = replaceAll(s, "<TT>", longTime);
    s = replaceAll(s, "<MM>", modeText);
    return s;
}

std::string substituteEnergyTotals(std::string_view page, double yesterdayWh, double lifetimeWh)
{
    const std::string s = replaceAll(page, "<WY>", numberText(roundHalfEven(yesterdayWh, 1)));
    return replaceAll(s, "<WT>", numberText(roundHalfEven(lifetimeWh / 1000, 2)));
}

std::string substitutePageExtras(std::string_view page, std::string_view wsUnits, std::string_view isoDate,
                                 double logSeconds)
{
    std::string unit = replaceAll(wsUnits, "&", "&amp;");
    unit = replaceAll(unit, "<", "&lt;");
    unit = replaceAll(unit, ">", "&gt;");
    std::string s = replaceAll(page, "<SU>", unit);
    s = replaceAll(s, "<DD>", isoDate);
    return replaceAll(s, "<LD>", std::to_string(static_cast<long long>(std::ceil(logSeconds))));
}

std::string substituteDataState(std::string_view page, DataState state, std::string_view lastLive)
{
    const std::string s = replaceAll(page, "<DS>", dataStateWord(state));
    return replaceAll(s, "<DL>", lastLive);
}

std::string lastLiveText(std::string_view pageDate, std::string_view frameDate, int hour, int minute)
{
    const std::string time = timeText(hour, minute);
    return frameDate == pageDate ? time : std::string(frameDate) + " " + time;
}

std::string spreadsheetHeader(std::string_view wsUnits)
{
    std::string s = "<html><body><table><tr><td><b>Volts</b></td><td><b>Amps</b></td>"
                    "<td><b>Watts</b></td><td><b>RPM</b></td><td><b>";
    s += wsUnits;
    s += "</b></td><td><b>Mode</b></td><td><b>Time</b></td></tr>";
    s += lineEnd;
    s += lineEnd;
    return s;
}

std::string spreadsheetRow(const Maxima &m, std::string_view modeText, std::string_view longTime)
{
    std::string s = "<tr><td>";
    s += numberText(m.MaxVolts) + "</td><td>";
    s += numberText(m.MaxAmps) + "</td><td>";
    s += numberText(m.MaxWatts) + "</td><td>";
    s += numberText(m.MaxRPM) + "</td><td>";
    s += numberText(m.MaxWindSpeed);
    s += "</td><td>";
    s += modeText;
    s += "</td><td>";
    s += longTime;
    s += "</td></tr>";
    s += lineEnd;
    s += lineEnd;
    return s;
}

StartDelay startDelay(std::string_view delayText)
{
    StartDelay d;
    d.newText = std::string(delayText);
    auto value = readNumber(d.newText);
    if (!value)
        return d;
    if (*value > 600) {
        d.newText = "600";
        value = readNumber(d.newText);
    }
    if (*value < 10) {
        d.newText = "10";
        value = readNumber(d.newText);
    }
    d.valid = true;
    d.periodMs = static_cast<int>(roundHalfEven(*value * 1000, 0));
    return d;
}

} // namespace core
