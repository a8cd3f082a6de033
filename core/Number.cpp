// SPDX-License-Identifier: GPL-3.0-or-later
#include "Number.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace core {

namespace {
char g_separator = '.';

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The value rounded to 15 significant digits: its 15 decimal digits, the
// exponent of the first digit and the sign.
struct Digits {
    bool negative = false;
    int exponent = 0;
    std::string digits;
};
Digits significantDigits(double value)
{
    char sci[64];
    std::snprintf(sci, sizeof sci, "%.14e", value);
    Digits d;
    const char *p = sci;
    if (*p == '-') {
        d.negative = true;
        ++p;
    }
    for (; *p && *p != 'e'; ++p)
        if (isDigit(*p))
            d.digits += *p;
    if (*p == 'e')
        d.exponent = std::atoi(p + 1);
    return d;
}
} // namespace

char decimalSeparator() { return g_separator; }
void setDecimalSeparator(char separator) { g_separator = separator; }

char decimalSeparatorFor(std::string_view localeSeparator)
{
    if (localeSeparator == "," || localeSeparator == ".")
        return localeSeparator[0];
    return '.';
}

namespace {
std::string numberTextWith(double value, char separator)
{
    if (!std::isfinite(value) || value == 0.0)
        return "0";
    // The doubles nearest the largest one would round up past it to a text
    // that no longer reads back; they show as the largest 15-digit value.
    constexpr double kLargestText = 1.79769313486231e308;
    if (std::fabs(value) > kLargestText)
        value = std::copysign(kLargestText, value);

    // A value that is the nearest double to a decimal of at most 15
    // significant digits (every value a log or a reading holds) rounds to
    // that decimal at 15 digits, so the decimal is its text; this spares the
    // formatting below for the thousands of values a list shows at once.
    if (std::fabs(value) < 1e15) {
        static const double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
        for (int decimals = 0; decimals < 7; ++decimals) {
            const double scaled = std::nearbyint(value * kPowers[decimals]);
            if (std::fabs(scaled) >= 1e15)
                break;
            if (scaled / kPowers[decimals] != value)
                continue;
            // The smallest such count of decimals leaves no trailing zero.
            auto n = static_cast<unsigned long long>(std::fabs(scaled));
            char buf[40];
            char *const end = buf + sizeof buf;
            char *p = end;
            int i = 0;
            do {
                if (i == decimals && decimals > 0)
                    *--p = separator;
                *--p = char('0' + n % 10);
                n /= 10;
                ++i;
            } while (n > 0 || i <= decimals);
            std::string out;
            if (value < 0)
                out += '-';
            out.append(p, end);
            return out;
        }
    }

    // Round to 15 significant digits first, so 0.1 + 0.2 shows as 0.3.
    Digits d = significantDigits(value);
    const bool negative = d.negative;
    const int exponent = d.exponent;
    std::string &digits = d.digits;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    if (digits == "0")
        return "0";

    // Place the decimal point: the first digit has weight 10^exponent.
    std::string intPart, fracPart;
    if (exponent >= 0) {
        const auto intLen = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intLen) {
            intPart = digits + std::string(intLen - digits.size(), '0');
        } else {
            intPart = digits.substr(0, intLen);
            fracPart = digits.substr(intLen);
        }
    } else {
        intPart = "0";
        fracPart = std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    std::string out;
    if (negative)
        out += '-';
    out += intPart;
    if (!fracPart.empty()) {
        out += separator;
        out += fracPart;
    }
    return out;
}
} // namespace

std::string numberText(double value) { return numberTextWith(value, g_separator); }

std::string dotNumberText(double value) { return numberTextWith(value, '.'); }

