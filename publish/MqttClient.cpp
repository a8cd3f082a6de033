// SPDX-License-Identifier: GPL-3.0-or-later
#include "MqttClient.h"

#include <QFile>
#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mosquitto.h>
#include <mutex>
#include <thread>

namespace publish {

namespace {
constexpr int kKeepAliveSeconds = 30;
// How long one pass of the network loop waits for the socket; also how long
// a message given to publish() may wait before it is sent.
constexpr int kLoopMs = 50;
// At stop, how long the farewell and the goodbye may take.
constexpr auto kFarewellTime = std::chrono::milliseconds(1000);

std::once_flag libraryReady;
std::atomic<double> firstDelay{1}, longestDelay{60};
std::atomic<int> running{0};

QString errorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(strerror(errno));
    if (rc == MOSQ_ERR_EAI)
        return QStringLiteral("the broker's name could not be looked up");
    return QString::fromUtf8(mosquitto_strerror(rc));
}

enum class Report { Connected, Refused, Lost };
} // namespace

// What the owner's thread and the connection's thread share. The connection's
// thread holds it too, so it outlives the client.
struct MqttLink {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<MqttMessage> outgoing, farewell;
    bool stopping = false, ended = false;
    // Null once the client is gone: then nothing more is reported.
    MqttClient *receiver = nullptr;

    void report(Report what, const QString &reason = {})
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!receiver || stopping)
            return;
        MqttClient *r = receiver;
        QMetaObject::invokeMethod(
            r,
            [r, what, reason] {
                if (what == Report::Connected)
                    emit r->connected();
                else if (what == Report::Refused)
                    emit r->refused(reason);
                else
                    emit r->lost(reason);
            },
            Qt::QueuedConnection);
    }
    bool isStopping()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return stopping;
    }
};

namespace {

// One connection, from mosquitto_new() to mosquitto_destroy(). libmosquitto's
// callbacks run on the connection's thread, inside mosquitto_loop().
class Attempt {
public:
    Attempt(MqttLink &link, const MqttOptions &o) : m_link(link), m_options(o) { }
    ~Attempt()
    {
        if (m_mosq)
            mosquitto_destroy(m_mosq);
    }

    // Returns when the connection has ended or the link is stopping; false
    // with `kind` and `reason` set when it failed.
    bool run(Report &kind, QString &reason, bool &wasConnected)
    {
        kind = Report::Lost;
        m_mosq = mosquitto_new(m_options.clientId.toUtf8().constData(), true, this);
        if (!m_mosq) {
            reason = QStringLiteral("the MQTT client could not be made");
            return false;
        }
        mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_connect_callback_set(m_mosq, &Attempt::onConnect);
        mosquitto_disconnect_callback_set(m_mosq, &Attempt::onDisconnect);
        // The reason of a failed TLS handshake is told only to the log.
        mosquitto_log_callback_set(m_mosq, &Attempt::onLog);
        const MqttMessage &will = m_options.will;
        if (!will.topic.isEmpty())
            mosquitto_will_set(m_mosq, will.topic.constData(), int(will.payload.size()), will.payload.constData(),
                               will.qos, will.retain);
        if (!m_options.user.isEmpty())
            mosquitto_username_pw_set(m_mosq, m_options.user.toUtf8().constData(),
                                      m_options.password.isEmpty() ? nullptr
                                                                   : m_options.password.toUtf8().constData());
        if (!m_options.caFile.isEmpty()) {
            const int rc = mosquitto_tls_set(m_mosq, QFile::encodeName(m_options.caFile).constData(), nullptr,
                                             nullptr, nullptr, nullptr);
            if (rc != MOSQ_ERR_SUCCESS) {
                reason = QStringLiteral("TLS could not be set up: ") + errorText(rc);
                return false;
            }
        }
        // Name lookup, connect and handshake: this may take long, and cannot
        // be cut short; a stop meanwhile is seen once it returns.
        int rc = mosquitto_connect(m_mosq, m_options.host.toUtf8().constData(), m_options.port, kKeepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS) {
            reason = failure(rc);
            return false;
        }
        while (true) {
            std::vector<MqttMessage> out, farewell;
            bool stopping;
            {
                std::lock_guard<std::mutex> lock(m_link.mutex);
                out.swap(m_link.outgoing);
                farewell.swap(m_link.farewell);
                stopping = m_link.stopping;
            }
            if (stopping) {
                goodbye(farewell);
                return true;
            }
            if (m_connected)
                send(out);
            rc = mosquitto_loop(m_mosq, kLoopMs, 1);
            wasConnected = wasConnected || m_connected;
            if (!m_refusal.isEmpty()) {
                kind = Report::Refused;
                reason = m_refusal;
                return false;
            }
            if (rc != MOSQ_ERR_SUCCESS) {
                reason = wasConnected && m_tlsReason.isEmpty() ? QStringLiteral("the connection was lost")
                                                               : failure(rc);
                return false;
            }
        }
    }

private:
    QString failure(int rc) const
    {
        if (!m_tlsReason.isEmpty())
            return QStringLiteral("TLS: ") + m_tlsReason;
        return errorText(rc);
    }

