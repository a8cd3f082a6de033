// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tray icon through QSystemTrayIcon, and desktop notifications through
// the freedesktop notification service on the session's D-Bus (on Windows,
// the tray icon's own).

#include "Tray.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace desktop {

class QtTray : public TrayIcon {
    Q_OBJECT
public:
    explicit QtTray(QObject *parent = nullptr);
    bool available() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }
    void setVisible(bool visible) override { m_icon.setVisible(visible); }
    bool isVisible() const override { return m_icon.isVisible(); }
    void setToolTip(const QString &text) override { m_icon.setToolTip(text); }
    void showMessage(const QString &summary, const QString &body) { m_icon.showMessage(summary, body); }

private:
    QMenu m_menu;
    QSystemTrayIcon m_icon;
};

#ifdef Q_OS_WIN
class TrayNotifier : public Notifier {
public:
    explicit TrayNotifier(QtTray *tray) : m_tray(tray) { }
    void notify(const QString &summary, const QString &body) override { m_tray->showMessage(summary, body); }

private:
    QtTray *m_tray;
};
#else
class DBusNotifier : public Notifier {
public:
    // `application` is the name the notification shows it came from,
    // `desktopEntry` the program's desktop entry without ".desktop".
    DBusNotifier(QString application, QString desktopEntry)
        : m_application(std::move(application)), m_entry(std::move(desktopEntry))
    { }
    void notify(const QString &summary, const QString &body) override;

private:
    QString m_application, m_entry;
};
#endif

} // namespace desktop
