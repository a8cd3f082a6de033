// SPDX-License-Identifier: GPL-3.0-or-later
// The site's wind: the Weibull fit on samples of known shape and scale and on
// input it cannot fit, the tally of scripted minutes and hours, and the
// site's own estimate against a hand computation.
#include "core/WindStats.h"

#include <QtTest>

#include <cmath>
#include <random>

namespace {

// A minute at `utc` (seconds), mean and highest wind in m/s.
core::ArchiveRow minute(std::int64_t utc, double mean, double highest, bool imported = false,
                        const char *unit = "m/s")
{
    core::ArchiveRow r;
    r.t = utc;
    r.utcOffset = 3600;
    r.minutes = 1;
    r.imported = imported ? 1 : 0;
    r.frames = 30;
    r.wind = {30, mean * 30, mean, highest};
    r.windUnit = unit;
    return r;
}

constexpr std::int64_t kJan31 = 1801432800; // 2027-01-31T22:00:00Z, 23:00 local
constexpr std::int64_t kDec9 = 1796817600;  // 2026-12-09T12:00:00Z

} // namespace

class TstWindStats : public QObject {
    Q_OBJECT
private slots:
    void weibullFit_data()
    {
        QTest::addColumn<double>("k");
        QTest::addColumn<double>("c");
        QTest::addColumn<int>("samples");
        QTest::newRow("a typical inland site") << 2.0 << 6.0 << 20000;
        QTest::newRow("gusty, low shape") << 1.3 << 4.5 << 20000;
        QTest::newRow("steady trade wind") << 3.5 << 9.0 << 30000;
        QTest::newRow("exponential") << 1.0 << 3.0 << 20000;
        QTest::newRow("very steady") << 6.0 << 11.0 << 20000;
    }
    void weibullFit()
    {
        QFETCH(double, k);
        QFETCH(double, c);
        QFETCH(int, samples);
        // The inverse distribution function over u in (0, 1) taken from the
        // generator's 32 bits alone, the same with every standard library.
        std::mt19937 generator(20261209u);
        std::vector<std::pair<double, double>> winds;
        for (int i = 0; i < samples; ++i) {
            const double u = (double(generator()) + 0.5) / 4294967296.0;
            winds.emplace_back(c * std::pow(-std::log(1 - u), 1 / k), 1.0);
        }
        const auto fit = core::fitWeibull(winds);
        QVERIFY(fit);
        QVERIFY2(std::abs(fit->k / k - 1) < 0.02, qPrintable(QString::number(fit->k)));
        QVERIFY2(std::abs(fit->c / c - 1) < 0.02, qPrintable(QString::number(fit->c)));
        // The same winds as minutes rounded to the archive's 0.001 m/s and
        // gathered by value: the same fit, but for the rounding of the lightest.
        core::WindTally tally;
        for (const auto &w : winds)
            tally.add(w.first, 1, 202612);
        const auto gathered = tally.stats().weibull;
        QVERIFY(gathered);
        QVERIFY(std::abs(gathered->k / fit->k - 1) < 5e-3 && std::abs(gathered->c / fit->c - 1) < 5e-3);
    }

    void noFit_data()
    {
        QTest::addColumn<QString>("winds"); // wind:weight, ...
        QTest::newRow("nothing") << "";
        QTest::newRow("only calm") << "0:500";
        QTest::newRow("all the same") << "5:100";
        QTest::newRow("too few") << "3:1,4:1,5:1,6:1,7:1";
        QTest::newRow("unreadable") << "nan:50,inf:50,-3:50";
    }
    void noFit()
    {
        QFETCH(QString, winds);
        std::vector<std::pair<double, double>> samples;
        for (const QString &part : winds.split(',', Qt::SkipEmptyParts))
            samples.emplace_back(part.section(':', 0, 0).toDouble(), part.section(':', 1, 1).toDouble());
        QVERIFY(!core::fitWeibull(samples));
    }

