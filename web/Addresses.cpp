// SPDX-License-Identifier: GPL-3.0-or-later
#include "Addresses.h"

#include "core/Web.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QSysInfo>

namespace web {

QString hostName() { return QSysInfo::machineHostName().toLower(); }

std::vector<std::string> serverNames(const std::string &typed)
{
    std::vector<std::string> names = {"localhost", "127.0.0.1", "::1"};
    for (const std::string &n : core::webNames(typed).value_or(std::vector<std::string>()))
        names.push_back(n);
    const QString host = hostName();
    if (!host.isEmpty()) {
        names.push_back(host.toStdString());
        if (!host.contains('.'))
            names.push_back((host + QStringLiteral(".local")).toStdString());
    }
    for (const QHostAddress &a : QNetworkInterface::allAddresses())
        if (a.scopeId().isEmpty())
            names.push_back(a.toString().toLower().toStdString());
    return names;
}

QStringList networkAddresses()
{
    // A link-local address needs the interface named, which a phone cannot.
    QStringList v4, v6;
    for (const QHostAddress &a : QNetworkInterface::allAddresses()) {
        if (a.isLoopback() || a.isLinkLocal() || !a.scopeId().isEmpty())
            continue;
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            v4 << a.toString();
        else if (a.protocol() == QAbstractSocket::IPv6Protocol)
            v6 << QStringLiteral("[%1]").arg(a.toString());
    }
    return v4 + v6;
}

QString servingText(bool tls, int port, const QString &host, const QStringList &addresses, bool password)
{
    const QString scheme = tls ? QStringLiteral("https") : QStringLiteral("http");
    const auto url = [&](const QString &name) { return QStringLiteral("%1://%2:%3/").arg(scheme, name).arg(port); };
    QString text = QStringLiteral("Serving at ") + url(QStringLiteral("127.0.0.1"));
    QStringList others;
    if (!host.isEmpty())
        others << url(host);
    for (const QString &a : addresses)
        others << url(a);
    if (!others.isEmpty())
        text += QStringLiteral(" and to other devices at ") + others.join(QStringLiteral(", "));
    if (password)
        text += QStringLiteral(", with the password");
    return text + QStringLiteral(".");
}

} // namespace web
