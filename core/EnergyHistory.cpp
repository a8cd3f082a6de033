// SPDX-License-Identifier: GPL-3.0-or-later
#include "EnergyHistory.h"

#include "LogLine.h"
#include "Number.h"
#include "Text.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace core {

// ---- estimating a day from its daily log --------------------------------------

// How long each record stands for. A record is written every logging interval
// (10 to 600 s, fixed from Start to Stop) and stamped with the minute of
// writing only, so a single gap between two stamps says little about the
// interval, while the spread of many stamps says much: a run of n records
// stamped from minute a to minute b was written every (b - a) × 60 / (n - 1)
// seconds, to within a minute over the whole run.
//
// Runs are found from the gaps. A gap over 11 minutes (the longest interval
// and a minute of stamp rounding) or a stamp going back starts a new run.
// Within a run, a gap longer than the run's mean gap rounded up plus a minute
// means logging was stopped and started again: the run is cut there and each
// part measured again on its own (consecutive single records left over by a
// cut are measured together, as a run of a longer interval). A record alone
// takes the interval of the run before it, else of the run after it, else
// kLoneRecordSeconds. The first record of a run stands for the interval before
// it too, as it is written one interval after Start.
namespace {
struct Run {
    std::size_t begin, end;
};

double meanGapMinutes(const std::vector<long> &minutes, const Run &r)
{
    return double(minutes[r.end - 1] - minutes[r.begin]) / double(r.end - r.begin - 1);
}

void splitRun(const std::vector<long> &minutes, const Run &run, std::vector<Run> *out)
{
    if (run.end - run.begin < 3) {
        out->push_back(run);
        return;
    }
    const long limit = long(std::ceil(meanGapMinutes(minutes, run))) + 1;
    std::vector<Run> parts;
    bool lastSingles = false; // the last part is single records put together
    std::size_t start = run.begin;
    for (std::size_t i = run.begin + 1; i <= run.end; ++i)
        if (i == run.end || minutes[i] - minutes[i - 1] > limit) {
            if (i - start == 1 && lastSingles) {
                parts.back().end = i;
            } else {
                parts.push_back(Run{start, i});
                lastSingles = i - start == 1;
            }
            start = i;
        }
    if (parts.size() == 1) {
        out->push_back(run);
        return;
    }
    for (const Run &p : parts)
        splitRun(minutes, p, out);
}
} // namespace

std::vector<double> recordSeconds(const std::vector<long> &minutes)
{
    std::vector<Run> runs;
    std::size_t start = 0;
    for (std::size_t i = 1; i <= minutes.size(); ++i)
        if (i == minutes.size() || minutes[i] < minutes[i - 1] || minutes[i] - minutes[i - 1] > 11) {
            splitRun(minutes, Run{start, i}, &runs);
            start = i;
        }

    std::vector<std::optional<double>> seconds(runs.size());
    for (std::size_t k = 0; k < runs.size(); ++k)
        if (runs[k].end - runs[k].begin > 1)
            seconds[k] = std::clamp(meanGapMinutes(minutes, runs[k]) * 60, 10.0, 600.0);

    std::vector<double> out(minutes.size(), kLoneRecordSeconds);
    for (std::size_t k = 0; k < runs.size(); ++k) {
        std::optional<double> interval = seconds[k];
        for (std::size_t j = k; !interval && j-- > 0;)
            interval = seconds[j];
        for (std::size_t j = k + 1; !interval && j < runs.size(); ++j)
            interval = seconds[j];
        for (std::size_t i = runs[k].begin; i < runs[k].end; ++i)
            out[i] = interval.value_or(kLoneRecordSeconds);
    }
    return out;
}

