// SPDX-License-Identifier: GPL-3.0-or-later
#include "RoomPages.h"

#include "Logger.h"
#include "Session.h"
#include "alarms/AlarmsPage.h"
#include "archive/ArchivePage.h"
#include "archive/BackupPage.h"
#include "archive/BackupWatch.h"
#include "desktop/Desktop.h"
#include "desktop/DesktopPage.h"
#include "history/AvailabilityPage.h"
#include "history/CertifiedPanel.h"
#include "history/PowerCurvePage.h"
#include "history/TurbinePage.h"
#include "history/WindPage.h"
#include "publish/DataOutPage.h"
#include "publish/MessagesPage.h"
#include "publish/MqttPage.h"
#include "ui/Files.h"
#include "web/WebPage.h"

namespace monitor {

ui::OptionsPage *following(Session &session, ui::SettingsFile file, ui::OptionsPage *page)
{
    QObject::connect(&session, &Session::settingsSaved, page, [page, file](ui::SettingsFile saved) {
        if (saved == file)
            page->Form_Load();
    });
    return page;
}

void addRoomPages(Logger &window)
{
    Session *s = window.session();
    const ui::Services services = s->services();
    // The wind unit as Setup has it when the window opens.
    const auto unit = [s] { return ui::fromLocal(s->settings().WSUnits); };
    const auto saved = [s](ui::SettingsFile file) { return [s, file] { s->saved(file); }; };

    window.addOptionsPage(QStringLiteral("Alarms"),
                          [=](QWidget *parent) {
                              return following(*s, ui::SettingsFile::Alarms, new alarms::AlarmsPage(services, unit(), parent));
                          },
                          saved(ui::SettingsFile::Alarms));
    window.addOptionsPage(QStringLiteral("MQTT"),
                          [=](QWidget *parent) {
                              return following(*s, ui::SettingsFile::Mqtt, new publish::MqttPage(services, s->publisher(), parent));
                          },
                          saved(ui::SettingsFile::Mqtt));
    window.addOptionsPage(QStringLiteral("Messages"),
                          [=](QWidget *parent) {
                              return following(*s, ui::SettingsFile::Messages,
                                               new publish::MessagesPage(services, s->messenger(), parent));
                          },
                          saved(ui::SettingsFile::Messages));
    window.addOptionsPage(QStringLiteral("Data out"),
                          [=](QWidget *parent) {
                              return following(*s, ui::SettingsFile::DataOut,
                                               new publish::DataOutPage(services, s->dataOut(), parent));
                          },
                          saved(ui::SettingsFile::DataOut));
    window.addOptionsPage(QStringLiteral("Archive"),
                          [=](QWidget *parent) {
                              return following(*s, ui::SettingsFile::Archive, new archive::ArchivePage(services, parent));
                          },
                          saved(ui::SettingsFile::Archive));
    window.addOptionsPage(QStringLiteral("Web"),
                          [=](QWidget *parent) { return new web::WebPage(services, s->webServer(), parent); },
                          saved(ui::SettingsFile::Web));
    window.addOptionsPage(QStringLiteral("Turbine and site"),
                          [=](QWidget *parent) {
                              return following(*s, ui::SettingsFile::Turbine, new history::TurbinePage(services, parent));
                          },
                          saved(ui::SettingsFile::Turbine));

    window.addHistoryPage(QStringLiteral("Power curve"), [=](QWidget *parent) {
        auto *page = new history::PowerCurvePage(services, unit(), parent);
        // A certified curve imported there is judged against at once.
        if (auto *certified = page->findChild<history::CertifiedPanel *>())
            QObject::connect(certified, &history::CertifiedPanel::certifiedChanged, s,
                             saved(ui::SettingsFile::CertifiedCurve));
        return page;
    });
    window.addHistoryPage(QStringLiteral("Wind"),
                          [=](QWidget *parent) { return new history::WindPage(services, unit(), parent); });
    window.addHistoryPage(QStringLiteral("Availability"),
                          [=](QWidget *parent) { return new history::AvailabilityPage(services, parent); });
}

void addDesktopPage(Logger &window, desktop::Desktop *desktop)
{
    const ui::Services services = window.session()->services();
    QPointer<desktop::Desktop> d(desktop);
    window.addOptionsPage(
        QStringLiteral("Desktop"),
        [services, d](QWidget *parent) -> ui::OptionsPage * {
            return d ? new desktop::DesktopPage(services, d, parent) : nullptr;
        },
        [d] {
            if (d)
                d->reload();
        });
}

void addBackupPage(Logger &window, archive::BackupWatch *watch)
{
    Session *s = window.session();
    const ui::Services services = s->services();
    QPointer<archive::BackupWatch> w(watch);
    window.addOptionsPage(
        QStringLiteral("Backup"),
        [s, services, w](QWidget *parent) {
            return following(*s, ui::SettingsFile::Backup, new archive::BackupPage(services, w, parent));
        },
        [s] { s->saved(ui::SettingsFile::Backup); });
}

} // namespace monitor
