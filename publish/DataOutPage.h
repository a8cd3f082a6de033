// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Data out page of the Options window: edits "dataout.cfg" (the kind of
// database, its address and login, on or off) and shows what was sent, what
// waits and what fails. The password and the token are never shown back:
// left empty, the stored ones are kept for the same address.

#include "core/DataOut.h"
#include "ui/Options.h"
#include "ui/Services.h"

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace publish {

class DataOut;

class DataOutPage : public ui::OptionsPage {
    Q_OBJECT
public:
    // `dataOut` (may be null) gives what the page shows of the sending.
    DataOutPage(const ui::Services &services, DataOut *dataOut, QWidget *parent = nullptr);

    void Form_Load() override;
    bool check() override;
    bool save() override;

    QCheckBox *DataOutOn;
    QLineEdit *Kind, *Url, *Database, *User, *Password, *Org, *Bucket, *Token, *CaFile;
    QLabel *Status;

private:
    std::optional<core::DataOutSettings> read();
    void showStatus();

    ui::Services m_services;
    DataOut *m_dataOut;
    core::DataOutSettings m_stored;
};

} // namespace publish
