// SPDX-License-Identifier: GPL-3.0-or-later
#include "Publisher.h"

#include "MqttSettingsFile.h"
#include "core/Number.h"
#include "core/Text.h"
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
} // namespace

Publisher::Publisher(const ui::Services &services, std::function<core::DataState()> dataState,
                     QObject *messageParent)
    : QObject(messageParent), m_services(services), m_dataState(std::move(dataState)), m_parent(messageParent),
      m_poll(new QTimer(this))
{
    m_poll->setInterval(1000);
    connect(m_poll, &QTimer::timeout, this, &Publisher::poll);
    reload();
}

Publisher::~Publisher()
{
    if (!m_client)
        return;
    // A clean disconnect discards the last will: the program says it itself.
    m_client->stop({{ui::bytesOf(topic("program")), kOffline, 1, true},
                    {ui::bytesOf(topic("availability")), kOffline, 1, true}});
    // A connection still looking up its broker is not waited for.
    m_client->waitStopped(1000);
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
    // Settings as they were (a save or SIGHUP that changed nothing here) keep
    // the connection: a reconnect would show the program offline and online.
    const QFileInfo ca(QString::fromLocal8Bit(s.caFile.c_str()));
    const QString loaded = ui::fromLocal(core::mqttSettingsText(s)) + problem
                           + (s.tls ? ca.lastModified().toString(Qt::ISODateWithMs) + QString::number(ca.size())
                                    : QString());
    if (m_loaded && loaded == *m_loaded)
        return;
    m_loaded = loaded;

    std::vector<MqttMessage> farewell;
    if (m_client)
        farewell = {{ui::bytesOf(topic("program")), kOffline, 1, true},
                    {ui::bytesOf(topic("availability")), kOffline, 1, true}};
    m_connected = false;
    m_online.reset();
    m_settings = s;
    m_clientId = core::clientIdOf(s, hostName());
    m_node = core::nodeId(m_clientId);
    m_prefix = core::topicPrefixOf(s, hostName());
    m_endpoint = s.host + ":" + s.port;
    m_tVolts = topic("volts");
    m_tAmps = topic("amps");
    m_tWatts = topic("watts");
    m_tRpm = topic("rpm");
    m_tWind = topic("wind_speed");
    m_tUnit = topic("wind_speed_unit");
    m_tLoad = topic("load");
    m_tToday = topic("energy_today");
    m_tTotal = topic("energy_total");
    if (s.on) {
        // New names: what the old ones left on the broker goes, first by the
        // old connection's goodbye, and by the new one's first messages in
        // case the old one was not connected.
        const std::set<std::string> now = retainedTopics();
        for (const std::string &t : m_lastTopics)
            if (!now.count(t)) {
                m_toClear.insert(t);
                if (m_client)
                    farewell.push_back({ui::bytesOf(t), QByteArray(), 1, true});
            }
        for (const std::string &t : now)
            m_toClear.erase(t);
        m_lastTopics = now;
    }
    if (m_client) {
        m_client->stop(std::move(farewell));
        m_client->deleteLater();
        m_client = nullptr;
    }
    m_outbox = core::Outbox(s.on ? core::mqttInterval(s) : 1);
    fillOutbox();

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
        setStatus(QStringLiteral("%1 refused the connection: %2 Check the user name and password. Trying again, "
                                 "waiting longer each time (up to a minute).")
                      .arg(q(m_endpoint), reason));
    });
    connect(m_client, &MqttClient::lost, this, [this](const QString &reason) {
        m_connected = false;
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
    o.will = {ui::bytesOf(topic("program")), kOffline, 1, true};
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

void Publisher::setWindUnit(const std::string &unit)
{
    const bool first = !m_unitKnown;
    if (!first && unit == m_windUnit)
        return;
    m_unitKnown = true;
    m_windUnit = unit;
    if (!m_client)
        return;
    m_outbox.set(m_tUnit, ui::fromLocal(unit).toStdString());
    if (m_connected && m_settings.discovery) {
        if (first)
            m_client->publish(discovery());
        else
            for (const Entity &e : entities())
                if (e.key == "wind_speed")
                    m_client->publish({config(e)});
    }
    sendWaiting();
}

void Publisher::fillOutbox()
{
    if (m_unitKnown)
        m_outbox.set(m_tUnit, ui::fromLocal(m_windUnit).toStdString());
    for (const auto &[id, alarm] : m_alarms)
        m_outbox.set(topic("alarm/" + id), alarm.raised ? "ON" : "OFF");
    if (m_month)
        m_outbox.set(topic("availability_month"), dot(core::roundHalfEven(*m_month * 100, 1)));
    if (m_last)
        setValues(*m_last);
}

void Publisher::setValues(const Values &v)
{
    m_outbox.set(m_tVolts, dot(v.volts));
    m_outbox.set(m_tAmps, dot(v.amps));
    m_outbox.set(m_tWatts, dot(v.watts));
    m_outbox.set(m_tRpm, dot(v.rpm));
    m_outbox.set(m_tWind, dot(v.windSpeed));
    m_outbox.set(m_tLoad, v.loadOn ? "ON" : "OFF");
    m_outbox.set(m_tToday, dot(core::roundHalfEven(v.todayWh, 2)));
    m_outbox.set(m_tTotal, dot(core::roundHalfEven(v.lifetimeWh, 2)));
}

void Publisher::frame(const Values &v)
{
    m_last = v;
    if (!m_client)
        return;
    setValues(v);
    updateAvailability(false);
    sendWaiting();
}

void Publisher::setAlarm(const std::string &key, const std::string &name, bool raised)
{
    const std::string id = core::idText(key);
    const bool known = m_alarms.count(id) != 0;
    m_alarms[id] = {name, raised};
    if (!m_client)
        return;
    if (!known) {
        m_lastTopics = retainedTopics();
        if (m_connected && m_settings.discovery && m_unitKnown)
            for (const Entity &e : entities())
                if (e.key == "alarm/" + id)
                    m_client->publish({config(e)});
    }
    m_outbox.set(topic("alarm/" + id), raised ? "ON" : "OFF");
    sendWaiting();
}

void Publisher::setMonthAvailability(std::optional<double> share)
{
    m_month = share;
    if (!m_client || !share)
        return;
    m_outbox.set(topic("availability_month"), dot(core::roundHalfEven(*share * 100, 1)));
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
    return {ui::bytesOf(t), ui::bytesOf(payload), 0, true};
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
        m_client->publish({{ui::bytesOf(topic("availability")), *online ? kOnline : kOffline, 1, true}});
}

void Publisher::onConnected()
{
    m_connected = true;
    setStatus(QStringLiteral("Connected to %1, publishing under %2/.").arg(q(m_endpoint), q(m_prefix)));
    // A broker that restarted may have lost everything: all again, from the
    // state as it is now. What earlier names left goes first.
    std::vector<MqttMessage> out;
    for (const std::string &t : m_toClear)
        out.push_back({ui::bytesOf(t), QByteArray(), 1, true});
    m_toClear.clear();
    out.push_back({ui::bytesOf(topic("program")), kOnline, 1, true});
    if (m_settings.discovery && m_unitKnown)
        for (MqttMessage &m : discovery())
            out.push_back(std::move(m));
    m_client->publish(std::move(out));
    updateAvailability(true);
    out.clear();
    for (const auto &[t, payload] : m_outbox.all(m_services.clock->monotonicSeconds()))
        out.push_back(value(t, payload));
    m_client->publish(std::move(out));
}

std::vector<Publisher::Entity> Publisher::entities() const
{
    const auto windUnit = core::homeWindUnit(m_windUnit);
    // Energy is summed net (a discharging battery lowers it), so its state
    // class allows a decrease: "total_increasing" would take each small drop
    // for a meter reset.
    std::vector<Entity> list = {
        {"volts", "Battery voltage", "sensor", "V", "voltage", "measurement", true},
        {"amps", "Charge current", "sensor", "A", "current", "measurement", true},
        {"watts", "Power", "sensor", "W", "power", "measurement", true},
        {"rpm", "Rotor speed", "sensor", "rpm", "", "measurement", true},
        {"wind_speed", "Wind speed", "sensor", windUnit ? *windUnit : ui::fromLocal(m_windUnit).toStdString(),
         windUnit ? "wind_speed" : "", "measurement", true},
        {"load", "Load", "binary_sensor", "", "power", "", true},
        {"energy_today", "Energy today", "sensor", "Wh", "energy", "total", false},
        {"energy_total", "Energy total", "sensor", "Wh", "energy", "total", false},
        {"availability_month", "Availability this month", "sensor", "%", "", "measurement", false},
    };
    for (const auto &[key, alarm] : m_alarms)
        list.push_back({"alarm/" + key, alarm.name, "binary_sensor", "", "problem", "", false});
    return list;
}

std::string Publisher::configTopic(const Entity &e) const
{
    return std::string(core::trimBlanks(m_settings.discoveryPrefix, " \t")) + "/" + e.component + "/" + m_node
           + "/" + core::idText(e.key) + "/config";
}

std::set<std::string> Publisher::retainedTopics() const
{
    std::set<std::string> out{topic("program"), topic("availability"), m_tUnit};
    for (const Entity &e : entities()) {
        out.insert(topic(e.key));
        out.insert(configTopic(e));
    }
    return out;
}

MqttMessage Publisher::config(const Entity &e) const
{
    const QString node = q(m_node);
    const QJsonObject device{{"identifiers", QJsonArray{node}},
                             {"name", QStringLiteral("Veldra %1").arg(q(m_clientId))},
                             {"manufacturer", QStringLiteral("Veldra")},
                             {"model", QStringLiteral("Wind turbine monitor")},
                             {"sw_version", QStringLiteral(VELDRA_VERSION)}};
    const QJsonObject origin{{"name", QStringLiteral("Veldra")}, {"sw_version", QStringLiteral(VELDRA_VERSION)}};
    const auto available = [](const std::string &t) {
        return QJsonObject{{"topic", q(t)},
                           {"payload_available", QString::fromLatin1(kOnline)},
                           {"payload_not_available", QString::fromLatin1(kOffline)}};
    };
    QJsonArray availability{available(topic("program"))};
    const QString object = q(core::idText(e.key));
    QJsonObject c{{"name", q(e.name)},
                  {"unique_id", node + QLatin1Char('_') + object},
                  {"state_topic", q(topic(e.key))},
                  {"availability", availability},
                  {"device", device},
                  {"origin", origin}};
    if (e.live) {
        availability.append(available(topic("availability")));
        c.insert("availability", availability);
        c.insert("availability_mode", QStringLiteral("all"));
    }
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
    return {ui::bytesOf(configTopic(e)), QJsonDocument(c).toJson(QJsonDocument::Compact), 1, true};
}

std::vector<MqttMessage> Publisher::discovery() const
{
    std::vector<MqttMessage> out;
    for (const Entity &e : entities())
        out.push_back(config(e));
    return out;
}

} // namespace publish
