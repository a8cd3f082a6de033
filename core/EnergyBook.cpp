// SPDX-License-Identifier: GPL-3.0-or-later
#include "EnergyBook.h"

#include "Number.h"
#include "TagValue.h"
#include "Text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace core {

namespace {
constexpr const char *kCrLf = "\r\n";
constexpr std::string_view kHeader =
    "date,energy_wh,estimated,peak_watts,peak_wind,wind_unit,peak_rpm,min_volts,max_volts,"
    "load_on_minutes,no_data_minutes,frames_received,frames_rejected";
constexpr std::size_t kColumns = 13;

std::string optionalText(const std::optional<double> &v) { return v ? dotNumberText(*v) : std::string(); }

// Empty is "none"; anything else must be a number.
bool readOptional(std::string_view text, std::optional<double> *out)
{
    if (text.empty()) {
        out->reset();
        return true;
    }
    *out = readNumber(text);
    return out->has_value();
}

} // namespace

// ---- dates ------------------------------------------------------------------

// The civil-calendar arithmetic of the proleptic Gregorian calendar.
long daysFromCivil(const CivilDate &d)
{
    const long y = d.year - (d.month <= 2 ? 1 : 0);
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long mp = (d.month + 9) % 12;
    const long doy = (153 * mp + 2) / 5 + d.day - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilDate civilFromDays(long z)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    return {int(yoe + era * 400 + (month <= 2 ? 1 : 0)), month, day};
}

std::string isoDate(const CivilDate &d)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year % 10000, d.month % 100, d.day % 100);
    return text;
}

std::optional<CivilDate> readIsoDate(std::string_view t)
{
    if (t.size() != 10 || t[4] != '-' || t[7] != '-')
        return std::nullopt;
    int parts[3] = {0, 0, 0};
    const std::size_t starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p)
        for (std::size_t i = 0; i < lengths[p]; ++i) {
            const char c = t[starts[p] + i];
            if (c < '0' || c > '9')
                return std::nullopt;
            parts[p] = parts[p] * 10 + (c - '0');
        }
    const CivilDate d{parts[0], parts[1], parts[2]};
    if (d.year < 1 || d.month < 1 || d.month > 12 || d.day < 1 || civilFromDays(daysFromCivil(d)) != d)
        return std::nullopt;
    return d;
}

// ---- energy.cfg -------------------------------------------------------------

std::string energyStateText(const EnergyState &s)
{
    return std::string("Energy State File") + kCrLf + kCrLf + tagLine("Date", isoDate(s.date))
           + tagLine("Today", dotNumberText(s.today)) + tagLine("Yesterday", dotNumberText(s.yesterday))
           + tagLine("Lifetime", dotNumberText(s.lifetime)) + tagLine("Written", s.written) + kCrLf;
}

std::optional<EnergyState> readEnergyState(std::string_view text)
{
    EnergyState s;
    const auto date = tagValue(text, "Date");
    const auto d = date ? readIsoDate(*date) : std::nullopt;
    if (!d)
        return std::nullopt;
    s.date = *d;
    const std::pair<const char *, double *> numbers[] = {
        {"Today", &s.today}, {"Yesterday", &s.yesterday}, {"Lifetime", &s.lifetime}};
    for (const auto &[key, value] : numbers) {
        const auto t = tagValue(text, key);
        const auto v = t ? readNumber(*t) : std::nullopt;
        if (!v)
            return std::nullopt;
        *value = *v;
    }
    s.written = tagValue(text, "Written").value_or(std::string());
    return s;
}

// ---- logs/energy.csv --------------------------------------------------------

std::string_view energyCsvHeader() { return kHeader; }

std::string dayLine(const DayRecord &d)
{
    // The unit is the user's text: nothing in it may split or quote a field.
    std::string unit;
    for (const char c : d.windUnit)
        if (c != ',' && c != '"' && c != '\r' && c != '\n')
            unit += c;
    const auto count = [](const std::optional<long long> &n) { return n ? std::to_string(*n) : std::string(); };
    const auto minutes = [](double seconds) { return dotNumberText(roundHalfEven(seconds / 60)); };
    std::string line = isoDate(d.date);
    for (const std::string &field :
         {dotNumberText(roundHalfEven(d.energyWh, 2)), std::string(d.estimated ? "1" : "0"),
          optionalText(d.peakWatts), optionalText(d.peakWind), unit, optionalText(d.peakRpm),
          optionalText(d.minVolts), optionalText(d.maxVolts), minutes(d.loadOnSeconds), minutes(d.noDataSeconds),
          count(d.framesReceived), count(d.framesRejected)})
        line += ',' + field;
    return line;
}

