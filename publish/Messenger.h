// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Alarms, a day's summary and a gap in the program's running sent to the
// owner by e-mail and push. Every message is appended to the outbox in the
// program folder before it is sent, sent in the background with a back-off,
// and marked done there once a server took it: a kill loses none, and a kill
// between the server's answer and the mark sends it again, with the same id.
// Messages older than 48 hours are dropped, and that is told.

#include "MessageSender.h"
#include "core/Messages.h"
#include "ui/Services.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

class QTimer;

namespace publish {

// What the day's summary says, from the rooms that know it.
struct DaySummary {
    double yesterdayWh = 0;
    // Yesterday's energy against the certified curve's (1 = as certified);
    // below 0 without a certified curve or wind.
    double performance = -1;
};

class Messenger : public QObject {
    Q_OBJECT
public:
    explicit Messenger(const ui::Services &services, QObject *parent = nullptr);
    ~Messenger() override;

    // messages.cfg and the site's name read again. The first time, the
    // outbox is taken up and a gap since the program last ran is told.
    void loadSettings();
    void setSummarySource(std::function<DaySummary()> source) { m_summary = std::move(source); }
    // An alarm raised or cleared: its key, title and value as the banner has it.
    void alarm(const QString &key, const QString &title, bool raised, const QString &value);
    // A test message to `channel` as typed, with the CA file as typed, not
    // kept: `done` has the answer.
    void test(const core::MessageChannel &channel, const std::string &caFile,
              std::function<void(const SendResult &)> done);

    struct Counts {
        long long sent = 0, waiting = 0, dropped = 0, failed = 0;
    };
    Counts counts() const;
    // Empty while every channel sends; else each failing channel with the
    // server's words.
    QString status() const { return m_status; }
    // Each channel's last answer, by its name.
    QMap<QString, QString> answers() const;

    static constexpr double kKeepSeconds = 48 * 3600;

signals:
    void statusChanged(const QString &text);

private:
    void takeUpOutbox();
    void queue(core::Message m);
    void dispatch();
    void finished(const core::Message &m, const SendResult &r);
    void drop(const core::Message &m, const QString &why);
    void everyMinute();
    void foldDue();
    void showStatus();
    std::string channelKey(const core::Message &m) const;
    std::int64_t wallNow() const;

    ui::Services m_services;
    QString m_outbox, m_state;
    core::MessageSettings m_settings;
    std::string m_site;
    std::vector<core::Message> m_pending;
    struct Channel {
        int failures = 0;
        double nextTry = 0;
        std::string answer;
        bool sending = false;
        // Its thread, made at its first message.
        MessageSender *sender = nullptr;
    };
    std::map<std::string, Channel> m_channels;
    bool m_takenUp = false;
    core::AlarmFold m_fold;
    // The latest of each alarm, for a message a fold sends later.
    std::map<std::string, std::pair<QString, QString>> m_alarms;
    std::vector<QString> m_dayAlarms;
    std::function<DaySummary()> m_summary;
    MessageSender *m_tests = nullptr;
    QTimer *m_retry, *m_minute, *m_folds;
    Counts m_counts;
    double m_firstRetry;
    QString m_status;
    std::set<QString> m_told;
    long long m_idCount = 0;
};

} // namespace publish
