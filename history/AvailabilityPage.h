// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Availability" page: what every minute was, as stacked bars by day
// (the last 31) and by month (the last 24), the turbine's availability by
// time and by energy for each month and year, and the energy lost by cause.
// The archive's tallies are read on a worker thread.

#include "Plots.h"
#include "archive/AvailabilityReport.h"
#include "ui/Services.h"

#include <QDate>
#include <QWidget>
#include <optional>

class QLabel;
class QTableWidget;

namespace history {

class AvailabilityPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kReloadMs = 60 * 1000;
    static constexpr int kDays = 31, kMonths = 24;

    explicit AvailabilityPage(const ui::Services &services, QWidget *parent = nullptr);
    ~AvailabilityPage() override;

    void reload();
    bool reading() const { return m_read.busy(); }
    const archive::AvailabilityBook &book() const { return m_book; }
    QDate today() const;

    QWidget *Days, *Months;
    QLabel *Status, *Summary;
    QTableWidget *Periods, *Causes;

signals:
    void loaded();

protected:
    void showEvent(QShowEvent *e) override;

private:
    void finish();
    void refresh();

    ui::Services m_services;
    archive::AvailabilityBook m_book;
    QString m_problem;
    // Filled by the worker; read only after it has ended.
    std::optional<archive::AvailabilityBook> m_result;
    QString m_why;
    WorkerRead m_read{m_services.clock, kReloadMs};
};

} // namespace history
