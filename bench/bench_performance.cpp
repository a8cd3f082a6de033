// SPDX-License-Identifier: GPL-3.0-or-later
// The performance against the certified curve over a year of minutes: read
// from the archive's day sums and summed by month (what the Power curve page
// and --report energy do), the same from every minute as an archive without
// the sums is (the baseline), the sums alone on minutes in memory, and the
// under-performing alarm's first check (90 days read on the GUI thread).
// Then ten years: the year's day sums copied nine times a year later each
// (the sums of 5.2 million minutes, made directly).
// Prints one line per measure: "<name>  median_<unit>=<value>".

#include "archive/ArchiveDb.h"
#include "archive/ArchiveWriter.h"
#include "archive/Certified.h"
#include "archive/PerformanceWatch.h"
#include "support/Fakes.h"

#include "Median.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sqlite3.h>
#include <vector>

namespace {

// 2025-12-01 00:00 UTC; the clock stands a year later.
constexpr std::int64_t kStart = 1764547200;
constexpr int kYear = 365 * 24 * 60;

// A windy minute, a frame every two seconds.
core::ArchiveRow minuteAt(int i)
{
    core::ArchiveRow r;
    r.t = kStart + std::int64_t(i) * 60;
    r.minutes = 1;
    const double wind = std::max(0.0, 5 + 3 * std::sin(i / 97.0) + 0.5 * std::sin(i / 7.0));
    for (int s = 0; s < 30; ++s) {
        const double v = 13.2 + 0.4 * std::sin((i * 30 + s) / 450.0);
        const double a = wind * wind * 0.3;
        r.volts.add(std::round(v * 100) / 100);
        r.amps.add(std::round(a * 100) / 100);
        r.watts.add(std::round(v * a * 100) / 100);
        r.rpm.add(std::round(wind * 60 * 10) / 10);
        r.wind.add(std::round(wind / 0.44704 * 10) / 10 * 0.44704);
        ++r.frames;
    }
    r.windUnit = "mph";
    r.energyWh = r.watts.mean() / 60;
    return r;
}

const QByteArray kCertified = "wind_m_s,power_w\r\n2.5,0\r\n3,15\r\n4,45\r\n5,95\r\n6,165\r\n7,260\r\n8,380\r\n"
                              "9,520\r\n10,680\r\n11,820\r\n12,900\r\n14,950\r\n25,950\r\n";

} // namespace

int main(int argc, char **argv)
{
    qputenv("TZ", "UTC");
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString folder = dir.path();
    QFile curve(archive::certifiedCurvePath(folder));
    if (!curve.open(QIODevice::WriteOnly) || curve.write(kCertified) != kCertified.size())
        return 2;
    curve.close();
    QString why;
    const auto points = archive::readCertifiedCurve(folder, &why);
    if (!points)
        return 2;
    {
        archive::ArchiveWriter writer(folder + QStringLiteral("/archive.sqlite"), core::TurbineSettings(), *points);
        writer.start();
        for (int i = 0; i < kYear; ++i)
            writer.write(minuteAt(i));
        writer.finish();
    }

    std::vector<double> reads;
    std::size_t days = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        const auto book = archive::readPerformance(folder, core::TurbineSettings(), *points, 0,
                                                   std::numeric_limits<std::int64_t>::max() / 2, nullptr, &why);
        reads.push_back(double(t.nsecsElapsed()) / 1e6);
        if (!book)
            return 2;
        days = book->days().size();
    }
    if (days != 365)
        return 3;
    std::vector<double> fromMinutes;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        const auto book = archive::readPerformanceFromMinutes(folder, core::TurbineSettings(), *points, 0,
                                                              std::numeric_limits<std::int64_t>::max() / 2,
                                                              nullptr, &why);
        fromMinutes.push_back(double(t.nsecsElapsed()) / 1e6);
        if (!book || book->days().size() != 365)
            return 3;
    }
    std::printf("performance_year_of_minutes  median_ms=%.1f\n", median(reads));
    std::printf("performance_year_from_minutes  median_ms=%.1f\n", median(fromMinutes));

    QTemporaryDir tenDir;
    if (!QFile::copy(folder + QStringLiteral("/archive.sqlite"), tenDir.filePath("archive.sqlite")))
        return 2;
    std::string more = "BEGIN; CREATE TEMP TABLE d AS SELECT * FROM perf_day;";
    for (int year = 1; year < 10; ++year) {
        const std::string y = std::to_string(year);
        more += "INSERT INTO perf_day SELECT day + " + y + " * 10000, t + " + y
                + " * 31536000, measured_wh, certified_wh, minutes, windy_minutes FROM d;";
    }
    more += "COMMIT;";
    sqlite3 *db = nullptr;
    const bool made = sqlite3_open(tenDir.filePath("archive.sqlite").toUtf8().constData(), &db) == SQLITE_OK
                      && sqlite3_exec(db, more.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    if (!made)
        return 2;
    std::vector<double> tens;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer t;
        t.start();
        const auto book = archive::readPerformance(tenDir.path(), core::TurbineSettings(), *points, 0,
                                                   std::numeric_limits<std::int64_t>::max() / 2, nullptr, &why);
        tens.push_back(double(t.nsecsElapsed()) / 1e6);
        if (!book || book->days().size() != 3650 || book->months().size() < 120)
            return 3;
    }
    std::printf("performance_ten_years  median_ms=%.1f\n", median(tens));

    std::vector<core::ArchiveRow> minutes;
    minutes.reserve(kYear);
    for (int i = 0; i < kYear; ++i)
        minutes.push_back(minuteAt(i));
    std::vector<double> sums;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer t;
        t.start();
        core::PerformanceBook book(*points, core::CurveRules());
        for (const core::ArchiveRow &m : minutes)
            book.add(m);
        const auto months = book.months();
        sums.push_back(double(t.nsecsElapsed()) / 1e6);
        if (months.size() != 12 && months.size() != 13)
            return 3;
    }
    std::printf("performance_sums_year  median_ms=%.1f\n", median(sums));

    // The alarm's first check: 90 days, read on the watch's own thread, until told.
    testsupport::FakeServices fake(folder);
    fake.clock.set(QDateTime(QDate(2026, 12, 1), QTime(12, 0)));
    std::vector<double> checks;
    for (int run = 0; run < 5; ++run) {
        std::size_t told = 0;
        archive::PerformanceWatch watch(fake.services(), [&told](const auto &d, int) { told = d.size(); });
        QElapsedTimer t;
        t.start();
        watch.check();
        while (!told && t.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        checks.push_back(double(t.nsecsElapsed()) / 1e6);
        if (told != std::size_t(archive::PerformanceWatch::kLookBackDays))
            return 3;
    }
    std::printf("performance_alarm_first_check  median_ms=%.1f\n", median(checks));
    return 0;
}
