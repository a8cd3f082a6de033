// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebServer.h"

#include "MqttSettingsFile.h"
#include "WebFiles.h"
#include "WebPassword.h"
#include "WebSettingsFile.h"
#include "core/Web.h"
#include "ui/Files.h"
#include "ui/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QSysInfo>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <microhttpd.h>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>
#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#ifndef SHUT_RDWR
#define SHUT_RDWR SD_BOTH
#endif
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace publish {

namespace {
using Clock = std::chrono::steady_clock;

const char kCookie[] = "veldra_session";
const char kSecurity[] = "default-src 'self'; frame-ancestors 'none'; object-src 'none'; base-uri 'none'";
// No address leaves for other sites; our own forms carry their origin
// (with "no-referrer" a browser posts the login with "Origin: null", which
// the check against forms of other sites must refuse).
const char kReferrer[] = "same-origin";
const size_t kMaxFailureAddresses = 4096;
const size_t kEventsKept = 64;

std::string header(MHD_Connection *c, const char *name)
{
    const char *v = MHD_lookup_connection_value(c, MHD_HEADER_KIND, name);
    return v ? std::string(v) : std::string();
}

std::string addressOf(MHD_Connection *c)
{
    const MHD_ConnectionInfo *info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr)
        return "?";
    char text[INET6_ADDRSTRLEN] = {};
    if (info->client_addr->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(info->client_addr)->sin_addr, text, sizeof text);
        return text;
    }
    const auto *a6 = reinterpret_cast<const sockaddr_in6 *>(info->client_addr);
    inet_ntop(AF_INET6, &a6->sin6_addr, text, sizeof text);
    std::string s = text;
    // An IPv4 client of a dual-stack socket is that IPv4 address.
    if (s.rfind("::ffff:", 0) == 0 && s.find('.') != std::string::npos)
        s = s.substr(7);
    return s;
}

// The query string as it came (the server is told not to decode it), for
// our own parser.
std::string rawQuery(MHD_Connection *c)
{
    std::string q;
    MHD_get_connection_values(
        c, MHD_GET_ARGUMENT_KIND,
        [](void *cls, MHD_ValueKind, const char *key, const char *value) {
            std::string &out = *static_cast<std::string *>(cls);
            if (!out.empty())
                out += '&';
            out += key;
            if (value) {
                out += '=';
                out += value;
            }
            return MHD_YES;
        },
        &q);
    return q;
}

const char kPageStart[] = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                          "<title>Veldra</title><link rel=\"icon\" href=\"/static/veldra.svg\" type=\"image/svg+xml\">"
                          "<link rel=\"stylesheet\" href=\"/static/veldra.css\"></head>"
                          "<body class=\"login\">\n";

std::string loginPage(const std::string &note)
{
    return std::string(kPageStart) + "<h1>Veldra</h1>\n" + (note.empty() ? "" : "<p><strong>" + note + "</strong></p>\n")
           + "<form method=\"post\" action=\"/login\"><label>Password <input type=\"password\" "
             "name=\"password\" autocomplete=\"current-password\" autofocus></label> "
             "<button type=\"submit\">Log in</button></form>\n</body></html>\n";
}

// A built-in page, with the "Log out" button where it has its place when a
// password is asked for.
std::string builtInPage(const char *name, bool password)
{
    const WebFile *f = webFile(name);
    std::string page = f ? std::string(f->bytes) : std::string();
    const std::string mark = "<!--logout-->";
    const size_t at = page.find(mark);
    if (at != std::string::npos)
        page.replace(at, mark.size(),
                     password ? "<form method=\"post\" action=\"/logout\"><button type=\"submit\">Log out</button></form>"
                              : "");
    return page;
}

// A validator of a built-in file: a hash of its bytes, made once.
std::string entityTag(const WebFile &f)
{
    static std::mutex lock;
    static std::map<const WebFile *, std::string> tags;
    std::lock_guard guard(lock);
    std::string &tag = tags[&f];
    if (tag.empty()) {
        char text[24];
        std::snprintf(text, sizeof text, "\"%016zx\"", std::hash<std::string_view>()(f.bytes));
        tag = text;
    }
    return tag;
}

std::string errorJson(const std::string &text) { return "{\"error\":" + core::jsonString(text) + "}"; }

// The library hands the path and the query over as C strings cut from the
// request line in place, so a raw NUL would cut the target short unseen. The
// version follows the target in that line, one blank after its end: a target
// shorter than that held a NUL. (Only where both lie in one line: a request
// without a version is refused by the library.)
bool targetCutShort(std::optional<size_t> seenLength, const char *url, const char *version)
{
    if (!seenLength || !url || !version || !*version)
        return false;
    const auto u = reinterpret_cast<std::uintptr_t>(url), v = reinterpret_cast<std::uintptr_t>(version);
    if (v <= u || v - u > std::uintptr_t(WebServer::kConnectionMemory))
        return false;
    return *seenLength != v - u - 1;
}

