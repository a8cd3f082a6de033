// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SIGTERM, SIGINT and SIGHUP as Qt signals: the handler only writes the
// number into a pipe, and the event loop reads it between two events, never
// in the middle of a file write. Where there are no such signals (Windows)
// nothing is caught and nothing arrives.

#include <QObject>

class QSocketNotifier;

namespace ui {

class EndSignals : public QObject {
    Q_OBJECT
public:
    explicit EndSignals(QObject *parent = nullptr);
    // Catches SIGTERM and SIGINT, and SIGHUP with `reload`; false when that
    // cannot be done.
    bool catchSignals(bool reload);

signals:
    // SIGTERM or SIGINT: end as the Exit button does. `name` is "SIGTERM" or "SIGINT".
    void endRequested(const QString &name);
    // SIGHUP: read the settings files again.
    void reloadRequested();

private:
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace ui
