// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The names and addresses the web server is reached by: those it answers to
// (any other Host is refused, against DNS rebinding), and those it tells
// the owner to open.

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace web {

// This machine's name, lower case ("" when it has none).
QString hostName();
// localhost, 127.0.0.1, ::1, the `typed` names (checked already), this
// machine's name (and name.local) and every address of its interfaces.
std::vector<std::string> serverNames(const std::string &typed);
// This computer's addresses another device on its network may use: IPv4
// first, IPv6 in brackets, no loopback or link-local one.
QStringList networkAddresses();
// "Serving at http://127.0.0.1:8080/ and to other devices at
// http://barn-pc:8080/, http://192.168.1.20:8080/, with the password."
// (`host` empty and no addresses: to this computer only.)
QString servingText(bool tls, int port, const QString &host, const QStringList &addresses, bool password);

} // namespace web
