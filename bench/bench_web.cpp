// SPDX-License-Identifier: GPL-3.0-or-later
// The web server under load: the real session and rooms fed 5 frames a
// second on this (the GUI) thread, 50 clients on the live stream, each from
// its own loopback address (127.0.0.2 to 127.0.0.51), and one asking for
// /api/now 20 times a second, for 60 s (VELDRA_BENCH_WEB_SECONDS), 3 runs.
// The clients are a Python program, so their work is not counted as ours.
// Reports the longest stall of this thread (a 5 ms timer's lateness), the
// CPU this process used (share of one core), the p99 of /api/now, and the
// readings a client missed (every client should get every one). Then
// /api/series over HTTP for a year of hours of an archive with a minute in
// every hour, median of 11.
#include "archive/ArchiveDb.h"
#include "monitor/Rooms.h"
#include "web/WebServer.h"
#include "web/WebSettingsFile.h"
#include "support/Broker.h"
#include "support/TestSupport.h"
#include "ui/Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

const char kClients[] = R"(
import selectors, socket, sys, threading, time
port, n = int(sys.argv[1]), int(sys.argv[2])
sel, bufs, counts = selectors.DefaultSelector(), {}, {}
for i in range(n):
    s = socket.socket(); s.bind(("127.0.0.%d" % (2 + i), 0)); s.connect(("127.0.0.1", port))
    s.sendall(b"GET /api/stream HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"); s.setblocking(False)
    sel.register(s, selectors.EVENT_READ); bufs[s] = b""; counts[s] = -1  # the first is the values then
stop, lat = threading.Event(), []
def ask():
    while not stop.is_set():
        t = time.perf_counter()
        c = socket.create_connection(("127.0.0.1", port))
        c.sendall(b"GET /api/now HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
        while c.recv(65536): pass
        c.close(); lat.append(time.perf_counter() - t); time.sleep(0.05)
def pump(timeout):
    for key, _ in sel.select(timeout):
        s = key.fileobj; d = s.recv(65536)
        if not d: sel.unregister(s); continue
        bufs[s] += d
        while b"\n\n" in bufs[s]:
            ev, bufs[s] = bufs[s].split(b"\n\n", 1)
            if b"event: reading" in ev: counts[s] += 1
while min(counts.values()) < 0: pump(1)
print("ready", flush=True)
t = threading.Thread(target=ask); t.start()
threading.Thread(target=lambda: (sys.stdin.read(), stop.set()), daemon=True).start()
while not stop.is_set(): pump(0.2)
t.join(); pump(0.5)
lat.sort()
print("counts", min(counts.values()), max(counts.values()), "p99", lat[int(len(lat) * 0.99)] * 1000, flush=True)
)";

struct Run {
    double stallMs = 0, cpuPercent = 0, p99Ms = 0;
    long long missed = 0;
};

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

