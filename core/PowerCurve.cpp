// SPDX-License-Identifier: GPL-3.0-or-later
#include "PowerCurve.h"

#include "Number.h"
#include "Text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace core {

namespace {

constexpr double kHoursPerYear = 8760;
constexpr double kPi = 3.14159265358979323846;
// Speeds that land on an edge after a unit conversion may be a rounding step
// below it; they still go to the upper bin.
constexpr double kEdgeSlack = 1e-9;
constexpr int kBin11 = 22;

const char kHeader[] = "wind_speed,unit,frames,mean_watts,sd_watts,mean_rpm,seconds,first_frame,last_frame,"
                       "sum_watts,sum_squares_watts,rpm_frames,sum_rpm";
constexpr size_t kFields = 13;

std::string lowerWithoutBlanks(std::string_view text)
{
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isspace(u))
            continue;
        out += u < 128 ? char(std::tolower(u)) : c;
    }
    return out;
}

bool usable(const std::optional<double> &divider) { return divider && *divider != 0.0; }

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

WindUnit windUnit(std::string_view wsUnits)
{
    const std::string key = lowerWithoutBlanks(wsUnits);
    if (key == "kmh" || key == "km/h" || key == "kph")
        return {"m/s", 1 / 3.6};
    if (key == "mph")
        return {"m/s", 0.44704};
    if (key == "m/s" || key == "ms")
        return {"m/s", 1.0};
    if (key == "knots" || key == "kn" || key == "kt")
        return {"m/s", 1852.0 / 3600};
    // Kept as the curve's unit in a comma-separated file: nothing that would
    // split or quote a field.
    std::string name;
    for (char c : key)
        if (c != ',' && c != '"' && static_cast<unsigned char>(c) >= 32 && c != 127)
            name += c;
    return {name, std::nullopt};
}

std::optional<CurveSample> curveSample(const RawReading &raw, const Reading &reading, const Calibration &cal,
                                       DataState state)
{
    // Without a usable divider the reading keeps an old wind speed, which
    // would pair with this frame's watts.
    if (state != DataState::Live || !isLive(raw) || !raw.windRead || !usable(cal.WSDivider))
        return std::nullopt;
    CurveSample s{reading.WindSpeed, reading.Watts, std::nullopt};
    if (raw.rpmRead && usable(cal.RPMDivider))
        s.rpm = reading.RPM;
    return s;
}

double PowerCurveBin::sdWatts() const
{
    if (frames < 2)
        return 0;
    const double n = double(frames);
    const double variance = (sumSquares - sumWatts * sumWatts / n) / (n - 1);
    return variance > 0 ? std::sqrt(variance) : 0;
}

std::optional<double> PowerCurveBin::meanRPM() const
{
    if (!rpmFrames)
        return std::nullopt;
    return sumRPM / double(rpmFrames);
}

bool PowerCurveBin::operator==(const PowerCurveBin &o) const
{
    return frames == o.frames && sumWatts == o.sumWatts && sumSquares == o.sumSquares && rpmFrames == o.rpmFrames
           && sumRPM == o.sumRPM && seconds == o.seconds && first == o.first && last == o.last;
}

std::optional<int> PowerCurve::binOf(double speed)
{
    const double halfSteps = speed / kBinWidth;
    if (!(halfSteps >= 0) || halfSteps > (kBins - 1) + 0.5 + kEdgeSlack)
        return std::nullopt;
    const int k = int(std::floor(halfSteps + 0.5 + kEdgeSlack));
    return k < kBins ? k : kBins - 1;
}

PowerCurve::Added PowerCurve::add(const std::optional<CurveSample> &sample, const WindUnit &unit, double monotonic,
                                  std::int64_t unixTime)
{
    // A frame stands for the time since the frame before it, unless the data
    // went stale in between.
    double since = 0;
    if (m_lastFrame && monotonic >= *m_lastFrame && monotonic - *m_lastFrame < kStaleAfterSeconds)
        since = monotonic - *m_lastFrame;
    m_lastFrame = monotonic;
    if (!sample)
        return Added::NotCounted;
    if (unit.name != m_unit) {
        if (!empty())
            return Added::OtherUnit;
        m_unit = unit.name;
    }
    const auto k = binOf(sample->windSpeed * unit.toMetresPerSecond.value_or(1.0));
    if (!k)
        return Added::NotCounted;
    PowerCurveBin &b = m_bins[size_t(*k)];
    // The earliest and latest time seen, in whatever order they come (the
    // clock may be set back).
    if (b.frames == 0 || unixTime < b.first)
        b.first = unixTime;
    if (b.frames == 0 || unixTime > b.last)
        b.last = unixTime;
    ++b.frames;
    b.sumWatts += sample->watts;
    b.sumSquares += sample->watts * sample->watts;
    if (sample->rpm) {
        ++b.rpmFrames;
        b.sumRPM += *sample->rpm;
    }
    b.seconds += since;
    return Added::Counted;
}

std::uint64_t PowerCurve::frames() const
{
    std::uint64_t n = 0;
    for (const PowerCurveBin &b : m_bins)
        n += b.frames;
    return n;
}

double PowerCurve::hoursOfData() const
{
    double s = 0;
    for (const PowerCurveBin &b : m_bins)
        s += b.seconds;
    return s / 3600;
}

double rayleighCumulative(double speed, double averageSpeed)
{
    if (speed <= 0)
        return 0;
    const double x = speed / averageSpeed;
    return 1 - std::exp(-kPi / 4 * x * x);
}

