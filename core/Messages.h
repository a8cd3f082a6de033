// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Alarms sent to the owner as e-mail and push messages, the pure parts: the
// settings file "messages.cfg" and its rules, the texts and requests each
// channel sends, the outbox's lines, the back-off, and the folding of an
// alarm's repeats. Sending is libcurl's, on another thread (publish/).

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace core {

// ---- messages.cfg

// Values are kept as typed, as the page shows them back; messageSettingsProblem()
// tells whether they can be used.
struct MessageChannel {
    // "email", "ntfy", "telegram" or "webhook".
    std::string kind = "email";
    std::string name;
    // E-mail: the server, its port (empty: 465 for "tls", 587 for
    // "starttls", 25 for "none"), "tls" (implicit), "starttls" or "none"
    // (to this computer only), the login, the sender and the receivers
    // ("," or ";" between them).
    std::string server, port, security = "starttls", user, password, from, to;
    // Push: the ntfy topic's URL, the webhook's URL, or the bot API's base
    // (empty: https://api.telegram.org) with the bot's token and the chat.
    std::string url, token, chat;
};

struct MessageSettings {
    bool on = false;
    std::vector<MessageChannel> channels;
    // A CA file trusted beside the system's certificates (empty: none).
    std::string caFile;
    // Minutes within which an alarm's repeats are folded into one message.
    std::string holdOff = "10";
    bool summary = false;
    // When the day's summary goes, "hh:mm" local time.
    std::string summaryTime = "07:00";
    // Minutes the program may be away before its next start says so.
    std::string gap = "30";
};

std::string messageSettingsText(const MessageSettings &s);
// Keys that are missing take their defaults.
MessageSettings readMessageSettings(std::string_view text);

// The first thing that keeps the settings from being used, with the key of
// the value to correct; nothing when they can be. The CA file's existence is
// for the caller.
struct MessageProblem {
    std::string key, text;
};
std::optional<MessageProblem> messageSettingsProblem(const MessageSettings &s);
// The same for one channel (`index` from 0, for the keys).
std::optional<MessageProblem> channelProblem(const MessageChannel &c, size_t index);

// The values of settings that passed the check.
int emailPort(const MessageChannel &c);
double holdOffSeconds(const MessageSettings &s);
double gapSeconds(const MessageSettings &s);
// Minutes after midnight.
int summaryMinute(const MessageSettings &s);
// The server's name and the sender's address, trimmed.
std::string emailHost(const MessageChannel &c);
std::string emailSender(const MessageChannel &c);
// The receivers of an e-mail channel, trimmed.
std::vector<std::string> emailReceivers(const MessageChannel &c);

// The key of a channel's value in the file and the forms: "Channel1Server".
std::string channelKey(size_t index, std::string_view field);

// ---- what is sent

// One message to one channel, as the outbox keeps it.
struct Message {
    // Stable across retries and restarts: the receiver folds a repeat by it.
    std::string id;
    std::int64_t created = 0; // Unix seconds
    // The channel's index and name when it was written: a message whose
    // channel is gone or renamed is dropped, not sent elsewhere.
    int channel = 0;
    std::string channelName;
    // "raised", "cleared", "summary", "gap" or "test".
    std::string state;
    // The alarm's key ("battery_low"), empty for the others.
    std::string alarm;
    std::string title, text, value, since;
};

// The whole e-mail: headers and body with CR LF, UTF-8. `date` is the RFC
// 5322 date of `m.created`, `site` names the turbine.
std::string emailText(const Message &m, const MessageChannel &c, std::string_view site, std::string_view date);
// "Mon, 09 Dec 2026 14:05:09 +0000".
std::string mailDate(std::int64_t unixSeconds);

struct HttpRequest {
    std::string url;
    std::vector<std::string> headers; // "Name: value"
    std::string body;
};
// The push request of a channel of kind ntfy, telegram or webhook.
HttpRequest pushRequest(const Message &m, const MessageChannel &c, std::string_view site);
// `text` with the channel's secrets (password, token) replaced by "…", for
// logs and the status: a bot's token stands in its URL.
std::string redacted(std::string text, const MessageChannel &c);

// ---- the outbox: one JSON object a line, appended whole

std::string outboxAddLine(const Message &m);
// The message sent (or dropped) for good.
std::string outboxDoneLine(const std::string &id, std::string_view result);
// The messages added and not yet done, in the order added. A line that is
// not whole (a kill while writing it) or not understood is passed over.
std::vector<Message> readOutbox(std::string_view text);

// Seconds to wait after `failures` failures in a row: `first` doubling, at
// most 30 minutes.
double retrySeconds(int failures, double first = 1);

// ---- repeats folded

// An alarm's first change is sent at once; changes within the hold-off after
// it are counted, and when the hold-off ends the alarm's state then is sent
// once if it differs from the one sent, with how many changes it folds.
class AlarmFold {
public:
    struct Send {
        std::string alarm;
        bool raised;
        int folded; // changes within the hold-off before this one
    };
    explicit AlarmFold(double holdOffSeconds = 600) : m_holdOff(holdOffSeconds) { }
    void setHoldOff(double seconds) { m_holdOff = seconds; }
    // Times are seconds on a monotonic clock.
    std::optional<Send> change(const std::string &alarm, bool raised, double now);
    std::vector<Send> due(double now);
    // When the next hold-off ends, if one runs.
    std::optional<double> nextDue() const;

private:
    struct Held {
        double until;
        bool sent, now;
        int changes;
    };
    double m_holdOff;
    std::map<std::string, Held> m_held;
};

} // namespace core
