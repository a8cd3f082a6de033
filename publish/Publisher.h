// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Publishing the unit's values to an MQTT broker for home automation: plain
// values on their own topics (numbers with "." whatever the locale), retained
// discovery configs, and two availability topics. "<prefix>/program" says
// "online" while the program runs and is connected, and "offline" at exit and
// (through the broker's last will) when the program dies or loses the
// network. "<prefix>/availability" says "online" while the data is live and
// "offline" when it is stale and at exit. Live values need both; alarms and
// the energy totals only the program's, so an alarm about stale data stays
// visible.

#include "MqttClient.h"
#include "core/Liveness.h"
#include "core/Mqtt.h"
#include "ui/Services.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace publish {

class Publisher : public QObject {
    Q_OBJECT
public:
    // `dataState` tells whether the data is live, stale or paused; asked on
    // every frame and every second.
    Publisher(const ui::Services &services, std::function<core::DataState()> dataState, QObject *messageParent);
    // Says goodbye; waits at most a second for it.
    ~Publisher() override;

    // Reads "mqtt.cfg" and connects, reconnects or stops accordingly; the
    // same settings as before (and the same CA file) leave all as it is. Returns
    // at once. When the client id or a prefix changed, what was published
    // under the old names is cleared from the broker.
    void reload();
    // The wind-speed unit of the settings in force (local 8-bit, as in
    // "prog.cfg"). Discovery waits for it, so it is sent once, with the unit.
    void setWindUnit(const std::string &unit);

    struct Values {
        double volts = 0, amps = 0, watts = 0, rpm = 0, windSpeed = 0;
        bool loadOn = false;
        double todayWh = 0, lifetimeWh = 0;
    };
    // A processed frame. Each quantity is sent at most once per interval; a
    // newer value replaces one that waits.
    void frame(const Values &v);
    // An alarm raised or cleared; `key` is a short id ("battery_low"). Kept
    // also while MQTT is off, and published on every connect.
    void setAlarm(const std::string &key, const std::string &name, bool raised);
    // This month's availability by time (0..1), sent in percent; none: not known.
    void setMonthAvailability(std::optional<double> share);

    QString statusText() const { return m_status; }
    bool connected() const { return m_connected; }
    // The settings in use and the names made from them.
    const core::MqttSettings &settings() const { return m_settings; }
    QString topicPrefix() const { return QString::fromStdString(m_prefix); }
    QString clientId() const { return QString::fromStdString(m_clientId); }

signals:
    void statusChanged(const QString &text);

private:
    struct Entity {
        std::string key, name, component, unit, deviceClass, stateClass;
        // Live values depend on the data; alarms and totals only on the program.
        bool live = false;
    };
    struct Alarm {
        std::string name;
        bool raised = false;
    };
    void poll();
    void onConnected();
    void setStatus(const QString &text);
    // Decides availability from the data state; sends it when it changed.
    void updateAvailability(bool resend);
    std::vector<MqttMessage> discovery() const;
    MqttMessage config(const Entity &e) const;
    std::string configTopic(const Entity &e) const;
    std::vector<Entity> entities() const;
    // Every retained topic the current names publish to.
    std::set<std::string> retainedTopics() const;
    MqttMessage value(const std::string &topic, const std::string &payload) const;
    // The outbox of new names: every value as it stands.
    void fillOutbox();
    void setValues(const Values &v);
    void sendWaiting();
    std::string topic(const std::string &key) const { return m_prefix + "/" + key; }

    ui::Services m_services;
    std::function<core::DataState()> m_dataState;
    QObject *m_parent;
    MqttClient *m_client = nullptr;
    QTimer *m_poll;
    core::MqttSettings m_settings;
    std::string m_clientId, m_node, m_prefix, m_endpoint;
    bool m_connected = false;
    std::optional<bool> m_online;
    std::string m_windUnit;
    bool m_unitKnown = false;
    std::map<std::string, Alarm> m_alarms;
    std::optional<Values> m_last;
    std::optional<double> m_month;
    core::Outbox m_outbox;
    QString m_status;
    QString m_toldProblem;
    // What the last reload took up (settings, problem, CA file), once one ran.
    std::optional<QString> m_loaded;
    // The retained topics of the last settings that were on, and those of
    // earlier names still to be emptied on the broker.
    std::set<std::string> m_lastTopics, m_toClear;
    // Topics of the frame values, made once per reload.
    std::string m_tVolts, m_tAmps, m_tWatts, m_tRpm, m_tWind, m_tUnit, m_tLoad, m_tToday, m_tTotal;
};

} // namespace publish
