// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's receiving side: serial reads through the frame assembler,
// each frame decoded and calibrated, the maxima raised and logged.
// Input: optional "settings.cfg" text, NUL, then the bytes from the port.
#include "FuzzSupport.h"

#include "core/Frame.h"
#include "core/LogLine.h"
#include "core/Number.h"
#include "core/Reading.h"
#include "core/Settings.h"
#include "core/TickTexts.h"

#include <cmath>

namespace {

void checkRaw(const core::RawReading &raw)
{
    FUZZ_CHECK(std::isfinite(raw.RawVolts));
    FUZZ_CHECK(std::isfinite(raw.RawAmps));
    FUZZ_CHECK(std::isfinite(raw.RawRPM));
    FUZZ_CHECK(std::isfinite(raw.RawWindSpeed));
}

void checkReading(const core::Reading &r)
{
    FUZZ_CHECK(std::isfinite(r.Volts));
    FUZZ_CHECK(std::isfinite(r.Amps));
    FUZZ_CHECK(std::isfinite(r.Watts));
    FUZZ_CHECK(std::isfinite(r.RPM));
    FUZZ_CHECK(std::isfinite(r.WindSpeed));
    for (double v : {r.Volts, r.Amps, r.Watts, r.RPM, r.WindSpeed}) {
        const int p = core::holderPosition(v, 100);
        FUZZ_CHECK(p >= 0 && p <= 100);
    }
}

bool near(double a, double b) { return std::fabs(a - b) <= 1e-14 * std::fabs(b); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto in = fuzz::splitAtNul(fuzz::asText(data, size));
    const core::CalibrationSettings settings = fuzz::calibrationOf(in);
    const core::Calibration cal = core::calibrationFrom(settings);

    core::FrameAssembler assembler;
    core::Reading reading;
    core::Maxima maxima;
    std::size_t closing = 0;
    for (char c : in.stream)
        closing += c == ']';
    std::size_t frames = 0;

    fuzz::Reads reads(in.stream);
    std::string_view piece;
    while (reads.next(piece)) {
        assembler.append(piece);
        while (const auto frame = assembler.next()) {
            ++frames;
            FUZZ_CHECK(frame->size() >= 2 && frame->front() == '[');
            FUZZ_CHECK(frame->find(']') == frame->size() - 1);
            const core::RawReading raw = core::decodeFrame(*frame);
            checkRaw(raw);
            core::applyFrame(reading, raw, cal);
            checkReading(reading);
            maxima.raise(reading);
        }
        // Drained: whatever waits holds no complete frame and stays bounded.
        FUZZ_CHECK(assembler.buffer().size() <= core::FrameAssembler::kLimit);
    }
    FUZZ_CHECK(frames <= closing);

    // The whole stream at once, as a caller holding any text may decode it.
    checkRaw(core::decodeFrame(in.stream));

    // What the logging tick writes reads back as the same values.
    const std::string line = core::logRecord(maxima, reading.Mode, 23, 59);
    const auto time = core::LogLineReader::lineTime(line);
    FUZZ_CHECK(time && *time > 0 && *time < 1);
    core::LogLineReader reader;
    const core::LogRecord back = reader.fields(line, *time);
    FUZZ_CHECK(near(back.V, maxima.MaxVolts));
    FUZZ_CHECK(near(back.I, maxima.MaxAmps));
    FUZZ_CHECK(near(back.W, maxima.MaxWatts));
    FUZZ_CHECK(near(back.R, maxima.MaxRPM));
    FUZZ_CHECK(near(back.S, maxima.MaxWindSpeed));
    FUZZ_CHECK(back.M == reading.Mode);
    return 0;
}
