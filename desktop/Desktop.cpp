// SPDX-License-Identifier: GPL-3.0-or-later
#include "Desktop.h"

#include "QtTray.h"
#include "alarms/AlarmWatch.h"
#include "ui/Files.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QTimer>

namespace desktop {

Desktop::Desktop(const ui::Services &services, alarms::AlarmWatch *alarms, std::unique_ptr<TrayIcon> tray,
                 std::unique_ptr<Notifier> notifier, Autostart autostart, QObject *parent)
    : QObject(parent), m_services(services), m_alarms(alarms), m_tray(std::move(tray)),
      m_notifier(std::move(notifier)), m_autostart(std::move(autostart))
{
    reload();
    // A raise or clear is told once the watch has updated its banner, which
    // tells the value and since when; the time is that of the event.
    connect(m_alarms, &alarms::AlarmWatch::alarmChanged, this,
            [this](const QString &, const QString &name, bool raised) {
                if (!m_settings.notify || !m_notifier)
                    return;
                m_pending.push_back({name, raised, m_services.clock->longTimeText()});
                QTimer::singleShot(0, this, &Desktop::tellPending);
            });
    connect(m_alarms, &alarms::AlarmWatch::bannerChanged, this, &Desktop::tellPending);
    if (m_tray) {
        m_tray->setToolTip(m_alarms->status());
        connect(m_alarms, &alarms::AlarmWatch::statusChanged, m_tray.get(),
                [this](const QString &text) { m_tray->setToolTip(text); });
        connect(m_tray.get(), &TrayIcon::clicked, this, &Desktop::toggleWindow);
        connect(m_tray.get(), &TrayIcon::doubleClicked, this, &Desktop::showWindow);
        connect(m_tray.get(), &TrayIcon::exitChosen, this, &Desktop::exitRequested);
    }
    updateTray();
}

std::unique_ptr<Desktop> Desktop::forProgram(const ui::Services &services, alarms::AlarmWatch *alarms,
                                             const QString &programName, bool folderGiven)
{
    const QString entry = QStringLiteral("org.example.veldra.") + programName;
    Autostart autostart;
    autostart.file = Autostart::fileFor(entry);
    autostart.name = QStringLiteral("Veldra ") + programName;
    autostart.comment = QStringLiteral("Watches the wind turbine from login on");
    autostart.program = QCoreApplication::applicationFilePath();
    if (folderGiven)
        autostart.arguments = QStringList{QStringLiteral("--folder"), services.programFolder};
    auto tray = std::make_unique<QtTray>();
#ifdef Q_OS_WIN
    auto notifier = std::make_unique<TrayNotifier>(tray.get());
#else
    auto notifier = std::make_unique<DBusNotifier>(ui::programTitle(), entry);
#endif
    return std::make_unique<Desktop>(services, alarms, std::move(tray), std::move(notifier), autostart);
}

Desktop::~Desktop()
{
    if (m_tray)
        m_tray->setVisible(false);
}

void Desktop::setWindow(QWidget *window)
{
    m_window = window;
    window->installEventFilter(this);
}

QString Desktop::settingsFile() const
{
    return QDir(m_services.programFolder).filePath(QStringLiteral("desktop.cfg"));
}

void Desktop::reload()
{
    const auto text = ui::readWhole(settingsFile());
    m_settings = text ? core::readDesktopSettings(ui::textOf(*text)) : core::DesktopSettings();
    updateTray();
}

void Desktop::updateTray()
{
    // Asked for always: the icon comes up when a tray does (a panel that
    // starts after the program, or starts again).
    if (m_tray)
        m_tray->setVisible(true);
    // A hidden window is no reason to end, nor is a message box closed while
    // it is hidden; the program ends through its window's close.
    QApplication::setQuitOnLastWindowClosed(!trayAvailable());
}

bool Desktop::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Hide)
        updateTray();
    return QObject::eventFilter(watched, event);
}

core::CloseBox Desktop::closeBox() const { return core::closeBoxAction(m_settings.keepInTray, trayAvailable()); }

void Desktop::toggleWindow()
{
    if (!m_window)
        return;
    // A window open over it (Setup, Options) keeps it in view.
    if (m_window->isVisible() && !m_window->isMinimized() && !QApplication::activeModalWidget())
        m_window->hide();
    else
        showWindow();
}

void Desktop::showWindow()
{
    if (!m_window)
        return;
    m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
}

void Desktop::tellPending()
{
    const std::vector<Pending> pending = std::move(m_pending);
    m_pending.clear();
    for (const Pending &p : pending) {
        // The banner's longest form: "Battery low: 11 V since 14:05:15".
        QString detail;
        if (p.raised)
            for (const QStringList &forms : m_alarms->banner())
                if (!forms.isEmpty() && forms.last() == p.name)
                    detail = forms.first();
        const core::Notice n = core::alarmNotice(p.name.toStdString(), p.raised, p.time.toStdString(),
                                                 detail.toStdString());
        if (m_notifier)
            m_notifier->notify(QString::fromStdString(n.summary), QString::fromStdString(n.body));
    }
}

} // namespace desktop
