// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A connection to an MQTT broker through libmosquitto, on a thread of its own
// that does everything that may wait on the network: name lookup, connect,
// TLS handshake, sending, disconnect. Every way a connection ends (refused,
// TLS, name lookup, network) leads to the same retry, waiting 1 s, then 4 s,
// 9 s... up to 60 s. What it reports reaches the owner's thread through
// queued signals. The owner never waits for that thread: a connection that is
// stopped or whose client is destroyed finishes on its own.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <vector>

namespace publish {

struct MqttMessage {
    QByteArray topic, payload;
    int qos = 0;
    bool retain = false;
};

struct MqttOptions {
    QString host;
    int port = 1883;
    QString user, password;
    QString caFile; // empty: no TLS
    QString clientId;
    // Published by the broker when the connection dies without a goodbye.
    MqttMessage will;
};

struct MqttLink;

class MqttClient : public QObject {
    Q_OBJECT
public:
    explicit MqttClient(QObject *parent = nullptr);
    // Returns at once; a connection not yet stopped is stopped without a farewell.
    ~MqttClient() override;

    // Starts connecting; returns at once. Once per client.
    void start(const MqttOptions &options);
    // Publishes, in order, while connected. Messages given while not connected
    // are dropped: the caller sends its current state again on connected().
    void publish(std::vector<MqttMessage> messages);
    // Returns at once. `farewell` is published before disconnecting, when
    // connected; nothing is reported afterwards.
    void stop(std::vector<MqttMessage> farewell = {});
    // Waits at most `ms` for a stopped connection to have said its farewell
    // and ended, as at exit; whether it did.
    bool waitStopped(int ms);

    // The retry delays: `first` seconds times the square of the failures in a
    // row, at most `longest`. For tests, which cannot wait a minute.
    static void setRetryDelays(double first, double longest);
    // Connection threads still running, of every client.
    static int threadsRunning();

signals:
    void connected();
    // The broker answered the connect with a refusal (wrong password...).
    void refused(const QString &reason);
    // The connection ended or could not be made; it is tried again.
    void lost(const QString &reason);

private:
    std::shared_ptr<MqttLink> m_link;
    bool m_started = false;
};

} // namespace publish
