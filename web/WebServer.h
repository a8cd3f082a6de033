// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The built-in web server: the current values as JSON (/api/now), a live
// stream of readings (/api/stream, Server-Sent Events), the power curve
// (/api/powercurve) and Prometheus metrics (/metrics), read-only.
//
// HTTP is libmicrohttpd's (with GnuTLS for TLS; web/Http.h is the only way
// to it): it has the connection, per-address, timeout and memory limits a
// home network needs and lets a stream wait without holding a thread. Its one
// thread answers every request (web/Routes.cpp) from a copy of the values
// that the session's thread replaces (under a mutex) as they change; a
// second thread of ours runs password checks (web/PasswordGate.h), wakes the
// streams (web/Streams.h) and closes clients that send too slowly. The
// session's thread never answers a request. Logins are web/Sessions.h's, the
// names it answers to web/Addresses.h's.
//
// It listens on 127.0.0.1 unless the settings let other devices connect,
// and answers only to the names of this machine (421 otherwise, against DNS
// rebinding).

#include "core/PowerCurve.h"
#include "core/Web.h"
#include "core/WebApi.h"
#include "ui/Services.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace web {

struct Engine;

class WebServer : public QObject {
    Q_OBJECT
public:
    // Limits.
    static constexpr int kMaxConnections = 64;
    static constexpr int kConnectionsPerAddress = 16;
    static constexpr int kStreamsPerAddress = 4;
    // Request headers beyond this are refused (431), bodies beyond
    // core::bodyLimit() (413).
    static constexpr int kConnectionMemory = 16 * 1024;
    // A stream with nothing new gets a comment this often, so a client that
    // went away is found.
    static constexpr int kKeepAliveSeconds = 15;

    // Problems with the settings are told over `messageParent`, once each.
    explicit WebServer(const ui::Services &services, QObject *messageParent = nullptr, QObject *parent = nullptr);
    ~WebServer() override;

    // Reads "web.cfg" and starts, restarts or stops the server accordingly;
    // sessions and a remembered password end with it.
    void reload();
    void stop();

    // The current values. `reading`: a new reading, sent to the streams.
    void setNow(const core::WebNow &now, bool reading);
    // The curve /api/powercurve answers, the turbine's settings it is told
    // with, and the certified curve it is held against (none: empty).
    void setPowerCurve(const core::PowerCurve &curve, const core::TurbineSettings &settings,
                       const std::vector<core::CurvePoint> &certified);
    // The answer of a route read from the program folder's files (the
    // archive's /api/series, /api/days, /api/availability; /api/energy,
    // /api/wind): status and JSON for the query beside the current values
    // (`now.time` is their Unix seconds), run on the server's thread. A
    // route without one answers 404.
    using ArchiveHandler =
        std::function<std::pair<int, std::string>(const core::QueryPairs &query, const core::WebNow &now)>;
    void setArchiveHandler(core::WebRoute route, ArchiveHandler handler);
    // A settings page's form: read (`body` empty) or written, run on the
    // session's thread (status, JSON). The request has passed every check a
    // write needs; `address` is the client's, for the log of writes.
    struct SettingsRequest {
        std::string page, body, address, token;
        bool write = false;
        // A read's query (the calibration's boxes as typed).
        core::QueryPairs query = {};
    };
    // The answer (status, JSON) comes through `reply`, at once or later (a
    // test message waits for a mail server), on the session's thread.
    using SettingsReply = std::function<void(std::pair<int, std::string> answer)>;
    using SettingsHandler = std::function<void(const SettingsRequest &request, SettingsReply reply)>;
    void setSettingsHandler(SettingsHandler handler);

    bool running() const;
    // The port listened on, 0 when not running.
    int port() const;
    int streams() const;
    QString statusText() const { return m_status; }

signals:
    void statusChanged(const QString &text);

private:
    void setStatus(const QString &text);
    void off(const QString &problem);

    ui::Services m_services;
    QObject *m_messageParent;
    std::unique_ptr<Engine> m_engine;
    QString m_status, m_toldProblem;
};

} // namespace web
