// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm settings file on any text: what reads is usable, and writing it
// reads back the same. Then the alarm rules driven by the same bytes: a raised
// alarm always has a raise event before it, and times never run backwards.
// Input: the whole file text.
#include "FuzzSupport.h"

#include "core/Alarms.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text = fuzz::asText(data, size);
    const auto s = core::readAlarmSettings(text);
    if (!s)
        return 0;
    FUZZ_CHECK(core::alarmSettingsProblem(*s).empty());
    const std::string written = core::alarmSettingsText(*s);
    const auto again = core::readAlarmSettings(written);
    FUZZ_CHECK(again && core::alarmSettingsText(*again) == written);

    // Each byte a step: a frame of some volts, RPM, wind and amps, or a check.
    core::AlarmBook book(0);
    book.setSettings(*s, 0);
    core::AvailabilityRules turbine;
    turbine.curve.batteryFullVolts = 14.4;
    book.setTurbine(turbine);
    bool raised[core::kAlarmCount] = {};
    double t = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        t += b % 7;
        std::vector<core::AlarmEvent> events;
        if (b & 1) {
            core::AlarmBook::Values v{(b & 2) != 0, b / 10.0, double(b) * 4, b / 8.0, b / 100.0, b / 16.0, (b & 4) != 0};
            events = book.frame(v, t);
        } else {
            events = book.tick(b & 2   ? core::DataState::Live
                               : b & 4 ? core::DataState::Stale
                                       : core::DataState::Paused,
                               t);
        }
        for (const auto &e : events) {
            FUZZ_CHECK(raised[size_t(e.id)] != e.raised);
            raised[size_t(e.id)] = e.raised;
        }
        for (const core::AlarmId id : core::kAlarms)
            FUZZ_CHECK(book.raised(id) == raised[size_t(id)]);
    }
    return 0;
}
