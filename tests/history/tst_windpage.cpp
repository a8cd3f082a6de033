// SPDX-License-Identifier: GPL-3.0-or-later
// The Wind page and `--report wind` on a real archive whose oldest minutes
// are let go, so that their hour summaries stand for them.
#include "archive/ArchiveDb.h"
#include "archive/WindReport.h"
#include "core/Number.h"
#include "history/WindPage.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QProcess>
#include <QTableWidget>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <random>

namespace {

// 2026-11-30T18:00 and 2026-12-07T08:00 local (UTC+1).
constexpr std::int64_t kNovember = 1796058000;
constexpr std::int64_t kDecember = 1796626800;

core::ArchiveRow minute(std::int64_t t, double wind)
{
    core::ArchiveRow r;
    r.t = t;
    r.utcOffset = 3600;
    r.minutes = 1;
    r.frames = 30;
    // A turbine of 40 W per (m/s)² above 3 m/s.
    const double watts = wind > 3 ? 40 * (wind - 3) * (wind - 3) : 0;
    r.volts = {30, 13 * 30, 13, 13};
    r.watts = {30, 30 * watts, watts, watts};
    r.wind = {30, 30 * wind, wind, wind * 1.4};
    r.energyWh = watts / 60;
    r.windUnit = "mph";
    return r;
}

// 300 minutes each in November and December of Weibull winds (k 2, c 6 m/s),
// every tenth one calm; November's minutes then let go, its hours kept.
void scriptedArchive(const testsupport::ProgramFolder &folder)
{
    folder.write("turbine.cfg", "<RatedPower>1500</RatedPower>\r\n");
    archive::ArchiveDb db;
    QVERIFY(db.open(folder.file("archive.sqlite"), false));
    std::mt19937 generator(42u);
    for (const std::int64_t start : {kNovember, kDecember})
        for (int i = 0; i < 300; ++i) {
            const double u = (double(generator()) + 0.5) / 4294967296.0;
            const double wind = i % 10 == 9 ? 0 : std::round(6 * std::sqrt(-std::log(1 - u)) * 1000) / 1000;
            QVERIFY(db.write(minute(start + 60 * i, wind)));
        }
    QVERIFY(db.forgetMinutesBefore(kDecember));
}

std::string reportOf(const QString &folder, int *code)
{
    return testsupport::printed([&](std::FILE *out, std::FILE *err) { return archive::reportWind(folder, out, err); },
                                code);
}

} // namespace

class TstWindPage : public QObject {
    Q_OBJECT
private slots:
    void showsTheSitesWind()
    {
        testsupport::ProgramFolder folder;
        scriptedArchive(folder);
        testsupport::FakeServices fake(folder.path());
        history::WindPage page(fake.services(), "mph");
        page.resize(900, 600);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QTRY_VERIFY_WITH_TIMEOUT(page.wind().minutes > 0 && !page.reading(), 20000);

        const core::WindStats &w = page.wind();
        QCOMPARE(w.minutes, 600.0);
        QCOMPARE(w.minutesFromHours, 300.0);
        // Calm minutes only in December: the hour summaries' means are not.
        QCOMPARE(w.calmShare(), 0.05);
        QCOMPARE(w.months.size(), size_t(2));
        QCOMPARE(w.months[0].key, 202611);
        QCOMPARE(w.months[0].minutes, 300.0);
        QVERIFY(w.weibull && std::abs(w.weibull->c / 6 - 1) < 0.1);
        QVERIFY2(page.Summary->text().contains("Weibull fit: k = ") && page.Summary->text().contains("mph)"),
                 qPrintable(page.Summary->text()));
        QVERIFY(page.Summary->text().contains("(5 h of them from hour summaries)"));
        QVERIFY(page.Status->isHidden());
        // One year and its two months, newest first.
        QCOMPARE(page.Means->rowCount(), 3);
        QCOMPARE(page.Means->item(0, 0)->text(), QString("2026"));
        QCOMPARE(page.Means->item(1, 0)->text().trimmed(), QString("December"));
        for (int row = 0; row < 2; ++row) {
            QVERIFY2(page.Site->item(row, 3)->text().endsWith(" kWh"),
                     qPrintable(page.Site->item(row, 3)->text()));
            QVERIFY2(page.Site->item(row, 4)->text().endsWith(" %"), qPrintable(page.Site->item(row, 4)->text()));
        }
        QVERIFY(page.Rayleigh->item(0, 2)->text().endsWith(" kWh"));

        // The report prints what the page shows, in-process and from the program.
        int code = -1;
        const std::string report = reportOf(folder.path(), &code);
        QCOMPARE(code, 0);
        QVERIFY(report.find("\r\nminutes_from_hours,300\r\n") != std::string::npos);
        QVERIFY(report.find("\r\n2026-11,300,") != std::string::npos);
        QVERIFY(report.find("\r\nweibull_k," + core::dotNumberText(core::roundHalfEven(w.weibull->k, 3)) + "\r\n")
                != std::string::npos);
        QProcess program;
        program.start(qEnvironmentVariable("VELDRA_BIN") + "/crestdial",
                      {"--report", "wind", "--folder", folder.path()});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(program.readAllStandardOutput().toStdString(), report);
    }

    void noArchiveYet()
    {
        testsupport::ProgramFolder folder;
        testsupport::FakeServices fake(folder.path());
        history::WindPage page(fake.services(), "m/s");
        QSignalSpy loaded(&page, &history::WindPage::loaded);
        page.reload();
        QVERIFY(loaded.wait(10000));
        QVERIFY2(page.Status->text().startsWith("There is no archive in "), qPrintable(page.Status->text()));
        QCOMPARE(page.Site->item(0, 2)->text(), QString());
        int code = -1;
        QVERIFY(QString::fromStdString(reportOf(folder.path(), &code)).startsWith("There is no archive in "));
        QCOMPARE(code, 1);
    }
};

QTEST_MAIN(TstWindPage)
#include "tst_windpage.moc"
