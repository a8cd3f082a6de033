// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Frames from the monitoring unit: "[" ... "]" carrying the tagged fields
// <V>, <I>, <R>, <M> and <S>.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// The raw values of one frame. -1 means the tags were there without a number
// between them; a field whose tags are missing (or reversed) holds 0.
struct RawReading {
    double RawVolts = -1;
    double RawAmps = -1;
    double RawRPM = -1;
    std::int16_t Mode = -1;
    double RawWindSpeed = -1;
    // Whether a field's tags were there with a number between them that the
    // calibration takes (not below -1's "no number").
    bool voltsRead = false, ampsRead = false, rpmRead = false, windRead = false;
};

// Decodes one frame (the text from "[" to "]", or any text containing it).
RawReading decodeFrame(std::string_view frame);

// Collects the characters of each receive notification and hands out complete
// frames in order. Text after a frame's "]" stays for the next frame. Without a
// complete frame the buffer is bounded: past kLimit characters only the text
// from its last "[" is kept.
class FrameAssembler {
public:
    static constexpr std::size_t kLimit = 4096;

    void append(std::string_view bytes);
    // The next complete frame ("[" up to and including the first "]" after
    // it), removing it and everything before it from the buffer.
    std::optional<std::string> next();
    const std::string &buffer() const { return m_buffer; }
    void clear() { m_buffer.clear(); }
    // Pieces dropped at the bound since construction (clear() keeps it): each
    // frame start cut off there, or one for a dropped run of text without one.
    // Short noise between frames is no piece: next() passes over it.
    long long dropped() const { return m_dropped; }

private:
    void trim();
    std::string m_buffer;
    long long m_dropped = 0;
};

} // namespace core
