// SPDX-License-Identifier: GPL-3.0-or-later
// The graph window's plot, list and labels, and the mouse and check boxes on it.
// Records are loaded through the window's loading step; pixels are read from
// the plot's backing image.

#include "graph/Graph.h"

#include "core/Number.h"
#include "support/TestSupport.h"
#include "ui/Canvas.h"
#include "ui/ReportList.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <cmath>
#include <memory>

namespace {

const QColor kRed(255, 0, 0);
const QColor kCyan(0, 255, 255);
const QColor kLoadOn(128, 128, 255);
const QColor kBackground(0, 64, 0);

struct Rec {
    int minute;
    double v, i, w, r, s;
    int mode;
};

struct Window {
    explicit Window(const QString &units = QStringLiteral("mph")) : fake(folder.path())
    {
        folder.write(QStringLiteral("prog.cfg"), testsupport::progCfg("1", "0", "0", "60", "0", "1", "1", units));
        g = std::make_unique<graph::Graph>(fake.services());
        g->show();
    }
    static std::vector<core::LogRecord> records(const QList<Rec> &recs)
    {
        std::vector<core::LogRecord> out;
        for (const Rec &r : recs)
            out.push_back({r.minute / 1440.0, r.v, r.i, r.w, r.r, r.s, std::int16_t(r.mode)});
        return out;
    }
    // Loads the records as a "Display" would.
    void set(const QList<Rec> &recs) { g->load({records(recs), false}); }
    // Only the given series; RefVZero as given.
    void series(bool v, bool a, bool w, bool r, bool s, int refVZero)
    {
        g->Check1->setChecked(v);
        g->Check2->setChecked(a);
        g->Check3->setChecked(w);
        g->Check4->setChecked(r);
        g->Check5->setChecked(s);
        g->Check6->setChecked(refVZero == 1);
    }
    QImage image() const { return g->Plot->image(); }
    bool anyPixel(const QColor &c) const
    {
        const QImage img = image();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixelColor(x, y) == c)
                    return true;
        return false;
    }
    // Rows of column x that have colour c.
    QList<int> rowsWith(int x, const QColor &c) const
    {
        const QImage img = image();
        QList<int> rows;
        for (int y = 0; y < img.height(); ++y)
            if (img.pixelColor(x, y) == c)
                rows << y;
        return rows;
    }
    int column(double units) const { return int(units * image().width() / (g->viewEnd() - g->viewStart())); }
    QStringList listColumn(int c) const
    {
        QStringList out;
        for (int r = 0; r < g->ListView1->rowCount(); ++r)
            out << g->ListView1->text(r, c);
        return out;
    }

    testsupport::ProgramFolder folder;
    testsupport::FakeServices fake;
    std::unique_ptr<graph::Graph> g;
};

QList<Rec> ramp(int n)
{
    QList<Rec> recs;
    for (int k = 1; k <= n; ++k)
        recs << Rec{k, 12 + k / 10.0, 1, 10, 100, 5, 0};
    return recs;
}

} // namespace

class TstGraphPlot : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { core::setDecimalSeparator('.'); }
    void flatVoltsLine();
    void refVZeroScale();
    void labels();
    void listRows();
    void crossingLines_data();
    void crossingLines();
    void zoomRanges_data();
    void zoomRanges();
    void singleRecord();
    void loadOnMarks_data();
    void loadOnMarks();
    void checkBoxes();
    void checkBoxesBeforeLoad();
    void readouts_data();
    void readouts();
    void readoutOutsideKeepsText_data();
    void readoutOutsideKeepsText();
    void dragZooms();
    void noZoom_data();
    void noZoom();
    void noRedLineAfterZoom();
    void releaseBeyondLastRecord();
    void mouseThroughThePlot();
};

