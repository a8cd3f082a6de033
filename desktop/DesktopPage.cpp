// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopPage.h"

#include "Desktop.h"
#include "ui/Controls.h"
#include "ui/Files.h"
#include "ui/Notices.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QLabel>

namespace desktop {

namespace {
const int kRowHeight = 22;
int rowTop(int row) { return 6 + row * kRowHeight; }

QCheckBox *rowCheck(QWidget *parent, const QString &name, const QString &caption, int row)
{
    QCheckBox *c = ui::greenTickBox(parent, name, QString(), QRect(6, rowTop(row) + 1, 18, 18));
    QLabel *l = ui::greenLabel(parent, name + QStringLiteral("Label"), caption, QRect(28, rowTop(row), 350, 20));
    l->setFont(QFont(QStringLiteral("Arial"), 8));
    l->setBuddy(c);
    return c;
}
} // namespace

DesktopPage::DesktopPage(const ui::Services &services, const Desktop *desktop, QWidget *parent)
    : ui::OptionsPage(parent), m_services(services), m_desktop(desktop)
{
    setObjectName(QStringLiteral("DesktopPage"));
    setMinimumSize(384, rowTop(5));
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());
    KeepInTray = rowCheck(this, QStringLiteral("KeepInTray"), QStringLiteral("Keep running in the tray"), 0);
    TrayNote = ui::greenLabel(this, QStringLiteral("TrayNote"), QString(), QRect(28, rowTop(1), 350, 20));
    TrayNote->setFont(QFont(QStringLiteral("Arial"), 8));
    Notify = rowCheck(this, QStringLiteral("Notify"),
                      QStringLiteral("Desktop notification at each alarm raise and clear"), 2);
    StartAtLogin = rowCheck(this, QStringLiteral("StartAtLogin"), QStringLiteral("Start at login"), 3);

    KeepInTray->setChecked(desktop->settings().keepInTray);
    Notify->setChecked(desktop->settings().notify);
    StartAtLogin->setChecked(desktop->autostart().enabled());
    // Kept as chosen, so it holds again on a desktop that has a tray.
    if (!desktop->trayAvailable())
        TrayNote->setText(QStringLiteral("This desktop shows no tray: the close box ends the program."));
    else
        TrayNote->setText(QStringLiteral("The close box hides the window; Exit ends the program."));
}

bool DesktopPage::save()
{
    core::DesktopSettings s;
    s.keepInTray = KeepInTray->isChecked();
    s.notify = Notify->isChecked();
    const QString path = m_desktop->settingsFile();
    if (!ui::replaceWhole(path, ui::bytesOf(core::desktopSettingsText(s)))) {
        m_services.messages->inform(this, ui::cannotSave(path));
        return false;
    }
    const Autostart &entry = m_desktop->autostart();
    if (StartAtLogin->isChecked() != entry.enabled() && !entry.set(StartAtLogin->isChecked())) {
        m_services.messages->inform(this, ui::cannotSave(entry.file));
        return false;
    }
    return true;
}

} // namespace desktop
