// SPDX-License-Identifier: GPL-3.0-or-later
// The power curve file: its reader on any text; a curve it reads writes back
// to a text that reads again, and from then on writes the same (the first
// write may round sums given with more than 15 digits, and what is derived
// from them); the estimate made of any curve it reads stays in bounds. Also
// the UTC time texts.
// Input: the whole file text.
#include "FuzzSupport.h"

#include "core/PowerCurve.h"

#include <cmath>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text = fuzz::asText(data, size);

    std::string error;
    const auto curve = core::readPowerCurve(text, &error);
    FUZZ_CHECK(curve.has_value() == error.empty());
    if (curve) {
        const auto again = core::readPowerCurve(core::powerCurveText(*curve));
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(again->unit() == curve->unit());
        for (int k = 0; k < core::PowerCurve::kBins; ++k) {
            const core::PowerCurveBin &a = curve->bins()[size_t(k)], &b = again->bins()[size_t(k)];
            FUZZ_CHECK(a.frames == b.frames && a.rpmFrames == b.rpmFrames && a.first == b.first
                       && a.last == b.last);
            FUZZ_CHECK(std::abs(a.sumWatts - b.sumWatts) <= 1e-14 * std::abs(a.sumWatts));
        }
        const std::string written = core::powerCurveText(*again);
        const auto third = core::readPowerCurve(written);
        FUZZ_CHECK(third.has_value());
        FUZZ_CHECK(core::powerCurveText(*third) == written);

        const core::AnnualEstimate e = core::annualEstimate(*curve);
        FUZZ_CHECK(e.knownUnit == (curve->unit() == "m/s"));
        FUZZ_CHECK(e.rows.empty() || e.rows.size() == 8);
        for (const core::EstimateRow &r : e.rows)
            FUZZ_CHECK(r.coveredShare >= 0 && r.coveredShare <= 1);
        FUZZ_CHECK(e.hoursOfData >= 0);
        core::powerCurveExportText(*curve);
    }

    if (const auto t = core::readUtcText(text))
        FUZZ_CHECK(core::utcText(*t) == text);
    return 0;
}