std::optional<DayRecord> readDayLine(std::string_view line)
{
    const auto f = split(line, ",");
    if (f.size() != kColumns)
        return std::nullopt;
    DayRecord d;
    const auto date = readIsoDate(f[0]);
    const auto energy = readNumber(f[1]);
    if (!date || !energy || (f[2] != "0" && f[2] != "1"))
        return std::nullopt;
    d.date = *date;
    d.energyWh = *energy;
    d.estimated = f[2] == "1";
    d.windUnit = std::string(f[5]);
    std::optional<double> load, noData, received, rejected;
    if (!readOptional(f[3], &d.peakWatts) || !readOptional(f[4], &d.peakWind) || !readOptional(f[6], &d.peakRpm)
        || !readOptional(f[7], &d.minVolts) || !readOptional(f[8], &d.maxVolts) || !readOptional(f[9], &load)
        || !readOptional(f[10], &noData) || !readOptional(f[11], &received) || !readOptional(f[12], &rejected))
        return std::nullopt;
    d.loadOnSeconds = load.value_or(0) * 60;
    d.noDataSeconds = noData.value_or(0) * 60;
    // Counts are whole numbers a day can hold; anything else is a damaged line.
    const auto count = [](const std::optional<double> &v, std::optional<long long> *out) {
        if (!v)
            return true;
        if (!(*v >= 0 && *v <= 1e15 && *v == std::floor(*v)))
            return false;
        *out = static_cast<long long>(*v);
        return true;
    };
    if (!count(received, &d.framesReceived) || !count(rejected, &d.framesRejected))
        return std::nullopt;
    return d;
}

std::vector<DayRecord> readEnergyCsv(std::string_view text)
{
    std::vector<DayRecord> days;
    for (const auto line : splitLines(text))
        if (auto d = readDayLine(line))
            days.push_back(*d);
    return days;
}

std::string withDay(std::string_view text, const DayRecord &day)
{
    std::vector<std::string_view> lines = splitLines(text);
    if (lines.empty() || lines.front() != kHeader)
        lines.insert(lines.begin(), kHeader);
    const std::string own = dayLine(day);
    const long key = daysFromCivil(day.date);
    bool placed = false;
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto d = i == 0 ? std::nullopt : readDayLine(lines[i]);
        if (!placed && d && daysFromCivil(d->date) >= key) {
            placed = true;
            if (daysFromCivil(d->date) == key) {
                out += dayLine(keptDay(*d, day)) + kCrLf;
                continue;
            }
            out += own + kCrLf;
        }
        out += std::string(lines[i]) + kCrLf;
    }
    if (!placed)
        out += own + kCrLf;
    return out;
}

DayRecord keptDay(const DayRecord &old, const DayRecord &now)
{
    if (old.estimated != now.estimated)
        return old.estimated ? now : old;
    DayRecord d = now;
    const auto larger = [](std::optional<double> &a, const std::optional<double> &b) {
        if (b && (!a || *b > *a))
            a = b;
    };
    const auto largerCount = [](std::optional<long long> &a, const std::optional<long long> &b) {
        if (b && (!a || *b > *a))
            a = b;
    };
    d.energyWh = std::max(old.energyWh, now.energyWh);
    larger(d.peakWatts, old.peakWatts);
    larger(d.peakWind, old.peakWind);
    larger(d.peakRpm, old.peakRpm);
    larger(d.maxVolts, old.maxVolts);
    if (old.minVolts && (!d.minVolts || *old.minVolts < *d.minVolts))
        d.minVolts = old.minVolts;
    d.loadOnSeconds = std::max(old.loadOnSeconds, now.loadOnSeconds);
    d.noDataSeconds = std::max(old.noDataSeconds, now.noDataSeconds);
    largerCount(d.framesReceived, old.framesReceived);
    largerCount(d.framesRejected, old.framesRejected);
    if (d.windUnit.empty())
        d.windUnit = old.windUnit;
    return d;
}

std::optional<DayRecord> measuredDay(const std::vector<DayRecord> &days, const CivilDate &date)
{
    std::optional<DayRecord> found;
    for (const DayRecord &d : days)
        if (d.date == date && !d.estimated)
            found = found ? keptDay(*found, d) : d;
    return found;
}

EnergyStart energyAtStart(const std::optional<EnergyState> &stored, const std::vector<DayRecord> &days,
                          const CivilDate &today)
{
    EnergyStart e;
    const long t = daysFromCivil(today);
    // What the state holds for a date: its own date's total and the day before's.
    const auto storedFor = [&](long day) -> std::optional<double> {
        if (!stored)
            return std::nullopt;
        const long own = daysFromCivil(stored->date);
        if (day == own)
            return stored->today;
        if (day == own - 1)
            return stored->yesterday;
        return std::nullopt;
    };
    const auto energyOf = [&](long day, std::optional<DayRecord> line) {
        const auto s = storedFor(day);
        return std::max(line ? line->energyWh : 0.0, s.value_or(0.0));
    };
    e.todayLine = measuredDay(days, today);
    e.today = energyOf(t, e.todayLine);
    if (e.todayLine)
        e.todayLine->energyWh = e.today;
    // Yesterday is the line of the day before today, whatever came before:
    // an estimate stands when it is all there is.
    const CivilDate before = civilFromDays(t - 1);
    std::optional<DayRecord> yesterdayLine = measuredDay(days, before);
    if (!yesterdayLine)
        for (const DayRecord &d : days)
            if (d.date == before)
                yesterdayLine = d;
    e.yesterday = energyOf(t - 1, yesterdayLine);
    if (stored) {
        e.clockBack = t < daysFromCivil(stored->date);
        // The state's lifetime holds its own date's total; a line of that
        // date that holds more was counted too, in a state not written since.
        e.lifetime = stored->lifetime + (stored->date == today ? e.today - stored->today : 0);
        if (stored->date != today) {
            const auto line = measuredDay(days, stored->date);
            if ((line && line->energyWh < stored->today) || (!line && stored->today != 0)) {
                DayRecord d = line.value_or(DayRecord());
                d.date = stored->date;
                d.energyWh = stored->today;
                e.storedDay = d;
            }
        }
    } else {
        e.rebuilt = true;
        std::vector<long> seen;
        for (const DayRecord &d : days) {
            const long key = daysFromCivil(d.date);
            if (d.estimated || std::find(seen.begin(), seen.end(), key) != seen.end())
                continue;
            seen.push_back(key);
            e.lifetime += measuredDay(days, d.date)->energyWh;
        }
    }
    return e;
}