    void tally_data()
    {
        // Scripted minutes: "utc-offset-in-minutes@mean/highest", i for imported, u for an unknown unit.
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<QString>("binMinutes"); // bin:minutes, ...
        QTest::addColumn<double>("calmShare");
        QTest::addColumn<double>("gust");
        QTest::addColumn<QString>("months"); // yyyymm:mean, ...
        QTest::newRow("calm, light and a bin edge") << "0@0/0,1@0/0,2@0.24/1,3@0.25/2.5,4@5/7"
                                                    << "0:3,1:1,10:1" << 0.4 << 7.0 << "202612:1.098";
        QTest::newRow("a month ends at local midnight") << "50000@4/6,50059@6/6,50060@8/12.5"
                                                        << "8:1,12:1,16:1" << 0.0 << 12.5 << "202701:5,202702:8";
        QTest::newRow("imported minutes give their gust only") << "0@2/3,1i@20/31,2@4/5"
                                                               << "4:1,8:1" << 0.0 << 31.0 << "202612:3";
        QTest::newRow("beyond the last bin, and a broken reading") << "0@31/33,1@500/500,2@1/2"
                                                                   << "2:1" << 0.0 << 33.0 << "202612:16";
        QTest::newRow("a unit of no factor is left out") << "0u@3/4,1@2/2"
                                                         << "4:1" << 0.0 << 2.0 << "202612:2";
    }
    void tally()
    {
        QFETCH(QString, minutes);
        core::WindTally t;
        for (const QString &m : minutes.split(',')) {
            QString at = m.section('@', 0, 0);
            const bool imported = at.endsWith('i'), other = at.endsWith('u');
            at.remove('i').remove('u');
            const std::int64_t utc = (at.toLongLong() >= 50000 ? kJan31 - 50000 * 60 : kDec9)
                                     + at.toLongLong() * 60;
            const QString wind = m.section('@', 1, 1);
            t.addMinute(minute(utc, wind.section('/', 0, 0).toDouble(), wind.section('/', 1, 1).toDouble(),
                               imported, other ? "furlongs/fortnight" : "m/s"));
        }
        const core::WindStats s = t.stats();
        QFETCH(QString, binMinutes);
        double counted = 0;
        for (const QString &b : binMinutes.split(',')) {
            const int bin = b.section(':', 0, 0).toInt();
            const double n = b.section(':', 1, 1).toDouble();
            QCOMPARE(s.bins[size_t(bin)].minutes, n);
            QCOMPARE(s.bins[size_t(bin)].hoursPerYear, n / s.minutes * 8760);
            counted += n;
        }
        QCOMPARE(counted + s.aboveBinsMinutes, s.minutes);
        QFETCH(double, calmShare);
        QCOMPARE(s.calmShare(), calmShare);
        QFETCH(double, gust);
        QVERIFY(s.gust);
        QCOMPARE(s.gust->wind, gust);
        QFETCH(QString, months);
        QStringList got;
        for (const core::WindPeriod &p : s.months)
            got << QString("%1:%2").arg(p.key).arg(std::round(p.mean() * 1000) / 1000);
        QCOMPARE(got.join(','), months);
    }

    void hoursBeyondTheMinutes()
    {
        core::WindTally t;
        core::ArchiveRow hour = minute(kDec9, 6, 14);
        hour.minutes = 50;
        hour.wind = {1500, 6.0 * 1500, 1, 14};
        t.addHour(hour);
        core::ArchiveRow mixed = hour;
        mixed.t += 3600;
        mixed.imported = 10;
        mixed.wind.max = 17;
        t.addHour(mixed); // its mean holds interval maxima: the gust only
        t.addMinute(minute(kDec9 + 7200, 0, 0));
        const core::WindStats s = t.stats();
        QCOMPARE(s.minutes, 51.0);
        QCOMPARE(s.minutesFromHours, 50.0);
        QCOMPARE(s.bins[12].minutes, 50.0);
        QCOMPARE(s.calmShare(), 1.0 / 51);
        QCOMPARE(s.gust->wind, 17.0);
        QCOMPARE(s.years.size(), size_t(1));
        QCOMPARE(s.years[0].mean(), 300.0 / 51);
    }

    // Two halves read side by side make the same statistics as one read.
    void halvesMerged()
    {
        core::WindTally whole, older, newer;
        for (int i = 0; i < 200; ++i) {
            // Across the end of January, local time; the strongest gust twice.
            const core::ArchiveRow m = minute(kJan31 - 100 * 60 + i * 60, (i * 37 % 23) * 0.5,
                                              i == 20 || i == 150 ? 30 : 10);
            whole.addMinute(m);
            (i < 120 ? older : newer).addMinute(m);
        }
        older.merge(newer);
        const core::WindStats a = whole.stats(), b = older.stats();
        QCOMPARE(b.minutes, a.minutes);
        QCOMPARE(b.distribution, a.distribution);
        QCOMPARE(b.months.size(), size_t(2));
        for (size_t i = 0; i < a.months.size(); ++i)
            QVERIFY(b.months[i].key == a.months[i].key && b.months[i].minutes == a.months[i].minutes);
        QCOMPARE(b.gust->t, a.gust->t);
        QCOMPARE(b.weibull->k, a.weibull->k);
    }

