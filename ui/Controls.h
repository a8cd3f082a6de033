// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small controls the windows are built from: the hidden value holder, the
// lamp button and helpers for labels.

#include <QColor>
#include <QObject>
#include <QPushButton>
#include <QRect>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace ui {

// An integer value holder with limits (a hidden scroll bar in the original
// design). Setting a different value raises changed() synchronously; setting
// the value it already has raises nothing. Values outside the limits are
// clamped into them.
class ValueHolder : public QObject {
    Q_OBJECT
public:
    ValueHolder(int index, int minimum, int maximum, QObject *parent = nullptr);
    int index() const { return m_index; }
    int value() const { return m_value; }
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    void setValue(int value);

signals:
    void changed(int index);

private:
    int m_index, m_min, m_max, m_value;
};

// A small button used only for its colour.
class LampButton : public QPushButton {
    Q_OBJECT
public:
    explicit LampButton(QWidget *parent = nullptr);
    void setBackColour(const QColor &c);
    QColor backColour() const { return m_colour; }
    // The system colour for button faces ("off").
    static QColor buttonFace();

private:
    QColor m_colour;
};

// A label on dark green with the given name, caption, text colour and twips
// geometry; its text is centred vertically.
QLabel *makeLabel(QWidget *parent, const QString &name, const QString &caption, int left, int top, int width,
                  int height, const QColor &text, Qt::Alignment align = Qt::AlignLeft);

// The controls of the secondary windows, named for tests and tools; placed
// at `at` (in pixels) when it is given, else by the window. Labels: bright
// green on dark green. Entries: black on bright green.
QLabel *greenLabel(QWidget *parent, const QString &name, const QString &caption = QString(),
                   const QRect &at = QRect());
QLineEdit *greenEntry(QWidget *parent, const QString &name, const QString &text = QString());
// A tick box in bright green on dark green whose box stays white, so that an
// unticked box shows on the dark back.
QCheckBox *greenTickBox(QWidget *parent, const QString &name, const QString &caption, const QRect &at = QRect());

// The rows of an Options page: a caption, then its entry or tick box at
// `entryLeft`, a row every `rowHeight` pixels from `top`.
struct PageRows {
    int top = 8, rowHeight = 24, entryLeft = 160, entryWidth = 250;
    int rowTop(int row) const { return top + row * rowHeight; }
    QLineEdit *entry(QWidget *parent, const char *name, const QString &caption, int row, int width = 0) const;
    QCheckBox *tickBox(QWidget *parent, const char *name, const QString &caption, int row) const;
};
// Marks an entry whose text is wrong: red text and `why` as its tool tip;
// an empty `why` takes the mark off.
void markEntry(QLineEdit *entry, const QString &why);
// A button that Enter in an entry field never presses.
QPushButton *button(QWidget *parent, const QString &name, const QString &caption, const QRect &at = QRect());
// The same in black on bright green.
QPushButton *greenButton(QWidget *parent, const QString &name, const QString &caption);

} // namespace ui
