// SPDX-License-Identifier: GPL-3.0-or-later
// The earlier version's power curve file: its reader on any text; a curve it
// reads writes back to a text that reads again, and from then on writes the
// same (the first write may round sums given with more than 15 digits). The
// curve file of `--report curve`: a file it reads gives an estimate in bounds.
// Also the UTC time texts.
// Input: the whole file text.
#include "FuzzSupport.h"

#include "core/FrameCurve.h"

#include <cmath>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text = fuzz::asText(data, size);

    std::string error;
    const auto curve = core::readFrameCurve(text, &error);
    FUZZ_CHECK(curve.has_value() == error.empty());
    if (curve) {
        const auto again = core::readFrameCurve(core::frameCurveText(*curve));
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(again->unit() == curve->unit());
        for (int k = 0; k < core::FrameCurve::kBins; ++k) {
            const core::FrameBin &a = curve->bins()[size_t(k)], &b = again->bins()[size_t(k)];
            FUZZ_CHECK(a.frames == b.frames && a.rpmFrames == b.rpmFrames && a.first == b.first
                       && a.last == b.last);
            FUZZ_CHECK(std::abs(a.sumWatts - b.sumWatts) <= 1e-14 * std::abs(a.sumWatts));
        }
        const std::string written = core::frameCurveText(*again);
        const auto third = core::readFrameCurve(written);
        FUZZ_CHECK(third.has_value());
        FUZZ_CHECK(core::frameCurveText(*third) == written);
    }

    std::string why;
    if (const auto points = core::readCurveFile(text, &why)) {
        FUZZ_CHECK(points->size() >= 2 && why.empty());
        const core::Estimate e = core::annualEnergy(*points, 25);
        FUZZ_CHECK(e.rows.size() == 8);
        for (const core::EstimateRow &r : e.rows)
            FUZZ_CHECK(std::isfinite(r.measuredKwh) && std::isfinite(r.extrapolatedKwh));
        core::estimateText(e);
    }

    if (const auto t = core::readUtcText(text))
        FUZZ_CHECK(core::utcText(*t) == text);
    return 0;
}