    void send(const std::vector<MqttMessage> &messages)
    {
        for (const MqttMessage &m : messages)
            mosquitto_publish(m_mosq, nullptr, m.topic.constData(), int(m.payload.size()), m.payload.constData(),
                              m.qos, m.retain);
    }

    // Connected: the farewell, then the goodbye, given a moment to be sent.
    // A connect still unanswered is just dropped.
    void goodbye(const std::vector<MqttMessage> &farewell)
    {
        if (m_connected)
            send(farewell);
        mosquitto_disconnect(m_mosq);
        const auto until = std::chrono::steady_clock::now() + kFarewellTime;
        while (m_connected && std::chrono::steady_clock::now() < until)
            if (mosquitto_loop(m_mosq, kLoopMs, 1) != MOSQ_ERR_SUCCESS)
                break;
    }

    static void onConnect(mosquitto *, void *self, int rc)
    {
        auto *a = static_cast<Attempt *>(self);
        if (rc == 0) {
            a->m_connected = true;
            a->m_link.report(Report::Connected);
        } else {
            a->m_refusal = QString::fromUtf8(mosquitto_connack_string(rc));
        }
    }
    static void onDisconnect(mosquitto *, void *self, int) { static_cast<Attempt *>(self)->m_connected = false; }
    static void onLog(mosquitto *, void *self, int level, const char *text)
    {
        // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed"
        const QString line = QString::fromUtf8(text);
        if (level != MOSQ_LOG_ERR || !line.contains(QLatin1String("OpenSSL Error")))
            return;
        auto *a = static_cast<Attempt *>(self);
        if (a->m_tlsReason.isEmpty())
            a->m_tlsReason = line.section(QLatin1Char(':'), -1).trimmed();
    }

    MqttLink &m_link;
    const MqttOptions &m_options;
    mosquitto *m_mosq = nullptr;
    bool m_connected = false;
    QString m_refusal, m_tlsReason;
};

void runLink(std::shared_ptr<MqttLink> link, MqttOptions options)
{
    std::call_once(libraryReady, [] { mosquitto_lib_init(); });
    int failures = 0;
    while (true) {
        Report kind;
        QString reason;
        bool wasConnected = false;
        const bool ok = Attempt(*link, options).run(kind, reason, wasConnected);
        if (ok || link->isStopping())
            break;
        failures = wasConnected ? 1 : failures + 1;
        link->report(kind, reason);
        const double delay = std::min(longestDelay.load(), firstDelay.load() * failures * failures);
        std::unique_lock<std::mutex> lock(link->mutex);
        link->outgoing.clear();
        if (link->changed.wait_for(lock, std::chrono::duration<double>(delay), [&] { return link->stopping; }))
            break;
    }
    {
        std::lock_guard<std::mutex> lock(link->mutex);
        link->ended = true;
    }
    link->changed.notify_all();
    --running;
}

} // namespace

MqttClient::MqttClient(QObject *parent) : QObject(parent), m_link(std::make_shared<MqttLink>())
{
    m_link->receiver = this;
}

MqttClient::~MqttClient()
{
    {
        std::lock_guard<std::mutex> lock(m_link->mutex);
        m_link->receiver = nullptr;
        m_link->stopping = true;
    }
    m_link->changed.notify_all();
}

void MqttClient::start(const MqttOptions &options)
{
    if (m_started)
        return;
    m_started = true;
    ++running;
    std::thread(runLink, m_link, options).detach();
}

void MqttClient::publish(std::vector<MqttMessage> messages)
{
    std::lock_guard<std::mutex> lock(m_link->mutex);
    if (m_link->stopping)
        return;
    auto &out = m_link->outgoing;
    out.insert(out.end(), std::make_move_iterator(messages.begin()), std::make_move_iterator(messages.end()));
}

void MqttClient::stop(std::vector<MqttMessage> farewell)
{
    {
        std::lock_guard<std::mutex> lock(m_link->mutex);
        if (m_link->stopping)
            return;
        m_link->stopping = true;
        m_link->farewell = std::move(farewell);
    }
    m_link->changed.notify_all();
}

bool MqttClient::waitStopped(int ms)
{
    if (!m_started)
        return true;
    std::unique_lock<std::mutex> lock(m_link->mutex);
    return m_link->changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_link->ended; });
}

void MqttClient::setRetryDelays(double first, double longest)
{
    firstDelay = first;
    longestDelay = longest;
}

int MqttClient::threadsRunning() { return running; }

} // namespace publish
