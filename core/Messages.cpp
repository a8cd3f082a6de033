// SPDX-License-Identifier: GPL-3.0-or-later
#include "Messages.h"

#include "EnergyBook.h"
#include "Json.h"
#include "Number.h"
#include "TagValue.h"
#include "Text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace core {

namespace {
std::string trim(std::string_view text) { return std::string(trimBlanks(text, " \t\r\n")); }

const char *const kKinds[] = {"email", "ntfy", "telegram", "webhook"};
const char *const kSecurities[] = {"tls", "starttls", "none"};

struct ChannelField {
    const char *name;
    std::string MessageChannel::*member;
};
const ChannelField kChannelFields[] = {
    {"Kind", &MessageChannel::kind},         {"Name", &MessageChannel::name},
    {"Server", &MessageChannel::server},     {"Port", &MessageChannel::port},
    {"Security", &MessageChannel::security}, {"User", &MessageChannel::user},
    {"Password", &MessageChannel::password}, {"From", &MessageChannel::from},
    {"To", &MessageChannel::to},             {"Url", &MessageChannel::url},
    {"Token", &MessageChannel::token},       {"Chat", &MessageChannel::chat},
};

template <size_t N>
bool oneOf(const std::string &value, const char *const (&words)[N])
{
    return std::find(std::begin(words), std::end(words), value) != std::end(words);
}

// A text that goes into a header or a request line: no line break or other
// control character, which would start a header of the text's own.
bool headerSafe(std::string_view text)
{
    return std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

bool startsWithLower(std::string_view text, std::string_view prefix)
{
    return lowered(text.substr(0, prefix.size())) == prefix;
}

// An address "name@host", the only form taken: no blanks, brackets or quotes.
bool mailAddress(std::string_view a)
{
    const size_t at = a.find('@');
    return at != std::string_view::npos && at > 0 && at + 1 < a.size() && a.find('@', at + 1) == std::string_view::npos
           && a.find_first_of(" \t<>\"(),;:\\[]") == std::string_view::npos && headerSafe(a);
}

bool thisComputer(std::string_view host)
{
    const std::string h = lowered(trim(host));
    return h == "127.0.0.1" || h == "localhost" || h == "::1" || h == "[::1]";
}

std::optional<double> minutes(const std::string &text, double least, double most)
{
    const auto v = readNumber(trim(text));
    return v && *v >= least && *v <= most ? v : std::nullopt;
}

// RFC 2047: a header text that is not plain ASCII as UTF-8 in base64 words.
std::string headerText(std::string_view text)
{
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(text);
    std::string out;
    // Words of at most 45 bytes (60 characters encoded), cut between characters.
    size_t i = 0;
    while (i < text.size()) {
        size_t end = std::min(text.size(), i + 45);
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80)
            --end;
        out += (out.empty() ? "" : "\r\n ") + std::string("=?UTF-8?B?") + base64(text.substr(i, end - i)) + "?=";
        i = end;
    }
    return out;
}

std::string crlf(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}
} // namespace

// ---- messages.cfg -----------------------------------------------------------------

std::string channelKey(size_t index, std::string_view field)
{
    return "Channel" + std::to_string(index + 1) + std::string(field);
}

std::string messageSettingsText(const MessageSettings &s)
{
    std::string out;
    putTag(out, "MessagesOn", s.on ? "1" : "0");
    putTag(out, "CaFile", s.caFile);
    putTag(out, "HoldOff", s.holdOff);
    putTag(out, "Summary", s.summary ? "1" : "0");
    putTag(out, "SummaryTime", s.summaryTime);
    putTag(out, "Gap", s.gap);
    putTag(out, "Channels", std::to_string(s.channels.size()));
    for (size_t i = 0; i < s.channels.size(); ++i)
        for (const ChannelField &f : kChannelFields)
            putTag(out, channelKey(i, f.name), s.channels[i].*f.member);
    return out;
}

