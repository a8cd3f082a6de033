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

std::string escaped(std::string_view text)
{
    std::string s = replaceAll(text, "&", "&amp;");
    s = replaceAll(s, "<", "&lt;");
    return replaceAll(s, ">", "&gt;");
}

std::string unescaped(std::string_view text)
{
    std::string s = replaceAll(text, "&lt;", "<");
    s = replaceAll(s, "&gt;", ">");
    return replaceAll(s, "&amp;", "&");
}

void line(std::string &out, const char *key, const std::string &value) { out += tagLine(key, escaped(value)); }

void read(std::string_view text, const char *key, std::string &value)
{
    if (const auto v = tagValue(text, key))
        value = unescaped(*v);
}

void read(std::string_view text, const char *key, bool &value)
{
    if (const auto v = tagValue(text, key))
        value = isOn(*v);
}

bool topicText(const std::string &s)
{
    return !s.empty() && s.find_first_of("+#") == std::string::npos && s.front() != '/' && s.back() != '/';
}
} // namespace

std::string mqttSettingsText(const MqttSettings &s)
{
    std::string out;
    line(out, "MqttOn", s.on ? "1" : "0");
    line(out, "Host", s.host);
    line(out, "Port", s.port);
    line(out, "User", s.user);
    line(out, "Password", s.password);
    line(out, "Tls", s.tls ? "1" : "0");
    line(out, "CaFile", s.caFile);
    line(out, "ClientId", s.clientId);
    line(out, "TopicPrefix", s.topicPrefix);
    line(out, "Discovery", s.discovery ? "1" : "0");
    line(out, "DiscoveryPrefix", s.discoveryPrefix);
    line(out, "Interval", s.interval);
    return out;
}

MqttSettings readMqttSettings(std::string_view text)
{
    MqttSettings s;
    read(text, "MqttOn", s.on);
    read(text, "Host", s.host);
    read(text, "Port", s.port);
    read(text, "User", s.user);
    read(text, "Password", s.password);
    read(text, "Tls", s.tls);
    read(text, "CaFile", s.caFile);
    read(text, "ClientId", s.clientId);
    read(text, "TopicPrefix", s.topicPrefix);
    read(text, "Discovery", s.discovery);
    read(text, "DiscoveryPrefix", s.discoveryPrefix);
    read(text, "Interval", s.interval);
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