std::int64_t unixNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// How many times a header came.
int headerCount(MHD_Connection *c, const char *name)
{
    struct Count {
        const char *name;
        int n = 0;
    } count{name};
    MHD_get_connection_values(
        c, MHD_HEADER_KIND,
        [](void *cls, MHD_ValueKind, const char *key, const char *) {
            auto *k = static_cast<Count *>(cls);
            const size_t n = std::strlen(k->name);
            if (std::strlen(key) == n
                && std::equal(key, key + n, k->name, [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); }))
                ++k->n;
            return MHD_YES;
        },
        &count);
    return count.n;
}
} // namespace

// ---- the engine: everything the server's threads touch ----------------------

struct WebServer::Engine {
    struct Config {
        std::vector<std::string> names;
        std::optional<core::PasswordHash> password;
        bool tls = false;
        bool network = false;
        int port = 8080;
        int requestSeconds = 10;
        std::string cert, key;
        // Names the password the logins were made with; empty without one.
        std::string passwordKey;

        bool operator==(const Config &o) const
        {
            return names == o.names && passwordKey == o.passwordKey && tls == o.tls && network == o.network
                   && port == o.port && requestSeconds == o.requestSeconds && cert == o.cert && key == o.key;
        }
    };

    // A connection, for closing clients that take too long over a request.
    struct Link {
        MHD_socket fd;
        std::optional<Clock::time_point> deadline;
    };

    struct Request {
        Engine *engine = nullptr;
        MHD_Connection *conn = nullptr;
        bool begun = false;
        // The length of the request's target as the library first saw it.
        std::optional<size_t> targetLength;
        core::WebRoute route = core::WebRoute::NotFound;
        bool head = false, post = false;
        std::string address, url;
        std::string body;
        bool tooLarge = false;
        enum class Stage { Fresh, Checking, Checked } stage = Stage::Fresh;
        std::string typed;
        bool passwordOk = false;
        // A live stream: the next event it sends, and what is left of the
        // text being sent.
        bool stream = false;
        std::uint64_t cursor = 0;
        std::string pending;
        size_t pendingAt = 0;
    };

    struct Failures {
        int count = 0;
        Clock::time_point nextCheck{}, last{};
    };

    Config cfg;
    MHD_Daemon *daemon = nullptr;
    std::string startLog; // under m
    bool starting = false; // under m
    std::function<void(const std::string &)> tellWrongPassword;
    // Keeps the logins' text (on the server's thread).
    std::function<void(const std::string &)> saveSessions;

    std::mutex m;
    std::condition_variable wake;
    std::thread worker;
    bool quit = false, stopping = false;

    core::WebNow now;
    core::PowerCurve curve;
    double cutOut = core::kDefaultCutOut;
    std::vector<core::CurvePoint> certified;
    ArchiveHandler series, days;
    bool eventWaiting = false;
    std::deque<std::pair<std::uint64_t, std::string>> events;
    std::uint64_t nextEvent = 1;
    Clock::time_point lastEventAt = Clock::now();
    std::vector<Request *> waitingStreams;
    std::map<std::string, int> streamsOf;
    int streamCount = 0;
    std::multimap<Clock::time_point, Request *> checks;  // password checks, not before their time
    std::multimap<Clock::time_point, Request *> answers; // checked, held until their time
    std::set<Link *> links;
    core::WebSessions sessions;
    std::string verified;                              // digest of the password once checked
    std::map<std::string, Failures> failures;
    std::set<std::string> told;

    ~Engine() { stop(); }

    bool start(const Config &c, core::WebSessions kept, std::string *why);
    void stop();
    void run();
    void resumeAll(std::vector<Request *> &list);

    MHD_Result access(MHD_Connection *c, const char *url, const char *method, const char *version,
                      const char *upload, size_t *size, void **cls);
    MHD_Result respond(Request *r);
    MHD_Result serve(Request *r);
    MHD_Result answer(Request *r, unsigned status, const std::string &body, const char *type,
                      const std::vector<std::pair<std::string, std::string>> &extra = {});
    MHD_Result refuse(Request *r, unsigned status, const std::string &text,
                      const std::vector<std::pair<std::string, std::string>> &extra = {});
    MHD_Result startCheck(Request *r);
    MHD_Result startStream(Request *r);
    ssize_t streamRead(Request *r, char *buf, size_t max);
    bool sessionValid(MHD_Connection *c);
    std::string cookieHeader(const std::string &value, bool expire) const;
    void completed(Request *r);
    void linkEvent(MHD_Connection *c, void **context, MHD_ConnectionNotificationCode code);
    void requestIn(MHD_Connection *c);
};

