// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtTray.h"

#ifndef Q_OS_WIN
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#endif
#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace desktop {

namespace {
// The installed icon where the theme has it; else a meter drawn here, so the
// icon never shows empty.
QIcon programIcon()
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 3));
    p.setBrush(QColor(0, 128, 0));
    p.drawEllipse(4, 4, 56, 56);
    p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(32, 40, 48, 16);
    p.end();
    return QIcon::fromTheme(QStringLiteral("org.example.veldra"), QIcon(pixmap));
}
} // namespace

QtTray::QtTray(QObject *parent) : TrayIcon(parent)
{
    m_icon.setIcon(programIcon());
    m_menu.addAction(QStringLiteral("Show or hide the window"), this, &TrayIcon::clicked);
    m_menu.addAction(QStringLiteral("Exit"), this, &TrayIcon::exitChosen);
    m_icon.setContextMenu(&m_menu);
    connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
        // A double click is a click, then this: the window stays in view.
        if (why == QSystemTrayIcon::Trigger)
            emit clicked();
        else if (why == QSystemTrayIcon::DoubleClick)
            emit doubleClicked();
    });
}

#ifndef Q_OS_WIN
void DBusNotifier::notify(const QString &summary, const QString &body)
{
    // Sent without waiting for the answer: a notification service that hangs
    // must not hold up the frames.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << m_application << uint(0) << QStringLiteral("org.example.veldra") << summary << body << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), m_entry}} << int(-1);
    QDBusConnection::sessionBus().asyncCall(call);
}
#endif

} // namespace desktop
