// SPDX-License-Identifier: GPL-3.0-or-later
// The graph window's picture, pixel for pixel: the plot drawn by the window
// must equal the picture drawn the plain way, one painter call per segment
// and per mark in the documented order, on a canvas of the same size. Both
// editions' plots, full, sparse and gappy days, zoomed views and every
// combination of the tick boxes.

#include "editions/Editions.h"
#include "graph/Graph.h"

#include "core/Number.h"
#include "support/TestSupport.h"
#include "ui/Canvas.h"

#include <QCheckBox>
#include <QPainter>
#include <QtTest>
#include <cmath>
#include <memory>

namespace {

using Records = std::vector<core::LogRecord>;

// Like a logged day: slow swings with noise; amps and watts cross 0 and the
// load switches on and off. `zeros` marks stretches without frames (all 0).
Records day(int count, int zerosEvery)
{
    Records out;
    unsigned noise = 777;
    auto jitter = [&noise] {
        noise = noise * 1103515245u + 12345u;
        return double((noise >> 16) % 1000) / 1000.0 - 0.5;
    };
    for (int i = 0; i < count; ++i) {
        core::LogRecord r;
        r.T = (1 + i * 1437.0 / std::max(1, count - 1)) / 1440.0;
        const double swing = std::sin(i / (count / 14.0 + 1)), wind = 0.5 + 0.5 * std::sin(i / (count / 22.0 + 1));
        if (zerosEvery == 0 || (i / 40) % zerosEvery != 1) {
            r.V = std::round((12.8 + 0.9 * swing + 0.05 * jitter()) * 100) / 100;
            r.I = std::round((6 * wind - 1.5 + 0.4 * jitter()) * 100) / 100;
            r.W = std::round(r.V * r.I * 100) / 100;
            r.R = std::round(40 + 500 * wind + 20 * jitter());
            r.S = std::round((3 + 15 * wind + 1.5 * jitter()) * 10) / 10;
        }
        r.M = std::int16_t((i / (count / 33 + 1)) % 2);
        out.push_back(r);
    }
    return out;
}

// Every volts value the same (a range of 0), RPM above 1000.
Records flat(int count)
{
    Records out;
    for (int i = 0; i < count; ++i)
        out.push_back({(i + 1) / 1440.0, 13.2, 2, 26.4, 1200.0 + i, 4, std::int16_t(i % 3 == 0)});
    return out;
}

// Record k (from 1) at a position, rounded halves to even; -1 outside.
long recordAt(double p, std::size_t count)
{
    const double k = std::nearbyint(p); // the default rounding is to even
    return k >= 1 && k <= double(count) ? long(k) - 1 : -1;
}

struct Extremes {
    double max, min;
    void take(double v)
    {
        max = v > max ? v : max;
        min = v < min ? v : min;
    }
    double range() const { return max - min; }
    double span() const { return range() > 0 ? range() / 20 + range() : 2; }
};

// The plot of `g`'s records and view drawn the plain way.
QImage plainPicture(const graph::Graph &g, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(0, 64, 0));
    const Records &recs = g.records();
    const double start = g.viewStart(), end = g.viewEnd();
    if (!(start < end))
        return image;
    const auto &on = g.switches();
    Extremes v{0, on.RefVZero == 1 ? 0.0 : 100.0}, a{-500, 500}, w{-2000, 2000}, r{0, 1000}, s{0, 1000};
    for (double p = start; p <= end; p += 1) {
        const long k = recordAt(p, recs.size());
        if (k < 0)
            continue;
        v.take(recs[k].V);
        a.take(recs[k].I);
        w.take(recs[k].W);
        r.take(recs[k].R);
        s.take(recs[k].S);
    }
    QPainter painter(&image);
    double height = 0;
    const double width = end - start;
    auto at = [&](double x, double y) { return QPointF(x * size.width() / width, y * size.height() / height); };
    auto line = [&](double x1, double y1, double x2, double y2, QColor c) {
        QPen pen(c, 1);
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        painter.drawLine(at(x1, y1), at(x2, y2));
    };
    const QColor cyan(0, 255, 255);
    height = a.span();
    if (a.max > 0 && a.min < 0)
        line(start, a.max, end, a.max, cyan);
    height = w.span();
    if (w.max > 0 && w.min < 0)
        line(start, w.max, end, w.max, cyan);
    auto segment = [&](const Extremes &e, double core::LogRecord::*value, long j, long k, double x, QColor c) {
        height = e.span();
        if (e.range() > 0)
            line(x - 1, e.max - recs[j].*value + e.range() / 40, x, e.max - recs[k].*value + e.range() / 40, c);
        else
            line(x - 1, 1, x, 1, c);
    };
    for (double p = start + 1; p <= end; p += 1) {
        const long k = recordAt(p, recs.size()), j = recordAt(p - 1, recs.size());
        if (k < 0 || j < 0)
            continue;
        const double x = p - start;
        if (recs[k].M == 1) {
            // One unit right of the segment ending at the record, moving with
            // the lines in a zoomed view; at least a pixel each way.
            QRectF mark = QRectF(at(x, 0), at(x + 1, v.max)).normalized();
            mark.setWidth(std::max(1.0, mark.width()));
            mark.setHeight(std::max(1.0, mark.height()));
            painter.fillRect(mark, QColor(128, 128, 255));
        }
        if (on.ShowV == 1)
            segment(v, &core::LogRecord::V, j, k, x, QColor(255, 0, 0));
        if (on.ShowA == 1)
            segment(a, &core::LogRecord::I, j, k, x, QColor(0, 255, 0));
        if (on.ShowW == 1)
            segment(w, &core::LogRecord::W, j, k, x, QColor(0, 0, 255));
        if (on.ShowR == 1)
            segment(r, &core::LogRecord::R, j, k, x, QColor(255, 255, 0));
        if (on.ShowS == 1)
            segment(s, &core::LogRecord::S, j, k, x, QColor(255, 255, 255));
    }
    return image;
}

} // namespace

