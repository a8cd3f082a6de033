// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Archive page of the Options window: how long the minutes are kept
// ("archive.cfg"), where the archive is and how large it has grown.

#include "ui/Options.h"
#include "ui/Services.h"

class QLabel;
class QLineEdit;

namespace archive {

class ArchivePage : public ui::OptionsPage {
    Q_OBJECT
public:
    explicit ArchivePage(const ui::Services &services, QWidget *parent = nullptr);

    void Form_Load();
    bool check() override;
    // Checks, then writes "archive.cfg".
    bool save() override;

    QLineEdit *MinuteDays;
    QLabel *Where;

private:
    ui::Services m_services;
};

} // namespace archive