MessageSettings readMessageSettings(std::string_view text)
{
    MessageSettings s;
    takeTag(text, "MessagesOn", s.on);
    takeTag(text, "CaFile", s.caFile);
    takeTag(text, "HoldOff", s.holdOff);
    takeTag(text, "Summary", s.summary);
    takeTag(text, "SummaryTime", s.summaryTime);
    takeTag(text, "Gap", s.gap);
    std::string count;
    takeTag(text, "Channels", count);
    const auto n = readNumber(trim(count));
    // A count beyond what a person keeps is a damaged file: none are read.
    const size_t channels = n && *n >= 0 && *n <= 100 ? size_t(*n) : 0;
    for (size_t i = 0; i < channels; ++i) {
        MessageChannel c;
        c.kind.clear();
        c.security.clear();
        for (const ChannelField &f : kChannelFields)
            takeTag(text, channelKey(i, f.name), c.*f.member);
        s.channels.push_back(std::move(c));
    }
    return s;
}

std::optional<MessageProblem> channelProblem(const MessageChannel &c, size_t i)
{
    const auto problem = [&](const char *field, const std::string &text) {
        return MessageProblem{channelKey(i, field), "Channel " + std::to_string(i + 1) + ": " + text};
    };
    for (const ChannelField &f : kChannelFields)
        if (!headerSafe(c.*f.member))
            return problem(f.name, "a value may not hold a line break or another control character.");
    if (!oneOf(c.kind, kKinds))
        return problem("Kind", "the kind is email, ntfy, telegram or webhook.");
    if (c.kind == "email") {
        if (trim(c.server).empty())
            return problem("Server", "the mail server's name is missing.");
        if (!oneOf(c.security, kSecurities))
            return problem("Security", "the security is tls, starttls or none.");
        if (c.security == "none" && !thisComputer(c.server))
            return problem("Security", "mail leaves this computer only encrypted: tls or starttls.");
        if (!trim(c.port).empty()) {
            const auto port = readNumber(trim(c.port));
            if (!port || *port < 1 || *port > 65535 || *port != std::floor(*port))
                return problem("Port", "the port is a number from 1 to 65535, or empty for the usual one.");
        }
        if (!mailAddress(trim(c.from)))
            return problem("From", "the sender is one address, such as turbine@example.org.");
        const auto to = emailReceivers(c);
        if (to.empty() || !std::all_of(to.begin(), to.end(), mailAddress))
            return problem("To", "the receivers are addresses with \",\" between them.");
        if (!trim(c.password).empty() && trim(c.user).empty())
            return problem("User", "a password needs its user name.");
        return std::nullopt;
    }
    const std::string url = trim(c.url);
    if (c.kind == "telegram") {
        if (!url.empty() && !startsWithLower(url, "https://"))
            return problem("Url", "the bot API is reached by https:// only.");
        const std::string token = trim(c.token);
        if (token.empty() || token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789:_-")
                                 != std::string::npos)
            return problem("Token", "the bot's token is letters, digits, \":\", \"_\" and \"-\".");
        if (trim(c.chat).empty())
            return problem("Chat", "the chat id is missing.");
        return std::nullopt;
    }
    if (!startsWithLower(url, "https://") || url.size() <= 8)
        return problem("Url", "the address starts with https://.");
    return std::nullopt;
}

std::optional<MessageProblem> messageSettingsProblem(const MessageSettings &s)
{
    if (!minutes(s.holdOff, 0, 1440))
        return MessageProblem{"HoldOff", "The hold-off is minutes from 0 to 1440."};
    if (!minutes(s.gap, 1, 100000))
        return MessageProblem{"Gap", "The gap is minutes from 1 to 100000."};
    const std::string t = trim(s.summaryTime);
    const int h = t.size() == 5 && t[2] == ':' ? std::atoi(t.substr(0, 2).c_str()) : -1;
    const int m = h >= 0 ? std::atoi(t.substr(3).c_str()) : -1;
    if (t.size() != 5 || t[2] != ':' || !std::isdigit(static_cast<unsigned char>(t[0])) || !std::isdigit(static_cast<unsigned char>(t[1]))
        || !std::isdigit(static_cast<unsigned char>(t[3])) || !std::isdigit(static_cast<unsigned char>(t[4])) || h > 23 || m > 59)
        return MessageProblem{"SummaryTime", "The summary's time is hh:mm, such as 07:00."};
    if (!headerSafe(s.caFile))
        return MessageProblem{"CaFile", "The CA file's name may not hold a line break."};
    for (size_t i = 0; i < s.channels.size(); ++i)
        if (auto p = channelProblem(s.channels[i], i))
            return p;
    return std::nullopt;
}

