// SPDX-License-Identifier: GPL-3.0-or-later
// The web server of the built program, fed by the simulated unit, from
// outside: curl and Python clients for every route and every refusal, the
// password (Basic, the login form, slower answers to wrong ones), TLS, and a
// real Prometheus scraping /metrics.
#include "core/Web.h"
#include "web/WebPassword.h"
#include "web/WebSettingsFile.h"
#include "support/Broker.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QtTest>

#include <tuple>
#include <csignal>

namespace {

// Wind in mph, watts, RPM: 100 W (7.69 A at 13 V) whatever the wind.
const char kFlatCurve[] = "0 100 200\n20 100 200\n";
const double kWatts = 99.97;
const char kPassword[] = "open sesame";

struct Reply {
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    qint64 ms = 0;
};

// One request with curl; headers as they came.
Reply curl(const QStringList &args)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start("curl", QStringList{"-s", "-i", "--max-time", "60"} + args);
    p.waitForFinished(90000);
    Reply r;
    r.ms = t.elapsed();
    const QByteArray out = p.readAllStandardOutput();
    const qsizetype end = out.indexOf("\r\n\r\n");
    const QList<QByteArray> lines = out.left(end).split('\n');
    r.status = lines.value(0).split(' ').value(1).toInt();
    for (const QByteArray &line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            r.headers[line.left(colon).trimmed().toLower()] = line.mid(colon + 1).trimmed();
    }
    r.body = end < 0 ? QByteArray() : out.mid(end + 4);
    return r;
}

// A Python program's standard output (its last line), given its arguments.
QByteArray python(const char *program, const QStringList &args, int waitMs = 90000)
{
    QProcess p;
    p.start("python3", QStringList{"-c", program} + args);
    p.waitForFinished(waitMs);
    const QByteArray err = p.readAllStandardError();
    if (!err.isEmpty())
        qWarning("python3: %s", err.constData());
    return p.readAllStandardOutput().trimmed().split('\n').last();
}

// Sends the request one byte every half second; prints the seconds until
// the server closed, or "answered" when it answered first.
const char kSlowSender[] = R"(
import socket, sys, time
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
s.settimeout(0.5)
start = time.time()
for b in b"GET /api/now HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + b"a" * 200 + b"\r\n\r\n":
    try:
        s.send(bytes([b]))
        if s.recv(1):
            print("answered"); sys.exit()
        print("%.1f" % (time.time() - start)); sys.exit()
    except socket.timeout:
        pass
    except OSError:
        print("%.1f" % (time.time() - start)); sys.exit()
print("answered")
)";

// Opens live streams, `per` from each of the addresses 127.0.0.<first>.. up to
// `count` in all, and reads each one's first event; then asks for /api/now
// on one more connection: prints the statuses of the streams, whether that
// request waited 2 s unanswered, and whether it was answered once a stream
// was closed.
const char kManyStreams[] = R"(
import socket, sys, time
port, count, per, first = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
socks, statuses = [], set()
for i in range(count):
    c = socket.socket(); c.bind(("127.0.0.%d" % (first + i // per), 0)); c.connect(("127.0.0.1", port))
    c.sendall(b"GET /api/stream HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
    c.settimeout(30); statuses.add(c.recv(12)[9:12].decode()); socks.append(c)
x = socket.create_connection(("127.0.0.1", port)); x.settimeout(2)
x.sendall(b"GET /api/now HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
try:
    x.recv(12); waited, later = "answered", "-"
except socket.timeout:
    waited = "waited"
    socks[0].close(); x.settimeout(20)
    try:
        later = x.recv(12)[9:12].decode()
    except socket.timeout:
        later = "none"
print(",".join(sorted(statuses)), waited, later)
)";

// Reads `n` events of /api/stream; prints "<ids> <watts of the last>".
const char kReadEvents[] = R"(
import json, socket, sys
port, n = int(sys.argv[1]), int(sys.argv[2])
s = socket.create_connection(("127.0.0.1", port)); s.settimeout(30)
s.sendall(b"GET /api/stream HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
buf, ids, last = b"", [], None
while len(ids) < n:
    buf += s.recv(4096)
    while b"\n\n" in buf:
        event, buf = buf.split(b"\n\n", 1)
        fields = dict(l.split(": ", 1) for l in event.decode().split("\n") if ": " in l and not l.startswith(":"))
        if fields.get("event") == "reading":
            ids.append(fields["id"]); last = json.loads(fields["data"])
print(",".join(ids), last["watts"])
)";

// Sends one request given in hex as it is, bytes the HTTP clients would
// mend included; prints the status and how many answer heads came.
const char kRawRequest[] = R"(
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1]))); s.settimeout(10)
s.sendall(bytes.fromhex(sys.argv[2]))
out = b""
while True:
    try:
        d = s.recv(65536)
    except socket.timeout:
        break
    if not d:
        break
    out += d
print(out[9:12].decode() or "none", out.count(b"HTTP/1.1 "))
)";

