#pragma once
// A connection to an MQTT broker through libmosquitto. Everything that may
// wait on the network (name lookup, connect, disconnect) runs on a thread of
// its own; libmosquitto's network thread reconnects after a loss, waiting
// 1 s and then longer up to 60 s. What it reports reaches the owner's thread
// through queued signals.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThread>
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

class MqttWorker;

class MqttClient : public QObject {
    Q_OBJECT
public:
    explicit MqttClient(QObject *parent = nullptr);
    // Says goodbye (the messages given before are sent first) and waits for
    // the network thread to end.
    ~MqttClient() override;

    // Both return at once; the work is done on the client's thread.
    void start(const MqttOptions &options);
    // Publishes, in order, while connected. Messages given while not connected
    // are dropped: the caller sends its current state again on connected().
    void publish(std::vector<MqttMessage> messages);
    // `farewell` is published before disconnecting, when connected.
    void stop(std::vector<MqttMessage> farewell = {});

signals:
    void connected();
    // The broker answered the connect with a refusal (wrong password...).
    void refused(const QString &reason);
    // The connection ended or could not be made; it is tried again.
    void lost(const QString &reason);

private:
    QThread m_thread;
    MqttWorker *m_worker;
    int m_generation = 0;
};

} // namespace publish
