// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A picture box: an optional background picture, and drawing that persists in
// a backing image until the next clear(). Coordinates are user units with the
// origin at the top-left corner; by default one unit is one twip. The width and
// the height in units can be set independently at any time (a plot sets the
// height again before each quantity, giving each its own vertical scale).

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

class QPainter;

namespace ui {

class Canvas : public QWidget {
    Q_OBJECT
public:
    explicit Canvas(QWidget *parent = nullptr);
    ~Canvas() override;

    void setBackgroundColour(const QColor &c);
    QColor backgroundColour() const { return m_background; }
    // Shown at the top-left corner under everything drawn.
    void setPicture(const QImage &picture);

    // Width and height in units; 0 means "in twips" (the default).
    void setScaleWidth(double units);
    void setScaleHeight(double units);
    double scaleWidth() const;
    double scaleHeight() const;

    void setLineWidth(int pixels) { m_lineWidth = pixels < 1 ? 1 : pixels; }
    int lineWidth() const { return m_lineWidth; }
    void setDrawColour(const QColor &c) { m_drawColour = c; }
    QColor drawColour() const { return m_drawColour; }

    // Removes everything drawn at run time; the background and picture stay.
    void clear();
    // A line in the current drawing colour, or in the given one.
    void line(double x1, double y1, double x2, double y2);
    void line(double x1, double y1, double x2, double y2, const QColor &colour);
    // A rectangle between two opposite corners, outlined or filled.
    void rect(double x1, double y1, double x2, double y2, const QColor &colour, bool filled);
    // A filled rectangle without an outline, between two opposite corners;
    // cheap enough for thousands of small marks.
    void fill(double x1, double y1, double x2, double y2, const QColor &colour);

    // The area in pixels that fill() paints for these corners when the
    // height in units is `heightUnits` (0: in twips); nullopt when nothing.
    std::optional<QRectF> fillArea(double x1, double y1, double x2, double y2, double heightUnits) const;
    // Whether a fill of area `later` certainly paints every pixel a fill of
    // `earlier` paints, whichever way the fill rounds its edges to pixels.
    static bool fillCovers(const QRectF &later, const QRectF &earlier);

    // Unit <-> pixel conversion with the current scale.
    QPointF toPixels(double x, double y) const;
    QPointF toUnits(const QPointF &pixels) const;

    // The backing image (what the canvas shows).
    const QImage &image() const;
    // Number of draw calls since the last clear (lines and rectangles).
    int drawCount() const { return m_drawCount; }
    int clearCount() const { return m_clearCount; }

signals:
    // Mouse events in units; button as Qt::MouseButton bits.
    void mouseDown(int button, double x, double y);
    void mouseUp(int button, double x, double y);
    void mouseMove(int button, double x, double y);

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;

private:
    void resetImage();
    QPointF toPixels(double x, double y, double scaleHeight) const;
    // One painter stays open on the backing image across draw calls (a plot
    // draws tens of thousands of segments); it is ended before the image is
    // shown, replaced or handed out.
    QPainter &painter();
    void endPainting() const;
    void scheduleUpdate();
    QPainter &linePainter(const QColor &colour);
    void ownPixels();
    mutable std::unique_ptr<QPainter> m_painter;
    struct LinePainter {
        LinePainter(QRgb c, int w, QImage &image)
            : colour(c), width(w),
              pixels(image.bits(), image.width(), image.height(), image.bytesPerLine(), image.format()),
              painter(&pixels)
        { }
        QRgb colour;
        int width;
        QImage pixels;    // the backing image's pixels, not a copy
        QPainter painter; // ends before the image it paints on goes
    };
    mutable std::vector<std::unique_ptr<LinePainter>> m_linePainters;
    bool m_updatePending = false;
    QColor m_background = Qt::white;
    QImage m_picture;
    QImage m_image;
    double m_scaleW = 0, m_scaleH = 0;
    int m_lineWidth = 1;
    QColor m_drawColour;
    int m_drawCount = 0;
    int m_clearCount = 0;
};

} // namespace ui
