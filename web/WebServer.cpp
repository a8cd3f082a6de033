// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebServer.h"

#include "Addresses.h"
#include "Engine.h"
#include "WebPassword.h"
#include "WebSettingsFile.h"
#include "ui/Files.h"
#include "ui/ProgramFolder.h"

#include <QDir>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace web {

namespace {
using Clock = std::chrono::steady_clock;
}

// ---- the engine's start, stop and second thread --------------------------------

bool Engine::start(const Config &c, std::string *why)
{
    stop();
    cfg = c;
    {
        std::lock_guard lock(m);
        quit = stopping = false;
    }
    gate.reset(cfg.password);
    streams.reset();
    http::Settings s;
    s.port = cfg.port;
    s.network = cfg.network;
    s.tls = cfg.tls;
    s.requestSeconds = cfg.requestSeconds;
    s.cert = cfg.cert;
    s.key = cfg.key;
    s.connections = WebServer::kMaxConnections;
    s.perAddress = WebServer::kConnectionsPerAddress;
    s.memory = WebServer::kConnectionMemory;
    if (!daemon.start(s, *this, why))
        return false;
    m_worker = std::thread([this] { run(); });
    return true;
}

void Engine::stop()
{
    if (!daemon.running())
        return;
    {
        std::lock_guard lock(m);
        quit = stopping = true;
    }
    wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
    // Every waiting connection is let go (the library must have none
    // suspended when it stops): each then ends or is answered 503.
    for (http::Connection *c : streams.stop())
        http::resume(c);
    for (Ticket *t : gate.stop())
        http::resume(static_cast<Request *>(t)->conn);
    std::set<std::shared_ptr<SettingsJob>> waiting;
    {
        std::lock_guard lock(m);
        waiting.swap(jobs);
    }
    for (const auto &job : waiting) {
        std::lock_guard lock(job->m);
        if (!job->done) {
            job->cancelled = true;
            http::resume(job->conn);
        }
    }
    daemon.stop();
}

void Engine::newPassword(const Config &c)
{
    // Whether a password is asked for stays as it is, and that is all the
    // library's threads read of cfg.password; the hash itself is the gate's.
    gate.reset(c.password);
    std::lock_guard lock(m);
    cfg.password = c.password;
    cfg.passwordKey = c.passwordKey;
}

// The second thread: password checks, held answers, stream wake-ups,
// keep-alive comments and slow clients.
void Engine::run()
{
    std::unique_lock lock(m);
    while (!quit) {
        auto until = Clock::now() + std::chrono::milliseconds(250);
        if (const auto next = gate.nextDue())
            until = std::min(until, *next);
        wake.wait_until(lock, until, [this] {
            const auto next = gate.nextDue();
            return quit || readingWaiting || (next && *next <= Clock::now());
        });
        if (quit)
            break;
        const bool reading = readingWaiting;
        readingWaiting = false;
        const core::WebNow values = now;
        lock.unlock();
        // The streams first: a password check takes a while.
        for (http::Connection *c :
             streams.turn(reading, [&](std::uint64_t id) { return core::readingEvent(values, id); }))
            http::resume(c);
        daemon.closeSlow();
        for (Ticket *t : gate.turn())
            http::resume(static_cast<Request *>(t)->conn);
        lock.lock();
    }
}

// ---- the object the session's thread holds -------------------------------------

WebServer::WebServer(const ui::Services &services, QObject *messageParent, QObject *parent)
    : QObject(parent), m_services(services), m_messageParent(messageParent), m_engine(std::make_unique<Engine>())
{
    m_status = QStringLiteral("The web server is off.");
    m_engine->toSession = [this](std::function<void()> call) {
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    };
    m_engine->gate.tellWrong = [](const std::string &address) {
        std::fprintf(stderr, "Veldra web server: a wrong password from %s (more from there are not told)\n",
                     address.c_str());
    };
}

WebServer::~WebServer() { stop(); }

void WebServer::stop() { m_engine->stop(); }

