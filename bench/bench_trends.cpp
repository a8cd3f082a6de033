// SPDX-License-Identifier: GPL-3.0-or-later
// Trends timings: importing a year of daily logs at a 60 s interval (525,600
// records) into an empty archive; the Trends page opened on that year and
// painted; a zoom or pan step repainted; and all of ten years painted (the
// nine years before the last hold a minute an hour, as far as the page is
// concerned the same: a range that long is read from the day rows only).
// Prints one line per measure: "<name>  median_<unit>=<value>".

#include "archive/ArchiveDb.h"
#include "archive/LogImporter.h"
#include "history/TrendsChart.h"
#include "history/TrendsPage.h"
#include "support/Fakes.h"

#include "Median.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// 2025-12-01, the first day of the year of logs; the clock stands a year later.
const core::CivilDate kFirst{2025, 12, 1};

// A day's log: a record a minute with the wind and power of a windy day.
QByteArray dayLog(int day)
{
    QByteArray log;
    log.reserve(1440 * 80);
    char line[160];
    for (int m = 0; m < 1440; ++m) {
        const int i = day * 1440 + m;
        const double wind = std::max(0.0, 4 + 3 * std::sin(i / 97.0) + 0.5 * std::sin(i / 7.0));
        const double amps = wind * wind * 0.35;
        const double volts = 13.2 + 0.4 * std::sin(i / 900.0);
        std::snprintf(line, sizeof line, "<V>%.2f</V><I>%.2f</I><W>%.2f</W><R>%d</R><S>%.1f</S><M>%d</M><T>%d:%02d</T>\r\n",
                      volts, amps, volts * amps, int(wind * 60), wind / 0.44704, m > 1100 ? 1 : 0, m / 60, m % 60);
        log += line;
    }
    return log;
}

std::vector<archive::LogImporter::Job> writeLogs(const QString &folder)
{
    QDir(folder).mkpath(QStringLiteral("logs"));
    std::vector<archive::LogImporter::Job> jobs;
    const long first = core::daysFromCivil(kFirst);
    for (int d = 0; d < 365; ++d) {
        const core::CivilDate date = core::civilFromDays(first + d);
        const QString path = QStringLiteral("%1/logs/%2_%3_%4.txt").arg(folder).arg(date.year).arg(date.month).arg(date.day);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(dayLog(d)) < 0)
            std::exit(2);
        jobs.push_back({date, path});
    }
    return jobs;
}

// Construction to painted page, in ms.
double openAndPaint(testsupport::FakeServices &fake, history::TrendsPage::Range range)
{
    QElapsedTimer t;
    t.start();
    history::TrendsPage page(fake.services());
    page.resize(1400, 800);
    page.show();
    page.showRange(range);
    const QPixmap shot = page.chart->grab();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    return shot.isNull() ? -1 : ms;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("TZ", "UTC");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const std::vector<archive::LogImporter::Job> jobs = writeLogs(dir.path());

    // The import, three times into a new archive; the last one stays.
    std::vector<double> imports;
    for (int run = 0; run < 3; ++run) {
        QFile::remove(dir.filePath(QStringLiteral("archive.sqlite")));
        QFile::remove(dir.filePath(QStringLiteral("archive.sqlite-wal")));
        QFile::remove(dir.filePath(QStringLiteral("archive.sqlite-shm")));
        QElapsedTimer t;
        t.start();
        const auto out = archive::LogImporter::run(dir.filePath(QStringLiteral("archive.sqlite")), jobs, "mph",
                                                   archive::localZone(), nullptr);
        imports.push_back(double(t.nsecsElapsed()) / 1e9);
        if (out.added != 365LL * 1440 || !out.failure.isEmpty()) {
            std::fprintf(stderr, "imported %lld minutes: %s\n", out.added, qPrintable(out.failure));
            return 1;
        }
    }
    std::printf("trends_import_year_logs  median_s=%.2f\n", median(imports));

    testsupport::FakeServices fake(dir.path());
    fake.clock.set(QDateTime(QDate(2026, 12, 1), QTime(0, 0), Qt::UTC));
    std::vector<double> opens;
    for (int run = 0; run < 7; ++run)
        opens.push_back(openAndPaint(fake, history::TrendsPage::Range::Year));
    std::printf("trends_open_year_of_minutes  median_ms=%.1f\n", median(opens));

    {
        history::TrendsPage page(fake.services());
        page.resize(1400, 800);
        page.show();
        page.showRange(history::TrendsPage::Range::Year);
        page.chart->grab();
        std::vector<double> steps;
        const int columns = page.data().columns;
        for (int i = 0; i < 60; ++i) {
            QElapsedTimer t;
            t.start();
            switch (i % 6) {
            case 0: page.zoom(1 / 1.5, columns / 3); break;
            case 1:
            case 2: page.pan(-columns / 10.0); break;
            case 3: page.zoom(1.25, columns / 2); break;
            case 4: page.pan(columns / 7.0); break;
            case 5: page.zoom(i % 12 == 5 ? 1 / 1.25 : 1.5, columns / 2); break;
            }
            page.chart->grab();
            steps.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        std::printf("trends_zoom_pan_step  median_ms=%.2f\n", median(steps));
    }

    // Nine years before the year of minutes: a minute an hour.
    {
        archive::ArchiveDb db;
        if (!db.open(dir.filePath(QStringLiteral("archive.sqlite")), false))
            return 1;
        const std::int64_t start = std::int64_t(core::daysFromCivil(kFirst)) * 86400;
        std::vector<core::ArchiveRow> rows;
        for (std::int64_t t = start - std::int64_t(9) * 365 * 86400; t < start; t += 3600) {
            core::ArchiveRow r;
            r.t = t;
            r.minutes = r.imported = 1;
            r.volts.add(12.8 + 0.3 * std::sin(double(t) / 4e5));
            r.watts.add(40 + 30 * std::sin(double(t) / 3e5));
            r.wind.add(4);
            r.windUnit = "mph";
            r.energyWh = r.watts.max / 60;
            rows.push_back(r);
            if (rows.size() == 24 * 30) {
                db.addImported(rows);
                rows.clear();
            }
        }
        db.addImported(rows);
    }
    std::vector<double> alls;
    for (int run = 0; run < 7; ++run)
        alls.push_back(openAndPaint(fake, history::TrendsPage::Range::All));
    std::printf("trends_open_ten_years  median_ms=%.1f\n", median(alls));
    return 0;
}
