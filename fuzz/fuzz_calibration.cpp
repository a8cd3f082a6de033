// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration window's receiving side: serial reads through its buffer,
// each message's fields and the eight read-out texts.
// Input: optional "settings.cfg" text (the divider boxes and the offset), NUL,
// then the bytes from the port.
#include "FuzzSupport.h"

#include "core/CalibrationRead.h"
#include "core/Number.h"
#include "core/Settings.h"

#include <cmath>
#include <string>

namespace {

bool endsWith(std::string_view s, std::string_view end)
{
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

// "<number text><suffix>"
void checkNumberWith(std::string_view text, std::string_view suffix)
{
    FUZZ_CHECK(endsWith(text, suffix));
    FUZZ_CHECK(fuzz::isNumberText(text.substr(0, text.size() - suffix.size()), core::decimalSeparator()));
}

// A pulse text is shown as received when it is a number, "0" when it is not,
// and empty when the field is absent.
void checkPulseText(const std::string &shown, const std::optional<std::string> &field)
{
    if (!field)
        FUZZ_CHECK(shown.empty());
    else if (core::readNumber(*field))
        FUZZ_CHECK(shown == *field);
    else
        FUZZ_CHECK(shown == "0");
}

// A "[" with a "]" somewhere after it.
bool hasFrame(std::string_view s)
{
    const auto o = s.find('[');
    return o != std::string_view::npos && s.find(']', o) != std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto in = fuzz::splitAtNul(fuzz::asText(data, size));
    const core::CalibrationSettings settings = fuzz::calibrationOf(in);
    const core::CalibrationBoxes boxes{settings.VoltDivider, settings.AmpDivider, settings.RPMDivider,
                                       settings.WSDivider};
    const std::optional<double> offset = core::readNumber(settings.VoltOffset);
    const std::string units = "mph";

    core::CalibrationBuffer buffer;
    double windSpeed = 0;
    fuzz::Reads reads(in.stream);
    std::string_view piece;
    while (reads.next(piece)) {
        const std::string joined = buffer.text() + std::string(piece);
        const auto message = buffer.append(piece);
        // What waits is the end of what came, holds no complete frame and
        // stays bounded.
        const std::string &left = buffer.text();
        FUZZ_CHECK(left.size() <= core::CalibrationBuffer::kLimit);
        FUZZ_CHECK(endsWith(joined, left));
        FUZZ_CHECK(!hasFrame(left));
        if (!message) {
            FUZZ_CHECK(!hasFrame(joined));
            continue;
        }
        // One frame of what came, before what waits.
        FUZZ_CHECK(message->size() >= 2 && message->front() == '[');
        FUZZ_CHECK(message->find(']') == message->size() - 1);
        const auto at = joined.rfind(*message);
        FUZZ_CHECK(at != std::string::npos && at + message->size() <= joined.size() - left.size());

        const core::CalibrationFields fields = core::calibrationFields(*message);
        const core::CalibrationReadout r = core::calibrationReadout(fields, boxes, offset, units, windSpeed);
        FUZZ_CHECK(std::isfinite(r.CalRawVolts));
        FUZZ_CHECK(std::isfinite(r.CalRawAmps));
        FUZZ_CHECK(std::isfinite(r.CalRPM));
        FUZZ_CHECK(std::isfinite(r.CalWindSpeed));
        checkPulseText(r.CalPulseText, fields.R);
        checkPulseText(r.CalWindText, fields.S);
        FUZZ_CHECK(r.txtPulsess == r.CalPulseText);
        FUZZ_CHECK(r.txtPulsess2 == r.CalWindText);
        checkNumberWith(r.txtBattV, "");
        checkNumberWith(r.txtShuntV, "");
        // A result is a number with its unit, or says why its divider gives none.
        const auto result = [](const std::string &text, const std::string &box, bool negativeAllowed,
                               const std::string &unit) {
            const core::DividerProblem p = core::dividerProblem(box, negativeAllowed);
            if (p != core::DividerProblem::None)
                FUZZ_CHECK(text == core::dividerProblemText(p));
            else
                checkNumberWith(text, unit);
        };
        result(r.txtWindmillRPM, boxes.PulseDivider, false, " RPM");
        result(r.txtWindSpeed, boxes.Pulse2Divider, false, " " + units);
        if (r.txtBattVadjusted)
            result(*r.txtBattVadjusted, boxes.BatteryVolts, false, " Volts");
        if (r.txtBattAadjusted)
            result(*r.txtBattAadjusted, boxes.BatteryCurrent, true, " Amps");
        windSpeed = r.CalWindSpeed;
    }
    return 0;
}
