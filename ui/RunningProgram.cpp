// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunningProgram.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#ifndef Q_OS_WIN
#include <csignal>
#include <unistd.h>
#endif

namespace ui {

namespace {
// Each request a line, answered with a line.
const QByteArray kShow("show\n"), kShown("shown\n"), kReload("reload\n"), kReloaded("reloaded\n");
const int kWaitMs = 3000;
} // namespace

QString RunningProgram::socketName(const QString &folder)
{
    const QByteArray path = QDir(folder).canonicalPath().toUtf8();
    const QByteArray hash = QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex().left(24);
#ifdef Q_OS_WIN
    // A named pipe: the user's name keeps two users' programs apart, and the
    // pipe goes with the program that made it.
    const QString user = QString::fromLatin1(
        QCryptographicHash::hash(qEnvironmentVariable("USERNAME").toUtf8(), QCryptographicHash::Sha256).toHex().left(8));
    return QStringLiteral("veldra-%1-%2").arg(user, QString::fromLatin1(hash));
#else
    // In the user's runtime folder, which the session empties at its end,
    // so a socket a killed program left behind goes with it.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString name = QStringLiteral("veldra-%1-%2").arg(uint(getuid())).arg(QString::fromLatin1(hash));
    return runtime.isEmpty() ? name : runtime + QLatin1Char('/') + name;
#endif
}

RunningProgram::RunningProgram(const QString &folder, QObject *parent)
    : QObject(parent), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = socketName(folder);
    QLocalServer::removeServer(name);
    m_server->listen(name);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (!client->canReadLine())
                    return;
                const QByteArray request = client->readLine();
                if (request == kShow || request == kReload) {
                    if (request == kShow)
                        emit showRequested();
                    else
                        emit reloadRequested();
                    client->write(request == kShow ? kShown : kReloaded);
                    client->flush();
                }
                client->disconnectFromServer();
            });
        }
    });
}

bool RunningProgram::listening() const { return m_server->isListening(); }

bool RunningProgram::ask(const QString &folder, Ask what)
{
    QLocalSocket socket;
    socket.connectToServer(socketName(folder));
    if (!socket.waitForConnected(kWaitMs))
        return false;
    socket.write(what == Ask::Show ? kShow : kReload);
    if (!socket.waitForBytesWritten(kWaitMs))
        return false;
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(kWaitMs))
            return false;
    return socket.readLine() == (what == Ask::Show ? kShown : kReloaded);
}

bool tellToReload(const QString &folder, qint64 holder, const QString &holderName)
{
#ifndef Q_OS_WIN
    if (holderName == QLatin1String("veldra-service"))
        return holder > 0 && ::kill(pid_t(holder), SIGHUP) == 0;
#else
    Q_UNUSED(holder);
    Q_UNUSED(holderName);
#endif
    return RunningProgram::ask(folder, RunningProgram::Ask::Reload);
}

} // namespace ui