int emailPort(const MessageChannel &c)
{
    if (const auto p = readNumber(trim(c.port)))
        return int(*p);
    return c.security == "tls" ? 465 : c.security == "starttls" ? 587 : 25;
}

double holdOffSeconds(const MessageSettings &s) { return minutes(s.holdOff, 0, 1440).value_or(10) * 60; }
double gapSeconds(const MessageSettings &s) { return minutes(s.gap, 1, 100000).value_or(30) * 60; }

int summaryMinute(const MessageSettings &s)
{
    const std::string t = trim(s.summaryTime);
    return t.size() == 5 ? std::atoi(t.substr(0, 2).c_str()) * 60 + std::atoi(t.substr(3).c_str()) : 7 * 60;
}

std::string emailHost(const MessageChannel &c) { return trim(c.server); }
std::string emailSender(const MessageChannel &c) { return trim(c.from); }

std::vector<std::string> emailReceivers(const MessageChannel &c)
{
    std::vector<std::string> out;
    std::string current;
    for (char ch : c.to + ",") {
        if (ch == ',' || ch == ';') {
            if (const std::string a = trim(current); !a.empty())
                out.push_back(a);
            current.clear();
        } else {
            current += ch;
        }
    }
    return out;
}

// ---- what is sent -------------------------------------------------------------------

std::string mailDate(std::int64_t t)
{
    static const char *const kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const long days = long(std::floor(double(t) / 86400));
    const long second = long(t - std::int64_t(days) * 86400);
    const CivilDate d = civilFromDays(days);
    char out[64];
    std::snprintf(out, sizeof out, "%s, %02d %s %04d %02ld:%02ld:%02ld +0000", kDays[((days % 7) + 7) % 7], d.day,
                  kMonths[d.month - 1], d.year, second / 3600, second / 60 % 60, second % 60);
    return out;
}

std::string emailText(const Message &m, const MessageChannel &c, std::string_view site, std::string_view date)
{
    std::string to;
    for (const std::string &a : emailReceivers(c))
        to += (to.empty() ? "" : ", ") + a;
    std::string out;
    out += "Date: " + std::string(date) + "\r\n";
    out += "From: " + headerText("Veldra " + std::string(site)) + " <" + trim(c.from) + ">\r\n";
    out += "To: " + to + "\r\n";
    out += "Subject: " + headerText("[" + std::string(site) + "] " + m.title) + "\r\n";
    out += "Message-ID: <" + m.id + "@veldra>\r\n";
    out += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n";
    out += "\r\n" + crlf(m.text) + "\r\n";
    return out;
}

HttpRequest pushRequest(const Message &m, const MessageChannel &c, std::string_view site)
{
    HttpRequest r;
    const std::string title = "[" + std::string(site) + "] " + m.title;
    if (c.kind == "ntfy") {
        r.url = trim(c.url);
        r.headers = {"Title: " + headerText(title), std::string("Priority: ") + (m.state == "raised" ? "high" : "default"),
                     std::string("Tags: ") + (m.state == "raised" ? "warning" : m.state == "cleared" ? "white_check_mark" : "wind_face"),
                     "X-Veldra-Message-Id: " + m.id, "Content-Type: text/plain; charset=utf-8"};
        r.body = m.text;
        return r;
    }
    if (c.kind == "telegram") {
        const std::string base = trim(c.url).empty() ? std::string("https://api.telegram.org") : trim(c.url);
        r.url = (base.back() == '/' ? base.substr(0, base.size() - 1) : base) + "/bot" + trim(c.token) + "/sendMessage";
        r.headers = {"Content-Type: application/json", "X-Veldra-Message-Id: " + m.id};
        JsonWriter j;
        j.object().key("chat_id").text(trim(c.chat)).key("text").text(title + "\n" + m.text).endObject();
        r.body = j.take();
        return r;
    }
    r.url = trim(c.url);
    r.headers = {"Content-Type: application/json", "X-Veldra-Message-Id: " + m.id};
    JsonWriter j;
    j.object().key("id").text(m.id).key("alarm").text(m.alarm).key("state").text(m.state);
    j.key("value").text(m.value).key("since").text(m.since).key("site").text(site).key("program").text("Veldra");
    j.key("title").text(m.title).key("text").text(m.text).endObject();
    r.body = j.take();
    return r;
}

