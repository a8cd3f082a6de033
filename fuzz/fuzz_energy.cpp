// SPDX-License-Identifier: GPL-3.0-or-later
// The energy files on any text. energy.cfg: what reads writes back and reads
// the same. energy.csv: putting a day in keeps every other line as it was,
// and the day reads back from the new text.
// Input: the whole file text (used as both files).
#include "FuzzSupport.h"

#include "core/EnergyBook.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text = fuzz::asText(data, size);

    if (const auto state = core::readEnergyState(text)) {
        const std::string written = core::energyStateText(*state);
        const auto again = core::readEnergyState(written);
        FUZZ_CHECK(again && core::energyStateText(*again) == written);
        core::energyAtStart(state, core::readEnergyCsv(text), core::CivilDate{2026, 3, 7});
    }

    const std::vector<core::DayRecord> days = core::readEnergyCsv(text);
    core::DayRecord day;
    day.date = core::CivilDate{2026, 3, 7};
    day.energyWh = double(size);
    day.windUnit = std::string(text.substr(0, 8));
    const std::string out = core::withDay(text, day);
    const std::vector<core::DayRecord> after = core::readEnergyCsv(out);
    const auto others = [&day](const std::vector<core::DayRecord> &list) {
        std::size_t n = 0;
        for (const auto &d : list)
            n += d.date != day.date;
        return n;
    };
    // The day is there, no other day is lost, and doing it again changes
    // nothing. (Lines of its date that a hand put out of order stay.)
    FUZZ_CHECK(after.size() > others(after));
    FUZZ_CHECK(others(after) == others(days));
    FUZZ_CHECK(core::withDay(out, day) == out);
    return 0;
}
