// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Power curve page's part on the certified curve: "Import certified curve",
// the annual energy of both curves at a 5 m/s Rayleigh mean (the label's
// figure), the ratio measured / certified per bin, and the performance (the
// energy measured over the energy the certified curve gives for the same
// minutes' winds) by day and by month, read from the archive on a thread of
// its own.

#include "core/Performance.h"
#include "ui/Services.h"

#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;
class QTabWidget;
class QThread;

namespace history {

class CertifiedPanel : public QWidget {
    Q_OBJECT
public:
    // The days shown, the latest first.
    static constexpr int kDaysShown = 31;

    CertifiedPanel(const ui::Services &services, QWidget *parent = nullptr);
    ~CertifiedPanel() override;

    // Asks for a curve file and keeps it; a bad file is told and changes nothing.
    void ImportCertified_Click();
    // The measured curve as the page has just read it.
    void showMeasured(const core::PowerCurve &curve, const core::TurbineSettings &settings);
    // Reads the kept curve again and starts reading the performance.
    void reload();

    // The kept curve; none before an import (or when it is damaged).
    const std::optional<std::vector<core::CurvePoint>> &certified() const { return m_certified; }
    // While the performance is being read.
    bool reading() const { return m_thread != nullptr; }

    QPushButton *ImportCertified;
    QLabel *CertifiedCurve, *LabelFigure, *Performance;
    QTabWidget *Tables;
    QTableWidget *Days, *Months, *Ratios;

signals:
    // The kept curve changed (the plot draws it).
    void certifiedChanged();

private:
    void startReading();
    void stopReading();
    void showPerformance(const std::optional<core::PerformanceBook> &book, const QString &why);
    void showSummary();

    ui::Services m_services;
    std::optional<std::vector<core::CurvePoint>> m_certified;
    QString m_problem;
    core::PowerCurve m_curve;
    core::TurbineSettings m_settings;
    QThread *m_thread = nullptr;
    std::shared_ptr<std::atomic<bool>> m_cancel;
};

} // namespace history
