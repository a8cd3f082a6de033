// SPDX-License-Identifier: GPL-3.0-or-later
#include "Frame.h"

#include "Number.h"
#include "TagValue.h"

#include <algorithm>

namespace core {

namespace {
// A field as a number: absent gives 0, no number gives nullopt (-1 stays).
// `read` tells whether the tags held a number the calibration takes.
std::optional<double> fieldValue(std::string_view frame, std::string_view open, std::string_view close,
                                 bool *read = nullptr)
{
    const auto text = between(frame, open, close);
    if (!text)
        return 0.0;
    const auto value = readNumber(*text);
    if (read)
        *read = value && *value > -1;
    return value;
}
} // namespace

RawReading decodeFrame(std::string_view text)
{
    std::string_view frame = text;
    if (const auto o = frame.find('['); o != std::string_view::npos)
        frame = frame.substr(o);
    if (const auto c = frame.find(']'); c != std::string_view::npos)
        frame = frame.substr(0, c + 1);

    RawReading r;
    const auto take = [&](std::string_view open, std::string_view close, double &value, bool &read) {
        if (auto v = fieldValue(frame, open, close, &read))
            value = *v;
    };
    take("<V>", "</V>", r.RawVolts, r.voltsRead);
    take("<I>", "</I>", r.RawAmps, r.ampsRead);
    take("<R>", "</R>", r.RawRPM, r.rpmRead);
    if (auto v = fieldValue(frame, "<M>", "</M>")) {
        // A mode that does not fit 16 bits counts as no number.
        if (auto m = toInt16(*v))
            r.Mode = *m;
    }
    take("<S>", "</S>", r.RawWindSpeed, r.windRead);
    return r;
}

void FrameAssembler::append(std::string_view bytes)
{
    m_buffer.append(bytes);
    trim();
}

void FrameAssembler::trim()
{
    if (m_buffer.size() <= kLimit)
        return;
    const auto o = m_buffer.find('[');
    if (o != std::string::npos && m_buffer.find(']', o) != std::string::npos)
        return; // a complete frame is waiting; next() takes it
    const auto last = m_buffer.rfind('[');
    const auto cut = last == std::string::npos ? m_buffer.size() : last;
    if (cut > 0) {
        const auto starts = std::count(m_buffer.begin(), m_buffer.begin() + std::ptrdiff_t(cut), '[');
        m_dropped += starts > 0 ? starts : 1;
        m_buffer.erase(0, cut);
    }
    // A single frame start followed by endless junk: keep the bound anyway.
    if (m_buffer.size() > kLimit) {
        m_buffer.clear();
        ++m_dropped;
    }
}

std::optional<std::string> FrameAssembler::next()
{
    const auto o = m_buffer.find('[');
    if (o == std::string::npos) {
        trim();
        return std::nullopt;
    }
    const auto c = m_buffer.find(']', o);
    if (c == std::string::npos) {
        trim();
        return std::nullopt;
    }
    std::string frame = m_buffer.substr(o, c - o + 1);
    m_buffer.erase(0, c + 1);
    return frame;
}

} // namespace core
