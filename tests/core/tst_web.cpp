// SPDX-License-Identifier: GPL-3.0-or-later
// The web server's own parsing (routes, queries, cookies, the Host header),
// web.cfg, the stored password's text, and the JSON and metrics texts.
#include "core/Json.h"
#include "core/Number.h"
#include "core/Web.h"
#include "core/WebApi.h"
#include "core/WebAnalyses.h"

#include <QtTest>

#include <charconv>
#include <cmath>
#include <random>
#include <nlohmann/json.hpp>

namespace {
QString qs(const std::string &s) { return QString::fromStdString(s); }
QString opt(const std::optional<std::string> &s) { return s ? qs(*s) : QStringLiteral("<none>"); }
} // namespace

core::WebAlarm alarmOf(const char *key, const char *name, bool raised)
{
    core::WebAlarm a;
    a.key = key;
    a.name = name;
    a.raised = raised;
    return a;
}

// The keys of a JSON value at every depth ("bins[].wind"), an array's by its first element.
QStringList keysOf(const QJsonValue &v, const QString &path = QString())
{
    QStringList out;
    const QJsonObject o = v.toObject();
    if (v.isObject())
        for (auto it = o.begin(); it != o.end(); ++it)
            out << path + it.key() << keysOf(it.value(), path + it.key() + ".");
    else if (v.isArray() && !v.toArray().isEmpty())
        out << keysOf(v.toArray().first(), path.chopped(1) + "[].");
    out.sort();
    return out;
}

// Every JSON and metrics answer of the routes, from fixed values: the texts
// the server sends, one section each, as tests/core/web-answers.txt holds them.
std::vector<std::pair<std::string, std::string>> fixedAnswers()
{
    core::WebNow quiet;
    quiet.time = 1772892309;
    quiet.windUnit = "mph";
    quiet.alarms = {alarmOf("no_data", "No data", false), alarmOf("battery_low", "Battery low", false)};

    core::WebNow busy = quiet;
    busy.state = core::DataState::Live;
    busy.lastLive = 1772892308;
    busy.hasReading = true;
    busy.volts = 13;
    busy.amps = 7.6923077;
    busy.watts = 99.9999996;
    busy.rpm = 0;
    busy.windSpeed = 12.3;
    busy.windUnit = "km/h";
    busy.windToMetresPerSecond = 1 / 3.6;
    busy.loadOn = true;
    busy.todayWh = 1234.56789;
    busy.yesterdayWh = -1e-7;
    busy.lifetimeWh = 12345678901.25;
    busy.framesReceived = 42;
    busy.framesRejected = 3;
    busy.archiveMinutesDropped = 1;
    busy.backupOn = true;
    busy.lastBackup = 1772852400;
    busy.backupProblem = "The folder /media/stick is not there (is the stick or the share attached?).";
    core::WebAlarm silent = alarmOf("no_data", "No data", true), low = alarmOf("battery_low", "Battery \"low\"", true);
    silent.value = 65;
    silent.unit = "s";
    silent.since = 1772892244;
    silent.text = "No data for 65 s";
    low.value = std::nan("");
    low.unit = "V";
    low.since = 1772892000;
    low.text = "Battery \"low\":\t11,5 V \u00b0 since 14:00:00\n";
    busy.alarms = {silent, low, alarmOf("over_speed", "Over speed", false)};
    core::AvailabilityTally tally;
    for (int i = 0; i < 600; ++i)
        tally.count(i < 500 ? core::Category::Generating : i < 560 ? core::Category::Stopped : core::Category::Calm,
                    i < 500 ? 0.25 : 0, 16);
    std::array<std::optional<double>, core::PowerCurve::kBins> expected{};
    expected[16] = 123.4;
    const core::Availability month = core::availability(tally, 1440, expected);
    busy.month = month;
    std::vector<core::DayRecord> energyDays;
    for (const auto &[date, wh, estimated] :
         {std::tuple{core::CivilDate{2025, 12, 31}, 10.0, false}, {core::CivilDate{2026, 3, 6}, 1234.56789, false},
          {core::CivilDate{2026, 3, 7}, 99.5, true}, {core::CivilDate{2026, 11, 30}, 0.0, false}}) {
        core::DayRecord d;
        d.date = date;
        d.energyWh = wh;
        d.estimated = estimated;
        energyDays.push_back(d);
    }
    core::WindTally wind;
    for (int i = 0; i < 40; ++i)
        wind.add(i % 10 == 9 ? 0 : 2 + (i % 7) * 1.3, 1, 202603 + i / 20);

    core::PowerCurve curve;
    for (int k = 6; k <= 30; k += 3) {
        core::CurveBin &b = curve.bin(k);
        b.minutes = k == 6 ? 2 : 20;
        b.sumWind = b.minutes * core::PowerCurve::centre(k) * 1.01;
        b.sumWatts = b.minutes * 10.3 * k;
        b.sumSquares = b.minutes * 10.3 * k * 10.3 * k + 7;
        b.rpmMinutes = k > 10 ? b.minutes : 0;
        b.sumRPM = b.rpmMinutes * 31.7 * k;
    }

    core::TurbineSettings turbine;
    turbine.cutOut = 25;
    turbine.rotorDiameter = 1.2;
    turbine.altitude = 300;
    const std::vector<core::CurvePoint> certified{{3, 0}, {5.5, 70.25}, {12, 400}};
    for (const core::MinuteUse why : {core::MinuteUse::BatteryFull, core::MinuteUse::LoadOn})
        for (const int month : {202602, 202603})
            curve.curtailment(month, why) = {600.0 * (why == core::MinuteUse::LoadOn ? 3 : 1), month % 100 * 12.5};
    core::PerformanceBook performance(certified, core::curveRules(turbine));
    for (int i = 0; i < 90; ++i) {
        core::ArchiveRow m;
        m.t = 1772600000 + i * 1200; // three days from 2026-03-04
        m.minutes = 1;
        m.frames = 30;
        m.windUnit = "m/s";
        for (int f = 0; f < 30; ++f) {
            m.wind.add(4 + i % 7);
            m.watts.add(9.5 * (i % 7) * (i % 7));
            m.volts.add(13);
        }
        m.energyWh = m.watts.mean() / 60;
        performance.add(m);
    }
    std::vector<core::AlarmCsvRecord> history;
    for (const char *line : {"2026-03-06T10:00:00,high_wind,raised,50.5,40", "2026-03-06T11:30:00,high_wind,cleared,36,40",
                             "2026-03-07T01:00:00,rotor_stopped,raised,10,10"})
        history.push_back(*core::readAlarmCsvLine(line));

    std::vector<core::ArchiveRow> rows;
    for (int i = 0; i < 4; ++i) {
        core::ArchiveRow r;
        r.t = 1772838000 + i * 3600 * 7;
        r.utcOffset = i < 2 ? 3600 : -5 * 3600 - 1800;
        r.minutes = 60 - i;
        r.imported = i == 1 ? 12 : 0;
        r.frames = 1000 + i;
        r.rejected = i;
        r.energyWh = 1234.5 / (i + 1);
        r.loadSeconds = 30.25 * i;
        r.noDataSeconds = i * 0.1;
        for (core::Spread *s : {&r.volts, &r.amps, &r.watts, &r.rpm, &r.wind})
            if (i != 2 || s != &r.rpm)
                for (double v : {1.0 / 3 + i, 2.5 * i, 1e-7})
                    s->add(v);
        r.windUnit = i == 0 ? "knots" : i == 1 ? "Beaufort" : i == 2 ? "" : "m/s";
        rows.push_back(r);
    }
    core::SeriesQuery all;
    all.from = 1772805909;
    all.to = 1772892309;
    for (const char *f : core::kSeriesFields)
        all.fields.emplace_back(f);
    core::SeriesQuery some = all;
    some.step = core::SeriesStep::Day;
    some.fields = {"wind", "frames", "energy"};
    const auto march = core::daysQuery(core::parseQuery("month=2026-03").value(), 2026, 3, nullptr);
    std::vector<core::ArchiveRow> days = rows;
    days[0].t -= 7 * 86400; // in February

    return {
        {"now, before the first frame", core::nowJson(quiet)},
        {"now, with alarms raised", core::nowJson(busy)},
        {"a stream's event", core::readingEvent(busy, 7)},
        {"metrics, before the first frame", core::metricsText(quiet)},
        {"metrics", core::metricsText(busy)},
        {"the power curve, empty", core::powerCurveJson(core::PowerCurve(), core::TurbineSettings(), {}, 202603, "",
                                                                     std::nullopt)},
        {"the power curve", core::powerCurveJson(curve, turbine, certified, 202603, "km/h", 1 / 3.6)},
        {"performance", core::performanceJson(performance, 2)},
        {"performance, nothing compared", core::performanceJson(core::PerformanceBook(certified, {}), 31)},
        {"alarms", core::alarmsJson(busy.alarms, history, 3, "km/h")},
        {"series, every field", core::seriesJson(all, rows)},
        {"series, some fields", core::seriesJson(some, rows)},
        {"series, no rows", core::seriesJson(some, {})},
        {"series, columns", core::seriesColumnsJson(all, rows, "mph")},
        {"series, columns, some fields", core::seriesColumnsJson(some, rows, "Beaufort")},
        {"series, columns, no rows", core::seriesColumnsJson(some, {}, "mph")},
        {"days", core::daysJson(*march, days)},
        {"availability", core::availabilityJson(2026, {{2026, month}}, {{202603, month}},
                                                {{20260306, core::Availability()}, {20260307, month}})},
        {"availability, no year", core::availabilityJson(1999, {}, {}, {})},
        {"energy", core::energyJson(core::yearSummary(energyDays, 2026), energyDays, 12345.6789)},
        {"wind", core::windJson(wind.stats(), core::siteEstimate(wind.stats(), curve, core::TurbineSettings()),
                                core::annualEnergy(core::measuredPoints(curve), 25), "mph", 0.44704)},
        {"wind, none measured", core::windJson(core::WindStats(), core::SiteEstimate(), core::Estimate(), "knotz",
                                               std::nullopt)},
        {"a refusal", core::errorJson("\"from\" is not a time.")},
    };
}

