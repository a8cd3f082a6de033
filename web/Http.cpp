// SPDX-License-Identifier: GPL-3.0-or-later
#include "Http.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <microhttpd.h>
#include <zlib.h>
#ifdef _WIN32
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

namespace web::http {

namespace {
using Clock = std::chrono::steady_clock;

// The library hands the path and the query over as C strings cut from the
// request line in place, so a raw NUL would cut the target short unseen. The
// version follows the target in that line, one blank after its end: a target
// shorter than that held a NUL. (Only where both lie in one line: a request
// without a version is refused by the library.)
bool targetCutShort(std::optional<size_t> seenLength, const char *url, const char *version, size_t memory)
{
    if (!seenLength || !url || !version || !*version)
        return false;
    const auto u = reinterpret_cast<std::uintptr_t>(url), v = reinterpret_cast<std::uintptr_t>(version);
    if (v <= u || v - u > memory)
        return false;
    return *seenLength != v - u - 1;
}
} // namespace

// A connection, for closing clients that take too long over a request.
struct Daemon::Link {
    MHD_socket fd;
    std::optional<Clock::time_point> deadline;
};

bool Daemon::start(const Settings &s, Handler &handler, std::string *why)
{
    stop();
    m_handler = &handler;
    m_requestSeconds = s.requestSeconds;
    m_memory = size_t(s.memory);
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    if (s.tls && MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
        // A library built without HTTPS (the Windows build's) would start
        // plain HTTP or fail with words of its own.
        if (why)
            *why = "this build of the program has no TLS; turn TLS off to serve plain HTTP";
        return false;
    }
    if (s.tls)
        flags |= MHD_USE_TLS;

    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(uint16_t(s.port));
    v4.sin_addr.s_addr = htonl(s.network ? INADDR_ANY : INADDR_LOOPBACK);
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(uint16_t(s.port));
    v6.sin6_addr = in6addr_any;

    auto tryStart = [&](unsigned extraFlags, const sockaddr *addr) {
        {
            std::lock_guard lock(m_lock);
            m_startLog.clear();
            m_starting = true;
        }
        std::vector<MHD_OptionItem> o = {
            {MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr *>(addr)},
            {MHD_OPTION_CONNECTION_LIMIT, s.connections, nullptr},
            {MHD_OPTION_PER_IP_CONNECTION_LIMIT, s.perAddress, nullptr},
            {MHD_OPTION_CONNECTION_TIMEOUT, s.requestSeconds, nullptr},
            {MHD_OPTION_CONNECTION_MEMORY_LIMIT, s.memory, nullptr},
        };
        if (s.tls) {
            o.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char *>(s.key.c_str())});
            o.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char *>(s.cert.c_str())});
        }
        o.push_back({MHD_OPTION_END, 0, nullptr});
        using Unescape = size_t (*)(void *, MHD_Connection *, char *);
        using Notify = void (*)(void *, MHD_Connection *, void **, MHD_ConnectionNotificationCode);
        using Completed = void (*)(void *, MHD_Connection *, void **, MHD_RequestTerminationCode);
        using Logger = void (*)(void *, const char *, va_list);
        using UriLog = void *(*)(void *, const char *, MHD_Connection *);
        // Paths and queries reach us as they came: ours to decode, so that
        // an escaped NUL or dot cannot turn into something else first.
        const Unescape keepEscapes = [](void *, MHD_Connection *, char *t) { return std::strlen(t); };
        const Notify notify = [](void *cls, MHD_Connection *conn, void **ctx, MHD_ConnectionNotificationCode code) {
            static_cast<Daemon *>(cls)->linkEvent(conn, ctx, code == MHD_CONNECTION_NOTIFY_STARTED);
        };
        const Completed done = [](void *cls, MHD_Connection *conn, void **ctx, MHD_RequestTerminationCode) {
            auto *d = static_cast<Daemon *>(cls);
            d->requestDone(conn);
            if (auto *x = static_cast<Exchange *>(*ctx))
                d->m_handler->completed(x);
            *ctx = nullptr;
        };
        const Logger log = [](void *cls, const char *format, va_list ap) {
            char text[512];
            std::vsnprintf(text, sizeof text, format, ap);
            auto *d = static_cast<Daemon *>(cls);
            // Only what starting says is kept, for the status; later the
            // library's words about odd clients are nobody's concern.
            std::lock_guard lock(d->m_lock);
            if (d->m_starting)
                d->m_startLog = text;
        };
        // Told of each request's target before the library cuts it up in
        // place: its length then is the whole target's, a raw NUL aside.
        const UriLog begin = [](void *cls, const char *uri, MHD_Connection *conn) -> void * {
            Exchange *x = static_cast<Daemon *>(cls)->m_handler->begin(conn);
            x->conn = conn;
            x->targetLength = std::strlen(uri);
            return x;
        };
        using Access = MHD_Result (*)(void *, MHD_Connection *, const char *, const char *, const char *, const char *,
                                      size_t *, void **);
        const Access access = [](void *cls, MHD_Connection *conn, const char *url, const char *method,
                                 const char *version, const char *upload, size_t *size, void **ctx) {
            auto *d = static_cast<Daemon *>(cls);
            auto *x = static_cast<Exchange *>(*ctx);
            if (!x) {
                x = d->m_handler->begin(conn);
                x->conn = conn;
                *ctx = x;
            }
            if (!x->begun)
                x->targetWhole = !targetCutShort(x->targetLength, url, version, d->m_memory);
            return d->m_handler->access(*x, url, method, upload, size) ? MHD_YES : MHD_NO;
        };
        MHD_Daemon *daemon = MHD_start_daemon(
            flags | extraFlags, uint16_t(s.port), nullptr, nullptr, access, this, MHD_OPTION_UNESCAPE_CALLBACK,
            keepEscapes, nullptr, MHD_OPTION_NOTIFY_CONNECTION, notify, this, MHD_OPTION_NOTIFY_COMPLETED, done, this,
            MHD_OPTION_EXTERNAL_LOGGER, log, this, MHD_OPTION_URI_LOG_CALLBACK, begin, this, MHD_OPTION_ARRAY,
            o.data(), MHD_OPTION_END);
        std::lock_guard lock(m_lock);
        m_starting = false;
        return daemon;
    };
    m_daemon = nullptr;
    if (s.network)
        m_daemon = tryStart(MHD_USE_DUAL_STACK, reinterpret_cast<const sockaddr *>(&v6));
    if (!m_daemon)
        m_daemon = tryStart(0, reinterpret_cast<const sockaddr *>(&v4));
    if (!m_daemon) {
        if (why) {
            std::lock_guard lock(m_lock);
            *why = m_startLog;
            while (!why->empty() && (why->back() == '\n' || why->back() == '.'))
                why->pop_back();
        }
        return false;
    }
    return true;
}

