// SPDX-License-Identifier: GPL-3.0-or-later
#include "Forms.h"

#include "Number.h"
#include "Text.h"

#include <algorithm>
#include <cmath>

namespace core {

namespace {
const char kNothingSaved[] = " Nothing was saved.";
const std::string_view kBlanks = " \t\r\n\v\f";

std::string trimmed(std::string_view text) { return std::string(trimBlanks(text, kBlanks)); }

std::string valueOf(const FormValues &v, std::string_view key)
{
    const auto it = v.find(key);
    return it == v.end() ? std::string() : it->second;
}

bool ticked(const FormValues &v, std::string_view key) { return valueOf(v, key) == "1"; }

struct AlarmRow {
    const char *onKey, *valueKey, *caption;
};
// By AlarmId, with the captions of the window's rows.
const AlarmRow kAlarmRows[kAlarmCount] = {
    {"BatteryLowOn", "BatteryLow", "Battery low, volts below"},
    {"BatteryHighOn", "BatteryHigh", "Battery high, volts above"},
    {"OverSpeedOn", "OverSpeed", "Over-speed, RPM above"},
    {"HighWindOn", "HighWind", "High wind, wind speed above"},
    {"NoDataOn", "NoData", "No data for (seconds)"},
    {"UnderPerformingOn", "UnderPerforming", "Under-performing, below"},
    {"RotorStoppedOn", "RotorStopped", "Rotor stopped in wind for"},
    {"NotChargingOn", "NotCharging", "Turning, not charging for"},
    {"WindImplausibleOn", "WindImplausible", "Wind sensor implausible for"},
    {"BackupFailedOn", "BackupFailed", "Daily backup failed"},
};
} // namespace

std::optional<FormProblem> foreignFormProblem(const std::vector<FormField> &fields, const FormValues &values)
{
    for (const auto &[key, value] : values) {
        const std::string &name = key; // (a lambda takes no structured binding before C++20)
        const auto field = std::find_if(fields.begin(), fields.end(), [&](const FormField &f) { return f.key == name; });
        if (field == fields.end())
            return FormProblem{key, "There is no setting \"" + key + "\" here." + kNothingSaved};
        if (field->readOnly)
            return FormProblem{key, "\"" + field->label
                                        + "\" is set in the program's window, by the command line or in the file."
                                        + kNothingSaved};
        if (field->kind == FormField::Kind::Tick && value != "0" && value != "1")
            return FormProblem{key, "\"" + field->label + "\" is ticked (1) or not (0)." + kNothingSaved};
        if (std::any_of(value.begin(), value.end(),
                        [](char c) { return c == '<' || c == '>' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
            return FormProblem{key, "\"" + field->label
                                        + "\" may not hold a line break, another control character, \"<\" or \">\"."
                                        + kNothingSaved};
    }
    return std::nullopt;
}

// ---- prog.cfg ----------------------------------------------------------------------

namespace {
const char *const kSetupTicks[] = {"Savehtml", "SaveExcel", "LogOn", "DisplayRPM", "DisplayWS"};

std::string tickState(const std::string &text)
{
    const auto v = readInt16(text);
    return v && *v >= 0 && *v <= 2 ? std::to_string(*v) : "0";
}
} // namespace

std::vector<FormField> setupFields()
{
    using K = FormField::Kind;
    return {
        {"Port", "Com port", ""},
        {"Savehtml", "Save HTML page?", "", K::Tick},
        {"SaveExcel", "Save Excel File?", "", K::Tick},
        {"LogDelay", "Default Logging Interval", "Seconds ( 10 - 600 )"},
        {"LogOn", "Start Logger Automatically?", "", K::Tick},
        {"DisplayRPM", "Display RPM?", "", K::Tick},
        {"DisplayWS", "Display Wind Speed?", "", K::Tick},
        {"WSUnits", "Wind Speed Units", ""},
    };
}

FormValues setupValues(const ProgramSettings &s)
{
    return {{"Port", s.Port},
            {"Savehtml", tickState(s.Savehtml)},
            {"SaveExcel", tickState(s.SaveExcel)},
            {"LogDelay", s.LogDelay},
            {"LogOn", tickState(s.LogOn)},
            {"DisplayRPM", tickState(s.DisplayRPM)},
            {"DisplayWS", tickState(s.DisplayWS)},
            {"WSUnits", s.WSUnits}};
}

std::optional<FormProblem> readSetupValues(const FormValues &v, ProgramSettings &s)
{
    s.Port = valueOf(v, "Port");
    if (!readNumber(s.Port))
        return FormProblem{"Port", "There is a bad number for Port Number. Must be between 1 and 8 ( 1 or 2 most common )"};
    std::string *ticks[] = {&s.Savehtml, &s.SaveExcel, &s.LogOn, &s.DisplayRPM, &s.DisplayWS};
    for (size_t i = 0; i < std::size(kSetupTicks); ++i)
        *ticks[i] = tickState(valueOf(v, kSetupTicks[i]));
    s.LogDelay = valueOf(v, "LogDelay");
    s.WSUnits = valueOf(v, "WSUnits");
    return std::nullopt;
}

// ---- settings.cfg --------------------------------------------------------------------

std::vector<FormField> calibrationFormFields(std::string_view units)
{
    return {
        {"VoltDivider", "Step 1. Set Voltage", ""},
        {"VoltOffset", "Offset", "Zero sets it"},
        {"AmpDivider", "Step 2. Set Current", ""},
        {"RPMDivider", "How many pulses per revolution?", ""},
        {"WSDivider", "How many pulses per " + std::string(units) + "?", ""},
    };
}

FormValues calibrationValues(const CalibrationSettings &s)
{
    // A divider that is not a number is shown as found, so nothing is lost.
    const auto box = [](const std::string &value) {
        const auto n = readNumber(value);
        return n ? numberText(*n) : value;
    };
    return {{"VoltDivider", box(s.VoltDivider)},
            {"VoltOffset", box(s.VoltOffset)},
            {"AmpDivider", box(s.AmpDivider)},
            {"RPMDivider", box(s.RPMDivider)},
            {"WSDivider", s.WSDivider}};
}

std::optional<FormProblem> readCalibrationValues(const FormValues &v, const CalibrationSettings &stored,
                                                 CalibrationSettings &s)
{
    s.VoltDivider = valueOf(v, "VoltDivider");
    s.AmpDivider = valueOf(v, "AmpDivider");
    s.RPMDivider = valueOf(v, "RPMDivider");
    s.WSDivider = valueOf(v, "WSDivider");
    const std::string offset = valueOf(v, "VoltOffset");
    if (const auto n = readNumber(offset))
        s.VoltOffset = numberText(*n);
    else if (offset == valueOf(calibrationValues(stored), "VoltOffset"))
        s.VoltOffset = stored.VoltOffset;
    else
        return FormProblem{"VoltOffset", "The offset \"" + offset + "\" is not a number: press Zero with no current "
                                         "flowing." + kNothingSaved};
    return std::nullopt;
}

// ---- alarms.cfg --------------------------------------------------------------------

std::vector<FormField> alarmFields(std::string_view windUnit)
{
    const std::string units[kAlarmCount] = {"V", "V", "RPM", std::string(windUnit), "s", "% for", "min", "min", "min",
                                            "times in a row"};
    std::vector<FormField> fields;
    for (const AlarmId id : kAlarms) {
        const AlarmRow &row = kAlarmRows[size_t(id)];
        fields.push_back({row.onKey, std::string(alarmTitle(id)) + " on", "", FormField::Kind::Tick});
        fields.push_back({row.valueKey, row.caption, units[size_t(id)]});
        if (id == AlarmId::UnderPerforming)
            fields.push_back({"UnderPerformingDays", "Under-performing days", "days"});
    }
    fields.push_back({"HoldTime", "Hold time (raise and clear)", "s"});
    fields.push_back({"VoltsHysteresis", "Hysteresis, battery", "V"});
    fields.push_back({"PercentHysteresis", "Hysteresis, RPM and wind", "% of the threshold"});
    fields.push_back({"Beep", "Beep when an alarm is raised", "", FormField::Kind::Tick});
    fields.push_back({"Command", "Command", "", FormField::Kind::Text, true});
    fields.push_back({"CommandLimit", "Command time limit", "s"});
    return fields;
}

FormValues alarmValues(const AlarmSettings &s)
{
    FormValues v;
    for (const AlarmId id : kAlarms) {
        v[kAlarmRows[size_t(id)].onKey] = s.isOn(id) ? "1" : "0";
        v[kAlarmRows[size_t(id)].valueKey] = dotNumberText(s.limit(id));
    }
    v["UnderPerformingDays"] = std::to_string(s.performanceDays);
    v["HoldTime"] = dotNumberText(s.holdSeconds);
    v["VoltsHysteresis"] = dotNumberText(s.voltsHysteresis);
    v["PercentHysteresis"] = dotNumberText(s.percentHysteresis);
    v["Beep"] = s.beep ? "1" : "0";
    v["Command"] = s.command;
    v["CommandLimit"] = dotNumberText(s.commandLimitSeconds);
    return v;
}

std::optional<FormProblem> readAlarmValues(const FormValues &v, AlarmSettings &s,
                                           const std::function<std::string(const std::string &)> &commandProblem)
{
    std::optional<FormProblem> problem;
    const auto number = [&](const char *key, const std::string &caption, double &into) {
        const std::string text = valueOf(v, key);
        if (const auto n = readNumber(text)) {
            into = *n;
            return true;
        }
        problem = FormProblem{key, "\"" + text + "\" is not a number (" + caption + ")." + kNothingSaved};
        return false;
    };
    for (const AlarmId id : kAlarms) {
        const AlarmRow &row = kAlarmRows[size_t(id)];
        s.on[size_t(id)] = ticked(v, row.onKey);
        if (!number(row.valueKey, row.caption, s.threshold[size_t(id)]))
            return problem;
    }
    double days = 0;
    if (!number("UnderPerformingDays", "under-performing days", days))
        return problem;
    if (days != std::floor(days) || !(std::abs(days) < 1e6))
        return FormProblem{"UnderPerformingDays",
                           std::string("The under-performing days must be a whole number of days.") + kNothingSaved};
    s.performanceDays = int(days);
    if (!number("HoldTime", "hold time", s.holdSeconds) || !number("VoltsHysteresis", "hysteresis, battery", s.voltsHysteresis)
        || !number("PercentHysteresis", "hysteresis, RPM and wind", s.percentHysteresis)
        || !number("CommandLimit", "command time limit", s.commandLimitSeconds))
        return problem;
    s.beep = ticked(v, "Beep");
    s.command = trimmed(valueOf(v, "Command"));
    if (!s.command.empty() && commandProblem)
        if (const std::string why = commandProblem(s.command); !why.empty())
            return FormProblem{"Command", "The command " + s.command + " cannot be run: " + why + "." + kNothingSaved};
    if (const std::string why = alarmSettingsProblem(s); !why.empty())
        return FormProblem{"", why + kNothingSaved};
    return std::nullopt;
}

// ---- mqtt.cfg ----------------------------------------------------------------------

std::vector<FormField> mqttFields()
{
    using K = FormField::Kind;
    return {
        {"MqttOn", "Publish to an MQTT broker", "", K::Tick},
        {"Host", "Broker host", ""},
        {"Port", "Port", ""},
        {"User", "User name", ""},
        {"Password", "Password", "", K::Secret},
        {"Tls", "TLS (encrypted)", "", K::Tick},
        {"CaFile", "CA file", "", K::Text, true},
        {"ClientId", "Client id", ""},
        {"TopicPrefix", "Topic prefix", ""},
        {"Discovery", "Home automation discovery", "", K::Tick},
        {"DiscoveryPrefix", "Discovery prefix", ""},
        {"Interval", "Seconds between values", ""},
    };
}

FormValues mqttValues(const MqttSettings &s)
{
    return {{"MqttOn", s.on ? "1" : "0"},
            {"Host", s.host},
            {"Port", s.port},
            {"User", s.user},
            {"Password", ""},
            {"Tls", s.tls ? "1" : "0"},
            {"CaFile", s.caFile},
            {"ClientId", s.clientId},
            {"TopicPrefix", s.topicPrefix},
            {"Discovery", s.discovery ? "1" : "0"},
            {"DiscoveryPrefix", s.discoveryPrefix},
            {"Interval", s.interval}};
}

std::optional<FormProblem> readMqttValues(const FormValues &v, const MqttSettings &stored, MqttSettings &s)
{
    s.on = ticked(v, "MqttOn");
    s.host = trimmed(valueOf(v, "Host"));
    s.port = trimmed(valueOf(v, "Port"));
    s.user = trimmed(valueOf(v, "User"));
    // An empty entry keeps the stored password for the same host; without a
    // user there is none.
    const std::string typed = valueOf(v, "Password");
    const bool sameHost = lowered(s.host) == lowered(trimmed(stored.host));
    s.password = !typed.empty() ? typed : sameHost ? stored.password : std::string();
    if (s.user.empty())
        s.password.clear();
    s.tls = ticked(v, "Tls");
    s.caFile = trimmed(valueOf(v, "CaFile"));
    s.clientId = trimmed(valueOf(v, "ClientId"));
    s.topicPrefix = trimmed(valueOf(v, "TopicPrefix"));
    s.discovery = ticked(v, "Discovery");
    s.discoveryPrefix = trimmed(valueOf(v, "DiscoveryPrefix"));
    // Empty: the default, shown back as it is used.
    s.interval = trimmed(valueOf(v, "Interval"));
    if (s.interval.empty())
        s.interval = "1";
    if (const auto why = mqttSettingsProblem(s))
        return FormProblem{"", *why + kNothingSaved};
    return std::nullopt;
}

// ---- turbine.cfg --------------------------------------------------------------------

std::vector<FormField> turbineFields()
{
    using K = FormField::Kind;
    return {
        {"Altitude", "Altitude of the site", "m above sea level"},
        {"MeanTemperature", "Mean air temperature", "\xc2\xb0""C (empty: 15)"},
        {"ActivePowerControl", "Active power control (pitch), not stall or furling", "", K::Tick},
        {"BatteryFullVolts", "Battery full at", "V (empty: off)"},
        {"DumpsToLoad", "Surplus power is dumped into the load", "", K::Tick},
        {"CutIn", "Cut-in wind speed", "m/s (empty: from the curves)"},
        {"CutOut", "Cut-out wind speed", "m/s"},
        {"RatedPower", "Rated power", "W (empty: none)"},
        {"RotorDiameter", "Rotor diameter", "m (empty: none)"},
        {"Site", "Site name", ""},
    };
}

FormValues turbineValues(const TurbineSettings &s)
{
    const auto shown = [](const std::optional<double> &v) { return v ? numberText(*v) : std::string(); };
    return {{"Altitude", shown(s.altitude)},
            {"MeanTemperature", shown(s.meanTemperature)},
            {"ActivePowerControl", s.activePowerControl ? "1" : "0"},
            {"BatteryFullVolts", shown(s.batteryFullVolts)},
            {"DumpsToLoad", s.dumpsToLoad ? "1" : "0"},
            {"CutIn", shown(s.cutIn)},
            {"CutOut", shown(s.cutOut)},
            {"RatedPower", shown(s.ratedPower)},
            {"RotorDiameter", shown(s.rotorDiameter)},
            {"Site", s.site}};
}

std::optional<FormProblem> readTurbineValues(const FormValues &v, TurbineSettings &s)
{
    // An entry's number; nullopt for an empty one, and `bad` for text that is no number.
    bool bad = false;
    const auto read = [&](const char *key) -> std::optional<double> {
        const std::string t = trimmed(valueOf(v, key));
        if (t.empty())
            return std::nullopt;
        const auto n = readNumber(t);
        bad = !n;
        return n;
    };
    const auto altitude = read("Altitude");
    if (bad || !altitude)
        return FormProblem{"Altitude", "Altitude: a height from -500 to 5000 m."};
    s.altitude = *altitude;
    s.meanTemperature = read("MeanTemperature");
    if (bad)
        return FormProblem{"MeanTemperature", "Mean temperature: from -40 to 50 \xc2\xb0""C, or empty for 15 \xc2\xb0""C."};
    s.batteryFullVolts = read("BatteryFullVolts");
    if (bad)
        return FormProblem{"BatteryFullVolts", "Battery full at: volts above 0 and up to 1000, or empty for off."};
    s.cutIn = read("CutIn");
    if (bad)
        return FormProblem{"CutIn", "Cut-in: a wind speed from 0.5 m/s up to the cut-out, or empty for the curves'."};
    const auto cutOut = read("CutOut");
    if (bad || !cutOut)
        return FormProblem{"CutOut", "Cut-out: a wind speed from 5 to 60 m/s."};
    s.cutOut = *cutOut;
    s.ratedPower = read("RatedPower");
    if (bad)
        return FormProblem{"RatedPower", "Rated power: watts above 0 and up to 10000000, or empty for none."};
    s.rotorDiameter = read("RotorDiameter");
    if (bad)
        return FormProblem{"RotorDiameter", "Rotor diameter: from 0.3 to 200 m, or empty for none."};
    s.activePowerControl = ticked(v, "ActivePowerControl");
    s.dumpsToLoad = ticked(v, "DumpsToLoad");
    s.site = trimmed(valueOf(v, "Site"));
    if (const auto why = turbineSettingsProblem(s)) {
        // The entry the message names.
        const std::string &t = *why;
        const char *key = t.rfind("Altitude", 0) == 0  ? "Altitude"
                          : t.rfind("Mean", 0) == 0    ? "MeanTemperature"
                          : t.rfind("Battery", 0) == 0 ? "BatteryFullVolts"
                          : t.rfind("Rated", 0) == 0   ? "RatedPower"
                          : t.rfind("Cut-in", 0) == 0  ? "CutIn"
                          : t.rfind("Rotor", 0) == 0   ? "RotorDiameter"
                          : t.rfind("Site", 0) == 0    ? "Site"
                                                       : "CutOut";
        return FormProblem{key, t};
    }
    return std::nullopt;
}

// ---- messages.cfg -------------------------------------------------------------------

namespace {
struct ChannelRow {
    const char *field, *label, *unit;
    FormField::Kind kind;
};
const ChannelRow kChannelRows[] = {
    {"Kind", "Kind", "email, ntfy, telegram, webhook", FormField::Kind::Text},
    {"Name", "Name", "", FormField::Kind::Text},
    {"Server", "Mail server", "", FormField::Kind::Text},
    {"Port", "Port", "empty: usual", FormField::Kind::Text},
    {"Security", "Security", "tls or starttls", FormField::Kind::Text},
    {"User", "User name", "", FormField::Kind::Text},
    {"Password", "Password", "", FormField::Kind::Secret},
    {"From", "From", "", FormField::Kind::Text},
    {"To", "To", "\",\" between", FormField::Kind::Text},
    {"Url", "Address (https://)", "", FormField::Kind::Text},
    {"Token", "Bot token", "", FormField::Kind::Secret},
    {"Chat", "Chat id", "", FormField::Kind::Text},
};

std::string MessageChannel::*channelMember(std::string_view field)
{
    static const std::pair<const char *, std::string MessageChannel::*> kMembers[] = {
        {"Kind", &MessageChannel::kind},         {"Name", &MessageChannel::name},     {"Server", &MessageChannel::server},
        {"Port", &MessageChannel::port},         {"Security", &MessageChannel::security},
        {"User", &MessageChannel::user},         {"Password", &MessageChannel::password},
        {"From", &MessageChannel::from},         {"To", &MessageChannel::to},         {"Url", &MessageChannel::url},
        {"Token", &MessageChannel::token},       {"Chat", &MessageChannel::chat},
    };
    for (const auto &[name, member] : kMembers)
        if (field == name)
            return member;
    return nullptr;
}
} // namespace

std::vector<FormField> messageFields(const MessageSettings &stored)
{
    using K = FormField::Kind;
    std::vector<FormField> fields{
        {"MessagesOn", "Send alarms as messages", "", K::Tick},
        {"HoldOff", "Fold an alarm's repeats within", "minutes"},
        {"Summary", "Send a summary each day", "", K::Tick},
        {"SummaryTime", "The summary at", "hh:mm"},
        {"Gap", "Tell when the program was away longer than", "minutes"},
        {"CaFile", "CA file beside the system's", "", K::Text, true},
    };
    for (size_t i = 0; i <= stored.channels.size(); ++i)
        for (const ChannelRow &row : kChannelRows) {
            const std::string prefix = "Channel " + std::to_string(i + 1) + (i == stored.channels.size() ? " (new)" : "");
            fields.push_back({channelKey(i, row.field), prefix + ": " + row.label, row.unit, row.kind});
        }
    return fields;
}

FormValues messageValues(const MessageSettings &s)
{
    FormValues v{{"MessagesOn", s.on ? "1" : "0"},    {"HoldOff", s.holdOff}, {"Summary", s.summary ? "1" : "0"},
                 {"SummaryTime", s.summaryTime},      {"Gap", s.gap},         {"CaFile", s.caFile}};
    // The channel to add shows a new channel's values, but for its kind.
    MessageChannel added;
    added.kind.clear();
    for (size_t i = 0; i <= s.channels.size(); ++i) {
        const MessageChannel &c = i < s.channels.size() ? s.channels[i] : added;
        for (const ChannelRow &row : kChannelRows)
            v[channelKey(i, row.field)] = row.kind == FormField::Kind::Secret ? std::string() : c.*channelMember(row.field);
    }
    return v;
}

std::optional<FormProblem> readMessageValues(const FormValues &v, const MessageSettings &stored, MessageSettings &s)
{
    s = MessageSettings();
    s.on = ticked(v, "MessagesOn");
    s.holdOff = trimmed(valueOf(v, "HoldOff"));
    s.summary = ticked(v, "Summary");
    s.summaryTime = trimmed(valueOf(v, "SummaryTime"));
    s.gap = trimmed(valueOf(v, "Gap"));
    s.caFile = trimmed(valueOf(v, "CaFile"));
    for (size_t i = 0; i <= stored.channels.size(); ++i) {
        MessageChannel c;
        for (const ChannelRow &row : kChannelRows) {
            const std::string text = valueOf(v, channelKey(i, row.field));
            c.*channelMember(row.field) = row.kind == FormField::Kind::Secret ? text : trimmed(text);
        }
        if (c.kind.empty())
            continue;
        // A secret left empty is the stored one, for the same place only.
        if (i < stored.channels.size()) {
            const MessageChannel &old = stored.channels[i];
            const bool samePlace = lowered(trimmed(old.server)) == lowered(c.server) && trimmed(old.url) == c.url;
            if (c.password.empty() && samePlace)
                c.password = old.password;
            if (c.token.empty() && samePlace)
                c.token = old.token;
        }
        s.channels.push_back(std::move(c));
    }
    if (const auto p = messageSettingsProblem(s)) {
        // The key the problem names is of the channels kept; the form's rows
        // count the removed ones too.
        std::string key = p->key;
        if (key.rfind("Channel", 0) == 0) {
            size_t kept = 0, index = 0;
            const size_t wanted = size_t(std::atoi(key.c_str() + 7)) - 1;
            for (; index <= stored.channels.size(); ++index)
                if (!trimmed(valueOf(v, channelKey(index, "Kind"))).empty() && kept++ == wanted)
                    break;
            key = channelKey(index, key.substr(key.find_first_not_of("0123456789", 7)));
        }
        return FormProblem{key, p->text + kNothingSaved};
    }
    return std::nullopt;
}

// ---- archive.cfg --------------------------------------------------------------------

std::vector<FormField> archiveFields() { return {{"MinuteDays", "Keep each minute for (days)", "0 keeps them for ever"}}; }

FormValues archiveValues(const ArchiveSettings &s) { return {{"MinuteDays", std::to_string(s.minuteDays)}}; }

std::optional<FormProblem> readArchiveValues(const FormValues &v, ArchiveSettings &s)
{
    const auto days = readNumber(valueOf(v, "MinuteDays"));
    if (!days || *days < 0 || *days > 100000 || *days != std::floor(*days))
        return FormProblem{"MinuteDays", "Keep each minute for: a whole number of days from 0 (for ever) to 100000."};
    s.minuteDays = int(*days);
    return std::nullopt;
}

} // namespace core
