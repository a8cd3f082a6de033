// SPDX-License-Identifier: GPL-3.0-or-later
// The power curve end to end, in minutes rather than hours: the simulated
// unit holds one wind of its table for each clock minute; the built program
// archives the minutes, and every whole minute lands in the bin of its wind
// with that wind and power as its means (the partial first minute in none).
// Then the reports, from another process while the program runs.
#include "archive/ArchiveDb.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QRegularExpression>
#include <QtTest>

#include <cmath>

namespace {

// Wind in mph (the delivered unit), watts, RPM; minute m holds row m % 3.
const char kTable[] = "12 110 240\n16 340 330\n20 560 375\n";
const double kMph[] = {12, 16, 20};
const double kWatts[] = {110, 340, 560};

} // namespace

class TestPowerCurveEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void heldWindsLandInTheirBins()
    {
        testsupport::ProgramFolder folder;
        folder.write("curve.txt", kTable);
        QProcess unit;
        QVERIFY(testsupport::startUnit(unit, folder.path(),
                                       {"--curve", folder.file("curve.txt"), "--hold", "60", "--rate", "4"}));
        auto stopUnit = qScopeGuard([&unit] {
            unit.kill();
            unit.waitForFinished(3000);
        });
        QTRY_VERIFY_WITH_TIMEOUT(folder.exists("COM1"), 10000);

        QProcess program;
        const QString exe
            = testsupport::installProgram(folder.path(), "crestdial", testsupport::progCfg("1"), QString(), program);
        QVERIFY(!exe.isEmpty());
        QProcessEnvironment env = program.processEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(env);
        program.start(exe, {});
        QVERIFY(program.waitForStarted());
        auto stopProgram = qScopeGuard([&program] {
            program.kill();
            program.waitForFinished(3000);
        });

        // The first whole minute is in the curve when it has ended.
        core::PowerCurve curve;
        std::vector<core::ArchiveRow> minutes;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                archive::ArchiveDb db;
                if (!db.open(folder.file("archive.sqlite"), true))
                    return false;
                minutes = db.rows(archive::Step::Minute, 0, 1LL << 40);
                const auto c = db.curve(core::CurveRules());
                if (!c || c->minutes() == 0)
                    return false;
                curve = *c;
                return true;
            }(),
            150000);

        long long whole = 0;
        for (const core::ArchiveRow &m : minutes) {
            if (m.noDataSeconds > core::kMinuteGapSeconds)
                continue;
            ++whole;
            const int row = int((m.t / 60) % 3);
            const double metres = kMph[row] * 0.44704;
            const core::CurveBin &b = curve.bins()[size_t(*core::PowerCurve::binOf(metres))];
            QVERIFY2(b.minutes >= 1, qPrintable(QString::number(kMph[row])));
            // A frame sent as the wind changes may come in the next minute.
            QVERIFY2(std::abs(b.meanWind() - metres) < 0.05, qPrintable(QString::number(b.meanWind())));
            QVERIFY2(std::abs(b.meanWatts() - kWatts[row]) < 2, qPrintable(QString::number(b.meanWatts())));
        }
        QCOMPARE(curve.minutes(), whole);

        // The reports, while the program runs.
        QProcess report;
        report.start(exe, {"--report", "powercurve", "--folder", folder.path()});
        QVERIFY(report.waitForFinished(30000));
        QCOMPARE(report.exitCode(), 0);
        const QString text = QString::fromUtf8(report.readAllStandardOutput());
        QVERIFY2(text.startsWith("bin_m_s,minutes,mean_wind_m_s,mean_power_w,sd_power_w,mean_rpm,measured,cp,tip_speed_ratio\r\n"),
                 qPrintable(text));
        QVERIFY2(text.contains("\r\nhours_of_data,") && text.contains("\r\ncomplete,0\r\n"), qPrintable(text));
        folder.write("label.csv", "wind_m_s;power_kw\n3;0\n11;1,2\n");
        report.start(exe, {"--report", "curve", folder.file("label.csv"), "--folder", folder.path()});
        QVERIFY(report.waitForFinished(30000));
        QCOMPARE(report.exitCode(), 0);
        QVERIFY(QString::fromUtf8(report.readAllStandardOutput()).endsWith("\r\npower_at_11_m_s_w,1200\r\n"));
        // The month's energy against the label's curve, and the days' performance in the export.
        folder.write("certified-curve.csv", "wind_m_s;power_kw\n3;0\n11;1,2\n");
        report.start(exe, {"--report", "energy", "--folder", folder.path()});
        QVERIFY(report.waitForFinished(30000));
        QCOMPARE(report.exitCode(), 0);
        const QStringList energy = QString::fromUtf8(report.readAllStandardOutput()).split("\r\n");
        QCOMPARE(energy.value(0), QString("month,energy_kwh,days,estimated_days,compared_hours,"
                                          "compared_measured_kwh,compared_certified_kwh,performance_percent"));
        const QString month = QDate::currentDate().toString("yyyy-MM");
        QVERIFY2(energy.filter(QRegularExpression("^" + month + "(,[^,]*){7}$")).size() == 1, qPrintable(energy.join('|')));
        report.start(exe, {"--export", QDate::currentDate().toString(Qt::ISODate), QDate::currentDate().toString(Qt::ISODate),
                           "--step", "day", "--folder", folder.path()});
        QVERIFY(report.waitForFinished(30000));
        QCOMPARE(report.exitCode(), 0);
        QVERIFY(QString::fromUtf8(report.readAllStandardOutput()).section('\n', 0, 0).endsWith(",no_data_s,performance_percent"));
        report.start(exe, {"--report", "curve", folder.file("curve.txt")});
        QVERIFY(report.waitForFinished(30000));
        QCOMPARE(report.exitCode(), 2);
        QVERIFY(QString::fromLocal8Bit(report.readAllStandardError()).contains("is not a curve file"));
    }
};

QTEST_GUILESS_MAIN(TestPowerCurveEndToEnd)
#include "tst_powercurve.moc"
