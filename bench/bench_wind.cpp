// SPDX-License-Identifier: GPL-3.0-or-later
// The site's wind over a year of minutes (525,600, written as the program
// writes them): the statistics read from the archive with the Weibull fit
// (what the Wind page's worker does), and `--report wind` to /dev/null with
// the power curve and the site's estimate; and the CPU time of the first.
// Prints one line per measure: "<name>  median_<unit>=<value>".

#include "archive/ArchiveDb.h"
#include "archive/ArchiveWriter.h"
#include "archive/WindReport.h"

#include "Median.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
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
    std::printf("wind_stats_year_of_minutes  median_ms=%.1f\n", median(stats));
    std::printf("wind_stats_year_of_minutes_cpu  median_ms=%.1f\n", median(cpu));
    std::printf("wind_report_year_of_minutes  median_ms=%.1f\n", median(reports));
    return 0;
}
