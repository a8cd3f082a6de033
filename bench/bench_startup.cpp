// SPDX-License-Identifier: GPL-3.0-or-later
// The built crestdial seen from outside: start-up time, idle CPU and resident
// memory. Each run lays out a fresh program folder (the delivered settings
// from build/bin) with a pseudo-terminal as COM1 and starts the program on its
// own Xvfb display.
// Prints "<name>  median_<unit>=<value>", medians over the runs:
//   startup_to_window      ms from starting the process until its main window
//                          is mapped with the waiting title (polled with xdotool
//                          every few ms; the first paint follows the mapping);
//   startup_energy_restored  the same with today's energy.cfg and ten years of
//                          logs/energy.csv (3,650 days) in the folder;
//   idle_cpu_60s           CPU of the program at rest over 60 s, in % of one
//                          core, from 2 s after the window showed: the port
//                          open on a terminal that sends nothing (no unit
//                          attached), no window of its own open;
//   rss_after_startup      VmRSS 2 s after the window showed, MB;
//   rss_after_1000_frames  VmRSS after 1000 frames sent through the terminal,
//                          once the last has been shown, MB.
// Usage: bench_startup [runs] (default 7; the last three measures use the
// first three runs).

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "support/Processes.h"

namespace {

using testsupport::cpuSeconds;
using testsupport::Pty;
using testsupport::rssMegabytes;
using testsupport::run;

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool copy(const QString &from, const QString &to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}

struct Measures {
    std::vector<double> startup, startupEnergy, idle, rssStart, rssFrames;
};

// Today's totals and ten years of days before today.
void writeEnergy(const QDir &d)
{
    const QDate today = QDate::currentDate();
    QFile state(d.filePath("energy.cfg"));
    if (state.open(QIODevice::WriteOnly))
        state.write(
            "Energy State File\r\n\r\n<Date>" + today.toString(Qt::ISODate).toLatin1()
            + "</Date>\r\n<Today>120.5</Today>\r\n<Yesterday>900</Yesterday>\r\n<Lifetime>3200000</Lifetime>\r\n");
    QFile csv(d.filePath("logs/energy.csv"));
    if (!csv.open(QIODevice::WriteOnly))
        return;
    csv.write("date,energy_wh,estimated,peak_watts,peak_wind,wind_unit,peak_rpm,min_volts,max_volts,"
              "load_on_minutes,no_data_minutes,frames_received,frames_rejected\r\n");
    for (int i = 3650; i >= 1; --i)
        csv.write(today.addDays(-i).toString(Qt::ISODate).toLatin1() + "," + QByteArray::number(500 + i % 700)
                  + ",0,412.5,18.2,mph,640,11.9,14.4,312,3,,\r\n");
}

// One run; false when something went wrong (the reason is printed).
bool measure(const QString &bin, const QString &display, bool resources, bool energy, Measures &m)
{
    QTemporaryDir dir;
    const QDir d(dir.path());
    for (const char *sub : {"logs", "html", "Excel"})
        d.mkpath(QLatin1String(sub));
    if (energy)
        writeEnergy(d);
    const QString exe = d.filePath("crestdial");
    if (!copy(bin + "/crestdial", exe) || !copy(bin + "/prog.cfg", d.filePath("prog.cfg"))
        || !copy(bin + "/settings.cfg", d.filePath("settings.cfg"))
        || !copy(bin + "/html/template.asp", d.filePath("html/template.asp"))) {
        std::fprintf(stderr, "could not lay out a program folder from %s\n", qPrintable(bin));
        return false;
    }
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Pty pty(d.filePath("COM1"));
    if (!pty.ok())
        return false;

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    p.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    p.start(exe, {});
    if (!p.waitForStarted())
        return false;
    const QString pid = QString::number(p.processId());
    QString window;
    while (window.isEmpty() && timer.elapsed() < 20000) {
        window = run("xdotool",
                     {"search", "--all", "--onlyvisible", "--pid", pid, "--name", "Waiting for Signal"});
        if (window.isEmpty())
            QThread::msleep(3);
    }
    const double shown = timer.nsecsElapsed() / 1e6;
    if (window.isEmpty()) {
        std::fprintf(stderr, "the main window did not show; windows: %s\n",
                     qPrintable(run("xdotool", {"search", "--all", "--pid", pid, "--name", "."})));
        return false;
    }
    (energy ? m.startupEnergy : m.startup).push_back(shown);

    if (resources) {
        QThread::sleep(2);
        m.rssStart.push_back(rssMegabytes(p.processId()));
        const double before = cpuSeconds(p.processId());
        QThread::sleep(60);
        m.idle.push_back(100 * (cpuSeconds(p.processId()) - before) / 60);

        // A frame every millisecond: ten times the line's pace, but no burst,
        // since a burst overruns what the port reads at once.
        for (int i = 0; i < 1000; ++i) {
            const QByteArray frame = QByteArray("[<V>") + QByteArray::number(500 + i % 80) + "</V><I>"
                                     + QByteArray::number(520 + i % 200) + "</I><R>" + QByteArray::number(i % 30)
                                     + "</R><M>" + QByteArray::number(i / 100 % 2) + "</M><S>"
                                     + QByteArray::number(i % 25) + "</S>]\r\n";
            if (!pty.send(frame, 10000))
                return false;
            QThread::usleep(1000);
        }
        // Then one the others never give, until it shows.
        const QString last = "Logger  15 V  3 A  45 W  150 RPM  5 WIND";
        QElapsedTimer wait;
        wait.start();
        while (!run("xdotool", {"getwindowname", window.split('\n').last()}).startsWith(last)
               && wait.elapsed() < 30000) {
            pty.send("[<V>614.4</V><I>542</I><R>5</R><S>8</S><M>1</M>]\r\n");
            QThread::msleep(50);
        }
        if (wait.elapsed() >= 30000) {
            std::fprintf(stderr, "the frames were not shown; title \"%s\"\n",
                         qPrintable(run("xdotool", {"getwindowname", window.split('\n').last()})));
            return false;
        }
        QThread::sleep(1);
        m.rssFrames.push_back(rssMegabytes(p.processId()));
    }
    p.terminate();
    p.waitForFinished(5000);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 7;
    const QString bin = QDir(QCoreApplication::applicationDirPath() + "/../bin").absolutePath();
    if (!QFile::exists(bin + "/crestdial")) {
        std::fprintf(stderr, "build the programs first: %s/crestdial is missing\n", qPrintable(bin));
        return 1;
    }
    if (QStandardPaths::findExecutable("Xvfb").isEmpty() || QStandardPaths::findExecutable("xdotool").isEmpty()) {
        std::fprintf(stderr, "Xvfb and xdotool are needed (scripts/install-deps installs them)\n");
        return 1;
    }

    testsupport::VirtualDisplay xvfb;
    if (!xvfb.start())
        return 1;
    const QString display = xvfb.name();

    Measures m;
    bool ok = true;
    // The two start-ups take turns, so that both meet the same machine.
    for (int i = 0; i < runs && ok; ++i)
        ok = measure(bin, display, i < 3, false, m) && measure(bin, display, false, true, m);
    if (!ok)
        return 1;

    std::printf("startup_to_window  median_ms=%.0f\n", median(m.startup));
    std::printf("startup_energy_restored  median_ms=%.0f\n", median(m.startupEnergy));
    std::printf("idle_cpu_60s  median_percent=%.3f\n", median(m.idle));
    std::printf("rss_after_startup  median_mb=%.1f\n", median(m.rssStart));
    std::printf("rss_after_1000_frames  median_mb=%.1f\n", median(m.rssFrames));
    return 0;
}
