#pragma once
// The graph window: loads one day's log for a range of times, plots each
// quantity on its own vertical scale, lists the records, shows the values
// under the pointer and zooms once per load on a left-to-right drag.

#include "ui/Services.h"

#include <QByteArray>
#include <QHash>
#include <QDialog>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <string_view>
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
    // Record arrays hold indices 0 to 10000; records occupy 1 to GraphCount.
    static constexpr int kCapacity = 10001;
    // The load stops when this many lines match.
    static constexpr int kRecordLimit = 9999;

    // Builds the controls at their row-layout positions (an edition may move
    // them afterwards) and runs Form_Load().
    Graph(const ui::Services &services, QWidget *parent = nullptr);

    void Form_Load();
    // "Display": checks the entries, reads the day's log and draws it.
    void Command1_Click();
    // Clears and redraws the plot, the list and the labels for ViewStart..ViewEnd.
    void DrawGraph();
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Check4_Click();
    void Check5_Click();
    void Check6_Click();
    // "Exit".
    void Command2_Click();
    // Positions in the plot's current units; any button counts.
    void Plot_MouseDown(int button, int shift, float x, float y);
    void Plot_MouseUp(int button, int shift, float x, float y);
    void Plot_MouseMove(int button, int shift, float x, float y);

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

    // Window state.
    int GraphCount = 0;
    double ViewStart = 0, ViewEnd = 0;
    int Zoomed = 0;
    std::int16_t MouseIsDown = 0;
    int ShowV = 0, ShowA = 0, ShowW = 0, ShowR = 0, ShowS = 0, RefVZero = 0;
    std::string DisplayRPM, DisplayWS;
    QString WSUnits;
    double StartTime = 0, FinishTime = 0;
    // The lines of the last file read; views into its text, kept until the next load.
    std::vector<std::string_view> LogLines;
    // Parallel record arrays, kCapacity entries each, allocated once.
    std::vector<double> GraphT, GraphV, GraphI, GraphW, GraphR, GraphS;
    std::vector<std::int16_t> GraphM;

private:
    // Sets the switch from its box and redraws when there is something to draw.
    void checkClicked(QCheckBox *box, int &flag);
    // Rounds a record position to its index (halves to even); -1 when it lies
    // outside the arrays.
    static long recordIndex(double position);

    // The list row of record k, built again only when its values (or the
    // decimal separator) changed since it was last built.
    const QStringList &listRow(size_t k);
    // Number text through a memo that lives for one DrawGraph call: logged
    // values repeat a lot, and thousands of rows are built at once.
    const QString &numberText(double value);

    ui::Services m_services;
    QByteArray m_logText;
    struct CachedRow {
        bool built = false;
        char separator = 0;
        double T = 0, V = 0, I = 0, W = 0, R = 0, S = 0;
        std::int16_t M = 0;
        QStringList row;
    };
    std::vector<CachedRow> m_rowCache;
    QHash<double, QString> m_numberTexts;
};

} // namespace graph
