// SPDX-License-Identifier: GPL-3.0-or-later
// The analyses in the browser, served by the built program on a folder the
// test makes (weeks of archived minutes, a certified curve, energy days with
// estimated ones, a history of alarms), in a real headless Chromium at phone
// and desktop width: every page draws (pixels on its charts), overflows
// nothing, logs no error, passes axe-core and writes each chart's figures
// out; every figure the History window's pages show on the same folder is
// the browser's, compared as numbers (the window writes a decimal comma
// here); and a program that stops answering leaves no alarm shown as raised.
#include "archive/ArchiveDb.h"
#include "core/Alarms.h"
#include "core/Number.h"
#include "core/PowerCurve.h"
#include "core/Turbine.h"
#include "history/AvailabilityPage.h"
#include "history/CertifiedPanel.h"
#include "history/PowerCurvePage.h"
#include "history/WindPage.h"
#include "support/Browser.h"
#include "support/Fakes.h"
#include "support/Processes.h"
#include "support/TestSupport.h"
#include "web/WebSettingsFile.h"

#include <QLabel>
#include <QRegularExpression>
#include <QTableWidget>
#include <QtTest>
#include <cmath>
#include <random>

namespace {

using namespace testsupport::browser;
using Numbers = QList<double>;

const char kTurbine[] =
    "<BatteryFullVolts>14.4</BatteryFullVolts>\r\n<CutOut>20</CutOut>\r\n<RatedPower>1000</RatedPower>\r\n"
    "<RotorDiameter>2.2</RotorDiameter>\r\n";
const char kCertified[] =
    "wind_m_s,power_w\r\n3,0\r\n4,13\r\n5,50\r\n6,114\r\n7,207\r\n8,331\r\n9,487\r\n10,676\r\n"
    "11,901\r\n12,1050\r\n20,1050\r\n";

// Every number in a text, a decimal comma read as a point.
Numbers numbersIn(QString text)
{
    Numbers out;
    static const QRegularExpression number(R"(-?\d+(?:[.,]\d+)?)");
    for (auto it = number.globalMatch(text.replace(QChar(0x2212), '-')); it.hasNext();)
        out << it.next().captured().replace(',', '.').toDouble();
    return out;
}

// A table's rows as the numbers of the columns from `first` on.
QList<Numbers> rowsOf(const QTableWidget *t, int first = 1)
{
    QList<Numbers> rows;
    for (int r = 0; r < t->rowCount(); ++r) {
        Numbers n;
        for (int c = first; c < t->columnCount(); ++c)
            n << numbersIn(t->item(r, c) ? t->item(r, c)->text() : QString());
        rows << n;
    }
    return rows;
}
QList<Numbers> rowsOf(const QJsonArray &table, int first = 1)
{
    QList<Numbers> rows;
    for (const QJsonValue &row : table) {
        Numbers n;
        for (int c = first; c < row.toArray().size(); ++c)
            n << numbersIn(row.toArray()[c].toString());
        rows << n;
    }
    return rows;
}

// The browser's tables and facts, as text.
const char kTables[] =
    "(() => { const rows = id => [...document.querySelectorAll('#' + id + ' tbody tr')]"
    ".map(tr => [...tr.children].map(c => c.textContent));"
    "const fact = n => { const d = [...document.querySelectorAll('.facts div')].find(x => x.firstChild.textContent === n);"
    "return d ? d.lastChild.textContent : ''; };"
    "return {estimate: rows('estimate-table'), months: rows('performance-months'), availability: rows('months-table'),"
    "at11: fact('Power at 11 m/s'), weibull: fact('Weibull fit'), label: (document.getElementById('label-figure') || {}).textContent}; })()";

// What a page shows: pixels drawn on each chart, stacked bars, the widest
// element against the screen, each chart's figures written out.
const char kDrawn[] =
    "(() => { const charts = [...document.querySelectorAll('.chart')].map(box => { const c = box.querySelector('canvas');"
    "let n = 0; if (c) { const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;"
    "for (let i = 3; i < d.length; i += 4) if (d[i]) ++n; }"
    "const text = document.getElementById(box.id + '-text');"
    "return {id: box.id, pixels: n, points: Number(box.dataset.points || 0), message: (box.querySelector('.empty') || {}).textContent || '',"
    "figures: text ? text.querySelectorAll('td').length : -1}; });"
    "return {charts, parts: document.querySelectorAll('.stack .part').length, tables: document.querySelectorAll('table td').length,"
    "wide: document.documentElement.scrollWidth, screen: innerWidth,"
    "facts: [...document.querySelectorAll('.facts div')].map(d => d.firstChild.textContent + ': ' + d.lastChild.textContent)}; })()";

const char kFindings[] =
    "axe.run({runOnly: {type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21aa', 'best-practice']}})"
    ".then(r => r.violations.filter(v => v.impact === 'serious' || v.impact === 'critical')"
    ".map(v => v.id + ': ' + v.nodes.map(n => n.target.join(' ')).join(', ')))";

QString shotPath(const QString &folder, const QString &name)
{
    return qEnvironmentVariable("VELDRA_WEB_SHOTS", folder) + "/" + name;
}

} // namespace