// With the session cookie: reads a first event of the live stream, sends
// the program SIGHUP, asks for /api/now 20 times over 2 s, then reads two
// more events on the same stream. Prints the statuses of /api/now and the
// events read after the signal.
const char kStreamThroughReload[] = R"(
import os, signal, socket, sys, time
port, pid, cookie = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
def ask(path):
    c = socket.create_connection(("127.0.0.1", port)); c.settimeout(10)
    c.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: %s\r\nConnection: close\r\n\r\n" % (path, cookie)).encode())
    return c
s = ask("/api/stream")
buf = b""
def events():
    global buf
    while b"\nevent: reading" not in buf:
        d = s.recv(4096)
        if not d:
            return False
        buf += d
    buf = buf.split(b"\nevent: reading", 1)[1]
    return True
events()
os.kill(pid, signal.SIGHUP)
statuses = set()
for i in range(20):
    statuses.add(ask("/api/now").recv(12)[9:12].decode())
    time.sleep(0.1)
after = sum(1 for i in range(2) if events())
print(",".join(sorted(statuses)), after)
)";

// Runs `program --set-web-password --folder DIR` on a terminal and types
// the two given passwords when asked; prints its exit status and whether
// anything typed was echoed.
const char kTypePasswords[] = R"(
import os, pty, sys
program, folder, first, second = sys.argv[1:5]
pid, fd = pty.fork()
if pid == 0:
    os.execv(program, [program, "--set-web-password", "--folder", folder])
out = b""
def until(text):
    global out
    while text not in out:
        out += os.read(fd, 1024)
until(b"server: ")
os.write(fd, first.encode() + b"\n")
until(b"again: ")
os.write(fd, second.encode() + b"\n")
while True:
    try:
        d = os.read(fd, 1024)
    except OSError:
        break
    if not d:
        break
    out += d
code = os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
print(code, "echoed" if first.encode() in out or second.encode() in out else "quiet")
)";

bool have(const QString &program) { return !QStandardPaths::findExecutable(program).isEmpty(); }

} // namespace

class TestWeb : public QObject {
    Q_OBJECT

    testsupport::ProgramFolder *m_folder = nullptr;
    QProcess m_unit, m_program;
    int m_port = 0;
    QString m_base;

    // Starts the simulated unit and the program with these web settings;
    // waits until the server answers.
    bool startProgram(core::WebSettings s, const QString &program = "crestdial")
    {
        stopProgram();
        m_port = testsupport::freePort();
        s.on = true;
        s.port = std::to_string(m_port);
        if (!web::writeWebSettingsFile(m_folder->file("web.cfg"), s))
            return false;
        m_base = QString("%1://127.0.0.1:%2").arg(s.tls ? "https" : "http").arg(m_port);
        if (m_unit.state() == QProcess::NotRunning) {
            m_folder->write("curve.txt", kFlatCurve);
            m_unit.setProcessChannelMode(QProcess::ForwardedChannels);
            if (!testsupport::startUnit(m_unit, m_folder->path(), {"--curve", m_folder->file("curve.txt"), "--rate", "4"}))
                return false;
        }
        return testsupport::startServing(m_program, m_folder->path(), program, testsupport::progCfg("1"), m_port);
    }

    void stopProgram() { testsupport::endProgram(m_program); }

    // /api/now once the unit's frames have come through.
    Reply liveNow(const QStringList &auth = {})
    {
        Reply r;
        QElapsedTimer t;
        t.start();
        do {
            r = curl(auth + QStringList{m_base + "/api/now"});
            if (r.status == 200 && QJsonDocument::fromJson(r.body).object()["state"].toString() == "live")
                break;
            QTest::qWait(200);
        } while (t.elapsed() < 60000);
        return r;
    }

private slots:
    void initTestCase()
    {
        for (const char *tool : {"curl", "python3"})
            if (!have(tool)) {
                if (qEnvironmentVariableIsSet("CI"))
                    QFAIL(qPrintable(QString(tool) + " is missing (scripts/install-deps installs it)"));
                QSKIP(qPrintable(QString(tool) + " is missing; scripts/install-deps installs it"));
            }
        m_folder = new testsupport::ProgramFolder;
    }

    void cleanupTestCase()
    {
        stopProgram();
        if (m_unit.state() != QProcess::NotRunning) {
            m_unit.terminate();
            m_unit.waitForFinished(3000);
        }
        delete m_folder;
    }

