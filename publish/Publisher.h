#pragma once
// Publishing the unit's values to an MQTT broker for home automation: plain
// values on their own topics (numbers with "." whatever the locale), retained
// discovery configs, and an availability topic that says "online" while the
// data is live and "offline" when it is stale, at exit, and (through the
// broker's last will) when the program dies or loses the network.

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
#include <string>

namespace publish {

class Publisher : public QObject {
    Q_OBJECT
public:
    // `dataState` tells whether the data is live, stale or paused; asked on
    // every frame and every second.
    Publisher(const ui::Services &services, const QString &edition, std::function<core::DataState()> dataState,
              QObject *messageParent);
    ~Publisher() override;

    // Reads "mqtt.cfg" and connects, reconnects or stops accordingly.
    void reload();

    struct Values {
        double volts = 0, amps = 0, watts = 0, rpm = 0, windSpeed = 0;
        bool loadOn = false;
        double todayWh = 0, lifetimeWh = 0;
        std::string windUnit; // local 8-bit, as in "prog.cfg"
    };
    // A processed frame. Each quantity is sent at most once per interval; a
    // newer value replaces one that waits.
    void frame(const Values &v);
    // An alarm raised or cleared; `key` is a short id ("battery_low").
    void setAlarm(const std::string &key, const std::string &name, bool raised);

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
    };
    void poll();
    void onConnected();
    void setStatus(const QString &text);
    // Decides availability from the data state; sends it when it changed.
    void updateAvailability(bool resend);
    std::vector<MqttMessage> discovery() const;
    std::vector<Entity> entities() const;
    MqttMessage value(const std::string &topic, const std::string &payload) const;
    void sendWaiting();
    std::string topic(const std::string &key) const { return m_prefix + "/" + key; }

    ui::Services m_services;
    QString m_edition;
    std::function<core::DataState()> m_dataState;
    QObject *m_parent;
    MqttClient *m_client = nullptr;
    QTimer *m_poll;
    core::MqttSettings m_settings;
    std::string m_clientId, m_prefix, m_endpoint;
    bool m_connected = false, m_refused = false;
    std::optional<bool> m_online;
    std::string m_windUnit;
    // Alarm keys and names, for discovery.
    std::map<std::string, std::string> m_alarms;
    core::Outbox m_outbox;
    QString m_status;
    QString m_toldProblem;
    // Topics of the frame values, made once per reload.
    std::string m_tVolts, m_tAmps, m_tWatts, m_tRpm, m_tWind, m_tUnit, m_tLoad, m_tToday, m_tTotal;
};

} // namespace publish