// ---- the book ---------------------------------------------------------------

void EnergyBook::start(const EnergyStart &totals, const CivilDate &today, double now, const std::string &windUnit)
{
    m_counter = EnergyCounter();
    m_counter.begin(now, today);
    m_counter.setWattHours(totals.today);
    m_yesterday = totals.yesterday;
    m_lifetime = totals.lifetime;
    // A measured line of today goes on; an estimate is replaced by measurement.
    m_day = totals.todayLine && totals.todayLine->date == today ? *totals.todayLine : DayRecord();
    m_day.date = today;
    m_day.windUnit = windUnit;
    m_day.energyWh = totals.today;
    m_lastStep = now;
}

void EnergyBook::setToday(double wattHours)
{
    m_lifetime += wattHours - m_counter.wattHours();
    m_counter.setWattHours(wattHours);
    m_day.energyWh = wattHours;
}

void EnergyBook::frame(const RawReading &raw, const Reading &r)
{
    if (!isLive(raw))
        return;
    const auto raise = [](std::optional<double> &peak, double v) { peak = peak ? std::max(*peak, v) : v; };
    raise(m_day.peakWatts, r.Watts);
    raise(m_day.maxVolts, r.Volts);
    m_day.minVolts = m_day.minVolts ? std::min(*m_day.minVolts, r.Volts) : r.Volts;
    if (raw.rpmRead)
        raise(m_day.peakRpm, r.RPM);
    if (raw.windRead)
        raise(m_day.peakWind, r.WindSpeed);
}

std::optional<DayRecord> EnergyBook::step(double watts, std::int16_t mode, const Liveness &liveness, double now,
                                          const CivilDate &today)
{
    // Energy is counted from the time that passed (capped by the counter);
    // no-data time is the whole gap, as a machine that slept had no data.
    const double elapsed = std::max(0.0, now - m_lastStep.value_or(now - EnergyCounter::kStepSeconds));
    m_lastStep = now;
    double before = m_counter.wattHours();
    std::optional<DayRecord> finished;
    std::optional<DayRecord> line;
    if (today != m_day.date) {
        DayRecord old = m_day;
        old.energyWh = before;
        finished = old;
        const long days = daysFromCivil(today) - daysFromCivil(old.date);
        line = m_lookup ? m_lookup(today) : std::nullopt;
        if (line && (line->date != today || line->estimated))
            line.reset();
        if (days == 1) {
            m_yesterday = before;
        } else {
            const auto y = m_lookup ? m_lookup(civilFromDays(daysFromCivil(today) - 1)) : std::nullopt;
            m_yesterday = y ? y->energyWh : 0;
        }
        m_day = line.value_or(DayRecord());
        m_day.date = today;
        m_day.windUnit = old.windUnit;
        before = line ? line->energyWh : 0;
    }
    m_counter.step(watts, liveness, now, today);
    // The counter starts a new date at 0; a date with a line goes on from it.
    if (line)
        m_counter.setWattHours(m_counter.wattHours() + line->energyWh);
    m_lifetime += m_counter.wattHours() - before;
    m_day.energyWh = m_counter.wattHours();
    const DataState state = liveness.state(now);
    if (state == DataState::Stale) // the part of the interval after the data turned stale
        m_day.noDataSeconds += std::clamp(
            now - std::max(now - elapsed, liveness.liveUntil().value_or(now - elapsed)), 0.0, elapsed);
    else if (state == DataState::Live && mode == 1)
        m_day.loadOnSeconds += std::min(elapsed, EnergyCounter::kMaxStepSeconds);
    return finished;
}

void EnergyBook::countFrames(long long received, long long rejected)
{
    m_day.framesReceived = m_day.framesReceived.value_or(0) + received;
    m_day.framesRejected = m_day.framesRejected.value_or(0) + rejected;
}

EnergyState EnergyBook::state(const std::string &written) const
{
    return {m_day.date, today(), m_yesterday, m_lifetime, written};
}

} // namespace core
