// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a window program running on a folder is asked by another start on the
// same folder: to bring its window to the front (a second start), or to read
// its settings files again (a command that changed one). It listens on a
// local socket named after its folder; a signal would end it.

#include <QObject>
#include <QString>

class QLocalServer;

namespace ui {

class RunningProgram : public QObject {
    Q_OBJECT
public:
    // Listens for `folder` (the caller holds the folder's lock, so a socket
    // left behind by a killed holder is taken over).
    explicit RunningProgram(const QString &folder, QObject *parent = nullptr);
    bool listening() const;

    enum class Ask { Show, Reload };
    // From another start: asks the program on `folder`; true when it
    // answered that it did.
    static bool ask(const QString &folder, Ask what);
    // The socket's name for `folder`: this user's, unique to the folder.
    static QString socketName(const QString &folder);

signals:
    void showRequested();
    void reloadRequested();

private:
    QLocalServer *m_server;
};

// Tells the program `holder` (process id, and program name as its lock
// gives it) that holds `folder` to read its settings files again: the
// service by SIGHUP, a window program by its socket. False when it could not
// be told (it then takes the change up at its next start).
bool tellToReload(const QString &folder, qint64 holder, const QString &holderName);

} // namespace ui
