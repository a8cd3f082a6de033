// SPDX-License-Identifier: GPL-3.0-or-later
// Data out's backlog: a year of minutes (525,600) in the archive sent to a
// local VictoriaMetrics (Debian's, deduplication on, a fresh data folder each
// run). Measured: the time until the database confirmed the last batch, the
// longest lateness of a 2 ms timer on the program's own thread meanwhile
// (against the same timer with data out off, the baseline, in the same run),
// and the process's CPU once caught up, over 20 s with nothing to send.
// 3 runs, medians; the targets: < 60 s, < 10 ms, <= 0.1 %.
#include "archive/ArchiveDb.h"
#include "core/Turbine.h"
#include "publish/DataOut.h"
#include "support/TestSupport.h"
#include "support/TimeSeries.h"

#include "Median.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int kMinutes = 525600;

// The longest lateness of a 2 ms timer until `done` turns true (checked on
// each tick) or `seconds` pass.
double longestStall(double seconds, const std::function<bool()> &done)
{
    QElapsedTimer clock;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(2);
    double worst = 0;
    qint64 last = 0;
    QEventLoop loop;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last)
            worst = std::max(worst, (now - last) / 1e6 - 2);
        last = now;
        if (done() || now > qint64(seconds * 1e9))
            loop.quit();
    });
    clock.start();
    tick.start();
    loop.exec();
    return worst;
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A year of minutes ending an hour ago, written a day at a time.
bool makeYear(const QString &path)
{
    archive::ArchiveDb db;
    if (!db.open(path, false))
        return false;
    const std::int64_t end = QDateTime::currentSecsSinceEpoch() / 60 * 60 - 3600;
    const std::int64_t start = end - std::int64_t(kMinutes) * 60;
    for (std::int64_t day = 0; day < kMinutes / 1440; ++day) {
        std::vector<core::ArchiveRow> minutes;
        for (int i = 0; i < 1440; ++i) {
            core::ArchiveRow m;
            m.t = start + (day * 1440 + i) * 60;
            m.minutes = 1;
            m.frames = 120;
            m.energyWh = (i % 300) / 10.0;
            for (const double v : {12.0 + (i % 50) * 0.01, 13.1}) {
                m.volts.add(v);
                m.amps.add(v / 3);
                m.watts.add(v * v / 3);
                m.rpm.add(200 + i % 100);
                m.wind.add(3 + (i % 7) * 0.5);
            }
            m.windUnit = "m/s";
            minutes.push_back(m);
        }
        if (db.addImported(minutes) != 1440)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!testsupport::timeSeriesMissing().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(testsupport::timeSeriesMissing()));
        return 1;
    }
    testsupport::ProgramFolder folder;
    core::TurbineSettings turbine;
    turbine.site = "Bench";
    folder.write("turbine.cfg", QByteArray::fromStdString(core::turbineSettingsText(turbine)));
    const QString archivePath = folder.file("archive.sqlite");
    QElapsedTimer made;
    made.start();
    if (!makeYear(archivePath))
        return 1;
    std::fprintf(stderr, "a year of minutes archived in %.1f s\n", made.elapsed() / 1000.0);

    std::vector<double> seconds, stalls, baselines, idleCpu;
    for (int run = 0; run < 3; ++run) {
        QTemporaryDir scratch;
        testsupport::VictoriaServer vm(scratch.filePath("vm"));
        if (!vm.start())
            return 1;
        // Off for the baseline, and every minute to send.
        QFile::remove(folder.file("dataout.cfg"));
        QFile::remove(folder.file("dataout-cursor.txt"));
        core::DataOutSettings s;
        s.on = true;
        s.kind = "victoriametrics";
        s.url = vm.url().toStdString();
        testsupport::FakeServices fake(folder.path());
        fake.clock.set(QDateTime::currentDateTime());
        publish::DataOut out(fake.services(), archivePath, {});
        out.setRules(core::AvailabilityRules());
        out.loadSettings(); // off: no dataout.cfg yet
        baselines.push_back(longestStall(4, [] { return false; }));

        folder.write("dataout.cfg", QByteArray::fromStdString(core::dataOutSettingsText(s)));
        QElapsedTimer sending;
        sending.start();
        out.loadSettings();
        const auto caughtUp = [&] { return out.counts().sent >= kMinutes && out.counts().backlog == 0; };
        stalls.push_back(longestStall(120, caughtUp));
        seconds.push_back(sending.elapsed() / 1000.0);
        if (!caughtUp()) {
            std::fprintf(stderr, "not caught up: %lld sent, %lld waiting, %lld failed tries\n", out.counts().sent,
                         out.counts().backlog, out.counts().failures);
            return 1;
        }
        // Caught up: nothing runs until a minute is written.
        QEventLoop settle;
        QTimer::singleShot(2000, &settle, &QEventLoop::quit);
        settle.exec();
        const double before = cpuSeconds();
        QElapsedTimer idle;
        idle.start();
        QEventLoop wait;
        QTimer::singleShot(20000, &wait, &QEventLoop::quit);
        wait.exec();
        idleCpu.push_back(100 * (cpuSeconds() - before) / (idle.elapsed() / 1000.0));
        const int kept = vm.points("veldra_minute", "frames", "Bench");
        std::fprintf(stderr,
                     "run %d: %.1f s, stall %.2f ms (baseline %.2f ms), idle CPU %.3f %%, %d minutes in the "
                     "database, %lld failed tries\n",
                     run + 1, seconds.back(), stalls.back(), baselines.back(), idleCpu.back(), kept,
                     out.counts().failures);
    }
    std::printf("dataout_year_backlog  median_s=%.1f\n", median(seconds));
    std::printf("dataout_backlog_stall  median_ms=%.2f\n", median(stalls));
    std::printf("dataout_baseline_stall  median_ms=%.2f\n", median(baselines));
    std::printf("dataout_idle_cpu  median_percent=%.3f\n", median(idleCpu));
    return 0;
}