void TstGraphPlot::flatVoltsLine()
{
    Window w;
    QList<Rec> recs;
    for (int k = 1; k <= 10; ++k)
        recs << Rec{k, 13.2, 1, 10, 100, 5, 0};
    w.set(recs);
    w.series(true, false, false, false, false, 0);
    w.g->DrawGraph();
    QCOMPARE(w.g->VMax1->text(), QStringLiteral("13.2 V"));
    QCOMPARE(w.g->VMin1->text(), QStringLiteral("13.2 V"));
    // Range 0: a line at 1 of a span of 2, the middle, from edge to edge.
    const int h = w.image().height(), width = w.image().width();
    for (int x : {1, width / 4, width / 2, width - 2}) {
        const QList<int> rows = w.rowsWith(x, kRed);
        QVERIFY2(!rows.isEmpty(), qPrintable(QString::number(x)));
        QVERIFY(std::abs(rows.first() - h / 2) <= 1);
        QCOMPARE(rows.size(), 1);
    }
}

void TstGraphPlot::refVZeroScale()
{
    Window w;
    w.set(ramp(20)); // 12.1 .. 14
    w.series(true, false, false, false, false, 1);
    w.g->DrawGraph();
    QCOMPARE(w.g->VMin1->text(), QStringLiteral("0 V"));
    QCOMPARE(w.g->VMax1->text(), QStringLiteral("14 V"));
    // From 0: the whole line lies in the top sixth.
    const int h = w.image().height();
    int lowest = 0;
    for (int x = 0; x < w.image().width(); ++x)
        for (int y : w.rowsWith(x, kRed))
            lowest = std::max(lowest, y);
    QVERIFY(lowest > 0);
    QVERIFY2(lowest < h / 6, qPrintable(QString::number(lowest)));

    // From the lowest value: the line reaches the bottom fortieth.
    w.g->Check6->setChecked(false); // redraws
    QCOMPARE(w.g->switches().RefVZero, 0);
    QCOMPARE(w.g->VMin1->text(), QStringLiteral("12.1 V"));
    lowest = 0;
    for (int x = 0; x < w.image().width(); ++x)
        for (int y : w.rowsWith(x, kRed))
            lowest = std::max(lowest, y);
    QVERIFY2(lowest > h * 9 / 10, qPrintable(QString::number(lowest)));
}

void TstGraphPlot::labels()
{
    Window w(QStringLiteral("km/h"));
    w.set({Rec{60, 12.5, 1.5, 18.75, 1200, 3.5, 0}, Rec{61, 13, 2, 26, 1500, 4, 0}});
    w.g->DrawGraph();
    QCOMPARE(w.g->VMax1->text(), QStringLiteral("13 V"));
    QCOMPARE(w.g->VMin1->text(), QStringLiteral("0 V"));
    QCOMPARE(w.g->AMax1->text(), QStringLiteral("2 A"));
    QCOMPARE(w.g->AMin1->text(), QStringLiteral("1.5 A"));
    QCOMPARE(w.g->WMax1->text(), QStringLiteral("26 W"));
    QCOMPARE(w.g->WMin1->text(), QStringLiteral("18.75 W"));
    // RPM above 1000 keeps the search's start as its minimum.
    QCOMPARE(w.g->RMax1->text(), QStringLiteral("1500 RPM"));
    QCOMPARE(w.g->RMin1->text(), QStringLiteral("1000 RPM"));
    QCOMPARE(w.g->SMax1->text(), QStringLiteral("4 km/h"));
    QCOMPARE(w.g->SMin1->text(), QStringLiteral("3.5 km/h"));
    QCOMPARE(w.g->stime->text(), QStringLiteral("01:00"));
    QCOMPARE(w.g->ftime->text(), QStringLiteral("01:01"));
}

void TstGraphPlot::listRows()
{
    Window w;
    w.set({Rec{545, 13.45, -2.1, 28.25, 312, 4.5, 1}, Rec{546, 0.5, 0, -3, 0, 0, -1}});
    w.g->DrawGraph();
    QCOMPARE(w.g->ListView1->rowCount(), 2);
    const QStringList first{"", "1 ", "13.45 ", "-2.1 ", "28.25 ", "312 ", "4.5 ", "09:05 "};
    const QStringList second{"", "-1 ", "0.5 ", "0 ", "-3 ", "0 ", "0 ", "09:06 "};
    for (int c = 0; c < 8; ++c) {
        QCOMPARE(w.g->ListView1->text(0, c), first[c]);
        QCOMPARE(w.g->ListView1->text(1, c), second[c]);
    }
    // A record changed in a new load shows its new values.
    w.set({Rec{545, 14, -2.1, 28.25, 312, 4.5, 1}, Rec{546, 0.5, 0, -3, 0, 0, -1}});
    QCOMPARE(w.g->ListView1->text(0, 2), QStringLiteral("14 "));
}