std::optional<DayRecord> estimateDay(std::string_view logText, const CivilDate &date, const std::string &windUnit)
{
    const auto records = chooseRecords(logText, 0, 1, std::numeric_limits<std::size_t>::max()).records;
    if (records.empty())
        return std::nullopt;
    std::vector<long> minutes(records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        minutes[i] = long(std::lround(records[i].T * 1440));
    const std::vector<double> seconds = recordSeconds(minutes);

    DayRecord day;
    day.date = date;
    day.estimated = true;
    day.windUnit = windUnit;
    const auto raise = [](std::optional<double> &peak, double v) { peak = peak ? std::max(*peak, v) : v; };
    for (std::size_t i = 0; i < records.size(); ++i) {
        const LogRecord &r = records[i];
        const double d = seconds[i];
        // An interval without a frame is logged as all zeros.
        if (r.V == 0 && r.I == 0 && r.W == 0 && r.R == 0 && r.S == 0) {
            day.noDataSeconds += d;
            continue;
        }
        day.energyWh += r.W * d / 3600;
        raise(day.peakWatts, r.W);
        raise(day.peakRpm, r.R);
        raise(day.peakWind, r.S);
        raise(day.maxVolts, r.V);
        if (r.V > 0)
            day.minVolts = day.minVolts ? std::min(*day.minVolts, r.V) : r.V;
        if (r.M == 1)
            day.loadOnSeconds += d;
    }
    return day;
}

// ---- which days are missing ---------------------------------------------------

std::optional<CivilDate> readLogFileDate(std::string_view name)
{
    constexpr std::string_view kTxt = ".txt";
    if (name.size() <= kTxt.size() || name.substr(name.size() - kTxt.size()) != kTxt)
        return std::nullopt;
    name.remove_suffix(kTxt.size());
    int parts[3] = {0, 0, 0};
    const std::size_t widths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        std::size_t n = 0;
        while (n < name.size() && name[n] >= '0' && name[n] <= '9')
            parts[p] = parts[p] * 10 + (name[n++] - '0');
        if (n == 0 || n > widths[p])
            return std::nullopt;
        name.remove_prefix(n);
        if (p < 2) {
            if (name.empty() || name.front() != '_')
                return std::nullopt;
            name.remove_prefix(1);
        }
    }
    const CivilDate d{parts[0], parts[1], parts[2]};
    if (!name.empty() || d.year < 1 || d.month < 1 || d.month > 12 || d.day < 1
        || civilFromDays(daysFromCivil(d)) != d)
        return std::nullopt;
    return d;
}

