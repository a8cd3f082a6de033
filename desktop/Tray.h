// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seams of the desktop room: the tray icon and the desktop notifications.
// The program passes the real ones (QtTray, DBusNotifier), tests fakes.

#include <QObject>
#include <QString>

namespace desktop {

class TrayIcon : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Whether the desktop has a tray to show the icon in now.
    virtual bool available() const = 0;
    virtual void setVisible(bool visible) = 0;
    virtual bool isVisible() const = 0;
    virtual void setToolTip(const QString &text) = 0;

signals:
    // A click on the icon.
    void clicked();
    // A double click on the icon (after its first click).
    void doubleClicked();
    // "Exit" from the icon's menu.
    void exitChosen();
};

// The desktop's notification service; a notification that cannot be shown
// is dropped (the banner and alarms.csv still have it).
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void notify(const QString &summary, const QString &body) = 0;
};

} // namespace desktop