void TstGraphPlot::crossingLines_data()
{
    QTest::addColumn<double>("ampsLow");
    QTest::addColumn<double>("ampsHigh");
    QTest::addColumn<double>("wattsLow");
    QTest::addColumn<double>("wattsHigh");
    QTest::addColumn<bool>("line");
    QTest::newRow("amps straddle 0") << -1.0 << 2.0 << 1.0 << 5.0 << true;
    QTest::newRow("all positive") << 1.0 << 2.0 << 1.0 << 5.0 << false;
    QTest::newRow("watts straddle 0") << 1.0 << 2.0 << -5.0 << 5.0 << true;
    QTest::newRow("amps down to 0") << 0.0 << 2.0 << 0.0 << 5.0 << false;
    QTest::newRow("amps up to 0") << -2.0 << 0.0 << -5.0 << 0.0 << false;
    QTest::newRow("all negative") << -2.0 << -1.0 << -5.0 << -1.0 << false;
}

void TstGraphPlot::crossingLines()
{
    QFETCH(double, ampsLow);
    QFETCH(double, ampsHigh);
    QFETCH(double, wattsLow);
    QFETCH(double, wattsHigh);
    QFETCH(bool, line);
    Window w;
    QList<Rec> recs;
    for (int k = 1; k <= 10; ++k)
        recs << Rec{k, 13, k % 2 ? ampsLow : ampsHigh, k % 2 ? wattsLow : wattsHigh, 100, 5, 0};
    w.set(recs);
    w.series(false, false, false, false, false, 1);
    w.g->DrawGraph();
    QCOMPARE(w.anyPixel(kCyan), line);
    if (line && ampsLow < 0) {
        // At the highest amps, scaled to the amps span; it starts at x = ViewStart.
        const double span = (ampsHigh - ampsLow) * 1.05;
        const int middle = w.image().width() / 2;
        const QList<int> rows = w.rowsWith(middle, kCyan);
        QCOMPARE(rows.size(), 1);
        QVERIFY(std::abs(rows.first() - ampsHigh / span * w.image().height()) <= 1.5);
        QVERIFY(w.rowsWith(w.column(0.5), kCyan).isEmpty());
    }
}

void TstGraphPlot::zoomRanges_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<QList<int>>("records"); // listed, in order
    QTest::addColumn<QString>("stime");
    QTest::addColumn<QString>("ftime");
    QTest::addColumn<int>("segments");
    QTest::newRow("10.4 to 20.3") << 10.4 << 20.3 << QList<int>{10, 11, 12, 13, 14, 15, 16, 17, 18, 19}
                                  << "00:10" << "00:20" << 9;
    QTest::newRow("10.5 to 15.5") << 10.5 << 15.5 << QList<int>{10, 12, 12, 14, 14, 16} << "00:10"
                                  << "00:16" << 5;
    QTest::newRow("whole") << 1.0 << 4.0 << QList<int>{1, 2, 3, 4} << "00:01" << "00:04" << 3;
}

void TstGraphPlot::zoomRanges()
{
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(QList<int>, records);
    QFETCH(QString, stime);
    QFETCH(QString, ftime);
    QFETCH(int, segments);
    Window w;
    w.set(ramp(30));
    w.series(true, false, false, false, false, 1);
    w.g->setView(start, end);
    w.g->DrawGraph();
    QStringList times;
    for (int k : records)
        times << QString::fromStdString(core::timeText(k / 60, k % 60)) + QLatin1Char(' ');
    QCOMPARE(w.listColumn(7), times);
    QCOMPARE(w.g->stime->text(), stime);
    QCOMPARE(w.g->ftime->text(), ftime);
    QCOMPARE(w.g->Plot->scaleWidth(), end - start);
    QCOMPARE(w.g->Plot->drawCount(), segments); // one volts segment per step, nothing else
}