std::vector<CivilDate> missingDays(std::string_view csvText, std::vector<CivilDate> logDates,
                                   const CivilDate &today)
{
    std::vector<long> held;
    // Only the date is looked at, so a line that no longer reads still holds its day.
    for (const std::string_view line : splitLines(csvText))
        if (line.size() > 10 && line[10] == ',')
            if (const auto d = readIsoDate(line.substr(0, 10)))
                held.push_back(daysFromCivil(*d));
    std::sort(held.begin(), held.end());
    const long todayKey = daysFromCivil(today);
    std::vector<long> keys;
    for (const CivilDate &d : logDates) {
        const long k = daysFromCivil(d);
        if (k < todayKey && !std::binary_search(held.begin(), held.end(), k))
            keys.push_back(k);
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    std::vector<CivilDate> missing;
    for (const long k : keys)
        missing.push_back(civilFromDays(k));
    return missing;
}

std::string withDays(std::string_view text, std::vector<DayRecord> days)
{
    constexpr const char *kCrLf = "\r\n";
    // Date order, two of one date kept as one (keptDay).
    std::stable_sort(days.begin(), days.end(), [](const DayRecord &a, const DayRecord &b) {
        return daysFromCivil(a.date) < daysFromCivil(b.date);
    });
    std::vector<DayRecord> pending;
    for (const DayRecord &d : days) {
        if (!pending.empty() && pending.back().date == d.date)
            pending.back() = keptDay(pending.back(), d);
        else
            pending.push_back(d);
    }
    const std::string_view header = energyCsvHeader();
    std::string out;
    out.reserve(text.size() + pending.size() * 64);
    std::size_t next = 0;
    bool first = true;
    // Writes the pending days up to the date `upTo`; the one of that date
    // takes the place of `line` (the file's line of that date).
    const auto place = [&](long upTo, const DayRecord *line) {
        bool replaced = false;
        while (next < pending.size() && daysFromCivil(pending[next].date) <= upTo) {
            replaced = line && daysFromCivil(pending[next].date) == upTo;
            out += dayLine(replaced ? keptDay(*line, pending[next]) : pending[next]) + kCrLf;
            ++next;
        }
        return replaced;
    };
    for (const std::string_view line : splitLines(text)) {
        if (first) {
            first = false;
            out += std::string(header) + kCrLf;
            if (line == header)
                continue;
        }
        if (const auto d = readDayLine(line))
            if (place(daysFromCivil(d->date), &*d))
                continue;
        out += std::string(line) + kCrLf;
    }
    if (first)
        out += std::string(header) + kCrLf;
    place(std::numeric_limits<long>::max(), nullptr);
    return out;
}

// ---- totals of a month and of a year ------------------------------------------

int daysInMonth(int year, int month)
{
    const CivilDate first{year, month, 1};
    const CivilDate next = month == 12 ? CivilDate{year + 1, 1, 1} : CivilDate{year, month + 1, 1};
    return int(daysFromCivil(next) - daysFromCivil(first));
}

namespace {
// Whether `candidate` takes the place of `held` for the same date.
bool replaces(const DayRecord &candidate, const std::optional<DayRecord> &held)
{
    return !held || !(candidate.estimated && !held->estimated);
}
} // namespace

MonthSummary monthSummary(const std::vector<DayRecord> &days, int year, int month)
{
    MonthSummary m;
    m.year = year;
    m.month = month;
    m.days.resize(std::size_t(daysInMonth(year, month)));
    for (const DayRecord &d : days)
        if (d.date.year == year && d.date.month == month && replaces(d, m.days[std::size_t(d.date.day - 1)]))
            m.days[std::size_t(d.date.day - 1)] = d;
    for (const auto &d : m.days) {
        if (!d)
            continue;
        ++m.daysRecorded;
        m.total += d->energyWh;
        if (d->estimated) {
            ++m.daysEstimated;
            m.estimatedTotal += d->energyWh;
        } else {
            m.measuredTotal += d->energyWh;
        }
        if (!m.best || d->energyWh > m.best->energyWh)
            m.best = d;
    }
    m.dailyAverage = m.daysRecorded ? m.total / m.daysRecorded : 0;
    return m;
}

YearSummary yearSummary(const std::vector<DayRecord> &days, int year)
{
    YearSummary y;
    y.year = year;
    // One line per date, chosen as for a month.
    std::vector<std::optional<DayRecord>> byDay(366);
    const long first = daysFromCivil(CivilDate{year, 1, 1});
    for (const DayRecord &d : days)
        if (d.date.year == year) {
            auto &slot = byDay[std::size_t(daysFromCivil(d.date) - first)];
            if (replaces(d, slot))
                slot = d;
        }
    for (const auto &d : byDay) {
        if (!d)
            continue;
        MonthTotal &m = y.months[std::size_t(d->date.month - 1)];
        ++m.daysRecorded;
        ++y.daysRecorded;
        m.total += d->energyWh;
        y.total += d->energyWh;
        if (d->estimated) {
            ++m.daysEstimated;
            ++y.daysEstimated;
            m.estimated += d->energyWh;
            y.estimatedTotal += d->energyWh;
        }
    }
    for (int i = 0; i < 12; ++i)
        if (y.months[std::size_t(i)].daysRecorded
            && (!y.bestMonth || y.months[std::size_t(i)].total > y.months[std::size_t(y.bestMonth - 1)].total))
            y.bestMonth = i + 1;
    y.dailyAverage = y.daysRecorded ? y.total / y.daysRecorded : 0;
    return y;
}

std::string energyText(double wattHours)
{
    if (std::fabs(wattHours) < 1000)
        return numberText(roundHalfEven(wattHours, 1)) + " Wh";
    return numberText(roundHalfEven(wattHours / 1000, 2)) + " kWh";
}

} // namespace core