bool WebServer::Engine::start(const Config &c, core::WebSessions kept, std::string *why)
{
    stop();
    cfg = c;
    {
        std::lock_guard lock(m);
        quit = stopping = false;
        sessions = std::move(kept);
        verified.clear();
        failures.clear();
        told.clear();
        lastEventAt = Clock::now();
    }
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    if (cfg.tls && MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
        // A library built without HTTPS (the Windows build's) would start
        // plain HTTP or fail with words of its own.
        if (why)
            *why = "this build of the program has no TLS; turn TLS off to serve plain HTTP";
        return false;
    }
    if (cfg.tls)
        flags |= MHD_USE_TLS;

    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(uint16_t(cfg.port));
    v4.sin_addr.s_addr = htonl(cfg.network ? INADDR_ANY : INADDR_LOOPBACK);
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(uint16_t(cfg.port));
    v6.sin6_addr = in6addr_any;

    auto tryStart = [&](unsigned extraFlags, const sockaddr *addr) {
        {
            std::lock_guard lock(m);
            startLog.clear();
            starting = true;
        }
        std::vector<MHD_OptionItem> o = {
            {MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr *>(addr)},
            {MHD_OPTION_CONNECTION_LIMIT, kMaxConnections, nullptr},
            {MHD_OPTION_PER_IP_CONNECTION_LIMIT, kConnectionsPerAddress, nullptr},
            {MHD_OPTION_CONNECTION_TIMEOUT, cfg.requestSeconds, nullptr},
            {MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, nullptr},
        };
        if (cfg.tls) {
            o.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char *>(cfg.key.c_str())});
            o.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char *>(cfg.cert.c_str())});
        }
        o.push_back({MHD_OPTION_END, 0, nullptr});
        using Unescape = size_t (*)(void *, MHD_Connection *, char *);
        using Notify = void (*)(void *, MHD_Connection *, void **, MHD_ConnectionNotificationCode);
        using Completed = void (*)(void *, MHD_Connection *, void **, MHD_RequestTerminationCode);
        using Logger = void (*)(void *, const char *, va_list);
        using UriLog = void *(*)(void *, const char *, MHD_Connection *);
        // Paths and queries reach us as they came: ours to decode, so that
        // an escaped NUL or dot cannot turn into something else first.
        const Unescape keepEscapes = [](void *, MHD_Connection *, char *s) { return std::strlen(s); };
        const Notify notify = [](void *cls, MHD_Connection *conn, void **ctx, MHD_ConnectionNotificationCode code) {
            static_cast<Engine *>(cls)->linkEvent(conn, ctx, code);
        };
        const Completed done = [](void *, MHD_Connection *, void **cls, MHD_RequestTerminationCode) {
            if (auto *r = static_cast<Request *>(*cls))
                r->engine->completed(r);
            *cls = nullptr;
        };
        const Logger log = [](void *cls, const char *format, va_list ap) {
            char text[512];
            std::vsnprintf(text, sizeof text, format, ap);
            auto *e = static_cast<Engine *>(cls);
            // Only what starting says is kept, for the status; later the
            // library's words about odd clients are nobody's concern.
            std::lock_guard lock(e->m);
            if (e->starting)
                e->startLog = text;
        };
        // Told of each request's target before the library cuts it up in
        // place: its length then is the whole target's, a raw NUL aside.
        const UriLog begin = [](void *cls, const char *uri, MHD_Connection *conn) -> void * {
            auto *r = new Request;
            r->engine = static_cast<Engine *>(cls);
            r->conn = conn;
            r->targetLength = std::strlen(uri);
            return r;
        };
        MHD_Daemon *d = MHD_start_daemon(
            flags | extraFlags, uint16_t(cfg.port), nullptr, nullptr,
            [](void *cls, MHD_Connection *conn, const char *url, const char *method, const char *version,
               const char *upload, size_t *size, void **ccls) {
                return static_cast<Engine *>(cls)->access(conn, url, method, version, upload, size, ccls);
            },
            this, MHD_OPTION_UNESCAPE_CALLBACK, keepEscapes, nullptr, MHD_OPTION_NOTIFY_CONNECTION, notify, this,
            MHD_OPTION_NOTIFY_COMPLETED, done, nullptr, MHD_OPTION_EXTERNAL_LOGGER, log, this,
            MHD_OPTION_URI_LOG_CALLBACK, begin, this, MHD_OPTION_ARRAY, o.data(), MHD_OPTION_END);
        std::lock_guard lock(m);
        starting = false;
        return d;
    };
    daemon = nullptr;
    if (cfg.network)
        daemon = tryStart(MHD_USE_DUAL_STACK, reinterpret_cast<const sockaddr *>(&v6));
    if (!daemon)
        daemon = tryStart(0, reinterpret_cast<const sockaddr *>(&v4));
    if (!daemon) {
        if (why) {
            std::lock_guard lock(m);
            *why = startLog;
            while (!why->empty() && (why->back() == '\n' || why->back() == '.'))
                why->pop_back();
        }
        return false;
    }
    worker = std::thread([this] { run(); });
    return true;
}

void WebServer::Engine::resumeAll(std::vector<Request *> &list)
{
    for (Request *r : list)
        MHD_resume_connection(r->conn);
    list.clear();
}

void WebServer::Engine::stop()
{
    if (!daemon)
        return;
    {
        std::lock_guard lock(m);
        quit = stopping = true;
    }
    wake.notify_all();
    if (worker.joinable())
        worker.join();
    // Every waiting connection is let go (the library must have none
    // suspended when it stops): each then ends or is answered 503.
    std::vector<Request *> waiting;
    {
        std::lock_guard lock(m);
        waiting.swap(waitingStreams);
        for (auto &[at, r] : checks)
            waiting.push_back(r);
        for (auto &[at, r] : answers)
            waiting.push_back(r);
        checks.clear();
        answers.clear();
    }
    resumeAll(waiting);
    MHD_stop_daemon(daemon);
    daemon = nullptr;
    std::lock_guard lock(m);
    for (Link *l : links)
        delete l;
    links.clear();
    streamsOf.clear();
    streamCount = 0;
}

