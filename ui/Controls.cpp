// SPDX-License-Identifier: GPL-3.0-or-later
#include "Controls.h"

#include <QLineEdit>

#include "Twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPalette>
#include <algorithm>

namespace ui {

ValueHolder::ValueHolder(int index, int minimum, int maximum, QObject *parent)
    : QObject(parent), m_index(index), m_min(minimum), m_max(maximum), m_value(minimum)
{
    setObjectName(QStringLiteral("VScroll1(%1)").arg(index));
}

void ValueHolder::setValue(int value)
{
    value = std::clamp(value, m_min, m_max);
    if (value == m_value)
        return;
    m_value = value;
    emit changed(m_index);
}

LampButton::LampButton(QWidget *parent) : QPushButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setFlat(true);
    setAutoFillBackground(true);
    setBackColour(buttonFace());
}

QColor LampButton::buttonFace() { return QApplication::palette().color(QPalette::Button); }

void LampButton::setBackColour(const QColor &c)
{
    m_colour = c;
    QPalette p = palette();
    p.setColor(QPalette::Button, c);
    p.setColor(QPalette::Window, c);
    setPalette(p);
    update();
}

QLabel *makeLabel(QWidget *parent, const QString &name, const QString &caption, int left, int top, int width,
                  int height, const QColor &text, Qt::Alignment align)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    placeTwips(label, left, top, width, height);
    setColours(label, darkGreen(), text);
    label->setAlignment(align | Qt::AlignVCenter);
    return label;
}

QLabel *greenLabel(QWidget *parent, const QString &name, const QString &caption, const QRect &at)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    setColours(label, darkGreen(), brightGreen());
    if (at.isValid())
        label->setGeometry(at);
    return label;
}

QLineEdit *greenEntry(QWidget *parent, const QString &name, const QString &text)
{
    auto *entry = new QLineEdit(text, parent);
    entry->setObjectName(name);
    setColours(entry, brightGreen(), Qt::black);
    return entry;
}

QCheckBox *greenTickBox(QWidget *parent, const QString &name, const QString &caption, const QRect &at)
{
    auto *c = new QCheckBox(caption, parent);
    c->setObjectName(name);
    if (at.isValid())
        c->setGeometry(at);
    setColours(c, darkGreen(), brightGreen());
    QPalette p = c->palette();
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    c->setPalette(p);
    return c;
}

QLineEdit *PageRows::entry(QWidget *parent, const char *name, const QString &caption, int row, int width) const
{
    greenLabel(parent, QStringLiteral("Label%1").arg(QLatin1String(name)), caption,
               QRect(8, rowTop(row), entryLeft - 12, 20));
    QLineEdit *e = greenEntry(parent, QLatin1String(name));
    e->setGeometry(entryLeft, rowTop(row), width > 0 ? width : entryWidth, 20);
    return e;
}

QCheckBox *PageRows::tickBox(QWidget *parent, const char *name, const QString &caption, int row) const
{
    return greenTickBox(parent, QLatin1String(name), caption, QRect(entryLeft, rowTop(row), entryWidth, 20));
}

void markEntry(QLineEdit *entry, const QString &why)
{
    QPalette p = entry->palette();
    // Dark red: it reads on the bright green of the entries.
    p.setColor(QPalette::Text, why.isEmpty() ? QColor(Qt::black) : QColor(176, 0, 0));
    entry->setPalette(p);
    entry->setToolTip(why);
}

QPushButton *button(QWidget *parent, const QString &name, const QString &caption, const QRect &at)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    if (at.isValid())
        b->setGeometry(at);
    return b;
}

QPushButton *greenButton(QWidget *parent, const QString &name, const QString &caption)
{
    QPushButton *b = button(parent, name, caption);
    setColours(b, brightGreen(), Qt::black);
    return b;
}

} // namespace ui
