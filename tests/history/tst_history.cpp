// SPDX-License-Identifier: GPL-3.0-or-later
// The History window on a known energy.csv: totals, estimated days, the keys,
// and the estimating of the days that only have a daily log.
#include "history/EnergyChart.h"
#include "history/EnergyPage.h"
#include "history/History.h"

#include "core/Number.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

using history::EnergyPage;

namespace {
// The fake clock stands at 2026-03-07 14:05:09.
const QByteArray kCsv = "date,energy_wh,estimated,peak_watts,peak_wind,wind_unit,peak_rpm,min_volts,max_volts,"
                        "load_on_minutes,no_data_minutes,frames_received,frames_rejected\r\n"
                        "2025-07-15,3000,0,900,20,mph,700,12.1,14.3,60,0,,\r\n"
                        "2026-02-27,1000,0,,,mph,,,,0,0,,\r\n"
                        "2026-03-01,2500,0,812.5,12.3,mph,540,12.1,14.2,200,0,17280,3\r\n"
                        "2026-03-02,4000,1,950,15,mph,600,12,14.4,0,0,,\r\n"
                        "2026-03-05,1500,0,,,mph,,,,0,0,,\r\n"
                        "2026-03-07,600,0,,,mph,,,,0,0,,\r\n";

QByteArray minuteLog(int records, double watts)
{
    QByteArray log;
    for (int i = 1; i <= records; ++i)
        log += QStringLiteral("<V>13</V><I>9</I><W>%1</W><R>300</R><S>6</S><M>0</M><T>%2:%3</T>\r\n")
                   .arg(watts)
                   .arg(8 + i / 60, 2, 10, QLatin1Char('0'))
                   .arg(i % 60, 2, 10, QLatin1Char('0'))
                   .toLatin1();
    return log;
}
} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { core::setDecimalSeparator('.'); }

    void navigation_data()
    {
        QTest::addColumn<QString>("keys"); // L R U D: the arrows
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("period");
        QTest::addColumn<double>("total");
        QTest::addColumn<double>("average");
        QTest::addColumn<QString>("best");
        QTest::newRow("opens on this month") << "" << "chart" << "March 2026" << 8600.0 << 2150.0
                                             << "Best day 2 Mar: 4 kWh";
        QTest::newRow("back a month") << "L" << "chart" << "February 2026" << 1000.0 << 1000.0
                                      << "Best day 27 Feb: 1 kWh";
        QTest::newRow("the keys work on a focused button")
            << "L" << "estimateButton" << "February 2026" << 1000.0 << 1000.0 << "Best day 27 Feb: 1 kWh";
        QTest::newRow("a month without days") << "LLLL" << "chart" << "November 2025" << 0.0 << 0.0
                                              << "Best day: none";
        QTest::newRow("not before the first day's month") << QString(20, 'L') << "chart" << "July 2025" << 3000.0
                                                          << 3000.0 << "Best day 15 Jul: 3 kWh";
        QTest::newRow("not after this month") << "RR" << "chart" << "March 2026" << 8600.0 << 2150.0
                                              << "Best day 2 Mar: 4 kWh";
        QTest::newRow("the year") << "U" << "viewButton" << "2026" << 9600.0 << 1920.0
                                  << "Best month March: 8.6 kWh";
        QTest::newRow("the year before") << "UL" << "chart" << "2025" << 3000.0 << 3000.0
                                         << "Best month July: 3 kWh";
        QTest::newRow("back to a month of that year") << "ULD" << "chart" << "July 2025" << 3000.0 << 3000.0
                                                      << "Best day 15 Jul: 3 kWh";
    }
    void navigation()
    {
        QFETCH(QString, keys);
        QFETCH(QString, target);
        testsupport::ProgramFolder folder;
        folder.write(QStringLiteral("logs/energy.csv"), kCsv);
        testsupport::FakeServices fakes(folder.path());
        history::History window(fakes.services());
        EnergyPage *page = window.energyPage();
        auto *to = window.findChild<QWidget *>(target);
        QVERIFY(to);
        for (const QChar k : keys)
            QTest::keyClick(to, k == 'L'   ? Qt::Key_Left
                                : k == 'R' ? Qt::Key_Right
                                : k == 'U' ? Qt::Key_Up
                                           : Qt::Key_Down);
        QTEST(page->periodLabel->text(), "period");
        const bool year = page->yearView();
        QFETCH(double, total);
        QFETCH(double, average);
        QCOMPARE(year ? page->year().total : page->month().total, total);
        QCOMPARE(year ? page->year().dailyAverage : page->month().dailyAverage, average);
        QTEST(page->bestLabel->text(), "best");
        QCOMPARE(int(page->chart->bars().size()), year ? 12 : page->month().days.size());
    }

    // A person's key goes to whatever has the focus: after a click on a
    // button (one that gives up the focus, too) the arrows still move the
    // energy page, and a page other than the energy page takes its own keys.
    void keysAfterAClick_data()
    {
        QTest::addColumn<QString>("click"); // an object name, or "tab N"
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("period");
        QTest::addColumn<int>("tab"); // the page shown after the key
        QTest::newRow("Year view") << "viewButton" << int(Qt::Key_Left) << "2025" << 0;
        QTest::newRow("Year view, then Down") << "viewButton" << int(Qt::Key_Down) << "March 2026" << 0;
        QTest::newRow("back button") << "previousButton" << int(Qt::Key_Left) << "January 2026" << 0;
        QTest::newRow("Estimate missing days") << "estimateButton" << int(Qt::Key_Left) << "February 2026" << 0;
        QTest::newRow("the Energy tab") << "tab 0" << int(Qt::Key_Left) << "February 2026" << 0;
        QTest::newRow("the other page keeps its keys") << "tab 1" << int(Qt::Key_Left) << "March 2026" << 1;
    }
    void keysAfterAClick()
    {
        QFETCH(QString, click);
        QFETCH(int, key);
        QFETCH(int, tab);
        testsupport::ProgramFolder folder;
        folder.write(QStringLiteral("logs/energy.csv"), kCsv);
        folder.write(QStringLiteral("logs/2026_3_6.txt"), minuteLog(5, 100));
        testsupport::FakeServices fakes(folder.path());
        history::History window(fakes.services());
        auto *other = new QWidget;
        auto *entry = new QLineEdit(QStringLiteral("text"), other);
        entry->setObjectName(QStringLiteral("entry"));
        window.addPage(other, QStringLiteral("Other"));
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        EnergyPage *page = window.energyPage();
        if (click.startsWith("tab ")) {
            QTabBar *bar = window.tabs()->tabBar();
            const int index = click.mid(4).toInt();
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
            if (index == 1)
                QTest::mouseClick(entry, Qt::LeftButton);
        } else {
            auto *b = window.findChild<QPushButton *>(click);
            QTest::mouseClick(b, Qt::LeftButton);
        }
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        QTest::keyClick(focus, Qt::Key(key));
        QTEST(page->periodLabel->text(), "period");
        QCOMPARE(window.tabs()->currentIndex(), tab);
        if (tab == 1)
            QCOMPARE(entry->cursorPosition(), 3); // the entry's own key moved its cursor
        QTRY_VERIFY_WITH_TIMEOUT(!page->estimating(), 20000);
    }

    void barsAndReadout()
    {
        testsupport::ProgramFolder folder;
        folder.write(QStringLiteral("logs/energy.csv"), kCsv);
        testsupport::FakeServices fakes(folder.path());
        history::History window(fakes.services());
        window.show();
        EnergyPage *page = window.energyPage();
        const auto &bars = page->chart->bars();
        // Estimated days stand apart from measured ones, and today is marked.
        QCOMPARE(bars[0].measured, 2500.0);
        QCOMPARE(bars[0].estimated, 0.0);
        QCOMPARE(bars[1].measured, 0.0);
        QCOMPARE(bars[1].estimated, 4000.0);
        QVERIFY(bars[6].today && !bars[5].today);

        auto hover = [&](int bar) {
            const QPoint at = page->chart->barColumn(bar).center();
            QMouseEvent move(QEvent::MouseMove, at, page->chart->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(page->chart, &move);
            return page->readout();
        };
        QCOMPARE(hover(0),
                 QStringLiteral("Sun 1 Mar 2026: 2.5 kWh, peak 812.5 W, wind up to 12.3 mph, up to 540 RPM, "
                                "battery 12.1 to 14.2 V, load on 3 h 20 min, 17280 frames, 3 rejected"));
        QVERIFY(hover(1).startsWith(QStringLiteral("Mon 2 Mar 2026: 4 kWh")));
        QVERIFY(hover(1).endsWith(QStringLiteral("(estimated from the daily log: an upper bound)")));
        QCOMPARE(hover(2), QStringLiteral("Tue 3 Mar 2026: no record"));

        // Today's bar grows with the main window's count, and with the file.
        window.setToday(900);
        QCOMPARE(bars[6].measured, 900.0);
        QCOMPARE(page->month().total, 8900.0);
        folder.write(QStringLiteral("logs/energy.csv"),
                     QByteArray(kCsv).replace("2026-03-07,600", "2026-03-07,1200"));
        page->reload();
        QCOMPARE(page->chart->bars()[6].measured, 1200.0);

        page->setYearView(true);
        QCOMPARE(page->chart->bars()[2].measured, 4600.0 + 600);
        QCOMPARE(page->chart->bars()[2].estimated, 4000.0);
        QCOMPARE(hover(2),
                 QStringLiteral("March 2026: 9.2 kWh on 4 days (1 estimated), best day 2 Mar with 4 kWh"));

        QTest::keyClick(page->chart, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }

    void addPage()
    {
        testsupport::ProgramFolder folder;
        testsupport::FakeServices fakes(folder.path());
        history::History window(fakes.services());
        window.addPage(new QWidget, QStringLiteral("Power curve"));
        QCOMPARE(window.tabs()->count(), 3);
        QCOMPARE(window.tabs()->tabText(0), QStringLiteral("Energy"));
        QCOMPARE(window.tabs()->tabText(1), QStringLiteral("Trends"));
        QCOMPARE(window.tabs()->tabText(2), QStringLiteral("Power curve"));
        // No file yet: an empty month, no message.
        QCOMPARE(window.energyPage()->month().daysRecorded, 0);
        QVERIFY(fakes.messages.texts.isEmpty());
    }

    void estimateMissingDays()
    {
        testsupport::ProgramFolder folder;
        folder.write(QStringLiteral("logs/energy.csv"), kCsv);
        // Days that have a line keep it, measured or estimated.
        for (const char *held : {"logs/2026_3_1.txt", "logs/2026_3_2.txt", "logs/2026_2_27.txt"})
            folder.write(QLatin1String(held), minuteLog(60, 999));
        folder.write(QStringLiteral("logs/2026_3_3.txt"), minuteLog(60, 120)); // an hour at 120 W
        folder.write(QStringLiteral("logs/2026_3_4.txt"), "\r\n");             // no record
        folder.write(QStringLiteral("logs/2026_3_7.txt"), minuteLog(60, 500)); // today
        folder.write(QStringLiteral("logs/2026_3_9.txt"), minuteLog(60, 500)); // after today
        folder.write(QStringLiteral("logs/2025_12_31.txt"), minuteLog(30, 600));
        testsupport::FakeServices fakes(folder.path());
        history::History window(fakes.services());
        EnergyPage *page = window.energyPage();
        QSignalSpy finished(page, &EnergyPage::estimationFinished);

        page->estimateButton->click();
        QVERIFY(page->estimating());
        QVERIFY(!page->estimateButton->isEnabled());
        // The main window rewrites today's line while the logs are read.
        const QByteArray meanwhile = QByteArray(kCsv).replace("2026-03-07,600", "2026-03-07,650");
        folder.write(QStringLiteral("logs/energy.csv"), meanwhile);
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), 2);
        QVERIFY(!page->estimating() && page->estimateButton->isEnabled() && page->progress->isHidden());

        const QByteArray csv = folder.read(QStringLiteral("logs/energy.csv"));
        QList<QByteArray> lines = csv.split('\n');
        lines.removeAll(QByteArray());
        QCOMPARE(lines.size(), 9);
        for (const QByteArray &line : meanwhile.split('\n'))
            QVERIFY2(line.isEmpty() || csv.contains(line), line.constData()); // every line kept as it was
        QVERIFY(csv.contains("2025-12-31,300,1,600,6,mph,300,13,13,0,0,,\r\n2026-02-27,"));
        QVERIFY(csv.contains("2026-03-02,4000,1,950,15,mph,600,12,14.4,0,0,,\r\n"
                             "2026-03-03,120,1,120,6,mph,300,13,13,0,0,,\r\n2026-03-05,"));
        QVERIFY(
            page->statusLabel->text().startsWith(QStringLiteral("Added 2 estimated days from the daily logs.")));
        QCOMPARE(page->chart->bars()[2].estimated, 120.0);

        // Run again: only the log without a record is left, and the file stays as it is.
        page->estimateMissing();
        QTRY_COMPARE(finished.count(), 2);
        QCOMPARE(finished.at(1).at(0).toInt(), 0);
        QCOMPARE(folder.read(QStringLiteral("logs/energy.csv")), csv);
        QVERIFY(fakes.messages.texts.isEmpty());
    }
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