// The second thread: password checks, held answers, stream wake-ups,
// keep-alive comments and slow clients.
void WebServer::Engine::run()
{
    std::unique_lock lock(m);
    while (!quit) {
        auto until = Clock::now() + std::chrono::milliseconds(250);
        if (!checks.empty())
            until = std::min(until, checks.begin()->first);
        if (!answers.empty())
            until = std::min(until, answers.begin()->first);
        wake.wait_until(lock, until, [this] {
            return quit || eventWaiting || (!checks.empty() && checks.begin()->first <= Clock::now())
                   || (!answers.empty() && answers.begin()->first <= Clock::now());
        });
        if (quit)
            break;
        const auto t = Clock::now();
        std::vector<Request *> resume;

        const bool keepAlive = t - lastEventAt >= std::chrono::seconds(kKeepAliveSeconds);
        if (eventWaiting || keepAlive) {
            const std::uint64_t id = nextEvent++;
            events.emplace_back(id, eventWaiting ? core::readingEvent(now, id) : std::string(": keep-alive\n\n"));
            if (events.size() > kEventsKept)
                events.pop_front();
            eventWaiting = false;
            lastEventAt = t;
            resume.swap(waitingStreams);
        }

        while (!answers.empty() && answers.begin()->first <= t) {
            resume.push_back(answers.begin()->second);
            answers.erase(answers.begin());
        }

        for (Link *l : links)
            if (l->deadline && *l->deadline <= t) {
                // The client had its time for the request: closing our
                // side ends it in the library's next round.
                ::shutdown(l->fd, SHUT_RDWR);
                l->deadline.reset();
            }

        if (!checks.empty() && checks.begin()->first <= t) {
            Request *r = checks.begin()->second;
            checks.erase(checks.begin());
            const std::string typed = r->typed;
            const auto hash = cfg.password;
            lock.unlock();
            for (Request *q : resume)
                MHD_resume_connection(q->conn);
            resume.clear();
            const bool ok = hash && passwordMatches(typed, *hash);
            const std::string digest = ok ? sha256(typed) : std::string();
            lock.lock();
            const auto done = Clock::now();
            r->passwordOk = ok;
            r->stage = Request::Stage::Checked;
            r->typed.clear();
            auto at = done;
            if (ok) {
                verified = digest;
                failures.erase(r->address);
            } else {
                if (failures.size() >= kMaxFailureAddresses && !failures.count(r->address)) {
                    auto oldest = std::min_element(failures.begin(), failures.end(), [](auto &a, auto &b) {
                        return a.second.last < b.second.last;
                    });
                    failures.erase(oldest);
                }
                Failures &f = failures[r->address];
                ++f.count;
                f.last = done;
                at = done + std::chrono::milliseconds(int(core::wrongPasswordDelay(f.count) * 1000));
                f.nextCheck = at;
                if (told.size() < kMaxFailureAddresses && told.insert(r->address).second && tellWrongPassword)
                    tellWrongPassword(r->address);
            }
            answers.emplace(at, r);
            continue;
        }
        lock.unlock();
        for (Request *q : resume)
            MHD_resume_connection(q->conn);
        lock.lock();
    }
}

// ---- requests ------------------------------------------------------------------

void WebServer::Engine::linkEvent(MHD_Connection *c, void **context, MHD_ConnectionNotificationCode code)
{
    std::lock_guard lock(m);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        const MHD_ConnectionInfo *info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
        auto *l = new Link{info ? info->connect_fd : MHD_INVALID_SOCKET,
                           Clock::now() + std::chrono::seconds(cfg.requestSeconds)};
        *context = l;
        links.insert(l);
    } else if (auto *l = static_cast<Link *>(*context)) {
        // Told before the socket is closed, so the sweep never shuts a
        // number that already names another connection.
        links.erase(l);
        delete l;
        *context = nullptr;
    }
}

void WebServer::Engine::requestIn(MHD_Connection *c)
{
    const MHD_ConnectionInfo *info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    std::lock_guard lock(m);
    if (info && info->socket_context)
        static_cast<Link *>(info->socket_context)->deadline.reset();
}

