// SPDX-License-Identifier: GPL-3.0-or-later
// Archive timings and size: handing a finished minute over on the GUI thread,
// writing a minute with its summaries and every aggregate (the curve, the
// categories, the wind, the performance against a certified curve) into an
// archive that holds a year, the performance's day sums made again for
// another certified curve, the
// size of a year of minutes, the export of a year of hours and of a day
// of minutes, the availability of a year read from its tallies, and the peak
// memory of exporting two years of minutes.
// Prints one line per measure: "<name>  median_<unit>=<value>".

#include "archive/Archive.h"
#include "archive/ArchiveDb.h"
#include "archive/ArchiveWriter.h"
#include "archive/AvailabilityReport.h"
#include "archive/Export.h"
#include "support/Fakes.h"

#include "Median.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// 2025-12-01 00:00 UTC.
constexpr std::int64_t kStart = 1764547200;
constexpr int kYear = 365 * 24 * 60;

// A minute as the unit gives it: a frame a second with the wind and power
// of a windy afternoon, varying from minute to minute.
core::ArchiveRow minuteAt(int i)
{
    core::ArchiveRow r;
    r.t = kStart + std::int64_t(i) * 60;
    r.utcOffset = 3600;
    r.minutes = 1;
    const double wind = 4 + 3 * std::sin(i / 97.0) + 0.5 * std::sin(i / 7.0);
    for (int s = 0; s < 60; ++s) {
        const double v = 13.2 + 0.4 * std::sin((i * 60 + s) / 900.0) + (s % 7) * 0.01;
        const double a = std::max(0.0, wind * wind * 0.35 + (s % 5) * 0.03);
        r.volts.add(std::round(v * 100) / 100);
        r.amps.add(std::round(a * 100) / 100);
        r.watts.add(std::round(v * a * 100) / 100);
        r.rpm.add(std::round(wind * 60 * 10) / 10);
        r.wind.add(std::round((wind + (s % 3) * 0.1) / 0.44704 * 10) / 10 * 0.44704);
        ++r.frames;
    }
    r.windUnit = "mph";
    r.energyWh = r.watts.mean() / 60;
    r.loadSeconds = i % 3 ? 60 : 0;
    return r;
}

const std::vector<core::CurvePoint> kCertified{{2.5, 0}, {3, 15}, {5, 95}, {8, 380}, {12, 900}, {25, 950}};

double exportMs(const QString &folder, const QString &from, const QString &to, archive::Step step)
{
    std::FILE *sink = std::fopen("/dev/null", "w");
    QElapsedTimer t;
    t.start();
    const int rc = archive::exportArchive(folder, from, to, step, sink, stderr);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    std::fclose(sink);
    return rc == 0 ? ms : -1;
}

#ifdef __linux__
// Peak resident memory of an export in a child of its own, so that only what
// this small process held before it counts besides the export; -1 on a failure.
double exportPeakMb(const QString &folder, const QString &from, const QString &to, archive::Step step)
{
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
        std::FILE *sink = std::fopen("/dev/null", "w");
        const int rc = sink ? archive::exportArchive(folder, from, to, step, sink, stderr) : 1;
        _exit(rc);
    }
    if (child < 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return double(usage.ru_maxrss) * 1024 / 1e6; // kilobytes
}

// The memory of exporting two years of minutes (imported, which is quick to
// write in bulk), measured first, while this process is still small.
void exportTwoYearsRss()
{
    QTemporaryDir folder;
    {
        archive::ArchiveDb db;
        if (!db.open(folder.filePath(archive::ArchiveDb::fileName()), false))
            return;
        std::vector<core::ArchiveRow> day;
        for (int i = 0; i < 2 * kYear; ++i) {
            day.push_back(minuteAt(i));
            if (day.size() == 24 * 60) {
                db.addImported(day);
                day.clear();
            }
        }
    }
    std::vector<double> peaks;
    for (int run = 0; run < 5; ++run)
        peaks.push_back(exportPeakMb(folder.path(), "2025-12-01", "2027-11-30", archive::Step::Minute));
    std::printf("export_two_years_minutes_rss  median_mb=%.1f\n", median(peaks));
}
#endif

} // namespace

