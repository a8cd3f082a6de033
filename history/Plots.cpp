// SPDX-License-Identifier: GPL-3.0-or-later
#include "Plots.h"

#include "core/Number.h"
#include "ui/Clock.h"
#include "ui/Files.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QThread>

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

WorkerRead::~WorkerRead()
{
    if (m_worker) {
        m_worker->disconnect();
        m_worker->wait();
        delete m_worker;
    }
}

bool WorkerRead::due() const
{
    return !m_worker && (m_readAt < 0 || (m_clock->monotonicSeconds() - m_readAt) * 1000 >= m_reloadMs);
}

void WorkerRead::start(QWidget *page, const char *name, std::function<void()> work, std::function<void()> done)
{
    m_worker = QThread::create(std::move(work));
    m_worker->setObjectName(QLatin1String(name));
    QObject::connect(m_worker, &QThread::finished, page, [this, done = std::move(done)] {
        m_worker->deleteLater();
        m_worker = nullptr;
        m_readAt = m_clock->monotonicSeconds();
        done();
    });
    m_worker->start(QThread::LowPriority);
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
