// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A list view in report view: columns with a title and a width, rows of
// texts (the item text in column 0, sub-items after it). Model/view, so a
// list of thousands of rows costs one model reset, not a widget per row.

#include <QAbstractTableModel>
#include <QStringList>
#include <QTableView>
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
    void addRow(const QStringList &row);
    void clearRows();
    const std::vector<QStringList> &rows() const { return m_rows; }
    const QStringList &titles() const { return m_titles; }

private:
    QStringList m_titles;
    std::vector<QStringList> m_rows;
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

    int rowCount() const { return int(m_model->rows().size()); }
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
