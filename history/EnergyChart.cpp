// SPDX-License-Identifier: GPL-3.0-or-later
#include "EnergyChart.h"

#include "core/Axis.h"
#include "core/Number.h"
#include "ui/Twips.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace history {

namespace {
const QColor kPlotBack(0, 32, 0);
const QColor kGrid(0, 96, 0);
const QColor kMeasured(0, 200, 0);
const QColor kToday(170, 255, 120);
const QColor kEstimatedBack(0, 80, 0);
const int kLeft = 52, kRight = 10, kTop = 30, kBottom = 22;

// The energy scale: from 0 in about five steps of 1, 2 or 5 times a power of ten.
core::NiceAxis scale(double highest)
{
    if (!(highest > 0))
        return {0, 1000, 200};
    return core::niceAxis(0, highest, 5);
}

void drawBarPart(QPainter &p, const QRectF &r, const QBrush &brush, const QColor &edge)
{
    if (r.height() <= 0)
        return;
    p.setPen(QPen(edge, 1));
    p.setBrush(brush);
    p.drawRect(r);
}

QBrush estimatedBrush() { return QBrush(ui::brightGreen(), Qt::BDiagPattern); }
} // namespace

EnergyChart::EnergyChart(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(300, 160);
}

void EnergyChart::setBars(std::vector<Bar> bars, QStringList labels)
{
    m_bars = std::move(bars);
    m_labels = std::move(labels);
    if (m_hovered >= int(m_bars.size()))
        setHovered(-1);
    update();
}

QRect EnergyChart::plotArea() const { return rect().adjusted(kLeft, kTop, -kRight, -kBottom); }

QRect EnergyChart::barColumn(int index) const
{
    const QRect a = plotArea();
    if (m_bars.empty() || index < 0 || index >= int(m_bars.size()))
        return QRect();
    const double w = double(a.width()) / double(m_bars.size());
    const int left = a.left() + int(std::lround(index * w)), right = a.left() + int(std::lround((index + 1) * w));
    return QRect(left, a.top(), right - left, a.height());
}

int EnergyChart::barAt(const QPoint &p) const
{
    const QRect a = plotArea();
    if (m_bars.empty() || !a.contains(p))
        return -1;
    const int i = int((p.x() - a.left()) * double(m_bars.size()) / a.width());
    return std::clamp(i, 0, int(m_bars.size()) - 1);
}

void EnergyChart::setHovered(int index)
{
    if (index == m_hovered)
        return;
    m_hovered = index;
    update();
    emit hovered(index);
}

void EnergyChart::mouseMoveEvent(QMouseEvent *e) { setHovered(barAt(e->position().toPoint())); }

void EnergyChart::leaveEvent(QEvent *) { setHovered(-1); }

void EnergyChart::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect a = plotArea();
    p.fillRect(rect(), palette().color(QPalette::Window));
    p.fillRect(a, kPlotBack);

    double highest = 0;
    for (const Bar &b : m_bars)
        highest = std::max(highest, b.measured + b.estimated);
    const core::NiceAxis axis = scale(highest);
    const double top = axis.high;
    const core::LinearScale y(0, top, a.bottom(), a.bottom() - a.height());
    const bool kilo = top >= 1000;
    const QFontMetrics fm(font());

    // Grid and the energy scale.
    p.setPen(ui::brightGreen());
    p.drawText(QRect(a.left(), 4, kLeft, kTop - 8), Qt::AlignLeft | Qt::AlignVCenter,
               kilo ? QStringLiteral("kWh") : QStringLiteral("Wh"));
    for (const double v : axis.ticks()) {
        const int yv = int(std::lround(y.pixel(v)));
        p.setPen(QPen(kGrid, 1, v == 0 ? Qt::SolidLine : Qt::DotLine));
        p.drawLine(a.left(), yv, a.right(), yv);
        p.setPen(ui::brightGreen());
        const QString text = QString::fromStdString(core::numberText(core::roundHalfEven(kilo ? v / 1000 : v, 3)));
        p.drawText(QRect(0, yv - fm.height() / 2, kLeft - 6, fm.height()), Qt::AlignRight | Qt::AlignVCenter, text);
    }

    for (int i = 0; i < int(m_bars.size()); ++i) {
        const Bar &b = m_bars[size_t(i)];
        const QRect column = barColumn(i);
        if (i == m_hovered)
            p.fillRect(column, QColor(0, 255, 0, 36));
        const double width = std::max(2.0, column.width() * 0.7);
        const double left = column.left() + (column.width() - width) / 2;
        const auto height = [&](double wh) { return a.bottom() - y.pixel(wh); };
        const double hm = height(b.measured), he = height(b.estimated);
        const QColor edge = i == m_hovered ? QColor(Qt::white) : ui::brightGreen();
        drawBarPart(p, QRectF(left, a.bottom() + 1 - hm, width, hm), b.today ? kToday : kMeasured, edge);
        if (he > 0) {
            const QRectF r(left, a.bottom() + 1 - hm - he, width, he);
            p.fillRect(r, kEstimatedBack);
            drawBarPart(p, r, estimatedBrush(), edge);
        }
        if (i < m_labels.size() && !m_labels[i].isEmpty()) {
            p.setPen(b.today ? kToday : ui::brightGreen());
            p.drawText(QRect(column.left() - 10, a.bottom() + 3, column.width() + 20, kBottom - 3),
                       Qt::AlignHCenter | Qt::AlignTop, m_labels[i]);
        }
    }
    p.setPen(QPen(kGrid, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(a.adjusted(0, 0, -1, -1));

    // The legend, along the top right.
    struct Key {
        QString text;
        QBrush brush;
        QColor back;
    };
    const Key keys[] = {
        {QStringLiteral("Measured"), kMeasured, kMeasured},
        {QStringLiteral("Estimated from the daily log (upper bound)"), estimatedBrush(), kEstimatedBack},
        {QStringLiteral("Today"), kToday, kToday}};
    int x = a.right();
    for (int k = 2; k >= 0; --k) {
        const int textWidth = fm.horizontalAdvance(keys[k].text);
        x -= textWidth;
        p.setPen(ui::brightGreen());
        p.drawText(QRect(x, 4, textWidth, kTop - 8), Qt::AlignLeft | Qt::AlignVCenter, keys[k].text);
        x -= 18;
        const QRect swatch(x, (kTop - 12) / 2, 12, 12);
        p.fillRect(swatch, keys[k].back);
        drawBarPart(p, swatch, keys[k].brush, ui::brightGreen());
        x -= 14;
    }
}

} // namespace history