void WebServer::Engine::completed(Request *r)
{
    {
        std::lock_guard lock(m);
        if (r->stream) {
            --streamCount;
            if (--streamsOf[r->address] <= 0)
                streamsOf.erase(r->address);
            waitingStreams.erase(std::remove(waitingStreams.begin(), waitingStreams.end(), r),
                                 waitingStreams.end());
        }
        // The next request on a kept-alive connection has its time again.
        const MHD_ConnectionInfo *info = MHD_get_connection_info(r->conn, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        if (info && info->socket_context)
            static_cast<Link *>(info->socket_context)->deadline =
                Clock::now() + std::chrono::seconds(cfg.requestSeconds);
    }
    delete r;
}

MHD_Result WebServer::Engine::access(MHD_Connection *c, const char *url, const char *method, const char *version,
                                     const char *upload, size_t *size, void **cls)
{
    auto *r = static_cast<Request *>(*cls);
    if (!r) {
        r = new Request;
        *cls = r;
        r->engine = this;
        r->conn = c;
    }
    if (!r->begun) {
        r->begun = true;
        r->address = addressOf(c);
        const std::string m = method;
        r->head = m == "HEAD";
        r->post = m == "POST";
        r->url = url;
        r->route = core::webRoute(url);
        if (targetCutShort(r->targetLength, url, version))
            return refuse(r, 400, "The request's target holds a NUL.");
        if (headerCount(c, MHD_HTTP_HEADER_HOST) > 1)
            return refuse(r, 400, "The request names its host more than once.");
        if (!core::hostAllowed(header(c, MHD_HTTP_HEADER_HOST), cfg.names))
            return refuse(r, 421,
                          "This server is not reached by that name. To use it, add it under \"Also reached as\" in "
                          "Options, Web (Names in web.cfg).");
        if (m != "GET" && m != "HEAD" && m != "POST")
            return refuse(r, 405, "Only GET and HEAD (and POST to /login and /logout) are answered.",
                          {{"Allow", core::allowedMethods(r->route)}});
        if (r->route == core::WebRoute::NotFound)
            return refuse(r, 404, "There is nothing here.");
        if (!core::methodAllowed(m, r->route))
            return refuse(r, 405, "That method is not answered here.", {{"Allow", core::allowedMethods(r->route)}});
        const std::string length = header(c, MHD_HTTP_HEADER_CONTENT_LENGTH);
        if (!length.empty() && (length.size() > 9 || std::strtoll(length.c_str(), nullptr, 10) > kBodyLimit))
            return refuse(r, 413, "The request's body is too large.");
        if (r->post) {
            // A form posted from a page elsewhere is not ours to take.
            const std::string origin = header(c, "Origin");
            if (!origin.empty()) {
                const size_t scheme = origin.find("://");
                if (scheme == std::string::npos || !core::hostAllowed(origin.substr(scheme + 3), cfg.names))
                    return refuse(r, 403, "A form from another site is not taken.");
            }
        }
        return MHD_YES;
    }
    if (r->stage != Request::Stage::Fresh)
        return respond(r);
    if (*size) {
        if (r->body.size() + *size > size_t(kBodyLimit))
            r->tooLarge = true;
        else
            r->body.append(upload, *size);
        *size = 0;
        return MHD_YES;
    }
    requestIn(c);
    if (r->tooLarge)
        return refuse(r, 413, "The request's body is too large.");
    return respond(r);
}

MHD_Result WebServer::Engine::respond(Request *r)
{
    using R = core::WebRoute;
    {
        std::lock_guard lock(m);
        if (stopping)
            return refuse(r, 503, "The server is stopping.");
    }
    if (r->stage == Request::Stage::Checking)
        return MHD_YES;
    if (r->stage == Request::Stage::Checked) {
        if (r->route == R::Login) {
            if (!r->passwordOk)
                return answer(r, 401, loginPage("Wrong password."), "text/html; charset=utf-8");
            const std::string token = randomHex(32);
            if (token.empty())
                return refuse(r, 500, "No session could be made.");
            std::string kept;
            {
                std::lock_guard lock(m);
                sessions.open(sha256(token), unixNow());
                kept = sessions.text();
            }
            if (saveSessions)
                saveSessions(kept);
            return answer(r, 303, std::string(), "text/plain; charset=utf-8",
                          {{"Location", "/"}, {"Set-Cookie", cookieHeader(token, false)}});
        }
        if (!r->passwordOk)
            return refuse(r, 401, "The password is wrong.", {{"WWW-Authenticate", "Basic realm=\"Veldra\", charset=\"UTF-8\""}});
        return serve(r);
    }

    if (!cfg.password || sessionValid(r->conn))
        return serve(r);
    if (r->route == R::Login && r->post) {
        const auto form = core::parseQuery(r->body);
        if (!form)
            return refuse(r, 400, "The form could not be read.");
        r->typed = core::queryValue(*form, "password").value_or(std::string());
        return startCheck(r);
    }
    // The pages' scripts and styles hold nothing private; the login page needs its style.
    if (r->route == R::Login || r->route == R::Logout || r->route == R::File)
        return serve(r);
    if (core::isApiRoute(r->route)) {
        char *pass = nullptr;
        char *user = MHD_basic_auth_get_username_password(r->conn, &pass);
        const bool given = pass != nullptr;
        if (given)
            r->typed = pass;
        MHD_free(user);
        MHD_free(pass);
        if (given) {
            bool known;
            {
                std::lock_guard lock(m);
                known = !verified.empty() && core::sameBytes(sha256(r->typed), verified);
            }
            if (known)
                return serve(r);
            return startCheck(r);
        }
        return refuse(r, 401, "A password is asked for.", {{"WWW-Authenticate", "Basic realm=\"Veldra\", charset=\"UTF-8\""}});
    }
    return answer(r, 303, std::string(), "text/plain; charset=utf-8", {{"Location", "/login"}});
}

MHD_Result WebServer::Engine::startCheck(Request *r)
{
    {
        // Suspended only while the server is not stopping (it must have no
        // connection suspended when it stops), and before the worker can see it.
        std::lock_guard lock(m);
        if (stopping)
            return refuse(r, 503, "The server is stopping.");
        r->stage = Request::Stage::Checking;
        MHD_suspend_connection(r->conn);
        const auto f = failures.find(r->address);
        const auto at = f == failures.end() ? Clock::now() : std::max(Clock::now(), f->second.nextCheck);
        checks.emplace(at, r);
    }
    wake.notify_all();
    return MHD_YES;
}

bool WebServer::Engine::sessionValid(MHD_Connection *c)
{
    const auto token = core::cookieValue(header(c, MHD_HTTP_HEADER_COOKIE), kCookie);
    if (!token || token->size() != 64)
        return false;
    const std::string digest = sha256(*token);
    std::lock_guard lock(m);
    return sessions.valid(digest, unixNow());
}

std::string WebServer::Engine::cookieHeader(const std::string &value, bool expire) const
{
    std::string c = std::string(kCookie) + "=" + value + "; Path=/; HttpOnly; SameSite=Strict";
    if (cfg.tls)
        c += "; Secure";
    c += "; Max-Age=" + std::to_string(expire ? 0 : core::WebSessions::kLife);
    return c;
}

MHD_Result WebServer::Engine::serve(Request *r)
{
    using R = core::WebRoute;
    const char *json = "application/json";
    switch (r->route) {
    case R::Index:
    case R::Trends:
        return answer(r, 200, builtInPage(r->route == R::Index ? "dashboard.html" : "trends.html", cfg.password.has_value()),
                      "text/html; charset=utf-8");
    case R::File: {
        const auto name = core::webFileName(r->url);
        const WebFile *f = name && name->find(".html") == std::string::npos ? webFile(*name) : nullptr;
        if (!f)
            break;
        // Kept by the browser but asked after each time: a new program
        // version's files are taken at once.
        const std::string tag = entityTag(*f);
        const std::vector<std::pair<std::string, std::string>> cache = {{"Cache-Control", "no-cache"}, {"ETag", tag}};
        if (header(r->conn, MHD_HTTP_HEADER_IF_NONE_MATCH) == tag)
            return answer(r, 304, std::string(), webFileType(*name), cache);
        return answer(r, 200, std::string(f->bytes), webFileType(*name), cache);
    }
    case R::Login:
        if (r->post) // no password is asked for
            return answer(r, 303, std::string(), "text/plain; charset=utf-8", {{"Location", "/"}});
        return answer(r, 200, loginPage(cfg.password ? "" : "No password is asked for."),
                      "text/html; charset=utf-8");
    case R::Logout: {
        if (const auto token = core::cookieValue(header(r->conn, MHD_HTTP_HEADER_COOKIE), kCookie)) {
            const std::string digest = sha256(*token);
            std::string kept;
            {
                std::lock_guard lock(m);
                if (sessions.close(digest))
                    kept = sessions.text();
            }
            if (!kept.empty() && saveSessions)
                saveSessions(kept);
        }
        return answer(r, 303, std::string(), "text/plain; charset=utf-8",
                      {{"Location", "/login"}, {"Set-Cookie", cookieHeader("", true)}});
    }
    case R::Now: {
        core::WebNow n;
        {
            std::lock_guard lock(m);
            n = now;
        }
        return answer(r, 200, core::nowJson(n), json);
    }
    case R::PowerCurve: {
        core::PowerCurve c;
        std::vector<core::CurvePoint> held;
        double to = 0;
        {
            std::lock_guard lock(m);
            c = curve;
            held = certified;
            to = cutOut;
        }
        return answer(r, 200, core::powerCurveJson(c, to, held), json);
    }
    case R::Metrics: {
        core::WebNow n;
        {
            std::lock_guard lock(m);
            n = now;
        }
        return answer(r, 200, core::metricsText(n), "text/plain; version=0.0.4; charset=utf-8");
    }
    case R::Series:
    case R::Days: {
        ArchiveHandler handler;
        std::int64_t at;
        {
            std::lock_guard lock(m);
            handler = r->route == R::Series ? series : days;
            at = now.time;
        }
        if (!handler)
            return refuse(r, 404, "There is no archive.");
        const auto query = core::parseQuery(rawQuery(r->conn));
        if (!query)
            return refuse(r, 400, "The query could not be read.");
        const auto [status, body] = handler(*query, at);
        return answer(r, unsigned(status), body, json);
    }
    case R::Stream:
        return startStream(r);
    case R::NotFound:
        break;
    }
    return refuse(r, 404, "There is nothing here.");
}

MHD_Result WebServer::Engine::startStream(Request *r)
{
    if (r->head)
        return answer(r, 200, std::string(), "text/event-stream");
    {
        std::lock_guard lock(m);
        if (streamsOf[r->address] >= kStreamsPerAddress)
            return refuse(r, 429, "Too many live streams from this address.", {{"Retry-After", "10"}});
        ++streamsOf[r->address];
        ++streamCount;
        r->stream = true;
        // The values as they are now first, then each new reading.
        r->cursor = nextEvent;
        r->pending = "retry: 5000\n\n" + core::readingEvent(now, nextEvent - 1);
    }
    MHD_Response *resp = MHD_create_response_from_callback(
        MHD_SIZE_UNKNOWN, 4096,
        [](void *cls, uint64_t, char *buf, size_t max) -> ssize_t {
            auto *q = static_cast<Request *>(cls);
            return q->engine->streamRead(q, buf, max);
        },
        r, nullptr);
    if (!resp)
        return MHD_NO;
    MHD_add_response_header(resp, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream; charset=utf-8");
    MHD_add_response_header(resp, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    MHD_add_response_header(resp, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(resp, "Referrer-Policy", kReferrer);
    MHD_add_response_header(resp, "Content-Security-Policy", kSecurity);
    // A waiting stream sends nothing for a while (the time does not run
    // while it waits); one whose client stops reading is closed.
    MHD_set_connection_option(r->conn, MHD_CONNECTION_OPTION_TIMEOUT, unsigned(4 * kKeepAliveSeconds));
    const MHD_Result ok = MHD_queue_response(r->conn, 200, resp);
    MHD_destroy_response(resp);
    return ok;
}

ssize_t WebServer::Engine::streamRead(Request *r, char *buf, size_t max)
{
    std::lock_guard lock(m);
    if (stopping)
        return MHD_CONTENT_READER_END_OF_STREAM;
    if (r->pendingAt >= r->pending.size()) {
        r->pending.clear();
        r->pendingAt = 0;
        if (!events.empty() && r->cursor < events.front().first)
            r->cursor = events.front().first; // too slow a reader misses the oldest
        while (r->cursor < nextEvent && r->pending.size() < max) {
            r->pending += events[size_t(r->cursor - events.front().first)].second;
            ++r->cursor;
        }
        if (r->pending.empty()) {
            waitingStreams.push_back(r);
            MHD_suspend_connection(r->conn);
            return 0;
        }
    }
    const size_t n = std::min(max, r->pending.size() - r->pendingAt);
    std::memcpy(buf, r->pending.data() + r->pendingAt, n);
    r->pendingAt += n;
    return ssize_t(n);
}

MHD_Result WebServer::Engine::answer(Request *r, unsigned status, const std::string &body, const char *type,
                                     const std::vector<std::pair<std::string, std::string>> &extra)
{
    MHD_Response *resp =
        MHD_create_response_from_buffer(body.size(), const_cast<char *>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (!resp)
        return MHD_NO;
    MHD_add_response_header(resp, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(resp, "Content-Security-Policy", kSecurity);
    MHD_add_response_header(resp, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(resp, "Referrer-Policy", kReferrer);
    // Nothing else we answer is for a cache: the values change, the login
    // and the refusals depend on who asks.
    if (std::none_of(extra.begin(), extra.end(), [](auto &e) { return e.first == "Cache-Control"; }))
        MHD_add_response_header(resp, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    for (const auto &[name, value] : extra)
        MHD_add_response_header(resp, name.c_str(), value.c_str());
    const MHD_Result ok = MHD_queue_response(r->conn, status, resp);
    MHD_destroy_response(resp);
    return ok;
}

MHD_Result WebServer::Engine::refuse(Request *r, unsigned status, const std::string &text,
                                     const std::vector<std::pair<std::string, std::string>> &extra)
{
    if (core::isApiRoute(r->route))
        return answer(r, status, errorJson(text), "application/json", extra);
    return answer(r, status, text + "\n", "text/plain; charset=utf-8", extra);
}

// ---- the object the session's thread holds -------------------------------------

WebServer::WebServer(const ui::Services &services, QObject *messageParent, QObject *parent)
    : QObject(parent), m_services(services), m_messageParent(messageParent), m_engine(std::make_unique<Engine>())
{
    m_status = QStringLiteral("The web server is off.");
    m_engine->tellWrongPassword = [](const std::string &address) {
        std::fprintf(stderr, "Veldra web server: a wrong password from %s (more from there are not told)\n",
                     address.c_str());
    };
}

WebServer::~WebServer() { stop(); }

void WebServer::stop() { m_engine->stop(); }

bool WebServer::running() const { return m_engine->daemon != nullptr; }

int WebServer::port() const { return running() ? m_engine->cfg.port : 0; }

int WebServer::streams() const
{
    std::lock_guard lock(m_engine->m);
    return m_engine->streamCount;
}

void WebServer::setNow(const core::WebNow &now, bool reading)
{
    {
        std::lock_guard lock(m_engine->m);
        m_engine->now = now;
        m_engine->eventWaiting |= reading;
    }
    if (reading)
        m_engine->wake.notify_all();
}

void WebServer::setPowerCurve(const core::PowerCurve &curve, double cutOut,
                              const std::vector<core::CurvePoint> &certified)
{
    std::lock_guard lock(m_engine->m);
    m_engine->curve = curve;
    m_engine->cutOut = cutOut;
    m_engine->certified = certified;
}

void WebServer::setSeriesHandler(ArchiveHandler handler)
{
    std::lock_guard lock(m_engine->m);
    m_engine->series = std::move(handler);
}

void WebServer::setDaysHandler(ArchiveHandler handler)
{
    std::lock_guard lock(m_engine->m);
    m_engine->days = std::move(handler);
}

void WebServer::setStatus(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged(text);
}

void WebServer::off(const QString &problem)
{
    setStatus(QStringLiteral("The web server is off: ") + problem);
    // Told once, not at every save of the settings.
    if (problem != m_toldProblem && m_services.messages)
        m_services.messages->notify(m_messageParent, QStringLiteral("The web server is off: ") + problem);
    m_toldProblem = problem;
}

void WebServer::reload()
{
    const QString file = ui::ProgramFolder(m_services.programFolder).webSettings();
    QString reason;
    const core::WebSettings s = readWebSettingsFile(file, &reason);
    if (!reason.isEmpty()) {
        stop();
        return off(QStringLiteral("%1 could not be read: %2.").arg(QDir::toNativeSeparators(file), reason));
    }
    if (!s.on) {
        stop();
        m_toldProblem.clear();
        return setStatus(QStringLiteral("The web server is off."));
    }
    if (const auto problem = core::webSettingsProblem(s)) {
        stop();
        return off(QString::fromStdString(*problem));
    }

    Engine::Config c;
    c.port = core::webPort(s);
    c.network = s.network;
    c.tls = s.tls;
    c.requestSeconds = core::webRequestSeconds(s);
    if (s.askPassword) {
        c.password = core::readPasswordHash(s.passwordHash);
        c.passwordKey = core::hexText(sha256(s.passwordHash));
    }
    c.names = {"localhost", "127.0.0.1", "::1"};
    for (const std::string &n : core::webNames(s.names).value_or(std::vector<std::string>()))
        c.names.push_back(n);
    const QString host = QSysInfo::machineHostName().toLower();
    if (!host.isEmpty()) {
        c.names.push_back(host.toStdString());
        if (!host.contains('.'))
            c.names.push_back((host + QStringLiteral(".local")).toStdString());
    }
    for (const QHostAddress &a : QNetworkInterface::allAddresses())
        if (a.scopeId().isEmpty())
            c.names.push_back(a.toString().toLower().toStdString());
    if (c.tls) {
        for (auto [path, into] : {std::pair{&s.tlsCert, &c.cert}, std::pair{&s.tlsKey, &c.key}}) {
            const QString name = QString::fromLocal8Bit(path->c_str()).trimmed();
            const auto bytes = ui::readWhole(name);
            if (!bytes || bytes->isEmpty()) {
                stop();
                return off(QStringLiteral("%1 could not be read.").arg(QDir::toNativeSeparators(name)));
            }
            *into = bytes->toStdString();
        }
    }
    // Nothing that matters to the server changed: its streams and logins go on.
    if (running() && c == m_engine->cfg)
        return;
    stop();

    // The logins of this password that are still open, from before a reload
    // or a restart; the file is written again when some were let go.
    const QString sessionsFile = ui::ProgramFolder(m_services.programFolder).webSessions();
    const std::string keptText = ui::readWhole(sessionsFile).value_or(QByteArray()).toStdString();
    const core::WebSessions kept = core::WebSessions::read(keptText, c.passwordKey, unixNow());
    m_engine->saveSessions = [sessionsFile](const std::string &text) {
        if (!writeOwnerOnly(sessionsFile, QByteArray::fromStdString(text)))
            std::fprintf(stderr, "Veldra web server: %s could not be written; logins end at the next start\n",
                         qPrintable(QDir::toNativeSeparators(sessionsFile)));
    };
    if (c.password && !keptText.empty() && kept.text() != keptText)
        m_engine->saveSessions(kept.text());

    std::string why;
    if (!m_engine->start(c, kept, &why)) {
        QString text = QStringLiteral("port %1 could not be opened").arg(c.port);
        if (!why.empty())
            text += QStringLiteral(" (%1)").arg(QString::fromStdString(why));
        return off(text + QStringLiteral("."));
    }
    m_toldProblem.clear();
    setStatus(servingText(c.tls, c.port, c.network ? host : QString(), c.network ? networkAddresses() : QStringList(),
                          c.password.has_value()));
}

QStringList WebServer::networkAddresses()
{
    // Those a phone on the home network can use: IPv4 first, no loopback
    // and no link-local address (it needs the interface named).
    QStringList v4, v6;
    for (const QHostAddress &a : QNetworkInterface::allAddresses()) {
        if (a.isLoopback() || a.isLinkLocal() || !a.scopeId().isEmpty())
            continue;
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            v4 << a.toString();
        else if (a.protocol() == QAbstractSocket::IPv6Protocol)
            v6 << QStringLiteral("[%1]").arg(a.toString());
    }
    return v4 + v6;
}

QString WebServer::servingText(bool tls, int port, const QString &host, const QStringList &addresses, bool password)
{
    const QString scheme = tls ? QStringLiteral("https") : QStringLiteral("http");
    const auto url = [&](const QString &name) { return QStringLiteral("%1://%2:%3/").arg(scheme, name).arg(port); };
    QString text = QStringLiteral("Serving at ") + url(QStringLiteral("127.0.0.1"));
    QStringList others;
    if (!host.isEmpty())
        others << url(host);
    for (const QString &a : addresses)
        others << url(a);
    if (!others.isEmpty())
        text += QStringLiteral(" and to other devices at ") + others.join(QStringLiteral(", "));
    if (password)
        text += QStringLiteral(", with the password");
    return text + QStringLiteral(".");
}

} // namespace publish
