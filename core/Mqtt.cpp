// SPDX-License-Identifier: GPL-3.0-or-later
#include "Mqtt.h"

#include "Number.h"
#include "TagValue.h"
#include "Text.h"

#include <cmath>
#include <cstdint>

namespace core {

namespace {
std::string trim(std::string_view text) { return std::string(trimBlanks(text, " \t\r\n")); }


bool topicText(const std::string &s)
{
    return !s.empty() && s.find_first_of("+#") == std::string::npos && s.front() != '/' && s.back() != '/';
}
} // namespace

std::string mqttSettingsText(const MqttSettings &s)
{
    std::string out;
    putFlag(out, "MqttOn", s.on);
    putTag(out, "Host", s.host);
    putTag(out, "Port", s.port);
    putTag(out, "User", s.user);
    putTag(out, "Password", s.password);
    putFlag(out, "Tls", s.tls);
    putTag(out, "CaFile", s.caFile);
    putTag(out, "ClientId", s.clientId);
    putTag(out, "TopicPrefix", s.topicPrefix);
    putFlag(out, "Discovery", s.discovery);
    putTag(out, "DiscoveryPrefix", s.discoveryPrefix);
    putTag(out, "Interval", s.interval);
    return out;
}

MqttSettings readMqttSettings(std::string_view text)
{
    MqttSettings s;
    takeTag(text, "MqttOn", s.on);
    takeTag(text, "Host", s.host);
    takeTag(text, "Port", s.port);
    takeTag(text, "User", s.user);
    takeTag(text, "Password", s.password);
    takeTag(text, "Tls", s.tls);
    takeTag(text, "CaFile", s.caFile);
    takeTag(text, "ClientId", s.clientId);
    takeTag(text, "TopicPrefix", s.topicPrefix);
    takeTag(text, "Discovery", s.discovery);
    takeTag(text, "DiscoveryPrefix", s.discoveryPrefix);
    takeTag(text, "Interval", s.interval);
    return s;
}

std::string idText(std::string_view text)
{
    std::string s(text);
    for (char &c : s) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
                          || c == '-';
        if (!keep)
            c = '-';
    }
    return s;
}

std::string nodeId(std::string_view clientId)
{
    std::string id = idText(clientId);
    if (id == clientId)
        return id;
    // FNV-1a, 24 bits: enough to tell a site's few spellings apart.
    std::uint32_t h = 2166136261u;
    for (const char c : clientId)
        h = (h ^ std::uint8_t(c)) * 16777619u;
    static const char hex[] = "0123456789abcdef";
    id += '_';
    for (int shift = 20; shift >= 0; shift -= 4)
        id += hex[(h >> shift) & 0xf];
    return id;
}

std::string defaultClientId(std::string_view hostName)
{
    const std::string host = trim(hostName);
    return "veldra-" + idText(host.empty() ? std::string_view("host") : std::string_view(host));
}

std::string clientIdOf(const MqttSettings &s, std::string_view hostName)
{
    const std::string id = trim(s.clientId);
    return id.empty() ? defaultClientId(hostName) : id;
}

std::string topicPrefixOf(const MqttSettings &s, std::string_view hostName)
{
    const std::string prefix = trim(s.topicPrefix);
    return prefix.empty() ? "veldra/" + clientIdOf(s, hostName) : prefix;
}

std::optional<std::string> homeWindUnit(std::string_view unit)
{
    std::string u = trim(unit);
    for (char &c : u)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    static const std::pair<const char *, const char *> known[] = {
        {"m/s", "m/s"},  {"mps", "m/s"},   {"ms", "m/s"},   {"km/h", "km/h"}, {"kmh", "km/h"},
        {"kph", "km/h"}, {"kmph", "km/h"}, {"mph", "mph"},  {"kn", "kn"},     {"kt", "kn"},
        {"kts", "kn"},   {"knot", "kn"},   {"knots", "kn"}, {"ft/s", "ft/s"}, {"fps", "ft/s"},
    };
    for (const auto &[text, home] : known)
        if (u == text)
            return std::string(home);
    return std::nullopt;
}

std::optional<std::string> mqttSettingsProblem(const MqttSettings &s)
{
    const auto port = readNumber(s.port);
    if (!port || *port != std::floor(*port) || *port < 1 || *port > 65535)
        return "The port must be a whole number from 1 to 65535 (1883 is usual, 8883 with TLS).";
    if (s.on && trim(s.host).empty())
        return "Enter the host name or address of the broker, or switch MQTT off.";
    if (s.tls && trim(s.caFile).empty())
        return "With TLS on, enter the CA file that signed the broker's certificate.";
    const auto interval = trim(s.interval).empty() ? std::optional<double>(1) : readNumber(s.interval);
    if (!interval || *interval < 1 || *interval > 3600)
        return "The publish interval must be a number of seconds from 1 to 3600.";
    if (!trim(s.topicPrefix).empty() && !topicText(trim(s.topicPrefix)))
        return "The topic prefix may not contain \"+\" or \"#\", nor start or end with \"/\".";
    if (s.discovery && !topicText(trim(s.discoveryPrefix)))
        return "The discovery prefix must be a topic without \"+\" or \"#\" (usually homeassistant).";
    if (trim(s.clientId).find_first_of("+#/") != std::string::npos)
        return "The client id may not contain \"+\", \"#\" or \"/\".";
    if (!s.password.empty() && trim(s.user).empty())
        return "A password needs a user name.";
    return std::nullopt;
}

int mqttPort(const MqttSettings &s) { return int(readNumber(s.port).value_or(1883)); }

double mqttInterval(const MqttSettings &s) { return readNumber(s.interval).value_or(1); }

void Outbox::set(const std::string &topic, const std::string &value)
{
    Slot &slot = m_slots[topic];
    slot.value = value;
    slot.waiting = true;
}

std::vector<Outbox::Message> Outbox::take(double now)
{
    std::vector<Message> out;
    for (auto &[topic, slot] : m_slots) {
        // A little slack, so that frames a second apart are each sent.
        if (!slot.waiting || (slot.sent && now - *slot.sent < m_interval - 0.05))
            continue;
        slot.waiting = false;
        slot.sent = now;
        out.emplace_back(topic, slot.value);
    }
    return out;
}

std::vector<Outbox::Message> Outbox::all(double now)
{
    std::vector<Message> out;
    for (auto &[topic, slot] : m_slots) {
        slot.waiting = false;
        slot.sent = now;
        out.emplace_back(topic, slot.value);
    }
    return out;
}

} // namespace core
