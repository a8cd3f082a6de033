// SPDX-License-Identifier: GPL-3.0-or-later
// Graph window timings on a day of 9,999 matching records: "Display" (read,
// split, parse, filter, draw, list fill) and one check-box redraw.
// Prints one line per measure: "<name>  median_ms=<value>".

#include "graph/Graph.h"
#include "support/Fakes.h"

#include "Median.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// 9,999 records between 00:01 and 23:58 that move like a day's log: slow
// swings with some noise on every value, and the load switching on and off.
QByteArray dayLog()
{
    QByteArray text;
    unsigned noise = 12345;
    auto jitter = [&noise] {
        noise = noise * 1103515245u + 12345u;
        return double((noise >> 16) % 1000) / 1000.0 - 0.5;
    };
    for (int i = 0; i < 9999; ++i) {
        const int minute = 1 + i * 1437 / 9998;
        const double swing = std::sin(i / 700.0), wind = 0.5 + 0.5 * std::sin(i / 450.0);
        const double volts = 12.8 + 0.9 * swing + 0.05 * jitter();
        const double amps = 6 * wind - 1.5 + 0.4 * jitter();
        char line[200];
        std::snprintf(line, sizeof line,
                      "<V>%.2f</V><I>%.2f</I><W>%.2f</W><R>%.0f</R><S>%.1f</S><M>%d</M><T>%02d:%02d</T>\r\n",
                      volts, amps, volts * amps, 40 + 500 * wind + 20 * jitter(), 3 + 15 * wind + 1.5 * jitter(),
                      (i / 300) % 2, minute / 60, minute % 60);
        text += line;
    }
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("logs"));
    {
        QFile f(dir.filePath(QStringLiteral("logs/2026_3_7.txt")));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(dayLog());
    }
    testsupport::FakeServices fakes(dir.path());
    const ui::Services services = fakes.services();
    const QStringList &messages = fakes.messages.texts;

    const int reps = argc > 1 ? std::max(3, atoi(argv[1])) : 15;
    std::vector<double> display, redraw;
    QElapsedTimer timer;
    // A new window for every load, as each opening of the window starts empty.
    for (int i = 0; i < reps; ++i) {
        graph::Graph window(services);
        window.show();
        QCoreApplication::processEvents();
        timer.start();
        window.Command1_Click();
        display.push_back(timer.nsecsElapsed() / 1e6);
        if (window.graphCount() != 9999 || !messages.isEmpty()) {
            std::fprintf(stderr, "unexpected load: %d records, %lld messages\n", window.graphCount(),
                         static_cast<long long>(messages.size()));
            return 1;
        }
        QCoreApplication::processEvents();
    }
    graph::Graph window(services);
    window.show();
    window.Command1_Click();
    QCoreApplication::processEvents();
    for (int i = 0; i < reps; ++i) {
        timer.start();
        window.Check4->setChecked(!window.Check4->isChecked());
        redraw.push_back(timer.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
    }
    std::printf("graph_display_9999  median_ms=%.1f\n", median(display));
    std::printf("graph_check_redraw_9999  median_ms=%.1f\n", median(redraw));
    return 0;
}