    // Without a password: the routes, their headers and numbers.
    void routesAnswer()
    {
        core::WebSettings s;
        s.requestSeconds = "2";
        s.names = "turbine.lan";
        QVERIFY(startProgram(s));
        const Reply now = liveNow();
        QCOMPARE(now.status, 200);
        QCOMPARE(now.headers["content-type"], QByteArray("application/json"));
        QCOMPARE(now.headers["content-security-policy"],
                 QByteArray("default-src 'self'; frame-ancestors 'none'; object-src 'none'; base-uri 'none'"));
        QCOMPARE(now.headers["x-content-type-options"], QByteArray("nosniff"));
        QCOMPARE(now.headers["referrer-policy"], QByteArray("same-origin"));
        QCOMPARE(now.headers["cache-control"], QByteArray("no-store"));
        QVERIFY(!now.headers.contains("access-control-allow-origin"));
        const QJsonObject o = QJsonDocument::fromJson(now.body).object();
        QCOMPARE(o["watts"].toDouble(), kWatts);
        QVERIFY2(now.body.contains("\"volts\":13,") && now.body.contains("\"amps\":7.69,"), now.body.constData());

        const Reply metrics = curl({m_base + "/metrics"});
        QCOMPARE(metrics.status, 200);
        QVERIFY(metrics.headers["content-type"].startsWith("text/plain; version=0.0.4"));
        QVERIFY2(metrics.body.contains("\nveldra_power_watts 99.97\n"), metrics.body.constData());
        QVERIFY(metrics.body.contains("veldra_data_state{state=\"live\"} 1\n"));

        // The archive's minutes of the frames so far (written at each minute's end; none yet is fine).
        const Reply series = curl({m_base + "/api/series?fields=watts"});
        QCOMPARE(series.status, 200);
        QCOMPARE(QJsonDocument::fromJson(series.body).object()["step"].toString(), QString("minute"));
        QCOMPARE(curl({m_base + "/api/series?step=week"}).status, 400);
        const Reply days = curl({m_base + "/api/days?month=2026-03"});
        QCOMPARE(days.status, 200);
        QCOMPARE(QJsonDocument::fromJson(days.body).object()["month"].toString(), QString("2026-03"));
        // The analyses, each with its own check of the query.
        for (const auto &[query, key, value] :
             {std::tuple{"/api/availability?year=2026", "year", 2026.0}, {"/api/energy?year=2025", "year", 2025.0},
              {"/api/wind", "binWidth", 0.5}}) {
            const Reply r = curl({m_base + query});
            QCOMPARE(r.status, 200);
            QCOMPARE(QJsonDocument::fromJson(r.body).object()[key].toDouble(), value);
        }
        QCOMPARE(curl({m_base + "/api/energy?year=last"}).status, 400);

        const Reply curve = curl({m_base + "/api/powercurve"});
        QCOMPARE(curve.status, 200);
        QCOMPARE(QJsonDocument::fromJson(curve.body).object()["unit"].toString(), QString("m/s"));

        // HEAD answers the headers alone.
        const Reply head = curl({"-I", m_base + "/api/now"});
        QCOMPARE(head.status, 200);
        QVERIFY(head.body.isEmpty());

        // Each new reading on the stream, in order.
        const QList<QByteArray> events =
            python(kReadEvents, {QString::number(m_port), "3"}).split(' ');
        const QList<QByteArray> ids = events.value(0).split(',');
        QCOMPARE(ids.size(), 3);
        QVERIFY(ids[0].toLongLong() < ids[1].toLongLong() && ids[1].toLongLong() < ids[2].toLongLong());
        QCOMPARE(events.value(1).toDouble(), kWatts);
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::newRow("PUT") << QStringList{"-X", "PUT", "/api/now"} << 405;
        QTest::newRow("DELETE") << QStringList{"-X", "DELETE", "/metrics"} << 405;
        QTest::newRow("OPTIONS") << QStringList{"-X", "OPTIONS", "/"} << 405;
        QTest::newRow("POST to the API") << QStringList{"-X", "POST", "/api/now"} << 405;
        QTest::newRow("GET logout") << QStringList{"/logout"} << 405;
        QTest::newRow("dot dot") << QStringList{"--path-as-is", "/../../etc/passwd"} << 404;
        QTest::newRow("escaped dot dot") << QStringList{"--path-as-is", "/api/%2e%2e/%2e%2e/etc/passwd"} << 404;
        QTest::newRow("absolute path") << QStringList{"--path-as-is", "//etc/passwd"} << 404;
        QTest::newRow("escaped NUL") << QStringList{"/api/now%00.html"} << 404;
        QTest::newRow("a file name") << QStringList{"/index.html"} << 404;
        QTest::newRow("a built-in script") << QStringList{"/static/dashboard.js"} << 200;
        QTest::newRow("a page as a file") << QStringList{"/static/dashboard.html"} << 404;
        QTest::newRow("no such file") << QStringList{"/static/web.cfg"} << 404;
        QTest::newRow("a file up a folder") << QStringList{"--path-as-is", "/static/../web.cfg"} << 404;
        QTest::newRow("a file up, escaped") << QStringList{"/static/%2e%2e%2fweb.cfg"} << 404;
        QTest::newRow("another name (DNS rebinding)") << QStringList{"-H", "Host: evil.example", "/api/now"} << 421;
        QTest::newRow("no Host") << QStringList{"-0", "-H", "Host:", "/api/now"} << 421;
        QTest::newRow("a configured name") << QStringList{"-H", "Host: turbine.lan:1", "/api/now"} << 200;
        QTest::newRow("headers too large")
            << QStringList{"-H", "X-Pad: " + QString(20000, 'a'), "/api/now"} << 431;
        QTest::newRow("body too large") << QStringList{"--data-binary", QString(8000, 'a'), "/login"} << 413;
        QTest::newRow("a form from another site")
            << QStringList{"-H", "Origin: http://evil.example", "-d", "password=x", "/login"} << 403;
        QTest::newRow("a form of no origin") << QStringList{"-H", "Origin: null", "-d", "password=x", "/login"} << 403;
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QVERIFY(m_program.state() == QProcess::Running);
        args.last() = m_base + args.last();
        QCOMPARE(curl(args).status, status);
    }