class TestAnalyses : public QObject {
    Q_OBJECT

    testsupport::ProgramFolder *m_folder = nullptr;
    QProcess m_program;
    QString m_base;
    double m_lifetimeWh = 0; // of the measured days

    // Four weeks of minutes, one every four, of a Rayleigh wind of 5 m/s mean
    // (shown in mph, as the settings have it) and a turbine a little below its
    // certified curve; three hours with the rotor still in 8 m/s.
    void scriptedFolder()
    {
        m_folder->write("turbine.cfg", kTurbine);
        m_folder->write("certified-curve.csv", kCertified);
        archive::ArchiveDb db;
        QVERIFY(db.open(m_folder->file("archive.sqlite"), false));
        const core::TurbineSettings turbine = core::readTurbineSettings(kTurbine);
        QVERIFY(db.setCurveRules(core::curveRules(turbine)));
        std::mt19937 random(7u);
        const auto uniform = [&] { return (double(random()) + 0.5) / 4294967296.0; };
        const std::int64_t start = (QDateTime::currentSecsSinceEpoch() / 60 - 4 * 7000 - 60) * 60;
        for (int i = 0; i < 7000; ++i)
            // Three hours of them minute after minute.
            for (int at = 0; at < (i >= 5000 && i < 5045 ? 4 : 1); ++at) {
                const bool still = i >= 5000 && i < 5045;
                const double v = still
                                     ? 8
                                     : std::min(19.0, 5 * std::sqrt(-4 / M_PI * std::log(1 - uniform() * 0.9995)));
                double watts = still || v < 3 ? 0
                                              : std::min(1000.0, 1000 * std::pow((v - 3) / 9, 2.2))
                                                    * (0.85 + 0.2 * uniform());
                core::ArchiveRow r;
                r.t = start + 240 * std::int64_t(i) + 60 * at;
                r.utcOffset = QDateTime::fromSecsSinceEpoch(r.t).offsetFromUtc();
                r.minutes = 1;
                r.frames = 30;
                const double volts = 12.6 + watts / 900;
                r.volts = {30, 30 * volts, volts - 0.2, volts + 0.2};
                r.amps = {30, 30 * watts / volts, watts / volts, watts / volts};
                r.watts = {30, 30 * watts, watts * 0.8, watts * 1.2};
                const double rpm = still ? 0 : v * 38;
                r.rpm = {30, 30 * rpm, rpm, rpm};
                r.wind = {30, 30 * v, v, v * 1.3}; // m/s, whatever the unit shown
                r.windUnit = "mph";
                r.energyWh = watts / 60;
                QVERIFY(db.write(r));
            }
        db.close();
        // Sixty days of energy, every seventh estimated.
        QByteArray energy = "date,energy_wh,estimated,peak_watts,peak_wind,wind_unit,peak_rpm,min_volts,max_volts,"
                            "load_on_minutes,no_data_minutes,frames_received,frames_rejected\r\n";
        for (int d = 60; d >= 1; --d) {
            const QByteArray wh = QByteArray::number(1500 + 900 * std::sin(d / 5.0), 'f', 1);
            energy += QDate::currentDate().addDays(-d).toString("yyyy-MM-dd").toLatin1() + "," + wh
                      + (d % 7 ? ",0" : ",1") + ",800,30,mph,700,12.1,14.2,0,0,2000,0\r\n";
            m_lifetimeWh += d % 7 ? wh.toDouble() : 0;
        }
        m_folder->write("logs/energy.csv", energy);
        QByteArray alarms = "time,alarm,state,value,threshold\r\n";
        for (int i = 0; i < 240; ++i)
            alarms +=
                QDateTime::currentDateTime().addSecs(-3600 * (240 - i)).toString("yyyy-MM-ddTHH:mm:ss").toLatin1()
                + (i % 2 ? ",high_wind,cleared,36.5,40\r\n" : ",high_wind,raised,45.25,40\r\n");
        m_folder->write("logs/alarms.csv", alarms);
    }

private slots:
    void initTestCase()
    {
        VELDRA_NEED_BROWSER();
        m_folder = new testsupport::ProgramFolder;
        scriptedFolder();
        // No unit is attached: "No data" raised a second after the start.
        core::AlarmSettings a;
        a.threshold[size_t(core::AlarmId::NoData)] = 1;
        a.holdSeconds = 0;
        m_folder->write("alarms.cfg", QByteArray::fromStdString(core::alarmSettingsText(a)));
        const int port = testsupport::freePort();
        core::WebSettings s;
        s.on = true;
        s.port = std::to_string(port);
        QVERIFY(web::writeWebSettingsFile(m_folder->file("web.cfg"), s));
        m_base = QString("http://127.0.0.1:%1").arg(port);
        QVERIFY(testsupport::startServing(m_program, m_folder->path(), "veldra-service", testsupport::progCfg("1"),
                                          port));
    }

