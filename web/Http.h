// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The adapter over libmicrohttpd, and the only file that includes it:
// starting and stopping the daemon with our limits, telling our handler of
// each request, reading its headers, answering it, streaming to it,
// suspending and resuming it, and closing clients that take too long over a
// request. Nothing of the library's shows through this header.

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

struct MHD_Connection;
struct MHD_Daemon;

namespace web::http {

using Connection = MHD_Connection;
using Headers = std::vector<std::pair<std::string, std::string>>;

// A request as the adapter knows it; the handler's own derive from it.
struct Exchange {
    virtual ~Exchange() = default;
    Connection *conn = nullptr;
    // The length of the request's target as the library first saw it.
    std::optional<size_t> targetLength;
    // Told on the first call: no raw NUL cut the target short.
    bool targetWhole = true;
    bool begun = false;
};

// What the daemon calls, on its thread.
class Handler {
public:
    virtual ~Handler() = default;
    virtual Exchange *begin(Connection *c) = 0;
    // As the library's access callback: first with `x.begun` false, then with
    // each piece of the body (`*size` to be set to 0 once taken), then with
    // `*size` 0. False closes the connection.
    virtual bool access(Exchange &x, const char *url, const char *method, const char *upload, size_t *size) = 0;
    // The request has ended; the handler lets `x` go.
    virtual void completed(Exchange *x) = 0;
};

struct Settings {
    int port = 8080;
    bool network = false, tls = false;
    int requestSeconds = 10;
    std::string cert, key; // PEM
    int connections = 64, perAddress = 16, memory = 16 * 1024;
};

class Daemon {
public:
    Daemon() = default;
    Daemon(const Daemon &) = delete;
    Daemon &operator=(const Daemon &) = delete;
    ~Daemon() { stop(); }

    // On 127.0.0.1, or on every address (both IPv4 and IPv6 where it can)
    // when the network may connect. False with the library's words in `why`.
    bool start(const Settings &s, Handler &handler, std::string *why);
    // No connection may be suspended by then.
    void stop();
    bool running() const { return m_daemon != nullptr; }
    // Closes our side of the connections whose request has taken longer than
    // its time; the library ends them in its next round.
    void closeSlow();
    // A request has been received whole: its time no longer runs.
    void requestIn(Connection *c);

private:
    struct Link;
    void linkEvent(Connection *c, void **context, bool started);
    void requestDone(Connection *c);

    MHD_Daemon *m_daemon = nullptr;
    Handler *m_handler = nullptr;
    int m_requestSeconds = 10;
    size_t m_memory = 16 * 1024;
    std::mutex m_lock; // the links, the start's log
    std::set<Link *> m_links;
    bool m_starting = false;
    std::string m_startLog;
};

// ---- a request

std::string header(Connection *c, const char *name);
// How many times a header came (two Host headers are not taken).
int headerCount(Connection *c, const char *name);
// The client's address; an IPv4 client of a dual-stack socket as IPv4.
std::string address(Connection *c);
// The query string as it came (the library is told not to decode it).
std::string rawQuery(Connection *c);
// The password of HTTP Basic, when one was given.
std::optional<std::string> basicPassword(Connection *c);

// ---- answers

// `bytes` as one gzip member (RFC 1952), or nullopt when zlib fails.
std::optional<std::string> gzipped(std::string_view bytes);
bool answer(Connection *c, unsigned status, const std::string &body, const char *type, const Headers &headers);
// A body of unknown length, read as the client takes it: `read` gives the
// bytes it put into the buffer, 0 when it has none yet (it has suspended
// the connection, to be resumed when there are), or kEnd.
constexpr long long kEnd = -1;
bool answerStream(Connection *c, const Headers &headers, unsigned idleSeconds,
                  std::function<long long(char *, size_t)> read);
void suspend(Connection *c);
void resume(Connection *c);

} // namespace web::http
