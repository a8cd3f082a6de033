// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogLine.h"

#include "Number.h"
#include "TagValue.h"
#include "Text.h"

#include <cmath>

namespace core {

namespace {

// Digits only after trimming, at most `maxDigits` of them.
std::optional<int> readDigits(std::string_view s, std::size_t maxDigits)
{
    s = trimBlanks(s);
    if (s.empty() || s.size() > maxDigits)
        return std::nullopt;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

double dayFraction(int h, int m, int s) { return (h * 3600 + m * 60 + s) / 86400.0; }

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

} // namespace

std::optional<double> readClockTime(std::string_view hours, std::string_view minutes)
{
    const auto h = readDigits(hours, 2);
    const auto m = readDigits(minutes, 2);
    if (!h || !m || *h > 23 || *m > 59)
        return std::nullopt;
    return dayFraction(*h, *m, 0);
}

std::optional<CalendarDate> readCalendarDate(std::string_view day, std::string_view month, std::string_view year)
{
    // Leading zeros are allowed ("03"), so allow a few more digits than needed
    // but never enough to overflow.
    const auto d = readDigits(day, 8);
    const auto m = readDigits(month, 8);
    const auto y = readDigits(year, 8);
    if (!d || !m || !y || *y < 1 || *y > 9999 || *m < 1 || *m > 12 || *d < 1)
        return std::nullopt;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int last = kDays[*m - 1] + (*m == 2 && isLeap(*y) ? 1 : 0);
    if (*d > last)
        return std::nullopt;
    return CalendarDate{*y, *m, *d};
}

std::optional<double> readLogTime(std::string_view text)
{
    text = trimBlanks(text);
    const auto c1 = text.find(':');
    if (c1 == std::string_view::npos)
        return std::nullopt;
    const std::string_view hours = text.substr(0, c1);
    std::string_view rest = text.substr(c1 + 1);
    std::string_view minutes = rest, seconds;
    const auto c2 = rest.find(':');
    if (c2 != std::string_view::npos) {
        minutes = rest.substr(0, c2);
        seconds = rest.substr(c2 + 1);
    }
    // Blanks only around the whole text, not inside it.
    auto digits = [](std::string_view s) -> std::optional<int> {
        if (s.empty() || s.front() == ' ' || s.back() == ' ')
            return std::nullopt;
        return readDigits(s, 2);
    };
    const auto h = digits(hours), m = digits(minutes);
    std::optional<int> s = 0;
    if (c2 != std::string_view::npos)
        s = digits(seconds);
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59)
        return std::nullopt;
    return dayFraction(*h, *m, *s);
}

std::string dayTimeText(double dayTime)
{
    if (!std::isfinite(dayTime))
        dayTime = 0;
    long long secs = std::llround(dayTime * 86400.0);
    secs %= 86400;
    if (secs < 0)
        secs += 86400;
    return timeText(int(secs / 3600), int(secs / 60 % 60));
}

std::optional<double> LogLineReader::lineTime(std::string_view line)
{
    const auto field = between(line, "<T>", "</T>");
    if (!field)
        return std::nullopt;
    return readLogTime(*field);
}

LogRecord LogLineReader::fields(std::string_view line, double time)
{
    auto number = [&](std::string_view open, std::string_view close) {
        const auto field = between(line, open, close);
        if (!field)
            return 0.0;
        return readNumber(*field).value_or(0.0);
    };
    LogRecord r;
    r.T = time;
    r.V = number("<V>", "</V>");
    r.I = number("<I>", "</I>");
    r.R = number("<R>", "</R>");
    r.W = number("<W>", "</W>");
    r.S = number("<S>", "</S>");
    if (const auto mode = between(line, "<M>", "</M>")) {
        m_mode.assign(mode->data(), mode->size());
        m_hasMode = true;
    }
    r.M = m_hasMode ? readInt16(m_mode).value_or(std::int16_t(0)) : std::int16_t(0);
    return r;
}

DayRecords chooseRecords(std::string_view logText, double start, double finish, std::size_t limit)
{
    DayRecords chosen;
    LogLineReader reader;
    // Log lines end in CR LF; a lone CR or LF belongs to its line.
    for (const std::string_view line : split(logText, "\r\n")) {
        const auto t = LogLineReader::lineTime(line);
        if (!t || !(start <= *t && *t <= finish))
            continue;
        if (chosen.records.size() == limit) {
            chosen.overLimit = true;
            break;
        }
        chosen.records.push_back(reader.fields(line, *t));
    }
    return chosen;
}

} // namespace core
