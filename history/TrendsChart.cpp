// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrendsChart.h"

#include "ui/Twips.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

namespace history {

namespace {
const QColor kPlotBack(0, 32, 0);
const QColor kGrid(0, 96, 0);
const QColor kText(0, 255, 0);
const QColor kVolts(0, 230, 0), kVoltsBand(0, 150, 0, 110), kVoltsBandImported(150, 150, 0, 90);
const QColor kWatts(90, 210, 255), kWattsHigh(30, 120, 190);
const QColor kWind(255, 215, 90), kWindHigh(200, 140, 40);
const QColor kRpm(255, 140, 210);
const QColor kEnergy(0, 200, 0);

QColor seriesColour(core::TrendSeries s)
{
    switch (s) {
    case core::TrendSeries::Volts: return kVolts;
    case core::TrendSeries::Watts: return kWatts;
    case core::TrendSeries::Wind: return kWind;
    case core::TrendSeries::Rpm: return kRpm;
    case core::TrendSeries::Energy: return kEnergy;
    }
    return kText;
}

QPolygonF polygon(const std::vector<core::TrendPoint> &points)
{
    QPolygonF p;
    p.reserve(int(points.size()));
    for (const core::TrendPoint &t : points)
        p << QPointF(t.x, t.y);
    return p;
}

// Imported parts are dashed and hatched: maxima of logging intervals, not
// measured minutes.
QPen seriesPen(const QColor &c, double width, bool imported)
{
    QPen pen(c, width);
    if (imported)
        pen.setStyle(Qt::DashLine);
    return pen;
}
} // namespace

TrendsChart::TrendsChart(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(500, 260);
}

void TrendsChart::setData(const core::TrendData *data, const core::TrendShown &shown, core::OffsetAt zone)
{
    m_data = data;
    m_shown = shown;
    m_zone = std::move(zone);
    remake();
    update();
}

void TrendsChart::remake()
{
    m_picture = m_data ? core::trendPicture(*m_data, m_shown, width(), height(), m_zone) : core::TrendPicture();
}

int TrendsChart::columnAt(int x) const
{
    if (!m_data)
        return -1;
    const int c = x - core::kTrendLeft;
    return c >= 0 && c < m_data->columns ? c : -1;
}

void TrendsChart::setHovered(int column)
{
    if (column == m_hovered)
        return;
    m_hovered = column;
    update();
    emit hovered(column);
}

void TrendsChart::mouseMoveEvent(QMouseEvent *e)
{
    const double x = e->position().x();
    if (m_dragging) {
        emit panRequested(m_dragX - x);
        m_dragX = x;
    }
    setHovered(columnAt(int(x)));
}

void TrendsChart::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragX = e->position().x();
        setCursor(Qt::ClosedHandCursor);
    }
}

void TrendsChart::mouseReleaseEvent(QMouseEvent *)
{
    m_dragging = false;
    unsetCursor();
}

void TrendsChart::wheelEvent(QWheelEvent *e)
{
    const double notches = e->angleDelta().y() / 120.0;
    if (notches == 0)
        return;
    const int column = std::max(0, columnAt(int(e->position().x())));
    emit zoomRequested(std::pow(1.25, -notches), column);
    e->accept();
}

void TrendsChart::leaveEvent(QEvent *) { setHovered(-1); }

void TrendsChart::resizeEvent(QResizeEvent *)
{
    remake();
    emit resized();
}

