// SPDX-License-Identifier: GPL-3.0-or-later
// The Availability page and `--report availability` on a real archive of
// scripted minutes, against figures worked out by hand.
#include "archive/ArchiveDb.h"
#include "archive/AvailabilityReport.h"
#include "history/AvailabilityPage.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

namespace {

// 2026-11-30T23:00Z.
constexpr std::int64_t kStart = 1796079600;

// A minute at `wind` m/s making `watts`; the rotor still when it makes none.
core::ArchiveRow minute(std::int64_t t, double wind, double watts, double volts = 13)
{
    core::ArchiveRow r;
    r.t = t;
    r.minutes = 1;
    r.frames = 30;
    const double rpm = watts > 0 ? 300 : 0;
    r.volts = {30, 30 * volts, volts, volts};
    r.amps = {30, 30 * watts / volts, watts / volts, watts / volts};
    r.watts = {30, 30 * watts, watts, watts};
    r.wind = {30, 30 * wind, wind, wind};
    r.rpm = {30, 30 * rpm, rpm, rpm};
    r.energyWh = watts / 60;
    r.windUnit = "m/s";
    return r;
}

QString cell(const QTableWidget *t, const QString &first, int column)
{
    for (int r = 0; r < t->rowCount(); ++r)
        if (t->item(r, 0) && t->item(r, 0)->text().trimmed() == first)
            return t->item(r, column)->text();
    return QStringLiteral("(no row %1)").arg(first);
}

} // namespace

class TestAvailabilityPage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { testsupport::setZone("UTC"); }

    // November's last hour generating at 8 m/s (130 W); then on 1 December
    // an hour at 8 m/s, an hour at 9 m/s (200 W), 12 minutes still at 9 m/s,
    // 30 with the battery full at 8 m/s (30 W made) and 18 calm; read at
    // 06:00, so three hours without data.
    //   time: (180 - 12) / 180 = 93.3 %
    //   lost, stopped: 12 min x (60 x 200 + 12 x 0) / 72 W = 33.3 Wh
    //   lost, battery full: 30 min x 130 W - 15 Wh = 50 Wh
    //   energy: 345 / (345 + 33.3) = 91.2 %
    void handWorked()
    {
        testsupport::ProgramFolder folder;
        folder.write("turbine.cfg", "<BatteryFullVolts>14.4</BatteryFullVolts>\r\n");
        {
            archive::ArchiveDb db;
            QVERIFY(db.open(folder.file("archive.sqlite"), false));
            QVERIFY(db.setAvailabilityRules(
                core::availabilityRules(core::readTurbineSettings("<BatteryFullVolts>14.4</BatteryFullVolts>"), {},
                                        nullptr)));
            std::int64_t t = kStart;
            const auto run = [&](int n, double wind, double watts, double volts) {
                for (int i = 0; i < n; ++i, t += 60)
                    QVERIFY(db.write(minute(t, wind, watts, volts)));
            };
            run(120, 8, 130, 13);
            run(60, 9, 200, 13);
            run(12, 9, 0, 13);
            run(30, 8, 30, 14.5);
            run(18, 2, 0, 13);
        }
        testsupport::FakeServices fake(folder.path());
        fake.clock.set(QDateTime(QDate(2026, 12, 1), QTime(6, 0), Qt::UTC));
        history::AvailabilityPage page(fake.services());
        QSignalSpy loaded(&page, &history::AvailabilityPage::loaded);
        page.reload();
        QVERIFY(loaded.wait(10000));
        QCOMPARE(page.Status->text(), QString());
        QCOMPARE(cell(page.Periods, "December", 1), "50 %");
        QCOMPARE(cell(page.Periods, "December", 2), "93.3 %");
        QCOMPARE(cell(page.Periods, "December", 3), "91.2 %");
        QCOMPARE(cell(page.Periods, "November", 2), "100 %");
        QCOMPARE(cell(page.Periods, "2026", 5), "0.08 kWh");
        QCOMPARE(cell(page.Causes, "rotor stopped in wind", 1), "0.2 h");
        QCOMPARE(cell(page.Causes, "rotor stopped in wind", 2), "0.03 kWh");
        QCOMPARE(cell(page.Causes, "battery full", 2), "0.05 kWh");
        QCOMPARE(cell(page.Causes, "no data", 1), "3 h");
        QVERIFY2(page.Summary->text().startsWith("December 2026: the turbine was available 93.3 %"),
                 qPrintable(page.Summary->text()));

        // The report prints the same figures, in-process and from the program.
        int code = -1;
        const std::string report = testsupport::printed(
            [&](std::FILE *out, std::FILE *err) { return archive::reportAvailability(folder.path(), out, err); },
            &code);
        QCOMPARE(code, 0);
        // Both read at the time they run: from the hours with data on, the
        // figures are the page's.
        const auto fromData = [](const QString &text, int line) { return text.section("\r\n", line, line).section(',', 3); };
        QCOMPARE(fromData(QString::fromStdString(report), 2), "0.5,0,0.3,0.2,0,0,2,93.3,91.2,0.345,0.05,0,0.033,0,0,0");
        QProcess program;
        program.start(qEnvironmentVariable("VELDRA_BIN") + "/crestdial",
                      {"--report", "availability", "--folder", folder.path()});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 0);
        const QString printed = QString::fromUtf8(program.readAllStandardOutput());
        QCOMPARE(printed.section("\r\n", 0, 0), QString::fromStdString(report).section("\r\n", 0, 0));
        for (int line = 1; line <= 3; ++line)
            QCOMPARE(fromData(printed, line), fromData(QString::fromStdString(report), line));
    }
};

QTEST_MAIN(TestAvailabilityPage)
#include "tst_availabilitypage.moc"
