// SPDX-License-Identifier: GPL-3.0-or-later
// Number reading and number text: readNumber on any text (with "." and ","
// as the separator), the readers built on it, and numberText, roundHalfEven
// and toInt16 on any double, NaN and infinity included.
// Input: a text; its first 8 bytes are also taken as a double and the 9th as
// a count of decimals.
#include "FuzzSupport.h"

#include "core/Number.h"
#include "core/TickTexts.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The accepted shape, written out on its own: blanks, sign, digits with an
// optional separator, "." or "," whatever the locale (digits on at least one
// side), optional exponent with digits, blanks. Returns the C-locale copy, or
// nothing when the shape is wrong.
std::optional<std::string> plainShape(std::string_view t)
{
    while (!t.empty() && isBlank(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && isBlank(t.back()))
        t.remove_suffix(1);
    std::string plain;
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        plain += t[i++];
    std::size_t digits = 0;
    for (; i < t.size() && fuzz::isDigit(t[i]); ++i, ++digits)
        plain += t[i];
    if (i < t.size() && (t[i] == '.' || t[i] == ',')) {
        plain += '.';
        for (++i; i < t.size() && fuzz::isDigit(t[i]); ++i, ++digits)
            plain += t[i];
    }
    if (digits == 0)
        return std::nullopt;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            plain += t[i++];
        std::size_t exp = 0;
        for (; i < t.size() && fuzz::isDigit(t[i]); ++i, ++exp)
            plain += t[i];
        if (exp == 0)
            return std::nullopt;
    }
    if (i != t.size())
        return std::nullopt;
    return plain;
}

void checkText(double v, char sep)
{
    const std::string t = core::numberText(v);
    FUZZ_CHECK(fuzz::isNumberText(t, sep));
    if (!std::isfinite(v)) {
        FUZZ_CHECK(t == "0");
        return;
    }
    // The text reads back to the value within its 15 significant digits.
    const auto back = core::readNumber(t);
    FUZZ_CHECK(back);
    FUZZ_CHECK(std::fabs(*back - v) <= 1e-14 * std::fabs(v));
}

void checkRounding(double v, int decimals)
{
    const double r = core::roundHalfEven(v, decimals);
    if (std::isnan(v)) {
        FUZZ_CHECK(std::isnan(r));
        return;
    }
    if (std::isinf(v)) {
        FUZZ_CHECK(r == v);
        return;
    }
    if (decimals >= 0)
        FUZZ_CHECK(std::isfinite(r));
    if (std::isfinite(r)) {
        // Within half a unit of the last kept decimal (plus the 15-digit step).
        const double unit = std::pow(10.0, -decimals);
        FUZZ_CHECK(std::fabs(r - v) <= 0.5 * unit * (1 + 1e-12) + 1e-14 * std::fabs(v));
        // Rounding a rounded value changes nothing.
        FUZZ_CHECK(core::roundHalfEven(r, decimals) == r);
    }

    const auto i = core::toInt16(v);
    if (i)
        FUZZ_CHECK(std::fabs(double(*i) - v) <= 0.5 + 1e-9);
    else
        FUZZ_CHECK(!(std::fabs(v) < 32767.0));
}

void checkReading(std::string_view text, char sep)
{
    core::setDecimalSeparator(sep);
    const auto v = core::readNumber(text);
    const auto shape = plainShape(text);
    if (v) {
        FUZZ_CHECK(shape);
        FUZZ_CHECK(std::isfinite(*v));
        FUZZ_CHECK(*v == std::strtod(shape->c_str(), nullptr));
        checkText(*v, sep);
        checkRounding(*v, 2);
        FUZZ_CHECK(core::isOn(text) == (*v == 1.0));
    } else {
        // Only a number too large for a double is refused in the right shape.
        FUZZ_CHECK(!shape || std::isinf(std::strtod(shape->c_str(), nullptr)));
        FUZZ_CHECK(!core::isOn(text));
        FUZZ_CHECK(!core::readInt16(text));
    }

    // The logging interval box.
    const core::StartDelay d = core::startDelay(text);
    FUZZ_CHECK(d.valid == bool(v));
    if (d.valid) {
        FUZZ_CHECK(d.periodMs >= 10000 && d.periodMs <= 600000);
        const auto shown = core::readNumber(d.newText);
        FUZZ_CHECK(shown && *shown >= 10 && *shown <= 600);
    } else {
        FUZZ_CHECK(d.newText == text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text = fuzz::asText(data, size);
    checkReading(text, ',');
    checkReading(text, '.');

    if (size >= 8) {
        double v;
        std::memcpy(&v, data, sizeof v);
        const int decimals = size > 8 ? int(static_cast<std::int8_t>(data[8])) : 2;
        core::setDecimalSeparator(',');
        checkText(v, ',');
        core::setDecimalSeparator('.');
        checkText(v, '.');
        checkRounding(v, decimals);
        checkRounding(v, 0);
    }
    return 0;
}
