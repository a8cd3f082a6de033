// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sends one message at a time through libcurl on a thread of its own, so a
// server that is slow or hangs never holds up the program. Only https, smtp
// and smtps are spoken: no other scheme, whatever a setting holds.

#include "core/Messages.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace publish {

struct SendJob {
    core::Message message;
    core::MessageChannel channel;
    std::string site;
    // A CA file trusted beside the system's certificates (empty: none).
    std::string caFile;
};

struct SendResult {
    bool ok = false;
    // The server's words (its answer, or why it could not be reached), with
    // the channel's secrets taken out.
    std::string answer;
};

// The sending itself, blocking; `stop` ends a transfer early when it turns true.
SendResult sendNow(const SendJob &job, const std::atomic<bool> &stop);

// A POST of `body` to `r` (http or https, certificates always checked),
// blocking: ok for a 2xx answer; the answer's words are "HTTP <code>" with the
// start of its body, or why the server could not be reached. Secrets are the
// caller's to take out.
SendResult postNow(const core::HttpRequest &r, const std::string &body, const std::string &caFile,
                   const std::atomic<bool> &stop);

class MessageSender : public QObject {
    Q_OBJECT
public:
    explicit MessageSender(QObject *parent = nullptr);
    ~MessageSender() override;
    // Sends `job` on the sender's thread; `done` is called on the thread of
    // this object (its owner's) with the result. Jobs go in the order given.
    void send(SendJob job, std::function<void(const SendResult &)> done);

private:
    QThread m_thread;
    QObject *m_worker;
    std::shared_ptr<std::atomic<bool>> m_stop;
};

} // namespace publish
