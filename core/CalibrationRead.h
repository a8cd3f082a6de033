// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The calibration window's live read-out: its own message assembly, the raw
// fields of a message and the eight read-out texts.

#include "Frame.h"

#include <optional>
#include <string>
#include <string_view>

namespace core {

// Receive buffer of the calibration window. A message is one complete frame:
// from a "[" up to and including the first "]" after it. Text before the "["
// (the tail of a frame whose start was missed) is dropped with the frame, and
// text after the "]" stays for the next frame. The read-outs show only the
// latest values, so when one read completes several frames the last of them is
// the message. Without a complete frame the buffer is bounded: past kLimit
// characters only the text from its last "[" is kept, nothing when there is
// none (or when that text alone is still too long).
class CalibrationBuffer {
public:
    static constexpr std::size_t kLimit = FrameAssembler::kLimit;

    // Appends one read. Returns the last frame it completed, removing that
    // frame and everything before it; otherwise nullopt and the text waits.
    std::optional<std::string> append(std::string_view bytes);
    const std::string &text() const { return m_frames.buffer(); }
    void clear() { m_frames.clear(); }

private:
    FrameAssembler m_frames;
};

// The field texts the calibration window uses, each taken from the first
// opening and first closing tag anywhere in the message. nullopt when a tag is
// missing or the closing tag stands before the opening one. Mode is not used.
struct CalibrationFields {
    std::optional<std::string> V, I, R, S;
};
CalibrationFields calibrationFields(std::string_view message);

// The four divider boxes exactly as typed; they are read at every message.
struct CalibrationBoxes {
    std::string BatteryVolts, BatteryCurrent, PulseDivider, Pulse2Divider;
};

// Why a divider box gives no result: not a number, 0, or (where a negative
// divider is not allowed: all but the current's) below 0.
enum class DividerProblem { None, NotANumber, Zero, Negative };
DividerProblem dividerProblem(std::string_view box, bool negativeAllowed);
// The result's text in its place: "divider is not a number", "divider is 0",
// "divider is below 0"; empty for None.
std::string dividerProblemText(DividerProblem problem);

struct CalibrationReadout {
    // Raw values: a missing or non-numeric V or I counts as 0.
    double CalRawVolts = 0, CalRawAmps = 0;
    // R and S as received when they are numbers, "0" when not, empty when absent.
    std::string CalPulseText, CalWindText;
    // 1 when the pulse divider is unusable (not a number, 0 or negative).
    double CalRPM = 1;
    // The previous wind speed when the divider is unusable.
    double CalWindSpeed = 0;

    // A result whose divider box is unusable says why (dividerProblemText).
    std::string txtBattV, txtShuntV, txtPulsess, txtWindmillRPM, txtPulsess2, txtWindSpeed;
    // nullopt: the result cannot be computed for another reason (no usable
    // offset, a quotient that is not finite) and the label keeps its text.
    std::optional<std::string> txtBattVadjusted, txtBattAadjusted;
};

// The read-out of one message. `offset` is the current offset (nullopt when
// the stored one is not a number: the current result is then not computed);
// `units` is the wind-speed unit name; `previousWindSpeed` is kept when the
// wind divider cannot be used. A quotient that is not finite (a huge raw value
// over a tiny divider) counts as not computable.
CalibrationReadout calibrationReadout(const CalibrationFields &fields, const CalibrationBoxes &boxes,
                                      std::optional<double> offset, std::string_view units,
                                      double previousWindSpeed);

} // namespace core
