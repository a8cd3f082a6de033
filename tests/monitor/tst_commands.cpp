// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's commands: the port handed to the setup and calibration
// windows and taken back, the graph window opened behind live logging, the
// Options window's Save and Cancel, and the column edition's read-outs and
// layout.
#include "alarms/AlarmWatch.h"
#include "alarms/AlarmsPage.h"
#include "config/Calibrate.h"
#include "editions/Editions.h"
#include "graph/Graph.h"
#include "history/History.h"
#include "monitor/Logger.h"
#include "monitor/Session.h"
#include "monitor/SettingsFromWeb.h"
#include "publish/MqttPage.h"
#include "publish/Publisher.h"
#include "support/TestSupport.h"
#include "ui/Options.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

using monitor::Logger;

namespace {
struct Rig {
    explicit Rig(const monitor::Edition &edition = editions::crestdial(),
                 const QByteArray &prog = testsupport::progCfg(), const QByteArray &energy = QByteArray())
        : fake(folder.path())
    {
        folder.write("prog.cfg", prog);
        if (!energy.isEmpty())
            folder.write("energy.cfg", energy);
        logger = std::make_unique<Logger>(fake.services(), edition);
    }
    testsupport::FakeSerialPort *mainPort() { return fake.ports.front(); }
    testsupport::ProgramFolder folder;
    testsupport::FakeServices fake;
    std::unique_ptr<Logger> logger;
};

QRect twips(QWidget *w)
{
    return QRect(qRound(ui::pixelsToTwips(w->x())), qRound(ui::pixelsToTwips(w->y())),
                 qRound(ui::pixelsToTwips(w->width())), qRound(ui::pixelsToTwips(w->height())));
}
} // namespace

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    // History holds the energy and the power curve; the port stays with the
    // main window and logging goes on.
    void historyOpensBesideTheMeters()
    {
        Rig rig;
        QStringList pages;
        rig.fake.modal.onRun = [&](QDialog *d) {
            auto *h = qobject_cast<history::History *>(d);
            QVERIFY(h);
            for (int i = 0; i < h->tabs()->count(); ++i)
                pages << h->tabs()->tabText(i);
            QVERIFY(rig.mainPort()->isOpen());
        };
        rig.logger->HistoryButton->click();
        QCOMPARE(pages, (QStringList{"Energy", "Trends", "Power curve", "Wind", "Availability"}));
    }

    // Every page's tab in sight at once, none behind scroll arrows, and the
    // tick boxes of every page alike.
    void optionsShowEveryTab_data()
    {
        QTest::addColumn<bool>("column");
        QTest::newRow("crestdial") << false;
        QTest::newRow("flankdial") << true;
    }
    void optionsShowEveryTab()
    {
        QFETCH(bool, column);
        // Whatever the desktop's font: a large one here.
        const QFont before = QApplication::font();
        QFont large = before;
        large.setPointSize(16);
        QApplication::setFont(large);
        auto restore = qScopeGuard([&] { QApplication::setFont(before); });
        Rig rig(column ? editions::flankdial() : editions::crestdial());
        rig.fake.modal.onRun = [&](QDialog *d) {
            auto *options = qobject_cast<ui::Options *>(d);
            QVERIFY(options);
            options->show();
            QVERIFY(QTest::qWaitForWindowExposed(options));
            const QTabBar *bar = options->tabs()->tabBar();
            QVERIFY(options->pageCount() >= 5);
            for (int i = 0; i < bar->count(); ++i)
                QVERIFY2(bar->rect().contains(bar->tabRect(i)), qPrintable(bar->tabText(i)));
            QSet<QRgb> boxes;
            for (QCheckBox *c : options->findChildren<QCheckBox *>())
                boxes << c->palette().color(QPalette::Base).rgb();
            QCOMPARE(boxes.size(), 1);
        };
        rig.logger->OptionsButton->click();
        QCOMPARE(rig.fake.modal.runs, 1);
    }

    // Save checks every page before it writes any, so a refusal saves
    // nothing at all; what was written is taken up by the session, also when
    // a later page's file could not be written, and the window stays open
    // saying so; Close saves nothing.
    void optionsSaveAndCancel_data()
    {
        QTest::addColumn<QString>("batteryLow");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("mqttUnwritable");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("message"); // the start of the one message; empty: none
        QTest::addColumn<QString>("shown");   // the page left open; empty: closed
        QTest::addColumn<bool>("alarmsSaved");
        QTest::addColumn<bool>("mqttSaved");
        QTest::newRow("both saved") << "11.5" << "1884" << false << false << "" << "" << true << true;
        QTest::newRow("alarms refuse") << "eleven" << "1884" << false << false << "\"eleven\" is not a number" << "Alarms" << false << false;
        QTest::newRow("MQTT refuses: alarms not saved either") << "11.5" << "0" << false << false << "The port must be" << "MQTT" << false << false;
        QTest::newRow("MQTT file unwritable") << "11.5" << "1884" << true << false << "Could not save" << "MQTT" << true << false;
        QTest::newRow("cancel") << "11.5" << "1884" << false << true << "" << "" << false << false;
    }
    void optionsSaveAndCancel()
    {
        QFETCH(QString, batteryLow);
        QFETCH(QString, port);
        QFETCH(bool, mqttUnwritable);
        QFETCH(bool, cancel);
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QFETCH(bool, alarmsSaved);
        QFETCH(bool, mqttSaved);
        Rig rig;
        if (mqttUnwritable)
            QVERIFY(QDir(rig.folder.path()).mkdir("mqtt.cfg"));
        rig.fake.messages.texts.clear();
        QString left, said;
        int result = -1;
        rig.fake.modal.onRun = [&](QDialog *d) {
            auto *options = qobject_cast<ui::Options *>(d);
            QVERIFY(options);
            QCOMPARE(options->tabs()->tabText(0), QString("Alarms"));
            auto *a = options->page<alarms::AlarmsPage>();
            auto *m = options->page<publish::MqttPage>();
            a->On[0]->setChecked(true);
            a->Threshold[0]->setText(batteryLow);
            m->Host->setText("broker.lan");
            m->Port->setText(port);
            if (cancel)
                options->Close->click();
            else
                options->Save->click();
            result = options->result();
            left = options->tabs()->tabText(options->tabs()->currentIndex());
            said = options->Saved->text();
        };
        rig.logger->OptionsButton->click();
        QCOMPARE(rig.fake.modal.runs, 1);
        QCOMPARE(rig.fake.messages.texts.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QVERIFY2(rig.fake.messages.texts[0].startsWith(message), qPrintable(rig.fake.messages.texts[0]));
            QCOMPARE(left, shown);
        }
        QCOMPARE(result, int(shown.isEmpty() && !cancel ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(said.startsWith("Saved at "), shown.isEmpty() && !cancel);
        QCOMPARE(rig.folder.exists("alarms.cfg"), alarmsSaved);
        QCOMPARE(rig.logger->alarmWatch()->settings().isOn(core::AlarmId::BatteryLow), alarmsSaved);
        QCOMPARE(!mqttUnwritable && rig.folder.exists("mqtt.cfg"), mqttSaved);
        QCOMPARE(rig.logger->publisher()->settings().host == "broker.lan", mqttSaved);
    }

    void calibrationTakesThePortAndNewDividersApply()
    {
        Rig rig;
        bool mainClosed = false, calibrationOpen = false;
        rig.fake.modal.onRun = [&](QDialog *d) {
            auto *cal = qobject_cast<config::Calibrate *>(d);
            QVERIFY(cal);
            mainClosed = !rig.mainPort()->isOpen();
            calibrationOpen = cal->MSComm2()->isOpen();
            cal->BatteryVolts->setText("20.48");
            cal->Command1_Click();
        };
        rig.logger->Setup->setFocus();
        rig.logger->CalibrateButton_Click();
        QVERIFY(mainClosed);
        QVERIFY(calibrationOpen);
        QVERIFY(rig.mainPort()->isOpen());
        rig.mainPort()->feed("[<V>512</V>]");
        QVERIFY2(rig.logger->windowTitle().startsWith("Logger  25 V"), qPrintable(rig.logger->windowTitle()));
        QVERIFY(rig.folder.read("settings.cfg").contains("<VoltDivider>20.48</VoltDivider>\r\n"));
    }

    void calibrationExitWritesNothing()
    {
        Rig rig;
        const QByteArray before = rig.folder.read("settings.cfg");
        rig.fake.modal.onRun = [&](QDialog *d) {
            auto *cal = qobject_cast<config::Calibrate *>(d);
            cal->BatteryVolts->setText("1");
            cal->Command6_Click();
        };
        rig.logger->CalibrateButton_Click();
        QCOMPARE(rig.folder.read("settings.cfg"), before);
        QVERIFY(rig.mainPort()->isOpen());
    }

    void portThatCannotBeReopenedGoesThroughSetup()
    {
        Rig rig;
        int runs = 0;
        rig.fake.modal.onRun = [&](QDialog *d) {
            ++runs;
            if (runs == 1) {
                // The calibration window; meanwhile another program takes the port.
                rig.mainPort()->setFailOpen(true);
                d->close();
            } else {
                rig.mainPort()->setFailOpen(false);
                d->close();
            }
        };
        rig.logger->CalibrateButton_Click();
        QCOMPARE(runs, 2);
        QCOMPARE(rig.fake.messages.texts.size(), 1);
        QVERIFY(rig.fake.messages.texts.last().startsWith("Error opening port 1, Click OK"));
        QVERIFY(rig.mainPort()->isOpen());
    }

    void loggingGoesOnBehindTheGraphWindow()
    {
        Rig rig;
        rig.logger->StartLogging_Click();
        rig.mainPort()->feed("[<V>512</V><I>512</I><M>0</M>]");
        bool portOpen = false;
        rig.fake.modal.onRun = [&](QDialog *d) {
            QVERIFY(qobject_cast<graph::Graph *>(d));
            portOpen = rig.mainPort()->isOpen();
            // Ticks and frames arrive while the window is open.
            rig.logger->Timer1->setInterval(20);
            QTest::qWait(120);
            rig.mainPort()->feed("[<V>550.9</V>]");
            QTest::qWait(60);
        };
        rig.logger->ShowLogs_Click();
        QVERIFY(portOpen);
        const QList<QByteArray> lines = rig.folder.read("logs/2026_3_7.txt").split('\n');
        QVERIFY2(lines.size() >= 4, "ticks were not written while the graph window was open");
        QVERIFY(lines.first().startsWith("<V>12.5</V>"));
        QVERIFY(rig.folder.read("logs/2026_3_7.txt").contains("<V>13.45</V>"));
    }

    void graphOpensWithTodayEachTime()
    {
        Rig rig;
        QStringList dates;
        rig.fake.modal.onRun = [&](QDialog *d) {
            auto *g = qobject_cast<graph::Graph *>(d);
            dates << g->DateY1->text() + "/" + g->DateM1->text() + "/" + g->DateD1->text() + " "
                         + g->Time1h->text() + ":" + g->Time2m->text();
            g->DateY1->setText("1999");
            g->Time1h->setText("05");
        };
        rig.logger->ShowLogs_Click();
        rig.logger->ShowLogs_Click();
        QCOMPARE(dates, (QStringList{"2026/3/7 00:59", "2026/3/7 00:59"}));
    }

    void exitClosesThePortAndTheWindow()
    {
        Rig rig;
        rig.logger->show();
        QVERIFY(rig.mainPort()->isOpen());
        rig.logger->Exit_Click();
        QVERIFY(!rig.mainPort()->isOpen());
        QVERIFY(!rig.logger->isVisible());
    }

    void readoutBlock_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<double>("wattHours");
        QTest::addColumn<QStringList>("labels"); // Label5(0), (7), (3), (13)
        QTest::newRow("12.5 V to even") << "[<V>512</V>]" << 0.0 << QStringList{"12", "12", "", ""};
        QTest::newRow("13.5 V to even") << "[<V>552.96</V>]" << 0.0 << QStringList{"14", "14", "", ""};
        QTest::newRow("watt-hours") << "[<V>512</V>]" << 123.456 << QStringList{"12", "12", "123", "123"};
    }
    void readoutBlock()
    {
        QFETCH(QString, frame);
        QFETCH(double, wattHours);
        QFETCH(QStringList, labels);
        // Today's energy so far, as the last run left it.
        Rig rig(editions::flankdial(), testsupport::progCfg(),
                "<Date>2026-03-07</Date><Today>" + QByteArray::number(wattHours)
                    + "</Today><Yesterday>0</Yesterday><Lifetime>" + QByteArray::number(wattHours)
                    + "</Lifetime>");
        QCOMPARE(rig.logger->WattHours(), wattHours);
        for (int i : {7, 8, 10, 11, 12, 13})
            QCOMPARE(rig.logger->Label5[size_t(i)]->text(), QString()); // empty before the first frame
        rig.mainPort()->feed(frame.toLatin1());
        const QStringList got{rig.logger->Label5[0]->text(), rig.logger->Label5[7]->text(),
                              rig.logger->Label5[3]->text(), rig.logger->Label5[13]->text()};
        QCOMPARE(got, labels);
        if (wattHours > 0)
            QCOMPARE(rig.logger->ListView1->text(3, 1), QString("123.5"));
    }

    void sameRoundedValuesLeaveReadoutsAlone()
    {
        Rig rig(editions::flankdial());
        rig.mainPort()->feed("[<V>512</V><I>612</I>]");
        QCOMPARE(rig.logger->Label5[8]->text(), QString("10"));
        rig.logger->Label5[7]->setText("mark");
        rig.logger->Label5[0]->setText("mark");
        rig.mainPort()->feed("[<V>510</V><I>612</I>]"); // 12.45 V rounds to 12 again
        QCOMPARE(rig.logger->Label5[7]->text(), QString("mark"));
        QCOMPARE(rig.logger->Label5[0]->text(), QString("12")); // the meter passes through 0
        // A negative current clamps to 0 like the meters.
        rig.mainPort()->feed("[<I>400</I>]");
        QCOMPARE(rig.logger->Label5[8]->text(), QString("0"));
    }

    void layouts_data()
    {
        QTest::addColumn<bool>("column");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QString>("caption");
        QTest::newRow("row: Start") << false << "StartLogging" << QRect(360, 1980, 675, 315) << "Start";
        QTest::newRow("row: Setup") << false << "Setup" << QRect(7560, 1980, 675, 315) << " Setup";
        QTest::newRow("row: watts dial") << false << "Picture1(2)" << QRect(9840, -15, 2610, 1515) << "";
        QTest::newRow("row: wind title") << false << "Labe6(1)" << QRect(7620, 1575, 1725, 300) << "  WIND SPEED";
        QTest::newRow("row: list") << false << "ListView1" << QRect(10080, 2040, 360, 165) << "";
        QTest::newRow("column: Exit") << true << "Exit" << QRect(4320, 0, 675, 315) << "Exit";
        QTest::newRow("column: Graph") << true << "ShowLogs" << QRect(12960, 0, 675, 315) << "Graph";
        QTest::newRow("column: rpm dial") << true << "Picture1(4)" << QRect(120, 3525, 2610, 1515) << "";
        QTest::newRow("column: watt-hours title") << true << "Label4" << QRect(120, 10320, 1815, 300) << "   WATT HOURS";
        QTest::newRow("column: rpm read-out title") << true << "Label5(9)" << QRect(6000, 10200, 1815, 300) << "           MILL RPM";
        QTest::newRow("column: wind read-out") << true << "Label5(11)" << QRect(10695, 9480, 735, 300) << "";
        QTest::newRow("column: rpm read-out") << true << "Label5(10)" << QRect(7815, 10200, 735, 300) << "";
    }
    void layouts()
    {
        QFETCH(bool, column);
        QFETCH(QString, name);
        QFETCH(QRect, rect);
        QFETCH(QString, caption);
        Rig rig(column ? editions::flankdial() : editions::crestdial());
        auto *w = rig.logger->findChild<QWidget *>(name);
        QVERIFY2(w, qPrintable(name));
        // One pixel is 15 twips: compare to the pixel.
        const QRect got = twips(w);
        QVERIFY2(std::abs(got.x() - rect.x()) <= 8 && std::abs(got.y() - rect.y()) <= 8
                     && std::abs(got.width() - rect.width()) <= 8 && std::abs(got.height() - rect.height()) <= 8,
                 qPrintable(QString("%1,%2 %3x%4").arg(got.x()).arg(got.y()).arg(got.width()).arg(got.height())));
        if (auto *b = qobject_cast<QPushButton *>(w))
            QCOMPARE(b->text(), caption);
        if (auto *l = qobject_cast<QLabel *>(w); l && !caption.isEmpty())
            QCOMPARE(l->text(), caption);
    }

    // Every control a window places lies wholly inside it, in both editions.
    void controlsInsideTheirWindows_data()
    {
        QTest::addColumn<bool>("column");
        QTest::addColumn<QString>("window");
        for (bool column : {false, true})
            for (const char *window : {"main", "graph", "setup", "calibration", "alarms", "mqtt"})
                QTest::addRow("%s: %s", column ? "flankdial" : "crestdial", window) << column << QString(window);
    }
    void controlsInsideTheirWindows()
    {
        QFETCH(bool, column);
        QFETCH(QString, window);
        Rig rig(column ? editions::flankdial() : editions::crestdial());
        QStringList outside;
        int checked = 0;
        auto check = [&](QWidget *w) {
            for (QWidget *c : w->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
                if (c->isWindow() || c->isHidden())
                    continue;
                ++checked;
                // The row edition's meters are placed up to 45 twips above the
                // top edge; only the blank rim of the dial face is cut there.
                const int above = c->objectName().startsWith("Picture1(") ? ui::twipsToPixels(45) : 0;
                const QRect inside(0, -above, w->width(), w->height() + above);
                if (!inside.contains(c->geometry()))
                    outside << QStringLiteral("%1 %2,%3 %4x%5 in %6x%7")
                                   .arg(c->objectName())
                                   .arg(c->x())
                                   .arg(c->y())
                                   .arg(c->width())
                                   .arg(c->height())
                                   .arg(w->width())
                                   .arg(w->height());
            }
        };
        rig.fake.modal.onRun = [&](QDialog *d) {
            auto *options = qobject_cast<ui::Options *>(d);
            if (!options)
                return check(d);
            // The window as shown, on the page asked for.
            options->tabs()->setCurrentIndex(window == "mqtt" ? 1 : 0);
            d->show();
            check(d);
            QWidget *page = options->tabs()->currentWidget();
            const QRect onWindow(page->mapTo(d, QPoint(0, 0)), page->size());
            QVERIFY2(d->rect().contains(onWindow) && page->size().expandedTo(page->minimumSize()) == page->size(),
                     qPrintable(QString("page %1,%2 %3x%4 in %5x%6")
                                    .arg(onWindow.x())
                                    .arg(onWindow.y())
                                    .arg(page->width())
                                    .arg(page->height())
                                    .arg(d->width())
                                    .arg(d->height())));
            check(page);
        };
        if (window == "main")
            check(rig.logger.get());
        else if (window == "graph")
            rig.logger->ShowLogs_Click();
        else if (window == "setup")
            rig.logger->Setup_Click();
        else if (window == "alarms" || window == "mqtt")
            rig.logger->Options_Click();
        else
            rig.logger->CalibrateButton_Click();
        QVERIFY(checked > 5);
        QVERIFY2(outside.isEmpty(), qPrintable(outside.join("; ")));
    }

    // The browser's saves and logging switches show in the main window as
    // if made there; while its Setup window has the port, the browser's
    // save of Setup is refused and nothing is written.
    void browserBesideTheWindow()
    {
        Rig rig;
        monitor::Session &session = *rig.logger->session();
        const auto ask = [&](const char *page, const QString &body) {
            return monitor::settingsAnswer(session, {page, body.toStdString(), "127.0.0.1", "", !body.isEmpty()});
        };
        const auto saveSetup = [&](const QString &values) {
            const QString version = QJsonDocument::fromJson(QByteArray::fromStdString(ask("setup", "").second))["version"].toString();
            return ask("setup", QString("{\"version\":\"%1\",\"values\":{%2}}").arg(version, values)).first;
        };

        QCOMPARE(ask("logging", "{\"action\":\"start\",\"delay\":\"30\"}").first, 200);
        QVERIFY(!rig.logger->StartLogging->isEnabled() && rig.logger->StopLogging->isEnabled());
        QCOMPARE(rig.logger->delay->text(), QString("30"));
        QVERIFY(!rig.logger->delay->isEnabled());
        QCOMPARE(ask("logging", "{\"action\":\"stop\"}").first, 200);
        QVERIFY(rig.logger->StartLogging->isEnabled() && !rig.logger->StopLogging->isEnabled());

        const int rows = rig.logger->ListView1->rowCount();
        QCOMPARE(saveSetup("\"DisplayRPM\":\"0\",\"LogDelay\":\"45\""), 200);
        QCOMPARE(rig.logger->ListView1->rowCount(), rows - 1);
        QCOMPARE(rig.logger->delay->text(), QString("45"));

        int refused = 0;
        rig.fake.modal.onRun = [&](QDialog *) { refused = saveSetup("\"Port\":\"2\""); };
        const QByteArray before = rig.folder.read("prog.cfg");
        rig.logger->Setup_Click();
        QCOMPARE(refused, 409);
        QCOMPARE(rig.folder.read("prog.cfg"), before);
        // Once the window has closed, the port is the session's again.
        QCOMPARE(saveSetup("\"Port\":\"2\""), 200);
    }

    void columnGraphPositions()
    {
        Rig rig(editions::flankdial());
        QList<QRect> got;
        rig.fake.modal.onRun = [&](QDialog *d) {
            auto *g = qobject_cast<graph::Graph *>(d);
            got << twips(g->Plot) << twips(g->Check5) << twips(g->SMax1) << twips(g->Command2) << twips(g->Time2m);
        };
        rig.logger->ShowLogs_Click();
        QCOMPARE(got.size(), 5);
        QCOMPARE(got[0], QRect(0, 240, 11355, 5235));
        QCOMPARE(got[1].topLeft(), QPoint(10560, 5520));
        QCOMPARE(got[2].topLeft(), QPoint(9000, 5760));
        QCOMPARE(got[3].topLeft(), QPoint(9360, 7440));
        QCOMPARE(got[4].topLeft(), QPoint(2160, 7410));
    }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
