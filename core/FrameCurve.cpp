// SPDX-License-Identifier: GPL-3.0-or-later
#include "FrameCurve.h"

#include "Number.h"
#include "Text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace core {

namespace {

const char kHeader[] = "wind_speed,unit,frames,mean_watts,sd_watts,mean_rpm,seconds,first_frame,last_frame,"
                       "sum_watts,sum_squares_watts,rpm_frames,sum_rpm";
constexpr size_t kFields = 13;

std::string optionalNumber(bool present, double value) { return present ? dotNumberText(value) : std::string(); }

std::optional<std::uint64_t> readCount(std::string_view text)
{
    if (text.empty() || text.size() > 19)
        return std::nullopt;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + std::uint64_t(c - '0');
    }
    return v;
}

// A number written by dotNumberText: finite, no blanks, "." only.
std::optional<double> readDotNumber(std::string_view text)
{
    if (text.empty() || text.find_first_of(" \t,") != std::string_view::npos)
        return std::nullopt;
    return readNumber(text);
}

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t &y, unsigned &m, unsigned &d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = std::int64_t(yoe) + era * 400 + (m <= 2);
}

} // namespace

double FrameBin::sdWatts() const
{
    if (frames < 2)
        return 0;
    const double n = double(frames);
    const double variance = (sumSquares - sumWatts * sumWatts / n) / (n - 1);
    return variance > 0 ? std::sqrt(variance) : 0;
}

std::optional<double> FrameBin::meanRPM() const
{
    if (!rpmFrames)
        return std::nullopt;
    return sumRPM / double(rpmFrames);
}

bool FrameBin::operator==(const FrameBin &o) const
{
    return frames == o.frames && sumWatts == o.sumWatts && sumSquares == o.sumSquares && rpmFrames == o.rpmFrames
           && sumRPM == o.sumRPM && seconds == o.seconds && first == o.first && last == o.last;
}

std::uint64_t FrameCurve::frames() const
{
    std::uint64_t n = 0;
    for (const FrameBin &b : m_bins)
        n += b.frames;
    return n;
}

double FrameCurve::hoursOfData() const
{
    double s = 0;
    for (const FrameBin &b : m_bins)
        s += b.seconds;
    return s / 3600;
}

std::string utcText(std::int64_t unixSeconds)
{
    std::int64_t days = unixSeconds / 86400, rest = unixSeconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    std::int64_t y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(y), m, d,
                  int(rest / 3600), int(rest / 60 % 60), int(rest % 60));
    return text;
}

std::optional<std::int64_t> readUtcText(std::string_view t)
{
    // yyyy-mm-ddThh:mm:ssZ
    if (t.size() != 20 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':'
        || t[19] != 'Z')
        return std::nullopt;
    auto digits = [t](size_t at, size_t n) -> std::optional<int> {
        int v = 0;
        for (size_t i = at; i < at + n; ++i) {
            if (t[i] < '0' || t[i] > '9')
                return std::nullopt;
            v = v * 10 + (t[i] - '0');
        }
        return v;
    };
    const auto y = digits(0, 4), mo = digits(5, 2), d = digits(8, 2), h = digits(11, 2), mi = digits(14, 2),
               s = digits(17, 2);
    if (!y || !mo || !d || !h || !mi || !s || *mo < 1 || *mo > 12 || *d < 1 || *h > 23 || *mi > 59 || *s > 59)
        return std::nullopt;
    const std::int64_t days = daysFromCivil(*y, unsigned(*mo), unsigned(*d));
    std::int64_t cy;
    unsigned cm, cd;
    civilFromDays(days, cy, cm, cd);
    if (cy != *y || int(cm) != *mo || int(cd) != *d) // 31 April and the like
        return std::nullopt;
    return days * 86400 + *h * 3600 + *mi * 60 + *s;
}

std::string frameCurveText(const FrameCurve &curve)
{
    std::string out = kHeader;
    out += "\r\n";
    for (int k = 0; k < FrameCurve::kBins; ++k) {
        const FrameBin &b = curve.bins()[size_t(k)];
        const bool any = b.frames > 0;
        const auto rpm = b.meanRPM();
        out += dotNumberText(FrameCurve::centre(k)) + ',' + curve.unit() + ',' + std::to_string(b.frames) + ','
               + optionalNumber(any, b.meanWatts()) + ',' + optionalNumber(any, b.sdWatts()) + ','
               + optionalNumber(rpm.has_value(), rpm.value_or(0)) + ',' + dotNumberText(b.seconds) + ','
               + (any ? utcText(b.first) : std::string()) + ',' + (any ? utcText(b.last) : std::string()) + ','
               + dotNumberText(b.sumWatts) + ',' + dotNumberText(b.sumSquares) + ',' + std::to_string(b.rpmFrames)
               + ',' + dotNumberText(b.sumRPM) + "\r\n";
    }
    return out;
}