void TstGraphPlot::singleRecord()
{
    Window w;
    w.set(ramp(5));
    w.g->DrawGraph();
    const QString vmax = w.g->VMax1->text(), stime = w.g->stime->text();
    const int clears = w.g->Plot->clearCount();
    w.g->setView(1, 1);
    w.g->DrawGraph();
    QCOMPARE(w.g->Plot->clearCount(), clears + 1);
    QCOMPARE(w.g->Plot->drawCount(), 0);
    QCOMPARE(w.g->ListView1->rowCount(), 0);
    QCOMPARE(w.g->VMax1->text(), vmax);
    QCOMPARE(w.g->stime->text(), stime);
    QVERIFY(!w.anyPixel(kRed));
}

void TstGraphPlot::loadOnMarks_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<double>("markAt"); // in plot units
    QTest::addColumn<double>("emptyAt");
    // Record 5 had the load on. Unzoomed its mark covers x 4 to 5; zoomed
    // from 3 it moves left by 2, keeping its place beside the lines.
    QTest::newRow("unzoomed") << 1.0 << 10.0 << 4.5 << 2.5;
    QTest::newRow("zoomed") << 3.0 << 9.0 << 2.5 << 4.5;
}

void TstGraphPlot::loadOnMarks()
{
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(double, markAt);
    QFETCH(double, emptyAt);
    Window w;
    QList<Rec> recs = ramp(10);
    recs[4].mode = 1;
    w.set(recs);
    w.series(false, false, false, false, false, 1);
    w.g->setView(start, end);
    w.g->DrawGraph();
    QVERIFY(!w.rowsWith(w.column(markAt), kLoadOn).isEmpty());
    QVERIFY(w.rowsWith(w.column(emptyAt), kLoadOn).isEmpty());
    // Only record 5 is marked.
    int columns = 0;
    for (int x = 0; x < w.image().width(); ++x)
        columns += w.rowsWith(x, kLoadOn).isEmpty() ? 0 : 1;
    QVERIFY(columns <= w.image().width() / (end - start) + 2);
}

void TstGraphPlot::checkBoxes()
{
    Window w;
    w.set(ramp(10));
    w.series(true, true, true, true, true, 1);
    w.g->DrawGraph();
    QVERIFY(w.anyPixel(kRed));
    const int clears = w.g->Plot->clearCount();
    w.g->Check1->setChecked(false);
    QCOMPARE(w.g->switches().ShowV, 0);
    QCOMPARE(w.g->Plot->clearCount(), clears + 1);
    QVERIFY(!w.anyPixel(kRed));
    w.g->Check1->setChecked(true);
    QCOMPARE(w.g->switches().ShowV, 1);
    QVERIFY(w.anyPixel(kRed));

    using Switch = int graph::Graph::Switches::*;
    struct Box {
        QCheckBox *box;
        Switch flag;
    };
    for (Box b :
         {Box{w.g->Check2, &graph::Graph::Switches::ShowA}, Box{w.g->Check3, &graph::Graph::Switches::ShowW},
          Box{w.g->Check4, &graph::Graph::Switches::ShowR}, Box{w.g->Check5, &graph::Graph::Switches::ShowS},
          Box{w.g->Check6, &graph::Graph::Switches::RefVZero}}) {
        const int before = w.g->Plot->clearCount();
        b.box->setChecked(!b.box->isChecked());
        QCOMPARE(w.g->switches().*b.flag, b.box->isChecked() ? 1 : 0);
        QCOMPARE(w.g->Plot->clearCount(), before + 1);
    }
}

void TstGraphPlot::checkBoxesBeforeLoad()
{
    Window w;
    const int clears = w.g->Plot->clearCount();
    w.g->Check1->setChecked(false);
    w.g->Check4->setChecked(!w.g->Check4->isChecked());
    QCOMPARE(w.g->switches().ShowV, 0);
    QCOMPARE(w.g->switches().ShowR, w.g->Check4->isChecked() ? 1 : 0);
    // A single record counts as nothing to draw.
    w.set(ramp(1));
    const int loaded = w.g->Plot->clearCount();
    w.g->Check1->setChecked(true);
    QCOMPARE(w.g->switches().ShowV, 1);
    QCOMPARE(w.g->Plot->clearCount(), loaded);
    QCOMPARE(loaded, clears + 1); // the load's own draw, which stops at once
    QCOMPARE(w.g->ListView1->rowCount(), 0);
}

