// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rooms' pages in the Options and History windows, one line each: where
// a new room adds its page, so that no window changes for it.

namespace desktop {
class Desktop;
}

namespace monitor {

class Logger;

// Every room's Options and History pages, in their order.
void addRoomPages(Logger &window);
// The Desktop page, for a program on a desktop.
void addDesktopPage(Logger &window, desktop::Desktop *desktop);

} // namespace monitor