int main(int argc, char **argv)
{
    qputenv("TZ", "UTC");
    QCoreApplication app(argc, argv);
#ifdef __linux__
    exportTwoYearsRss();
#endif
    QTemporaryDir dir;
    const QString path = dir.filePath(archive::ArchiveDb::fileName());

    // A year of minutes, written as the program writes them.
    {
        archive::ArchiveWriter writer(path, core::TurbineSettings(), kCertified);
        writer.start();
        QElapsedTimer t;
        t.start();
        std::vector<double> writes;
        for (int i = 0; i < kYear; ++i) {
            const core::ArchiveRow row = minuteAt(i);
            const qint64 before = t.nsecsElapsed();
            writer.write(row);
            if (i >= kYear - 2000)
                writes.push_back(double(t.nsecsElapsed() - before) / 1e6);
        }
        writer.finish();
        std::printf("archive_write_minute  median_ms=%.3f\n", median(writes));
    }
    const double bytes = double(QFileInfo(path).size()) + double(QFileInfo(path + "-wal").size());
    std::printf("archive_year_of_minutes  median_mb=%.1f\n", bytes / 1e6);

    // The hand-over on the GUI thread: the minute's last frame and the tick
    // that ends it, with the writer's thread taking it.
    {
        QTemporaryDir folder;
        testsupport::FakeServices fake(folder.path());
        archive::Archive room(fake.services());
        core::RawReading raw;
        raw.voltsRead = raw.ampsRead = raw.windRead = true;
        core::Reading reading;
        reading.Volts = 13.2;
        reading.Amps = 4;
        reading.Watts = 52.8;
        std::vector<double> handOvers;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 400; ++i) {
            room.frame(raw, reading, "mph");
            fake.clock.advanceSeconds(60);
            const qint64 before = t.nsecsElapsed();
            room.tick();
            handOvers.push_back(double(t.nsecsElapsed() - before) / 1e6);
            QCoreApplication::processEvents();
        }
        std::printf("archive_hand_over  median_ms=%.4f\n", median(handOvers));
    }

    std::vector<double> hours, minutes;
    for (int run = 0; run < 7; ++run) {
        hours.push_back(exportMs(dir.path(), "2025-12-01", "2026-11-30", archive::Step::Hour));
        minutes.push_back(exportMs(dir.path(), "2026-06-01", "2026-06-01", archive::Step::Minute));
    }
    std::printf("archive_export_year_hours  median_ms=%.1f\n", median(hours));
    std::vector<double> availability;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer t;
        t.start();
        QString why;
        const auto book = archive::readAvailability(dir.path(), kStart, kStart + 366LL * 86400, kStart + 366LL * 86400,
                                                    &why);
        availability.push_back(book && book->days.size() >= 365 ? double(t.nsecsElapsed()) / 1e6 : -1);
    }
    std::printf("availability_year_read  median_ms=%.1f\n", median(availability));
    // The year classed again, as after a change of the turbine's settings
    // (on the writer's thread, at start or when saved).
    std::vector<double> classes;
    for (int run = 0; run < 3; ++run) {
        archive::ArchiveDb db;
        core::TurbineSettings s;
        s.cutIn = 2.5 + run * 0.5;
        QElapsedTimer t;
        t.start();
        const bool ok = db.open(path, false) && db.setAvailabilityRules(core::availabilityRules(s, {}, nullptr));
        classes.push_back(ok ? double(t.nsecsElapsed()) / 1e6 : -1);
    }
    std::printf("availability_year_classed_again  median_ms=%.0f\n", median(classes));
    std::vector<double> sums;
    for (int run = 0; run < 3; ++run) {
        archive::ArchiveDb db;
        std::vector<core::CurvePoint> other = kCertified;
        other.back().watts += run + 1;
        QElapsedTimer t;
        t.start();
        const bool ok = db.open(path, false) && db.setPerformanceRules(other, core::CurveRules());
        sums.push_back(ok ? double(t.nsecsElapsed()) / 1e6 : -1);
    }
    std::printf("performance_year_made_again  median_ms=%.0f\n", median(sums));
    std::printf("archive_export_day_minutes  median_ms=%.1f\n", median(minutes));
    return 0;
}
