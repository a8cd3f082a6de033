#include "MqttClient.h"

#include <QFile>
#include <QMetaObject>
#include <atomic>
#include <cstring>
#include <mosquitto.h>
#include <mutex>

namespace publish {

namespace {
constexpr int kKeepAliveSeconds = 30;

std::once_flag libraryReady;

QString errorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}
} // namespace

// Lives on MqttClient's thread; libmosquitto's callbacks run on its network
// thread and only raise the queued signals below.
class MqttWorker : public QObject {
    Q_OBJECT
public:
    ~MqttWorker() override { finish({}); }

    void begin(const MqttOptions &o, int generation)
    {
        finish({});
        std::call_once(libraryReady, [] { mosquitto_lib_init(); });
        m_generation = generation;
        m_mosq = mosquitto_new(o.clientId.toUtf8().constData(), true, this);
        if (!m_mosq) {
            emit lost(generation, QStringLiteral("the MQTT client could not be made"));
            return;
        }
        mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_connect_callback_set(m_mosq, &MqttWorker::onConnect);
        mosquitto_disconnect_callback_set(m_mosq, &MqttWorker::onDisconnect);
        mosquitto_reconnect_delay_set(m_mosq, 1, 60, true);
        mosquitto_will_set(m_mosq, o.will.topic.constData(), int(o.will.payload.size()),
                           o.will.payload.constData(), o.will.qos, o.will.retain);
        if (!o.user.isEmpty())
            mosquitto_username_pw_set(m_mosq, o.user.toUtf8().constData(),
                                      o.password.isEmpty() ? nullptr : o.password.toUtf8().constData());
        if (!o.caFile.isEmpty()) {
            const int rc = mosquitto_tls_set(m_mosq, QFile::encodeName(o.caFile).constData(), nullptr, nullptr,
                                             nullptr, nullptr);
            if (rc != MOSQ_ERR_SUCCESS) {
                emit lost(generation, QStringLiteral("TLS could not be set up: ") + errorText(rc));
                mosquitto_destroy(m_mosq);
                m_mosq = nullptr;
                return;
            }
        }
        // The name lookup happens here, on this thread; a first connect that
        // fails is tried again by the network thread.
        const int rc = mosquitto_connect_async(m_mosq, o.host.toUtf8().constData(), o.port, kKeepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS)
            emit lost(generation, errorText(rc));
        mosquitto_loop_start(m_mosq);
    }

    void send(const std::vector<MqttMessage> &messages)
    {
        if (!m_mosq || !m_connected)
            return;
        for (const MqttMessage &m : messages)
            mosquitto_publish(m_mosq, nullptr, m.topic.constData(), int(m.payload.size()), m.payload.constData(),
                              m.qos, m.retain);
    }

    void finish(const std::vector<MqttMessage> &farewell)
    {
        if (!m_mosq)
            return;
        send(farewell);
        const bool wasConnected = m_connected;
        m_connected = false;
        mosquitto_disconnect(m_mosq);
        // Connected, the network thread sends what is queued and the goodbye
        // and then ends. Otherwise it may be inside a connect that waits for
        // a host that does not answer: that is cut short.
        mosquitto_loop_stop(m_mosq, !wasConnected);
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }

signals:
    void connected(int generation);
    void refused(int generation, const QString &reason);
    void lost(int generation, const QString &reason);

private:
    static void onConnect(mosquitto *, void *self, int rc)
    {
        auto *w = static_cast<MqttWorker *>(self);
        if (rc == 0) {
            w->m_connected = true;
            emit w->connected(w->m_generation);
        } else {
            emit w->refused(w->m_generation, QString::fromUtf8(mosquitto_connack_string(rc)));
        }
    }
    static void onDisconnect(mosquitto *, void *self, int rc)
    {
        auto *w = static_cast<MqttWorker *>(self);
        w->m_connected = false;
        if (rc != 0)
            emit w->lost(w->m_generation, QStringLiteral("the connection was lost"));
    }

    mosquitto *m_mosq = nullptr;
    std::atomic<bool> m_connected{false};
    std::atomic<int> m_generation{0};
};

MqttClient::MqttClient(QObject *parent) : QObject(parent), m_worker(new MqttWorker)
{
    m_thread.setObjectName(QStringLiteral("mqtt"));
    m_worker->moveToThread(&m_thread);
    // Reports of an earlier start() are dropped.
    connect(
        m_worker, &MqttWorker::connected, this,
        [this](int g) {
            if (g == m_generation)
                emit connected();
        },
        Qt::QueuedConnection);
    connect(
        m_worker, &MqttWorker::refused, this,
        [this](int g, const QString &r) {
            if (g == m_generation)
                emit refused(r);
        },
        Qt::QueuedConnection);
    connect(
        m_worker, &MqttWorker::lost, this,
        [this](int g, const QString &r) {
            if (g == m_generation)
                emit lost(r);
        },
        Qt::QueuedConnection);
    m_thread.start();
}

MqttClient::~MqttClient()
{
    MqttWorker *w = m_worker;
    QMetaObject::invokeMethod(
        w, [w] { w->finish({}); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

void MqttClient::start(const MqttOptions &options)
{
    const int g = ++m_generation;
    MqttWorker *w = m_worker;
    QMetaObject::invokeMethod(
        w, [w, options, g] { w->begin(options, g); }, Qt::QueuedConnection);
}

void MqttClient::publish(std::vector<MqttMessage> messages)
{
    MqttWorker *w = m_worker;
    QMetaObject::invokeMethod(
        w, [w, m = std::move(messages)] { w->send(m); }, Qt::QueuedConnection);
}

void MqttClient::stop(std::vector<MqttMessage> farewell)
{
    ++m_generation;
    MqttWorker *w = m_worker;
    QMetaObject::invokeMethod(
        w, [w, m = std::move(farewell)] { w->finish(m); }, Qt::QueuedConnection);
}

} // namespace publish

#include "MqttClient.moc"