    // Requests no HTTP client sends, as bytes: one answer each, and the
    // target or host never read other than it came.
    void rawRefusals_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer");
        const QByteArray end = " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        QTest::newRow("NUL in the path") << "GET /api/now" + QByteArray(1, '\0') + "/../../etc/passwd" + end << QByteArray("400 1");
        QTest::newRow("NUL before a file type")
            << "GET /static/meters.js" + QByteArray(1, '\0') + ".png" + end << QByteArray("400 1");
        QTest::newRow("NUL in the query") << "GET /api/series?step=hour" + QByteArray(1, '\0') + "x" + end
                                          << QByteArray("400 1");
        QTest::newRow("two Host headers")
            << QByteArray("GET /api/now HTTP/1.1\r\nHost: 127.0.0.1\r\nHost: evil.example\r\nConnection: close\r\n\r\n")
            << QByteArray("400 1");
        QTest::newRow("Host twice alike")
            << QByteArray("GET /api/now HTTP/1.1\r\nHost: 127.0.0.1\r\nhost: 127.0.0.1\r\nConnection: close\r\n\r\n")
            << QByteArray("400 1");
        QTest::newRow("a query and blanks") << "GET /api/now?a=1&b=2 " + end << QByteArray("200 1");
        QTest::newRow("HTTP/1.0") << QByteArray("GET /api/now HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n") << QByteArray("200 1");
    }
    void rawRefusals()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        QVERIFY(m_program.state() == QProcess::Running);
        QCOMPARE(python(kRawRequest, {QString::number(m_port), QString::fromLatin1(request.toHex())}), answer);
    }

    void limits()
    {
        QVERIFY(m_program.state() == QProcess::Running);
        // A client that sends its request too slowly is closed after its 2 s.
        const QByteArray slow = python(kSlowSender, {QString::number(m_port)});
        QVERIFY2(slow != "answered" && slow.toDouble() >= 1.5 && slow.toDouble() < 10, slow.constData());

        // At most 4 streams an address: the fifth is refused.
        QCOMPARE(python(kManyStreams, {QString::number(m_port), "5", "5", "2"}), QByteArray("200,429 answered -"));
        // 64 connections at most: the 65th waits until one ends. From other
        // addresses: the server may still be letting go of the streams above.
        QCOMPARE(python(kManyStreams, {QString::number(m_port), "64", "4", "3"}), QByteArray("200 waited 200"));
    }

    void password()
    {
        core::WebSettings s;
        s.askPassword = true;
        s.passwordHash = web::hashPassword(kPassword);
        QVERIFY(startProgram(s));
        QCOMPARE(curl({m_base + "/api/now"}).status, 401);
        const Reply none = curl({m_base + "/metrics"});
        QCOMPARE(none.status, 401);
        QVERIFY(none.headers["www-authenticate"].startsWith("Basic realm=\"Veldra\""));
        QCOMPARE(curl({m_base + "/"}).headers["location"], QByteArray("/login"));
        QCOMPARE(curl({m_base + "/trends"}).headers["location"], QByteArray("/login"));
        // The login page's style comes without a session; kept by the browser, asked after each time.
        const Reply style = curl({m_base + "/static/veldra.css"});
        QCOMPARE(style.status, 200);
        QCOMPARE(style.headers["content-type"], QByteArray("text/css; charset=utf-8"));
        QCOMPARE(style.headers["cache-control"], QByteArray("no-cache"));
        const Reply again = curl({"-H", "If-None-Match: " + style.headers["etag"], m_base + "/static/veldra.css"});
        QCOMPARE(again.status, 304);
        QVERIFY(again.body.isEmpty());
        // Compressed for a client that takes gzip, the same bytes once unpacked;
        // not for one that refuses it.
        // The chart library is long enough to be deflated in two halves.
        const QByteArray chart = curl({m_base + "/static/uPlot.min.js"}).body;
        QVERIFY(chart.size() >= 32 * 1024);
        for (const auto &[path, plain] : {std::pair{"/static/veldra.css", style.body}, {"/static/uPlot.min.js", chart}})
            for (const auto &[accept, packed] : {std::pair{"gzip, deflate, br", true}, {"gzip;q=0, *", false}}) {
                const Reply r = curl({"--compressed", "-H", QString("Accept-Encoding: ") + accept, m_base + path});
                QCOMPARE(r.headers["content-encoding"], QByteArray(packed ? "gzip" : ""));
                QCOMPARE(r.headers["vary"], QByteArray("Accept-Encoding"));
                QCOMPARE(r.body, plain);
            }

        // HTTP Basic, as Prometheus sends it.
        QCOMPARE(liveNow({"-u", QString("prometheus:") + kPassword}).status, 200);

        // Wrong passwords: each answered later than the one before.
        const Reply first = curl({"-u", "x:wrong", m_base + "/api/now"});
        const Reply second = curl({"-u", "x:wrong", m_base + "/api/now"});
        const Reply third = curl({"-d", "password=wrong", m_base + "/login"});
        QCOMPARE(first.status, 401);
        QCOMPARE(third.status, 401);
        QVERIFY2(first.ms >= 450 && second.ms >= 950 && third.ms >= 1950 && second.ms > first.ms,
                 qPrintable(QString("%1 %2 %3 ms").arg(first.ms).arg(second.ms).arg(third.ms)));

        // The login form: a session cookie, HttpOnly and strict.
        const Reply login = curl({"--data-urlencode", QString("password=") + kPassword, m_base + "/login"});
        QCOMPARE(login.status, 303);
        const QByteArray cookie = login.headers["set-cookie"];
        QVERIFY2(cookie.contains("HttpOnly") && cookie.contains("SameSite=Strict") && !cookie.contains("Secure")
                     && cookie.contains("; Max-Age=604800"),
                 cookie.constData());
        const QString session = QString::fromLatin1(cookie.left(cookie.indexOf(';')));
        QCOMPARE(curl({"-H", "Cookie: " + session, m_base + "/api/now"}).status, 200);
        QCOMPARE(curl({"-H", "Cookie: " + session, m_base + "/"}).status, 200);
        QCOMPARE(curl({"-H", "Cookie: veldra_session=" + QString(64, 'a'), m_base + "/api/now"}).status, 401);
        // Logged out, the cookie opens nothing.
        QCOMPARE(curl({"-X", "POST", "-H", "Cookie: " + session, m_base + "/logout"}).status, 303);
        QCOMPARE(curl({"-H", "Cookie: " + session, m_base + "/api/now"}).status, 401);
    }

    // Prometheus scrapes /metrics with the password; its API gives back the
    // watts the program shows.
    void prometheusScrapes()
    {
        if (!have("prometheus")) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("prometheus is missing (scripts/install-deps installs it)");
            QSKIP("prometheus is missing; scripts/install-deps installs it");
        }
        QVERIFY(m_program.state() == QProcess::Running);
        const int promPort = testsupport::freePort();
        QVERIFY(promPort != 9090);
        m_folder->write("prometheus.yml", QString("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                                                  "scrape_configs:\n  - job_name: veldra\n"
                                                  "    scrape_interval: 1s\n    scrape_timeout: 1s\n"
                                                  "    basic_auth:\n      username: prometheus\n"
                                                  "      password: '%1'\n"
                                                  "    static_configs:\n      - targets: ['127.0.0.1:%2']\n")
                                              .arg(kPassword)
                                              .arg(m_port)
                                              .toUtf8());
        QProcess prom;
        prom.setProcessChannelMode(QProcess::MergedChannels);
        prom.setStandardOutputFile(m_folder->file("prometheus.log"));
        prom.start("prometheus", {"--config.file=" + m_folder->file("prometheus.yml"),
                                  "--storage.tsdb.path=" + m_folder->file("tsdb"),
                                  QString("--web.listen-address=127.0.0.1:%1").arg(promPort)});
        QVERIFY(prom.waitForStarted());
        auto stop = qScopeGuard([&prom] {
            prom.terminate();
            if (!prom.waitForFinished(10000))
                prom.kill();
        });
        const QString query = QString("http://127.0.0.1:%1/api/v1/query?query=").arg(promPort);
        QJsonArray result;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 90000) {
            const Reply r = curl({query + "veldra_power_watts"});
            result = QJsonDocument::fromJson(r.body).object()["data"].toObject()["result"].toArray();
            if (!result.isEmpty())
                break;
            QTest::qWait(500);
        }
        QVERIFY2(!result.isEmpty(), testsupport::readFile(m_folder->file("prometheus.log")).right(2000).constData());
        const double shown =
            QJsonDocument::fromJson(curl({"-u", QString("x:") + kPassword, m_base + "/api/now"}).body)
                .object()["watts"]
                .toDouble();
        QCOMPARE(shown, kWatts);
        QCOMPARE(result[0].toObject()["value"].toArray()[1].toString().toDouble(), shown);
        const Reply up = curl({query + "up"});
        QVERIFY2(up.body.contains("\"value\":[") && up.body.contains(",\"1\"]"), up.body.constData());
    }

    // A login lasts its week through a reload (with its live streams, and no
    // request refused meanwhile) and a restart; a new password ends it.
    void loginsLast()
    {
        core::WebSettings s;
        s.askPassword = true;
        s.passwordHash = web::hashPassword(kPassword);
        QVERIFY(startProgram(s, "veldra-service"));
        const Reply login = curl({"--data-urlencode", QString("password=") + kPassword, m_base + "/login"});
        QCOMPARE(login.status, 303);
        const QByteArray cookie = login.headers["set-cookie"];
        const QString session = QString::fromLatin1(cookie.left(cookie.indexOf(';')));
        const QStringList with{"-H", "Cookie: " + session};
        QCOMPARE(liveNow(with).status, 200);

        // Kept as the token's digest alone, for the owner's eyes only.
        const QString kept = m_folder->file("web.sessions");
        QVERIFY(QFileInfo::exists(kept));
        QCOMPARE(QFileInfo(kept).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());
        QVERIFY(!testsupport::readFile(kept).contains(session.mid(session.indexOf('=') + 1).toLatin1()));

        QCOMPARE(python(kStreamThroughReload, {QString::number(m_port), QString::number(m_program.processId()), session}),
                 QByteArray("200 2"));
        QVERIFY(startProgram(s, "veldra-service"));
        QCOMPARE(curl(with + QStringList{m_base + "/api/now"}).status, 200);

        s.on = true;
        s.port = std::to_string(m_port);
        s.passwordHash = web::hashPassword("another password");
        QVERIFY(web::writeWebSettingsFile(m_folder->file("web.cfg"), s));
        QVERIFY(testsupport::signalProcess(m_program, SIGHUP));
        QTRY_COMPARE_WITH_TIMEOUT(curl(with + QStringList{m_base + "/api/now"}).status, 401, 20000);
    }

    // TLS with the user's certificate; the cookie is then Secure.
    void tls()
    {
        if (!have("openssl")) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("openssl is missing (scripts/install-deps installs it)");
            QSKIP("openssl is missing; scripts/install-deps installs it");
        }
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                                  "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                                  m_folder->file("key.pem"), "-out", m_folder->file("cert.pem")});
        QVERIFY(openssl.waitForFinished(60000));
        QCOMPARE(openssl.exitCode(), 0);
        core::WebSettings s;
        s.tls = true;
        s.tlsCert = m_folder->file("cert.pem").toStdString();
        s.tlsKey = m_folder->file("key.pem").toStdString();
        s.askPassword = true;
        s.passwordHash = web::hashPassword(kPassword);
        QVERIFY(startProgram(s));
        const QStringList ca{"--cacert", m_folder->file("cert.pem")};
        QCOMPARE(liveNow(ca + QStringList{"-u", QString("x:") + kPassword}).status, 200);
        const Reply login = curl(ca + QStringList{"--data-urlencode", QString("password=") + kPassword,
                                                 m_base + "/login"});
        QCOMPARE(login.status, 303);
        QVERIFY2(login.headers["set-cookie"].contains("; Secure"), login.headers["set-cookie"].constData());
        // Plain HTTP on the TLS port gets no answer.
        QCOMPARE(curl({QString("http://127.0.0.1:%1/api/now").arg(m_port)}).status, 0);
    }

    // The password and the network switch from the command line: on a
    // folder nothing runs on (typed on a terminal, or piped), and taken up at
    // once by the service or a window program running on it.
    void commandLine_data()
    {
        QTest::addColumn<QString>("running");
        QTest::newRow("nothing runs") << "";
        QTest::newRow("the service runs") << "veldra-service";
        QTest::newRow("a window runs") << "crestdial";
    }
    void commandLine()
    {
        QFETCH(QString, running);
        const QString cfg = m_folder->file("web.cfg");
        if (running.isEmpty()) {
            stopProgram();
            QFile::remove(cfg);
        } else {
            QVERIFY(startProgram(core::WebSettings(), running));
        }
        const QString service = qEnvironmentVariable("VELDRA_BIN") + "/veldra-service";
        QByteArray said;
        auto command = [&](const QStringList &args, const QByteArray &typed) {
            QProcess p;
            p.start(service, args + QStringList{"--folder", m_folder->path()});
            p.write(typed);
            p.closeWriteChannel();
            p.waitForFinished(30000);
            said = p.readAllStandardOutput() + p.readAllStandardError();
            return p.exitCode();
        };
        // Refusals change nothing: no password given, the network without one.
        const QByteArray before = testsupport::readFile(cfg);
        QCOMPARE(command({"--set-web-password"}, ""), 3);
        QCOMPARE(command({"--web-network", "on"}, ""), 1);
        QVERIFY2(said.contains("--set-web-password"), said.constData());
        QCOMPARE(testsupport::readFile(cfg), before);
        if (running.isEmpty()) {
            // On a terminal: asked twice, never echoed; two that differ change nothing.
            QCOMPARE(python(kTypePasswords, {service, m_folder->path(), "first one", "second one"}),
                     QByteArray("3 quiet"));
            QCOMPARE(testsupport::readFile(cfg), before);
            QCOMPARE(python(kTypePasswords, {service, m_folder->path(), "typed twice", "typed twice"}),
                     QByteArray("0 quiet"));
            QVERIFY(web::passwordMatches("typed twice", *core::readPasswordHash(web::readWebSettingsFile(cfg).passwordHash)));
        }

        QCOMPARE(command({"--set-web-password"}, QByteArray(kPassword) + "\n"), 0);
        QVERIFY2(said.contains("--web-network on"), said.constData());
        core::WebSettings s = web::readWebSettingsFile(cfg);
        QVERIFY(s.on && s.askPassword && !s.network);
        QVERIFY(web::passwordMatches(kPassword, *core::readPasswordHash(s.passwordHash)));
        if (!running.isEmpty()) {
            QVERIFY2(said.contains("has taken it up"), said.constData());
            QTRY_COMPARE_WITH_TIMEOUT(curl({m_base + "/api/now"}).status, 401, 10000);
            QCOMPARE(curl({"-u", QString("x:") + kPassword, m_base + "/api/now"}).status, 200);
        }
        QCOMPARE(command({"--web-network", "on"}, ""), 0);
        QVERIFY(web::readWebSettingsFile(cfg).network);
        QCOMPARE(command({"--web-network", "off"}, ""), 0);
        s = web::readWebSettingsFile(cfg);
        QVERIFY(!s.network && s.on && s.askPassword);
        stopProgram();
    }

    // A settings page from the browser: every write refused unless it comes
    // with a login, from a page of this server with its token, for the form
    // as the file now is, with values the window takes; a refusal writes
    // nothing, and a save is taken up at once.
    void settingsFromTheBrowser_data()
    {
        QTest::addColumn<QStringList>("args"); // headers put in place of a good write's ("Name:" drops one), or "old"
        QTest::addColumn<QString>("values");   // the form's values, as JSON
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        const QString good = "{\"BatteryHighOn\":\"1\",\"BatteryHigh\":\"12,5\",\"HoldTime\":\"0\"}";
        QTest::newRow("no password set") << QStringList() << good << 403 << "only with a password";
        QTest::newRow("no login") << QStringList{"Cookie: veldra_session=x"} << good << 401 << "password is asked for";
        QTest::newRow("HTTP Basic only") << QStringList{"Cookie:", "Authorization: Basic " + QByteArray(QByteArray("x:") + kPassword).toBase64()} << good
                                         << 401 << "Log in";
        QTest::newRow("another site") << QStringList{"Origin: http://evil.example"} << good << 403 << "another site";
        QTest::newRow("no origin") << QStringList{"Origin:"} << good << 403 << "without its origin";
        QTest::newRow("another port") << QStringList{"Origin: http://127.0.0.1:1"} << good << 403 << "another page";
        QTest::newRow("no token") << QStringList{"X-Veldra-Token:"} << good << 403 << "token";
        QTest::newRow("an old token") << QStringList{"X-Veldra-Token: " + QString(64, 'a')} << good << 403 << "token";
        QTest::newRow("not JSON") << QStringList{"Content-Type: text/plain"} << good << 415 << "JSON";
        QTest::newRow("too large") << QStringList() << "{\"Command\":\"" + QString(70000, 'x') + "\"}" << 413 << "too large";
        QTest::newRow("an old form") << QStringList{"old"} << good << 409 << "changed meanwhile";
        QTest::newRow("the command") << QStringList() << "{\"Command\":\"/bin/sh\"}" << 400 << "command line or in the file";
        QTest::newRow("a tag") << QStringList() << "{\"BatteryHigh\":\"5</BatteryHigh><BatteryHighOn>1\"}" << 400 << "may not hold a line break";
        QTest::newRow("not a number") << QStringList() << "{\"BatteryHigh\":\"five\"}" << 400
                                      << "is not a number (Battery high, volts above). Nothing was saved.";
        QTest::newRow("saved") << QStringList() << good << 200 << "Saved at";
    }
    void settingsFromTheBrowser()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, values);
        QFETCH(int, status);
        QFETCH(QString, says);
        const QByteArray tag = QTest::currentDataTag();
        if (tag == "no password set" || tag == "no login") {
            QFile::remove(m_folder->file("alarms.cfg"));
            core::WebSettings s;
            s.askPassword = tag == "no login";
            s.passwordHash = s.askPassword ? web::hashPassword(kPassword) : std::string();
            QVERIFY(startProgram(s, "veldra-service"));
        }
        const Reply login = curl({"--data-urlencode", QString("password=") + kPassword, m_base + "/login"});
        const QString cookie = "Cookie: " + QString::fromLatin1(login.headers["set-cookie"].split(';').value(0));
        const Reply form = curl({"-H", cookie, m_base + "/api/settings/alarms"});
        QCOMPARE(form.status, 200);
        const QJsonObject o = QJsonDocument::fromJson(form.body).object();
        const QString version = args.value(0) == "old" ? QString(64, '0') : o["version"].toString();
        if (args.value(0) == "old")
            args.clear();
        QMap<QString, QString> headers{{"Cookie", cookie.mid(8)}, {"Origin", m_base},
                                       {"X-Veldra-Token", o["token"].toString()}, {"Content-Type", "application/json"}};
        for (const QString &h : args)
            headers[h.section(':', 0, 0)] = h.section(':', 1).trimmed();
        QStringList request;
        for (auto it = headers.begin(); it != headers.end(); ++it)
            request << "-H" << (it.value().isEmpty() ? it.key() + ":" : it.key() + ": " + it.value());
        const QByteArray before = testsupport::readFile(m_folder->file("alarms.cfg"));
        const Reply r = curl(request + QStringList{"--data-binary", "{\"version\":\"" + version + "\",\"values\":" + values + "}",
                                                   m_base + "/api/settings/alarms"});
        QVERIFY2(r.status == status, r.body.left(300).constData());
        QVERIFY2(r.body.contains(says.toUtf8()), r.body.left(300).constData());
        if (status != 200) {
            QCOMPARE(testsupport::readFile(m_folder->file("alarms.cfg")), before);
            return;
        }
        // As the window writes it, and taken up at once: 13 V is above 12.5 V.
        QVERIFY(testsupport::readFile(m_folder->file("alarms.cfg")).contains("<BatteryHigh>12.5</BatteryHigh>\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(QJsonDocument::fromJson(curl({"-H", cookie, m_base + "/api/now"}).body)
                                     .object()["alarms"].toObject()["battery_high"].toBool(),
                                 15000);
    }

    // A certified curve uploaded from the browser: checked and kept as its
    // import in the window keeps it, and drawn against at once.
    void certifiedCurveFromTheBrowser_data()
    {
        QTest::addColumn<QString>("curve");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("no unit in the header") << "wind,power\r\n3,0\r\n5,1\r\n" << 400 << "is not a curve file";
        QTest::newRow("nothing produces") << "wind_m_s,power_w\r\n3,0\r\n5,0\r\n" << 400 << "no point with power";
        QTest::newRow("kept") << "wind_m_s,power_w\r\n3,0\r\n5,70.5\r\n12,400\r\n" << 200 << "Saved at";
    }
    void certifiedCurveFromTheBrowser()
    {
        QFETCH(QString, curve);
        QFETCH(int, status);
        QFETCH(QString, says);
        const QString kept = m_folder->file("certified-curve.csv");
        if (QTest::currentDataTag() == QByteArray("no unit in the header")) {
            QFile::remove(kept);
            core::WebSettings s;
            s.askPassword = true;
            s.passwordHash = web::hashPassword(kPassword);
            QVERIFY(startProgram(s, "veldra-service"));
        }
        const Reply login = curl({"--data-urlencode", QString("password=") + kPassword, m_base + "/login"});
        const QString cookie = "Cookie: " + QString::fromLatin1(login.headers["set-cookie"].split(';').value(0));
        const QJsonObject form = QJsonDocument::fromJson(curl({"-H", cookie, m_base + "/api/settings/certified"}).body).object();
        const QByteArray before = testsupport::readFile(kept);
        const QJsonObject upload{{"version", form["version"]}, {"curve", curve}};
        const Reply r = curl({"-H", cookie, "-H", "Origin: " + m_base, "-H", "X-Veldra-Token: " + form["token"].toString(),
                              "-H", "Content-Type: application/json", "--data-binary",
                              QString::fromUtf8(QJsonDocument(upload).toJson(QJsonDocument::Compact)),
                              m_base + "/api/settings/certified"});
        QVERIFY2(r.status == status && r.body.contains(says.toUtf8()), r.body.constData());
        if (status != 200) {
            QCOMPARE(testsupport::readFile(kept), before);
            return;
        }
        QCOMPARE(testsupport::readFile(kept), curve.toUtf8());
        QVERIFY(r.body.contains("A certified curve of 3 points is kept."));
        QTRY_COMPARE_WITH_TIMEOUT(
            QJsonDocument::fromJson(curl({"-H", cookie, m_base + "/api/powercurve"}).body)["certified"].toArray().size(), 3,
            10000);
    }

    // The web password changed from the browser: the present one asked for;
    // the answer comes from the server that goes on with the new one, and
    // every login made with the old one ends.
    void passwordFromTheBrowser_data()
    {
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("not the present one") << "wrong" << "new one" << 403 << "not the present password";
        QTest::newRow("none typed") << kPassword << "" << 400 << "Type the new password";
        QTest::newRow("changed") << kPassword << "new one" << 200 << "Log in again with it.";
    }
    void passwordFromTheBrowser()
    {
        QFETCH(QString, old);
        QFETCH(QString, typed);
        QFETCH(int, status);
        QFETCH(QString, says);
        core::WebSettings s;
        s.askPassword = true;
        s.passwordHash = web::hashPassword(kPassword);
        QVERIFY(startProgram(s, "veldra-service"));
        const QString cfg = m_folder->file("web.cfg");
        const QByteArray before = testsupport::readFile(cfg);
        const Reply login = curl({"--data-urlencode", QString("password=") + kPassword, m_base + "/login"});
        const QString cookie = "Cookie: " + QString::fromLatin1(login.headers["set-cookie"].split(';').value(0));
        const QJsonObject form = QJsonDocument::fromJson(curl({"-H", cookie, m_base + "/api/settings/password"}).body).object();
        const QJsonObject change{{"old", old}, {"new", typed}};
        const Reply r = curl({"-H", cookie, "-H", "Origin: " + m_base, "-H", "X-Veldra-Token: " + form["token"].toString(),
                              "-H", "Content-Type: application/json", "--data-binary",
                              QString::fromUtf8(QJsonDocument(change).toJson(QJsonDocument::Compact)),
                              m_base + "/api/settings/password"});
        QVERIFY2(r.status == status && r.body.contains(says.toUtf8()), r.body.constData());
        if (status != 200) {
            QCOMPARE(testsupport::readFile(cfg), before);
            QCOMPARE(curl({"-H", cookie, m_base + "/api/now"}).status, 200);
            return;
        }
        QVERIFY(web::passwordMatches("new one", *core::readPasswordHash(web::readWebSettingsFile(cfg).passwordHash)));
        QCOMPARE(curl({"-H", cookie, m_base + "/api/now"}).status, 401);
        QCOMPARE(curl({"-u", QString("x:") + kPassword, m_base + "/api/now"}).status, 401);
        QCOMPARE(curl({"-u", "x:new one", m_base + "/api/now"}).status, 200);
        stopProgram();
    }
};

QTEST_MAIN(TestWeb)
#include "tst_web.moc"
