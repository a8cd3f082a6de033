// SPDX-License-Identifier: GPL-3.0-or-later
// The requests: each taken in (its method, host, size and origin checked),
// let through by who may call its route, and answered by the route's
// handler. A route is one row of the table below and one handler.
#include "Engine.h"
#include "WebFiles.h"
#include "WebPassword.h"
#include "core/Text.h"
#include "core/WebAnalyses.h"

#include <QDateTime>

#include <algorithm>
#include <cstdlib>

namespace web {

namespace {
using R = core::WebRoute;

const char kSecurity[] = "default-src 'self'; frame-ancestors 'none'; object-src 'none'; base-uri 'none'";
// No address leaves for other sites; our own forms carry their origin
// (with "no-referrer" a browser posts the login with "Origin: null", which
// the check against forms of other sites must refuse).
const char kReferrer[] = "same-origin";
const char kJson[] = "application/json";
const char kText[] = "text/plain; charset=utf-8";
const char kHtml[] = "text/html; charset=utf-8";
const http::Headers kAskBasic = {{"WWW-Authenticate", "Basic realm=\"Veldra\", charset=\"UTF-8\""}};


// Who may call a route.
enum class Access {
    Anyone,   // the login, and the pages' scripts and styles (they hold nothing private)
    LoggedIn, // the pages and the API, once the password was given (when one is asked for)
};

using Handler = bool (*)(Engine &e, Request &r);

struct Route {
    R route;
    Access access;
    Handler handler;
};

template <typename T>
T copied(Engine &e, const T &value)
{
    std::lock_guard lock(e.m);
    return value;
}

bool page(Engine &e, Request &r, const char *name)
{
    return e.answer(r, 200, builtInPage(name, e.cfg.password.has_value()), kHtml);
}

bool staticFile(Engine &e, Request &r)
{
    const auto name = core::webFileName(r.url);
    const WebFile *f = name && name->find(".html") == std::string::npos ? webFile(*name) : nullptr;
    if (!f)
        return e.refuse(r, 404, "There is nothing here.");
    // Kept by the browser but asked after each time: a new program
    // version's files are taken at once.
    const std::string tag = entityTag(*f);
    const http::Headers cache = {{"Cache-Control", "no-cache"}, {"ETag", tag}};
    if (http::header(r.conn, "If-None-Match") == tag)
        return e.answer(r, 304, std::string(), webFileType(*name), cache);
    return e.answer(r, 200, std::string(f->bytes), webFileType(*name), cache);
}

bool login(Engine &e, Request &r)
{
    if (r.post) // no password is asked for
        return e.answer(r, 303, std::string(), kText, {{"Location", "/"}});
    return e.answer(r, 200, loginPage(e.cfg.password ? "" : "No password is asked for."), kHtml);
}

bool logout(Engine &e, Request &r)
{
    e.sessions.end(http::header(r.conn, "Cookie"));
    return e.answer(r, 303, std::string(), kText,
                    {{"Location", "/login"}, {"Set-Cookie", SessionStore::cookie("", e.cfg.tls, true)}});
}

bool now(Engine &e, Request &r) { return e.answer(r, 200, core::nowJson(copied(e, e.now)), kJson); }

bool metrics(Engine &e, Request &r)
{
    return e.answer(r, 200, core::metricsText(copied(e, e.now)), "text/plain; version=0.0.4; charset=utf-8");
}

bool powerCurve(Engine &e, Request &r)
{
    core::PowerCurve c;
    std::vector<core::CurvePoint> held;
    core::TurbineSettings turbine;
    core::WebNow at;
    {
        std::lock_guard lock(e.m);
        c = e.curve;
        held = e.certified;
        turbine = e.turbine;
        at = e.now;
    }
    const QDate today = QDateTime::fromSecsSinceEpoch(at.time).date();
    return e.answer(r, 200,
                    core::powerCurveJson(c, turbine, held, today.year() * 100 + today.month(), at.windUnit,
                                         at.windToMetresPerSecond),
                    kJson);
}

bool fromFiles(Engine &e, Request &r)
{
    WebServer::ArchiveHandler handler;
    core::WebNow at;
    {
        std::lock_guard lock(e.m);
        const auto found = e.fromFiles.find(r.route);
        if (found != e.fromFiles.end())
            handler = found->second;
        at = e.now;
    }
    if (!handler)
        return e.refuse(r, 404, "There is no archive.");
    const auto query = core::parseQuery(http::rawQuery(r.conn));
    if (!query)
        return e.refuse(r, 400, "The query could not be read.");
    const auto [status, body] = handler(*query, at);
    return e.answer(r, unsigned(status), body, kJson);
}

bool stream(Engine &e, Request &r)
{
    if (r.head)
        return e.answer(r, 200, std::string(), "text/event-stream");
    r.reader.conn = r.conn;
    r.reader.address = r.address;
    const core::WebNow values = copied(e, e.now);
    if (!e.streams.open(r.reader, [&](std::uint64_t id) { return core::readingEvent(values, id); }))
        return e.refuse(r, 429, "Too many live streams from this address.", {{"Retry-After", "10"}});
    r.stream = true;
    Request *q = &r;
    return http::answerStream(r.conn,
                              {{"Content-Type", "text/event-stream; charset=utf-8"},
                               {"Cache-Control", "no-store"},
                               {"X-Content-Type-Options", "nosniff"},
                               {"Referrer-Policy", kReferrer},
                               {"Content-Security-Policy", kSecurity}},
                              unsigned(4 * WebServer::kKeepAliveSeconds),
                              [q](char *buf, size_t max) { return q->engine->streams.read(q->reader, buf, max); });
}

// Whether a write may go on: a password asked for and given by a login
// (not HTTP Basic, which a browser sends to any page that asks), from a page
// of this very server (its Origin exactly), with the login's token.
std::optional<std::pair<unsigned, std::string>> writeRefusal(Engine &e, Request &r)
{
    if (!e.cfg.password)
        return std::pair{403u, std::string("Settings are changed from a browser only with a password. Set one with "
                                           "--set-web-password, or in Options, Web.")};
    const std::string cookie = http::header(r.conn, "Cookie");
    if (!e.sessions.valid(cookie))
        return std::pair{401u, std::string("Log in to change settings.")};
    const std::string origin = core::lowered(http::header(r.conn, "Origin"));
    if (origin != core::lowered((e.cfg.tls ? "https://" : "http://") + http::header(r.conn, "Host")))
        return std::pair{403u, std::string("A change from another page, or without its origin, is not taken.")};
    const std::string token = http::header(r.conn, "X-Veldra-Token");
    if (token.empty() || !core::sameBytes(token, e.sessions.writeToken(cookie)))
        return std::pair{403u, std::string("The page's token is missing or old: load the page again.")};
    if (http::header(r.conn, "Content-Type").rfind("application/json", 0) != 0)
        return std::pair{415u, std::string("A change is sent as JSON.")};
    return std::nullopt;
}

bool settingsPage(Engine &e, Request &r)
{
    if (r.job) {
        std::lock_guard lock(r.job->m);
        if (!r.job->done)
            return e.refuse(r, 503, "The server is stopping.");
        return e.answer(r, unsigned(r.job->answer.first), r.job->answer.second, kJson);
    }
    if (r.post)
        if (const auto refusal = writeRefusal(e, r))
            return e.refuse(r, refusal->first, refusal->second);
    WebServer::SettingsHandler handler;
    std::function<void(std::function<void()>)> toSession;
    {
        std::lock_guard lock(e.m);
        handler = e.settings;
        toSession = e.toSession;
    }
    if (!handler || !toSession)
        return e.refuse(r, 404, "There are no settings here.");
    WebServer::SettingsRequest q{*core::settingsPageName(r.url), r.post ? r.body : std::string(), r.address,
                                 e.sessions.writeToken(http::header(r.conn, "Cookie")), r.post};
    if (!r.post) {
        auto query = core::parseQuery(http::rawQuery(r.conn));
        if (!query)
            return e.refuse(r, 400, "The query could not be read.");
        q.query = std::move(*query);
    }
    auto job = std::make_shared<SettingsJob>();
    job->conn = r.conn;
    r.job = job;
    {
        std::lock_guard lock(e.m);
        if (e.stopping)
            return e.refuse(r, 503, "The server is stopping.");
        e.jobs.insert(job);
    }
    http::suspend(r.conn);
    toSession([job, handler, q] {
        handler(q, [job](std::pair<int, std::string> answer) {
            std::lock_guard lock(job->m);
            if (job->cancelled || job->done)
                return;
            job->answer = std::move(answer);
            job->done = true;
            http::resume(job->conn);
        });
    });
    return true;
}

const Route kRoutes[] = {
    {R::Index, Access::LoggedIn, [](Engine &e, Request &r) { return page(e, r, "dashboard.html"); }},
    {R::Trends, Access::LoggedIn, [](Engine &e, Request &r) { return page(e, r, "trends.html"); }},
    {R::EnergyPage, Access::LoggedIn, [](Engine &e, Request &r) { return page(e, r, "energy.html"); }},
    {R::CurvePage, Access::LoggedIn, [](Engine &e, Request &r) { return page(e, r, "curve.html"); }},
    {R::WindPage, Access::LoggedIn, [](Engine &e, Request &r) { return page(e, r, "wind.html"); }},
    {R::AvailabilityPage, Access::LoggedIn, [](Engine &e, Request &r) { return page(e, r, "availability.html"); }},
    {R::AlarmsPage, Access::LoggedIn, [](Engine &e, Request &r) { return page(e, r, "alarms.html"); }},
    {R::File, Access::Anyone, staticFile},
    {R::Login, Access::Anyone, login},
    {R::Logout, Access::Anyone, logout},
    {R::Now, Access::LoggedIn, now},
    {R::Stream, Access::LoggedIn, stream},
    {R::PowerCurve, Access::LoggedIn, powerCurve},
    {R::Metrics, Access::LoggedIn, metrics},
    {R::Series, Access::LoggedIn, fromFiles},
    {R::Days, Access::LoggedIn, fromFiles},
    {R::Availability, Access::LoggedIn, fromFiles},
    {R::Energy, Access::LoggedIn, fromFiles},
    {R::Wind, Access::LoggedIn, fromFiles},
    {R::Performance, Access::LoggedIn, fromFiles},
    {R::Alarms, Access::LoggedIn, fromFiles},
    {R::Settings, Access::LoggedIn, [](Engine &e, Request &r) { return page(e, r, "settings.html"); }},
    {R::SettingsPage, Access::LoggedIn, settingsPage},
};

const Route *routeOf(R route)
{
    for (const Route &row : kRoutes)
        if (row.route == route)
            return &row;
    return nullptr;
}
} // namespace

bool serve(Engine &e, Request &r)
{
    const Route *row = routeOf(r.route);
    return row ? row->handler(e, r) : e.refuse(r, 404, "There is nothing here.");
}

// ---- taking requests in --------------------------------------------------------

http::Exchange *Engine::begin(http::Connection *)
{
    auto *r = new Request;
    r->engine = this;
    return r;
}

void Engine::completed(http::Exchange *x)
{
    auto *r = static_cast<Request *>(x);
    if (r->stream)
        streams.close(r->reader);
    if (r->job) {
        std::lock_guard lock(m);
        jobs.erase(r->job);
    }
    delete r;
}

bool Engine::access(http::Exchange &x, const char *url, const char *method, const char *upload, size_t *size)
{
    auto &r = static_cast<Request &>(x);
    if (!r.begun) {
        r.begun = true;
        r.address = http::address(r.conn);
        const std::string m = method;
        r.head = m == "HEAD";
        r.post = m == "POST";
        r.url = url;
        r.route = core::webRoute(url);
        if (!r.targetWhole)
            return refuse(r, 400, "The request's target holds a NUL.");
        if (http::headerCount(r.conn, "Host") > 1)
            return refuse(r, 400, "The request names its host more than once.");
        if (!core::hostAllowed(http::header(r.conn, "Host"), cfg.names))
            return refuse(r, 421,
                          "This server is not reached by that name. To use it, add it under \"Also reached as\" in "
                          "Options, Web (Names in web.cfg).");
        if (m != "GET" && m != "HEAD" && m != "POST")
            return refuse(r, 405, "Only GET and HEAD (and POST to /login, /logout and the settings) are answered.",
                          {{"Allow", core::allowedMethods(r.route)}});
        if (r.route == R::NotFound)
            return refuse(r, 404, "There is nothing here.");
        if (!core::methodAllowed(m, r.route))
            return refuse(r, 405, "That method is not answered here.", {{"Allow", core::allowedMethods(r.route)}});
        const std::string length = http::header(r.conn, "Content-Length");
        if (!length.empty() && (length.size() > 9 || std::strtoll(length.c_str(), nullptr, 10) > core::bodyLimit(r.route)))
            return refuse(r, 413, "The request's body is too large.");
        if (r.post) {
            // A form posted from a page elsewhere is not ours to take.
            const std::string origin = http::header(r.conn, "Origin");
            if (!origin.empty()) {
                const size_t scheme = origin.find("://");
                if (scheme == std::string::npos || !core::hostAllowed(origin.substr(scheme + 3), cfg.names))
                    return refuse(r, 403, "A form from another site is not taken.");
            }
        }
        return true;
    }
    if (r.job)
        return serve(*this, r);
    if (r.checking || r.checked)
        return respond(r);
    if (*size) {
        if (r.body.size() + *size > size_t(core::bodyLimit(r.route)))
            r.tooLarge = true;
        else
            r.body.append(upload, *size);
        *size = 0;
        return true;
    }
    daemon.requestIn(r.conn);
    if (r.tooLarge)
        return refuse(r, 413, "The request's body is too large.");
    return respond(r);
}

// Who may call the route: anyone, or whoever gave the password (as a
// session cookie, or HTTP Basic on the API).
bool Engine::respond(Request &r)
{
    {
        std::lock_guard lock(m);
        if (stopping)
            return refuse(r, 503, "The server is stopping.");
    }
    if (r.checking && !r.checked)
        return true;
    if (r.checked) {
        if (r.route == R::Login) {
            if (!r.passwordOk)
                return answer(r, 401, loginPage("Wrong password."), kHtml);
            const std::string token = sessions.add();
            if (token.empty())
                return refuse(r, 500, "No session could be made.");
            return answer(r, 303, std::string(), kText,
                          {{"Location", "/"}, {"Set-Cookie", SessionStore::cookie(token, cfg.tls, false)}});
        }
        if (!r.passwordOk)
            return refuse(r, 401, "The password is wrong.", kAskBasic);
        return serve(*this, r);
    }

    if (!cfg.password || sessions.valid(http::header(r.conn, "Cookie")))
        return serve(*this, r);
    const auto startCheck = [&] {
        r.checking = true;
        if (!gate.ask(&r, r.conn)) {
            r.checking = false;
            return refuse(r, 503, "The server is stopping.");
        }
        // Through the lock, so the second thread is either waiting (and
        // woken) or has not yet looked.
        { std::lock_guard lock(m); }
        wake.notify_all();
        return true;
    };
    if (r.route == R::Login && r.post) {
        const auto form = core::parseQuery(r.body);
        if (!form)
            return refuse(r, 400, "The form could not be read.");
        r.typed = core::queryValue(*form, "password").value_or(std::string());
        return startCheck();
    }
    const Route *row = routeOf(r.route);
    if (row && row->access == Access::Anyone)
        return serve(*this, r);
    if (core::isApiRoute(r.route)) {
        if (const auto pass = http::basicPassword(r.conn)) {
            r.typed = *pass;
            if (gate.known(r.typed))
                return serve(*this, r);
            return startCheck();
        }
        return refuse(r, 401, "A password is asked for.", kAskBasic);
    }
    return answer(r, 303, std::string(), kText, {{"Location", "/login"}});
}

bool Engine::answer(Request &r, unsigned status, const std::string &body, const char *type,
                    const http::Headers &extra)
{
    http::Headers headers = {{"Content-Security-Policy", kSecurity},
                             {"X-Content-Type-Options", "nosniff"},
                             {"Referrer-Policy", kReferrer}};
    // Nothing else we answer is for a cache: the values change, the login
    // and the refusals depend on who asks.
    if (std::none_of(extra.begin(), extra.end(), [](auto &h) { return h.first == "Cache-Control"; }))
        headers.emplace_back("Cache-Control", "no-store");
    headers.insert(headers.end(), extra.begin(), extra.end());
    if (!core::worthCompressing(type, body.size()))
        return http::answer(r.conn, status, body, type, headers);
    headers.emplace_back("Vary", "Accept-Encoding");
    if (core::acceptsGzip(http::header(r.conn, "Accept-Encoding")))
        if (const auto packed = http::gzipped(body)) {
            headers.emplace_back("Content-Encoding", "gzip");
            return http::answer(r.conn, status, *packed, type, headers);
        }
    return http::answer(r.conn, status, body, type, headers);
}

bool Engine::refuse(Request &r, unsigned status, const std::string &text, const http::Headers &extra)
{
    if (core::isApiRoute(r.route))
        return answer(r, status, core::errorJson(text), kJson, extra);
    return answer(r, status, text + "\n", kText, extra);
}

} // namespace web
