// SPDX-License-Identifier: GPL-3.0-or-later
#include "editions/Editions.h"
#include "graph/Graph.h"
#include "monitor/Logger.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QFont>
#include <QLabel>

namespace editions {

namespace {
using ui::placeTwips;

QLabel *readoutLabel(monitor::Logger &w, const QString &name, const QString &caption, int meter)
{
    return monitor::Logger::quantityLabel(&w, name, caption, meter);
}

void layout(monitor::Logger &w)
{
    w.setFixedSize(ui::twipsToPixels(13800), ui::twipsToPixels(10800));

    // The meter column, top to bottom: volts, amps, RPM, wind, watts, watt-hours.
    struct Meter {
        int index, pictureTop, height;
        QLabel *title;
        int titleTop, titleHeight, valueTop, valueHeight;
    };
    const int heights[6] = {1500, 1500, 1515, 1530, 1515, 1500};
    const int widths[6] = {2580, 2610, 2610, 2610, 2610, 2610};
    const Meter meters[6] = {
        {0, 0, heights[0], w.Label1, 1470, 375, 1485, 375},
        {1, 1725, heights[1], w.Label2, 3240, 375, 3240, 375},
        {4, 3525, heights[4], w.Label5[6], 5010, 375, 5040, 375},
        {5, 5280, heights[5], w.Labe6[1], 6750, 405, 6765, 405},
        {2, 7035, heights[2], w.Label3, 8520, 375, 8535, 375},
        {3, 8775, heights[3], w.Label4, 10320, 300, 10320, 300},
    };
    for (const Meter &m : meters) {
        ui::Canvas *pic = w.Picture1[size_t(m.index)];
        placeTwips(pic, 120, m.pictureTop, widths[m.index], m.height);
        pic->setScaleWidth(widths[m.index]);
        pic->setScaleHeight(m.height);
        placeTwips(m.title, 120, m.titleTop, 1815, m.titleHeight);
        placeTwips(w.Label5[size_t(m.index)], 1950, m.valueTop, 735, m.valueHeight);
    }
    w.Label4->setText(QStringLiteral("   WATT HOURS"));
    w.Label5[6]->setText(QStringLiteral("           MILL RPM"));
    w.Labe6[1]->setText(QStringLiteral("    WIND SPEED"));

    // The block of numeric read-outs.
    w.Label6 = readoutLabel(w, QStringLiteral("Label6"), QStringLiteral("            VOLTS"), 0);
    w.Label7 = readoutLabel(w, QStringLiteral("Label7"), QStringLiteral("           AMPS"), 1);
    w.Label5[9] = readoutLabel(w, QStringLiteral("Label5(9)"), QStringLiteral("           MILL RPM"), 4);
    w.Labe6[0] = readoutLabel(w, QStringLiteral("Labe6(0)"), QStringLiteral("    WIND SPEED"), 5);
    w.Label8 = readoutLabel(w, QStringLiteral("Label8"), QStringLiteral("            WATTS"), 2);
    w.Label11 = readoutLabel(w, QStringLiteral("Label11"), QStringLiteral("   WATT HOURS"), 3);
    const std::pair<int, int> values[] = {{7, 0}, {8, 1}, {10, 4}, {11, 5}, {12, 2}, {13, 3}};
    for (const auto &[index, meter] : values)
        w.Label5[size_t(index)] = readoutLabel(w, QStringLiteral("Label5(%1)").arg(index), QString(), meter);

    placeTwips(w.Label6, 6000, 9480, 1815, 300);
    placeTwips(w.Label5[7], 7800, 9480, 735, 300);
    placeTwips(w.Labe6[0], 8880, 9480, 1815, 300);
    placeTwips(w.Label5[11], 10695, 9480, 735, 300);
    placeTwips(w.Label7, 6000, 9840, 1815, 300);
    placeTwips(w.Label5[8], 7800, 9840, 735, 300);
    placeTwips(w.Label8, 8880, 9840, 1815, 300);
    placeTwips(w.Label5[12], 10695, 9840, 735, 300);
    placeTwips(w.Label5[9], 6000, 10200, 1815, 300);
    placeTwips(w.Label5[10], 7815, 10200, 735, 300);
    placeTwips(w.Label11, 8880, 10200, 1815, 300);
    placeTwips(w.Label5[13], 10695, 10200, 735, 300);

    // The top row of controls.
    placeTwips(w.txtMode, 480, 120, 1410, 375);
    placeTwips(w.Exit, 4320, 0, 675, 315);
    placeTwips(w.Label9_0, 5040, 120, 555, 255);
    placeTwips(w.BlinkLog, 5760, 120, 150, 135);
    placeTwips(w.Label10, 6000, 120, 795, 255);
    placeTwips(w.BlinkData, 6720, 120, 150, 150);
    placeTwips(w.delay, 7080, 0, 600, 285);
    placeTwips(w.StartLogging, 8160, 0, 675, 315);
    placeTwips(w.StopLogging, 9360, 0, 675, 315);
    placeTwips(w.CalibrateButton, 10560, 0, 675, 315);
    placeTwips(w.Setup, 11760, 0, 675, 315);
    placeTwips(w.ShowLogs, 12960, 0, 675, 315);
    placeTwips(w.ListView1, 4320, 120, 120, 165);
    // Our own controls in the free space right of the meters: History (under
    // Graph) and Options (under Setup) below the top row, the alarm banner and
    // the link-status line above the read-out block, as wide as the top row
    // reaches.
    placeTwips(w.HistoryButton, 12960, 480, 675, 315);
    // Wider than the original buttons: its caption is longer.
    placeTwips(w.OptionsButton, 11760, 480, 855, 315);
    // The banner grows upwards into the free space, one alarm a line.
    placeTwips(w.AlarmBanner, 6000, 7140, 7635, 1875);
    w.AlarmBanner->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    w.AlarmBanner->setProperty("oneAlarmALine", true);
    placeTwips(w.LinkStatus, 6000, 9120, 7635, 300);
    // The list lies inside the area of Exit; the button stays readable over it.
    w.ListView1->lower();
    w.txtMode->raise();
}
// The graph window keeps its controls; the plot is narrower and the controls
// below it move to suit.
void layoutGraph(graph::Graph &g)
{
    using ui::moveTwips;
    // Wide enough for the "Wind Speed" box, which reaches past the plot.
    g.setFixedSize(ui::twipsToPixels(11955), g.height());
    placeTwips(g.Plot, 0, 240, 11355, 5235);
    moveTwips(g.av, 2040, 0);
    moveTwips(g.wv, 3480, 0);
    moveTwips(g.rv, 4920, 0);
    moveTwips(g.vt, 8040, 0);
    moveTwips(g.sv, 6360, 0);
    moveTwips(g.ftime, 10350, 45);
    moveTwips(g.Check1, 1485, 5520);
    moveTwips(g.Check2, 3765, 5520);
    moveTwips(g.Check3, 6000, 5520);
    moveTwips(g.Check4, 8325, 5520);
    moveTwips(g.Check5, 10560, 5520);
    moveTwips(g.Check6, 960, 6120);
    moveTwips(g.VMin1, 0, 5520);
    moveTwips(g.VMax1, 0, 5760);
    moveTwips(g.AMin1, 2280, 5520);
    moveTwips(g.AMax1, 2160, 5760);
    moveTwips(g.WMin1, 4560, 5520);
    moveTwips(g.WMax1, 4560, 5760);
    moveTwips(g.RMin1, 6840, 5520);
    moveTwips(g.RMax1, 6840, 5760);
    moveTwips(g.SMin1, 9120, 5520);
    moveTwips(g.SMax1, 9000, 5760);
    moveTwips(g.Label12, 840, 6600);
    moveTwips(g.Label1, 165, 6855);
    moveTwips(g.DateY1, 750, 6840);
    moveTwips(g.DateM1, 1380, 6840);
    moveTwips(g.DateD1, 1875, 6840);
    moveTwips(g.Label2, 120, 7455);
    moveTwips(g.Label3, 1440, 7440);
    moveTwips(g.Time1h, 630, 7410);
    moveTwips(g.Time1m, 1080, 7410);
    moveTwips(g.Time2h, 1680, 7410);
    moveTwips(g.Time2m, 2160, 7410);
    moveTwips(g.Command2, 9360, 7440);
    // The separators move with their boxes.
    for (QWidget *separator : {static_cast<QWidget *>(g.Label4), static_cast<QWidget *>(g.Label5),
                               static_cast<QWidget *>(g.Label6), static_cast<QWidget *>(g.Label7)})
        separator->move(separator->x() - ui::twipsToPixels(120), separator->y() + ui::twipsToPixels(240));
    g.ListView1->resize(g.ListView1->width(), ui::twipsToPixels(2025));
}
} // namespace

const monitor::Edition &flankdial()
{
    static const monitor::Edition edition{QStringLiteral("flankdial"), &layout, true, &layoutGraph};
    return edition;
}

} // namespace editions