class TstGraphPicture : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { core::setDecimalSeparator('.'); }
    void samePicture_data();
    void samePicture();
};

void TstGraphPicture::samePicture_data()
{
    QTest::addColumn<bool>("flank");
    QTest::addColumn<QString>("data");
    QTest::addColumn<double>("start"); // 0: the whole load
    QTest::addColumn<double>("end");
    QTest::addColumn<int>("ticks"); // bits: volts, amps, watts, RPM, wind, Ref V to 0v
    for (bool flank : {false, true}) {
        const char *edition = flank ? "flankdial" : "crestdial";
        // Every combination of the six boxes on a full day.
        for (int ticks = 0; ticks < 64; ++ticks)
            QTest::addRow("%s full day, boxes %02x", edition, ticks) << flank << "full" << 0.0 << 0.0 << ticks;
        for (const char *data : {"sparse", "gaps", "flat"})
            for (int ticks : {0x3f, 0x07, 0x21, 0x10})
                QTest::addRow("%s %s, boxes %02x", edition, data, ticks)
                    << flank << QString::fromLatin1(data) << 0.0 << 0.0 << ticks;
        QTest::addRow("%s full day zoomed 1200.4 to 1890.3", edition)
            << flank << "full" << 1200.4 << 1890.3 << 0x3f;
        QTest::addRow("%s full day zoomed 10.5 to 60.5", edition) << flank << "full" << 10.5 << 60.5 << 0x1f;
        QTest::addRow("%s gaps zoomed 3.2 to 1999.9", edition) << flank << "gaps" << 3.2 << 1999.9 << 0x3f;
        QTest::addRow("%s sparse zoomed 2.5 to 7.5", edition) << flank << "sparse" << 2.5 << 7.5 << 0x2f;
        // A record a pixel and half a pixel wide: marks on pixel edges.
        const double pixels = flank ? 757 : 969;
        QTest::addRow("%s full day, a record a pixel", edition) << flank << "full" << 1.0 << 1 + pixels << 0x3f;
        QTest::addRow("%s full day, a record half a pixel", edition)
            << flank << "full" << 1.0 << 1 + 2 * pixels << 0x01;
    }
}

void TstGraphPicture::samePicture()
{
    QFETCH(bool, flank);
    QFETCH(QString, data);
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(int, ticks);
    testsupport::ProgramFolder folder;
    folder.write(QStringLiteral("prog.cfg"), testsupport::progCfg("1", "0", "0", "60", "0", "1", "1", "mph"));
    testsupport::FakeServices fake(folder.path());
    graph::Graph g(fake.services());
    if (flank)
        editions::flankdial().layoutGraphWindow(g);
    g.show();
    Records recs = data == "full"     ? day(9999, 0)
                   : data == "sparse" ? day(40, 0)
                   : data == "gaps"   ? day(2000, 3)
                                      : flat(300);
    // Boxes ticked before the load, so that its draw is the one compared;
    // the last box is ticked again after it (a tick box's redraw).
    QCheckBox *boxes[] = {g.Check1, g.Check2, g.Check3, g.Check4, g.Check5, g.Check6};
    for (int b = 0; b < 6; ++b)
        boxes[b]->setChecked(ticks & (1 << b));
    boxes[5]->setChecked(!boxes[5]->isChecked());
    g.load({recs, false});
    boxes[5]->setChecked(!boxes[5]->isChecked());
    if (start != 0) {
        g.setView(start, end);
        g.DrawGraph();
    }
    const QImage shown = g.Plot->image();
    const QImage plain = plainPicture(g, shown.size());
    QVERIFY(shown.size() == (flank ? QSize(757, 349) : QSize(969, 349)));
    if (shown != plain) {
        int differ = 0, firstX = -1, firstY = -1;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (shown.pixel(x, y) != plain.pixel(x, y) && differ++ == 0) {
                    firstX = x;
                    firstY = y;
                }
        QFAIL(qPrintable(
            QStringLiteral("%1 pixels differ, the first at %2,%3").arg(differ).arg(firstX).arg(firstY)));
    }
}

QTEST_MAIN(TstGraphPicture)
#include "tst_graphpicture.moc"
