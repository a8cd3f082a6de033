// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Desktop page of the Options window: "Keep running in the tray" and the
// notifications (both in "desktop.cfg"), and "Start at login" (the autostart
// entry itself).

#include "ui/Options.h"
#include "ui/Services.h"

class QCheckBox;
class QLabel;

namespace desktop {

class Desktop;

class DesktopPage : public ui::OptionsPage {
    Q_OBJECT
public:
    DesktopPage(const ui::Services &services, const Desktop *desktop, QWidget *parent = nullptr);

    bool check() override { return true; }
    // Writes "desktop.cfg" whole, then writes or removes the autostart entry.
    bool save() override;

    QCheckBox *KeepInTray, *Notify, *StartAtLogin;
    // Says why the tray box cannot be ticked on a desktop without a tray.
    QLabel *TrayNote;

private:
    ui::Services m_services;
    const Desktop *m_desktop;
};

} // namespace desktop
