// SPDX-License-Identifier: GPL-3.0-or-later
#include "CalibrationRead.h"

#include "Number.h"
#include "TagValue.h"

#include <cmath>

namespace core {

std::optional<std::string> CalibrationBuffer::append(std::string_view bytes)
{
    m_frames.append(bytes);
    // Only the freshest values are shown: older complete frames are passed over.
    std::optional<std::string> message;
    while (auto frame = m_frames.next())
        message = std::move(frame);
    return message;
}

namespace {
std::optional<std::string> field(std::string_view message, std::string_view open, std::string_view close)
{
    if (const auto v = between(message, open, close))
        return std::string(*v);
    return std::nullopt;
}

double rawValue(const std::optional<std::string> &text)
{
    if (!text)
        return 0;
    return readNumber(*text).value_or(0);
}

std::string pulseText(const std::optional<std::string> &text)
{
    if (!text)
        return std::string();
    return readNumber(*text) ? *text : std::string("0");
}

// A pulse text's value; empty (absent) counts as 0.
double pulseValue(const std::string &text) { return readNumber(text).value_or(0); }

std::optional<double> positive(const std::string &box)
{
    const auto v = readNumber(box);
    if (v && *v > 0)
        return v;
    return std::nullopt;
}

std::optional<double> finite(double v)
{
    if (std::isfinite(v))
        return v;
    return std::nullopt;
}

std::string rounded(double value, int decimals) { return numberText(roundHalfEven(value, decimals)); }
} // namespace

CalibrationFields calibrationFields(std::string_view message)
{
    return {field(message, "<V>", "</V>"), field(message, "<I>", "</I>"), field(message, "<R>", "</R>"),
            field(message, "<S>", "</S>")};
}

DividerProblem dividerProblem(std::string_view box, bool negativeAllowed)
{
    const auto d = readNumber(box);
    if (!d)
        return DividerProblem::NotANumber;
    if (*d == 0)
        return DividerProblem::Zero;
    if (*d < 0 && !negativeAllowed)
        return DividerProblem::Negative;
    return DividerProblem::None;
}

std::string dividerProblemText(DividerProblem problem)
{
    switch (problem) {
    case DividerProblem::None: break;
    case DividerProblem::NotANumber: return "divider is not a number";
    case DividerProblem::Zero: return "divider is 0";
    case DividerProblem::Negative: return "divider is below 0";
    }
    return std::string();
}

CalibrationReadout calibrationReadout(const CalibrationFields &fields, const CalibrationBoxes &boxes,
                                      std::optional<double> offset, std::string_view units,
                                      double previousWindSpeed)
{
    CalibrationReadout r;
    r.CalRawVolts = rawValue(fields.V);
    r.CalRawAmps = rawValue(fields.I);
    r.CalPulseText = pulseText(fields.R);
    r.CalWindText = pulseText(fields.S);

    r.CalRPM = 1;
    if (const auto d = positive(boxes.PulseDivider)) {
        if (const auto rpm = finite(pulseValue(r.CalPulseText) / *d * 60))
            r.CalRPM = *rpm;
    }
    r.CalWindSpeed = previousWindSpeed;
    if (const auto d = positive(boxes.Pulse2Divider)) {
        if (const auto ws = finite(pulseValue(r.CalWindText) / *d))
            r.CalWindSpeed = *ws;
    }

    r.txtBattV = rounded(r.CalRawVolts, 2);
    r.txtShuntV = rounded(r.CalRawAmps, 2);
    r.txtPulsess = r.CalPulseText;
    r.txtWindmillRPM = rounded(r.CalRPM, 1) + " RPM";
    r.txtPulsess2 = r.CalWindText;
    r.txtWindSpeed = rounded(r.CalWindSpeed, 1) + " " + std::string(units);

    if (const auto d = positive(boxes.BatteryVolts)) {
        if (const auto v = finite(r.CalRawVolts / *d))
            r.txtBattVadjusted = rounded(*v, 2) + " Volts";
    }
    // A negative current divider is allowed: it reverses the current's sign.
    const auto ampDivider = readNumber(boxes.BatteryCurrent);
    if (ampDivider && *ampDivider != 0 && offset) {
        if (const auto a = finite((r.CalRawAmps - *offset) / *ampDivider))
            r.txtBattAadjusted = rounded(*a, 2) + " Amps";
    }

    // An unusable divider gives no result; saying so beats an old result or
    // the rotor's 1 RPM, which read as measurements.
    const auto problem = [](const std::string &box, bool negativeAllowed) {
        return dividerProblemText(dividerProblem(box, negativeAllowed));
    };
    if (auto why = problem(boxes.BatteryVolts, false); !why.empty())
        r.txtBattVadjusted = why;
    if (auto why = problem(boxes.BatteryCurrent, true); !why.empty())
        r.txtBattAadjusted = why;
    if (auto why = problem(boxes.PulseDivider, false); !why.empty())
        r.txtWindmillRPM = why;
    if (auto why = problem(boxes.Pulse2Divider, false); !why.empty())
        r.txtWindSpeed = why;
    return r;
}

} // namespace core
