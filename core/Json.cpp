// SPDX-License-Identifier: GPL-3.0-or-later
#include "Json.h"

#include "Number.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace core {

namespace {
// The length of the UTF-8 sequence at the start of `s` (1 to 4), or 0 when
// it is not one: overlong forms, surrogates and code points past U+10FFFF
// are not.
size_t utf8Length(std::string_view s)
{
    const auto b = [&s](size_t i) { return static_cast<unsigned char>(s[i]); };
    const auto follows = [&](size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    const unsigned char c = b(0);
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return follows(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!follows(1) || !follows(2) || (c == 0xE0 && b(1) < 0xA0) || (c == 0xED && b(1) > 0x9F))
            return 0;
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!follows(1) || !follows(2) || !follows(3) || (c == 0xF0 && b(1) < 0x90) || (c == 0xF4 && b(1) > 0x8F))
            return 0;
        return 4;
    }
    return 0;
}

void addString(std::string &out, std::string_view text)
{
    out += '"';
    while (!text.empty()) {
        // Plain ASCII goes as it is, in one piece.
        size_t plain = 0;
        while (plain < text.size()) {
            const auto u = static_cast<unsigned char>(text[plain]);
            if (u < 0x20 || u >= 0x7f || u == '"' || u == '\\')
                break;
            ++plain;
        }
        out.append(text.data(), plain);
        text.remove_prefix(plain);
        if (text.empty())
            break;
        const char c = text.front();
        const auto u = static_cast<unsigned char>(c);
        const size_t n = utf8Length(text);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7f) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", unsigned(u));
            out += esc;
        } else if (n == 0) {
            out += "\\ufffd";
        } else {
            out.append(text.data(), n);
        }
        text.remove_prefix(n ? n : 1);
    }
    out += '"';
}

void addNumber(std::string &out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    // Millionths are more than any quantity here holds; to_chars writes the
    // shortest text that reads back, many times faster than the number-text
    // helper, which matters for a year of rows.
    if (std::fabs(value) >= 1e9) {
        out += dotNumberText(value);
        return;
    }
    // Below 1e9 the millionths are at most 15 digits, which a double holds
    // exactly: the text of the whole count of millionths, its trailing zeros
    // dropped, is the shortest text of the rounded value, made in a fraction
    // of the time.
    const long long micro = std::llround(value * 1e6);
    char text[32];
    char *p = text;
    if (micro < 0)
        *p++ = '-';
    const unsigned long long m = micro < 0 ? 0ULL - static_cast<unsigned long long>(micro) : micro;
    p = std::to_chars(p, text + sizeof text, m / 1000000).ptr;
    if (unsigned long long frac = m % 1000000) {
        *p++ = '.';
        int digits = 6;
        while (frac % 10 == 0) {
            frac /= 10;
            --digits;
        }
        for (int i = digits - 1; i >= 0; --i, frac /= 10)
            p[i] = char('0' + frac % 10);
        p += digits;
    }
    out.append(text, p);
}

// The library's own tree builder, with a limit on depth (its parser keeps
// its own stack, but a client's "[[[[…" should not cost us a tree of them)
// and the place of the first fault kept.
class Builder : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit Builder(nlohmann::json &into) : m_dom(into, false) { }
    bool null() override { return m_dom.null(); }
    bool boolean(bool v) override { return m_dom.boolean(v); }
    bool number_integer(number_integer_t v) override { return m_dom.number_integer(v); }
    bool number_unsigned(number_unsigned_t v) override { return m_dom.number_unsigned(v); }
    bool number_float(number_float_t v, const string_t &s) override { return m_dom.number_float(v, s); }
    bool string(string_t &v) override { return m_dom.string(v); }
    bool binary(binary_t &v) override { return m_dom.binary(v); }
    bool start_object(std::size_t n) override { return deeper() && m_dom.start_object(n); }
    bool key(string_t &v) override { return m_dom.key(v); }
    bool end_object() override { return --m_depth, m_dom.end_object(); }
    bool start_array(std::size_t n) override { return deeper() && m_dom.start_array(n); }
    bool end_array() override { return --m_depth, m_dom.end_array(); }
    bool parse_error(std::size_t at, const std::string &, const nlohmann::detail::exception &) override
    {
        m_problem = "it is not JSON (at byte " + std::to_string(at) + ")";
        return false;
    }
    const std::string &problem() const { return m_problem; }

private:
    bool deeper()
    {
        if (++m_depth <= kMaxJsonDepth)
            return true;
        m_problem = "it nests deeper than " + std::to_string(kMaxJsonDepth) + " levels";
        return false;
    }
    nlohmann::detail::json_sax_dom_parser<nlohmann::json> m_dom;
    int m_depth = 0;
    std::string m_problem;
};
} // namespace

void JsonWriter::separate()
{
    if (m_comma)
        m_out += ',';
    m_comma = true;
}

JsonWriter &JsonWriter::object()
{
    separate();
    m_out += '{';
    m_comma = false;
    return *this;
}

JsonWriter &JsonWriter::array()
{
    separate();
    m_out += '[';
    m_comma = false;
    return *this;
}

JsonWriter &JsonWriter::end(char close)
{
    m_out += close;
    m_comma = true;
    return *this;
}

JsonWriter &JsonWriter::key(std::string_view name)
{
    separate();
    addString(m_out, name);
    m_out += ':';
    m_comma = false;
    return *this;
}

JsonWriter &JsonWriter::text(std::string_view value)
{
    separate();
    addString(m_out, value);
    return *this;
}

JsonWriter &JsonWriter::number(double value)
{
    separate();
    addNumber(m_out, value);
    return *this;
}

JsonWriter &JsonWriter::whole(long long value)
{
    separate();
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value);
    m_out.append(text, end.ptr);
    return *this;
}

JsonWriter &JsonWriter::truth(bool value)
{
    separate();
    m_out += value ? "true" : "false";
    return *this;
}

JsonWriter &JsonWriter::null()
{
    separate();
    m_out += "null";
    return *this;
}

JsonWriter &JsonWriter::raw(std::string_view json)
{
    separate();
    m_out += json;
    return *this;
}

std::string jsonString(std::string_view text)
{
    std::string out;
    addString(out, text);
    return out;
}

std::string jsonNumber(double value)
{
    std::string out;
    addNumber(out, value);
    return out;
}

std::optional<nlohmann::json> readJson(std::string_view text, std::string *error)
{
    nlohmann::json document;
    Builder builder(document);
    // Strict: one value and nothing after it; no comments.
    if (!nlohmann::json::sax_parse(text.begin(), text.end(), &builder, nlohmann::json::input_format_t::json, true,
                                   false)
        || document.is_discarded()) {
        if (error)
            *error = builder.problem().empty() ? std::string("it is not JSON") : builder.problem();
        return std::nullopt;
    }
    return document;
}

} // namespace core
