// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program in the background on the desktop: the tray icon with the
// status line as its tool tip (a click shows or hides the main window), the
// close box that hides the window to the tray when "desktop.cfg" says so,
// desktop notifications at each alarm raise and clear, and "Start at login".
// It listens to the session's alarms, never to the window's controls.

#include "Autostart.h"
#include "Tray.h"
#include "core/Desktop.h"
#include "ui/Services.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

namespace alarms {
class AlarmWatch;
}

namespace desktop {

class Desktop : public QObject {
    Q_OBJECT
public:
    // `tray` and `notifier` may be null (none on this desktop).
    Desktop(const ui::Services &services, alarms::AlarmWatch *alarms, std::unique_ptr<TrayIcon> tray,
            std::unique_ptr<Notifier> notifier, Autostart autostart, QObject *parent = nullptr);
    ~Desktop() override;
    // The program's own: the desktop's tray and notification service, and the
    // autostart entry that starts the running executable again (on the folder
    // given with --folder when `folderGiven`).
    static std::unique_ptr<Desktop> forProgram(const ui::Services &services, alarms::AlarmWatch *alarms,
                                               const QString &programName, bool folderGiven);

    // The main window the icon shows and hides.
    void setWindow(QWidget *window);
    // Reads "desktop.cfg" again (missing or not understood: both off).
    void reload();
    const core::DesktopSettings &settings() const { return m_settings; }
    QString settingsFile() const;
    const Autostart &autostart() const { return m_autostart; }
    bool trayAvailable() const { return m_tray && m_tray->available(); }
    TrayIcon *tray() const { return m_tray.get(); }

    // What the main window's close box does now.
    core::CloseBox closeBox() const;
    // A tray click: the window shown and in front, or hidden.
    void toggleWindow();
    // The window shown, in front (a second start, a click on a hidden one).
    void showWindow();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // "Exit" from the icon's menu: end the program as its Exit button does.
    void exitRequested();

private:
    // The icon asked for, and the program kept running while it holds it.
    void updateTray();
    // Sends the notifications of the raises and clears not yet told.
    void tellPending();

    ui::Services m_services;
    alarms::AlarmWatch *m_alarms;
    std::unique_ptr<TrayIcon> m_tray;
    std::unique_ptr<Notifier> m_notifier;
    Autostart m_autostart;
    core::DesktopSettings m_settings;
    QPointer<QWidget> m_window;
    struct Pending {
        QString name;
        bool raised;
        QString time;
    };
    std::vector<Pending> m_pending;
};

} // namespace desktop
