// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Backup page of the Options window: the daily backup ("backup.cfg"),
// the folder it goes to (marked when chosen), a backup now, and when the
// last one was made. The browser shows the last backup only: where backups
// go and what is restored is chosen here or on the command line.

#include "core/Backup.h"
#include "ui/Options.h"
#include "ui/Services.h"

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace archive {

class BackupWatch;

class BackupPage : public ui::OptionsPage {
    Q_OBJECT
public:
    BackupPage(const ui::Services &services, BackupWatch *watch, QWidget *parent = nullptr);

    void Form_Load() override;
    bool check() override;
    // Checks, marks the folder, then writes "backup.cfg".
    bool save() override;

    QCheckBox *BackupOn;
    QLineEdit *Folder, *Time, *Days, *Weeks;
    QPushButton *Choose, *BackupNow;
    QLabel *Status;

private:
    std::optional<core::BackupSettings> read();
    void showStatus();

    ui::Services m_services;
    BackupWatch *m_watch;
};

} // namespace archive
