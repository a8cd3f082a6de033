// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Power curve" page: the curve of one-minute averages from the archive
// (mean power per bin with +-1 standard deviation, each bin's minutes, mean
// RPM on a second axis, bins with too few minutes faint, the measured power
// held to the cut-out dashed), the annual energy measured and extrapolated,
// the power at 11 m/s, what is missing, the curtailed time, and with the
// rotor's diameter each bin's Cp and tip-speed ratio; with Export and Reset.

#include "core/PowerCurve.h"
#include "ui/Services.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace history {

class CertifiedPanel;

class PowerCurvePage : public QWidget {
    Q_OBJECT
public:
    // The archive is read again this often while the page is open.
    static constexpr int kReloadMs = 20 * 1000;

    // `windUnitText` is the unit the user reads winds in (WSUnits).
    PowerCurvePage(const ui::Services &services, const QString &windUnitText, QWidget *parent = nullptr);

    // Writes the curve and the estimate table to a file the user chooses.
    void Export_Click();
    // Starts a new curve after a confirmation; the old one is written out first.
    void Reset_Click();
    // Reads the curve and the settings again and shows them.
    void reload();

    const core::PowerCurve &curve() const { return m_curve; }
    const core::TurbineSettings &settings() const { return m_settings; }
    const core::WindUnit &unit() const { return m_unit; }
    QString unitText() const { return m_unitText; }
    // Where Reset writes the old curve now.
    QString keptFile() const;

    QWidget *Plot;
    QTableWidget *Estimate;
    QLabel *PowerAt11, *HoursOfData, *Note, *Curtailed;
    // Each bin against physics (Cp and the tip-speed ratio), in a tab of the
    // page's tables, and what it says in words.
    QTableWidget *Physics;
    QLabel *PhysicsNote;
    QPushButton *Export, *Reset;
    CertifiedPanel *Certified;

private:
    void refresh();

    ui::Services m_services;
    QString m_unitText;
    core::WindUnit m_unit;
    core::PowerCurve m_curve;
    core::TurbineSettings m_settings;
    QString m_problem;
    QTimer *m_reloadTimer;
    int m_tellingRow = -1; // of Physics
};

} // namespace history
