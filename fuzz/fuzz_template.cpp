// SPDX-License-Identifier: GPL-3.0-or-later
// The live page: a user-written template with its placeholders replaced, and
// replaceAll on its own.
// Input: the template text. The values are ones the program can produce,
// picked by the input so that short and very long number texts both occur.
#include "FuzzSupport.h"

#include "core/Number.h"
#include "core/Text.h"
#include "core/TickTexts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace {

const double kNumbers[] = {0,
                           13.45,
                           -2.1,
                           312,
                           std::numeric_limits<double>::max(),
                           -std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::denorm_min(),
                           123456789012345,
                           std::numeric_limits<double>::quiet_NaN()};
const char *const kTimes[] = {"14:05:00", "2:05:00 PM", "09:00", ""};
const char *const kModes[] = {"Load On", ""};
const char *const kPlaceholders[] = {"<VV>", "<II>", "<WW>", "<WH>", "<RR>", "<SS>", "<TT>", "<MM>"};

std::size_t count(std::string_view text, std::string_view find)
{
    std::size_t n = 0;
    for (auto at = text.find(find); at != std::string_view::npos; at = text.find(find, at + find.size()))
        ++n;
    return n;
}

void checkReplaceAll(std::string_view text, std::string_view find, std::string_view with)
{
    const std::string out = core::replaceAll(text, find, with);
    if (find.empty() || find == with) {
        FUZZ_CHECK(out == text);
        return;
    }
    const std::size_t n = count(text, find);
    FUZZ_CHECK(out.size() == text.size() - n * find.size() + n * with.size());
    if (n == 0)
        FUZZ_CHECK(out == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text = fuzz::asText(data, size);
    std::uint64_t pick = size;
    for (std::size_t i = 0; i < size && i < 16; ++i)
        pick = pick * 131 + data[i];
    auto next = [&pick](std::size_t n) {
        pick = pick * 6364136223846793005ull + 1442695040888963407ull;
        return std::size_t(pick >> 33) % n;
    };

    core::Maxima m;
    m.MaxVolts = kNumbers[next(std::size(kNumbers))];
    m.MaxAmps = kNumbers[next(std::size(kNumbers))];
    m.MaxWatts = kNumbers[next(std::size(kNumbers))];
    m.MaxRPM = kNumbers[next(std::size(kNumbers))];
    m.MaxWindSpeed = kNumbers[next(std::size(kNumbers))];
    const double wattHours = kNumbers[next(std::size(kNumbers))];
    const std::string longTime = kTimes[next(std::size(kTimes))];
    const std::string mode = kModes[next(std::size(kModes))];

    const std::string out = core::substituteTemplate(text, m, wattHours, longTime, mode);

    // Each placeholder of the template gives way to one value, no more.
    std::size_t longest = std::max(longTime.size(), mode.size());
    for (double v : {m.MaxVolts, m.MaxAmps, m.MaxWatts, m.MaxRPM, m.MaxWindSpeed, wattHours})
        longest = std::max(longest, core::numberText(v).size());
    std::size_t placeholders = 0;
    for (const char *p : kPlaceholders)
        placeholders += count(text, p);
    FUZZ_CHECK(out.size() <= text.size() + placeholders * longest);
    if (placeholders == 0)
        FUZZ_CHECK(out == text);

    // replaceAll with pieces of the text itself as what to find.
    for (std::size_t n = 1; n <= 4 && n <= size; ++n) {
        checkReplaceAll(text, text.substr(0, n), longTime);
        checkReplaceAll(text, text.substr(size - n), core::numberText(m.MaxVolts));
    }
    checkReplaceAll(text, "<VV>", text.substr(0, std::min<std::size_t>(size, 8)));
    checkReplaceAll(text, "", "x");
    return 0;
}