class TestWeb : public QObject {
    Q_OBJECT
private slots:
    void routes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("route");
        using R = core::WebRoute;
        QTest::newRow("index") << "/" << int(R::Index);
        QTest::newRow("now") << "/api/now" << int(R::Now);
        QTest::newRow("escaped letter") << "/api/%6eow" << int(R::Now);
        QTest::newRow("metrics") << "/metrics" << int(R::Metrics);
        QTest::newRow("stream") << "/api/stream" << int(R::Stream);
        QTest::newRow("trailing slash") << "/api/now/" << int(R::NotFound);
        QTest::newRow("double slash") << "//api/now" << int(R::NotFound);
        QTest::newRow("dot dot") << "/api/../metrics" << int(R::NotFound);
        QTest::newRow("escaped dot dot") << "/api/%2e%2e/metrics" << int(R::NotFound);
        QTest::newRow("upper-case escapes") << "/api/%2E%2E/metrics" << int(R::NotFound);
        QTest::newRow("dot") << "/./metrics" << int(R::NotFound);
        QTest::newRow("escaped slash hides a dot dot") << "/api%2f..%2fmetrics" << int(R::NotFound);
        // A NUL would end the path for C code after it: /api/now%00.txt is not /api/now.
        QTest::newRow("NUL") << "/api/now%00" << int(R::NotFound);
        QTest::newRow("NUL inside") << "/api/now%00.html" << int(R::NotFound);
        QTest::newRow("bad escape") << "/api/now%4" << int(R::NotFound);
        QTest::newRow("not hex") << "/api/now%zz" << int(R::NotFound);
        QTest::newRow("backslash") << "/api\\now" << int(R::NotFound);
        QTest::newRow("absolute form") << "http://host/api/now" << int(R::NotFound);
        QTest::newRow("file path") << "/etc/passwd" << int(R::NotFound);
        QTest::newRow("non-ASCII") << "/api/n%c3%b6w" << int(R::NotFound);
        QTest::newRow("empty") << "" << int(R::NotFound);
        QTest::newRow("case counts") << "/API/NOW" << int(R::NotFound);
        QTest::newRow("trends") << "/trends" << int(R::Trends);
        QTest::newRow("an analysis") << "/power-curve" << int(R::CurvePage);
        QTest::newRow("the alarms' history") << "/api/alarms" << int(R::Alarms);
        QTest::newRow("file") << "/static/dashboard.js" << int(R::File);
        QTest::newRow("file, escaped") << "/static/uPlot%2emin.js" << int(R::File);
        QTest::newRow("static alone") << "/static/" << int(R::NotFound);
        QTest::newRow("file in a folder") << "/static/a/b.js" << int(R::NotFound);
        QTest::newRow("file, escaped slash") << "/static/a%2fb.js" << int(R::NotFound);
        QTest::newRow("file up a folder") << "/static/..%2fweb.cfg" << int(R::NotFound);
        QTest::newRow("hidden file") << "/static/.htaccess" << int(R::NotFound);
        QTest::newRow("file with a blank") << "/static/a%20b.js" << int(R::NotFound);
        QTest::newRow("file with a colon") << "/static/c:x.js" << int(R::NotFound);
        QTest::newRow("settings") << "/settings" << int(R::Settings);
        QTest::newRow("a settings page") << "/api/settings/alarms" << int(R::SettingsPage);
        QTest::newRow("settings, no page") << "/api/settings/" << int(R::NotFound);
        QTest::newRow("settings, upper case") << "/api/settings/Alarms" << int(R::NotFound);
        QTest::newRow("settings, up a folder") << "/api/settings/..%2fweb" << int(R::NotFound);
        QTest::newRow("settings, too long") << "/api/settings/abcdefghijklmnopq" << int(R::NotFound);
    }
    void routes()
    {
        QFETCH(QString, path);
        QFETCH(int, route);
        QCOMPARE(int(core::webRoute(path.toStdString())), route);
    }

    void methods_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("route");
        QTest::addColumn<bool>("allowed");
        using R = core::WebRoute;
        QTest::newRow("GET now") << "GET" << int(R::Now) << true;
        QTest::newRow("HEAD metrics") << "HEAD" << int(R::Metrics) << true;
        QTest::newRow("POST now") << "POST" << int(R::Now) << false;
        QTest::newRow("POST login") << "POST" << int(R::Login) << true;
        QTest::newRow("GET login") << "GET" << int(R::Login) << true;
        QTest::newRow("POST logout") << "POST" << int(R::Logout) << true;
        // A link or an image must not log anyone out.
        QTest::newRow("GET logout") << "GET" << int(R::Logout) << false;
        QTest::newRow("POST settings") << "POST" << int(R::SettingsPage) << true;
        QTest::newRow("POST the settings page") << "POST" << int(R::Settings) << false;
        QTest::newRow("PUT") << "PUT" << int(R::Now) << false;
        QTest::newRow("lower-case get") << "get" << int(R::Now) << false;
        QTest::newRow("OPTIONS") << "OPTIONS" << int(R::Index) << false;
    }
    void methods()
    {
        QFETCH(QString, method);
        QFETCH(int, route);
        QFETCH(bool, allowed);
        QCOMPARE(core::methodAllowed(method.toStdString(), core::WebRoute(route)), allowed);
    }

    void queries_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "from=1&to=2" << "to" << "2";
        QTest::newRow("plus is a blank") << "password=a+b" << "password" << "a b";
        QTest::newRow("escaped plus and ampersand") << "password=a%2Bb%26c" << "password" << "a+b&c";
        QTest::newRow("first of two") << "a=1&a=2" << "a" << "1";
        QTest::newRow("no value") << "fields" << "fields" << "";
        QTest::newRow("empty pieces") << "&&a=1&" << "a" << "1";
        QTest::newRow("equals in value") << "a=b=c" << "a" << "b=c";
        QTest::newRow("missing") << "a=1" << "b" << "<none>";
        QTest::newRow("bad escape") << "a=%g1" << "a" << "<bad>";
        QTest::newRow("cut escape") << "a=%4" << "a" << "<bad>";
        QTest::newRow("NUL") << "a=x%00y" << "a" << "<bad>";
        QTest::newRow("line feed") << "a=x%0Ay" << "a" << "<bad>";
    }
    void queries()
    {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const auto pairs = core::parseQuery(text.toStdString());
        if (value == "<bad>")
            QVERIFY(!pairs);
        else
            QCOMPARE(opt(core::queryValue(pairs.value(), key.toStdString())), value);
    }

    void cookies_data()
    {
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("value");
        QTest::newRow("alone") << "veldra_session=abc" << "abc";
        QTest::newRow("among others") << "a=1; veldra_session=abc; b=2" << "abc";
        QTest::newRow("no blank") << "a=1;veldra_session=abc" << "abc";
        QTest::newRow("quoted") << "veldra_session=\"abc\"" << "abc";
        QTest::newRow("first of two") << "veldra_session=one; veldra_session=two" << "one";
        QTest::newRow("a longer name is another") << "xveldra_session=abc" << "<none>";
        QTest::newRow("name as a value") << "a=veldra_session" << "<none>";
        QTest::newRow("no equals") << "veldra_session" << "<none>";
        QTest::newRow("empty header") << "" << "<none>";
    }
    void cookies()
    {
        QFETCH(QString, header);
        QFETCH(QString, value);
        QCOMPARE(opt(core::cookieValue(header.toStdString(), "veldra_session")), value);
    }

    void hosts_data()
    {
        QTest::addColumn<QString>("header");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("loopback") << "127.0.0.1" << true;
        QTest::newRow("loopback with port") << "127.0.0.1:8080" << true;
        QTest::newRow("localhost upper case") << "LocalHost:8080" << true;
        QTest::newRow("trailing dot") << "localhost.:8080" << true;
        QTest::newRow("IPv6 loopback") << "[::1]:8080" << true;
        QTest::newRow("configured name") << "turbine.lan" << true;
        // DNS rebinding: a name of the attacker's that resolves to us.
        QTest::newRow("another name") << "evil.example:8080" << false;
        QTest::newRow("a name ending in ours") << "eviltturbine.lan" << false;
        QTest::newRow("ours as a subdomain") << "turbine.lan.evil.example" << false;
        QTest::newRow("userinfo") << "127.0.0.1@evil.example" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("port only") << ":8080" << false;
        QTest::newRow("empty port") << "localhost:" << false;
        QTest::newRow("port not digits") << "localhost:80a" << false;
        QTest::newRow("two ports") << "localhost:80:80" << false;
        QTest::newRow("unclosed bracket") << "[::1:8080" << false;
        QTest::newRow("brackets around a name") << "[localhost]" << false;
        QTest::newRow("blank inside") << "local host" << false;
    }
    void hosts()
    {
        QFETCH(QString, header);
        QFETCH(bool, allowed);
        const std::vector<std::string> names{"localhost", "127.0.0.1", "::1", "turbine.lan"};
        QCOMPARE(core::hostAllowed(header.toStdString(), names), allowed);
    }

    void gzipAccepted_data()
    {
        QTest::addColumn<QString>("header");
        QTest::addColumn<bool>("gzip");
        QTest::newRow("a browser's") << "gzip, deflate, br, zstd" << true;
        QTest::newRow("upper case, weighted") << "GZIP;q=0.5" << true;
        QTest::newRow("old name") << "x-gzip" << true;
        QTest::newRow("any") << "*" << true;
        QTest::newRow("refused by weight") << "gzip;q=0, deflate" << false;
        QTest::newRow("refused though any is taken") << "*, gzip;q=0" << false;
        QTest::newRow("any refused") << "br, *;q=0" << false;
        QTest::newRow("weight with blanks") << "gzip ; q = 0.001" << true;
        QTest::newRow("weight not a number") << "gzip;q=high" << false;
        QTest::newRow("weight above one") << "gzip;q=2" << false;
        QTest::newRow("a longer name") << "gzipx" << false;
        QTest::newRow("identity only") << "identity" << false;
        QTest::newRow("none") << "" << false;
    }
    void gzipAccepted()
    {
        QFETCH(QString, header);
        QFETCH(bool, gzip);
        QCOMPARE(core::acceptsGzip(header.toStdString()), gzip);
    }

    void names_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("names"); // joined by "|", or "<bad>"
        QTest::newRow("empty") << "" << "";
        QTest::newRow("commas and blanks") << "Turbine.LAN, 192.0.2.7  pi" << "turbine.lan|192.0.2.7|pi";
        QTest::newRow("bracketed IPv6") << "[FD00::7]" << "fd00::7";
        QTest::newRow("a URL is not a name") << "http://pi" << "<bad>";
        QTest::newRow("empty label") << "pi..lan" << "<bad>";
    }
    void names()
    {
        QFETCH(QString, typed);
        QFETCH(QString, names);
        const auto got = core::webNames(typed.toStdString());
        if (names == "<bad>") {
            QVERIFY(!got);
            return;
        }
        QStringList joined;
        for (const auto &n : got.value())
            joined << qs(n);
        QCOMPARE(joined.join('|'), names);
    }

    void settingsReadBack()
    {
        core::WebSettings s;
        s.on = true;
        s.port = "8443";
        s.network = true;
        s.askPassword = true;
        s.passwordHash = "pbkdf2-sha256$1000$00112233445566778899aabbccddeeff$" + std::string(64, 'a');
        s.names = "a</Names>b & c";
        s.tls = true;
        s.tlsCert = "/etc/ssl/c.pem";
        s.tlsKey = "/etc/ssl/k.pem";
        const core::WebSettings back = core::readWebSettings(core::webSettingsText(s));
        QVERIFY(back.on && back.network && back.askPassword && back.tls);
        QCOMPARE(qs(back.names), qs(s.names));
        QCOMPARE(qs(back.passwordHash), qs(s.passwordHash));
        QCOMPARE(qs(back.tlsKey), qs(s.tlsKey));
        // A file that is missing keys, or empty, is off.
        QVERIFY(!core::readWebSettings("").on);
        QCOMPARE(qs(core::readWebSettings("<WebOn>1</WebOn>").port), QString("8080"));
    }

    void settingsProblems_data()
    {
        QTest::addColumn<QString>("cfg");
        QTest::addColumn<bool>("typed");
        QTest::addColumn<QString>("problem"); // a word of the message, or "" for none
        const QString hash = "<PasswordHash>pbkdf2-sha256$1000$00112233445566778899aabbccddeeff$"
                             + QString(64, 'a') + "</PasswordHash>";
        QTest::newRow("defaults") << "" << false << "";
        QTest::newRow("port 0") << "<Port>0</Port>" << false << "port";
        QTest::newRow("port too high") << "<Port>65536</Port>" << false << "port";
        QTest::newRow("port a fraction") << "<Port>80.5</Port>" << false << "port";
        QTest::newRow("network without password")
            << "<Network>1</Network>" << false << "password";
        QTest::newRow("password asked, none stored")
            << "<AskPassword>1</AskPassword>" << false << "Type";
        QTest::newRow("password asked, one typed") << "<AskPassword>1</AskPassword>" << true << "";
        QTest::newRow("network with stored password")
            << "<Network>1</Network><AskPassword>1</AskPassword>" + hash << false << "";
        QTest::newRow("damaged hash") << "<AskPassword>1</AskPassword><PasswordHash>x</PasswordHash>" << false
                                      << "Type";
        QTest::newRow("TLS without key") << "<Tls>1</Tls><TlsCert>c.pem</TlsCert>" << false << "key";
        QTest::newRow("bad name") << "<Names>a/b</Names>" << false << "a/b";
        QTest::newRow("request seconds 0") << "<RequestSeconds>0</RequestSeconds>" << false << "seconds";
    }
    void settingsProblems()
    {
        QFETCH(QString, cfg);
        QFETCH(bool, typed);
        QFETCH(QString, problem);
        const auto got = core::webSettingsProblem(core::readWebSettings(cfg.toStdString()), typed);
        if (problem.isEmpty())
            QVERIFY2(!got, got ? got->c_str() : "");
        else
            QVERIFY2(got && qs(*got).contains(problem), got ? got->c_str() : "no problem found");
    }

    void passwordHashText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        const QString salt = "00112233445566778899aabbccddeeff", key = QString(64, 'b');
        QTest::newRow("ours") << "pbkdf2-sha256$600000$" + salt + "$" + key << true;
        QTest::newRow("too few iterations") << "pbkdf2-sha256$999$" + salt + "$" + key << false;
        // A hand-edited count must not stall the server for minutes.
        QTest::newRow("too many iterations") << "pbkdf2-sha256$10000001$" + salt + "$" + key << false;
        QTest::newRow("huge count") << "pbkdf2-sha256$99999999999999999999$" + salt + "$" + key << false;
        QTest::newRow("signed count") << "pbkdf2-sha256$+1000$" + salt + "$" + key << false;
        QTest::newRow("short salt") << "pbkdf2-sha256$1000$0011$" + key << false;
        QTest::newRow("short key") << "pbkdf2-sha256$1000$" + salt + "$abcd" << false;
        QTest::newRow("odd hex") << "pbkdf2-sha256$1000$" + salt + "0$" + key << false;
        QTest::newRow("other algorithm") << "pbkdf2-sha1$1000$" + salt + "$" + key << false;
        QTest::newRow("extra part") << "pbkdf2-sha256$1000$" + salt + "$" + key + "$" << false;
        QTest::newRow("empty") << "" << false;
    }
    void passwordHashText()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto h = core::readPasswordHash(text.toStdString());
        QCOMPARE(h.has_value(), valid);
        if (h)
            QCOMPARE(qs(core::passwordHashText(*h)), text);
    }

    void sameBytes_data()
    {
        QTest::addColumn<QByteArray>("a");
        QTest::addColumn<QByteArray>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("equal") << QByteArray("abc") << QByteArray("abc") << true;
        QTest::newRow("last differs") << QByteArray("abc") << QByteArray("abd") << false;
        QTest::newRow("prefix") << QByteArray("ab") << QByteArray("abc") << false;
        QTest::newRow("NUL padding is not equal") << QByteArray("ab") << QByteArray("ab\0", 3) << false;
        QTest::newRow("both empty") << QByteArray() << QByteArray() << true;
    }
    void sameBytes()
    {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QFETCH(bool, same);
        QCOMPARE(core::sameBytes(a.toStdString(), b.toStdString()), same);
    }

    void wrongPasswordDelays()
    {
        QCOMPARE(core::wrongPasswordDelay(0), 0.0);
        QCOMPARE(core::wrongPasswordDelay(1), 0.5);
        QCOMPARE(core::wrongPasswordDelay(3), 2.0);
        QCOMPARE(core::wrongPasswordDelay(7), 30.0);
        QCOMPARE(core::wrongPasswordDelay(1000000), 30.0); // no overflow of the shift
    }

    // Logins read back from their file: only those of this password, open now,
    // and not from a clock set far back; the rest of the file is not trusted.
    void sessionsReadBack_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<int>("open");
        const qint64 t = 1'800'000'000;
        const QByteArray a = QByteArray(64, 'a'), b = QByteArray(64, 'b');
        const auto file = [](const QByteArray &key, const QByteArray &rows) {
            return "veldra-sessions 1\nkey " + key + "\n" + rows;
        };
        const QByteArray two = a + " " + QByteArray::number(t + 100) + "\n" + b + " " + QByteArray::number(t + 5000) + "\n";
        QTest::newRow("both open") << file("k1", two) << t << 2;
        QTest::newRow("one ended") << file("k1", two) << t + 200 << 1;
        QTest::newRow("both ended") << file("k1", two) << t + 5000 << 0;
        QTest::newRow("another password") << file("k2", two) << t << 0;
        QTest::newRow("clock set back a little") << file("k1", two) << t - 3600 << 2;
        QTest::newRow("clock set back 9 days") << file("k1", two) << t - 9 * 86400 << 0;
        QTest::newRow("not ours") << QByteArray("key k1\n") + two << t << 0;
        QTest::newRow("bad rows skipped")
            << file("k1", "zz " + QByteArray::number(t + 9) + "\n" + a.left(10) + " 99999999999\n" + b + " -5\n" + b
                              + " 1e10\n" + a + " " + QByteArray::number(t + 9) + "\n")
            << t << 1;
        QTest::newRow("empty") << QByteArray() << t << 0;
    }
    void sessionsReadBack()
    {
        QFETCH(QByteArray, text);
        QFETCH(qint64, now);
        QFETCH(int, open);
        const auto s = core::WebSessions::read(text.toStdString(), "k1", now);
        QCOMPARE(int(s.size()), open);
        // What is written reads back as it was.
        QCOMPARE(core::WebSessions::read(s.text(), "k1", now), s);
    }

    void sessionsOpenAndClose()
    {
        const std::int64_t t = 1'800'000'000;
        core::WebSessions s("k");
        for (size_t i = 0; i < core::WebSessions::kMost + 1; ++i)
            s.open(std::string(32, char('A' + i % 60)) + std::to_string(i), t + std::int64_t(i));
        QCOMPARE(s.size(), core::WebSessions::kMost);
        QVERIFY(!s.valid(std::string(32, 'A') + "0", t)); // the one ending soonest made room
        const std::string d(32, 'x');
        s.open(d, t);
        QVERIFY(s.valid(d, t + core::WebSessions::kLife - 1));
        QVERIFY(!s.valid(d, t + core::WebSessions::kLife));
        QVERIFY(s.close(d));
        QVERIFY(!s.valid(d, t));
        QVERIFY(!s.close(d));
    }

    // The answers keep their bytes; VELDRA_WRITE_ANSWERS=1 writes the file
    // anew (only when a change of an answer is meant).
    void answersKeepTheirBytes()
    {
        const QString file = QString::fromLocal8Bit(qgetenv("VELDRA_SOURCE")) + "/tests/core/web-answers.txt";
        // Whatever the user's decimal separator.
        core::setDecimalSeparator(',');
        auto restore = qScopeGuard([] { core::setDecimalSeparator('.'); });
        QByteArray now;
        for (const auto &[name, text] : fixedAnswers()) {
            now += QByteArray::fromStdString("== " + name + "\n" + text + "\n");
            // Each is JSON, but for the two that are not meant to be.
            std::string problem;
            QVERIFY2(name.find("metrics") == 0 || name.find("stream") != std::string::npos
                         || core::readJson(text, &problem),
                     (name + ": " + problem).c_str());
        }
        QFile f(file);
        if (qEnvironmentVariableIsSet("VELDRA_WRITE_ANSWERS")) {
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(now) == now.size());
            return;
        }
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(file));
        const QByteArray kept = f.readAll();
        qsizetype at = 0;
        while (at < kept.size() && at < now.size() && kept[at] == now[at])
            ++at;
        QVERIFY2(now == kept, qPrintable(QString("they part at byte %1: \"%2\" against \"%3\"")
                                             .arg(at)
                                             .arg(QString::fromUtf8(now.mid(at - 20, 60)),
                                                  QString::fromUtf8(kept.mid(at - 20, 60)))));
    }

    // Reading JSON never throws: each text read, or refused with where.
    void readsJson_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected"); // the document written back, or "error: <words>"
        const QByteArray deep = QByteArray(64, '[') + QByteArray(64, ']');
        QTest::newRow("an object") << QByteArray(" {\"a\": [1, 2.5, true, null, \"\u00b0\"]} ")
                                   << "{\"a\":[1,2.5,true,null,\"\u00b0\"]}";
        QTest::newRow("64 levels") << deep << QString(deep);
        QTest::newRow("65 levels") << "[" + deep + "]" << "error: deeper than 64";
        QTest::newRow("something after") << QByteArray("{} {}") << "error: at byte 4";
        QTest::newRow("a comma too many") << QByteArray("{\"a\":1,}") << "error: at byte 8";
        QTest::newRow("a comment") << QByteArray("// settings\n{}") << "error: not JSON";
        QTest::newRow("nothing") << QByteArray() << "error: not JSON";
        QTest::newRow("not UTF-8") << QByteArray("\"\xff\"") << "error: not JSON";
        QTest::newRow("a number too large") << QByteArray("1e999") << "error: not JSON";
    }
    void readsJson()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        std::string problem;
        const auto document = core::readJson(text.toStdString(), &problem);
        const QString got = document ? qs(document->dump()) : "error: " + qs(problem);
        if (expected.startsWith("error: "))
            QVERIFY2(!document && got.contains(expected.mid(7)), qPrintable(got));
        else
            QCOMPARE(got, expected);
    }

    // Whatever bytes a text holds, what is written is JSON.
    void writesStrings_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("quotes and controls") << QByteArray("a\"\\\t\x7f") << QByteArray("\"a\\\"\\\\\\u0009\\u007f\"");
        QTest::newRow("UTF-8 as it is") << QByteArray("\xc2\xb0 \xf0\x9f\x8c\xac") << QByteArray("\"\xc2\xb0 \xf0\x9f\x8c\xac\"");
        QTest::newRow("a stray byte") << QByteArray("a\xff" "b") << QByteArray("\"a\\ufffdb\"");
        QTest::newRow("cut short") << QByteArray("a\xe2\x82") << QByteArray("\"a\\ufffd\\ufffd\"");
        QTest::newRow("overlong") << QByteArray("\xc0\xaf") << QByteArray("\"\\ufffd\\ufffd\"");
        QTest::newRow("a surrogate") << QByteArray("\xed\xa0\x80") << QByteArray("\"\\ufffd\\ufffd\\ufffd\"");
    }
    void writesStrings()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, json);
        const std::string written = core::jsonString(text.toStdString());
        QCOMPARE(QByteArray::fromStdString(written), json);
        QVERIFY(core::readJson(written));
    }

    void writesNumbers_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("a mean") << 13.2954171 << QByteArray("13.295417");
        QTest::newRow("a sum's tail") << 0.1 + 0.2 << QByteArray("0.3");
        QTest::newRow("negative below one") << -0.5 << QByteArray("-0.5");
        QTest::newRow("whole") << -13.0 << QByteArray("-13");
        QTest::newRow("below a millionth") << -4e-7 << QByteArray("0");
        QTest::newRow("a millionth") << 0.000001 << QByteArray("0.000001");
        QTest::newRow("nine digits and six") << 987654321.123456 << QByteArray("987654321.123456");
        QTest::newRow("a thousand million") << 1e9 << QByteArray("1000000000");
        QTest::newRow("not a number") << std::nan("") << QByteArray("null");
    }
    void writesNumbers()
    {
        QFETCH(double, value);
        QFETCH(QByteArray, json);
        QCOMPARE(QByteArray::fromStdString(core::JsonWriter().number(value).take()), json);
        // Whatever the value, the shortest text of it rounded to millionths.
        std::mt19937_64 random(quint64(value * 1000));
        for (int i = 0; i < 20000; ++i) {
            const double v = std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random), int(random() % 50) - 20);
            double rounded = std::round(v * 1e6) / 1e6;
            char text[48];
            const auto end = std::to_chars(text, text + sizeof text, rounded == 0 ? 0.0 : rounded, std::chars_format::fixed);
            QCOMPARE(core::JsonWriter().number(v).take(), std::string(text, end.ptr));
        }
    }

    void nowJsonUsesDotsAndNulls()
    {
        core::setDecimalSeparator(',');
        auto restore = qScopeGuard([] { core::setDecimalSeparator('.'); });
        core::WebNow n;
        n.time = 1772892309;
        n.windUnit = "km \"h\"";
        QByteArray json = QByteArray::fromStdString(core::nowJson(n));
        QJsonParseError error;
        QJsonObject o = QJsonDocument::fromJson(json, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        // Before the first frame the values are unknown, not 0.
        QVERIFY(o["watts"].isNull());
        QVERIFY(o["loadOn"].isNull());
        QVERIFY(o["lastLive"].isNull());
        QCOMPARE(o["wind"].toObject()["unit"].toString(), QString("km \"h\""));
        QCOMPARE(o["time"].toString(), QString("2026-03-07T14:05:09Z"));

        n.hasReading = true;
        n.watts = 99.97;
        n.windSpeed = 10;
        n.windToMetresPerSecond = 0.44704;
        core::WebAlarm low = alarmOf("battery_low", "Battery \"low\"", true);
        low.value = 11.5;
        low.unit = "V";
        low.since = 1772892000;
        low.text = "Battery \"low\": 11,5 V since 14:00:00";
        n.alarms = {alarmOf("no_data", "No data", false), low};
        json = QByteArray::fromStdString(core::nowJson(n));
        QVERIFY2(json.contains("\"watts\":99.97"), json.constData());
        o = QJsonDocument::fromJson(json, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(o["wind"].toObject()["metresPerSecond"].toDouble(), 4.4704);
        QVERIFY(o["alarms"].toObject()["battery_low"].toBool());
        // The raised one as the banner gives it, its value with a dot whatever the locale.
        QCOMPARE(o["raised"].toArray(),
                 (QJsonArray{QJsonObject{{"alarm", "battery_low"}, {"title", "Battery \"low\""}, {"value", 11.5},
                                         {"unit", "V"}, {"since", "2026-03-07T14:00:00Z"},
                                         {"text", "Battery \"low\": 11,5 V since 14:00:00"}}}));
    }

    void metrics()
    {
        core::setDecimalSeparator(',');
        auto restore = qScopeGuard([] { core::setDecimalSeparator('.'); });
        core::WebNow n;
        n.state = core::DataState::Paused;
        n.lifetimeWh = 1.5;
        n.alarms = {alarmOf("battery\"low", "x", true)};
        QString text = qs(core::metricsText(n));
        // No reading yet: no gauge of it (an absent series, not a false 0).
        QVERIFY(!text.contains("veldra_power_watts"));
        QVERIFY(text.contains("veldra_energy_joules_total 5400\n"));
        QVERIFY(text.contains("# TYPE veldra_energy_joules_total counter\n"));
        QVERIFY(text.contains("veldra_data_state{state=\"paused\"} 1\n"));
        QVERIFY(text.contains("veldra_data_state{state=\"live\"} 0\n"));
        QVERIFY(text.contains("veldra_alarm_raised{alarm=\"battery\\\"low\"} 1\n"));

        n.hasReading = true;
        n.watts = 12.25;
        n.windUnit = "furlongs";
        text = qs(core::metricsText(n));
        QVERIFY(text.contains("veldra_power_watts 12.25\n"));
        // A wind in a unit we cannot turn into m/s is left out rather than mislabelled.
        QVERIFY(!text.contains("veldra_wind_meters_per_second"));
        // Each family's HELP and TYPE once.
        QCOMPARE(text.count("# TYPE veldra_alarm_raised "), 1);
    }

    void powerCurveJsonHasBinsWithMinutesOnly()
    {
        core::PowerCurve curve;
        core::CurveBin &b = curve.bin(10);
        b.minutes = 2;
        b.sumWind = 10.2;
        b.sumWatts = 100;
        b.sumSquares = 5002;
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(
                                  QByteArray::fromStdString(core::powerCurveJson(curve, core::TurbineSettings(), {}, 202603, "mph", 0.44704)), &error)
                                  .object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonArray bins = o["bins"].toArray();
        QCOMPARE(bins.size(), 1);
        QCOMPARE(bins[0].toObject()["centre"].toDouble(), 5.0);
        QCOMPARE(bins[0].toObject()["wind"].toDouble(), 5.1);
        QCOMPARE(bins[0].toObject()["meanWatts"].toDouble(), 50.0);
        QCOMPARE(bins[0].toObject()["measured"].toBool(), false);
        QVERIFY(bins[0].toObject()["meanRpm"].isNull());
        QCOMPARE(o["complete"].toBool(), false);
        // A bin of 2 minutes is not measured: no estimate yet.
        QCOMPARE(o["estimate"].toObject()["rows"].toArray().size(), 0);
        QCOMPARE(o["certified"].toArray().size(), 0);

        // With measured bins and a certified curve, the answer has the keys of
        // the manual's example, at every depth.
        for (int k = 6; k <= 30; ++k) {
            core::CurveBin &m = curve.bin(k);
            m.minutes = 20;
            m.sumWind = 20 * core::PowerCurve::centre(k);
            m.sumWatts = 20 * 10.0 * k;
            m.rpmMinutes = 20;
            m.sumRPM = 20 * 30.0 * k;
        }
        core::TurbineSettings diameter;
        diameter.rotorDiameter = 1.5;
        const QJsonObject full =
            QJsonDocument::fromJson(QByteArray::fromStdString(core::powerCurveJson(
                                        curve, diameter, {{3, 0}, {5, 70.5}, {12, 400}}, 202603, "mph", 0.44704)))
                .object();
        QCOMPARE(full["certified"].toArray()[1].toObject(), (QJsonObject{{"wind", 5}, {"watts", 70.5}}));
        QFile manual(QString::fromLocal8Bit(qgetenv("VELDRA_SOURCE")) + "/docs/manual.md");
        QVERIFY(manual.open(QIODevice::ReadOnly));
        const QByteArray text = manual.readAll();
        std::map<std::string, QJsonObject> answers;
        for (const auto &[name, answer] : fixedAnswers())
            answers[name] = QJsonDocument::fromJson(QByteArray::fromStdString(answer)).object();
        for (const auto &[words, answer] : {std::pair{"`/api/powercurve` gives", full},
                                            {"`/api/performance` (with", answers["performance"]},
                                            {"`/api/alarms` gives", answers["alarms"]}}) {
            const qsizetype at = text.indexOf("```json\n", text.indexOf(words));
            QVERIFY2(at > 0, words);
            const QByteArray example = text.mid(at + 8, text.indexOf("```", at + 8) - at - 8);
            const QJsonDocument documented = QJsonDocument::fromJson(example, &error);
            QCOMPARE(error.error, QJsonParseError::NoError);
            QCOMPARE(keysOf(answer), keysOf(documented.object()));
        }
    }

    void seriesQueries_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("expected"); // "from to step fields", or "error: <word>"
        // now is 2026-03-07T14:05:09Z = 1772892309
        QTest::newRow("defaults: the last day by minutes")
            << "" << "1772805909 1772892309 minute volts,amps,watts,rpm,wind,energy,load,nodata,frames";
        QTest::newRow("a week defaults to hours") << "from=1772287509" << "1772287509 1772892309 hour "
                                                                        "volts,amps,watts,rpm,wind,energy,load,nodata,frames";
        QTest::newRow("a year defaults to days") << "from=2025-03-07T14:05:09Z&fields=energy"
                                                 << "1741356309 1772892309 day energy";
        QTest::newRow("an offset time") << "from=2026-03-07T15:00:00%2B01:00&to=1772892309&fields=watts,watts"
                                        << "1772892000 1772892309 minute watts";
        QTest::newRow("a year of hours") << "from=2025-03-07T14:05:09Z&step=hour&fields=watts"
                                         << "1741356309 1772892309 hour watts";
        QTest::newRow("a year of minutes is too many") << "from=2025-03-07T14:05:09Z&step=minute" << "error: rows";
        QTest::newRow("backwards") << "from=1772892309&to=1772892000" << "error: before";
        QTest::newRow("not a time") << "from=yesterday" << "error: from";
        QTest::newRow("a date alone") << "to=2026-03-07" << "error: to";
        QTest::newRow("unknown step") << "step=week" << "error: step";
        QTest::newRow("unknown field") << "fields=watts,temperature" << "error: temperature";
        QTest::newRow("columns") << "fields=watts&form=columns" << "1772805909 1772892309 minute watts columns";
        QTest::newRow("rows, said") << "fields=watts&form=rows" << "1772805909 1772892309 minute watts";
        QTest::newRow("unknown form") << "form=table" << "error: form";
    }
    void seriesQueries()
    {
        QFETCH(QString, query);
        QFETCH(QString, expected);
        std::string error;
        const auto q = core::seriesQuery(core::parseQuery(query.toStdString()).value(), 1772892309, &error);
        if (expected.startsWith("error: ")) {
            QVERIFY(!q);
            QVERIFY2(qs(error).contains(expected.mid(7)), error.c_str());
            return;
        }
        QVERIFY2(q, error.c_str());
        QStringList fields;
        for (const auto &f : q->fields)
            fields << qs(f);
        const char *steps[] = {"minute", "hour", "day"};
        QCOMPARE(QString("%1 %2 %3 %4").arg(q->from).arg(q->to).arg(steps[int(q->step)], fields.join(','))
                     + (q->form == core::SeriesForm::Columns ? " columns" : ""),
                 expected);
    }

    // Where the rows leave time out a chart breaks its line; the local days
    // of a change of the clocks are no gap.
    void seriesGaps_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<qint64>("apart");
        QTest::addColumn<bool>("gap");
        QTest::newRow("the next minute") << int(core::SeriesStep::Minute) << qint64(60) << false;
        QTest::newRow("a minute left out") << int(core::SeriesStep::Minute) << qint64(120) << true;
        QTest::newRow("the next hour") << int(core::SeriesStep::Hour) << qint64(3600) << false;
        QTest::newRow("sixteen hours") << int(core::SeriesStep::Hour) << qint64(16 * 3600) << true;
        QTest::newRow("a day of 23 hours") << int(core::SeriesStep::Day) << qint64(23 * 3600) << false;
        QTest::newRow("a day of 25 hours") << int(core::SeriesStep::Day) << qint64(25 * 3600) << false;
        QTest::newRow("a day left out, clocks changed") << int(core::SeriesStep::Day) << qint64(47 * 3600) << true;
    }
    void seriesGaps()
    {
        QFETCH(int, step);
        QFETCH(qint64, apart);
        QFETCH(bool, gap);
        core::SeriesQuery q;
        q.step = core::SeriesStep(step);
        q.fields = {"watts"};
        std::vector<core::ArchiveRow> rows(2);
        rows[1].t = apart;
        for (core::ArchiveRow &r : rows) {
            r.minutes = 1;
            r.watts.add(50);
        }
        QJsonParseError parse;
        const QJsonObject o =
            QJsonDocument::fromJson(QByteArray::fromStdString(core::seriesColumnsJson(q, rows, "m/s")), &parse).object();
        QCOMPARE(parse.error, QJsonParseError::NoError);
        const QJsonArray t = o["t"].toArray(), mean = o["watts"].toObject()["mean"].toArray();
        QCOMPARE(t.size(), gap ? 3 : 2);
        QCOMPARE(mean.size(), t.size());
        QCOMPARE(t.last().toInteger(), apart);
        if (gap) {
            QVERIFY(mean[1].isNull() && o["minutes"].toArray()[1].isNull());
            QVERIFY(t[1].toInteger() > 0 && t[1].toInteger() < apart);
        }
    }

    void seriesAndDaysJson()
    {
        core::ArchiveRow day;
        day.t = 1772838000; // 2026-03-07 00:00 at +01:00
        day.utcOffset = 3600;
        day.minutes = 600;
        day.energyWh = 1234.5;
        day.watts.add(10);
        day.watts.add(30);
        core::ArchiveRow before = day;
        before.t -= 7 * 86400; // 2026-02-28: another month
        std::string error;
        const auto q = core::daysQuery(core::parseQuery("month=2026-03").value(), 2000, 1, &error);
        QVERIFY(q && q->from <= day.t && q->to > day.t);
        QJsonParseError parse;
        const QJsonObject o =
            QJsonDocument::fromJson(QByteArray::fromStdString(core::daysJson(*q, {before, day})), &parse).object();
        QCOMPARE(parse.error, QJsonParseError::NoError);
        const QJsonArray days = o["days"].toArray();
        QCOMPARE(days.size(), 1);
        QCOMPARE(days[0].toObject()["date"].toString(), QString("2026-03-07"));
        QCOMPARE(days[0].toObject()["energyWh"].toDouble(), 1234.5);
        QCOMPARE(days[0].toObject()["watts"].toObject()["mean"].toDouble(), 20.0);
        QVERIFY(days[0].toObject()["volts"].isNull()); // no values: null, not 0
        QVERIFY(!core::daysQuery(core::parseQuery("month=2026-13").value(), 2026, 3, &error));
        QVERIFY(!core::daysQuery(core::parseQuery("month=March").value(), 2026, 3, &error));

        core::SeriesQuery sq;
        sq.fields = {"energy"};
        const QJsonObject series =
            QJsonDocument::fromJson(QByteArray::fromStdString(core::seriesJson(sq, {day})), &parse).object();
        QCOMPARE(parse.error, QJsonParseError::NoError);
        const QJsonObject row = series["rows"].toArray()[0].toObject();
        QCOMPARE(row["t"].toString(), QString("2026-03-07T00:00:00+01:00"));
        QVERIFY(row.contains("energyWh") && !row.contains("watts"));

        // The wind's unit text alone does not say whether values are m/s.
        sq.fields = {"wind"};
        core::ArchiveRow knots = day, odd = day;
        knots.windUnit = "knots";
        odd.windUnit = "Beaufort";
        const QJsonArray winds = QJsonDocument::fromJson(QByteArray::fromStdString(core::seriesJson(sq, {knots, odd})))
                                     .object()["rows"]
                                     .toArray();
        QCOMPARE(winds[0].toObject()["windMps"].toBool(), true);
        QCOMPARE(winds[1].toObject()["windMps"].toBool(), false);
        QCOMPARE(winds[1].toObject()["windUnit"].toString(), QString("Beaufort"));

        // Columns give the wind in the unit the settings show: m/s turned into
        // it, another unit's values left out.
        knots.wind.add(5);
        odd.wind.add(3);
        const QJsonObject columns =
            QJsonDocument::fromJson(QByteArray::fromStdString(core::seriesColumnsJson(sq, {knots, odd}, "km/h"))).object();
        QCOMPARE(columns["windUnit"].toString(), QString("km/h"));
        QCOMPARE(columns["windPerMetrePerSecond"].toDouble(), 3.6);
        const QJsonArray means = columns["wind"].toObject()["mean"].toArray();
        QCOMPARE(means.size(), 2);
        QCOMPARE(means[0].toDouble(), 18.0);
        QVERIFY(means[1].isNull());
    }
};

QTEST_MAIN(TestWeb)
#include "tst_web.moc"
