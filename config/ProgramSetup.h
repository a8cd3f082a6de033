// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The setup window: edits the eight program settings of "prog.cfg".

#include "ui/Services.h"

#include <QCheckBox>
#include <QDialog>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

namespace config {

// A check box with the states 0, 1 and 2 (greyed). The user toggles only
// between unchecked and checked; the greyed state comes from the file.
class TriCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;
    int value() const;
    void setValue(int state);

protected:
    void nextCheckState() override;
};

class ProgramSetup : public QDialog {
    Q_OBJECT
public:
    ProgramSetup(const ui::Services &services, QWidget *parent = nullptr);

    // Window load: fills the entries from "prog.cfg".
    void Form_Load();
    // "Save Setings": checks the port entry, writes "prog.cfg" and closes.
    void Command1_Click();

    QLineEdit *PortNumber, *LogDelay, *WSUnits;
    TriCheckBox *Savehtml, *SaveExcel, *LogOn, *DisplayRPM, *DisplayWS;
    QPushButton *Command1;

private:
    std::vector<TriCheckBox *> ticks() const;
    // The settings file's key of an entry.
    static std::string key(const QWidget *entry);
    // Marks the entries that must be numbers while they are not.
    void markNumbers();
    ui::Services m_services;
};

} // namespace config
