// SPDX-License-Identifier: GPL-3.0-or-later
#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace ui {

namespace {
double dpi()
{
    if (auto *screen = QGuiApplication::primaryScreen()) {
        const double d = screen->logicalDotsPerInch();
        if (d > 0)
            return d;
    }
    return 96.0;
}
} // namespace

int twipsToPixels(double twips) { return static_cast<int>(std::lround(twips * dpi() / 1440.0)); }

double pixelsToTwips(double pixels) { return pixels * 1440.0 / dpi(); }

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

void placeTwips(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(twipsRect(left, top, width, height));
}

void moveTwips(QWidget *w, int left, int top) { w->move(twipsToPixels(left), twipsToPixels(top)); }

QColor vbColour(quint32 value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

quint32 vbValue(const QColor &c)
{
    return quint32(c.red()) | (quint32(c.green()) << 8) | (quint32(c.blue()) << 16);
}

void setColours(QWidget *w, const QColor &back, const QColor &text)
{
    QPalette p = w->palette();
    if (back.isValid()) {
        p.setColor(QPalette::Window, back);
        p.setColor(QPalette::Base, back);
        p.setColor(QPalette::Button, back);
        w->setAutoFillBackground(true);
    }
    if (text.isValid()) {
        p.setColor(QPalette::WindowText, text);
        p.setColor(QPalette::Text, text);
        p.setColor(QPalette::ButtonText, text);
    }
    w->setPalette(p);
}

} // namespace ui
