// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The chart of the "Trends" page: paints the picture core::trendPicture makes
// of the data it was given, and turns the mouse into requests to the page
// (zoom at a time, pan by seconds, the column under the pointer).

#include "core/Trends.h"

#include <QWidget>

namespace history {

class TrendsChart : public QWidget {
    Q_OBJECT
public:
    explicit TrendsChart(QWidget *parent = nullptr);

    void setData(const core::TrendData *data, const core::TrendShown &shown, core::OffsetAt zone);
    // What the last paint drew (or would draw now, before the first one).
    const core::TrendPicture &picture() const { return m_picture; }
    // The column of the plot under x; -1 outside.
    int columnAt(int x) const;
    int hoveredColumn() const { return m_hovered; }
    // The number of columns the plot has at the present width.
    int columns() const { return core::trendColumnsFor(width()); }

signals:
    void hovered(int column);
    // Zoom by `factor` (below 1: in) keeping the time under column `column`.
    void zoomRequested(double factor, int column);
    // Pan by this many columns (positive: later).
    void panRequested(double columns);
    void resized();

protected:
    void paintEvent(QPaintEvent *) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void leaveEvent(QEvent *) override;
    void resizeEvent(QResizeEvent *) override;

private:
    void remake();
    void setHovered(int column);

    const core::TrendData *m_data = nullptr;
    core::TrendShown m_shown{};
    core::OffsetAt m_zone;
    core::TrendPicture m_picture;
    int m_hovered = -1;
    bool m_dragging = false;
    double m_dragX = 0;
};

} // namespace history
