#pragma once
// Small helpers on byte texts that several readers and writers share.

#include <string>
#include <string_view>

namespace core {

// `text` without the characters of `blanks` (spaces by default) at either end.
std::string_view trimBlanks(std::string_view text, std::string_view blanks = " ");

// Replaces every occurrence of `find` in `text`, scanning left to right from
// the first character; text put in is not scanned again for `find`. An empty
// `find` changes nothing.
std::string replaceAll(std::string_view text, std::string_view find, std::string_view with);

} // namespace core
