// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsReplies.h"

#include "Session.h"
#include "archive/Certified.h"
#include "core/Web.h"
#include "ui/Files.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "web/WebPassword.h"
#include "web/WebSettingsFile.h"

#include <QDir>
#include <nlohmann/json.hpp>
#include <cstdio>
#include <map>

namespace monitor::settingsreplies {

// The file's version as a form carries it: its digest, so a save in between
// (from the window, another browser, an edit) is seen.
std::string versionOf(const QByteArray &bytes) { return core::hexText(web::sha256(bytes.toStdString())); }

Answer refusal(int status, const std::string &text, const std::string &key)
{
    core::JsonWriter j;
    j.object().key("error").text(text);
    if (!key.empty())
        j.key("field").text(key);
    return {status, j.endObject().take()};
}

// A save told on standard error (the journal, for the service): what, where
// from, and which values; never a value.
void logSave(const char *what, const QString &path, const std::string &address, const std::string &keys)
{
    std::fprintf(stderr, "Veldra web server: %s saved %s from %s%s\n", what,
                 QDir::toNativeSeparators(path).toLocal8Bit().constData(), address.c_str(), keys.c_str());
}

std::string savedNow(const Session &s) { return ui::savedAtText(s.services().clock->now().time()).toStdString(); }

std::string utf8(const std::string &local) { return ui::fromLocal(local).toStdString(); }

// Beside Setup: whether logging runs now, and with which delay (the one it
// runs with, else the default), for the Start and Stop buttons.
void loggingState(const Session &s, core::JsonWriter &j)
{
    j.key("logging").truth(s.logging());
    j.key("loggingDelay").text(utf8(s.logging() ? s.loggingDelay() : s.settings().LogDelay));
}

namespace {
// The body of a write as JSON, with the texts `keys` names (every one
// there), or the refusal that says what is wrong.
std::optional<Answer> readBody(const web::WebServer::SettingsRequest &q, std::initializer_list<const char *> keys,
                               std::map<std::string, std::string> &texts)
{
    std::string problem;
    const auto body = core::readJson(q.body, &problem);
    if (!body)
        return refusal(400, "The change could not be read: " + problem + ".");
    for (const char *key : keys) {
        const auto v = body->find(key);
        if (v == body->end() || !v->is_string())
            return refusal(400, std::string("A change holds the text \"") + key + "\".");
        texts[key] = v->get<std::string>();
    }
    return std::nullopt;
}

} // namespace

// The certified curve kept beside the Turbine and site page: what is kept,
// and a new one uploaded (checked and kept as its import in the window does).
Answer certifiedCurve(Session &s, const web::WebServer::SettingsRequest &q)
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


// Logging started and stopped now, as the main window's buttons do; LogOn
// in Setup says only what happens at a start.
Answer loggingNow(Session &s, const web::WebServer::SettingsRequest &q)
{
    std::string said;
    if (q.write) {
        std::map<std::string, std::string> t;
        if (const auto refused = readBody(q, {"action"}, t))
            return *refused;
        if (t["action"] == "stop") {
            s.stopLogging();
            said = "Logging stopped.";
        } else if (t["action"] == "start") {
            std::map<std::string, std::string> d;
            if (const auto refused = readBody(q, {"delay"}, d))
                return *refused;
            const auto shown = s.startLogging(ui::toLocal(QString::fromStdString(d["delay"])));
            if (!shown)
                return refusal(400, "Invalid delay period, needs to be a number between 10 and 600", "delay");
            s.resetMaxima();
            said = "Logging every " + utf8(*shown) + " seconds.";
        } else {
            return refusal(400, "The action is \"start\" or \"stop\".");
        }
        std::fprintf(stderr, "Veldra web server: %s (from %s)\n", said.c_str(), q.address.c_str());
    }
    core::JsonWriter j;
    j.object().key("page").text("logging").key("token").text(q.token);
    loggingState(s, j);
    if (!said.empty())
        j.key("saved").text(said);
    return {200, j.endObject().take()};
}

// The web password changed from the browser, the old one given: stored as
// every change of web.cfg is. Every login then ends, this one too.
Answer webPassword(Session &s, const web::WebServer::SettingsRequest &q)
{
    if (!q.write) {
        // Its form: three entries typed fresh, nothing shown.
        core::JsonWriter j;
        j.object().key("page").text("password").key("title").text("Web password").key("version").text("");
        j.key("token").text(q.token).key("fields").array();
        for (const auto &[key, label] : {std::pair{"old", "Present password"}, std::pair{"new", "New password"},
                                          std::pair{"again", "The new password again"}})
            j.object().key("key").text(key).key("label").text(label).key("unit").text("").key("kind").text("secret")
                .key("readOnly").truth(false).key("asked").truth(true).key("value").text("").endObject();
        return {200, j.endArray().endObject().take()};
    }
    std::map<std::string, std::string> t;
    if (const auto refused = readBody(q, {"old", "new"}, t))
        return *refused;
    const QString file = ui::ProgramFolder(s.services().programFolder).webSettings();
    QString unreadable;
    const core::WebSettings stored = web::readWebSettingsFile(file, &unreadable);
    if (!unreadable.isEmpty())
        return refusal(503, unreadable.toStdString());
    const auto hash = core::readPasswordHash(stored.passwordHash);
    if (!hash || !web::passwordMatches(t["old"], *hash))
        return refusal(403, "That is not the present password. Nothing was saved.", "old");
    if (t["new"].empty())
        return refusal(400, "Type the new password. Nothing was saved.", "new");
    if (const auto why = web::storeWebSettings(file, stored, t["new"]))
        return refusal(400, why->toStdString());
    logSave("The web password", file, q.address, std::string());
    s.saved(ui::SettingsFile::Web);
    core::JsonWriter j;
    j.object().key("page").text("password");
    j.key("saved").text("The password was changed at " + s.services().clock->now().time().toString(QStringLiteral("HH:mm:ss")).toStdString()
                        + ". Log in again with it.");
    return {200, j.endObject().take()};
}

// A test message to one channel of the Messages form as typed (saved or

} // namespace monitor::settingsreplies
