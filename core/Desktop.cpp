// SPDX-License-Identifier: GPL-3.0-or-later
#include "Desktop.h"

#include "Number.h"
#include "TagValue.h"

namespace core {

std::string desktopSettingsText(const DesktopSettings &s)
{
    return tagLine("KeepInTray", s.keepInTray ? "1" : "0") + tagLine("Notify", s.notify ? "1" : "0");
}

DesktopSettings readDesktopSettings(std::string_view text)
{
    DesktopSettings s;
    if (const auto v = tagValue(text, "KeepInTray"))
        s.keepInTray = isOn(*v);
    if (const auto v = tagValue(text, "Notify"))
        s.notify = isOn(*v);
    return s;
}

CloseBox closeBoxAction(bool keepInTray, bool trayAvailable)
{
    return keepInTray && trayAvailable ? CloseBox::HideToTray : CloseBox::Quit;
}

std::string execArgument(std::string_view argument)
{
    bool plain = !argument.empty();
    std::string quoted;
    for (const char c : argument) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                          || std::string_view("/._-+,:=@").find(c) != std::string_view::npos;
        plain = plain && safe;
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
        if (c == '%')
            quoted += '%';
    }
    if (plain)
        return std::string(argument);
    // The desktop entry reads "\\" as "\" before the Exec line is split, so
    // each backslash of the quoted argument is written twice again.
    std::string entry = "\"";
    for (const char c : quoted) {
        if (c == '\\')
            entry += '\\';
        entry += c;
    }
    return entry + '"';
}

std::string autostartEntry(std::string_view name, std::string_view comment, std::string_view program,
                           const std::vector<std::string> &arguments)
{
    std::string exec = execArgument(program);
    for (const std::string &a : arguments)
        exec += ' ' + execArgument(a);
    std::string out = "[Desktop Entry]\n";
    out += "Type=Application\n";
    out += "Name=" + std::string(name) + "\n";
    out += "Comment=" + std::string(comment) + "\n";
    out += "Exec=" + exec + "\n";
    out += "Icon=org.example.veldra\n";
    out += "Terminal=false\n";
    out += "X-GNOME-Autostart-enabled=true\n";
    return out;
}

Notice alarmNotice(std::string_view name, bool raised, std::string_view time, std::string_view detail)
{
    Notice n;
    n.summary = std::string(name) + (raised ? " raised" : " cleared");
    if (raised && !detail.empty())
        n.body = std::string(detail);
    else
        n.body = std::string(raised ? "Raised at " : "Cleared at ") + std::string(time);
    return n;
}

} // namespace core
