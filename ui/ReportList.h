// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A list view in report view: columns with a title and a width, rows of
// texts (the item text in column 0, sub-items after it). Model/view, so a
// list of thousands of rows costs one model reset, not a widget per row.

#include <QAbstractTableModel>
#include <QStringList>
#include <QTableView>
#include <functional>
#include <vector>

namespace ui {

class ReportModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    void setColumns(const QStringList &titles);
    void setRows(std::vector<QStringList> rows);
    // `count` rows made by `row` when they are shown or read, for lists of
    // thousands of rows of which a dozen are in sight. `row` must give the
    // same texts for as long as the list holds it.
    using RowSource = std::function<const QStringList &(int row)>;
    void setRowSource(int count, RowSource row);
    void addRow(const QStringList &row);
    void clearRows();
    int rows() const { return m_source ? m_sourceCount : int(m_rows.size()); }
    // The texts of one row (row in 0 .. rows() - 1).
    const QStringList &row(int row) const { return m_source ? m_source(row) : m_rows[size_t(row)]; }
    const QStringList &titles() const { return m_titles; }

private:
    QStringList m_titles;
    std::vector<QStringList> m_rows;
    RowSource m_source;
    int m_sourceCount = 0;
};

class ReportList : public QTableView {
    Q_OBJECT
public:
    explicit ReportList(QWidget *parent = nullptr);

    void clearColumns();
    void addColumn(const QString &title, int widthTwips);
    void setHeadersVisible(bool visible);
    void setListFont(const QString &family, double points);

    void clearRows();
    void addRow(const QStringList &cells);
    void setRows(std::vector<QStringList> rows);
    void setRowSource(int count, ReportModel::RowSource row);

    int rowCount() const { return m_model->rows(); }
    int columnCount() const { return m_model->columnCount(); }
    // The text of a cell ("" when out of range).
    QString text(int row, int column) const;
    QString columnTitle(int column) const;
    int columnWidthTwips(int column) const;

private:
    ReportModel *m_model;
    QList<int> m_widths;
};

} // namespace ui
