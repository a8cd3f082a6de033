// SPDX-License-Identifier: GPL-3.0-or-later
#include "Dials.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace monitor {

QImage dialImage(int widthPx, int heightPx, int fullScale, const QString &legend)
{
    QImage img(widthPx, heightPx, QImage::Format_RGB32);
    img.fill(QColor(246, 244, 232));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // The pivot sits where the needle's pivot is: bottom centre, 12 twips
    // (under a pixel) above the bottom edge.
    const QPointF pivot(widthPx / 2.0, heightPx - 1.0);
    const double radius = std::min(pivot.x(), pivot.y()) - 1.0;

    p.setPen(QPen(Qt::black, 2));
    p.drawArc(QRectF(pivot.x() - radius * 0.92, pivot.y() - radius * 0.92, radius * 1.84, radius * 1.84), 0,
              180 * 16);

    QFont figures(QStringLiteral("Arial"));
    figures.setPixelSize(std::max(8, heightPx / 9));
    p.setFont(figures);
    for (int i = 0; i <= 4; ++i) {
        // 0 at the far left, full scale at the far right, half scale at the top.
        const double angle = M_PI - i * M_PI / 4;
        const double c = std::cos(angle), s = std::sin(angle);
        const QPointF outer(pivot.x() + c * radius * 0.92, pivot.y() - s * radius * 0.92);
        const QPointF inner(pivot.x() + c * radius * 0.78, pivot.y() - s * radius * 0.78);
        p.setPen(QPen(QColor(200, 0, 0), 2));
        p.drawLine(inner, outer);
        // The end figures sit just above the ends of the arc, clear of the bottom edge.
        const double lift = (i == 0 || i == 4) ? figures.pixelSize() : 0;
        const QPointF label(pivot.x() + c * radius * 0.80, pivot.y() - s * radius * 0.62 - lift);
        const QString text = QString::number(fullScale * i / 4);
        QRectF box(label.x() - 22, label.y() - 8, 44, 16);
        // Neighbouring meters overlap a little: keep clear of the right edge.
        if (box.right() > widthPx - 14)
            box.moveRight(widthPx - 14);
        if (box.left() < 2)
            box.moveLeft(2);
        p.drawText(box,
                   i == 0   ? Qt::AlignLeft | Qt::AlignVCenter
                   : i == 4 ? Qt::AlignRight | Qt::AlignVCenter
                            : Qt::AlignCenter,
                   text);
    }
    // Minor marks between the figures.
    p.setPen(QPen(QColor(200, 0, 0), 1));
    for (int i = 0; i <= 20; ++i) {
        const double angle = M_PI - i * M_PI / 20;
        const double c = std::cos(angle), s = std::sin(angle);
        p.drawLine(QPointF(pivot.x() + c * radius * 0.87, pivot.y() - s * radius * 0.87),
                   QPointF(pivot.x() + c * radius * 0.92, pivot.y() - s * radius * 0.92));
    }

    QFont legendFont(QStringLiteral("Arial"));
    legendFont.setBold(true);
    legendFont.setPixelSize(std::max(8, heightPx / 8));
    p.setFont(legendFont);
    p.setPen(QColor(200, 0, 0));
    p.drawText(QRectF(0, pivot.y() - radius * 0.42, widthPx, heightPx / 6.0), Qt::AlignCenter, legend);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    p.drawEllipse(pivot, 6, 6);
    return img;
}

} // namespace monitor
