// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small helpers on byte texts that several readers and writers share.

#include <string>
#include <string_view>
#include <vector>

namespace core {

// `text` without the characters of `blanks` (spaces by default) at either end.
std::string_view trimBlanks(std::string_view text, std::string_view blanks = " ");

// Replaces every occurrence of `find` in `text`, scanning left to right from
// the first character; text put in is not scanned again for `find`. An empty
// `find` changes nothing.
std::string replaceAll(std::string_view text, std::string_view find, std::string_view with);

// The pieces of `text` between the `separator`s, one more than there are
// separators: "" is one empty piece, "a," is "a" and "". A non-empty
// `separator` is expected.
std::vector<std::string_view> split(std::string_view text, std::string_view separator);

// The lines of `text`, each ended by "\n" or "\r\n" (without it); a last
// line without an end is a line too, and there is none after the last end.
std::vector<std::string_view> splitLines(std::string_view text);

// `text` with the ASCII capitals made small (other bytes as they are).
std::string lowered(std::string_view text);

// Base64 (RFC 4648, with "=" padding) of the bytes.
std::string base64(std::string_view bytes);

// A month's key (yyyymm) as "2026-03".
std::string monthText(int key);

} // namespace core
