// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsFromWeb.h"

#include "Session.h"
#include "alarms/CommandRunner.h"
#include "archive/Certified.h"
#include "core/Forms.h"
#include "core/Json.h"
#include "core/Text.h"
#include "core/Web.h"
#include "publish/MqttSettingsFile.h"
#include "ui/Files.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "web/WebPassword.h"
#include "web/WebServer.h"

#include <QDir>
#include <QFileInfo>
#include <nlohmann/json.hpp>
#include <algorithm>
#include <cstdio>

namespace monitor {

namespace {
using Answer = std::pair<int, std::string>;

// A page: its file, its fields, the file's settings as the form's texts, and
// texts read back and saved as its page in the window saves them (the
// message of what keeps them from being saved, or nothing).
struct Page {
    const char *name, *title;
    // Whether its page in the window keeps texts in the locale's 8-bit
    // encoding (as the older files do) rather than UTF-8.
    bool local;
    ui::SettingsFile file;
    QString (ui::ProgramFolder::*path)() const;
    std::vector<core::FormField> (*fields)(const Session &s);
    core::FormValues (*values)(const QByteArray &bytes);
    std::optional<std::string> (*save)(const Session &s, const QString &path, const QByteArray &bytes,
                                       const core::FormValues &form);
};

// The file written whole, or the message that says it could not be.
std::optional<std::string> written(const QString &path, const std::string &text)
{
    if (ui::replaceWhole(path, QByteArray::fromStdString(text)))
        return std::nullopt;
    return ui::cannotSave(path).toStdString();
}

// A save told on standard error (the journal, for the service): what, where
// from, and which values; never a value.
void logSave(const char *what, const QString &path, const std::string &address, const std::string &keys)
{
    std::fprintf(stderr, "Veldra web server: %s saved %s from %s%s\n", what,
                 QDir::toNativeSeparators(path).toLocal8Bit().constData(), address.c_str(), keys.c_str());
}

std::string savedNow(const Session &s) { return ui::savedAtText(s.services().clock->now().time()).toStdString(); }

core::AlarmSettings alarmsOf(const QByteArray &bytes)
{
    return core::readAlarmSettings(std::string_view(bytes.constData(), size_t(bytes.size())))
        .value_or(core::AlarmSettings());
}

const Page kPages[] = {
    {"alarms", "Alarms", true, ui::SettingsFile::Alarms, &ui::ProgramFolder::alarmsSettings,
     [](const Session &s) { return core::alarmFields(ui::fromLocal(s.settings().WSUnits).toStdString()); },
     [](const QByteArray &bytes) { return core::alarmValues(alarmsOf(bytes)); },
     [](const Session &, const QString &path, const QByteArray &bytes,
        const core::FormValues &form) -> std::optional<std::string> {
         core::AlarmSettings s = alarmsOf(bytes);
         if (const auto problem = core::readAlarmValues(form, s))
             return problem->text;
         return written(path, core::alarmSettingsText(s));
     }},
    {"mqtt", "MQTT", false, ui::SettingsFile::Mqtt, &ui::ProgramFolder::mqttSettings,
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
     }},
    {"turbine", "Turbine and site", false, ui::SettingsFile::Turbine, &ui::ProgramFolder::turbineSettings,
     [](const Session &) { return core::turbineFields(); },
     [](const QByteArray &bytes) { return core::turbineValues(core::readTurbineSettings(ui::textOf(bytes))); },
     [](const Session &, const QString &path, const QByteArray &,
        const core::FormValues &form) -> std::optional<std::string> {
         core::TurbineSettings s;
         if (const auto problem = core::readTurbineValues(form, s))
             return problem->text;
         return written(path, core::turbineSettingsText(s));
     }},
    {"archive", "Archive", false, ui::SettingsFile::Archive, &ui::ProgramFolder::archiveSettings,
     [](const Session &) { return core::archiveFields(); },
     [](const QByteArray &bytes) { return core::archiveValues(core::readArchiveSettings(ui::textOf(bytes))); },
     [](const Session &, const QString &path, const QByteArray &,
        const core::FormValues &form) -> std::optional<std::string> {
         core::ArchiveSettings s;
         if (const auto problem = core::readArchiveValues(form, s))
             return problem->text;
         return written(path, core::archiveSettingsText(s));
     }},
};

const char *kindWord(core::FormField::Kind k)
{
    return k == core::FormField::Kind::Tick ? "tick" : k == core::FormField::Kind::Secret ? "secret" : "text";
}

// The file's version as a form carries it: its digest, so a save in between
// (from the window, another browser, an edit) is seen.
std::string versionOf(const QByteArray &bytes) { return core::hexText(web::sha256(bytes.toStdString())); }

Answer refusal(int status, const std::string &text, const std::string &key = std::string())
{
    core::JsonWriter j;
    j.object().key("error").text(text);
    if (!key.empty())
        j.key("field").text(key);
    return {status, j.endObject().take()};
}

Answer formAnswer(const Page &page, const Session &s, const QByteArray &bytes, const std::string &token,
                  const std::string &saved = std::string())
{
    const core::FormValues values = page.values(bytes);
    core::JsonWriter j;
    j.object().key("page").text(page.name).key("title").text(page.title).key("version").text(versionOf(bytes));
    j.key("token").text(token);
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

Answer write(const Page &page, Session &s, const QString &path, const QByteArray &bytes,
             const web::WebServer::SettingsRequest &q)
{
    std::string problem;
    const auto body = core::readJson(q.body, &problem);
    if (!body)
        return refusal(400, "The change could not be read: " + problem + ".");
    const auto version = body->find("version");
    const auto sent = body->find("values");
    if (version == body->end() || !version->is_string() || sent == body->end() || !sent->is_object())
        return refusal(400, "A change holds the form's \"version\" and its \"values\".");
    core::FormValues form;
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
    const std::vector<core::FormField> fields = page.fields(s);
    if (const auto p = core::foreignFormProblem(fields, form))
        return refusal(400, ui::fromLocal(p->text).toStdString(), p->key);
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
    s.saved(page.file);
    return formAnswer(page, s, ui::readWhole(path).value_or(QByteArray()), q.token, savedNow(s));
}

// The certified curve kept beside the Turbine and site page: what is kept,
// and a new one uploaded (checked and kept as its import in the window does).
Answer certified(Session &s, const web::WebServer::SettingsRequest &q)
{
    const QString folder = s.services().programFolder;
    const QString path = archive::certifiedCurvePath(folder);
    std::string saved;
    if (q.write) {
        std::string problem;
        const auto body = core::readJson(q.body, &problem);
        if (!body)
            return refusal(400, "The upload could not be read: " + problem + ".");
        const auto version = body->find("version");
        const auto curve = body->find("curve");
        if (version == body->end() || !version->is_string() || curve == body->end() || !curve->is_string())
            return refusal(400, "An upload holds the form's \"version\" and the \"curve\" file's text.");
        if (version->get<std::string>() != versionOf(ui::readWhole(path).value_or(QByteArray())))
            return refusal(409, "The certified curve was changed meanwhile. Load the page again to see it; nothing "
                                "was saved.");
        QString why;
        if (!archive::keepCertifiedCurve(folder, QByteArray::fromStdString(curve->get<std::string>()),
                                         QStringLiteral("The uploaded file"), &why))
            return refusal(400, why.toStdString());
        logSave("The certified curve", path, q.address, std::string());
        s.saved(ui::SettingsFile::CertifiedCurve);
        saved = savedNow(s);
    }
    QString why;
    const auto points = archive::readCertifiedCurve(folder, &why);
    const std::string kept = points ? "A certified curve of " + std::to_string(points->size()) + " points is kept."
                             : why.isEmpty() ? std::string("No certified curve is kept yet.")
                                             : why.toStdString();
    core::JsonWriter j;
    j.object().key("page").text("certified").key("version").text(versionOf(ui::readWhole(path).value_or(QByteArray())));
    j.key("token").text(q.token).key("kept").text(kept);
    if (!saved.empty())
        j.key("saved").text(saved);
    return {200, j.endObject().take()};
}

} // namespace

Answer settingsAnswer(Session &session, const web::WebServer::SettingsRequest &q)
{
    if (q.page == "certified")
        return certified(session, q);
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
    return q.write ? write(*page, session, path, bytes, q) : formAnswer(*page, session, bytes, q.token);
}

void answerSettings(Session &session, web::WebServer &server)
{
    Session *s = &session;
    server.setSettingsHandler([s](const web::WebServer::SettingsRequest &q) { return settingsAnswer(*s, q); });
}

} // namespace monitor
