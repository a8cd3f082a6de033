// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The needle of an analog meter: a line from the pivot at the bottom centre
// of the picture box, in the picture box's own units (twips, y downwards).

namespace core {

struct Needle {
    float cx, cy; // pivot
    float x, y;   // tip
};

struct GaugeScale {
    double MinValue = 0, MaxValue = 100;
    double MinPos = 0, MaxPos = 30; // positions in 6-degree steps; 0..30 is a half circle
    double Inset = 0.1;
};

Needle needle(double widthTwips, double heightTwips, const GaugeScale &scale, double value);

} // namespace core