std::string redacted(std::string text, const MessageChannel &c)
{
    for (const std::string *secret : {&c.password, &c.token}) {
        const std::string s = trim(*secret);
        if (s.size() >= 4)
            text = replaceAll(text, s, "\xe2\x80\xa6");
    }
    return text;
}

// ---- the outbox ---------------------------------------------------------------------

std::string outboxAddLine(const Message &m)
{
    JsonWriter j;
    j.object().key("add").text(m.id).key("created").whole(m.created).key("channel").whole(m.channel);
    j.key("channelName").text(m.channelName).key("state").text(m.state).key("alarm").text(m.alarm);
    j.key("title").text(m.title).key("text").text(m.text).key("value").text(m.value).key("since").text(m.since);
    return j.endObject().take() + "\n";
}

std::string outboxDoneLine(const std::string &id, std::string_view result)
{
    JsonWriter j;
    return j.object().key("done").text(id).key("result").text(result).endObject().take() + "\n";
}

std::vector<Message> readOutbox(std::string_view text)
{
    std::vector<Message> pending;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            break; // not whole
        const auto line = readJson(text.substr(at, end - at));
        at = end + 1;
        if (!line || !line->is_object())
            continue;
        const auto str = [&](const char *key) {
            const auto v = line->find(key);
            return v != line->end() && v->is_string() ? v->get<std::string>() : std::string();
        };
        if (const std::string done = str("done"); !done.empty()) {
            pending.erase(std::remove_if(pending.begin(), pending.end(), [&](const Message &m) { return m.id == done; }),
                          pending.end());
            continue;
        }
        Message m;
        m.id = str("add");
        const auto created = line->find("created");
        const auto channel = line->find("channel");
        if (m.id.empty() || created == line->end() || !created->is_number_integer() || channel == line->end()
            || !channel->is_number_integer())
            continue;
        m.created = created->get<std::int64_t>();
        m.channel = channel->get<int>();
        m.channelName = str("channelName");
        m.state = str("state");
        m.alarm = str("alarm");
        m.title = str("title");
        m.text = str("text");
        m.value = str("value");
        m.since = str("since");
        pending.push_back(std::move(m));
    }
    return pending;
}

double retrySeconds(int failures, double first)
{
    const double most = 30 * 60;
    if (failures <= 0)
        return 0;
    return std::min(most, first * std::pow(2.0, std::min(failures - 1, 30)));
}

// ---- repeats folded -----------------------------------------------------------------

std::optional<AlarmFold::Send> AlarmFold::change(const std::string &alarm, bool raised, double now)
{
    const auto held = m_held.find(alarm);
    if (held != m_held.end() && now < held->second.until) {
        held->second.now = raised;
        ++held->second.changes;
        return std::nullopt;
    }
    m_held[alarm] = Held{now + m_holdOff, raised, raised, 0};
    return Send{alarm, raised, 0};
}

std::vector<AlarmFold::Send> AlarmFold::due(double now)
{
    std::vector<Send> out;
    for (auto it = m_held.begin(); it != m_held.end();) {
        Held &h = it->second;
        if (now < h.until) {
            ++it;
            continue;
        }
        if (h.now == h.sent) {
            it = m_held.erase(it);
            continue;
        }
        // The state now differs from the one sent: sent, and held again.
        out.push_back({it->first, h.now, h.changes - 1});
        h = Held{now + m_holdOff, h.now, h.now, 0};
        ++it;
    }
    return out;
}

std::optional<double> AlarmFold::nextDue() const
{
    std::optional<double> next;
    for (const auto &[alarm, h] : m_held)
        if (!next || h.until < *next)
            next = h.until;
    return next;
}

} // namespace core