void TstGraphPlot::readouts_data()
{
    QTest::addColumn<float>("x");
    QTest::addColumn<double>("viewStart");
    QTest::addColumn<QString>("vt");
    QTest::addColumn<QString>("vv");
    QTest::newRow("x 4.7 is record 5") << 4.7f << 1.0 << "00:05" << "13.46 Volts";
    QTest::newRow("x 0 is record 1") << 0.0f << 1.0 << "00:01" << "12 Volts";
    QTest::newRow("x 5.2 is record 6") << 5.2f << 1.0 << "00:06" << "13.5 Volts";
    // Time from floor(x + start), values from floor(x) + start rounded.
    QTest::newRow("fractional start") << 3.2f << 2.5 << "00:05" << "13.5 Volts";
}

void TstGraphPlot::readouts()
{
    QFETCH(float, x);
    QFETCH(double, viewStart);
    QFETCH(QString, vt);
    QFETCH(QString, vv);
    Window w;
    QList<Rec> recs = ramp(10);
    recs[0].v = 12;
    recs[4] = Rec{5, 13.456, -2.345, 31.555, 312.4, 4.5, 0};
    recs[5].v = 13.5;
    w.set(recs);
    w.g->setView(viewStart, 10);
    w.g->Plot_MouseMove(0, 0, x, 0);
    QCOMPARE(w.g->vt->text(), vt);
    QCOMPARE(w.g->vv->text(), vv);
    if (vv.startsWith(QLatin1String("13.46"))) {
        QCOMPARE(w.g->av->text(), QStringLiteral("-2.34 Amps"));
        QCOMPARE(w.g->wv->text(), QStringLiteral("31.56 Watts"));
        QCOMPARE(w.g->rv->text(), QStringLiteral("312.4 RPM"));
        QCOMPARE(w.g->sv->text(), QStringLiteral("4.5 mph"));
    }
}

void TstGraphPlot::readoutOutsideKeepsText_data()
{
    QTest::addColumn<float>("x");
    QTest::addColumn<int>("count");
    QTest::newRow("left of the plot") << -2.5f << 10;
    QTest::newRow("right of the records") << 10.0f << 10;
    QTest::newRow("far right") << 1e9f << 10;
    QTest::newRow("beyond a smaller load") << 5.0f << 4;
}

void TstGraphPlot::readoutOutsideKeepsText()
{
    QFETCH(float, x);
    QFETCH(int, count);
    Window w;
    w.set(ramp(10));
    if (count < 10)
        w.set(ramp(count)); // a later, smaller load
    w.g->vt->setText(QStringLiteral("kept"));
    w.g->vv->setText(QStringLiteral("kept"));
    w.g->Plot_MouseMove(0, 0, x, 0);
    QCOMPARE(w.g->vt->text(), QStringLiteral("kept"));
    QCOMPARE(w.g->vv->text(), QStringLiteral("kept"));
}

void TstGraphPlot::dragZooms()
{
    Window w;
    w.set(ramp(20));
    w.series(false, false, false, false, false, 1);
    w.g->DrawGraph();
    w.g->Plot_MouseDown(1, 0, 4, 0);
    QCOMPARE(int(w.g->mouseIsDown()), 1);
    QCOMPARE(w.g->viewStart(), 4.0);
    w.g->Plot_MouseMove(1, 0, 9, 0);
    // The red drag line along the top edge, from the press to the pointer
    // (in the units of the unzoomed plot, 19 wide).
    const QImage img = w.image();
    auto top = [&](double units) { return img.pixelColor(int(units * img.width() / 19), 0); };
    QCOMPARE(top(6), kRed);
    QCOMPARE(top(2), kBackground);
    QCOMPARE(top(12), kBackground);

    w.g->Plot_MouseUp(1, 0, 9.5f, 0);
    QCOMPARE(int(w.g->mouseIsDown()), 0);
    QCOMPARE(int(w.g->zoomed()), 1);
    QCOMPARE(w.g->viewStart(), 4.0);
    QCOMPARE(w.g->viewEnd(), 9.5);
    QCOMPARE(w.g->ListView1->rowCount(), 6); // records 4 to 9
    QCOMPARE(w.g->Plot->scaleWidth(), 5.5);
    QVERIFY(!w.anyPixel(kRed)); // the redraw cleared the drag line
}

