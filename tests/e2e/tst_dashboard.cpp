// SPDX-License-Identifier: GPL-3.0-or-later
// The dashboard and trends pages of the built program, fed by the simulated
// unit, in a real headless Chromium driven through the DevTools protocol
// (tests/support/cdp.py): values shown and changing at phone and desktop
// width, the login with a password, a scripted archive drawn on Trends (its
// gaps as gaps, its imported minutes apart, its figures as text), the stale
// note, a program that stops answering, and no console error on any page.
#include "archive/ArchiveDb.h"
#include "core/Alarms.h"
#include "core/Web.h"
#include "web/WebPassword.h"
#include "web/WebSettingsFile.h"
#include "support/Broker.h"
#include "support/Browser.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QtTest>
#include <cmath>
#include <csignal>

namespace {

// Wind in mph, watts, RPM: a rising curve swept quickly, so each frame differs.
const char kCurve[] = "0 0 0\n30 600 900\n";
const char kPassword[] = "open sesame";
// Minutes of the scripted archive, ending a few minutes ago: an hour of
// them left out, an hour imported from the daily logs.
const int kMinutes = 360;
const int kHoleFrom = 200, kHoleTo = 260, kImportedFrom = 60, kImportedTo = 120;
// The month of tiny days (a few watt-hours each).
const int kTinyMonthsBack = 13;

using namespace testsupport::browser;

// Where pictures go: VELDRA_WEB_SHOTS (scripts/screenshots) or the test's folder.
QString shotPath(const QString &folder, const QString &name)
{
    const QString dir = qEnvironmentVariable("VELDRA_WEB_SHOTS", folder);
    return dir + "/" + name;
}

const char kShowsNumbers[] = "!document.body.classList.contains('connecting') && /^[0-9.]+$/.test(document.getElementById('watts').textContent)";

core::ArchiveRow minuteAt(std::int64_t start, int i)
{
    core::ArchiveRow r;
    r.t = start + std::int64_t(i) * 60;
    r.utcOffset = QDateTime::fromSecsSinceEpoch(r.t).offsetFromUtc();
    r.minutes = 1;
    const double wind = 4 + 3 * std::sin(i / 37.0);
    for (int s = 0; s < 60; s += 2) {
        r.volts.add(13 + 0.3 * std::sin(i / 50.0));
        r.watts.add(wind * wind * 4);
        r.wind.add(wind);
        ++r.frames;
    }
    r.windUnit = "mph";
    r.energyWh = r.watts.mean() / 60;
    return r;
}

} // namespace

class TestDashboard : public QObject {
    Q_OBJECT

    testsupport::ProgramFolder *m_folder = nullptr;
    QProcess m_unit, m_program;
    QString m_base;
    int m_port = 0;

    bool startProgram(core::WebSettings s)
    {
        stopProgram();
        m_port = testsupport::freePort();
        s.on = true;
        s.port = std::to_string(m_port);
        if (!web::writeWebSettingsFile(m_folder->file("web.cfg"), s))
            return false;
        m_base = QString("http://127.0.0.1:%1").arg(m_port);
        if (m_unit.state() == QProcess::NotRunning && !startUnit())
            return false;
        return launch();
    }

    // The program (again) on the settings written.
    bool launch()
    {
        stopProgram();
        return testsupport::startServing(m_program, m_folder->path(), "crestdial", testsupport::progCfg("1"), m_port);
    }

    bool startUnit()
    {
        m_folder->write("curve.txt", kCurve);
        m_unit.setProcessChannelMode(QProcess::ForwardedChannels);
        return testsupport::startUnit(m_unit, m_folder->path(),
                                      {"--curve", m_folder->file("curve.txt"), "--rate", "4", "--sweep", "60"});
    }

    void stopUnit()
    {
        if (m_unit.state() != QProcess::NotRunning) {
            m_unit.terminate();
            m_unit.waitForFinished(5000);
        }
    }

