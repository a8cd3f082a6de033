// SPDX-License-Identifier: GPL-3.0-or-later
#include "Plots.h"

#include "core/Number.h"
#include "ui/Files.h"

#include <QHeaderView>
#include <QTableWidget>

namespace history {

QTableWidget *readOnlyTable(QWidget *parent, const QString &name, int rows, const QStringList &headers)
{
    auto *t = new QTableWidget(rows, int(headers.size()), parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels(headers);
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::NoSelection);
    t->setFocusPolicy(Qt::NoFocus);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 4);
    return t;
}

void setCell(QTableWidget *t, int r, int c, const QString &text)
{
    auto *item = t->item(r, c);
    if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
        t->setItem(r, c, item);
    }
    item->setText(text);
}

void fitRows(QTableWidget *t, int rows)
{
    t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->setFixedHeight(t->horizontalHeader()->sizeHint().height() + rows * t->verticalHeader()->defaultSectionSize()
                      + 4);
}

QString number(double v, int decimals) { return ui::fromLocal(core::numberText(core::roundHalfEven(v, decimals))); }

} // namespace history
