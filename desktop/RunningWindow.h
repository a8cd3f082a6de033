// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A second start on a folder brings the running program's window to the
// front: the running program listens on a local socket named after its
// folder, and the second start asks it there before it gives up.

#include <QObject>
#include <QString>

class QLocalServer;

namespace desktop {

class RunningWindow : public QObject {
    Q_OBJECT
public:
    // Listens for `folder` (the caller holds the folder's lock, so a socket
    // left behind by a killed holder is taken over).
    explicit RunningWindow(const QString &folder, QObject *parent = nullptr);
    bool listening() const;

    // From the second start: asks the program on `folder` to show its
    // window; true when it answered that it did.
    static bool askToShow(const QString &folder);
    // The socket's name for `folder`: this user's, unique to the folder.
    static QString socketName(const QString &folder);

signals:
    void showRequested();

private:
    QLocalServer *m_server;
};

} // namespace desktop