void Daemon::stop()
{
    if (!m_daemon)
        return;
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    std::lock_guard lock(m_lock);
    for (Link *l : m_links)
        delete l;
    m_links.clear();
}

void Daemon::closeSlow()
{
    const auto t = Clock::now();
    std::lock_guard lock(m_lock);
    for (Link *l : m_links)
        if (l->deadline && *l->deadline <= t) {
            // The client had its time for the request: closing our side
            // ends it in the library's next round.
            ::shutdown(l->fd, SHUT_RDWR);
            l->deadline.reset();
        }
}

void Daemon::linkEvent(Connection *c, void **context, bool started)
{
    std::lock_guard lock(m_lock);
    if (started) {
        const MHD_ConnectionInfo *info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
        auto *l = new Link{info ? info->connect_fd : MHD_INVALID_SOCKET,
                           Clock::now() + std::chrono::seconds(m_requestSeconds)};
        *context = l;
        m_links.insert(l);
    } else if (auto *l = static_cast<Link *>(*context)) {
        // Told before the socket is closed, so the sweep never shuts a
        // number that already names another connection.
        m_links.erase(l);
        delete l;
        *context = nullptr;
    }
}

void Daemon::requestIn(Connection *c)
{
    const MHD_ConnectionInfo *info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    std::lock_guard lock(m_lock);
    if (info && info->socket_context)
        static_cast<Link *>(info->socket_context)->deadline.reset();
}

void Daemon::requestDone(Connection *c)
{
    // The next request on a kept-alive connection has its time again.
    const MHD_ConnectionInfo *info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    std::lock_guard lock(m_lock);
    if (info && info->socket_context)
        static_cast<Link *>(info->socket_context)->deadline = Clock::now() + std::chrono::seconds(m_requestSeconds);
}

// ---- a request ---------------------------------------------------------------

std::string header(Connection *c, const char *name)
{
    const char *v = MHD_lookup_connection_value(c, MHD_HEADER_KIND, name);
    return v ? std::string(v) : std::string();
}

int headerCount(Connection *c, const char *name)
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
                && std::equal(key, key + n, k->name,
                              [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); }))
                ++k->n;
            return MHD_YES;
        },
        &count);
    return count.n;
}

std::string address(Connection *c)
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

std::string rawQuery(Connection *c)
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

std::optional<std::string> basicPassword(Connection *c)
{
    char *pass = nullptr;
    char *user = MHD_basic_auth_get_username_password(c, &pass);
    std::optional<std::string> out;
    if (pass)
        out = std::string(pass);
    MHD_free(user);
    MHD_free(pass);
    return out;
}

