// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Publishing to an MQTT broker, the pure parts: the settings file "mqtt.cfg",
// the names derived from it, and the table of latest values that limits how
// often each topic is sent and never grows while the broker is away.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace core {

// Values are kept as typed (texts), so the window shows back what was saved;
// mqttSettingsProblem() tells whether they can be used.
struct MqttSettings {
    bool on = false;
    std::string host = "localhost";
    std::string port = "1883";
    std::string user, password;
    bool tls = false;
    std::string caFile;
    // Empty: defaultClientId() of this machine.
    std::string clientId;
    // Empty: "veldra/" + the client id.
    std::string topicPrefix;
    bool discovery = true;
    std::string discoveryPrefix = "homeassistant";
    // Seconds between two messages of one quantity; at least 1, empty for 1.
    std::string interval = "1";
};

// The whole file, tagged like the other settings files, CR LF line ends.
// Values are written with "&", "<" and ">" as entities, so any text (a
// password holding "</Password>") reads back as it was.
std::string mqttSettingsText(const MqttSettings &s);
// Keys that are missing take their defaults.
MqttSettings readMqttSettings(std::string_view text);

// "veldra-" and the host name, with every character a topic or an entity id
// would not take made "-": two sites on one broker never share one.
std::string defaultClientId(std::string_view hostName);
std::string clientIdOf(const MqttSettings &s, std::string_view hostName);
std::string topicPrefixOf(const MqttSettings &s, std::string_view hostName);
// Letters, digits, "_" and "-" only, for discovery node and object ids.
std::string idText(std::string_view text);
// The discovery node id of a client id: idText(), and where that replaced
// anything, "_" and a short hash of the id as typed, so "site.a" and "site a"
// stay two devices.
std::string nodeId(std::string_view clientId);

// The wind-speed unit as home automation spells it ("m/s", "km/h", "mph",
// "kn", "ft/s"), from the user's unit text ("MPH", "kph", "knots"...);
// nothing for a unit it does not know.
std::optional<std::string> homeWindUnit(std::string_view unit);

// Nothing when the settings can be used; otherwise the message that says
// what to correct. Whether the CA file exists is for the caller to check.
std::optional<std::string> mqttSettingsProblem(const MqttSettings &s);
// The port and interval of settings that passed the check.
int mqttPort(const MqttSettings &s);
double mqttInterval(const MqttSettings &s);

// The latest value of each topic, and when it may be sent next. Setting a
// value replaces one not yet sent, so at most one value per topic waits,
// however long the broker is away.
class Outbox {
public:
    using Message = std::pair<std::string, std::string>; // topic, payload

    explicit Outbox(double intervalSeconds = 1) : m_interval(intervalSeconds) { }
    void setInterval(double seconds) { m_interval = seconds; }
    // Times are seconds on a monotonic clock.
    void set(const std::string &topic, const std::string &value);
    // The values set since their topic was last sent, where that was at least
    // the interval ago; they count as sent at `now`.
    std::vector<Message> take(double now);
    // Every topic's latest value, as for a new connection; all count as sent.
    std::vector<Message> all(double now);
    size_t size() const { return m_slots.size(); }

private:
    struct Slot {
        std::string value;
        bool waiting = false;
        std::optional<double> sent;
    };
    double m_interval;
    std::map<std::string, Slot> m_slots;
};

} // namespace core
