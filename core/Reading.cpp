// SPDX-License-Identifier: GPL-3.0-or-later
#include "Reading.h"

#include "Number.h"

#include <cmath>

namespace core {

Calibration calibrationFrom(const CalibrationSettings &s)
{
    return {readNumber(s.VoltDivider), readNumber(s.VoltOffset), readNumber(s.AmpDivider),
            readNumber(s.RPMDivider), readNumber(s.WSDivider)};
}

namespace {
bool usable(const std::optional<double> &divider) { return divider && *divider != 0.0; }

// Stores the rounded quotient unless it is not finite (a huge raw value over a
// tiny divider): nothing unreadable is ever shown or logged.
void store(double &target, double value, int decimals)
{
    const double r = roundHalfEven(value, decimals);
    if (std::isfinite(r))
        target = r;
}
} // namespace

void applyFrame(Reading &reading, const RawReading &raw, const Calibration &cal)
{
    if (raw.RawVolts > -1 && usable(cal.VoltDivider))
        store(reading.Volts, raw.RawVolts / *cal.VoltDivider, 2);
    if (raw.RawAmps > -1 && usable(cal.AmpDivider) && cal.VoltOffset)
        store(reading.Amps, (raw.RawAmps - *cal.VoltOffset) / *cal.AmpDivider, 2);
    if (raw.RawRPM > -1 && usable(cal.RPMDivider))
        store(reading.RPM, raw.RawRPM / *cal.RPMDivider * 60, 1);
    if (raw.RawWindSpeed > -1 && usable(cal.WSDivider))
        store(reading.WindSpeed, raw.RawWindSpeed / *cal.WSDivider, 1);
    store(reading.Watts, reading.Amps * reading.Volts, 2);
    reading.Mode = raw.Mode;
}

void Maxima::raise(const Reading &r)
{
    if (r.Volts > MaxVolts)
        MaxVolts = r.Volts;
    if (r.Amps > MaxAmps)
        MaxAmps = r.Amps;
    if (r.RPM > MaxRPM)
        MaxRPM = r.RPM;
    if (r.WindSpeed > MaxWindSpeed)
        MaxWindSpeed = r.WindSpeed;
    if (r.Watts > MaxWatts)
        MaxWatts = r.Watts;
}

int holderPosition(double value, int fullScale)
{
    const double r = roundHalfEven(value, 0);
    if (!(r > 0)) // also NaN
        return 0;
    if (r > fullScale)
        return fullScale;
    return static_cast<int>(r);
}

} // namespace core
