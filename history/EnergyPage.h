// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Energy" page of the History window: the energy of each day of a month,
// or of each month of a year, from logs/energy.csv, and the estimating of the
// days logged before that file was kept.

#include "core/EnergyHistory.h"
#include "ui/Services.h"

#include <QDate>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace history {

class EnergyChart;
class Estimator;

class EnergyPage : public QWidget {
    Q_OBJECT
public:
    EnergyPage(const ui::Services &services, QWidget *parent = nullptr);
    // Waits for an estimation still running; it writes nothing then.
    ~EnergyPage() override;

    // Reads energy.csv again (the main window rewrites it every minute).
    void reload();
    // Today's energy as the main window counts it, for a bar that grows
    // between the file's rewrites.
    void setToday(double wattHours);

    // The month or year shown; kept within the months that have days and today.
    void showMonth(int year, int month);
    void showYear(int year);
    void setYearView(bool on);
    // One month (or, in the year view, one year) back or on.
    void previous();
    void next();

    bool yearView() const { return m_yearView; }
    int shownYear() const { return m_year; }
    int shownMonth() const { return m_month; }
    const core::MonthSummary &month() const { return m_monthSummary; }
    const core::YearSummary &year() const { return m_yearSummary; }
    // What the read-out says of the bar under the pointer (empty: none).
    QString readout() const;

    // "Estimate missing days": the logged days energy.csv has no line for are
    // estimated from their logs on a worker thread, then written into the file
    // together. Never while one is running.
    void estimateMissing();
    bool estimating() const;

    QPushButton *previousButton, *nextButton, *viewButton, *estimateButton;
    QLabel *periodLabel, *totalLabel, *averageLabel, *bestLabel, *readoutLabel, *statusLabel;
    QProgressBar *progress;
    EnergyChart *chart;

signals:
    // The estimation has ended; `added` days were written.
    void estimationFinished(int added);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    // Handles the page's keys; false for others.
    bool navigate(int key);
    // The days with today's line taken from setToday when it is newer.
    std::vector<core::DayRecord> shownDays() const;
    void refresh();
    void showHovered(int index);
    void finishEstimation(int added, const QString &text);
    QString dayText(const core::DayRecord &d) const;
    // Month numbers (year × 12 + month - 1) the arrows may reach.
    std::pair<int, int> monthRange() const;

    ui::Services m_services;
    std::vector<core::DayRecord> m_days;
    std::optional<double> m_todayWh;
    QDate m_todayDate;
    bool m_yearView = false;
    int m_year = 0, m_month = 0;
    core::MonthSummary m_monthSummary;
    core::YearSummary m_yearSummary;
    QTimer *m_reloadTimer;
    std::unique_ptr<Estimator> m_estimator;
};

} // namespace history
