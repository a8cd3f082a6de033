// SPDX-License-Identifier: GPL-3.0-or-later
// The Trends page on a scripted archive (real SQLite): what it draws, read as
// data, for each range; its keys; the read-out; the export; and the import of
// the daily logs, run twice.
#include "history/History.h"
#include "history/TrendsChart.h"
#include "history/TrendsPage.h"

#include "archive/ArchiveDb.h"
#include "core/Number.h"
#include "support/TestSupport.h"

#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

using history::TrendsPage;

namespace {

// The fake clock's now, 2026-03-07 14:05:09 UTC (the tests run in UTC).
const std::int64_t kNow = 1772892309;
// 2026-03-06 00:00 UTC.
const std::int64_t kMar6 = 1772755200;

core::ArchiveRow minute(std::int64_t t, double volts, bool imported)
{
    core::ArchiveRow r;
    r.t = t;
    r.minutes = 1;
    r.imported = imported;
    r.frames = imported ? 0 : 60;
    r.volts.add(volts);
    r.watts.add(volts * 10);
    r.energyWh = volts / 6;
    return r;
}

// Measured minutes from 16:00 to 20:00 yesterday (a peak of 14.5 V at
// 18:00), none until 22:00, then an hour imported from a daily log.
void scriptArchive(const QString &folder)
{
    archive::ArchiveDb db;
    QVERIFY(db.open(folder + "/archive.sqlite", false));
    for (int m = 16 * 60; m < 20 * 60; ++m)
        QVERIFY(db.write(minute(kMar6 + m * 60, m == 18 * 60 ? 14.5 : 12.5, false)));
    std::vector<core::ArchiveRow> imported;
    for (int m = 22 * 60; m < 23 * 60; ++m)
        imported.push_back(minute(kMar6 + m * 60, 13, true));
    QCOMPARE(db.addImported(imported), 60LL);
}

QString runsOf(const core::TrendPicture &pic)
{
    QStringList out;
    for (const core::TrendLane &lane : pic.lanes)
        if (lane.series == core::TrendSeries::Volts)
            for (const core::TrendRun &r : lane.runs)
                out << (r.imported ? "imported" : "measured");
    return out.join(QLatin1Char(' '));
}

struct Window {
    testsupport::ProgramFolder folder;
    std::unique_ptr<testsupport::FakeServices> fakes;
    std::unique_ptr<history::History> window;
    TrendsPage *page = nullptr;
    explicit Window(bool script = true)
    {
        if (script)
            scriptArchive(folder.path());
        fakes = std::make_unique<testsupport::FakeServices>(folder.path());
        fakes->clock.msPerRead = 0;
        window = std::make_unique<history::History>(fakes->services());
        window->resize(1100, 640);
        window->show();
        page = window->trendsPage();
        window->tabs()->setCurrentWidget(page);
    }
};

} // namespace

