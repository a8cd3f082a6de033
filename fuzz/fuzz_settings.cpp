// SPDX-License-Identifier: GPL-3.0-or-later
// The tagged settings files: between, tagValue and the two readers on any
// text, and a write of what was read reading back the same.
// Input: the whole file text.
#include "FuzzSupport.h"

#include "core/Settings.h"
#include "core/TagValue.h"

#include <string>
#include <vector>

namespace {

void checkBetween(std::string_view text, std::string_view open, std::string_view close)
{
    const auto v = core::between(text, open, close);
    const auto a = text.find(open), b = text.find(close);
    if (!v) {
        FUZZ_CHECK(a == std::string_view::npos || b == std::string_view::npos || b < a + open.size() || b <= a);
        return;
    }
    // A slice of `text`, right after the first `open` and right before the
    // first `close`.
    FUZZ_CHECK(v->data() >= text.data() && v->data() + v->size() <= text.data() + text.size());
    const std::size_t start = std::size_t(v->data() - text.data());
    FUZZ_CHECK(start >= open.size() && start - open.size() == a);
    FUZZ_CHECK(start + v->size() == b);
}

// Unreadable sentinels, so a key that falls back on a re-read shows.
core::ProgramSettings programSentinel()
{
    return {"\x01P", "\x01S", "\x01X", "\x01D", "\x01L", "\x01R", "\x01W", "\x01U"};
}
core::CalibrationSettings calibrationSentinel() { return {"\x01V", "\x01O", "\x01A", "\x01R", "\x01W"}; }

// A value holding a tag of its own file cannot be written unchanged and read
// back: the file format has no escaping. Only such values are exempt.
bool holdsTag(const std::vector<std::string> &values, const std::vector<std::string> &keys)
{
    for (const auto &v : values)
        for (const auto &k : keys)
            if (v.find("<" + k + ">") != std::string::npos || v.find("</" + k + ">") != std::string::npos)
                return true;
    return false;
}

std::vector<std::string> values(const core::ProgramSettings &s)
{
    return {s.Port, s.Savehtml, s.SaveExcel, s.LogDelay, s.LogOn, s.DisplayRPM, s.DisplayWS, s.WSUnits};
}
std::vector<std::string> values(const core::CalibrationSettings &s)
{
    return {s.VoltDivider, s.VoltOffset, s.AmpDivider, s.RPMDivider, s.WSDivider};
}

const std::vector<std::string> kProgramKeys = {"Port",  "Savehtml",   "SaveExcel", "LogDelay",
                                               "LogOn", "DisplayRPM", "DisplayWS", "WSUnits"};
const std::vector<std::string> kCalibrationKeys = {"VoltDivider", "VoltOffset", "AmpDivider", "RPMDivider",
                                                   "WSDivider"};

template <typename Settings, typename Read, typename Write>
void checkFile(std::string_view text, const Settings &sentinel, const std::vector<std::string> &keys, Read read,
               Write write)
{
    std::vector<std::string> missing;
    const Settings s = read(text, sentinel, &missing);
    const auto found = values(s);
    const auto fallback = values(sentinel);
    std::size_t missed = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const auto v = core::tagValue(text, keys[i]);
        if (v) {
            FUZZ_CHECK(found[i] == *v);
            // Cut at the first closing tag, so it never holds that tag.
            FUZZ_CHECK(v->find("</" + keys[i] + ">") == std::string::npos);
        } else {
            FUZZ_CHECK(found[i] == fallback[i]);
            FUZZ_CHECK(missed < missing.size() && missing[missed] == keys[i]);
            ++missed;
        }
    }
    FUZZ_CHECK(missed == missing.size());

    if (holdsTag(found, keys))
        return;
    std::vector<std::string> missingAgain;
    const Settings again = read(write(s), sentinel, &missingAgain);
    FUZZ_CHECK(missingAgain.empty());
    FUZZ_CHECK(values(again) == found);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text = fuzz::asText(data, size);

    checkFile(
        text, programSentinel(), kProgramKeys,
        [](std::string_view t, const core::ProgramSettings &f, std::vector<std::string> *m) {
            return core::readProgramSettings(t, f, m);
        },
        core::programSettingsText);
    checkFile(
        text, calibrationSentinel(), kCalibrationKeys,
        [](std::string_view t, const core::CalibrationSettings &f, std::vector<std::string> *m) {
            return core::readCalibrationSettings(t, f, m);
        },
        core::calibrationSettingsText);

    // Tags of every shape, including empty ones and tags taken from the text.
    static const std::string_view kTags[] = {"", "<", ">", "<V>", "</V>", "<Port>", "</Port>", "]"};
    for (auto open : kTags)
        for (auto close : kTags)
            checkBetween(text, open, close);
    for (std::size_t n = 1; n <= 6 && n <= text.size(); n += 2) {
        checkBetween(text, text.substr(0, n), text.substr(text.size() - n));
        checkBetween(text, text.substr(text.size() - n), text.substr(0, n));
    }
    return 0;
}
