// SPDX-License-Identifier: GPL-3.0-or-later
// A backup of a folder holding two years of minutes (imported in bulk, which
// is quick to write), made by the daily backup's watch as the program makes
// it, 3 times: how long it takes, and the longest stall of the main thread
// meanwhile (a 1 ms timer's longest gap), beside the same timer's longest gap
// over as long without a backup (the baseline, in the same run).
// Prints one line per measure: "<name>  median_<unit>=<value>".

#include "archive/ArchiveDb.h"
#include "archive/Backup.h"
#include "archive/BackupWatch.h"
#include "support/Fakes.h"

#include "Median.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kYear = 365 * 24 * 60;

core::ArchiveRow minuteAt(int i)
{
    core::ArchiveRow r;
    r.t = 1764547200 + std::int64_t(i) * 60;
    r.minutes = 1;
    const double wind = 4 + 3 * std::sin(i / 97.0) + 0.5 * std::sin(i / 7.0), watts = wind * wind * 4.2;
    r.frames = 60;
    r.volts = {60, 60 * 13.2, 13.1, 13.4};
    r.amps = {60, 60 * watts / 13.2, watts / 13.3, watts / 13.1};
    r.watts = {60, 60 * watts, watts * 0.9, watts * 1.1};
    r.rpm = {60, 60 * wind * 38, wind * 36, wind * 40};
    r.wind = {60, 60 * wind, wind * 0.8, wind * 1.3};
    r.windUnit = "m/s";
    r.energyWh = watts / 60;
    return r;
}

// The longest gap between the ticks of a 1 ms timer until `done` says so.
double longestGapMs(QCoreApplication &app, const std::function<bool()> &done)
{
    QElapsedTimer t;
    t.start();
    qint64 last = t.nsecsElapsed(), longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = t.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
        if (done())
            app.quit();
    });
    tick.start();
    app.exec();
    return double(longest) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder, dest;
    {
        archive::ArchiveDb db;
        if (!db.open(folder.filePath(archive::ArchiveDb::fileName()), false))
            return 1;
        std::vector<core::ArchiveRow> day;
        for (int i = 0; i < 2 * kYear; ++i) {
            day.push_back(minuteAt(i));
            if (day.size() == 24 * 60) {
                db.addImported(day);
                day.clear();
            }
        }
    }
    const double mb = double(QFileInfo(folder.filePath(archive::ArchiveDb::fileName())).size()) / 1e6;
    std::fprintf(stderr, "two years of minutes: %.0f MB\n", mb);
    QString why;
    archive::markBackupDestination(dest.path(), &why);
    core::BackupSettings s;
    s.folder = dest.path().toStdString();
    QFile cfg(folder.filePath(QStringLiteral("backup.cfg")));
    cfg.open(QIODevice::WriteOnly);
    cfg.write(QByteArray::fromStdString(core::backupSettingsText(s)));
    cfg.close();

    testsupport::FakeServices fake(folder.path());
    archive::BackupWatch watch(fake.services());
    std::vector<double> seconds, stalls, baselines;
    for (int run = 0; run < 3; ++run) {
        fake.clock.advanceSeconds(86400); // a backup's name a day apart
        QElapsedTimer t;
        t.start();
        bool begun = false;
        stalls.push_back(longestGapMs(app, [&] {
            if (!begun) {
                begun = true;
                watch.backupNow();
            }
            return !watch.running();
        }));
        const double took = double(t.nsecsElapsed()) / 1e9;
        seconds.push_back(took);
        if (!watch.problem().isEmpty()) {
            std::fprintf(stderr, "the backup failed: %s\n", watch.problem().toLocal8Bit().constData());
            return 1;
        }
        QElapsedTimer b;
        b.start();
        baselines.push_back(longestGapMs(app, [&] { return b.elapsed() > took * 1000; }));
        std::fprintf(stderr, "run %d: %.2f s, longest stall %.2f ms (baseline %.2f ms)\n", run, took, stalls.back(),
                     baselines.back());
    }
    std::printf("backup_two_years  median_s=%.2f\n", median(seconds));
    std::printf("backup_gui_stall  median_ms=%.2f\n", median(stalls));
    std::printf("backup_gui_stall_baseline  median_ms=%.2f\n", median(baselines));
    return 0;
}
