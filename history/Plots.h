// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the History pages' charts and tables share: a white area a page
// paints its chart on, and a table that only shows.

#include <QPalette>
#include <QSize>
#include <QStringList>
#include <QWidget>

class QTableWidget;

namespace history {

// A chart of `Page`'s figures; the subclass paints.
template <class Page>
class PagePlot : public QWidget {
public:
    PagePlot(const Page *page, QSize least, QWidget *parent) : QWidget(parent), m_page(page)
    {
        setMinimumSize(least);
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::white);
        setPalette(p);
    }

protected:
    const Page *m_page;
};

// Headers stretched over the width, no row numbers, nothing to edit,
// select or focus.
QTableWidget *readOnlyTable(QWidget *parent, const QString &name, int rows, const QStringList &headers);
// A cell's text (made when missing): the first column to the left, the others to the right.
void setCell(QTableWidget *t, int r, int c, const QString &text);
// The table no taller than `rows` rows.
void fitRows(QTableWidget *t, int rows);
// A number for the pages, rounded to `decimals`.
QString number(double v, int decimals);

} // namespace history
