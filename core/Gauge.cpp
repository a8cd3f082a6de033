// SPDX-License-Identifier: GPL-3.0-or-later
#include "Gauge.h"

#include "Number.h"

#include <algorithm>
#include <cmath>

namespace core {

namespace {
// 3.141592654 / 180, the factor the meters have always used.
constexpr double kDegrees = 0.017453292522222223;

double toInt16Value(double v)
{
    const auto i = toInt16(v);
    return i ? *i : roundHalfEven(v, 0);
}
} // namespace

Needle needle(double widthTwips, double heightTwips, const GaugeScale &s, double value)
{
    const double cx = toInt16Value(widthTwips / 2);
    const double cy = toInt16Value(heightTwips - 12);
    const float r = static_cast<float>(std::min(cx, cy) - 5);
    const double n = toInt16Value(r * s.Inset);
    const double span = s.MaxValue - s.MinValue;
    const double p = span != 0 ? s.MinPos + (value - s.MinValue) * (s.MaxPos - s.MinPos) / span : s.MinPos;
    const double theta = (270 - 6 * p) * kDegrees;
    const double length = r - n;
    return {static_cast<float>(cx), static_cast<float>(cy), static_cast<float>(cx + std::sin(theta) * length),
            static_cast<float>(cy + std::cos(theta) * length)};
}

} // namespace core
