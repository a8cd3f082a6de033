// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rooms' pages in the Options and History windows, one line each: where
// a new room adds its page, so that no window changes for it.

#include "ui/Notices.h"

namespace archive {
class BackupWatch;
}
namespace desktop {
class Desktop;
}
namespace ui {
class OptionsPage;
}

namespace monitor {

class Logger;
class Session;

// Every room's Options and History pages, in their order.
void addRoomPages(Logger &window);
// An open page shows its file again whenever it is saved (from the browser,
// say) while the window is open; `page` is returned.
ui::OptionsPage *following(Session &session, ui::SettingsFile file, ui::OptionsPage *page);
// The Desktop page, for a program on a desktop.
void addDesktopPage(Logger &window, desktop::Desktop *desktop);
// The Backup page, for the daily backup the rooms run.
void addBackupPage(Logger &window, archive::BackupWatch *watch);

} // namespace monitor
