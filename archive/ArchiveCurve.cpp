// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's power curve: the bins kept beside the minutes, made again by
// other rules, reset, and an earlier version's frame curve taken in.
#include "ArchiveDb.h"
#include "Statement.h"

#include <cstdint>
#include <cstdlib>

namespace archive {

namespace {
enum Reason { kBatteryFull = 1, kLoadOn = 2 };
const char kBinColumns[] = "bin, minutes, wind_sum, watts_sum, watts_squares, rpm_n, rpm_sum";
} // namespace

std::optional<std::string> ArchiveDb::meta(const char *key)
{
    Statement s(m_db, "SELECT value FROM meta WHERE key = ?");
    if (!s.ok())
        return std::nullopt;
    s.bind(1, std::string(key));
    if (s.step() != SQLITE_ROW)
        return std::nullopt;
    return s.text(0);
}

std::int64_t ArchiveDb::curveSince()
{
    const std::string text = meta("curve_since").value_or("0");
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    return end && *end == '\0' ? std::int64_t(v) : 0;
}

bool ArchiveDb::setMeta(const char *key, const std::string &value)
{
    Statement s(m_db, "INSERT OR REPLACE INTO meta VALUES(?, ?)");
    if (!s.ok())
        return fail("write");
    s.bind(1, std::string(key));
    s.bind(2, value);
    return s.step() == SQLITE_DONE || fail("write");
}

bool ArchiveDb::writeBin(const char *table, int bin, const core::CurveBin &b, bool add)
{
    std::string sql = std::string(add ? "INSERT INTO " : "INSERT OR REPLACE INTO ") + table + "(" + kBinColumns
                      + ") VALUES(?,?,?,?,?,?,?)";
    if (add)
        sql += " ON CONFLICT(bin) DO UPDATE SET minutes = minutes + excluded.minutes, wind_sum = wind_sum + "
               "excluded.wind_sum, watts_sum = watts_sum + excluded.watts_sum, watts_squares = watts_squares + "
               "excluded.watts_squares, rpm_n = rpm_n + excluded.rpm_n, rpm_sum = rpm_sum + excluded.rpm_sum";
    Statement s(m_db, sql.c_str());
    if (!s.ok())
        return fail("write");
    s.bind(1, std::int64_t(bin));
    s.bind(2, std::int64_t(b.minutes));
    s.bind(3, b.sumWind);
    s.bind(4, b.sumWatts);
    s.bind(5, b.sumSquares);
    s.bind(6, std::int64_t(b.rpmMinutes));
    s.bind(7, b.sumRPM);
    return s.step() == SQLITE_DONE || fail("write");
}

bool ArchiveDb::applyToCurve(const core::ArchiveRow &minute, int sign)
{
    const core::CurveMinute m = core::curveMinute(minute, *m_rules);
    if (m.use == core::MinuteUse::Unusable)
        return true;
    core::PowerCurve part;
    const int month = core::localDayKey(minute.t, minute.utcOffset) / 100;
    part.add(m, month, sign);
    if (m.use == core::MinuteUse::Curve)
        return writeBin("curve_bin", m.bin, part.bins()[size_t(m.bin)], true);
    Statement s(m_db, "INSERT INTO curve_curtailed VALUES(?,?,?,?) ON CONFLICT(month, reason) DO UPDATE SET "
                      "seconds = seconds + excluded.seconds, energy_wh = energy_wh + excluded.energy_wh");
    if (!s.ok())
        return fail("write");
    const core::Curtailment &c = part.curtailment(month, m.use);
    s.bind(1, std::int64_t(month));
    s.bind(2, std::int64_t(m.use == core::MinuteUse::BatteryFull ? kBatteryFull : kLoadOn));
    s.bind(3, c.seconds);
    s.bind(4, c.energyWh);
    return s.step() == SQLITE_DONE || fail("write");
}

std::optional<core::PowerCurve> ArchiveDb::readCurveTables(bool seedOnly)
{
    core::PowerCurve curve;
    {
        const std::string sql = std::string("SELECT ") + kBinColumns + " FROM "
                                + (seedOnly ? "curve_seed" : "curve_bin");
        Statement s(m_db, sql.c_str());
        if (!s.ok()) {
            fail("read");
            return std::nullopt;
        }
        int rc;
        while ((rc = s.step()) == SQLITE_ROW) {
            const std::int64_t k = s.integer(0);
            if (k < 0 || k >= core::PowerCurve::kBins)
                continue;
            core::CurveBin &b = curve.bin(int(k));
            b.minutes = s.integer(1);
            b.sumWind = s.real(2);
            b.sumWatts = s.real(3);
            b.sumSquares = s.real(4);
            b.rpmMinutes = s.integer(5);
            b.sumRPM = s.real(6);
        }
        if (rc != SQLITE_DONE) {
            fail("read");
            return std::nullopt;
        }
    }
    if (seedOnly)
        return curve;
    Statement s(m_db, "SELECT month, reason, seconds, energy_wh FROM curve_curtailed");
    if (!s.ok()) {
        fail("read");
        return std::nullopt;
    }
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
        const auto why = s.integer(1) == kBatteryFull ? core::MinuteUse::BatteryFull : core::MinuteUse::LoadOn;
        core::Curtailment &c = curve.curtailment(int(s.integer(0)), why);
        c.seconds = s.real(2);
        c.energyWh = s.real(3);
    }
    if (rc != SQLITE_DONE) {
        fail("read");
        return std::nullopt;
    }
    return curve;
}

