// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Calibration of raw frame values into the live reading, and the interval maxima.

#include "Frame.h"
#include "Settings.h"

#include <cstdint>
#include <optional>

namespace core {

// The dividers and offset of "settings.cfg" as numbers; nullopt where the
// text is not a number.
struct Calibration {
    std::optional<double> VoltDivider, VoltOffset, AmpDivider, RPMDivider, WSDivider;
};
Calibration calibrationFrom(const CalibrationSettings &s);

struct Reading {
    double Volts = 0, Amps = 0, Watts = 0, RPM = 0, WindSpeed = 0;
    std::int16_t Mode = 0;
};

// Applies one frame to the reading. A raw value of -1 or less, or a divider
// that is 0 or not a number, leaves its quantity as it was; Watts is always
// recomputed from the (rounded) volts and amps. Mode is always taken.
void applyFrame(Reading &reading, const RawReading &raw, const Calibration &cal);

struct Maxima {
    double MaxVolts = 0, MaxAmps = 0, MaxWatts = 0, MaxRPM = 0, MaxWindSpeed = 0;
    // Each maximum rises to the reading's value when that is strictly greater.
    void raise(const Reading &r);
    void reset() { *this = Maxima(); }
};

// The value a meter holder is set to: rounded (halves to even) and clamped
// into 0..fullScale.
int holderPosition(double value, int fullScale);

} // namespace core
