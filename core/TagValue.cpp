#include "TagValue.h"

namespace core {

std::optional<std::string_view> between(std::string_view text, std::string_view open,
                                        std::string_view close)
{
    const auto a = text.find(open);
    const auto b = text.find(close);
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

} // namespace core
