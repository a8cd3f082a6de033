// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Power curve" page: the measured curve (mean power per bin with +-1
// standard deviation, each bin's frame count, mean RPM on a second axis),
// the annual energy estimate, the power at 11 m/s and the hours of data, with
// Export and Reset.

#include "ui/Services.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace history {

class PowerCurveKeeper;

class PowerCurvePage : public QWidget {
    Q_OBJECT
public:
    // Bins with fewer frames are drawn faint.
    static constexpr int kFewFrames = 10;

    PowerCurvePage(PowerCurveKeeper *keeper, const ui::Services &services, QWidget *parent = nullptr);

    // Writes the bins and the estimate table to a file the user chooses.
    void Export_Click();
    // Starts a new curve after a confirmation; the old file is kept.
    void Reset_Click();
    // Brings the table and the labels up to date with the curve.
    void refresh();

    QWidget *Plot;
    QTableWidget *Estimate;
    QLabel *PowerAt11, *HoursOfData, *Note;
    QPushButton *Export, *Reset;

private:
    PowerCurveKeeper *m_keeper;
    ui::Services m_services;
    // Frames come many a second; the table follows at most twice a second.
    QTimer *m_refreshTimer;
};

} // namespace history