    void stopProgram() { testsupport::endProgram(m_program); }

private slots:
    void initTestCase()
    {
        VELDRA_NEED_BROWSER();
        m_folder = new testsupport::ProgramFolder;
        // The scripted archive: six hours of minutes up to a few minutes ago.
        archive::ArchiveDb db;
        QVERIFY(db.open(m_folder->file("archive.sqlite"), false));
        const std::int64_t start = (QDateTime::currentSecsSinceEpoch() / 60 - kMinutes - 5) * 60;
        for (int i = 0; i < kMinutes; ++i) {
            if (i >= kHoleFrom && i < kHoleTo)
                continue;
            core::ArchiveRow r = minuteAt(start, i);
            r.imported = i >= kImportedFrom && i < kImportedTo;
            QVERIFY(db.write(r));
        }
        // And a minute at noon of each of the 60 days before, carrying a day's energy.
        const QDate today = QDate::currentDate();
        for (int d = 2; d <= 60; ++d) {
            const std::int64_t noon = QDateTime(today.addDays(-d), QTime(12, 0)).toSecsSinceEpoch();
            core::ArchiveRow r = minuteAt(noon, d);
            r.energyWh = 900 + 600 * std::sin(d / 4.0);
            QVERIFY(db.write(r));
        }
        const QDate tiny = QDate(today.year(), today.month(), 1).addMonths(-kTinyMonthsBack);
        for (int d = 0; d < 5; ++d) {
            core::ArchiveRow r = minuteAt(QDateTime(tiny.addDays(d), QTime(12, 0)).toSecsSinceEpoch(), d);
            r.energyWh = 12 + 7 * d;
            QVERIFY(db.write(r));
        }
        db.close();
        // The battery at 13 V is below this threshold: an alarm on the page.
        core::AlarmSettings a;
        a.on[size_t(core::AlarmId::BatteryLow)] = true;
        a.threshold[size_t(core::AlarmId::BatteryLow)] = 20;
        a.threshold[size_t(core::AlarmId::BatteryHigh)] = 30;
        a.holdSeconds = 0;
        m_folder->write("alarms.cfg", QByteArray::fromStdString(core::alarmSettingsText(a)));
        QVERIFY(startProgram(core::WebSettings()));
    }

    void cleanupTestCase()
    {
        stopProgram();
        stopUnit();
        delete m_folder;
    }

