// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The graph window: loads one day's log for a range of times, plots each
// quantity on its own vertical scale, lists the records, shows the values
// under the pointer and zooms once per load on a left-to-right drag.

#include "core/LogLine.h"
#include "ui/Services.h"

#include <QByteArray>
#include <QDialog>
#include <QHash>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {
class Canvas;
class ReportList;
} // namespace ui

namespace graph {

class Graph : public QDialog {
    Q_OBJECT
public:
    // The series switches, each 1 (on) or 0, copied from the check boxes.
    struct Switches {
        int ShowV = 0, ShowA = 0, ShowW = 0, ShowR = 0, ShowS = 0, RefVZero = 0;
    };

    // Builds the controls at their row-layout positions (an edition may move
    // them afterwards) and runs Form_Load().
    Graph(const ui::Services &services, QWidget *parent = nullptr);

    // "Display": checks the entries, reads the day's log and loads it.
    void Command1_Click();
    // Keeps the chosen records as the window's records and draws them, or
    // says why there is nothing to draw.
    void load(core::DayRecords chosen);
    // Clears and redraws the plot, the list and the labels for ViewStart..ViewEnd.
    void DrawGraph();
    // Positions in the plot's current units; any button counts.
    void Plot_MouseDown(int button, int shift, float x, float y);
    void Plot_MouseUp(int button, int shift, float x, float y);
    void Plot_MouseMove(int button, int shift, float x, float y);

    // The loaded records; record position k (from 1) is records()[k - 1].
    const std::vector<core::LogRecord> &records() const { return m_records; }
    int graphCount() const { return int(m_records.size()); }
    double viewStart() const { return ViewStart; }
    double viewEnd() const { return ViewEnd; }
    // Sets the plotted range of record positions, as a drag does; DrawGraph shows it.
    void setView(double start, double end);
    bool zoomed() const { return Zoomed != 0; }
    bool mouseIsDown() const { return MouseIsDown != 0; }
    const Switches &switches() const { return m_switches; }
    const QString &wsUnits() const { return WSUnits; }

    // Controls, named as in the design.
    ui::Canvas *Plot;
    QLabel *vv, *av, *wv, *rv, *sv, *vt;
    QLabel *stime, *ftime;
    QCheckBox *Check1, *Check2, *Check3, *Check4, *Check5, *Check6;
    QLabel *VMin1, *VMax1, *AMin1, *AMax1, *WMin1, *WMax1, *RMin1, *RMax1, *SMin1, *SMax1;
    QLabel *Label12, *Label1, *Label2, *Label3;
    // Separators: Label4 and Label5 are the "/" after DateY1 and DateM1,
    // Label6 and Label7 the ":" between the hour and minute boxes.
    QLabel *Label4, *Label5, *Label6, *Label7;
    QLineEdit *DateY1, *DateM1, *DateD1, *Time1h, *Time1m, *Time2h, *Time2m;
    QPushButton *Command1, *Command2;
    ui::ReportList *ListView1;

private:
    // The load stops when more lines than this match.
    static constexpr std::size_t kRecordLimit = 9999;

    // What the entries name: the time range and the day.
    struct Entries {
        double StartTime, FinishTime;
        core::CalendarDate day;
    };

    void Form_Load();
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Check4_Click();
    void Check5_Click();
    void Check6_Click();
    // "Exit".
    void Command2_Click();

    // The entries read as a range and a day; nullopt after the message for
    // the first one that is wrong.
    std::optional<Entries> checkEntries();
    // The day's log (empty when the day has none); nullopt after telling the
    // user it cannot be read.
    std::optional<QByteArray> readDayLog(const core::CalendarDate &day);
    // Sets the switch from its box and redraws when there is something to draw.
    void checkClicked(QCheckBox *box, int &flag);
    // The index in records() of a record position (rounded, halves to even);
    // -1 when no loaded record is there.
    long recordIndex(double position) const;

    // The list row of record i, built again only when the record (or the
    // decimal separator) changed since it was last built.
    const QStringList &listRow(size_t i);
    // A list cell (number text or time text, and the blank after it) through
    // a memo that lives until the next DrawGraph: logged values and minutes
    // repeat a lot.
    const QString &cellText(double value);
    const QString &timeCellText(double dayTime);

    ui::Services m_services;
    std::vector<core::LogRecord> m_records;
    double ViewStart = 0, ViewEnd = 0;
    int Zoomed = 0;
    std::int16_t MouseIsDown = 0;
    Switches m_switches;
    QString WSUnits;

    struct CachedRow {
        bool built = false;
        char separator = 0;
        core::LogRecord record;
        QStringList row;
    };
    std::vector<CachedRow> m_rowCache;
    // The list's rows: for each, in list order, the index of its record in
    // *m_listedFrom, which is m_records or, after a load that drew nothing,
    // the records the list was made from.
    std::vector<size_t> m_listed;
    const std::vector<core::LogRecord> *m_listedFrom = &m_records;
    std::vector<core::LogRecord> m_pinned;
    QHash<double, QString> m_cellTexts, m_timeCellTexts;
};

} // namespace graph