std::optional<FrameCurve> readFrameCurve(std::string_view text, std::string *error, std::string *mended)
{
    auto bad = [error](const std::string &why) -> std::optional<FrameCurve> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const std::vector<std::string_view> lines = splitLines(text);
    if (lines.empty() || lines.front() != kHeader)
        return bad("line 1 is not the header");
    if (lines.size() != FrameCurve::kBins + 1)
        return bad(std::to_string(lines.size() - 1) + " bins instead of " + std::to_string(FrameCurve::kBins));

    if (mended)
        mended->clear();
    FrameCurve curve;
    std::vector<int> unknownRange;
    std::optional<std::int64_t> earliest, latest;
    for (int k = 0; k < FrameCurve::kBins; ++k) {
        const std::string where = "line " + std::to_string(k + 2) + ": ";
        const std::vector<std::string_view> f = split(lines[size_t(k) + 1], ",");
        if (f.size() != kFields)
            return bad(where + std::to_string(f.size()) + " fields");
        const auto speed = readDotNumber(f[0]);
        if (!speed || *speed != FrameCurve::centre(k))
            return bad(where + "not the speed of bin " + std::to_string(k));
        if (k == 0)
            curve.setUnit(std::string(f[1]));
        else if (f[1] != curve.unit())
            return bad(where + "another unit");
        if (f[1].find('"') != std::string_view::npos)
            return bad(where + "a quote in the unit");

        FrameBin &b = curve.bin(k);
        const auto frames = readCount(f[2]), rpmFrames = readCount(f[11]);
        const auto seconds = readDotNumber(f[6]), sum = readDotNumber(f[9]), squares = readDotNumber(f[10]),
                   sumRPM = readDotNumber(f[12]);
        if (!frames || !rpmFrames || !seconds || !sum || !squares || !sumRPM || *seconds < 0 || *squares < 0
            || *rpmFrames > *frames)
            return bad(where + "a count or sum that cannot be");
        b.frames = *frames;
        b.rpmFrames = *rpmFrames;
        b.seconds = *seconds;
        b.sumWatts = *sum;
        b.sumSquares = *squares;
        b.sumRPM = *sumRPM;
        // The derived columns are for people; they only have to be empty or numbers.
        for (size_t i : {3, 4, 5})
            if (!f[i].empty() && !readDotNumber(f[i]))
                return bad(where + "field " + std::to_string(i + 1) + " is not a number");
        if (b.frames == 0) {
            if (!f[7].empty() || !f[8].empty() || b.sumWatts != 0 || b.sumSquares != 0 || b.sumRPM != 0)
                return bad(where + "values in a bin without frames");
            continue;
        }
        // A bin's time range is for people: one that is backwards or half
        // unreadable is mended, never the reason to refuse the whole curve.
        auto first = readUtcText(f[7]), last = readUtcText(f[8]);
        if (!first || !last || *first > *last) {
            if (!first && !last) {
                unknownRange.push_back(k);
            } else {
                if (!first)
                    first = last;
                if (!last)
                    last = first;
            }
            if (mended)
                *mended += std::string(mended->empty() ? "" : ", ") + "bin " + std::to_string(k) + " ("
                           + dotNumberText(FrameCurve::centre(k)) + ' ' + curve.unit() + ')';
        }
        if (first && last) {
            b.first = std::min(*first, *last);
            b.last = std::max(*first, *last);
            earliest = std::min(earliest.value_or(b.first), b.first);
            latest = std::max(latest.value_or(b.last), b.last);
        }
    }
    // A bin with no readable time at all takes the range of the others.
    if (!unknownRange.empty() && !earliest)
        return bad("line " + std::to_string(unknownRange.front() + 2) + ": no time range");
    for (const int k : unknownRange) {
        curve.bin(k).first = *earliest;
        curve.bin(k).last = *latest;
    }
    return curve;
}

} // namespace core