bool WebServer::running() const { return m_engine->running(); }

int WebServer::port() const { return running() ? m_engine->cfg.port : 0; }

int WebServer::streams() const { return m_engine->streams.count(); }

void WebServer::setNow(const core::WebNow &now, bool reading)
{
    {
        std::lock_guard lock(m_engine->m);
        m_engine->now = now;
        m_engine->readingWaiting |= reading;
    }
    if (reading)
        m_engine->wake.notify_all();
}

void WebServer::setPowerCurve(const core::PowerCurve &curve, const core::TurbineSettings &settings,
                              const std::vector<core::CurvePoint> &certified)
{
    std::lock_guard lock(m_engine->m);
    m_engine->curve = curve;
    m_engine->turbine = settings;
    m_engine->certified = certified;
}

void WebServer::setArchiveHandler(core::WebRoute route, ArchiveHandler handler)
{
    std::lock_guard lock(m_engine->m);
    m_engine->fromFiles[route] = std::move(handler);
}

void WebServer::setSettingsHandler(SettingsHandler handler)
{
    std::lock_guard lock(m_engine->m);
    m_engine->settings = std::move(handler);
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
    stop();
    setStatus(QStringLiteral("The web server is off: ") + problem);
    // Told once, not at every save of the settings.
    if (problem != m_toldProblem && m_services.messages)
        m_services.messages->notify(m_messageParent, QStringLiteral("The web server is off: ") + problem);
    m_toldProblem = problem;
}

void WebServer::reload()
{
    const ui::ProgramFolder folder(m_services.programFolder);
    const QString file = folder.webSettings();
    QString reason;
    const core::WebSettings s = readWebSettingsFile(file, &reason);
    if (!reason.isEmpty())
        return off(QStringLiteral("%1 could not be read: %2.").arg(QDir::toNativeSeparators(file), reason));
    if (!s.on) {
        stop();
        m_toldProblem.clear();
        return setStatus(QStringLiteral("The web server is off."));
    }
    if (const auto problem = core::webSettingsProblem(s))
        return off(QString::fromStdString(*problem));

    Engine::Config c;
    c.port = core::webPort(s);
    c.network = s.network;
    c.tls = s.tls;
    c.requestSeconds = core::webRequestSeconds(s);
    if (s.askPassword) {
        c.password = core::readPasswordHash(s.passwordHash);
        c.passwordKey = core::hexText(sha256(s.passwordHash));
    }
    c.names = serverNames(s.names);
    if (c.tls) {
        for (auto [path, into] : {std::pair{&s.tlsCert, &c.cert}, std::pair{&s.tlsKey, &c.key}}) {
            const QString name = QString::fromLocal8Bit(path->c_str()).trimmed();
            const auto bytes = ui::readWhole(name);
            if (!bytes || bytes->isEmpty())
                return off(QStringLiteral("%1 could not be read.").arg(QDir::toNativeSeparators(name)));
            *into = bytes->toStdString();
        }
    }
    // Nothing that matters to the server changed: its streams and logins go on.
    if (running() && c == m_engine->cfg)
        return;
    // Only the password: the logins made with the old one end, the server
    // goes on.
    if (running() && c.sameButPassword(m_engine->cfg)) {
        m_engine->newPassword(c);
        m_engine->sessions.open(folder.webSessions(), c.passwordKey);
        return;
    }
    stop();
    // The logins of this password that are still open, from before a reload or a restart.
    m_engine->sessions.open(folder.webSessions(), c.passwordKey);

    std::string why;
    if (!m_engine->start(c, &why)) {
        QString text = QStringLiteral("port %1 could not be opened").arg(c.port);
        if (!why.empty())
            text += QStringLiteral(" (%1)").arg(QString::fromStdString(why));
        return off(text + QStringLiteral("."));
    }
    m_toldProblem.clear();
    setStatus(servingText(c.tls, c.port, c.network ? hostName() : QString(),
                          c.network ? networkAddresses() : QStringList(), c.password.has_value()));
}

} // namespace web