class TestTrendsPage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        core::setDecimalSeparator('.');
    }

    void ranges_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("table");
        QTest::addColumn<bool>("perDay");
        QTest::addColumn<QString>("runs"); // of the battery line: a gap between, the imported hour apart
        QTest::newRow("day: minutes, energy per hour")
            << "dayButton" << int(core::TrendTable::Minute) << false << "measured imported";
        QTest::newRow("week: minutes") << "weekButton" << int(core::TrendTable::Minute) << false
                                       << "measured imported";
        QTest::newRow("month: hours, energy per day") << "monthButton" << int(core::TrendTable::Hour) << true
                                                      << "measured imported";
        QTest::newRow("year: hours") << "yearButton" << int(core::TrendTable::Hour) << true << "measured imported";
    }
    void ranges()
    {
        QFETCH(QString, button);
        QFETCH(int, table);
        QFETCH(bool, perDay);
        QFETCH(QString, runs);
        Window w;
        QTest::mouseClick(w.page->findChild<QPushButton *>(button), Qt::LeftButton);
        const core::TrendData &d = w.page->data();
        QCOMPARE(int(d.table), table);
        QCOMPARE(d.barsPerDay, perDay);
        QCOMPARE(d.columns, w.page->chart->columns());
        QVERIFY(d.to >= kNow && d.to - kNow <= 60);
        QCOMPARE(runsOf(w.page->picture()), runs);
        // The peak of one minute survives however many rows a column holds.
        double highest = 0;
        for (const core::TrendColumn &c : d.quantities[0])
            highest = std::max(highest, c.has ? c.high : 0);
        QCOMPARE(highest, 14.5);
        double wh = 0;
        for (const core::TrendBar &b : d.bars)
            wh += b.wattHours;
        QVERIFY(qAbs(wh - (239 * 12.5 + 14.5 + 60 * 13) / 6) < 1e-6);
        QVERIFY(!w.page->picture().empty);
    }

    void keys_data()
    {
        QTest::addColumn<QString>("keys"); // < > + - H
        QTest::addColumn<double>("shift"); // of the start, in days
        QTest::addColumn<double>("span");  // days
        QTest::newRow("opens on the week") << "" << 0.0 << 7.0;
        QTest::newRow("left: a tenth back") << "<" << -0.7 << 7.0;
        QTest::newRow("right after left") << "<>" << 0.0 << 7.0;
        QTest::newRow("plus: zoomed in around the middle") << "+" << 7.0 / 6 << 7.0 / 1.5;
        QTest::newRow("minus after plus") << "+-" << 0.0 << 7.0;
        QTest::newRow("home: the whole week again") << "++<<H" << 0.0 << 7.0;
    }
    void keys()
    {
        QFETCH(QString, keys);
        QFETCH(double, shift);
        QFETCH(double, span);
        Window w;
        const std::int64_t from = w.page->data().from;
        // The keys reach the page from a button that has the focus.
        QWidget *target = w.page->yearButton;
        for (const QChar k : keys)
            QTest::keyClick(target, k == '<'   ? Qt::Key_Left
                                    : k == '>' ? Qt::Key_Right
                                    : k == '+' ? Qt::Key_Plus
                                    : k == '-' ? Qt::Key_Minus
                                               : Qt::Key_Home);
        const core::TrendData &d = w.page->data();
        QVERIFY2(qAbs(double(d.from - from) / 86400 - shift) < 0.01, qPrintable(QString::number(d.from - from)));
        QVERIFY(qAbs(double(d.to - d.from) / 86400 - span) < 0.01);
        QCOMPARE(w.page->range(), TrendsPage::Range::Week);
        QVERIFY(w.window->isVisible());
        QTest::keyClick(target, Qt::Key_Escape);
        QVERIFY(!w.window->isVisible());
    }

    void readout_data()
    {
        QTest::addColumn<qint64>("at");
        QTest::addColumn<QString>("says");
        QTest::newRow("the peak") << qint64(kMar6 + 18 * 3600) << "Fri 6 Mar 2026 18:";
        QTest::newRow("measured values") << qint64(kMar6 + 18 * 3600) << "to 14.5 V";
        QTest::newRow("imported: told") << qint64(kMar6 + 22 * 3600 + 1800) << "from the daily logs";
        QTest::newRow("the gap") << qint64(kMar6 + 21 * 3600) << "no data";
    }
    void readout()
    {
        QFETCH(qint64, at);
        QFETCH(QString, says);
        Window w;
        QTest::mouseClick(w.page->dayButton, Qt::LeftButton);
        const int column = w.page->data().columnOf(at);
        QVERIFY(column >= 0);
        // From outside the plot first: a move to where the last row left the pointer is no move.
        QTest::mouseMove(w.page->chart, QPoint(2, 2));
        QTest::mouseMove(w.page->chart, QPoint(core::kTrendLeft + column, w.page->chart->height() / 2));
        QTRY_COMPARE(w.page->chart->hoveredColumn(), column);
        QVERIFY2(w.page->readout().contains(says), qPrintable(w.page->readout()));
    }

    void exportShown()
    {
        Window w;
        QTest::mouseClick(w.page->dayButton, Qt::LeftButton);
        w.fakes->files.answer = w.folder.file("out.csv");
        QTest::mouseClick(w.page->exportButton, Qt::LeftButton);
        const QList<QByteArray> lines = w.folder.read("out.csv").split('\n');
        // The header, 300 minutes and the end of the last line.
        QCOMPARE(lines.size(), 302);
        QVERIFY(lines[0].startsWith("time,minutes,imported"));
        QVERIFY(lines[1].startsWith("2026-03-06T16:00:00+00:00,1,0,"));
        QVERIFY(lines[300].startsWith("2026-03-06T22:59:00+00:00,1,1,"));
        QVERIFY(w.fakes->messages.texts.isEmpty());
    }

    void importDailyLogs()
    {
        Window w(false);
        // The day before yesterday: 08:01 to 09:00 at 60 s, with a measured
        // minute at 08:30 already in the archive; today's log is the running
        // program's and stays out.
        QByteArray log;
        for (int m = 1; m <= 60; ++m)
            log += QStringLiteral("<V>13.1</V><I>7</I><W>90</W><R>300</R><S>5</S><M>0</M><T>%1:%2</T>\r\n")
                       .arg(8 + m / 60)
                       .arg(m % 60, 2, 10, QLatin1Char('0'))
                       .toLatin1();
        w.folder.write("logs/2026_3_5.txt", log);
        w.folder.write("logs/2026_3_7.txt", log);
        {
            archive::ArchiveDb db;
            QVERIFY(db.open(w.folder.file("archive.sqlite"), false));
            QVERIFY(db.write(minute(kMar6 - 86400 + 8 * 3600 + 30 * 60, 12, false)));
        }
        QSignalSpy finished(w.page, &TrendsPage::importFinished);
        w.page->Import_Click();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
        QCOMPARE(finished[0][0].toLongLong(), 59LL);
        QCOMPARE(w.page->statusLabel->text(), QStringLiteral("Imported 59 minutes from 1 daily log."));
        w.page->Import_Click();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 30000);
        QCOMPARE(finished[1][0].toLongLong(), 0LL);
        QVERIFY(w.page->statusLabel->text().startsWith("No minute was added"));

        archive::ArchiveDb db;
        QVERIFY(db.open(w.folder.file("archive.sqlite"), true));
        const auto rows = db.rows(archive::Step::Minute, kMar6 - 86400, kMar6 + 2 * 86400);
        QCOMPARE(rows.size(), size_t(60));
        for (const core::ArchiveRow &r : rows)
            QCOMPARE(r.imported, r.t == kMar6 - 86400 + 8 * 3600 + 30 * 60 ? 0LL : 1LL);
        // The page shows what came in, as imported: one measured minute
        // among them never makes a column half measured.
        QTest::mouseClick(w.page->weekButton, Qt::LeftButton);
        QCOMPARE(runsOf(w.page->picture()), QStringLiteral("imported"));
    }
};

QTEST_MAIN(TestTrendsPage)
#include "tst_trends.moc"