std::optional<core::PowerCurve> ArchiveDb::curveFromMinutes(const core::CurveRules &rules, std::int64_t since)
{
    std::optional<core::PowerCurve> curve = core::PowerCurve();
    if (m_version >= 2 && !(curve = readCurveTables(true)))
        return std::nullopt;
    if (!each(Step::Minute, since, INT64_MAX, [&](const core::ArchiveRow &r) {
            curve->add(core::curveMinute(r, rules), core::localDayKey(r.t, r.utcOffset) / 100);
            return true;
        }))
        return std::nullopt;
    return curve;
}

bool ArchiveDb::writeCurve(const core::PowerCurve &curve)
{
    if (!exec("DELETE FROM curve_bin") || !exec("DELETE FROM curve_curtailed"))
        return false;
    for (int k = 0; k < core::PowerCurve::kBins; ++k)
        if (curve.bins()[size_t(k)].minutes && !writeBin("curve_bin", k, curve.bins()[size_t(k)], false))
            return false;
    for (const auto &[key, c] : curve.curtailed()) {
        Statement s(m_db, "INSERT INTO curve_curtailed VALUES(?,?,?,?)");
        if (!s.ok())
            return fail("write");
        s.bind(1, std::int64_t(key.first));
        s.bind(2, std::int64_t(key.second == core::MinuteUse::BatteryFull ? kBatteryFull : kLoadOn));
        s.bind(3, c.seconds);
        s.bind(4, c.energyWh);
        if (s.step() != SQLITE_DONE)
            return fail("write");
    }
    return true;
}

bool ArchiveDb::setCurveRules(const core::CurveRules &rules)
{
    m_rules = rules;
    m_rulesApplied = false;
    if (meta("curve_rules") == rules.key())
        return m_rulesApplied = true;
    return m_rulesApplied = transaction("BEGIN IMMEDIATE", [&] {
               const auto curve = curveFromMinutes(rules, curveSince());
               return curve && writeCurve(*curve) && setMeta("curve_rules", rules.key());
           });
}

std::optional<core::PowerCurve> ArchiveDb::curve(const core::CurveRules &rules)
{
    m_error.clear();
    if (m_version < 2)
        return curveFromMinutes(rules, 0);
    // Bins made by other rules (the writer has not taken up changed settings
    // yet) are made here as the writer will make them.
    if (meta("curve_rules").value_or(std::string()) != rules.key())
        return curveFromMinutes(rules, curveSince());
    return readCurveTables(false);
}

bool ArchiveDb::resetCurve(std::int64_t since)
{
    return transaction("BEGIN IMMEDIATE", [&] {
        return exec("DELETE FROM curve_bin") && exec("DELETE FROM curve_seed")
               && exec("DELETE FROM curve_curtailed") && setMeta("curve_since", std::to_string(since));
    });
}

std::optional<std::int64_t> ArchiveDb::firstMeasured()
{
    Statement s(m_db, "SELECT min(t) FROM hour WHERE minutes > imported");
    if (!s.ok() || s.step() != SQLITE_ROW || s.null(0))
        return std::nullopt;
    return s.integer(0);
}

bool ArchiveDb::frameCurveTaken() { return meta("frame_curve_taken").has_value(); }

bool ArchiveDb::takeFrameCurve(const core::FrameCurve &frames)
{
    if (frameCurveTaken())
        return false;
    return transaction("BEGIN IMMEDIATE", [&] {
        bool ok = true;
        for (int k = 0; k < core::FrameCurve::kBins && ok; ++k) {
            const core::FrameBin &f = frames.bins()[size_t(k)];
            const long long minutes = std::llround(f.seconds / 60);
            if (!f.frames || minutes <= 0)
                continue;
            const double n = double(minutes), mean = f.meanWatts(), sd = f.sdWatts();
            core::CurveBin b;
            b.minutes = minutes;
            b.sumWind = core::FrameCurve::centre(k) * n;
            b.sumWatts = mean * n;
            b.sumSquares = n * mean * mean + (n - 1) * sd * sd;
            if (const auto rpm = f.meanRPM()) {
                b.rpmMinutes = minutes;
                b.sumRPM = *rpm * n;
            }
            ok = writeBin("curve_seed", k, b, false) && writeBin("curve_bin", k, b, true);
        }
        return ok && setMeta("frame_curve_taken", "1");
    });
}

} // namespace archive