    void cleanupTestCase()
    {
        testsupport::endProgram(m_program);
        delete m_folder;
    }

    void pagesDraw_data() { screenRows(); }
    // Each page: every chart drawn with its figures written out, the
    // availability bars stacked, nothing wider than the screen, no console
    // error, no serious or critical finding of axe-core.
    void pagesDraw()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        const QString axe = qEnvironmentVariable("VELDRA_BIN") + "/../npm/node_modules/axe-core/axe.min.js";
        QVERIFY2(QFileInfo::exists(axe), qPrintable(axe + " is missing (CMake fetches it with npm ci)"));
        const QStringList pages{"energy", "power-curve", "wind", "availability", "alarms"};
        QJsonArray steps;
        QList<int> drawn, found;
        for (const QString &page : pages) {
            steps << open(m_base + "/" + page, width, height) << wait("document.body.dataset.ready === '1'", 20000)
                  << QJsonObject{{"script", axe}};
            drawn << int(steps.size());
            steps << eval(kDrawn);
            found << int(steps.size());
            steps << eval(kFindings)
                  << shot(shotPath(m_folder->path(), QString("web-%1-%2.png").arg(page).arg(width)));
        }
        const Run r = browse(steps);
        QVERIFY2(r.failed.isEmpty(), qPrintable(why(r)));
        QVERIFY2(r.errors.isEmpty(), qPrintable(why(r)));
        for (int i = 0; i < pages.size(); ++i) {
            const QJsonObject o = r.results[drawn[i]].toObject()["value"].toObject();
            const QString where = pages[i] + ": " + QJsonDocument(o).toJson(QJsonDocument::Compact);
            QVERIFY2(o["wide"].toInt() <= o["screen"].toInt(), qPrintable(where));
            QVERIFY2(o["tables"].toInt() > 0, qPrintable(where));
            for (const QJsonValue c : o["charts"].toArray()) {
                const QJsonObject chart = c.toObject();
                QVERIFY2(chart["points"].toInt() > 0 && chart["pixels"].toInt() > 2000, qPrintable(where));
                QVERIFY2(chart["figures"].toInt() != 0, qPrintable(where)); // a table or figures under it
            }
            // The first page asked for, as the program starts: the lifetime is there already.
            if (pages[i] == "energy")
                QVERIFY2(
                    o["facts"].toArray().contains(QString("Lifetime: %1 kWh").arg(m_lifetimeWh / 1000, 0, 'f', 2)),
                    qPrintable(where));
            if (pages[i] == "availability")
                QVERIFY2(o["parts"].toInt() > 20, qPrintable(where));
            const QJsonValue seen = r.results[found[i]].toObject()["value"];
            QVERIFY2(seen.isArray() && seen.toArray().isEmpty(),
                     qPrintable(pages[i] + ": " + QJsonDocument(seen.toArray()).toJson()));
        }
    }

    // The window's figures on the same folder, written with a decimal comma,
    // are the page's.
    void sameFiguresAsTheWindow()
    {
        core::setDecimalSeparator(',');
        testsupport::FakeServices fake(m_folder->path());
        fake.clock.set(QDateTime::currentDateTime());
        history::PowerCurvePage curve(fake.services(), "mph");
        history::WindPage wind(fake.services(), "mph");
        history::AvailabilityPage availability(fake.services());
        for (QWidget *w : std::initializer_list<QWidget *>{&curve, &wind, &availability}) {
            w->resize(1000, 700);
            w->show();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!curve.Certified->reading() && curve.Certified->Months->rowCount() > 0, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!wind.reading() && wind.wind().minutes > 0, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!availability.reading() && availability.Periods->rowCount() > 0, 30000);

        QJsonArray steps;
        for (const char *page : {"power-curve", "wind", "availability"})
            steps << open(m_base + "/" + page, 1280, 800) << wait("document.body.dataset.ready === '1'", 20000)
                  << eval(kTables);
        const Run r = browse(steps);
        QVERIFY2(r.failed.isEmpty(), qPrintable(why(r)));
        const QJsonObject onCurve = r.results[2].toObject()["value"].toObject(),
                          onWind = r.results[5].toObject()["value"].toObject(),
                          onAvailability = r.results[8].toObject()["value"].toObject();

        // The annual energy, measured and extrapolated, at each mean wind.
        QCOMPARE(rowsOf(onCurve["estimate"].toArray()).size(), 8);
        QList<Numbers> page = rowsOf(onCurve["estimate"].toArray()), window = rowsOf(curve.Estimate);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(page[i].mid(page[i].size() - window[i].size()), window[i]);
        QCOMPARE(numbersIn(onCurve["at11"].toString()), numbersIn(curve.PowerAt11->text()).mid(1));
        QVERIFY(!numbersIn(curve.PowerAt11->text()).mid(1).isEmpty());
        QCOMPARE(numbersIn(onCurve["label"].toString()), numbersIn(curve.Certified->LabelFigure->text()));
        // The performance by month.
        QCOMPARE(rowsOf(onCurve["months"].toArray()), rowsOf(curve.Certified->Months));

        // Weibull k and c (in m/s, the owner's unit beside it).
        const Numbers pageFit = numbersIn(onWind["weibull"].toString()),
                      windowFit = numbersIn(wind.Summary->text().section("Weibull fit", 1));
        QVERIFY2(pageFit.size() == 3 && windowFit.size() >= 3, qPrintable(onWind["weibull"].toString()));
        QCOMPARE(pageFit[0], windowFit[0]); // k
        QCOMPARE(pageFit[2], windowFit[1]); // c, m/s
        QCOMPARE(pageFit[1], windowFit[2]); // c, mph

        // Each month's availability is a row of the window's.
        const QList<Numbers> months = rowsOf(onAvailability["availability"].toArray()),
                             rows = rowsOf(availability.Periods);
        QVERIFY(!months.isEmpty());
        for (const Numbers &m : months)
            QVERIFY2(rows.contains(m), qPrintable(QDebug::toString(m) + " not in " + QDebug::toString(rows)));
        core::setDecimalSeparator('.');
    }

    // The program stops: the alarms page no longer shows the raised alarm and
    // says since when it had no answer, within the 5 seconds it asks in.
    void noAnswerShowsNoAlarm()
    {
        const QJsonArray steps{
            open(m_base + "/alarms", 390, 844),
            wait("document.body.dataset.ready === '1'", 20000),
            wait("document.querySelectorAll('#raised li').length > 0", 20000),
            eval("document.getElementById('history-table').querySelectorAll('tbody tr').length"),
            wait("document.getElementById('link').textContent.startsWith('No answer from the program since')"
                 " && !document.querySelector('#raised li')",
                 12000),
            shot(shotPath(m_folder->path(), "web-alarms-noanswer-390.png"))};
        const Run r = browse(steps, 3, [this] { testsupport::endProgram(m_program); });
        QVERIFY2(r.failed.isEmpty(), qPrintable(why(r)));
        QCOMPARE(r.results[3].toObject()["value"].toInt(), 200); // the latest 200 of 240
    }
};

QTEST_MAIN(TestAnalyses)
#include "tst_analyses.moc"
