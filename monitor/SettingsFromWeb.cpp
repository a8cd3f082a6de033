// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsFromWeb.h"

#include "SettingsReplies.h"

#include "Session.h"
#include "alarms/CommandRunner.h"
#include "archive/Certified.h"
#include "core/CalibrationRead.h"
#include "core/Forms.h"
#include "core/Liveness.h"
#include "core/Number.h"
#include "core/Json.h"
#include "core/Text.h"
#include "core/Web.h"
#include "publish/DataOut.h"
#include "publish/MessageSettingsFile.h"
#include "publish/Messenger.h"
#include "publish/MqttSettingsFile.h"
#include "ui/Files.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "web/WebPassword.h"
#include "web/WebSettingsFile.h"
#include "web/WebServer.h"

#include <QDir>
#include <QFileInfo>
#include <nlohmann/json.hpp>
#include <algorithm>
#include <cstdio>

namespace monitor {

using namespace settingsreplies;

namespace {

// A page: its file, its fields, the file's settings as the form's texts, and
// texts read back and saved as its page in the window saves them (the
// message of what keeps them from being saved, or nothing).
struct Page {
    const char *name, *title;
    // Whether its page in the window keeps texts in the locale's 8-bit
    // encoding (as the older files do) rather than UTF-8.
    bool local;
    // Whether a save opens the port again (refused while a window of the
    // program has it).
    bool opensPort;
    QString (ui::ProgramFolder::*path)() const;
    std::vector<core::FormField> (*fields)(const Session &s);
    core::FormValues (*values)(const QByteArray &bytes);
    std::optional<std::string> (*save)(const Session &s, const QString &path, const QByteArray &bytes,
                                       const core::FormValues &form);
    // The save taken up by the running program; what to add to "Saved at …".
    std::string (*takeUp)(Session &s);
    // What the page shows besides its form, from the form's values and a
    // read's query (null for nothing).
    void (*extra)(const Session &s, const core::FormValues &shown, const core::QueryPairs &query,
                  core::JsonWriter &j) = nullptr;
};

// The file written whole, or the message that says it could not be.
std::optional<std::string> written(const QString &path, const std::string &text)
{
    if (ui::replaceWhole(path, QByteArray::fromStdString(text)))
        return std::nullopt;
    return ui::cannotSave(path).toStdString();
}

template <ui::SettingsFile file>
std::string told(Session &s)
{
    s.saved(file);
    return std::string();
}

// After a save of the port's settings, the port opened again: what to say
// when it did not open.
std::string portOpened(Session &s, bool opened)
{
    if (opened)
        return std::string();
    return " The port " + ui::fromLocal(s.settings().Port).toStdString()
           + " could not be opened; it is tried again every 2 seconds.";
}

std::string_view view(const QByteArray &bytes) { return std::string_view(bytes.constData(), size_t(bytes.size())); }

core::ProgramSettings setupOf(const QByteArray &bytes)
{
    return core::readProgramSettings(view(bytes), core::defaultProgramSettings());
}

core::CalibrationSettings calibrationOf(const QByteArray &bytes)
{
    return core::readCalibrationSettings(view(bytes), core::defaultCalibrationSettings());
}

void loggingNow(const Session &s, const core::FormValues &, const core::QueryPairs &, core::JsonWriter &j)
{
    loggingState(s, j);
}

// Beside Calibration: the last frame's raw values and the results of the
// boxes as typed in the browser (the query), else as the file has them; the
// same read-out the calibration window shows.
void calibrationReadout(const Session &s, const core::FormValues &shown, const core::QueryPairs &query,
                        core::JsonWriter &j)
{
    const auto box = [&](const char *key) {
        const auto typed = core::queryValue(query, key);
        return typed ? ui::toLocal(QString::fromStdString(*typed)) : shown.at(key);
    };
    const core::CalibrationBoxes boxes{box("VoltDivider"), box("AmpDivider"), box("RPMDivider"), box("WSDivider")};
    const core::CalibrationReadout r = core::calibrationReadout(
        core::calibrationFields(s.lastFrame()), boxes, core::readNumber(box("VoltOffset")), s.settings().WSUnits, 0);
    const auto result = [&](const char *key, const std::optional<std::string> &text) {
        j.key(key);
        if (text)
            j.text(utf8(*text));
        else
            j.null();
    };
    j.key("readout").object();
    j.key("data").text(s.lastFrame().empty() ? "none" : std::string(core::dataStateWord(s.dataState())));
    j.key("txtBattV").text(r.txtBattV).key("txtShuntV").text(r.txtShuntV);
    j.key("txtPulsess").text(utf8(r.txtPulsess)).key("txtPulsess2").text(utf8(r.txtPulsess2));
    j.key("txtWindmillRPM").text(r.txtWindmillRPM).key("txtWindSpeed").text(utf8(r.txtWindSpeed));
    result("txtBattVadjusted", r.txtBattVadjusted);
    result("txtBattAadjusted", r.txtBattAadjusted);
    j.endObject();
}

core::MessageSettings messagesOf(const QByteArray &bytes) { return core::readMessageSettings(view(bytes)); }

core::MessageSettings storedMessages(const Session &s)
{
    return publish::readMessageSettingsFile(ui::ProgramFolder(s.services().programFolder).messageSettings());
}

// Beside Messages: what the channels do now, with the servers' words.
void messagesNow(const Session &s, const core::FormValues &, const core::QueryPairs &, core::JsonWriter &j)
{
    j.key("status").text(s.messenger()->status().toStdString());
}

core::DataOutSettings dataOutOf(const QByteArray &bytes) { return core::readDataOutSettings(view(bytes)); }

// Beside Data out: what was sent, what waits, and what fails in the server's words.
void dataOutNow(const Session &s, const core::FormValues &, const core::QueryPairs &, core::JsonWriter &j)
{
    j.key("status").text(s.dataOut() ? s.dataOut()->summary().toStdString() : std::string());
}

core::AlarmSettings alarmsOf(const QByteArray &bytes)
{
    return core::readAlarmSettings(std::string_view(bytes.constData(), size_t(bytes.size())))
        .value_or(core::AlarmSettings());
}

const Page kPages[] = {
    {"setup", "Setup", true, true, &ui::ProgramFolder::programSettingsFile,
     [](const Session &) { return core::setupFields(); },
     [](const QByteArray &bytes) { return core::setupValues(setupOf(bytes)); },
     [](const Session &, const QString &path, const QByteArray &,
        const core::FormValues &form) -> std::optional<std::string> {
         core::ProgramSettings s;
         if (const auto problem = core::readSetupValues(form, s))
             return problem->text;
         return written(path, core::programSettingsText(s));
     },
     [](Session &s) { return portOpened(s, s.takeUpSetup()); }, loggingNow},
    {"calibration", "Calibration", true, true, &ui::ProgramFolder::calibrationSettingsFile,
     [](const Session &s) { return core::calibrationFormFields(s.settings().WSUnits); },
     [](const QByteArray &bytes) { return core::calibrationValues(calibrationOf(bytes)); },
     [](const Session &, const QString &path, const QByteArray &bytes,
        const core::FormValues &form) -> std::optional<std::string> {
         core::CalibrationSettings s;
         if (const auto problem = core::readCalibrationValues(form, calibrationOf(bytes), s))
             return problem->text;
         return written(path, core::calibrationSettingsText(s));
     },
     [](Session &s) { return portOpened(s, s.takeUpCalibration()); }, calibrationReadout},
    {"alarms", "Alarms", true, false, &ui::ProgramFolder::alarmsSettings,
     [](const Session &s) { return core::alarmFields(ui::fromLocal(s.settings().WSUnits).toStdString()); },
     [](const QByteArray &bytes) { return core::alarmValues(alarmsOf(bytes)); },
     [](const Session &, const QString &path, const QByteArray &bytes,
        const core::FormValues &form) -> std::optional<std::string> {
         core::AlarmSettings s = alarmsOf(bytes);
         if (const auto problem = core::readAlarmValues(form, s))
             return problem->text;
         return written(path, core::alarmSettingsText(s));
     },
     told<ui::SettingsFile::Alarms>},
    {"mqtt", "MQTT", false, false, &ui::ProgramFolder::mqttSettings,
     [](const Session &) { return core::mqttFields(); },
     [](const QByteArray &bytes) { return core::mqttValues(core::readMqttSettings(bytes.toStdString())); },
     [](const Session &, const QString &path, const QByteArray &bytes,
        const core::FormValues &form) -> std::optional<std::string> {
         const core::MqttSettings stored = core::readMqttSettings(bytes.toStdString());
         core::MqttSettings s;
         if (const auto problem = core::readMqttValues(form, stored, s))
             return problem->text;
         if (const auto fault = publish::mqttFileFault(s))
             return fault->toStdString();
         if (!publish::writeMqttSettingsFile(path, s))
             return ui::cannotSave(path).toStdString();
         return std::nullopt;
     },
     told<ui::SettingsFile::Mqtt>},
    {"turbine", "Turbine and site", false, false, &ui::ProgramFolder::turbineSettings,
     [](const Session &) { return core::turbineFields(); },
     [](const QByteArray &bytes) { return core::turbineValues(core::readTurbineSettings(ui::textOf(bytes))); },
     [](const Session &, const QString &path, const QByteArray &,
        const core::FormValues &form) -> std::optional<std::string> {
         core::TurbineSettings s;
         if (const auto problem = core::readTurbineValues(form, s))
             return problem->text;
         return written(path, core::turbineSettingsText(s));
     },
     told<ui::SettingsFile::Turbine>},
    {"messages", "Messages", false, false, &ui::ProgramFolder::messageSettings,
     [](const Session &s) { return core::messageFields(storedMessages(s)); },
     [](const QByteArray &bytes) { return core::messageValues(messagesOf(bytes)); },
     [](const Session &, const QString &path, const QByteArray &bytes,
        const core::FormValues &form) -> std::optional<std::string> {
         core::MessageSettings s;
         if (const auto problem = core::readMessageValues(form, messagesOf(bytes), s))
             return problem->text;
         if (const auto fault = publish::messageFileFault(s))
             return fault->toStdString();
         if (!publish::writeMessageSettingsFile(path, s))
             return ui::cannotSave(path).toStdString();
         return std::nullopt;
     },
     told<ui::SettingsFile::Messages>, messagesNow},
    {"dataout", "Data out", false, false, &ui::ProgramFolder::dataOutSettings,
     [](const Session &) { return core::dataOutFields(); },
     [](const QByteArray &bytes) { return core::dataOutValues(dataOutOf(bytes)); },
     [](const Session &, const QString &path, const QByteArray &bytes,
        const core::FormValues &form) -> std::optional<std::string> {
         core::DataOutSettings s;
         if (const auto problem = core::readDataOutValues(form, dataOutOf(bytes), s))
             return problem->text;
         if (const auto fault = publish::dataOutFileFault(s))
             return fault->toStdString();
         if (!publish::writeDataOutSettingsFile(path, s))
             return ui::cannotSave(path).toStdString();
         return std::nullopt;
     },
     told<ui::SettingsFile::DataOut>, dataOutNow},
    {"archive", "Archive", false, false, &ui::ProgramFolder::archiveSettings,
     [](const Session &) { return core::archiveFields(); },
     [](const QByteArray &bytes) { return core::archiveValues(core::readArchiveSettings(ui::textOf(bytes))); },
     [](const Session &, const QString &path, const QByteArray &,
        const core::FormValues &form) -> std::optional<std::string> {
         core::ArchiveSettings s;
         if (const auto problem = core::readArchiveValues(form, s))
             return problem->text;
         return written(path, core::archiveSettingsText(s));
     },
     told<ui::SettingsFile::Archive>},
};

const char *kindWord(core::FormField::Kind k)
{
    return k == core::FormField::Kind::Tick ? "tick" : k == core::FormField::Kind::Secret ? "secret" : "text";
}

Answer formAnswer(const Page &page, const Session &s, const QByteArray &bytes,
                  const web::WebServer::SettingsRequest &q, const std::string &saved = std::string())
{
    const core::FormValues values = page.values(bytes);
    core::JsonWriter j;
    j.object().key("page").text(page.name).key("title").text(page.title).key("version").text(versionOf(bytes));
    j.key("token").text(q.token);
    if (page.extra)
        page.extra(s, values, q.write ? core::QueryPairs() : q.query, j);
    if (!saved.empty())
        j.key("saved").text(saved);
    j.key("fields").array();
    for (const core::FormField &f : page.fields(s)) {
        const auto v = values.find(f.key);
        j.object().key("key").text(f.key).key("label").text(f.label);
        j.key("unit").text(f.unit).key("kind").text(kindWord(f.kind));
        j.key("readOnly").truth(f.readOnly);
        const std::string value = v == values.end() ? std::string() : v->second;
        j.key("value").text(page.local ? ui::fromLocal(value).toStdString() : value);
        j.endObject();
    }
    return {200, j.endArray().endObject().take()};
}

// A form sent from the browser, read and checked as a save reads it: its
// values in the file's encoding, or the refusal.
std::optional<Answer> readForm(const Page &page, const Session &s, const web::WebServer::SettingsRequest &q,
                               nlohmann::json &body, core::FormValues &form)
{
    std::string problem;
    auto read = core::readJson(q.body, &problem);
    if (!read)
        return refusal(400, "The change could not be read: " + problem + ".");
    body = std::move(*read);
    const auto version = body.find("version");
    const auto sent = body.find("values");
    if (version == body.end() || !version->is_string() || sent == body.end() || !sent->is_object())
        return refusal(400, "A change holds the form's \"version\" and its \"values\".");
    for (const auto &[key, value] : sent->items()) {
        if (!value.is_string())
            return refusal(400, "The value of \"" + key + "\" is not a text.", key);
        // A file of the locale's bytes: a text they cannot hold is refused.
        const std::string utf8 = value.get<std::string>();
        const QString text = QString::fromStdString(utf8);
        const std::string local = page.local ? ui::toLocal(text) : utf8;
        if (page.local && ui::fromLocal(local) != text)
            return refusal(400, "The value of \"" + key + "\" holds characters the settings file cannot keep.", key);
        form[key] = local;
    }
    if (const auto p = core::foreignFormProblem(page.fields(s), form))
        return refusal(400, ui::fromLocal(p->text).toStdString(), p->key);
    return std::nullopt;
}

Answer write(const Page &page, Session &s, const QString &path, const QByteArray &bytes,
             const web::WebServer::SettingsRequest &q)
{
    nlohmann::json body;
    core::FormValues form;
    if (const auto refused = readForm(page, s, q, body, form))
        return *refused;
    const auto version = body.find("version");
    const std::vector<core::FormField> fields = page.fields(s);
    if (page.opensPort && !s.portLentTo().isEmpty())
        return refusal(409, "The program's " + s.portLentTo().toStdString()
                                + " window is open and has the port: close it there first. Nothing was saved.");
    if (version->get<std::string>() != versionOf(bytes))
        return refusal(409, "The settings were changed meanwhile (in the window, another browser or the file). Load "
                            "the page again to see them; nothing was saved.");
    // What the form leaves out stays as the file has it.
    core::FormValues merged = page.values(bytes);
    std::vector<std::string> keys;
    for (const auto &[key, value] : form) {
        const std::string &name = key; // (a lambda takes no structured binding before C++20)
        const core::FormField &f = *std::find_if(fields.begin(), fields.end(), [&](auto &x) { return x.key == name; });
        if (merged[key] != value || f.kind == core::FormField::Kind::Secret) {
            if (f.kind != core::FormField::Kind::Secret || !value.empty())
                keys.push_back(key);
            merged[key] = value;
        }
    }
    if (const auto why = page.save(s, path, bytes, merged))
        return refusal(400, ui::fromLocal(*why).toStdString());
    std::string changed;
    for (const std::string &k : keys)
        changed += (changed.empty() ? "" : ", ") + k;
    logSave(page.title, path, q.address, " (" + (changed.empty() ? std::string("nothing changed") : changed) + ")");
    const std::string note = page.takeUp(s);
    return formAnswer(page, s, ui::readWhole(path).value_or(QByteArray()), q, savedNow(s) + note);
}

void testMessage(Session &s, const web::WebServer::SettingsRequest &q, const web::WebServer::SettingsReply &reply)
{
    const Page &page = *std::find_if(std::begin(kPages), std::end(kPages),
                                     [](const Page &p) { return std::string_view(p.name) == "messages"; });
    nlohmann::json body;
    core::FormValues form;
    if (const auto refused = readForm(page, s, q, body, form))
        return reply(*refused);
    const auto channel = body.find("channel");
    if (channel == body.end() || !channel->is_number_integer())
        return reply(refusal(400, "A test names its \"channel\" by number."));
    const QByteArray bytes =
        ui::readWhole(ui::ProgramFolder(s.services().programFolder).messageSettings()).value_or(QByteArray());
    core::FormValues merged = page.values(bytes);
    for (const auto &[key, value] : form)
        merged[key] = value;
    core::MessageSettings typed;
    if (const auto p = core::readMessageValues(merged, messagesOf(bytes), typed))
        return reply(refusal(400, p->text, p->key));
    // The row's channel among those kept: a row whose kind is empty is none.
    const int row = channel->get<int>();
    const auto kind = [&](int r) { return std::string(core::trimBlanks(merged[core::channelKey(size_t(r - 1), "Kind")], " \t")); };
    size_t kept = 0;
    for (int r = 1; r < row; ++r)
        kept += kind(r).empty() ? 0 : 1;
    if (row < 1 || kind(row).empty() || kept >= typed.channels.size())
        return reply(refusal(400, "Channel " + std::to_string(row) + " has no kind yet: give it one first."));
    std::fprintf(stderr, "Veldra web server: a test message to channel %d from %s\n", row, q.address.c_str());
    s.messenger()->test(typed.channels[kept], typed.caFile, [reply](const publish::SendResult &r) {
        core::JsonWriter j;
        j.object().key("page").text("messagetest").key("ok").truth(r.ok).key("answer").text(r.answer).endObject();
        reply({200, j.take()});
    });
}

} // namespace

Answer settingsAnswer(Session &session, const web::WebServer::SettingsRequest &q)
{
    if (q.page == "certified")
        return certifiedCurve(session, q);
    if (q.page == "logging")
        return loggingNow(session, q);
    if (q.page == "password")
        return webPassword(session, q);
    const auto page =
        std::find_if(std::begin(kPages), std::end(kPages), [&](const Page &p) { return q.page == p.name; });
    if (page == std::end(kPages))
        return refusal(404, "There is no settings page \"" + q.page + "\".");
    const QString path = (ui::ProgramFolder(session.services().programFolder).*(page->path))();
    QString why;
    const auto read = ui::readWhole(path, &why);
    // A file there but unreadable is never saved over.
    if (!read && QFileInfo::exists(path))
        return refusal(503, QStringLiteral("%1 cannot be read: %2").arg(QDir::toNativeSeparators(path), why).toStdString());
    const QByteArray bytes = read.value_or(QByteArray());
    return q.write ? write(*page, session, path, bytes, q) : formAnswer(*page, session, bytes, q);
}

void answerSettings(Session &session, web::WebServer &server)
{
    Session *s = &session;
    server.setSettingsHandler([s](const web::WebServer::SettingsRequest &q, const web::WebServer::SettingsReply &reply) {
        if (q.page == "messagetest" && q.write)
            return testMessage(*s, q, reply);
        reply(settingsAnswer(*s, q));
    });
}

} // namespace monitor
