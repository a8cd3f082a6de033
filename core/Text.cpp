// SPDX-License-Identifier: GPL-3.0-or-later
#include "Text.h"

#include <cstdio>

namespace core {

std::string_view trimBlanks(std::string_view text, std::string_view blanks)
{
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string replaceAll(std::string_view text, std::string_view find, std::string_view with)
{
    if (find.empty())
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(find, from);
        if (at == std::string_view::npos)
            break;
        out.append(text.substr(from, at - from));
        out.append(with);
        from = at + find.size();
    }
    out.append(text.substr(from));
    return out;
}

std::vector<std::string_view> split(std::string_view text, std::string_view separator)
{
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
}

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c + ('a' - 'A'));
    return out;
}

std::string monthText(int key)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d", key / 100, key % 100);
    return text;
}

std::string base64(std::string_view in)
{
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v = unsigned(static_cast<unsigned char>(in[i])) << 16
                           | unsigned(static_cast<unsigned char>(in[i + 1])) << 8
                           | static_cast<unsigned char>(in[i + 2]);
        for (int k = 18; k >= 0; k -= 6)
            out += table[(v >> k) & 63];
    }
    if (i < in.size()) {
        unsigned v = unsigned(static_cast<unsigned char>(in[i])) << 16;
        if (i + 1 < in.size())
            v |= unsigned(static_cast<unsigned char>(in[i + 1])) << 8;
        out += table[(v >> 18) & 63];
        out += table[(v >> 12) & 63];
        out += i + 1 < in.size() ? table[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

} // namespace core