AnnualEstimate annualEstimate(const PowerCurve &curve)
{
    AnnualEstimate e;
    e.knownUnit = curve.inMetresPerSecond();
    e.hoursOfData = curve.hoursOfData();
    if (!e.knownUnit)
        return e;
    const auto &bins = curve.bins();
    if (bins[kBin11].frames)
        e.wattsAt11 = bins[kBin11].meanWatts();
    std::vector<int> measured;
    for (int k = 0; k < PowerCurve::kBins; ++k)
        if (bins[size_t(k)].frames)
            measured.push_back(k);
    if (measured.empty())
        return e;

    const double lowest = PowerCurve::centre(measured.front());
    const double highest = PowerCurve::centre(measured.back());
    for (int average = 4; average <= 11; ++average) {
        const double v = average;
        auto F = [v](double speed) { return rayleighCumulative(speed, v); };
        // From 0 W half a bin below the lowest measured bin up to its power.
        double watts = (F(lowest) - F(lowest - PowerCurve::kBinWidth)) * bins[size_t(measured.front())].meanWatts()
                       / 2;
        for (size_t i = 1; i < measured.size(); ++i) {
            const int a = measured[i - 1], b = measured[i];
            watts += (F(PowerCurve::centre(b)) - F(PowerCurve::centre(a)))
                     * (bins[size_t(a)].meanWatts() + bins[size_t(b)].meanWatts()) / 2;
        }
        const double covered = F(highest + PowerCurve::kBinWidth / 2) - F(lowest - PowerCurve::kBinWidth / 2);
        e.rows.push_back({v, watts * kHoursPerYear / 1000, covered});
    }
    return e;
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

std::string powerCurveText(const PowerCurve &curve)
{
    std::string out = kHeader;
    out += "\r\n";
    for (int k = 0; k < PowerCurve::kBins; ++k) {
        const PowerCurveBin &b = curve.bins()[size_t(k)];
        const bool any = b.frames > 0;
        const auto rpm = b.meanRPM();
        out += dotNumberText(PowerCurve::centre(k)) + ',' + curve.unit() + ',' + std::to_string(b.frames) + ','
               + optionalNumber(any, b.meanWatts()) + ',' + optionalNumber(any, b.sdWatts()) + ','
               + optionalNumber(rpm.has_value(), rpm.value_or(0)) + ',' + dotNumberText(b.seconds) + ','
               + (any ? utcText(b.first) : std::string()) + ',' + (any ? utcText(b.last) : std::string()) + ','
               + dotNumberText(b.sumWatts) + ',' + dotNumberText(b.sumSquares) + ',' + std::to_string(b.rpmFrames)
               + ',' + dotNumberText(b.sumRPM) + "\r\n";
    }
    return out;
}

std::optional<PowerCurve> readPowerCurve(std::string_view text, std::string *error, std::string *mended)
{
    auto bad = [error](const std::string &why) -> std::optional<PowerCurve> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const std::vector<std::string_view> lines = splitLines(text);
    if (lines.empty() || lines.front() != kHeader)
        return bad("line 1 is not the header");
    if (lines.size() != PowerCurve::kBins + 1)
        return bad(std::to_string(lines.size() - 1) + " bins instead of " + std::to_string(PowerCurve::kBins));

    if (mended)
        mended->clear();
    PowerCurve curve;
    std::vector<int> unknownRange;
    std::optional<std::int64_t> earliest, latest;
    for (int k = 0; k < PowerCurve::kBins; ++k) {
        const std::string where = "line " + std::to_string(k + 2) + ": ";
        const std::vector<std::string_view> f = split(lines[size_t(k) + 1], ",");
        if (f.size() != kFields)
            return bad(where + std::to_string(f.size()) + " fields");
        const auto speed = readDotNumber(f[0]);
        if (!speed || *speed != PowerCurve::centre(k))
            return bad(where + "not the speed of bin " + std::to_string(k));
        if (k == 0)
            curve.setUnit(std::string(f[1]));
        else if (f[1] != curve.unit())
            return bad(where + "another unit");
        if (f[1].find('"') != std::string_view::npos)
            return bad(where + "a quote in the unit");

        PowerCurveBin &b = curve.bin(k);
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
                           + dotNumberText(PowerCurve::centre(k)) + ' ' + curve.unit() + ')';
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

std::string powerCurveExportText(const PowerCurve &curve)
{
    const AnnualEstimate e = annualEstimate(curve);
    std::string out = powerCurveText(curve) + "\r\n";
    if (!e.knownUnit) {
        out += "annual_energy,needs a known wind speed unit (kmh km/h kph mph m/s ms knots kn kt)\r\n";
    } else {
        out += "annual_average_wind_m_s,annual_energy_kwh,share_of_year_covered_percent\r\n";
        for (const EstimateRow &r : e.rows)
            out += dotNumberText(r.averageWind) + ',' + dotNumberText(roundHalfEven(r.kilowattHours, 1)) + ','
                   + dotNumberText(roundHalfEven(r.coveredShare * 100, 1)) + "\r\n";
        out += "watts_at_11_m_s,"
               + optionalNumber(e.wattsAt11.has_value(), roundHalfEven(e.wattsAt11.value_or(0), 1)) + "\r\n";
    }
    out += "hours_of_data," + dotNumberText(roundHalfEven(e.hoursOfData, 2)) + "\r\n";
    return out;
}

} // namespace core
