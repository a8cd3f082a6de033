// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop settings ("desktop.cfg"), the login autostart entry, what the
// close box does and the text of an alarm's desktop notification.

#include <string>
#include <string_view>
#include <vector>

namespace core {

// Both off by default, so a program that was never told otherwise behaves as
// it always did.
struct DesktopSettings {
    bool keepInTray = false;
    bool notify = false;
};

// "<KeepInTray>0</KeepInTray>" and "<Notify>0</Notify>", CR LF line ends.
std::string desktopSettingsText(const DesktopSettings &s);
// What is missing or not understood keeps its default.
DesktopSettings readDesktopSettings(std::string_view text);

enum class CloseBox { Quit, HideToTray };
// The close box hides the window only when the user chose it and a tray
// shows the icon to bring it back; otherwise it ends the program.
CloseBox closeBoxAction(bool keepInTray, bool trayAvailable);

// One argument of a desktop entry's Exec line: quoted when it holds anything
// but plain characters, with the characters the format reserves escaped
// ('"', '`', '$', '\\'), and '%' doubled.
std::string execArgument(std::string_view argument);

// An XDG autostart entry that starts `program` (an absolute path) with
// `arguments`; `name` and `comment` as the menu shows them.
std::string autostartEntry(std::string_view name, std::string_view comment, std::string_view program,
                           const std::vector<std::string> &arguments);

// A notification's summary and body for an alarm raised or cleared at
// `time` ("14:05:15"); `detail` is the banner's "title: value since when"
// line when there is one.
struct Notice {
    std::string summary, body;
};
Notice alarmNotice(std::string_view name, bool raised, std::string_view time, std::string_view detail);

} // namespace core