    void siteEstimate()
    {
        // Bins of 10 minutes at 4.5, 5 and 5.5 m/s making 50, 100 and 150 W
        // at 1.225 kg/m³; all the site's wind at 5 m/s.
        core::PowerCurve curve;
        for (const auto &[bin, watts] : {std::pair{9, 50.0}, {10, 100.0}, {11, 150.0}})
            for (int i = 0; i < 10; ++i) {
                core::CurveMinute m;
                m.use = core::MinuteUse::Curve;
                m.bin = bin;
                m.wind = bin * 0.5;
                m.watts = watts;
                curve.add(m, 202612);
            }
        core::WindTally t;
        for (int i = 0; i < 100; ++i)
            t.add(5, 1, 202612);
        const core::WindStats wind = t.stats();
        core::TurbineSettings settings;
        settings.ratedPower = 250;
        // Sea level at 15 °C is 1.225 kg/m³ within 0.1 %.
        const core::SiteEstimate e = core::siteEstimate(wind, curve, settings);
        QVERIFY(e.measured && !e.weibull);
        // 8760 h x (F(5.5) - F(5)) x (100 + 150) / 2 with F(5) = 0 (none below) and F(5.5) = 1.
        const double density = core::siteDensity(settings) / core::kReferenceDensity;
        QCOMPARE(e.measured->row.measuredKwh, 8760 * 125 * density / 1000);
        QCOMPARE(*e.measured->capacityFactor, 0.5 * density);
        QCOMPARE(e.measured->row.averageWind, 5.0);

        // The site's air at 1000 m is thinner: a stall turbine makes less.
        settings.altitude = 1000;
        const double thin = core::siteEstimate(wind, curve, settings).measured->row.measuredKwh;
        QVERIFY(thin < 0.92 * e.measured->row.measuredKwh && thin > 0.88 * e.measured->row.measuredKwh);
        settings.ratedPower.reset();
        QVERIFY(!core::siteEstimate(wind, curve, settings).measured->capacityFactor);

        // Over a fit with a tenth of the time calm, that tenth makes nothing.
        core::WindTally fitted;
        std::mt19937 generator(7u);
        for (int i = 0; i < 9000; ++i) {
            const double u = (double(generator()) + 0.5) / 4294967296.0;
            fitted.add(6 * std::pow(-std::log(1 - u), 1 / 2.0), 1, 202612);
        }
        fitted.add(0, 1000, 202612);
        const core::WindStats site = fitted.stats();
        settings = core::TurbineSettings();
        const core::SiteEstimate both = core::siteEstimate(site, curve, settings);
        QVERIFY(both.weibull);
        const core::WeibullFit f = *site.weibull;
        const double expected = core::energyOver(
                                    core::siteCurve(core::measuredPoints(curve), core::curveRules(settings)),
                                    settings.cutOut,
                                    [f](double v) { return v <= 0 ? 0 : core::weibullCumulative(v, f); })
                                    .extrapolatedKwh;
        QVERIFY(std::abs(both.weibull->row.extrapolatedKwh / (0.9 * expected) - 1) < 1e-9);
        // The measured distribution and its fit agree within a few per cent.
        QVERIFY(std::abs(both.weibull->row.extrapolatedKwh / both.measured->row.extrapolatedKwh - 1) < 0.03);
        // The fit's hours a year hold the calm tenth at 0 m/s, as the estimate does: bin 0 as
        // measured within the samples' noise, and the year whole.
        double year = 0;
        for (int k = 0; k < core::PowerCurve::kBins; ++k)
            year += site.weibullHoursPerYear(k);
        QVERIFY2(std::abs(year - 8760) < 1, qPrintable(QString::number(year)));
        QVERIFY2(std::abs(site.weibullHoursPerYear(0) - site.bins[0].hoursPerYear) < 10,
                 qPrintable(QStringLiteral("%1 against %2").arg(site.weibullHoursPerYear(0)).arg(site.bins[0].hoursPerYear)));
    }

    void reportText()
    {
        core::WindTally t;
        t.addMinute(minute(kDec9, 0, 0));
        t.addMinute(minute(kDec9 + 60, 5.1, 9.25));
        const std::string text = core::windReportText(t.stats(), core::PowerCurve(), core::TurbineSettings());
        QVERIFY(text.rfind("bin_m_s,minutes,share,hours_a_year,weibull_hours_a_year\r\n0,1,0.5,4380,\r\n", 0)
                == 0);
        QVERIFY(
            text.find("\r\n4.5,0,0,0,\r\n5,1,0.5,4380,\r\n\r\nmonth,minutes,mean_wind_m_s\r\n2026-12,2,2.55\r\n")
            != std::string::npos);
        QVERIFY(text.find("\r\ncalm_share,0.5\r\n") != std::string::npos);
        QVERIFY(text.find("\r\nstrongest_gust_m_s,9.25\r\nstrongest_gust_time,2026-12-09T13:01:00+01:00\r\n")
                != std::string::npos);
        QVERIFY(text.find("\r\nweibull_k,\r\n") != std::string::npos);
        QVERIFY(text.find("\r\nmeasured,,,,,\r\nweibull,,,,,\r\n") != std::string::npos);
    }
};

QTEST_MAIN(TstWindStats)
#include "tst_windstats.moc"
