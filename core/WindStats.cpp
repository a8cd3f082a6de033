// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindStats.h"

#include "Number.h"

#include <algorithm>
#include <cmath>

namespace core {

namespace {

// Above this a minute's mean is no wind but a broken reading.
constexpr double kHighestWind = 150;


std::string periodText(int key, bool month)
{
    if (!month)
        return std::to_string(key);
    const int m = key % 100;
    return std::to_string(key / 100) + (m < 10 ? "-0" : "-") + std::to_string(m);
}

} // namespace

// ---- the Weibull fit ----------------------------------------------------------

std::optional<WeibullFit> fitWeibull(const std::vector<std::pair<double, double>> &samples)
{
    double total = 0, top = 0;
    for (const auto &[x, w] : samples)
        if (x > 0 && std::isfinite(x) && w > 0 && std::isfinite(w)) {
            total += w;
            top = std::max(top, x);
        }
    if (!(total >= kWeibullMinimumMinutes))
        return std::nullopt;
    // Logarithms of the winds as shares of the highest: every power x^k is
    // then at most 1, whatever the shape.
    std::vector<std::pair<double, double>> logs;
    logs.reserve(samples.size());
    double meanLog = 0;
    for (const auto &[x, w] : samples)
        if (x > 0 && std::isfinite(x) && w > 0 && std::isfinite(w)) {
            logs.emplace_back(std::log(x / top), w);
            meanLog += w * logs.back().first;
        }
    meanLog /= total;
    double spread = 0;
    for (const auto &[l, w] : logs)
        spread += w * (l - meanLog) * (l - meanLog);
    if (!(spread / total > 1e-12))
        return std::nullopt;

    // g(k) = sum(w x^k ln x) / sum(w x^k) - 1/k - mean(ln x): zero at the
    // likelihood's maximum, and rising in k.
    double sumPowers = 0;
    auto g = [&](double k, double *slope) {
        double s0 = 0, s1 = 0, s2 = 0;
        for (const auto &[l, w] : logs) {
            const double e = w * std::exp(k * l);
            s0 += e;
            s1 += e * l;
            s2 += e * l * l;
        }
        sumPowers = s0;
        const double a = s1 / s0;
        if (slope)
            *slope = s2 / s0 - a * a + 1 / (k * k);
        return a - 1 / k - meanLog;
    };
    double lo = 0.05, hi = 20;
    while (g(lo, nullptr) > 0 && lo > 1e-4)
        lo /= 2;
    while (g(hi, nullptr) < 0 && hi < 1e4)
        hi *= 2;
    if (g(lo, nullptr) > 0 || g(hi, nullptr) < 0)
        return std::nullopt;
    // Start from the rule of thumb k = (sd / mean)^-1.086.
    double mean = 0, squares = 0;
    for (const auto &[x, w] : samples)
        if (x > 0 && std::isfinite(x) && w > 0 && std::isfinite(w)) {
            mean += w * x;
            squares += w * x * x;
        }
    mean /= total;
    const double sd = std::sqrt(std::max(0.0, squares / total - mean * mean));
    double k = sd > 0 ? std::clamp(std::pow(sd / mean, -1.086), lo, hi) : (lo + hi) / 2;
    for (int i = 0; i < 200; ++i) {
        double slope = 0;
        const double value = g(k, &slope);
        if (value == 0)
            break;
        (value < 0 ? lo : hi) = k;
        double next = k - value / slope;
        if (!(next > lo && next < hi))
            next = (lo + hi) / 2;
        const bool settled = std::abs(next - k) <= 1e-10 * k;
        k = next;
        if (settled || hi - lo <= 1e-12 * hi)
            break;
    }
    g(k, nullptr);
    WeibullFit f;
    f.k = k;
    f.c = top * std::pow(sumPowers / total, 1 / k);
    if (!std::isfinite(f.c) || !(f.c > 0))
        return std::nullopt;
    return f;
}

double weibullCumulative(double speed, const WeibullFit &f)
{
    if (speed <= 0 || f.c <= 0)
        return 0;
    return 1 - std::exp(-std::pow(speed / f.c, f.k));
}

double weibullDensity(double speed, const WeibullFit &f)
{
    if (speed < 0 || f.c <= 0 || (speed == 0 && f.k < 1))
        return 0;
    const double x = speed / f.c;
    return f.k / f.c * std::pow(x, f.k - 1) * std::exp(-std::pow(x, f.k));
}

// ---- gathering ------------------------------------------------------------------

long WindPart::mille() const { return std::lround(wind * 1000); }

WindPart windPart(const ArchiveRow &row, bool hour)
{
    return windPart(row, hour, windUnit(row.windUnit).known(), localDayKey(row.t, row.utcOffset) / 100);
}

WindPart windPart(const ArchiveRow &row, bool hour, bool unitKnown, int month)
{
    WindPart p;
    p.month = month;
    if (!row.wind.n || (hour && row.minutes <= 0))
        return p;
    if (!unitKnown) {
        p.otherUnit = hour ? double(row.minutes) : 1;
        return p;
    }
    if (std::isfinite(row.wind.max) && row.wind.max <= kHighestWind)
        p.gust = WindGust{row.wind.max, row.t, row.utcOffset};
    const double wind = row.wind.mean(), minutes = hour ? double(row.minutes) : 1;
    if (!row.imported && wind >= 0 && wind <= kHighestWind && minutes > 0 && std::isfinite(minutes)) {
        p.wind = wind;
        p.minutes = minutes;
    }
    return p;
}

std::string windTallyKey()
{
    // What decides a row's part: the distribution's resolution, the highest
    // wind taken and the units known.
    std::string key = "mille;highest=" + roundedText(kHighestWind, 0) + ";units=";
    for (const char *unit : {"m/s", "mph", "km/h", "knots"})
        key += std::string(unit) + (windUnit(unit).known() ? "+" : "-");
    return key;
}

void WindTally::addMille(long mille, double minutes)
{
    if (mille < 0 || !(minutes > 0))
        return;
    const auto at = size_t(mille);
    if (at >= m_byMille.size())
        m_byMille.resize(std::max(at + 1, m_byMille.size() * 2), 0.0);
    m_byMille[at] += minutes;
}

void WindTally::addMonth(int month, double minutes, double sumWind, double fromHours, double otherUnit)
{
    m_minutes += minutes;
    m_sumWind += sumWind;
    m_fromHours += fromHours;
    m_otherUnit += otherUnit;
    if (!(minutes > 0))
        return;
    auto at = std::lower_bound(m_months.begin(), m_months.end(), month,
                               [](const WindPeriod &p, int key) { return p.key < key; });
    if (at == m_months.end() || at->key != month)
        at = m_months.insert(at, WindPeriod{month, 0, 0});
    at->minutes += minutes;
    at->sumWind += sumWind;
}

bool WindTally::knownUnit(const std::string &unit)
{
    // Minutes come in runs of one unit: its text is looked at once a run.
    if (!m_unitSeen || unit != m_unit) {
        m_unit = unit;
        m_unitKnown = windUnit(unit).known();
        m_unitSeen = true;
    }
    return m_unitKnown;
}

void WindTally::addGust(double wind, std::int64_t t, int utcOffset)
{
    if (!std::isfinite(wind) || wind > kHighestWind)
        return;
    if (!m_gust || wind > m_gust->wind)
        m_gust = WindGust{wind, t, utcOffset};
}

int WindTally::monthOf(std::int64_t t, int utcOffset)
{
    // A day's minutes come together: its month is worked out once.
    const std::int64_t local = t + utcOffset;
    const std::int64_t day = local >= 0 ? local / 86400 : -((-local + 86399) / 86400);
    if (m_dayMonth == 0 || day != m_day) {
        m_day = day;
        m_dayMonth = localDayKey(t, utcOffset) / 100;
    }
    return m_dayMonth;
}

void WindTally::take(const WindPart &p, bool hour)
{
    m_otherUnit += p.otherUnit;
    if (p.gust)
        addGust(p.gust->wind, p.gust->t, p.gust->utcOffset);
    if (!(p.minutes > 0))
        return;
    const double before = m_minutes;
    add(p.wind, p.minutes, p.month);
    if (hour)
        m_fromHours += m_minutes - before;
}

void WindTally::addMinute(const ArchiveRow &minute)
{
    if (minute.wind.n)
        take(windPart(minute, false, knownUnit(minute.windUnit), monthOf(minute.t, minute.utcOffset)), false);
}

void WindTally::addHour(const ArchiveRow &hour)
{
    if (hour.wind.n && hour.minutes > 0)
        take(windPart(hour, true, knownUnit(hour.windUnit), monthOf(hour.t, hour.utcOffset)), true);
}

void WindTally::add(double wind, double minutes, int month)
{
    if (!(wind >= 0) || wind > kHighestWind || !(minutes > 0) || !std::isfinite(minutes))
        return;
    const auto mille = size_t(std::lround(wind * 1000));
    if (mille >= m_byMille.size())
        m_byMille.resize(std::max(mille + 1, m_byMille.size() * 2), 0.0);
    m_byMille[mille] += minutes;
    m_minutes += minutes;
    m_sumWind += wind * minutes;
    // Rows come oldest first: the month is nearly always the last one.
    if (m_months.empty() || m_months.back().key != month) {
        auto at = std::lower_bound(m_months.begin(), m_months.end(), month,
                                   [](const WindPeriod &p, int key) { return p.key < key; });
        if (at == m_months.end() || at->key != month)
            at = m_months.insert(at, WindPeriod{month, 0, 0});
        at->minutes += minutes;
        at->sumWind += wind * minutes;
        return;
    }
    m_months.back().minutes += minutes;
    m_months.back().sumWind += wind * minutes;
}

void WindTally::merge(const WindTally &later)
{
    if (later.m_byMille.size() > m_byMille.size())
        m_byMille.resize(later.m_byMille.size(), 0.0);
    for (size_t i = 0; i < later.m_byMille.size(); ++i)
        m_byMille[i] += later.m_byMille[i];
    m_minutes += later.m_minutes;
    m_fromHours += later.m_fromHours;
    m_otherUnit += later.m_otherUnit;
    m_sumWind += later.m_sumWind;
    for (const WindPeriod &m : later.m_months) {
        auto at = std::lower_bound(m_months.begin(), m_months.end(), m.key,
                                   [](const WindPeriod &p, int key) { return p.key < key; });
        if (at == m_months.end() || at->key != m.key)
            at = m_months.insert(at, WindPeriod{m.key, 0, 0});
        at->minutes += m.minutes;
        at->sumWind += m.sumWind;
    }
    // An equal gust keeps the earlier one, as a single read would.
    if (later.m_gust && (!m_gust || later.m_gust->wind > m_gust->wind))
        m_gust = later.m_gust;
}

WindStats WindTally::stats() const
{
    WindStats s;
    s.minutes = m_minutes;
    s.minutesFromHours = m_fromHours;
    s.otherUnitMinutes = m_otherUnit;
    s.gust = m_gust;
    s.months = m_months;
    for (const WindPeriod &m : m_months) {
        const int year = m.key / 100;
        if (s.years.empty() || s.years.back().key != year)
            s.years.push_back(WindPeriod{year, 0, 0});
        s.years.back().minutes += m.minutes;
        s.years.back().sumWind += m.sumWind;
    }
    s.meanWind = m_minutes > 0 ? m_sumWind / m_minutes : 0;
    for (size_t i = 0; i < m_byMille.size(); ++i) {
        const double minutes = m_byMille[i];
        if (minutes <= 0)
            continue;
        const double wind = double(i) / 1000;
        s.distribution.emplace_back(wind, minutes);
        if (wind < kCalmBelow)
            s.calmMinutes += minutes;
        if (const auto bin = PowerCurve::binOf(wind))
            s.bins[size_t(*bin)].minutes += minutes;
        else
            s.aboveBinsMinutes += minutes;
    }
    for (WindBinTime &b : s.bins) {
        b.share = m_minutes > 0 ? b.minutes / m_minutes : 0;
        b.hoursPerYear = b.share * kWindYearHours;
    }
    s.weibull = fitWeibull(s.distribution);
    return s;
}

double WindStats::cumulative(double speed) const
{
    if (minutes <= 0)
        return 0;
    double below = 0;
    for (const auto &[wind, m] : distribution) {
        if (wind >= speed)
            break;
        below += m;
    }
    return below / minutes;
}

double WindStats::weibullHoursPerYear(int bin) const
{
    if (!weibull || bin < 0 || bin >= PowerCurve::kBins)
        return 0;
    const double centre = PowerCurve::centre(bin), half = PowerCurve::kBinWidth / 2;
    const double share = weibullCumulative(centre + half, *weibull)
                         - weibullCumulative(std::max(0.0, centre - half), *weibull);
    return ((1 - calmShare()) * share + (bin == 0 ? calmShare() : 0)) * kWindYearHours;
}

// ---- the site's own estimate ----------------------------------------------------

std::vector<CurvePoint> siteCurve(const std::vector<CurvePoint> &normalised, const CurveRules &rules)
{
    std::vector<CurvePoint> out = normalised;
    const double ratio = rules.density / kReferenceDensity;
    for (CurvePoint &p : out) {
        if (rules.activePowerControl)
            p.wind /= std::cbrt(ratio);
        else
            p.watts *= ratio;
    }
    return out;
}

SiteEstimate siteEstimate(const WindStats &wind, const PowerCurve &curve, const TurbineSettings &settings)
{
    SiteEstimate e;
    const std::vector<CurvePoint> points = siteCurve(measuredPoints(curve), curveRules(settings));
    if (points.empty() || wind.minutes <= 0)
        return e;
    auto factor = [&settings](double kwh) -> std::optional<double> {
        if (!settings.ratedPower || !(*settings.ratedPower > 0))
            return std::nullopt;
        return kwh / (*settings.ratedPower / 1000 * kWindYearHours);
    };
    SiteEnergy measured;
    measured.row = energyOver(points, settings.cutOut, [&wind](double v) { return wind.cumulative(v); });
    measured.row.averageWind = wind.meanWind;
    measured.capacityFactor = factor(measured.row.measuredKwh);
    e.measured = measured;
    if (wind.weibull) {
        const WeibullFit f = *wind.weibull;
        const double calm = wind.calmShare();
        SiteEnergy fitted;
        fitted.row = energyOver(points, settings.cutOut, [f, calm](double v) {
            return v <= 0 ? 0 : calm + (1 - calm) * weibullCumulative(v, f);
        });
        fitted.row.averageWind = (1 - calm) * f.c * std::tgamma(1 + 1 / f.k);
        fitted.capacityFactor = factor(fitted.row.measuredKwh);
        e.weibull = fitted;
    }
    return e;
}

std::string windReportText(const WindStats &wind, const PowerCurve &curve, const TurbineSettings &settings)
{
    std::string out = "bin_m_s,minutes,share,hours_a_year,weibull_hours_a_year\r\n";
    int last = -1;
    for (int k = 0; k < PowerCurve::kBins; ++k)
        if (wind.bins[size_t(k)].minutes > 0)
            last = k;
    for (int k = 0; k <= last; ++k) {
        const WindBinTime &b = wind.bins[size_t(k)];
        out += dotNumberText(PowerCurve::centre(k)) + ',' + roundedText(b.minutes, 0) + ',' + roundedText(b.share, 5) + ','
               + roundedText(b.hoursPerYear, 1) + ',' + (wind.weibull ? roundedText(wind.weibullHoursPerYear(k), 1) : "")
               + "\r\n";
    }
    out += "\r\nmonth,minutes,mean_wind_m_s\r\n";
    for (const WindPeriod &m : wind.months)
        out += periodText(m.key, true) + ',' + roundedText(m.minutes, 0) + ',' + roundedText(m.mean(), 2) + "\r\n";
    out += "\r\nyear,minutes,mean_wind_m_s\r\n";
    for (const WindPeriod &y : wind.years)
        out += periodText(y.key, false) + ',' + roundedText(y.minutes, 0) + ',' + roundedText(y.mean(), 2) + "\r\n";

    out += "\r\nminutes_measured," + roundedText(wind.minutes, 0) + "\r\n";
    out += "minutes_from_hours," + roundedText(wind.minutesFromHours, 0) + "\r\n";
    out += "mean_wind_m_s," + (wind.minutes > 0 ? roundedText(wind.meanWind, 2) : std::string()) + "\r\n";
    out += "calm_share," + (wind.minutes > 0 ? roundedText(wind.calmShare(), 4) : std::string()) + "\r\n";
    out += "above_last_bin_minutes," + roundedText(wind.aboveBinsMinutes, 0) + "\r\n";
    out += "other_unit_minutes," + roundedText(wind.otherUnitMinutes, 0) + "\r\n";
    out += "strongest_gust_m_s," + (wind.gust ? roundedText(wind.gust->wind, 2) : std::string()) + "\r\n";
    out += "strongest_gust_time," + (wind.gust ? isoLocalTime(wind.gust->t, wind.gust->utcOffset) : std::string())
           + "\r\n";
    out += "weibull_k," + (wind.weibull ? roundedText(wind.weibull->k, 3) : std::string()) + "\r\n";
    out += "weibull_c_m_s," + (wind.weibull ? roundedText(wind.weibull->c, 3) : std::string()) + "\r\n";

    const SiteEstimate site = siteEstimate(wind, curve, settings);
    out +=
        "\r\ndistribution,mean_wind_m_s,aep_measured_kwh,aep_extrapolated_kwh,aep_measured_note,capacity_factor\r\n";
    for (const auto &[name, energy] : {std::pair{"measured", site.measured}, std::pair{"weibull", site.weibull}}) {
        out += name;
        if (energy)
            out += ',' + roundedText(energy->row.averageWind, 2) + ',' + roundedText(energy->row.measuredKwh, 1) + ','
                   + roundedText(energy->row.extrapolatedKwh, 1) + ',' + (energy->row.incomplete ? "incomplete" : "")
                   + ',' + roundedText(energy->capacityFactor, 4);
        else
            out += ",,,,,";
        out += "\r\n";
    }
    out += "rated_power_w," + roundedText(settings.ratedPower, 1) + "\r\n";
    out += "air_density_kg_m3," + roundedText(siteDensity(settings), 4) + "\r\n";
    return out;
}

} // namespace core
