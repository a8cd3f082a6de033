#include "Text.h"

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

} // namespace core
