// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Settings.h"
// Shared by the fuzz targets: a check that stops the run where libFuzzer sees
// it, a reproducible way to cut one input into serial reads, and the shape of
// a number text.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

// A broken rule is a finding: report it and trap, so libFuzzer saves the input.
#define FUZZ_CHECK(cond)                                                                                          \
    do {                                                                                                          \
        if (!(cond)) {                                                                                            \
            std::fprintf(stderr, "FUZZ_CHECK failed: %s at %s:%d\n", #cond, __FILE__, __LINE__);                  \
            __builtin_trap();                                                                                     \
        }                                                                                                         \
    } while (0)

namespace fuzz {

inline std::string_view asText(const std::uint8_t *data, std::size_t size)
{
    return {reinterpret_cast<const char *>(data), size};
}

// An input "settings text NUL stream": the part before the first NUL, when
// there is one, is a settings file; the rest is what the port delivers. Seeds
// without a NUL are all stream.
struct SettingsAndStream {
    bool hasSettings = false;
    std::string_view settings, stream;
};
inline SettingsAndStream splitAtNul(std::string_view in)
{
    const auto nul = in.find('\0');
    if (nul == std::string_view::npos)
        return {false, {}, in};
    return {true, in.substr(0, nul), in.substr(nul + 1)};
}

// The calibration an input carries, over the delivered one.
inline core::CalibrationSettings calibrationOf(const SettingsAndStream &in)
{
    const core::CalibrationSettings delivered = core::defaultCalibrationSettings();
    return in.hasSettings ? core::readCalibrationSettings(in.settings, delivered) : delivered;
}

// Cuts a stream into reads of varied length, from single characters to reads
// larger than any receive bound. The lengths depend only on the stream, so a
// saved input replays exactly.
class Reads {
public:
    explicit Reads(std::string_view stream) : m_rest(stream)
    {
        std::uint64_t h = 1469598103934665603ull; // FNV-1a
        for (unsigned char c : stream)
            h = (h ^ c) * 1099511628211ull;
        m_state = h | 1;
    }

    bool next(std::string_view &piece)
    {
        if (m_rest.empty())
            return false;
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        const unsigned r = unsigned(m_state >> 33);
        std::size_t len;
        switch (r % 8) {
        case 0: len = m_rest.size(); break;       // everything that is left
        case 1: len = 1 + (r >> 3) % 9000; break; // past the receive bounds
        case 2: len = 1; break;
        default: len = 1 + (r >> 3) % 40; break; // a few fields at a time
        }
        if (len > m_rest.size())
            len = m_rest.size();
        piece = m_rest.substr(0, len);
        m_rest.remove_prefix(len);
        return true;
    }

private:
    std::string_view m_rest;
    std::uint64_t m_state;
};

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// What numberText may produce: "0", or an optional "-", digits without a
// leading zero (unless the whole part is 0), and an optional separator with
// digits that do not end in 0.
inline bool isNumberText(std::string_view s, char separator)
{
    if (s == "0")
        return true;
    std::size_t i = 0;
    if (i < s.size() && s[i] == '-')
        ++i;
    const std::size_t intStart = i;
    while (i < s.size() && isDigit(s[i]))
        ++i;
    const std::size_t intLen = i - intStart;
    if (intLen == 0 || (intLen > 1 && s[intStart] == '0'))
        return false;
    if (i == s.size())
        return s.substr(intStart) != "0"; // no "-0"
    if (s[i] != separator)
        return false;
    ++i;
    const std::size_t fracStart = i;
    while (i < s.size() && isDigit(s[i]))
        ++i;
    return i == s.size() && i > fracStart && s.back() != '0';
}

} // namespace fuzz
