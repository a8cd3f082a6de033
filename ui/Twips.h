// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Positions and sizes are given in twips (1/1440 inch); they are converted
// once, here, at the screen's logical DPI (15 twips per pixel at 96 dpi).

#include <QColor>
#include <QRect>

class QWidget;

namespace ui {

int twipsToPixels(double twips);
double pixelsToTwips(double pixels);
QRect twipsRect(int left, int top, int width, int height);
// Moves and sizes a widget; widths and heights given in twips.
void placeTwips(QWidget *w, int left, int top, int width, int height);
// Moves a widget, keeping its size.
void moveTwips(QWidget *w, int left, int top);

// A colour value whose low byte is red, then green, then blue (255 = red).
QColor vbColour(quint32 value);
// The same colour as a 24-bit value in that byte order.
quint32 vbValue(const QColor &c);

// Sets a widget's back colour (and, when valid, its text colour) through its palette.
void setColours(QWidget *w, const QColor &back, const QColor &text = QColor());

// The two colours of the secondary windows.
inline QColor darkGreen() { return QColor(0, 64, 0); }
inline QColor brightGreen() { return QColor(0, 255, 0); }

} // namespace ui
