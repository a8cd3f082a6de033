// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReportList.h"

#include "Twips.h"

#include <QHeaderView>

namespace ui {

int ReportModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : rows(); }

int ReportModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_titles.size());
}

QVariant ReportModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows())
        return {};
    const QStringList &texts = row(index.row());
    return index.column() < texts.size() ? texts[index.column()] : QString();
}

QVariant ReportModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (role != Qt::DisplayRole || o != Qt::Horizontal || section < 0 || section >= m_titles.size())
        return {};
    return m_titles[section];
}

void ReportModel::setColumns(const QStringList &titles)
{
    beginResetModel();
    m_titles = titles;
    endResetModel();
}

void ReportModel::setRows(std::vector<QStringList> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_source = nullptr;
    m_sourceCount = 0;
    endResetModel();
}

void ReportModel::setRowSource(int count, RowSource row)
{
    beginResetModel();
    m_rows.clear();
    m_source = std::move(row);
    m_sourceCount = count;
    endResetModel();
}

void ReportModel::addRow(const QStringList &row)
{
    if (m_source) {
        // Rows added to a made list are kept as texts from here on.
        std::vector<QStringList> kept;
        for (int i = 0; i < m_sourceCount; ++i)
            kept.push_back(m_source(i));
        setRows(std::move(kept));
    }
    const int n = int(m_rows.size());
    beginInsertRows(QModelIndex(), n, n);
    m_rows.push_back(row);
    endInsertRows();
}

void ReportModel::clearRows() { setRows({}); }

ReportList::ReportList(QWidget *parent) : QTableView(parent), m_model(new ReportModel(this))
{
    setModel(m_model);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setShowGrid(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    // A column as narrow as 1 twip hides its item text; the style's minimum
    // would widen it and push the last column out of sight.
    horizontalHeader()->setMinimumSectionSize(1);
}

void ReportList::clearColumns()
{
    m_widths.clear();
    m_model->setColumns({});
}

void ReportList::addColumn(const QString &title, int widthTwips)
{
    QStringList titles = m_model->titles();
    titles << title;
    m_widths << widthTwips;
    m_model->setColumns(titles);
    for (int i = 0; i < m_widths.size(); ++i)
        setColumnWidth(i, std::max(1, twipsToPixels(m_widths[i])));
}

void ReportList::setHeadersVisible(bool visible) { horizontalHeader()->setVisible(visible); }

void ReportList::setListFont(const QString &family, double points)
{
    QFont f(family);
    f.setPointSizeF(points);
    setFont(f);
}

void ReportList::clearRows() { m_model->clearRows(); }

void ReportList::addRow(const QStringList &cells) { m_model->addRow(cells); }

void ReportList::setRows(std::vector<QStringList> rows) { m_model->setRows(std::move(rows)); }

void ReportList::setRowSource(int count, ReportModel::RowSource row)
{
    m_model->setRowSource(count, std::move(row));
}

QString ReportList::text(int row, int column) const
{
    if (row < 0 || row >= m_model->rows() || column < 0)
        return {};
    const QStringList &texts = m_model->row(row);
    return column < texts.size() ? texts[column] : QString();
}

QString ReportList::columnTitle(int column) const
{
    return column >= 0 && column < m_model->titles().size() ? m_model->titles()[column] : QString();
}

int ReportList::columnWidthTwips(int column) const
{
    return column >= 0 && column < m_widths.size() ? m_widths[column] : 0;
}

} // namespace ui
