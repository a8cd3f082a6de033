// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogLine.h"

#include "Number.h"
#include "TagValue.h"
#include "Text.h"

#include <cmath>
#include <cstring>

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

} // namespace

// The first "<X>" and "</X>" of each field of a log line, found in one pass
// (a day's log is thousands of lines of fourteen tags each). A field is what
// lies between them, as between() takes it: both present and the closing tag
// after the opening one.
class LineTags {
public:
    static constexpr const char kNames[] = "TVIRWSM";
    explicit LineTags(std::string_view line) : m_line(line)
    {
        const char *const text = line.data();
        const std::size_t n = line.size();
        std::size_t missing = 14;
        for (const char *p = static_cast<const char *>(std::memchr(text, '<', n)); p && missing;
             p = static_cast<const char *>(std::memchr(p + 1, '<', n - std::size_t(p + 1 - text)))) {
            const std::size_t at = std::size_t(p - text), left = n - at;
            const bool closing = left >= 4 && p[1] == '/';
            const char name = closing ? p[2] : (left >= 3 ? p[1] : 0);
            if (!name || p[closing ? 3 : 2] != '>')
                continue;
            const char *which = std::strchr(kNames, name);
            if (!which || !*which)
                continue;
            std::size_t &slot = (closing ? m_close : m_open)[which - kNames];
            if (slot == std::string_view::npos) {
                slot = at;
                --missing;
            }
        }
    }
    // Field `index` of kNames.
    std::optional<std::string_view> field(int index) const
    {
        const std::size_t a = m_open[index], b = m_close[index];
        if (a == std::string_view::npos || b == std::string_view::npos || b < a + 3)
            return std::nullopt;
        return m_line.substr(a + 3, b - a - 3);
    }

private:
    std::string_view m_line;
    std::size_t m_open[7] = {npos, npos, npos, npos, npos, npos, npos};
    std::size_t m_close[7] = {npos, npos, npos, npos, npos, npos, npos};
    static constexpr std::size_t npos = std::string_view::npos;
};

namespace {
enum Field { kT, kV, kI, kR, kW, kS, kM };

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
    const auto field = LineTags(line).field(kT);
    if (!field)
        return std::nullopt;
    return readLogTime(*field);
}

LogRecord LogLineReader::fields(std::string_view line, double time) { return fields(LineTags(line), time); }

LogRecord LogLineReader::fields(const LineTags &tags, double time)
{
    auto number = [&](Field f) {
        const auto field = tags.field(f);
        if (!field)
            return 0.0;
        return readNumber(*field).value_or(0.0);
    };
    LogRecord r;
    r.T = time;
    r.V = number(kV);
    r.I = number(kI);
    r.R = number(kR);
    r.W = number(kW);
    r.S = number(kS);
    if (const auto mode = tags.field(kM)) {
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
        const LineTags tags(line);
        const auto field = tags.field(kT);
        const auto t = field ? readLogTime(*field) : std::nullopt;
        if (!t || !(start <= *t && *t <= finish))
            continue;
        if (chosen.records.size() == limit) {
            chosen.overLimit = true;
            break;
        }
        chosen.records.push_back(reader.fields(tags, *t));
    }
    return chosen;
}

} // namespace core
