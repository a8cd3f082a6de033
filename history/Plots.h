// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the History pages' charts and tables share: a white area a page
// paints its chart on, and a table that only shows.

#include <QPalette>
#include <QSize>
#include <QStringList>
#include <QWidget>

#include <functional>

class QThread;
namespace ui {
class Clock;
}

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

// A page's read of the archive on a worker thread. Shown, the page reads
// again once its last read is older than `reloadMs`. Declared after what the
// work fills in, so that it is destroyed first: it waits for a read going.
class WorkerRead {
public:
    WorkerRead(const ui::Clock *clock, int reloadMs) : m_clock(clock), m_reloadMs(reloadMs) { }
    ~WorkerRead();
    WorkerRead(const WorkerRead &) = delete;
    WorkerRead &operator=(const WorkerRead &) = delete;

    bool busy() const { return m_worker != nullptr; }
    // Not busy, and never read or read longer ago than reloadMs.
    bool due() const;
    // `work` on a thread named `name`, then `done` on `page`'s thread.
    void start(QWidget *page, const char *name, std::function<void()> work, std::function<void()> done);

private:
    const ui::Clock *m_clock;
    int m_reloadMs;
    QThread *m_worker = nullptr;
    double m_readAt = -1; // the clock's monotonic seconds; -1: never
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
