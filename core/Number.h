// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Number text, number reading and rounding: the one way numbers reach the
// screen and the files, and the one way they are read back.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// The decimal separator numbers are written with: that of the user's regional
// settings. main() sets it once from the system locale; tests set it and put
// it back.
char decimalSeparator();
void setDecimalSeparator(char separator);

// The separator to write for a locale whose decimal separator is the UTF-8
// text `localeSeparator`: the locale's own when it is "." or ",", else "."
// (a separator such as the Arabic U+066B is no single byte of the files, and
// none other would read back under every locale).
char decimalSeparatorFor(std::string_view localeSeparator);

// Shortest plain decimal form: at most 15 significant digits, no exponent, no
// trailing zeros, no separator for whole values, "0" for zero (and -0), a "-"
// for negative values. Infinity and NaN never reach here from our own code;
// they give "0" so that nothing unreadable is ever written.
std::string numberText(double value);

// The same text with "." whatever the locale: for files and messages that
// other programs read (comma-separated files, published values).
std::string dotNumberText(double value);

// Strict reading: optional blanks, optional sign, digits with an optional
// decimal separator (either side may be empty, not both), optional exponent,
// optional blanks. The separator is "." or ",", whatever the locale, so files
// written under one locale read the same under any other; as only one may
// stand, no group separator is ever taken for one ("1,000.5" is refused).
// "inf", "nan" and hexadecimal are not numbers. Returns nullopt for anything
// else, including values that overflow.
std::optional<double> readNumber(std::string_view text);

// Round to the given number of decimals, halves to even (classic BASIC rounding).
double roundHalfEven(double value, int decimals = 0);
// dotNumberText of the value so rounded; of none, "" (an empty CSV field).
std::string roundedText(double value, int decimals);
std::string roundedText(const std::optional<double> &value, int decimals);

// a / b rounded towards minus infinity (b not 0): -1 / 60 is -1, not 0.
std::int64_t floorDiv(std::int64_t a, std::int64_t b);

// Round to a 16-bit integer, halves to even; nullopt when the result does not
// fit (or the value is not finite). Never wraps.
std::optional<std::int16_t> toInt16(double value);

// A number text read and rounded to 16 bits; nullopt when either step fails.
std::optional<std::int16_t> readInt16(std::string_view text);

// A setting compared with 1 as a number: "1", " 1", "1.0" are on; anything
// else, including text that is not a number, is off.
bool isOn(std::string_view setting);

// Two-digit hour of the 24-hour clock, ":", two-digit minutes ("09:05").
std::string timeText(int hour, int minute);

} // namespace core
