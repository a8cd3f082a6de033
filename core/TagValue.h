// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tagged text: "<K>value</K>" pieces found by the first occurrence of each tag.

#include <optional>
#include <string>
#include <string_view>

namespace core {

// The text strictly between the first `open` and the first `close` in `text`.
// nullopt when either tag is missing or the first `close` does not stand after
// the first `open` (never a slice of unrelated text, never a negative length).
std::optional<std::string_view> between(std::string_view text, std::string_view open, std::string_view close);

// One line of a settings file: "<K>value</K>" and CR LF.
std::string tagLine(std::string_view key, std::string_view value);

// The value of key K in a settings file text: between "<K>" and "</K>".
std::optional<std::string> tagValue(std::string_view text, std::string_view key);

// Our own settings files that may hold any text (a password, a topic) write
// "&", "<" and ">" as entities, so that every text reads back as it was.
void putTag(std::string &out, std::string_view key, std::string_view value);
// "1" or "0".
void putFlag(std::string &out, std::string_view key, bool value);
// Each leaves `value` as it was when the tag is missing.
void takeTag(std::string_view text, std::string_view key, std::string &value);
void takeTag(std::string_view text, std::string_view key, bool &value);

} // namespace core
