// SPDX-License-Identifier: GPL-3.0-or-later
#include "editions/Editions.h"
#include "monitor/Logger.h"
#include "ui/Twips.h"

namespace editions {

namespace {
using ui::placeTwips;

// Height of the strip along the bottom that holds our own controls: the
// status line, and under it room for two lines of alarms.
constexpr int kStrip = 840;

void layout(monitor::Logger &w)
{
    // The window grows a strip along its bottom (from 2400 twips down) for the
    // controls we add; every other control keeps its place. Left: History
    // (under Start) and Options under it; right of them, from under Stop, the
    // link-status line across the window and the alarm banner under it.
    w.setFixedSize(ui::twipsToPixels(14940), ui::twipsToPixels(2400 + kStrip));

    // Meters 0..5: volts, amps, watts, watt-hours, RPM, wind.
    const int pictures[6][4] = {{240, -30, 2580, 1500},   {2640, -30, 2610, 1500}, {9840, -15, 2610, 1515},
                                {12240, -15, 2610, 1530}, {5040, -45, 2610, 1515}, {7440, -15, 2610, 1500}};
    for (int i = 0; i < 6; ++i) {
        placeTwips(w.Picture1[size_t(i)], pictures[i][0], pictures[i][1], pictures[i][2], pictures[i][3]);
        w.Picture1[size_t(i)]->setScaleWidth(pictures[i][2]);
        w.Picture1[size_t(i)]->setScaleHeight(pictures[i][3]);
    }
    const int labelTop = 1575, labelHeight = 300;
    const int values[6][2] = {{1965, 735}, {4365, 735}, {11595, 735}, {14070, 735}, {6840, 735}, {9270, 705}};
    for (int i = 0; i < 6; ++i)
        placeTwips(w.Label5[size_t(i)], values[i][0], labelTop, values[i][1], labelHeight);
    placeTwips(w.Label1, 240, labelTop, 1725, labelHeight);
    placeTwips(w.Label2, 2760, labelTop, 1725, labelHeight);
    placeTwips(w.Label5[6], 5160, labelTop, 1725, labelHeight);
    placeTwips(w.Labe6[1], 7620, labelTop, 1725, labelHeight);
    placeTwips(w.Label3, 10005, labelTop, 1650, labelHeight);
    placeTwips(w.Label4, 12360, labelTop, 1725, labelHeight);

    placeTwips(w.StartLogging, 360, 1980, 675, 315);
    placeTwips(w.StopLogging, 1560, 1980, 675, 315);
    placeTwips(w.CalibrateButton, 2760, 1980, 675, 315);
    placeTwips(w.Label9_0, 4080, 2040, 555, 255);
    placeTwips(w.BlinkLog, 4800, 2040, 150, 135);
    placeTwips(w.Label10, 5040, 2040, 795, 255);
    placeTwips(w.BlinkData, 5760, 2040, 150, 150);
    placeTwips(w.delay, 6120, 1980, 600, 285);
    placeTwips(w.Setup, 7560, 1980, 675, 315);
    placeTwips(w.ShowLogs, 8760, 1980, 675, 315);
    placeTwips(w.Exit, 9960, 1980, 675, 315);
    placeTwips(w.txtMode, 600, 120, 1410, 375);
    placeTwips(w.ListView1, 10080, 2040, 360, 165);
    // The list lies inside the area of Exit; the button stays readable over it.
    w.ListView1->lower();
    w.txtMode->raise();

    // Options is wider than the original buttons: its caption is longer.
    placeTwips(w.HistoryButton, 360, 2445, 675, 315);
    placeTwips(w.OptionsButton, 360, 2820, 855, 315);
    placeTwips(w.LinkStatus, 1560, 2490, 13260, 255);
    placeTwips(w.AlarmBanner, 1560, 2745, 13260, 480);
}
} // namespace

const monitor::Edition &crestdial()
{
    static const monitor::Edition edition{QStringLiteral("crestdial"), &layout, false, nullptr};
    return edition;
}

} // namespace editions
