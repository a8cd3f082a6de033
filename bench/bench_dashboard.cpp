// SPDX-License-Identifier: GPL-3.0-or-later
// Every page's first paint: the built crestdial with its web server on, fed
// by the simulated unit, on a folder with a year of archived minutes and a
// certified curve, each page loaded cold (no cache) 9 times by headless
// Chromium at phone size over 127.0.0.1, measured through the DevTools
// protocol (the first contentful paint, from the start of the navigation).
// Prints one line per page: "web_<page>_first_paint  median_ms=<value>".
#include "archive/ArchiveDb.h"
#include "archive/ArchiveWriter.h"
#include "web/WebSettingsFile.h"
#include "support/Broker.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {
constexpr int kYear = 365 * 24 * 60;

// The year up to the last minute, winds of many values.
core::ArchiveRow minuteAt(std::int64_t start, int i)
{
    core::ArchiveRow r;
    r.t = start + std::int64_t(i) * 60;
    r.utcOffset = 0;
    r.minutes = 1;
    const double wind = std::max(0.0, 4.5 + 3 * std::sin(i / 97.0) + 1.5 * std::sin(i / 7.0) + std::sin(i / 3001.0));
    const double watts = wind > 3 ? 30 * (wind - 3) * (wind - 3) : 0;
    r.frames = 30;
    r.volts = {30, 30 * 13.2, 13.2, 13.2};
    r.watts = {30, 30 * watts, watts, watts};
    r.wind = {30, 30 * wind, wind, wind * 1.2};
    r.windUnit = "mph";
    r.energyWh = watts / 60;
    return r;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("VELDRA_BIN"))
        qputenv("VELDRA_BIN", QDir(app.applicationDirPath() + "/../bin").absolutePath().toLocal8Bit());
    testsupport::ProgramFolder folder;
    const int port = testsupport::freePort();
    core::WebSettings s;
    s.on = true;
    s.port = std::to_string(port);
    web::writeWebSettingsFile(folder.file("web.cfg"), s);
    folder.write("turbine.cfg", "<RotorDiameter>2.2</RotorDiameter>\r\n");
    folder.write("certified-curve.csv", "wind_m_s,power_w\r\n3,0\r\n6,100\r\n9,400\r\n12,900\r\n20,1000\r\n");
    {
        archive::ArchiveWriter writer(folder.file(archive::ArchiveDb::fileName()), core::TurbineSettings(), {});
        writer.start();
        const std::int64_t start = (QDateTime::currentSecsSinceEpoch() / 60 - kYear) * 60;
        for (int i = 0; i < kYear; ++i)
            writer.write(minuteAt(start, i));
        writer.finish();
    }

    QProcess unit, program;
    unit.start(qEnvironmentVariable("VELDRA_BIN") + "/../tools/veldra-simunit",
               {"--folder", folder.path(), "--port", "1", "--rate", "4", "--quiet"});
    const QString exe =
        testsupport::installProgram(folder.path(), "crestdial", testsupport::progCfg("1"), QString(), program);
    QProcessEnvironment env = program.processEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(exe, {});
    int waited = 0;
    while (!testsupport::listening(port) && waited++ < 600)
        QThread::msleep(100);
    if (!testsupport::listening(port)) {
        std::fprintf(stderr, "the program's web server did not start\n");
        return 1;
    }

    const QStringList pages{"", "trends", "energy", "power-curve", "wind", "availability", "alarms"};
    QJsonArray steps;
    for (const QString &page : pages)
        steps << QJsonObject{{"paint", QString("http://127.0.0.1:%1/%2").arg(port).arg(page)}, {"runs", 9},
                             {"width", 390}, {"height", 844}};
    QProcess driver;
    driver.start("python3", {VELDRA_SOURCE_DIR "/tests/support/cdp.py",
                             QString::fromUtf8(QJsonDocument(steps).toJson(QJsonDocument::Compact))});
    driver.waitForFinished(600000);
    const QJsonObject out = QJsonDocument::fromJson(driver.readAllStandardOutput()).object();
    program.terminate();
    unit.terminate();
    program.waitForFinished(10000);
    unit.waitForFinished(5000);

    if (!out["failed"].isNull()) {
        std::fprintf(stderr, "the browser did not paint: %s\n", QJsonDocument(out).toJson().constData());
        return 1;
    }
    for (int p = 0; p < pages.size(); ++p) {
        std::vector<double> ms;
        for (const auto &v : out["results"].toArray()[p].toObject()["paint"].toArray())
            if (v.isDouble())
                ms.push_back(v.toDouble());
        const QByteArray name = pages[p].isEmpty() ? QByteArray("dashboard") : pages[p].toLatin1().replace('-', '_');
        if (ms.size() != 9) {
            std::fprintf(stderr, "the browser did not paint /%s\n", pages[p].toLatin1().constData());
            return 1;
        }
        std::sort(ms.begin(), ms.end());
        std::fprintf(stderr, "%s first paints (ms):", name.constData());
        for (const double m : ms)
            std::fprintf(stderr, " %.0f", m);
        std::fprintf(stderr, "\n");
        std::printf("web_%s_first_paint  median_ms=%.0f\n", name.constData(), ms[ms.size() / 2]);
    }
    return 0;
}
