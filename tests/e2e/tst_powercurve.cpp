// SPDX-License-Identifier: GPL-3.0-or-later
// The power curve end to end: the built program on a virtual X display, fed
// at the full line rate by the simulated unit's deterministic curve mode, and
// the curve it writes to powercurve.csv compared with the simulator's table.
#include "core/PowerCurve.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QtTest>

#include <algorithm>

namespace {

// Wind in mph (the delivered unit), watts, RPM. No power below 8 mph, so the
// frames sent before the program has opened its port change nothing.
const char kTable[] = "# mph  watts  rpm\n"
                      "0      0      0\n"
                      "8      0      0\n"
                      "10     40     180\n"
                      "12     110    240\n"
                      "14     210    290\n"
                      "16     340    330\n"
                      "18     480    360\n"
                      "20     560    375\n";
const double kTableMph[] = {0, 8, 10, 12, 14, 16, 18, 20};
const double kTableWatts[] = {0, 0, 40, 110, 210, 340, 480, 560};
const double kTableRPM[] = {0, 0, 180, 240, 290, 330, 360, 375};

double interpolate(const double *values, double mph)
{
    for (int i = 1; i < 8; ++i)
        if (mph <= kTableMph[i])
            return values[i - 1]
                   + (mph - kTableMph[i - 1]) / (kTableMph[i] - kTableMph[i - 1]) * (values[i] - values[i - 1]);
    return values[7];
}

} // namespace

class TestPowerCurveEndToEnd : public QObject {
    Q_OBJECT
    QProcess m_xvfb;
    QString m_display;

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty())
            QSKIP("Xvfb is needed (scripts/install-deps installs it)");
        m_xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x900x24", "-nolisten", "tcp", "-noreset"});
        QVERIFY(m_xvfb.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(m_xvfb.canReadLine(), 10000);
        m_display = ":" + QString::fromLatin1(m_xvfb.readLine()).trimmed();
        QTRY_VERIFY_WITH_TIMEOUT(QProcess::execute("xdpyinfo", {"-display", m_display}) == 0, 10000);
    }

    void cleanupTestCase()
    {
        if (m_xvfb.state() != QProcess::NotRunning) {
            m_xvfb.terminate();
            m_xvfb.waitForFinished(3000);
        }
    }

    // The simulator steps the wind by 0.1 mph a frame from 0 to 20 mph and
    // back (400 frames a sweep, about a minute at the full rate). The program
    // writes its curve a minute after it started. However many frames of a
    // sweep a bin has seen, its mean lies between the least and the greatest
    // of the table's values over the speeds of that bin, give or take 0.1 W
    // (the simulator sends amps to the hundredth) and 0.1 RPM; every bin the
    // sweep passes has frames, no other has any.
    void measuredBinsFollowTheTable()
    {
        testsupport::ProgramFolder folder;
        folder.write("curve.txt", kTable);
        QProcess unit;
        unit.setProcessChannelMode(QProcess::ForwardedChannels);
        unit.start(qEnvironmentVariable("VELDRA_BIN") + "/../tools/veldra-simunit",
                   {"--folder", folder.path(), "--port", "1", "--curve", folder.file("curve.txt"), "--rate", "max",
                    "--sweep", "400", "--quiet"});
        QVERIFY(unit.waitForStarted());
        auto stopUnit = qScopeGuard([&unit] {
            unit.terminate();
            unit.waitForFinished(3000);
        });
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder.file("COM1")).isSymLink(), 10000);

        QProcess program;
        const QString exe = testsupport::installProgram(folder.path(), "crestdial", testsupport::progCfg("1"),
                                                        m_display, program);
        QVERIFY(!exe.isEmpty());
        program.start(exe, {});
        QVERIFY(program.waitForStarted());
        auto stopProgram = qScopeGuard([&program] {
            program.kill();
            program.waitForFinished(3000);
        });

        std::optional<core::PowerCurve> curve;
        QTRY_VERIFY_WITH_TIMEOUT((curve = core::readPowerCurve(folder.read("powercurve.csv").toStdString()))
                                     && curve->frames() >= 200,
                                 180000);
        QCOMPARE(program.state(), QProcess::Running);
        QCOMPARE(QString::fromStdString(curve->unit()), QString("m/s"));
        qInfo("%llu frames in the curve, %.3f hours", static_cast<unsigned long long>(curve->frames()),
              curve->hoursOfData());

        for (int k = 0; k < core::PowerCurve::kBins; ++k) {
            const core::PowerCurveBin &b = curve->bins()[size_t(k)];
            double lowW = 1e9, highW = -1e9, lowR = 1e9, highR = -1e9;
            for (int tenths = 0; tenths <= 200; ++tenths) {
                const double mph = tenths / 10.0;
                if (core::PowerCurve::binOf(mph * 0.44704) != k)
                    continue;
                lowW = std::min(lowW, interpolate(kTableWatts, mph));
                highW = std::max(highW, interpolate(kTableWatts, mph));
                lowR = std::min(lowR, interpolate(kTableRPM, mph));
                highR = std::max(highR, interpolate(kTableRPM, mph));
            }
            const QString where =
                QString("bin %1 (%2 m/s): %3 frames, %4 W, %5 RPM; the table gives %6..%7 W, %8..%9 RPM")
                    .arg(k)
                    .arg(core::PowerCurve::centre(k))
                    .arg(qulonglong(b.frames))
                    .arg(b.meanWatts())
                    .arg(b.meanRPM().value_or(-1))
                    .arg(lowW)
                    .arg(highW)
                    .arg(lowR)
                    .arg(highR);
            if (lowW > highW) {
                QVERIFY2(b.frames == 0, qPrintable(where));
                continue;
            }
            QVERIFY2(b.frames > 0, qPrintable(where));
            QVERIFY2(b.meanWatts() >= lowW - 0.1 && b.meanWatts() <= highW + 0.1, qPrintable(where));
            QVERIFY2(b.meanRPM() && *b.meanRPM() >= lowR - 0.1 && *b.meanRPM() <= highR + 0.1, qPrintable(where));
        }
    }
};

QTEST_MAIN(TestPowerCurveEndToEnd)
#include "tst_powercurve.moc"
