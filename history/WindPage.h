// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Wind" page: the site's wind from the archive (hours a year in each
// bin with the fitted Weibull drawn over them, the mean wind by year and
// month, the strongest gust, the calm share, k and c) and the site's own
// annual energy beside the Rayleigh table. The archive is read on a worker
// thread, with the share read shown.

#include "core/PowerCurve.h"
#include "Plots.h"
#include "core/WindStats.h"
#include "ui/Services.h"

#include <QWidget>
#include <atomic>
#include <optional>

class QLabel;
class QTableWidget;

namespace history {

class WindPage : public QWidget {
    Q_OBJECT
public:
    // Shown again after this long, the page reads the archive again.
    static constexpr int kReloadMs = 60 * 1000;

    // `windUnitText` is the unit the user reads winds in (WSUnits).
    WindPage(const ui::Services &services, const QString &windUnitText, QWidget *parent = nullptr);
    // Stops a read still going and waits for it.
    ~WindPage() override;

    // Starts reading the archive (unless a read is going).
    void reload();
    bool reading() const { return m_read.busy(); }

    const core::WindStats &wind() const { return m_wind; }

    QWidget *Plot;
    QLabel *Status, *Summary;
    QTableWidget *Means, *Site, *Rayleigh;

signals:
    // A read has ended and the page shows it.
    void loaded();

protected:
    void showEvent(QShowEvent *e) override;

private:
    void finish();
    void refresh();

    ui::Services m_services;
    QString m_unitText;
    core::WindUnit m_unit;
    core::WindStats m_wind;
    core::PowerCurve m_curve;
    core::TurbineSettings m_settings;
    QString m_problem;
    std::atomic<bool> m_cancel{false};
    std::atomic<int> m_percent{0};
    // Filled by the worker; read only after it has ended.
    struct Result {
        std::optional<core::WindStats> wind;
        std::optional<core::PowerCurve> curve;
        core::TurbineSettings settings;
        QString why;
    } m_result;
    WorkerRead m_read{m_services.clock, kReloadMs};
};

} // namespace history
