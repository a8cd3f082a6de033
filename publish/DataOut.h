// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Data out: every archived minute (and each day's summary) pushed to the
// owner's InfluxDB or VictoriaMetrics, with the backlog after an outage sent
// oldest first. The archive numbers its changes; "dataout-cursor.txt" in the
// program folder keeps the last one the database confirmed (not in the
// archive, so an archive restored from a copy leaves it alone). Sending runs
// on a thread of its own, woken by each minute written and, after a
// failure, by a back-off's timer: nothing polls.

#include "DataSender.h"
#include "core/DataOut.h"
#include "ui/Services.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace publish {

// "dataout.cfg": the defaults (off) when missing; `reason` says why a file
// that is there could not be read.
core::DataOutSettings readDataOutSettingsFile(const QString &path, QString *reason = nullptr);
// Replaces the file whole, owner-only (it holds a password or a token).
bool writeDataOutSettingsFile(const QString &path, const core::DataOutSettings &s);
// A CA file named that is not there: the message, or nothing.
std::optional<QString> dataOutFileFault(const core::DataOutSettings &s);

class DataOut : public QObject {
    Q_OBJECT
public:
    // `archivePath` is read with a connection of the sender's own;
    // `sentUpTo` tells the archive's writer what the database has (nullopt
    // while nothing is sent), for counting minutes let go before it had them.
    DataOut(const ui::Services &services, QString archivePath, std::function<void(std::optional<qint64>)> sentUpTo,
            QObject *parent = nullptr);
    ~DataOut() override;

    // dataout.cfg and the site's name read again; sending starts at once.
    void loadSettings();
    // The minutes' categories' rules: nothing is sent before the first.
    void setRules(const core::AvailabilityRules &rules);
    // A minute was written: the sender wakes.
    void wake();

    struct Counts {
        bool on = false;
        long long sent = 0, backlog = 0, failures = 0, forgotten = 0;
        // UTC seconds of the last batch the database confirmed (0: none yet).
        qint64 lastSuccess = 0;
    };
    Counts counts() const { return m_counts; }
    // "" while it sends or is off; else what fails, in the server's words.
    QString status() const { return m_status; }
    // What the page shows: on or off, sent, backlog, last success, failures.
    QString summary() const;

signals:
    void statusChanged(const QString &status);

private:
    void start();
    void reported(const DataOutReport &r);
    void finished();
    void showStatus();

    ui::Services m_services;
    QString m_archivePath, m_cursorPath;
    std::function<void(std::optional<qint64>)> m_sentUpTo;
    core::DataOutSettings m_settings;
    std::string m_site;
    std::optional<core::AvailabilityRules> m_rules;
    QThread m_thread;
    QObject *m_worker;
    std::unique_ptr<DataSender> m_sender;
    std::shared_ptr<std::atomic<bool>> m_stop;
    bool m_running = false, m_again = false, m_checkCursor = false;
    QTimer *m_retry;
    double m_firstRetry;
    int m_failuresInRow = 0;
    Counts m_counts;
    QString m_status, m_answer, m_unreadable;
};

} // namespace publish
