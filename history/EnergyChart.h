// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bars of the History window: one per day of a month or per month of a
// year. It paints only the bars it was given; the page decides what they are.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

namespace history {

class EnergyChart : public QWidget {
    Q_OBJECT
public:
    struct Bar {
        double measured = 0, estimated = 0; // Wh; an estimated part is drawn hatched on top
        bool today = false;                 // still growing
    };

    explicit EnergyChart(QWidget *parent = nullptr);

    // `labels` names the bars under the axis; an empty text leaves a bar unnamed.
    void setBars(std::vector<Bar> bars, QStringList labels);
    const std::vector<Bar> &bars() const { return m_bars; }
    // The bar under a point of the widget; -1 for none.
    int barAt(const QPoint &p) const;
    // The column a bar stands in (it takes the pointer over its whole height).
    QRect barColumn(int index) const;
    int hoveredBar() const { return m_hovered; }

signals:
    // The pointer moved onto another bar; -1 when it left them.
    void hovered(int index);

protected:
    void paintEvent(QPaintEvent *) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void leaveEvent(QEvent *) override;

private:
    QRect plotArea() const;
    void setHovered(int index);

    std::vector<Bar> m_bars;
    QStringList m_labels;
    int m_hovered = -1;
};

} // namespace history
