// SPDX-License-Identifier: GPL-3.0-or-later
#include "Plots.h"

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

} // namespace history
