// SPDX-License-Identifier: GPL-3.0-or-later
#include "Canvas.h"

#include "Twips.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace ui {

Canvas::Canvas(QWidget *parent) : QWidget(parent)
{
    m_drawColour = palette().color(QPalette::WindowText);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resetImage();
}

Canvas::~Canvas() { endPainting(); }

const QImage &Canvas::image() const
{
    endPainting();
    return m_image;
}

QPainter &Canvas::painter()
{
    if (!m_painter) {
        ownPixels();
        m_painter = std::make_unique<QPainter>(&m_image);
    }
    return *m_painter;
}

// A plot draws tens of thousands of segments in a handful of colours, one
// colour after another. Each colour has a painter of its own, its pen set
// once, on the same pixels as the backing image: a painter writes the pixels
// of a call before the call returns, so the calls still paint in their order.
QPainter &Canvas::linePainter(const QColor &colour)
{
    const QRgb rgb = colour.rgba();
    for (const auto &l : m_linePainters)
        if (l->colour == rgb && l->width == m_lineWidth)
            return l->painter;
    ownPixels();
    // Held by pointer: a painter keeps the address of the image it paints on.
    auto &made = *m_linePainters.emplace_back(std::make_unique<LinePainter>(rgb, m_lineWidth, m_image));
    QPen pen(colour, m_lineWidth);
    pen.setCapStyle(Qt::FlatCap);
    made.painter.setPen(pen);
    return made.painter;
}

// Painters write straight into the image's pixels: a copy handed out by
// image() must not share them, so they are made the image's own before the
// first painter of a round starts.
void Canvas::ownPixels()
{
    if (!m_painter && m_linePainters.empty())
        m_image.detach();
}

void Canvas::endPainting() const
{
    if (m_painter) {
        m_painter->end();
        m_painter.reset();
    }
    m_linePainters.clear();
}

// Many draw calls between two paint events need one repaint request.
void Canvas::scheduleUpdate()
{
    if (m_updatePending)
        return;
    m_updatePending = true;
    update();
}

void Canvas::setBackgroundColour(const QColor &c)
{
    m_background = c;
    resetImage();
}

void Canvas::setPicture(const QImage &picture)
{
    m_picture = picture;
    resetImage();
}

void Canvas::setScaleWidth(double units) { m_scaleW = units; }
void Canvas::setScaleHeight(double units) { m_scaleH = units; }

double Canvas::scaleWidth() const { return m_scaleW != 0 ? m_scaleW : pixelsToTwips(width()); }
double Canvas::scaleHeight() const { return m_scaleH != 0 ? m_scaleH : pixelsToTwips(height()); }

void Canvas::resetImage()
{
    endPainting();
    const QSize size = this->size().expandedTo(QSize(1, 1));
    if (m_image.size() != size)
        m_image = QImage(size, QImage::Format_RGB32);
    m_image.fill(m_background);
    if (!m_picture.isNull()) {
        QPainter p(&m_image);
        p.drawImage(0, 0, m_picture);
    }
    update();
}

void Canvas::clear()
{
    ++m_clearCount;
    m_drawCount = 0;
    resetImage();
}

QPointF Canvas::toPixels(double x, double y) const { return toPixels(x, y, scaleHeight()); }

QPointF Canvas::toPixels(double x, double y, double sh) const
{
    const double sw = scaleWidth();
    const double px = sw != 0 ? x * width() / sw : 0;
    const double py = sh != 0 ? y * height() / sh : 0;
    return {px, py};
}

QPointF Canvas::toUnits(const QPointF &pixels) const
{
    const double w = std::max(1, width()), h = std::max(1, height());
    return {pixels.x() * scaleWidth() / w, pixels.y() * scaleHeight() / h};
}

void Canvas::line(double x1, double y1, double x2, double y2) { line(x1, y1, x2, y2, m_drawColour); }

void Canvas::line(double x1, double y1, double x2, double y2, const QColor &colour)
{
    ++m_drawCount;
    // toPixels() for both ends, its scale looked up once (a plot draws tens
    // of thousands of segments).
    const double sw = scaleWidth(), sh = scaleHeight(), w = width(), h = height();
    const QPointF a(sw != 0 ? x1 * w / sw : 0, sh != 0 ? y1 * h / sh : 0);
    const QPointF b(sw != 0 ? x2 * w / sw : 0, sh != 0 ? y2 * h / sh : 0);
    if (!std::isfinite(a.x()) || !std::isfinite(a.y()) || !std::isfinite(b.x()) || !std::isfinite(b.y()))
        return;
    QPainter &p = linePainter(colour);
    p.drawLine(a, b);
    scheduleUpdate();
}

void Canvas::rect(double x1, double y1, double x2, double y2, const QColor &colour, bool filled)
{
    ++m_drawCount;
    const QRectF r = QRectF(toPixels(x1, y1), toPixels(x2, y2)).normalized();
    if (!std::isfinite(r.x()) || !std::isfinite(r.y()) || !std::isfinite(r.width()) || !std::isfinite(r.height()))
        return;
    QPainter &p = painter();
    p.setPen(QPen(colour, m_lineWidth));
    p.setBrush(filled ? QBrush(colour) : QBrush());
    p.drawRect(r);
    scheduleUpdate();
}

std::optional<QRectF> Canvas::fillArea(double x1, double y1, double x2, double y2, double heightUnits) const
{
    const double sh = heightUnits != 0 ? heightUnits : pixelsToTwips(height());
    const QRectF r = QRectF(toPixels(x1, y1, sh), toPixels(x2, y2, sh)).normalized();
    if (!std::isfinite(r.x()) || !std::isfinite(r.y()) || !std::isfinite(r.width()) || !std::isfinite(r.height()))
        return std::nullopt;
    // At least one pixel each way, so that a narrow mark never vanishes.
    QRectF shown = r;
    if (shown.width() < 1)
        shown.setWidth(1);
    if (shown.height() < 1)
        shown.setHeight(1);
    return shown;
}

void Canvas::fill(double x1, double y1, double x2, double y2, const QColor &colour)
{
    ++m_drawCount;
    if (const auto area = fillArea(x1, y1, x2, y2, m_scaleH)) {
        painter().fillRect(*area, colour);
        scheduleUpdate();
    }
}

bool Canvas::fillCovers(const QRectF &later, const QRectF &earlier)
{
    // Areas of one size, the later one at most a fraction of a pixel to the
    // right, with both left edges inside one half pixel: whether a fill
    // rounds its left edge down or to the nearest pixel, both start at the
    // same pixel, and an area further right never ends further left.
    const double a = 2 * earlier.left(), b = 2 * later.left();
    return later.width() == earlier.width() && later.height() == earlier.height() && later.top() == earlier.top()
           && b >= a && std::floor(a) == std::floor(b) && a != std::floor(a);
}

void Canvas::paintEvent(QPaintEvent *)
{
    m_updatePending = false;
    endPainting();
    QPainter p(this);
    p.drawImage(0, 0, m_image);
}

void Canvas::resizeEvent(QResizeEvent *) { resetImage(); }

void Canvas::mousePressEvent(QMouseEvent *e)
{
    const QPointF u = toUnits(e->position());
    emit mouseDown(int(e->button()), u.x(), u.y());
}

void Canvas::mouseReleaseEvent(QMouseEvent *e)
{
    const QPointF u = toUnits(e->position());
    emit mouseUp(int(e->button()), u.x(), u.y());
}

void Canvas::mouseMoveEvent(QMouseEvent *e)
{
    const QPointF u = toUnits(e->position());
    emit mouseMove(int(e->buttons()), u.x(), u.y());
}

} // namespace ui