void TstGraphPlot::noZoom_data()
{
    QTest::addColumn<float>("press");
    QTest::addColumn<float>("release");
    QTest::newRow("click without moving") << 5.0f << 5.0f;
    QTest::newRow("right to left") << 8.0f << 3.0f;
}

void TstGraphPlot::noZoom()
{
    QFETCH(float, press);
    QFETCH(float, release);
    Window w;
    w.set(ramp(20));
    w.g->DrawGraph();
    const int clears = w.g->Plot->clearCount();
    w.g->Plot_MouseDown(1, 0, press, 0);
    w.g->Plot_MouseUp(1, 0, release, 0);
    QCOMPARE(int(w.g->zoomed()), 0);
    QCOMPARE(w.g->viewEnd(), 20.0);
    QCOMPARE(w.g->Plot->clearCount(), clears);
    // The press position stays the start: the next redraw begins there.
    QCOMPARE(w.g->viewStart(), double(press));
    w.g->Check2->setChecked(!w.g->Check2->isChecked());
    QCOMPARE(w.g->ListView1->text(0, 7), QString::fromStdString(core::timeText(0, int(press))) + " ");
}

void TstGraphPlot::noRedLineAfterZoom()
{
    Window w;
    w.set(ramp(20));
    w.series(false, false, false, false, false, 1);
    w.g->Plot_MouseDown(1, 0, 2, 0);
    w.g->Plot_MouseUp(1, 0, 12, 0);
    QCOMPARE(int(w.g->zoomed()), 1);
    w.g->Plot_MouseDown(1, 0, 3, 0);
    w.g->Plot_MouseMove(1, 0, 8, 0);
    QVERIFY(!w.anyPixel(kRed));
    QCOMPARE(w.g->viewStart(), 2.0);
    w.g->Plot_MouseUp(1, 0, 9, 0);
    QCOMPARE(w.g->viewStart(), 2.0);
    QCOMPARE(w.g->viewEnd(), 12.0);
}

void TstGraphPlot::releaseBeyondLastRecord()
{
    Window w;
    w.set(ramp(20));
    w.g->Plot_MouseDown(1, 0, 0.2f, 0);
    QCOMPARE(w.g->viewStart(), 1.0); // never before the first record
    w.g->Plot_MouseUp(1, 0, 500, 0);
    QCOMPARE(int(w.g->zoomed()), 1);
    QCOMPARE(w.g->viewEnd(), 20.0); // never past the last
    QCOMPARE(w.g->ListView1->rowCount(), 20);
    QCOMPARE(w.g->ListView1->text(0, 7), QStringLiteral("00:01 "));
}

void TstGraphPlot::mouseThroughThePlot()
{
    Window w;
    w.set(ramp(11));
    w.g->DrawGraph(); // 10 units across
    QWidget *plot = w.g->Plot;
    const int width = plot->width();
    auto at = [&](double units) { return QPoint(int(units * width / 10.0) + 1, 20); };
    QTest::mouseMove(plot, at(4.2));
    QCOMPARE(w.g->vt->text(), QStringLiteral("00:05"));
    QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, at(2.2));
    QTest::mouseMove(plot, at(6.2));
    QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, at(6.2));
    QCOMPARE(int(w.g->zoomed()), 1);
    QVERIFY(std::abs(w.g->viewStart() - 2.2) < 0.1);
    QVERIFY(std::abs(w.g->viewEnd() - 6.2) < 0.1);
}

QTEST_MAIN(TstGraphPlot)
#include "tst_graphplot.moc"