Run oneRun(int seconds)
{
    testsupport::ProgramFolder folder;
    const int port = testsupport::freePort();
    core::WebSettings s;
    s.on = true;
    s.port = std::to_string(port);
    web::writeWebSettingsFile(folder.file("web.cfg"), s);

    testsupport::FakeServices fake(folder.path());
    ui::SystemClock clock;
    ui::Services services = fake.services();
    services.clock = &clock;
    monitor::Rooms rooms(services);
    monitor::Session &session = rooms.session();
    session.loadSettings();
    session.openPort();
    const QDate today = clock.date();
    session.startEnergy({today.year(), today.month(), today.day()});

    QProcess clients;
    clients.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    clients.start("python3", {"-c", kClients, QString::number(port), "50"});
    QByteArray said;
    QElapsedTimer wait;
    wait.start();
    while (!said.contains("ready\n") && wait.elapsed() < 60000) {
        clients.waitForReadyRead(100);
        said += clients.readAllStandardOutput();
        QCoreApplication::processEvents();
    }
    if (!said.contains("ready\n")) {
        std::fprintf(stderr, "the clients did not connect: %s\n", said.constData());
        std::exit(1);
    }

    long long sent = 0;
    QTimer frames;
    frames.setInterval(200);
    QObject::connect(&frames, &QTimer::timeout, [&] {
        ++sent;
        fake.ports.front()->feed(QByteArray("[<V>") + QByteArray::number(614.4 + double(sent % 7))
                                 + "</V><I>612</I><R>400</R><S>16</S><M>0</M>]");
    });
    // The GUI thread's stalls: how late a 5 ms timer comes.
    QElapsedTimer beat;
    double worst = 0;
    QTimer meter;
    meter.setTimerType(Qt::PreciseTimer);
    meter.setInterval(5);
    QObject::connect(&meter, &QTimer::timeout, [&] {
        worst = std::max(worst, double(beat.nsecsElapsed()) / 1e6 - 5);
        beat.restart();
    });

    const double cpu0 = cpuSeconds();
    QElapsedTimer run;
    run.start();
    beat.start();
    frames.start();
    meter.start();
    {
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    frames.stop();
    meter.stop();
    const double cpu = cpuSeconds() - cpu0, elapsed = double(run.elapsed()) / 1000;
    // The last readings reach the clients, then they stop.
    {
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    clients.closeWriteChannel();
    {
        // The server answers the clients' last requests meanwhile.
        QEventLoop loop;
        QObject::connect(&clients, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        if (clients.state() != QProcess::NotRunning)
            loop.exec();
    }
    said += clients.readAllStandardOutput();
    const QList<QByteArray> words = said.mid(said.indexOf("counts")).trimmed().split(' ');
    Run r;
    r.stallMs = worst;
    r.cpuPercent = 100 * cpu / elapsed;
    r.p99Ms = words.value(4).toDouble();
    r.missed = sent - words.value(1).toLongLong();
    std::fprintf(stderr, "run: %lld readings, clients got %s..%s, stall %.2f ms, CPU %.2f %%, p99 %.2f ms\n", sent,
                 words.value(1).constData(), words.value(2).constData(), r.stallMs, r.cpuPercent, r.p99Ms);
    if (words.value(1).isEmpty())
        r.missed = sent;
    return r;
}

// GET over a fresh connection; the answer's length (0 when it failed).
size_t httpGet(int port, const std::string &path, const std::string &headers = {})
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    size_t got = 0;
    if (::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0) {
        const std::string req = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers + "\r\n";
        if (::send(s, req.data(), req.size(), 0) == ssize_t(req.size())) {
            char buf[65536];
            ssize_t n;
            while ((n = ::recv(s, buf, sizeof buf, 0)) > 0)
                got += size_t(n);
        }
    }
    ::close(s);
    return got;
}

// Medians (ms) of all fields, of the watts and energy alone, and of every
// field in columns compressed, with the bytes that took on the wire.
struct SeriesTimes {
    double rows = 0, rowsWatts = 0, columns = 0, columnsKb = 0, columnsPlain = 0;
};
SeriesTimes seriesYearOfHours()
{
    testsupport::ProgramFolder folder;
    const std::int64_t start = 1764547200; // 2025-12-01 00:00 UTC
    {
        archive::ArchiveDb db;
        if (!db.open(folder.file(archive::ArchiveDb::fileName()), false)) {
            std::fprintf(stderr, "no archive: %s\n", qPrintable(db.error()));
            std::exit(1);
        }
        std::uint32_t seed = 12345;
        const auto noise = [&seed](int spread) {
            seed = seed * 1664525u + 1013904223u;
            return int(seed >> 8) % spread;
        };
        for (int h = 0; h < 365 * 24; ++h) {
            core::ArchiveRow r;
            r.t = start + std::int64_t(h) * 3600;
            r.utcOffset = 3600;
            r.minutes = 1;
            r.frames = 60;
            r.windUnit = "mph";
            // Noisy readings at the unit's resolution, so the answer compresses
            // as a real site's does, not as a repeating pattern.
            for (int s = 0; s < 60; ++s) {
                r.volts.add(13 + noise(200) * 0.01);
                r.amps.add(h % 24 + noise(100) * 0.1);
                r.watts.add(13 * (h % 24) + noise(400) * 0.1);
                r.rpm.add(200 + noise(80));
                r.wind.add(3 + noise(70) * 0.1);
            }
            r.energyWh = r.watts.mean() / 60;
            db.write(r);
        }
    }
    const int port = testsupport::freePort();
    core::WebSettings s;
    s.on = true;
    s.port = std::to_string(port);
    web::writeWebSettingsFile(folder.file("web.cfg"), s);
    testsupport::FakeServices fake(folder.path());
    monitor::Rooms rooms(fake.services());
    const std::string path = "/api/series?from=" + std::to_string(start) + "&to=" + std::to_string(start + 365 * 86400)
                             + "&step=hour";
    auto measure = [port](const std::string &path, size_t least, const std::string &headers = {},
                          size_t *wire = nullptr) {
        std::vector<double> ms;
        size_t bytes = 0;
        for (int i = 0; i < 11; ++i) {
            QElapsedTimer t;
            t.start();
            bytes = httpGet(port, path, headers);
            ms.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        std::fprintf(stderr, "series: %zu bytes, %.1f .. %.1f ms\n", bytes, ms.front(), ms.back());
        if (bytes < least) {
            std::fprintf(stderr, "the answer is too short\n");
            std::exit(1);
        }
        if (wire)
            *wire = bytes;
        return ms[ms.size() / 2];
    };
    SeriesTimes r;
    r.rows = measure(path, 8760 * 200);
    r.rowsWatts = measure(path + "&fields=watts,energy", 8760 * 60);
    // The columns a chart asks for, every field, as a browser asks: gzip taken.
    size_t wire = 0;
    r.columns = measure(path + "&form=columns", 8760, "Accept-Encoding: gzip, deflate, br\r\n", &wire);
    r.columnsKb = double(wire) / 1000;
    r.columnsPlain = measure(path + "&form=columns", 8760 * 10);
    return r;
}

template <typename T>
double median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return double(v[v.size() / 2]);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const SeriesTimes series = seriesYearOfHours();
    std::printf("web_series_year_of_hours  median_ms=%.2f\n", series.rows);
    std::printf("web_series_year_of_hours_watts  median_ms=%.2f\n", series.rowsWatts);
    std::printf("web_series_columns_year_of_hours  median_ms=%.2f\n", series.columns);
    std::printf("web_series_columns_year_of_hours_wire  median_kb=%.1f\n", series.columnsKb);
    std::printf("web_series_columns_year_of_hours_plain  median_ms=%.2f\n", series.columnsPlain);
    std::fflush(stdout);
    if (qEnvironmentVariableIsSet("VELDRA_BENCH_WEB_SERIES_ONLY"))
        return 0;
    const int seconds = qEnvironmentVariableIntValue("VELDRA_BENCH_WEB_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("VELDRA_BENCH_WEB_SECONDS")
                            : 60;
    std::vector<double> stall, cpu, p99;
    std::vector<long long> missed;
    for (int i = 0; i < 3; ++i) {
        const Run r = oneRun(seconds);
        stall.push_back(r.stallMs);
        cpu.push_back(r.cpuPercent);
        p99.push_back(r.p99Ms);
        missed.push_back(r.missed);
    }
    std::printf("web_stream_gui_stall  median_ms=%.2f\n", median(stall));
    std::printf("web_stream_cpu  median_percent=%.2f\n", median(cpu));
    std::printf("web_now_p99_under_load  median_ms=%.2f\n", median(p99));
    std::printf("web_stream_missed  median_readings=%.0f\n", median(missed));
    return 0;
}
