// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Trends" page of the History window: the archive over a day, a week, a
// month, a year, all of it or the dates the user gives, in lanes that share
// one time axis (battery volts, power, wind, RPM, energy bars). The rows come
// through a read-only connection of the page's own, from the table the range
// needs (minutes, hours or days), and are kept for a span around the shown
// one so that panning and zooming seldom read again. "Import daily logs"
// fills the days before the archive on a worker thread.

#include "core/Trends.h"
#include "ui/Services.h"

#include <QWidget>
#include <array>
#include <memory>

class QCheckBox;
class QDateEdit;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace archive {
class ArchiveDb;
class LogImporter;
} // namespace archive

namespace history {

class TrendsChart;

class TrendsPage : public QWidget {
    Q_OBJECT
public:
    enum class Range { Day, Week, Month, Year, All, Dates };

    // `zone` turns UTC into the wall clock's time (the computer's zone
    // unless a test gives another).
    TrendsPage(const ui::Services &services, core::OffsetAt zone = {}, QWidget *parent = nullptr);
    ~TrendsPage() override;

    // The range ending now (or all of the archive), shown whole.
    void showRange(Range range);
    // From the start of one local day to the end of another.
    void showDates(const QDate &from, const QDate &to);
    // The view: zoomed by `factor` (below 1: in) around the time at `column`,
    // panned by a share of its width, or back to the whole range.
    void zoom(double factor, int column);
    void pan(double columns);
    void home();
    // Reads the rows again (new minutes came, or an import ended).
    void reload();

    void Export_Click();
    void Import_Click();
    bool importing() const;

    const core::TrendData &data() const { return m_data; }
    const core::TrendPicture &picture() const;
    Range range() const { return m_range; }
    QString readout() const;

    QPushButton *dayButton, *weekButton, *monthButton, *yearButton, *allButton;
    QDateEdit *fromEdit, *toEdit;
    std::array<QCheckBox *, core::kTrendSeries> seriesBoxes;
    QPushButton *exportButton, *importButton, *cancelButton;
    QLabel *readoutLabel, *statusLabel, *legendLabel;
    QProgressBar *progress;
    TrendsChart *chart;

signals:
    void importFinished(long long added);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *e) override;
    // The rows are read when the page is first shown, not with the window.
    void showEvent(QShowEvent *e) override;

private:
    struct Cache {
        bool valid = false;
        core::TrendTable table = core::TrendTable::Minute;
        std::int64_t from = 0, to = 0;
        std::vector<core::ArchiveRow> rows;
    };
    bool navigate(int key);
    void setView(std::int64_t from, std::int64_t to);
    void refresh();
    void showHovered(int column);
    // The rows of `table` over [from, to), from the cache or read with a margin.
    const std::vector<core::ArchiveRow> &rowsOf(Cache &cache, core::TrendTable table, std::int64_t from,
                                                std::int64_t to);
    bool openArchive();
    std::int64_t now() const;
    void markRangeButtons();

    ui::Services m_services;
    core::OffsetAt m_zone;
    // The computer's zone: the importer's thread then makes one of its own.
    bool m_localZone = false;
    std::string m_windUnit;
    std::unique_ptr<archive::ArchiveDb> m_db;
    std::unique_ptr<archive::LogImporter> m_importer;
    Range m_range = Range::Day;
    std::int64_t m_rangeFrom = 0, m_rangeTo = 0, m_from = 0, m_to = 0;
    Cache m_curve, m_bars;
    core::TrendData m_data;
    QString m_problem;
    bool m_stale = true;
    bool m_problemShown = false;
    QTimer *m_reloadTimer;
};

} // namespace history
