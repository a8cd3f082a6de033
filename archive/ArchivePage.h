// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Archive page of the Options window: how long the minutes are kept
// ("archive.cfg"), where the archive is and how large it has grown.

#include "core/Archive.h"
#include "ui/Options.h"
#include "ui/Services.h"

#include <optional>

class QLabel;
class QLineEdit;

namespace archive {

class ArchivePage : public ui::OptionsPage {
    Q_OBJECT
public:
    explicit ArchivePage(const ui::Services &services, QWidget *parent = nullptr);

    void Form_Load() override;
    bool check() override;
    // Checks, then writes "archive.cfg".
    bool save() override;

    QLineEdit *MinuteDays;
    QLabel *Where;

private:
    // The settings the controls hold, or none after the message.
    std::optional<core::ArchiveSettings> read();

    ui::Services m_services;
};

} // namespace archive
