// SPDX-License-Identifier: GPL-3.0-or-later
// History timings: opening the window on ten years of energy.csv (3,650
// lines) until it is painted, and estimating a day from a full daily log
// (8,640 records, one every 10 s).
// Prints one line per measure: "<name>  median_ms=<value>".
// With "--show <png> [--year] [--quit]" it opens the window on the same data
// instead, for a look (or a screenshot) on a real display, and saves a grab.

#include "core/EnergyHistory.h"
#include "history/EnergyChart.h"
#include "history/EnergyPage.h"
#include "history/History.h"
#include "support/Fakes.h"

#include "Median.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Ten years of days up to the fake clock's 2026-03-07, windier in winter.
QByteArray tenYears()
{
    std::string text(core::energyCsvHeader());
    text += "\r\n";
    const long last = core::daysFromCivil({2026, 3, 7});
    unsigned noise = 12345;
    for (long day = last - 3649; day <= last; ++day) {
        noise = noise * 1103515245u + 12345u;
        core::DayRecord d;
        d.date = core::civilFromDays(day);
        const double season = 0.6 + 0.4 * std::cos((d.date.month - 1) / 12.0 * 2 * M_PI);
        d.energyWh = std::round(season * double((noise >> 16) % 4000) + 200);
        // Kept from 3 March 2026 on; the days before estimated from their logs.
        d.estimated = day < last - 4;
        d.peakWatts = d.energyWh / 8;
        d.peakWind = 9.5;
        d.windUnit = "mph";
        d.peakRpm = 480;
        d.minVolts = 12.2;
        d.maxVolts = 14.1;
        d.loadOnSeconds = 3600;
        text += core::dayLine(d) + "\r\n";
    }
    return QByteArray::fromStdString(text);
}

// A day logged every 10 s: 8,640 records.
std::string fullDayLog()
{
    std::string text;
    for (int i = 0; i < 8640; ++i) {
        const int seconds = 10 + i * 10 - (i == 8639 ? 1 : 0), minute = seconds / 60;
        const double wind = 0.5 + 0.5 * std::sin(i / 450.0);
        char line[200];
        std::snprintf(line, sizeof line,
                      "<V>%.2f</V><I>%.2f</I><W>%.2f</W><R>%.0f</R><S>%.1f</S><M>%d</M><T>%02d:%02d</T>\r\n",
                      12.8 + wind, 6 * wind, (12.8 + wind) * 6 * wind, 40 + 500 * wind, 3 + 15 * wind,
                      (i / 300) % 2, minute / 60 % 24, minute % 60);
        text += line;
    }
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    const bool show = argc > 2 && std::strcmp(argv[1], "--show") == 0;
    if (!show && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("logs"));
    {
        QFile f(dir.filePath(QStringLiteral("logs/energy.csv")));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(tenYears());
    }
    testsupport::FakeServices fakes(dir.path());
    const ui::Services services = fakes.services();

    if (show) {
        history::History window(services);
        window.setToday(1850);
        if (argc > 3 && std::strcmp(argv[3], "--year") == 0)
            window.energyPage()->setYearView(true);
        window.show();
        const QString png = QString::fromLocal8Bit(argv[2]);
        QTimer::singleShot(800, &window, [&] {
            // The pointer over the second bar, for its read-out.
            auto *chart = window.energyPage()->chart;
            const QPoint at = chart->barColumn(1).center() + QPoint(0, chart->barColumn(1).height() / 3);
            QMouseEvent move(QEvent::MouseMove, at, chart->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(chart, &move);
            window.repaint();
            window.grab().save(png);
            if (std::strcmp(argv[argc - 1], "--quit") == 0)
                app.quit();
        });
        return app.exec();
    }

    const int reps = argc > 1 ? std::max(3, atoi(argv[1])) : 15;
    std::vector<double> open, estimate;
    QElapsedTimer timer;
    for (int i = 0; i < reps; ++i) {
        timer.start();
        history::History window(services);
        window.show();
        QCoreApplication::processEvents();
        // Painted for certain, whatever the platform did with the show.
        window.repaint();
        open.push_back(timer.nsecsElapsed() / 1e6);
        if (window.energyPage()->year().daysRecorded != 66) {
            std::fprintf(stderr, "unexpected load: %d days this year\n", window.energyPage()->year().daysRecorded);
            return 1;
        }
    }
    const std::string log = fullDayLog();
    for (int i = 0; i < reps; ++i) {
        timer.start();
        const auto day = core::estimateDay(log, {2026, 3, 6}, "mph");
        estimate.push_back(timer.nsecsElapsed() / 1e6);
        if (!day || std::abs(day->loadOnSeconds - 42000) > 600) {
            std::fprintf(stderr, "unexpected estimate: %.0f s load on\n", day ? day->loadOnSeconds : -1.0);
            return 1;
        }
    }
    std::printf("history_open_3650_days  median_ms=%.1f\n", median(open));
    std::printf("history_estimate_day_8640  median_ms=%.2f\n", median(estimate));
    return 0;
}
