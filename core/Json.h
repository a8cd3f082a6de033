// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// JSON out and in.
//
// Out: a writer that appends to one text as it goes, with no document tree
// (a year of rows is a few hundred thousand numbers), and with our number
// text: "." whatever the locale, at most six decimals, no exponent, no "-0",
// and null for a value that is not finite. Strings escape '"', '\\' and the
// control bytes, and a byte that is not UTF-8 becomes U+FFFD, so an answer
// is always JSON whatever text went in.
//
// In: the JSON library's parser, which here never throws: a text that is not
// JSON, or nests deeper than kMaxDepth, gives nullopt and says where.

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace core {

class JsonWriter {
public:
    // "{" and "[", and the "}" or "]" of the innermost one open.
    JsonWriter &object();
    JsonWriter &array();
    JsonWriter &end(char close);
    JsonWriter &endObject() { return end('}'); }
    JsonWriter &endArray() { return end(']'); }
    // A member's name; its value follows.
    JsonWriter &key(std::string_view name);

    JsonWriter &text(std::string_view value);
    JsonWriter &number(double value);
    JsonWriter &number(const std::optional<double> &value) { return value ? number(*value) : null(); }
    JsonWriter &whole(long long value);
    JsonWriter &truth(bool value);
    JsonWriter &null();
    // A text already JSON (one of ours, such as a cached piece).
    JsonWriter &raw(std::string_view json);

    void reserve(size_t bytes) { m_out.reserve(bytes); }
    const std::string &str() const { return m_out; }
    std::string take() { return std::move(m_out); }

private:
    void separate();
    std::string m_out;
    bool m_comma = false; // a value stands before: the next one needs a ","
};

// One value's text, as the writer writes it.
std::string jsonString(std::string_view text);
std::string jsonNumber(double value);

inline constexpr int kMaxJsonDepth = 64;

// The document `text` holds, or nullopt with what is wrong in `error`.
std::optional<nlohmann::json> readJson(std::string_view text, std::string *error = nullptr);

} // namespace core
