// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a daily log back: the file split into lines, each line's time and
// fields, and the date and time entries of the graph window.
// Input: a log file text; its first 8 bytes are also taken as a time of day.
#include "FuzzSupport.h"

#include "core/LogLine.h"
#include "core/Text.h"

#include <cmath>
#include <cstring>
#include <string>

namespace {

// "hh:mm" with hours 00..23 and minutes 00..59.
void checkTimeText(const std::string &t)
{
    FUZZ_CHECK(t.size() == 5 && t[2] == ':');
    FUZZ_CHECK(fuzz::isDigit(t[0]) && fuzz::isDigit(t[1]) && fuzz::isDigit(t[3]) && fuzz::isDigit(t[4]));
    FUZZ_CHECK((t[0] - '0') * 10 + (t[1] - '0') <= 23);
    FUZZ_CHECK(t[3] <= '5');
}

bool digitsAndBlanks(std::string_view s)
{
    for (char c : s)
        if (!fuzz::isDigit(c) && c != ' ')
            return false;
    return true;
}

// Day, month and year as the graph window's entries: a line cut at its first
// two "/". A date that passes becomes part of a file name.
void checkDate(std::string_view line)
{
    const auto s1 = line.find('/');
    if (s1 == std::string_view::npos)
        return;
    const auto s2 = line.find('/', s1 + 1);
    if (s2 == std::string_view::npos)
        return;
    const auto day = line.substr(0, s1), month = line.substr(s1 + 1, s2 - s1 - 1), year = line.substr(s2 + 1);
    if (core::readCalendarDate(day, month, year)) {
        FUZZ_CHECK(digitsAndBlanks(day) && digitsAndBlanks(month) && digitsAndBlanks(year));
        FUZZ_CHECK(!day.empty() && !month.empty() && !year.empty());
    }
}

// Hour and minute entries: a line cut at its first ":".
void checkClock(std::string_view line)
{
    const auto c = line.find(':');
    if (c == std::string_view::npos)
        return;
    const auto hours = line.substr(0, c), minutes = line.substr(c + 1);
    if (const auto t = core::readClockTime(hours, minutes)) {
        FUZZ_CHECK(*t >= 0 && *t < 1);
        FUZZ_CHECK(digitsAndBlanks(hours) && digitsAndBlanks(minutes));
        // Whole minutes: the text shows it exactly.
        FUZZ_CHECK(core::readLogTime(core::dayTimeText(*t)) == *t);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text = fuzz::asText(data, size);
    const auto lines = core::split(text, "\r\n");

    // The lines and their CR LF make up the text again, in place.
    FUZZ_CHECK(!lines.empty());
    std::size_t at = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(lines[i].data() == text.data() + at);
        FUZZ_CHECK(lines[i].find("\r\n") == std::string_view::npos);
        at += lines[i].size();
        if (i + 1 < lines.size()) {
            FUZZ_CHECK(text.substr(at, 2) == "\r\n");
            at += 2;
        }
    }
    FUZZ_CHECK(at == text.size());

    core::LogLineReader reader;
    for (const auto line : lines) {
        checkDate(line);
        checkClock(line);
        const auto time = core::LogLineReader::lineTime(line);
        if (!time)
            continue;
        FUZZ_CHECK(*time >= 0 && *time < 1);
        checkTimeText(core::dayTimeText(*time));
        // The text drops the seconds, never more.
        const auto shown = core::readLogTime(core::dayTimeText(*time));
        FUZZ_CHECK(shown && *shown <= *time && *time - *shown < 1.0 / 1440);
        const core::LogRecord r = reader.fields(line, *time);
        FUZZ_CHECK(r.T == *time);
        for (double v : {r.V, r.I, r.W, r.R, r.S})
            FUZZ_CHECK(std::isfinite(v));
    }

    if (size >= 8) {
        double t;
        std::memcpy(&t, data, sizeof t);
        checkTimeText(core::dayTimeText(t));
    }
    return 0;
}