std::optional<double> readNumber(std::string_view text)
{
    std::size_t i = 0, n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    while (n > i && isBlank(text[n - 1]))
        --n;
    if (i == n)
        return std::nullopt;

    // Up to 15 digits without an exponent (every value the program writes):
    // the whole digits and a power of ten are both exact doubles, so one
    // division gives the correctly rounded value, as strtod does, but at a
    // fraction of its cost over a day's log.
    static const double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    {
        std::size_t j = i;
        const bool negative = text[j] == '-';
        if (text[j] == '+' || text[j] == '-')
            ++j;
        std::int64_t digits = 0;
        int count = 0, fraction = 0;
        bool point = false;
        for (; j < n && count <= 15; ++j) {
            const char c = text[j];
            if (isDigit(c)) {
                digits = digits * 10 + (c - '0');
                ++count;
                fraction += point ? 1 : 0;
            } else if ((c == '.' || c == ',') && !point) {
                point = true;
            } else {
                break;
            }
        }
        if (j == n && count > 0 && count <= 15) {
            const double v = double(digits) / kPowers[fraction];
            return negative ? -v : v;
        }
    }

    // Validate the shape and build a C-locale copy for strtod.
    std::string plain;
    plain.reserve(n - i);
    if (text[i] == '+' || text[i] == '-')
        plain += text[i++];
    std::size_t intDigits = 0, fracDigits = 0;
    while (i < n && isDigit(text[i])) {
        plain += text[i++];
        ++intDigits;
    }
    if (i < n && (text[i] == '.' || text[i] == ',')) {
        plain += '.';
        ++i;
        while (i < n && isDigit(text[i])) {
            plain += text[i++];
            ++fracDigits;
        }
    }
    if (intDigits + fracDigits == 0)
        return std::nullopt;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            plain += text[i++];
        std::size_t expDigits = 0;
        while (i < n && isDigit(text[i])) {
            plain += text[i++];
            ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;

    // Longer, or with an exponent.
    // strtod follows the C locale, which we never change: '.' is its point.
    const double v = std::strtod(plain.c_str(), nullptr);
    if (!std::isfinite(v))
        return std::nullopt;
    return v;
}

double roundHalfEven(double value, int decimals)
{
    if (!std::isfinite(value) || value == 0.0)
        return value;

    // Work on the 15 significant digits that the number text shows, so that
    // a value like 2.675 (stored as 2.67499999...) rounds as written: 2.68.
    const Digits d = significantDigits(value);
    const bool negative = d.negative;
    const int exponent = d.exponent;
    const std::string &digits = d.digits;

    const long kept = static_cast<long>(exponent) + 1 + decimals;
    if (kept >= static_cast<long>(digits.size()))
        return value;
    if (kept < 0)
        return negative ? -0.0 : 0.0;

    std::string head = digits.substr(0, static_cast<std::size_t>(kept));
    const std::string tail = digits.substr(static_cast<std::size_t>(kept));
    const std::string half = "5" + std::string(tail.size() - 1, '0');
    const bool lastOdd = !head.empty() && ((head.back() - '0') % 2 == 1);
    const bool up = tail > half || (tail == half && lastOdd);
    if (head.empty())
        head = "0";
    if (up) {
        int i = static_cast<int>(head.size()) - 1;
        while (i >= 0 && head[static_cast<std::size_t>(i)] == '9') {
            head[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i < 0)
            head.insert(head.begin(), '1');
        else
            ++head[static_cast<std::size_t>(i)];
    }
    const std::string text = (negative ? "-" : "") + head + "e" + std::to_string(-decimals);
    return std::strtod(text.c_str(), nullptr);
}

std::string roundedText(double value, int decimals) { return dotNumberText(roundHalfEven(value, decimals)); }

std::string roundedText(const std::optional<double> &value, int decimals)
{
    return value ? roundedText(*value, decimals) : std::string();
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

std::optional<std::int16_t> toInt16(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = roundHalfEven(value, 0);
    if (r < std::numeric_limits<std::int16_t>::min() || r > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(r);
}

std::optional<std::int16_t> readInt16(std::string_view text)
{
    const auto v = readNumber(text);
    if (!v)
        return std::nullopt;
    return toInt16(*v);
}

bool isOn(std::string_view setting)
{
    const auto v = readNumber(setting);
    return v && *v == 1.0;
}

std::string timeText(int hour, int minute)
{
    // A list shows one per record: no printf for the common two-digit case.
    if (hour >= 0 && hour < 100 && minute >= 0 && minute < 100)
        return {char('0' + hour / 10), char('0' + hour % 10), ':', char('0' + minute / 10),
                char('0' + minute % 10)};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d", hour, minute);
    return buf;
}

} // namespace core
