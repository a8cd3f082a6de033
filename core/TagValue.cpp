// SPDX-License-Identifier: GPL-3.0-or-later
#include "TagValue.h"

#include "Number.h"
#include "Text.h"

namespace core {

namespace {
// string_view::find for the short tags of a log line: the same first
// occurrence, without a library call for every "<" on the way (a day's log is
// thousands of lines of fourteen tags each).
std::size_t findTag(std::string_view text, std::string_view tag)
{
    if (tag.empty() || tag.size() > text.size())
        return tag.empty() ? 0 : std::string_view::npos;
    const std::size_t last = text.size() - tag.size();
    for (std::size_t p = 0; p <= last; ++p) {
        if (text[p] != tag[0])
            continue;
        std::size_t k = 1;
        while (k < tag.size() && text[p + k] == tag[k])
            ++k;
        if (k == tag.size())
            return p;
    }
    return std::string_view::npos;
}
} // namespace

std::optional<std::string_view> between(std::string_view text, std::string_view open, std::string_view close)
{
    const auto a = findTag(text, open);
    const auto b = findTag(text, close);
    if (a == std::string_view::npos || b == std::string_view::npos)
        return std::nullopt;
    // The closing tag must start after the opening one; with tags such as
    // "<V>" and "</V>" this also means it cannot overlap it.
    if (b <= a || b < a + open.size())
        return std::nullopt;
    return text.substr(a + open.size(), b - a - open.size());
}

std::optional<std::string> tagValue(std::string_view text, std::string_view key)
{
    const std::string open = "<" + std::string(key) + ">";
    const std::string close = "</" + std::string(key) + ">";
    const auto v = between(text, open, close);
    if (!v)
        return std::nullopt;
    return std::string(*v);
}

std::string tagLine(std::string_view key, std::string_view value)
{
    std::string line;
    line.reserve(2 * key.size() + value.size() + 7);
    line.append("<").append(key).append(">").append(value).append("</").append(key).append(">\r\n");
    return line;
}

namespace {
std::string escaped(std::string_view text)
{
    std::string s = replaceAll(text, "&", "&amp;");
    s = replaceAll(s, "<", "&lt;");
    return replaceAll(s, ">", "&gt;");
}

std::string unescaped(std::string_view text)
{
    std::string s = replaceAll(text, "&lt;", "<");
    s = replaceAll(s, "&gt;", ">");
    return replaceAll(s, "&amp;", "&");
}
} // namespace

void putTag(std::string &out, std::string_view key, std::string_view value) { out += tagLine(key, escaped(value)); }

void putFlag(std::string &out, std::string_view key, bool value) { out += tagLine(key, value ? "1" : "0"); }

void takeTag(std::string_view text, std::string_view key, std::string &value)
{
    if (const auto v = tagValue(text, key))
        value = unescaped(*v);
}

void takeTag(std::string_view text, std::string_view key, bool &value)
{
    if (const auto v = tagValue(text, key))
        value = isOn(*v);
}

} // namespace core