void TrendsChart::paintEvent(QPaintEvent *)
{
    remake();
    const core::TrendPicture &pic = m_picture;
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    const QFontMetrics fm(font());
    const QRectF plot(pic.left, pic.top, pic.right - pic.left, pic.bottom - pic.top);
    if (pic.lanes.empty()) {
        p.setPen(kText);
        p.drawText(plot, Qt::AlignCenter, QStringLiteral("Switch on a series to see it."));
        return;
    }
    for (const core::TrendLane &lane : pic.lanes) {
        const QRectF area(pic.left, lane.top, pic.right - pic.left, lane.bottom - lane.top);
        p.fillRect(area, kPlotBack);
        p.setClipping(false);
        for (const core::TrendLabel &t : lane.ticks) {
            p.setPen(QPen(kGrid, 1, t.major ? Qt::SolidLine : Qt::DotLine));
            p.drawLine(QPointF(area.left(), t.at), QPointF(area.right(), t.at));
            p.setPen(kText);
            p.drawText(QRectF(0, t.at - fm.height() / 2.0, pic.left - 6, fm.height()),
                       Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(t.text));
        }
        for (const core::TrendLabel &t : pic.timeTicks) {
            p.setPen(QPen(kGrid, 1, t.major ? Qt::SolidLine : Qt::DotLine));
            p.drawLine(QPointF(t.at, area.top()), QPointF(t.at, area.bottom()));
        }
        p.setClipRect(area);
        const QColor colour = seriesColour(lane.series);
        p.setRenderHint(QPainter::Antialiasing, false);
        for (const core::TrendRect &b : lane.bars) {
            const QRectF r(b.x, b.y, b.w, b.h);
            if (b.imported) {
                // Hollow: from the daily logs.
                p.fillRect(r, QColor(0, 70, 0));
                p.setPen(QPen(colour, 1));
                p.setBrush(Qt::NoBrush);
                p.drawRect(r.adjusted(0, 0, -1, -1));
            } else {
                p.fillRect(r, colour);
            }
        }
        for (const core::TrendRun &run : lane.runs) {
            if (lane.series == core::TrendSeries::Volts) {
                // The band a column at a time: lines of one pixel are the fast path.
                QVector<QLineF> band;
                band.reserve(int(run.high.size()));
                for (size_t k = 0; k < run.high.size(); ++k)
                    band << QLineF(run.high[k].x, run.high[k].y, run.low[k].x, run.low[k].y);
                p.setPen(QPen(run.imported ? kVoltsBandImported : kVoltsBand, 1));
                p.drawLines(band);
            }
            if (lane.series == core::TrendSeries::Watts || lane.series == core::TrendSeries::Wind) {
                p.setPen(seriesPen(lane.series == core::TrendSeries::Watts ? kWattsHigh : kWindHigh, 1, run.imported));
                p.drawPolyline(polygon(run.high));
            }
            p.setPen(seriesPen(colour, 1, run.imported));
            if (run.mean.size() == 1)
                p.drawPoint(QPointF(run.mean[0].x, run.mean[0].y));
            else
                p.drawPolyline(polygon(run.mean));
        }
        p.setClipping(false);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(kGrid, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(area.adjusted(0, 0, -1, -1));
        p.setPen(colour);
        p.drawText(QRectF(area.left() + 6, area.top() + 2, area.width() - 12, fm.height()), Qt::AlignLeft,
                   QString::fromStdString(lane.title));
    }
    // Time labels along the bottom; one that would overlap the one before is left out.
    double lastRight = -1e9;
    for (const core::TrendLabel &t : pic.timeTicks) {
        const QString text = QString::fromStdString(t.text);
        const double w = fm.horizontalAdvance(text);
        const double left = std::clamp(t.at - w / 2, 0.0, double(width()) - w);
        if (left < lastRight + 6)
            continue;
        lastRight = left + w;
        QFont f = font();
        f.setBold(t.major);
        p.setFont(f);
        p.setPen(kText);
        p.drawText(QRectF(left, pic.bottom + 3, w + 4, fm.height()), Qt::AlignLeft, text);
    }
    p.setFont(font());
    if (pic.empty) {
        p.setPen(kText);
        p.drawText(plot, Qt::AlignCenter, QStringLiteral("The archive holds no data for this time."));
    }
    if (m_hovered >= 0) {
        const double x = pic.left + m_hovered + 0.5;
        p.setPen(QPen(QColor(255, 255, 255, 160), 1));
        p.drawLine(QPointF(x, pic.top), QPointF(x, pic.bottom));
    }
}

} // namespace history
