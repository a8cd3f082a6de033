// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the browser's settings answers share, and the answers beside the
// forms: the certified curve's upload, logging now, the web password.

#include "core/Json.h"
#include "web/WebServer.h"

#include <QByteArray>
#include <QString>
#include <string>
#include <utility>

namespace monitor {

class Session;

namespace settingsreplies {

using Answer = std::pair<int, std::string>;

// {"error", "field"}: a refusal, and the key of the value to correct.
Answer refusal(int status, const std::string &text, const std::string &key = std::string());
// The file's version as a form carries it: its digest, so a save in between
// (from the window, another browser, an edit) is seen.
std::string versionOf(const QByteArray &bytes);
// A save told on standard error (the journal, for the service): what, where
// from, and which values; never a value.
void logSave(const char *what, const QString &path, const std::string &address, const std::string &keys);
// "Saved at 14:05:09." by the session's clock.
std::string savedNow(const Session &s);
// A text of the locale's 8-bit encoding as UTF-8.
std::string utf8(const std::string &local);
// Whether logging runs now, and with which delay (the one it runs with,
// else the default), for the Start and Stop buttons.
void loggingState(const Session &s, core::JsonWriter &j);

// The certified curve kept beside the Turbine and site page, and a new one uploaded.
Answer certifiedCurve(Session &s, const web::WebServer::SettingsRequest &q);
// Logging started and stopped now, as the main window's buttons do.
Answer loggingNow(Session &s, const web::WebServer::SettingsRequest &q);
// The web password changed, the old one given.
Answer webPassword(Session &s, const web::WebServer::SettingsRequest &q);

} // namespace settingsreplies
} // namespace monitor