// ---- answers -------------------------------------------------------------------

namespace {
// Raw deflate of `part` (level 1: the answers are numbers, which the fastest
// level already shrinks about fourfold in a fraction of the time the
// default takes), primed with the 32 KB before it; the last part ends the
// stream, the others end on a byte with a sync flush so the next may follow.
std::optional<std::string> deflatePart(std::string_view part, std::string_view before, bool last)
{
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::nullopt;
    if (!before.empty()
        && deflateSetDictionary(&z, reinterpret_cast<const Bytef *>(before.data()), uInt(before.size())) != Z_OK) {
        deflateEnd(&z);
        return std::nullopt;
    }
    std::string out(deflateBound(&z, uLong(part.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(part.data()));
    z.avail_in = uInt(part.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    const int rc = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool whole = last ? rc == Z_STREAM_END : rc == Z_OK && z.avail_in == 0 && z.avail_out > 0;
    out.resize(z.total_out);
    deflateEnd(&z);
    return whole ? std::optional<std::string>(std::move(out)) : std::nullopt;
}

void putLittle(std::string &out, uLong value)
{
    for (int i = 0; i < 4; ++i)
        out += char((value >> (8 * i)) & 0xff);
}
} // namespace

std::optional<std::string> gzipped(std::string_view bytes)
{
    // A long answer is deflated in two halves at once, the second on a
    // thread of its own, into one stream (as pigz does): about half the
    // time where a core is free, the same bytes wherever it runs.
    constexpr size_t kWindow = 32 * 1024;
    const size_t half = bytes.size() >= kWindow ? bytes.size() / 2 : bytes.size();
    const std::string_view first = bytes.substr(0, half), second = bytes.substr(half);
    std::optional<std::string> tail;
    std::thread helper;
    if (!second.empty())
        helper = std::thread([&] { tail = deflatePart(second, first.substr(first.size() - std::min(kWindow, first.size())), true); });
    const auto head = deflatePart(first, {}, second.empty());
    if (helper.joinable())
        helper.join();
    if (!head || (!second.empty() && !tail))
        return std::nullopt;
    // The gzip member: its header (deflate, no name, no time, unknown
    // system), the stream, the CRC-32 and the length of what it holds.
    std::string out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    out.reserve(10 + head->size() + (tail ? tail->size() : 0) + 8);
    out += *head;
    if (tail)
        out += *tail;
    uLong crc = crc32(0, reinterpret_cast<const Bytef *>(first.data()), uInt(first.size()));
    if (!second.empty())
        crc = crc32_combine(crc, crc32(0, reinterpret_cast<const Bytef *>(second.data()), uInt(second.size())),
                            z_off_t(second.size()));
    putLittle(out, crc);
    putLittle(out, uLong(bytes.size() & 0xffffffffu));
    return out;
}

bool answer(Connection *c, unsigned status, const std::string &body, const char *type, const Headers &headers)
{
    MHD_Response *resp =
        MHD_create_response_from_buffer(body.size(), const_cast<char *>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (!resp)
        return false;
    MHD_add_response_header(resp, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    for (const auto &[name, value] : headers)
        MHD_add_response_header(resp, name.c_str(), value.c_str());
    const MHD_Result ok = MHD_queue_response(c, status, resp);
    MHD_destroy_response(resp);
    return ok == MHD_YES;
}

bool answerStream(Connection *c, const Headers &headers, unsigned idleSeconds,
                  std::function<long long(char *, size_t)> read)
{
    auto *reader = new std::function<long long(char *, size_t)>(std::move(read));
    MHD_Response *resp = MHD_create_response_from_callback(
        MHD_SIZE_UNKNOWN, 4096,
        [](void *cls, uint64_t, char *buf, size_t max) -> ssize_t {
            const long long n = (*static_cast<std::function<long long(char *, size_t)> *>(cls))(buf, max);
            return n == kEnd ? MHD_CONTENT_READER_END_OF_STREAM : ssize_t(n);
        },
        reader, [](void *cls) { delete static_cast<std::function<long long(char *, size_t)> *>(cls); });
    if (!resp) {
        delete reader;
        return false;
    }
    for (const auto &[name, value] : headers)
        MHD_add_response_header(resp, name.c_str(), value.c_str());
    // A waiting stream sends nothing for a while (the time does not run
    // while it waits); one whose client stops reading is closed.
    MHD_set_connection_option(c, MHD_CONNECTION_OPTION_TIMEOUT, idleSeconds);
    const MHD_Result ok = MHD_queue_response(c, 200, resp);
    MHD_destroy_response(resp);
    return ok == MHD_YES;
}

void suspend(Connection *c) { MHD_suspend_connection(c); }

void resume(Connection *c) { MHD_resume_connection(c); }

} // namespace web::http
