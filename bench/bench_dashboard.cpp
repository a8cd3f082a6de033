// SPDX-License-Identifier: GPL-3.0-or-later
// The dashboard's first paint: the built crestdial with its web server on,
// fed by the simulated unit, loaded cold (no cache) 9 times by headless
// Chromium at phone size over 127.0.0.1, measured through the DevTools
// protocol (the first contentful paint, from the start of the navigation).
#include "web/WebSettingsFile.h"
#include "support/Broker.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

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

    const QJsonArray steps{QJsonObject{{"paint", QString("http://127.0.0.1:%1/").arg(port)}, {"runs", 9},
                                       {"width", 390}, {"height", 844}}};
    QProcess driver;
    driver.start("python3", {VELDRA_SOURCE_DIR "/tests/support/cdp.py",
                             QString::fromUtf8(QJsonDocument(steps).toJson(QJsonDocument::Compact))});
    driver.waitForFinished(180000);
    const QJsonObject out = QJsonDocument::fromJson(driver.readAllStandardOutput()).object();
    program.terminate();
    unit.terminate();
    program.waitForFinished(10000);
    unit.waitForFinished(5000);

    std::vector<double> ms;
    for (const auto &v : out["results"].toArray()[0].toObject()["paint"].toArray())
        if (v.isDouble())
            ms.push_back(v.toDouble());
    if (ms.size() != 9 || !out["failed"].isNull()) {
        std::fprintf(stderr, "the browser did not paint: %s\n", QJsonDocument(out).toJson().constData());
        return 1;
    }
    std::sort(ms.begin(), ms.end());
    std::fprintf(stderr, "first paints (ms):");
    for (const double m : ms)
        std::fprintf(stderr, " %.0f", m);
    std::fprintf(stderr, "\n");
    std::printf("web_dashboard_first_paint  median_ms=%.0f\n", ms[ms.size() / 2]);
    return 0;
}
