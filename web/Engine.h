// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Inside the web server: everything its two threads touch. The library's
// thread takes each request in and answers it (web/Routes.cpp); the second
// thread (web/WebServer.cpp) runs the password checks, wakes the streams and
// closes clients that send too slowly. The session's thread only copies
// values in, under `m`.

#include "Http.h"
#include "PasswordGate.h"
#include "Sessions.h"
#include "Streams.h"
#include "WebServer.h"
#include "core/PowerCurve.h"
#include "core/WebApi.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace web {

struct Engine;

// A settings request handed to the session's thread, its connection
// suspended until the answer is in (or the server stops).
struct SettingsJob {
    std::mutex m;
    http::Connection *conn = nullptr;
    bool done = false, cancelled = false;
    std::pair<int, std::string> answer;
};

struct Request : http::Exchange, Ticket {
    Engine *engine = nullptr;
    core::WebRoute route = core::WebRoute::NotFound;
    bool head = false, post = false;
    std::string url, body;
    bool tooLarge = false;
    // Waiting on its password (the gate holds it).
    bool checking = false;
    // A live stream.
    bool stream = false;
    StreamReader reader;
    // A settings request with the session's thread.
    std::shared_ptr<SettingsJob> job;
};

struct Engine : http::Handler {
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

        // The same server but perhaps for the password (whether one is asked
        // for is the same).
        bool sameButPassword(const Config &o) const
        {
            return names == o.names && password.has_value() == o.password.has_value() && tls == o.tls
                   && network == o.network && port == o.port && requestSeconds == o.requestSeconds
                   && cert == o.cert && key == o.key;
        }
        bool operator==(const Config &o) const { return sameButPassword(o) && passwordKey == o.passwordKey; }
    };

    Engine() = default;
    ~Engine() override { stop(); }

    bool start(const Config &c, std::string *why);
    void stop();
    // Another password, for a server that asks for one and goes on asking:
    // taken up while it runs, so the answer that changed it is not lost.
    void newPassword(const Config &c);
    bool running() const { return daemon.running(); }

    // The library's calls (web/Routes.cpp).
    http::Exchange *begin(http::Connection *c) override;
    bool access(http::Exchange &x, const char *url, const char *method, const char *upload, size_t *size) override;
    void completed(http::Exchange *x) override;

    // Answers with our headers; refusals as JSON on the API, as text elsewhere.
    bool answer(Request &r, unsigned status, const std::string &body, const char *type,
                const http::Headers &extra = {});
    bool refuse(Request &r, unsigned status, const std::string &text, const http::Headers &extra = {});

    Config cfg;
    http::Daemon daemon;
    SessionStore sessions;
    PasswordGate gate;
    Streams streams{WebServer::kStreamsPerAddress, WebServer::kKeepAliveSeconds};

    // What the session's thread copies in, and the second thread's wake-up.
    std::mutex m;
    std::condition_variable wake;
    bool quit = false, stopping = false;
    core::WebNow now;
    bool readingWaiting = false;
    core::PowerCurve curve;
    core::TurbineSettings turbine;
    std::vector<core::CurvePoint> certified;
    // The answers read from the program folder's files, by route.
    std::map<core::WebRoute, WebServer::ArchiveHandler> fromFiles;
    WebServer::SettingsHandler settings;
    // Runs a call on the session's thread, later.
    std::function<void(std::function<void()>)> toSession;
    std::set<std::shared_ptr<SettingsJob>> jobs;

private:
    void run();
    bool respond(Request &r);
    std::thread m_worker;
};

// The answer a route gives to a request let through (web/Routes.cpp).
bool serve(Engine &e, Request &r);

} // namespace web
