#include "Publisher.h"

#include "MqttSettingsFile.h"
#include "core/Number.h"
#include "ui/Files.h"
#include "ui/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#ifndef VELDRA_VERSION
#define VELDRA_VERSION "0"
#endif

namespace publish {

namespace {
const QByteArray kOnline("online"), kOffline("offline");

std::string dot(double v) { return core::dotNumberText(v); }
QString q(const std::string &s) { return QString::fromStdString(s); }
QByteArray bytes(const std::string &s) { return QByteArray(s.data(), qsizetype(s.size())); }
} // namespace

Publisher::Publisher(const ui::Services &services, const QString &edition,
                     std::function<core::DataState()> dataState, QObject *messageParent)
    : QObject(messageParent), m_services(services), m_edition(edition), m_dataState(std::move(dataState)),
      m_parent(messageParent), m_poll(new QTimer(this))
{
    m_poll->setInterval(1000);
    connect(m_poll, &QTimer::timeout, this, &Publisher::poll);
    reload();
}

Publisher::~Publisher()
{
    if (m_client)
        m_client->stop({{bytes(topic("availability")), kOffline, 1, true}});
    delete m_client;
}

void Publisher::reload()
{
    const QString file = ui::ProgramFolder(m_services.programFolder).mqttSettings();
    QString reason;
    core::MqttSettings s = readMqttSettingsFile(file, &reason);
    QString problem;
    if (!reason.isEmpty())
        problem = QStringLiteral("The MQTT settings file %1 could not be read (%2); nothing is published.")
                      .arg(QDir::toNativeSeparators(file), reason);
    else if (s.on) {
        if (const auto p = core::mqttSettingsProblem(s))
            problem = QStringLiteral("The MQTT settings in %1 cannot be used: %2 Nothing is published.")
                          .arg(QDir::toNativeSeparators(file), q(*p));
        else if (s.tls && !QFileInfo(QString::fromLocal8Bit(s.caFile.c_str())).isFile())
            problem = QStringLiteral("The CA file %1 does not exist; nothing is published.")
                          .arg(QString::fromLocal8Bit(s.caFile.c_str()));
    }
    if (!problem.isEmpty())
        s.on = false;

    if (m_client) {
        m_client->stop({{bytes(topic("availability")), kOffline, 1, true}});
        m_client->deleteLater();
        m_client = nullptr;
    }
    m_connected = m_refused = false;
    m_online.reset();
    m_settings = s;
    m_clientId = core::clientIdOf(s, hostName());
    m_prefix = core::topicPrefixOf(s, hostName());
    m_endpoint = s.host + ":" + s.port;
    m_outbox = core::Outbox(s.on ? core::mqttInterval(s) : 1);
    m_tVolts = topic("volts");
    m_tAmps = topic("amps");
    m_tWatts = topic("watts");
    m_tRpm = topic("rpm");
    m_tWind = topic("wind_speed");
    m_tUnit = topic("wind_speed_unit");
    m_tLoad = topic("load");
    m_tToday = topic("energy_today");
    m_tTotal = topic("energy_total");

    if (!problem.isEmpty()) {
        setStatus(QStringLiteral("MQTT is off: ") + problem);
        // Told once, not at every start of the window.
        if (problem != m_toldProblem)
            m_services.messages->notify(m_parent, problem);
        m_toldProblem = problem;
        m_poll->stop();
        return;
    }
    m_toldProblem.clear();
    if (!s.on) {
        setStatus(QStringLiteral("MQTT is off."));
        m_poll->stop();
        return;
    }

    m_client = new MqttClient(this);
    connect(m_client, &MqttClient::connected, this, &Publisher::onConnected);
    connect(m_client, &MqttClient::refused, this, [this](const QString &reason) {
        m_connected = false;
        m_refused = true;
        setStatus(QStringLiteral("%1 refused the connection: %2 Check the user name and password. Trying again, "
                                 "waiting longer each time (up to a minute).")
                      .arg(q(m_endpoint), reason));
    });
    connect(m_client, &MqttClient::lost, this, [this](const QString &reason) {
        m_connected = false;
        // The refusal says more than the disconnect that follows it.
        if (m_refused)
            return;
        setStatus(
            QStringLiteral("Not connected to %1 (%2). Trying again, waiting longer each time (up to a minute).")
                .arg(q(m_endpoint), reason));
    });
    MqttOptions o;
    o.host = QString::fromStdString(s.host).trimmed();
    o.port = core::mqttPort(s);
    o.user = QString::fromStdString(s.user).trimmed();
    o.password = QString::fromStdString(s.password);
    if (s.tls)
        o.caFile = QString::fromLocal8Bit(s.caFile.c_str());
    o.clientId = q(m_clientId);
    o.will = {bytes(topic("availability")), kOffline, 1, true};
    setStatus(QStringLiteral("Connecting to %1 ...").arg(q(m_endpoint)));
    m_client->start(o);
    m_poll->start();
}

void Publisher::setStatus(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged(text);
}

void Publisher::frame(const Values &v)
{
    if (!m_client)
        return;
    if (v.windUnit != m_windUnit) {
        m_windUnit = v.windUnit;
        m_outbox.set(m_tUnit, ui::fromLocal(v.windUnit).toStdString());
        if (m_connected && m_settings.discovery)
            m_client->publish(discovery());
    }
    m_outbox.set(m_tVolts, dot(v.volts));
    m_outbox.set(m_tAmps, dot(v.amps));
    m_outbox.set(m_tWatts, dot(v.watts));
    m_outbox.set(m_tRpm, dot(v.rpm));
    m_outbox.set(m_tWind, dot(v.windSpeed));
    m_outbox.set(m_tLoad, v.loadOn ? "ON" : "OFF");
    m_outbox.set(m_tToday, dot(core::roundHalfEven(v.todayWh, 2)));
    m_outbox.set(m_tTotal, dot(core::roundHalfEven(v.lifetimeWh, 2)));
    updateAvailability(false);
    sendWaiting();
}

void Publisher::setAlarm(const std::string &key, const std::string &name, bool raised)
{
    if (!m_client)
        return;
    const std::string id = core::idText(key);
    const bool known = m_alarms.count(id) != 0;
    m_alarms[id] = name;
    if (!known && m_connected && m_settings.discovery)
        m_client->publish(discovery());
    m_outbox.set(topic("alarm/" + id), raised ? "ON" : "OFF");
    sendWaiting();
}

void Publisher::poll()
{
    updateAvailability(false);
    sendWaiting();
}

void Publisher::sendWaiting()
{
    if (!m_connected)
        return;
    const auto waiting = m_outbox.take(m_services.clock->monotonicSeconds());
    if (waiting.empty())
        return;
    std::vector<MqttMessage> out;
    out.reserve(waiting.size());
    for (const auto &[t, payload] : waiting)
        out.push_back(value(t, payload));
    m_client->publish(std::move(out));
}

MqttMessage Publisher::value(const std::string &t, const std::string &payload) const
{
    // Retained, so that home automation started later shows the latest value.
    return {bytes(t), bytes(payload), 0, true};
}

void Publisher::updateAvailability(bool resend)
{
    // Paused data (another window holds the port) changes nothing.
    const core::DataState state = m_dataState ? m_dataState() : core::DataState::Stale;
    std::optional<bool> online = m_online;
    if (state == core::DataState::Live)
        online = true;
    else if (state == core::DataState::Stale || !online)
        online = false;
    if (online == m_online && !resend)
        return;
    m_online = online;
    if (m_connected)
        m_client->publish({{bytes(topic("availability")), *online ? kOnline : kOffline, 1, true}});
}

void Publisher::onConnected()
{
    m_connected = true;
    m_refused = false;
    setStatus(QStringLiteral("Connected to %1, publishing under %2/.").arg(q(m_endpoint), q(m_prefix)));
    // A broker that restarted may have lost everything: all again.
    if (m_settings.discovery)
        m_client->publish(discovery());
    updateAvailability(true);
    std::vector<MqttMessage> out;
    for (const auto &[t, payload] : m_outbox.all(m_services.clock->monotonicSeconds()))
        out.push_back(value(t, payload));
    m_client->publish(std::move(out));
}

std::vector<Publisher::Entity> Publisher::entities() const
{
    const auto windUnit = core::homeWindUnit(m_windUnit);
    std::vector<Entity> list = {
        {"volts", "Battery voltage", "sensor", "V", "voltage", "measurement"},
        {"amps", "Charge current", "sensor", "A", "current", "measurement"},
        {"watts", "Power", "sensor", "W", "power", "measurement"},
        {"rpm", "Rotor speed", "sensor", "rpm", "", "measurement"},
        {"wind_speed", "Wind speed", "sensor", windUnit ? *windUnit : ui::fromLocal(m_windUnit).toStdString(),
         windUnit ? "wind_speed" : "", "measurement"},
        {"load", "Load", "binary_sensor", "", "power", ""},
        {"energy_today", "Energy today", "sensor", "Wh", "energy", "total_increasing"},
        {"energy_total", "Energy total", "sensor", "Wh", "energy", "total_increasing"},
    };
    for (const auto &[key, name] : m_alarms)
        list.push_back({"alarm/" + key, name, "binary_sensor", "", "problem", ""});
    return list;
}

std::vector<MqttMessage> Publisher::discovery() const
{
    const QString node = q(core::idText(m_clientId));
    QJsonObject device{{"identifiers", QJsonArray{node}},
                       {"name", QStringLiteral("Veldra %1").arg(q(m_clientId))},
                       {"manufacturer", QStringLiteral("Veldra")},
                       {"model", QStringLiteral("Wind turbine monitor (%1)").arg(m_edition)},
                       {"sw_version", QStringLiteral(VELDRA_VERSION)}};
    const QJsonObject origin{{"name", QStringLiteral("Veldra")}, {"sw_version", QStringLiteral(VELDRA_VERSION)}};
    std::vector<MqttMessage> out;
    for (const Entity &e : entities()) {
        const QString object = q(core::idText(e.key));
        QJsonObject c{{"name", q(e.name)},
                      {"unique_id", node + QLatin1Char('_') + object},
                      {"state_topic", q(topic(e.key))},
                      {"availability_topic", q(topic("availability"))},
                      {"payload_available", QString::fromLatin1(kOnline)},
                      {"payload_not_available", QString::fromLatin1(kOffline)},
                      {"device", device},
                      {"origin", origin}};
        if (e.component == "binary_sensor") {
            c.insert("payload_on", QStringLiteral("ON"));
            c.insert("payload_off", QStringLiteral("OFF"));
        }
        if (!e.unit.empty())
            c.insert("unit_of_measurement", q(e.unit));
        if (!e.deviceClass.empty())
            c.insert("device_class", q(e.deviceClass));
        if (!e.stateClass.empty())
            c.insert("state_class", q(e.stateClass));
        const std::string t = m_settings.discoveryPrefix + "/" + e.component + "/" + node.toStdString() + "/"
                              + object.toStdString() + "/config";
        out.push_back({bytes(t), QJsonDocument(c).toJson(QJsonDocument::Compact), 1, true});
    }
    return out;
}

} // namespace publish