    void dashboard_data() { screenRows(); }
    void dashboard()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        const Run r = browse({open(m_base + "/", width, height), wait(kShowsNumbers, 30000),
                              eval("document.getElementById('volts').textContent"),
                              eval("window.before = document.getElementById('watts').textContent + ' ' + "
                                   "document.getElementById('wind').textContent"),
                              // A new frame's values on screen within 2 s.
                              wait("document.getElementById('watts').textContent + ' ' + "
                                   "document.getElementById('wind').textContent !== window.before",
                                   2000),
                              eval("[document.documentElement.scrollWidth, innerWidth, "
                                   "document.querySelectorAll('.meter svg .needle').length, "
                                   "document.getElementById('link').textContent, "
                                   "document.getElementById('nodata').hidden, "
                                   "document.getElementById('alarms').textContent]"),
                              shot(shotPath(m_folder->path(), QString("web-dashboard-%1.png").arg(width)))});
        QVERIFY2(r.failed.isEmpty(), qPrintable(why(r)));
        QVERIFY2(r.errors.isEmpty(), qPrintable(why(r)));
        QCOMPARE(r.results[2].toObject()["value"].toString(), QString("13.0"));
        const QJsonArray page = r.results[5].toObject()["value"].toArray();
        // Nothing wider than the screen, six meters, live.
        QVERIFY2(page[0].toInt() <= page[1].toInt(), qPrintable(QJsonDocument(page).toJson()));
        QCOMPARE(page[2].toInt(), 6);
        QCOMPARE(page[3].toString(), QString("Live"));
        QVERIFY(page[4].toBool());
        // The alarm with its value and since when, as the banner gives them.
        QVERIFY2(page[5].toString().startsWith("Battery low: 13 V since "), qPrintable(page[5].toString()));
    }

    void trends_data() { dashboard_data(); }
    void trends()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        // Each chart's figures in its text; a line across a stretch without data; the
        // imported minutes shaded; every bar inside its chart; energy ticks that differ.
        const QString honest = R"((() => {
            const c = trendCharts, u = c.series, t = u.data[0], w = u.data[1], text = id => document.getElementById(id).textContent;
            let nulls = 0, bridged = 0;
            for (let i = 0; i + 1 < t.length; ++i)
              if (w[i] === null) ++nulls; else if (w[i + 1] !== null && t[i + 1] - t[i] > 90) ++bridged;
            const logs = u.data[u.data.length - 1], first = logs.findIndex(v => v === 1);
            const x = Math.round(u.valToPos(t[first + 30], 'x', true));
            const d = u.ctx.getImageData(x, u.bbox.top, 1, u.bbox.height).data; let shaded = 0;
            for (let i = 0; i < d.length; i += 4) if (d[i + 3] && d[i] > 200 && d[i + 1] > 100 && d[i + 1] < 210 && d[i + 2] < 90) ++shaded;
            const inside = b => { const x = b.data[0], gaps = x.slice(1).map((v, i) => v - x[i]);
              return x[x.length - 1] + 0.35 * (gaps.length ? Math.min(...gaps) : 0) <= b.scales.x.max; };
            const most = Math.max(...u.data[2].filter(v => v !== null)).toFixed(0);
            const rows = id => document.querySelectorAll('#' + id + '-text tbody tr').length;
            return {nulls, bridged, shaded, height: u.bbox.height, legend: text('series').includes('daily logs'),
                    axes: u.axes.filter(a => a.show && a.scale !== 'x').length, plot: u.bbox.width, wind: u.series[3].label,
                    curveAxis: c.curve.axes[0].label, summary: text('series-text'), most,
                    rows: [rows('days'), rows('months'), rows('curve')],
                    points: ['days', 'months', 'curve'].map(id => Number(document.getElementById(id).dataset.points)),
                    inside: [inside(c.days), inside(c.months)], width: [document.documentElement.scrollWidth, innerWidth],
                    availability: ['availability-days', 'availability-months'].map(id => Number(document.getElementById(id).dataset.bars))
                                    .concat([rows('availability'), document.querySelectorAll('#availability-days .part').length])};
          })())";
        const QString tinyMonth = "trendCharts.days && Math.max(...trendCharts.days.data[1].filter(v => v !== null)) < 0.1";
        const Run r = browse(
            {open(m_base + "/trends", width, height),
             wait(QString("Number(document.getElementById('series').dataset.points) >= %1 && "
                          "document.getElementById('days').dataset.points !== undefined && "
                          "document.getElementById('months').dataset.points !== undefined && "
                          "document.getElementById('curve').dataset.points !== undefined && "
                          "document.getElementById('availability-months').dataset.bars !== undefined")
                      .arg(kMinutes - (kHoleTo - kHoleFrom)),
                  30000),
             // Lines drawn: coloured pixels on the power chart's canvas, and the width it was given.
             eval("(() => { const c = document.querySelector('#series canvas');"
                  " const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data; let n = 0;"
                  " for (let i = 0; i < d.length; i += 4) if (d[i + 3] && d[i + 2] > d[i] + 60) ++n;"
                  " return [n, document.documentElement.scrollWidth, innerWidth,"
                  " Number(document.getElementById('days').dataset.points)]; })()"),
             eval(honest),
             shot(shotPath(m_folder->path(), QString("web-trends-%1.png").arg(width))),
             // The week as well (hours).
             eval("document.querySelector('#ranges [data-days=\"7\"]').click()"),
             wait("document.querySelector('#ranges [data-days=\"7\"]').getAttribute('aria-pressed') === 'true' && "
                  "Number(document.getElementById('series').dataset.points) >= 6 && "
                  "Number(document.getElementById('series').dataset.points) < 100",
                  10000),
             // Its noon minutes of each day are no line from day to day.
             eval("(() => { const u = trendCharts.series, t = u.data[0], w = u.data[1]; let bridged = 0;"
                  " for (let i = 0; i + 1 < t.length; ++i) if (w[i] !== null && w[i + 1] !== null && t[i + 1] - t[i] > 5400) ++bridged;"
                  " return bridged; })()"),
             eval(QString("for (let i = 0; i < %1; ++i) document.getElementById('month-back').click()").arg(kTinyMonthsBack)),
             wait(tinyMonth, 10000),
             eval("trendCharts.days.axes[1]._values")});
        QVERIFY2(r.failed.isEmpty(), qPrintable(why(r)));
        QVERIFY2(r.errors.isEmpty(), qPrintable(why(r)));
        const QJsonArray drawn = r.results[2].toObject()["value"].toArray();
        QVERIFY2(drawn[0].toInt() > 200, qPrintable(QJsonDocument(drawn).toJson()));
        QVERIFY2(drawn[1].toInt() <= drawn[2].toInt(), qPrintable(QJsonDocument(drawn).toJson()));
        // This month's days: today's and those of the scripted ones in this month.
        const int days = std::min(QDate::currentDate().day() - 1, 59);
        QVERIFY2(drawn[3].toInt() >= std::max(0, days - 1), qPrintable(QJsonDocument(drawn).toJson()));

        const QJsonObject o = r.results[3].toObject()["value"].toObject();
        const QByteArray seen = QJsonDocument(o).toJson();
        // The hour left out (and the minutes up to the program's own): nulls, no line across.
        QVERIFY2(o["nulls"].toInt() >= 1 && o["bridged"].toInt() == 0, seen.constData());
        QVERIFY2(o["shaded"].toInt() > o["height"].toInt() / 2 && o["legend"].toBool(), seen.constData());
        // One value axis on a phone, a plot that keeps most of the width; all three on a desktop.
        QCOMPARE(o["axes"].toInt(), width < 600 ? 1 : 3);
        QVERIFY2(o["plot"].toInt() > (width < 600 ? 220 : 900), seen.constData());
        // The wind in the unit of the settings, the power curve's m/s beside it.
        QCOMPARE(o["wind"].toString(), QString("Wind (mph)"));
        QCOMPARE(o["curveAxis"].toString(), QString("mph (bins of 0.5 m/s)"));
        // Each chart's figures as text: the highest power, a table row a bar or bin.
        QVERIFY2(o["summary"].toString().contains(" to " + o["most"].toString() + " W"), seen.constData());
        QCOMPARE(o["rows"].toArray(), o["points"].toArray());
        QCOMPARE(o["inside"].toArray(), QJsonArray({true, true}));
        QVERIFY2(o["width"].toArray()[0].toInt() <= o["width"].toArray()[1].toInt(), seen.constData());
        // What the minutes were: a bar a day (up to 31) and a month with parts, the months' table.
        const QJsonArray availability = o["availability"].toArray();
        QVERIFY2(availability[0].toInt() == std::min(31, QDate::currentDate().dayOfYear())
                     && availability[1].toInt() == QDate::currentDate().month() && availability[3].toInt() > 0,
                 seen.constData());
        QCOMPARE(availability[2].toInt(), availability[1].toInt());
        QCOMPARE(r.results[7].toObject()["value"].toInt(), 0);
        // A month of a few watt-hours a day: ticks with the decimals they need, none twice.
        const QJsonArray ticks = r.results[10].toObject()["value"].toArray();
        QStringList labels;
        for (const auto &tick : ticks)
            labels << tick.toString();
        QVERIFY2(labels.size() >= 3 && labels.removeDuplicates() == 0, qPrintable(labels.join(", ")));
    }

    // With the password: the pages lead to the login, and work after it.
    void login()
    {
        core::WebSettings s;
        s.askPassword = true;
        s.passwordHash = web::hashPassword(kPassword);
        QVERIFY(startProgram(s));
        const Run r = browse({open(m_base + "/", 390, 844), eval("location.pathname"),
                              eval(QString("document.querySelector('input[name=password]').value = '%1';"
                                           "document.querySelector('form').submit()")
                                       .arg(kPassword)),
                              wait("location.pathname === '/' && document.readyState === 'complete'", 20000),
                              wait(kShowsNumbers, 30000), eval("document.querySelectorAll('form[action=\"/logout\"]').length"),
                              open(m_base + "/trends", 390, 844),
                              wait("document.getElementById('series').dataset.points !== undefined", 30000),
                              eval("Number(document.getElementById('series').dataset.points)")});
        QVERIFY2(r.failed.isEmpty(), qPrintable(why(r)));
        QVERIFY2(r.errors.isEmpty(), qPrintable(why(r)));
        QCOMPARE(r.results[1].toObject()["value"].toString(), QString("/login"));
        QCOMPARE(r.results[5].toObject()["value"].toInt(), 1);
        QVERIFY(r.results[8].toObject()["value"].toInt() >= kMinutes - (kHoleTo - kHoleFrom));
    }

    // The program restarted under an open page: it says so, and shows values again by itself.
    void reconnects()
    {
        QVERIFY(startProgram(core::WebSettings()));
        bool restarted = false;
        const Run r = browse({open(m_base + "/", 390, 844), wait(kShowsNumbers, 30000),
                              wait("document.body.classList.contains('lost')", 30000),
                              wait(QString("!document.body.classList.contains('lost') && ") + kShowsNumbers, 90000),
                              eval("document.getElementById('link').textContent")},
                             1, [this, &restarted] { restarted = launch(); });
        QVERIFY(restarted);
        QVERIFY2(r.failed.isEmpty(), qPrintable(why(r)));
        QCOMPARE(r.results[4].toObject()["value"].toString(), QString("Live"));
        // The cut and refused connections while it was away are the browser's notes of the
        // network, not errors of the page (no exception, no console error).
        for (const auto &e : r.errors)
            QVERIFY2(e.toString().startsWith("log: Failed to load resource: net::ERR_"), qPrintable(e.toString()));
    }

    // The unit gone quiet: "No data since hh:mm" and dashes, not the old numbers.
    void stale()
    {
        QVERIFY(startProgram(core::WebSettings()));
        const Run r = browse({open(m_base + "/", 390, 844), wait(kShowsNumbers, 30000),
                              wait("!document.getElementById('nodata').hidden", 60000),
                              eval("[document.getElementById('nodata').textContent, "
                                   "document.getElementById('watts').textContent, "
                                   "document.getElementById('link').textContent, "
                                   "document.getElementById('today').textContent]")},
                             1, [this] { stopUnit(); });
        QVERIFY2(r.failed.isEmpty(), qPrintable(why(r)));
        QVERIFY2(r.errors.isEmpty(), qPrintable(why(r)));
        const QJsonArray shown = r.results[3].toObject()["value"].toArray();
        QVERIFY2(QRegularExpression("^No data since [0-2][0-9]:[0-5][0-9]$").match(shown[0].toString()).hasMatch(),
                 qPrintable(shown[0].toString()));
        QCOMPARE(shown[1].toString(), QString("\u2013"));
        QCOMPARE(shown[2].toString(), QString("Stale"));
        // Today's energy stays: it is no reading of the unit.
        QVERIFY(QRegularExpression("^[0-9]+$").match(shown[3].toString()).hasMatch());
    }

    // The program stopped (its connections open, nothing answered): within the
    // manual's 15 seconds and the page's second of checking, dashes and since when.
    void noAnswer()
    {
        QVERIFY(startProgram(core::WebSettings()));
        const qint64 pid = m_program.processId();
        QVERIFY(pid > 0); // 0 would stop this test's own process group
        const Run r = browse({open(m_base + "/", 390, 844), wait(kShowsNumbers, 30000),
                              wait("document.body.classList.contains('lost')", 20000),
                              eval("[document.getElementById('nodata').textContent, "
                                   "['volts', 'amps', 'rpm', 'wind', 'watts', 'today', 'yesterday', 'lifetime', 'load']"
                                   ".map(id => document.getElementById(id).textContent).join(' '), "
                                   "document.querySelectorAll('.meter svg.off').length, "
                                   "document.getElementById('nodata').hidden]"),
                              shot(shotPath(m_folder->path(), "web-noanswer-390.png"))},
                             1, [pid] { ::kill(pid_t(pid), SIGSTOP); });
        ::kill(pid_t(pid), SIGCONT);
        QVERIFY2(r.failed.isEmpty(), qPrintable(why(r)));
        QVERIFY2(r.errors.isEmpty(), qPrintable(why(r)));
        const QJsonArray shown = r.results[3].toObject()["value"].toArray();
        QVERIFY2(QRegularExpression("^No answer from the program since [0-2][0-9]:[0-5][0-9]$")
                     .match(shown[0].toString())
                     .hasMatch(),
                 qPrintable(shown[0].toString()));
        QCOMPARE(shown[1].toString(), QStringList(9, QString("\u2013")).join(' '));
        QCOMPARE(shown[2].toInt(), 6);
        QVERIFY(!shown[3].toBool());
    }

    // Every page, at a phone's width and a desktop's: no serious or critical
    // finding of axe-core; and a settings page saved from the browser is
    // taken up at once (the alarm it switches on shows on the live page).
    void accessibleAndSettings_data() { dashboard_data(); }
    void accessibleAndSettings()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        const QString axe = qEnvironmentVariable("VELDRA_BIN") + "/../npm/node_modules/axe-core/axe.min.js";
        QVERIFY2(QFileInfo::exists(axe), qPrintable(axe + " is missing (CMake fetches it with npm ci)"));
        if (m_program.state() == QProcess::NotRunning || !testsupport::readFile(m_folder->file("web.cfg")).contains("pbkdf2")) {
            core::WebSettings s;
            s.askPassword = true;
            s.passwordHash = web::hashPassword(kPassword);
            QVERIFY(startProgram(s));
        }
        QFile::remove(m_folder->file("alarms.cfg"));
        const QString findings = "axe.run({runOnly: {type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21aa', 'best-practice']}})"
                                 ".then(r => r.violations.filter(v => v.impact === 'serious' || v.impact === 'critical')"
                                 ".map(v => v.id + ': ' + v.nodes.map(n => n.target.join(' ')).join(', ')))";
        QJsonArray steps{open(m_base + "/login", width, height), QJsonObject{{"script", axe}}, eval(findings),
                         eval(QString("document.querySelector('input[name=password]').value = '%1';"
                                      "document.querySelector('form').submit()")
                                  .arg(kPassword)),
                         wait("location.pathname === '/' && document.readyState === 'complete'", 20000)};
        // A page and the next differ in more than the part after "#", or no
        // page would load; some are pictured for the manual.
        const QList<std::pair<QString, QString>> pages{
            {"/settings#mqtt", ""}, {"/", ""}, {"/settings#setup", "web-setup"}, {"/trends", ""},
            {"/settings#calibration", "web-calibration"}, {"/settings?again#password", ""}, {"/settings#messages", "web-messages"},
            {"/settings?data#dataout", ""},
            {"/settings?again#alarms", "web-settings"}};
        QList<int> found{2};
        for (const auto &[page, picture] : pages) {
            steps << open(m_base + page, width, height)
                  << wait("document.readyState === 'complete' && !document.querySelector('.connecting') && "
                          "(location.pathname !== '/settings' || document.getElementById('title').textContent !== 'Settings')"
                          " && (location.hash !== '#calibration' || document.getElementById('txtBattV').textContent !== '')"
                          " && (location.pathname !== '/trends' || document.getElementById('curve').dataset.points !== undefined)",
                          20000)
                  << QJsonObject{{"script", axe}};
            found << int(steps.size());
            steps << eval(findings);
            if (!picture.isEmpty())
                steps << shot(shotPath(m_folder->path(), QString("%1-%2.png").arg(picture).arg(width)));
        }
        // Battery high above 12.5 V: the unit's 13 V raise it.
        steps << eval("document.getElementById('f-BatteryHighOn').checked = true;"
                      "document.getElementById('f-BatteryHigh').value = '12.5';"
                      "document.getElementById('f-HoldTime').value = '0';"
                      "document.getElementById('save').click()")
              << wait("document.getElementById('status').textContent.startsWith('Saved at')", 10000)
              << open(m_base + "/", width, height)
              << wait("[...document.querySelectorAll('.alarms li')].some(li => li.textContent.startsWith('Battery high'))",
                      20000);
        const Run r = browse(steps);
        QVERIFY2(r.failed.isEmpty(), qPrintable(why(r)));
        QVERIFY2(r.errors.isEmpty(), qPrintable(why(r)));
        for (int i = 0; i < found.size(); ++i) {
            const QJsonValue seen = r.results[found[i]].toObject()["value"];
            QVERIFY2(seen.isArray() && seen.toArray().isEmpty(),
                     qPrintable((i ? pages[i - 1].first : "/login") + ": " + QJsonDocument(seen.toArray()).toJson()));
        }
        QVERIFY(testsupport::readFile(m_folder->file("alarms.cfg")).contains("<BatteryHigh>12.5</BatteryHigh>"));
    }
};

QTEST_MAIN(TestDashboard)
#include "tst_dashboard.moc"
