// SPDX-License-Identifier: GPL-3.0-or-later
// The site's wind over a year of minutes (525,600, written as the program
// writes them): the statistics read from the archive's tallies with the
// Weibull fit (what the Wind page's worker does), the same read from every
// row as an archive without the tallies is (the baseline), and `--report
// wind` to /dev/null with the power curve and the site's estimate; and the
// CPU time of the first. Then ten years: the year's tallies copied nine
// times a year later each (the tallies of 5.2 million minutes, made
// directly: writing them would take an hour).
// Prints one line per measure: "<name>  median_<unit>=<value>".

#include "archive/ArchiveDb.h"
#include "archive/ArchiveWriter.h"
#include "archive/WindReport.h"

#include "Median.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <sqlite3.h>
#include <vector>

namespace {

// 2025-12-01 00:00 UTC.
constexpr std::int64_t kStart = 1764547200;
constexpr int kYear = 365 * 24 * 60;

// A minute of a frame every two seconds, winds of many values.
core::ArchiveRow minuteAt(int i)
{
    core::ArchiveRow r;
    r.t = kStart + std::int64_t(i) * 60;
    r.utcOffset = 3600;
    r.minutes = 1;
    const double wind = std::max(0.0,
                                 4.5 + 3 * std::sin(i / 97.0) + 1.5 * std::sin(i / 7.0) + std::sin(i / 3001.0));
    const double watts = wind > 3 ? 30 * (wind - 3) * (wind - 3) : 0;
    for (int s = 0; s < 30; ++s) {
        r.volts.add(13.2);
        r.watts.add(watts);
        r.wind.add(wind + (s % 3) * 0.2);
        ++r.frames;
    }
    r.windUnit = "m/s";
    r.energyWh = watts / 60;
    return r;
}

// CPU time of the process, ms: the reading is one thread, so on a machine
// shared with other work this is what the reading itself took.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("TZ", "UTC");
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    {
        archive::ArchiveWriter writer(dir.filePath(archive::ArchiveDb::fileName()), core::TurbineSettings(), {});
        writer.start();
        for (int i = 0; i < kYear; ++i)
            writer.write(minuteAt(i));
        writer.finish();
    }
    std::vector<double> stats, cpu, reports;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer t;
        t.start();
        const double cpuBefore = cpuMs();
        QString why;
        const auto wind = archive::readWind(dir.path(), &why, [](double) { return true; });
        stats.push_back(double(t.nsecsElapsed()) / 1e6);
        cpu.push_back(cpuMs() - cpuBefore);
        if (!wind || wind->minutes != kYear || !wind->weibull) {
            std::fprintf(stderr, "the wind statistics are wrong: %s\n", qPrintable(why));
            return 1;
        }
        std::FILE *sink = std::fopen("/dev/null", "w");
        t.restart();
        const int rc = archive::reportWind(dir.path(), sink, stderr);
        reports.push_back(double(t.nsecsElapsed()) / 1e6);
        std::fclose(sink);
        if (rc != 0)
            return 1;
    }
    std::vector<double> rows;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        QString why;
        const auto wind = archive::readWindFromRows(dir.path(), &why, [](double) { return true; });
        rows.push_back(double(t.nsecsElapsed()) / 1e6);
        if (!wind || wind->minutes != kYear)
            return 1;
    }
    std::printf("wind_stats_year_of_minutes  median_ms=%.1f\n", median(stats));
    std::printf("wind_stats_year_from_rows  median_ms=%.1f\n", median(rows));
    std::printf("wind_stats_year_of_minutes_cpu  median_ms=%.1f\n", median(cpu));
    std::printf("wind_report_year_of_minutes  median_ms=%.1f\n", median(reports));

    QTemporaryDir tenDir;
    const QString ten = tenDir.filePath(archive::ArchiveDb::fileName());
    if (!QFile::copy(dir.filePath(archive::ArchiveDb::fileName()), ten))
        return 1;
    sqlite3 *db = nullptr;
    std::string more = "BEGIN; UPDATE wind_mille SET minutes = minutes * 10;"
                       "CREATE TEMP TABLE m AS SELECT * FROM wind_month; CREATE TEMP TABLE g AS SELECT * FROM wind_gust;";
    for (int year = 1; year < 10; ++year) {
        const std::string y = std::to_string(year);
        more += "INSERT INTO wind_month SELECT month + " + y + " * 100, minutes, wind_sum, from_hours, other_unit "
                "FROM m WHERE true ON CONFLICT(month) DO UPDATE SET minutes = minutes + excluded.minutes, "
                "wind_sum = wind_sum + excluded.wind_sum;"
                "INSERT OR REPLACE INTO wind_gust SELECT hour + " + y + " * 31536000, wind, t + " + y
                + " * 31536000, utc_offset FROM g;";
    }
    more += "COMMIT;";
    const bool made = sqlite3_open(ten.toUtf8().constData(), &db) == SQLITE_OK
                      && sqlite3_exec(db, more.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    if (!made)
        return 1;
    std::vector<double> tens;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer t;
        t.start();
        QString why;
        const auto wind = archive::readWind(tenDir.path(), &why, [](double) { return true; });
        tens.push_back(double(t.nsecsElapsed()) / 1e6);
        if (!wind || wind->minutes != 10.0 * kYear || wind->years.size() < 10 || !wind->weibull)
            return 1;
    }
    std::printf("wind_stats_ten_years  median_ms=%.1f\n", median(tens));
    return 0;
}
