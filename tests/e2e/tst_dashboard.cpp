// SPDX-License-Identifier: GPL-3.0-or-later
// The dashboard and trends pages of the built program, fed by the simulated
// unit, in a real headless Chromium driven through the DevTools protocol
// (tests/support/cdp.py): values shown and changing at phone and desktop
// width, the login with a password, a scripted archive drawn on Trends, the
// stale note, and no console error on any page.
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

namespace {

// Wind in mph, watts, RPM: a rising curve swept quickly, so each frame differs.
const char kCurve[] = "0 0 0\n30 600 900\n";
const char kPassword[] = "open sesame";
// Minutes of the scripted archive, ending a few minutes ago.
const int kMinutes = 360;

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
        for (const char *tool : {"chromium", "python3"})
            if (QStandardPaths::findExecutable(tool).isEmpty()) {
                if (qEnvironmentVariableIsSet("CI"))
                    QFAIL(qPrintable(QString(tool) + " is missing (scripts/install-deps installs it)"));
                QSKIP(qPrintable(QString(tool) + " is missing; scripts/install-deps installs it"));
            }
        m_folder = new testsupport::ProgramFolder;
        // The scripted archive: six hours of minutes up to a few minutes ago.
        archive::ArchiveDb db;
        QVERIFY(db.open(m_folder->file("archive.sqlite"), false));
        const std::int64_t start = (QDateTime::currentSecsSinceEpoch() / 60 - kMinutes - 5) * 60;
        for (int i = 0; i < kMinutes; ++i)
            QVERIFY(db.write(minuteAt(start, i)));
        // And a minute at noon of each of the 60 days before, carrying a day's energy.
        const QDate today = QDate::currentDate();
        for (int d = 2; d <= 60; ++d) {
            const std::int64_t noon = QDateTime(today.addDays(-d), QTime(12, 0)).toSecsSinceEpoch();
            core::ArchiveRow r = minuteAt(noon, d);
            r.energyWh = 900 + 600 * std::sin(d / 4.0);
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

    void dashboard_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("phone") << 390 << 844;
        QTest::newRow("desktop") << 1280 << 800;
    }
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
        const Run r = browse(
            {open(m_base + "/trends", width, height),
             wait("Number(document.getElementById('series').dataset.points) >= 360 && "
                  "document.getElementById('days').dataset.points !== undefined && "
                  "document.getElementById('months').dataset.points !== undefined && "
                  "document.getElementById('curve').dataset.points !== undefined",
                  30000),
             // Lines drawn: coloured pixels on the power chart's canvas, and the width it was given.
             eval("(() => { const c = document.querySelector('#series canvas');"
                  " const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data; let n = 0;"
                  " for (let i = 0; i < d.length; i += 4) if (d[i + 3] && d[i + 2] > d[i] + 60) ++n;"
                  " return [n, document.documentElement.scrollWidth, innerWidth,"
                  " Number(document.getElementById('days').dataset.points)]; })()"),
             // The week as well (hours).
             eval("document.querySelector('#ranges [data-days=\"7\"]').click()"),
             wait("document.querySelector('#ranges [data-days=\"7\"]').getAttribute('aria-pressed') === 'true' && "
                  "Number(document.getElementById('series').dataset.points) >= 6 && "
                  "Number(document.getElementById('series').dataset.points) < 100",
                  10000),
             shot(shotPath(m_folder->path(), QString("web-trends-%1.png").arg(width)))});
        QVERIFY2(r.failed.isEmpty(), qPrintable(why(r)));
        QVERIFY2(r.errors.isEmpty(), qPrintable(why(r)));
        const QJsonArray drawn = r.results[2].toObject()["value"].toArray();
        QVERIFY2(drawn[0].toInt() > 200, qPrintable(QJsonDocument(drawn).toJson()));
        QVERIFY2(drawn[1].toInt() <= drawn[2].toInt(), qPrintable(QJsonDocument(drawn).toJson()));
        // This month's days: today's and those of the scripted ones in this month.
        const int days = std::min(QDate::currentDate().day() - 1, 59);
        QVERIFY2(drawn[3].toInt() >= std::max(0, days - 1), qPrintable(QJsonDocument(drawn).toJson()));
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
        QVERIFY(r.results[8].toObject()["value"].toInt() >= kMinutes);
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
            {"/settings?again#alarms", "web-settings"}};
        QList<int> found{2};
        for (const auto &[page, picture] : pages) {
            steps << open(m_base + page, width, height)
                  << wait("document.readyState === 'complete' && !document.querySelector('.connecting') && "
                          "(location.pathname !== '/settings' || document.getElementById('title').textContent !== 'Settings')"
                          " && (location.hash !== '#calibration' || document.getElementById('txtBattV').textContent !== '')",
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
