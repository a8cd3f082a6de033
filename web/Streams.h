// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The live streams (Server-Sent Events): each new reading becomes one event
// kept in a short queue that every stream reads from at its own pace; a
// stream with nothing to send waits suspended, holding no thread, until the
// next event, and a comment line goes out when nothing has come for a while,
// so a client that went away is found.

#include "Http.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace web {

// Where one stream has got to.
struct StreamReader {
    http::Connection *conn = nullptr;
    std::string address;
    std::uint64_t cursor = 0;
    std::string pending;
    size_t pendingAt = 0;
};

class Streams {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t kEventsKept = 64;

    explicit Streams(int perAddress, int keepAliveSeconds)
        : m_perAddress(perAddress), m_keepAlive(keepAliveSeconds)
    { }

    // At each start.
    void reset();
    // A new stream from its address, starting with `first` (made with the
    // id of the newest event, so it is the values as they are now); false
    // when that address has its streams already.
    bool open(StreamReader &r, const std::function<std::string(std::uint64_t id)> &first);
    // Its end.
    void close(StreamReader &r);
    // What the library asks for: bytes, 0 when nothing (the connection is
    // then suspended until the next event), or http::kEnd once stopping.
    long long read(StreamReader &r, char *buf, size_t max);
    // The second thread: a new event made by `make` (given its id) when a
    // reading waits, or a comment when nothing has come for a while; the
    // streams to resume.
    std::vector<http::Connection *> turn(bool reading, const std::function<std::string(std::uint64_t id)> &make);
    // Streams end; every waiting one, to be resumed.
    std::vector<http::Connection *> stop();
    int count() const;

private:
    const int m_perAddress, m_keepAlive;
    mutable std::mutex m_lock;
    bool m_stopping = false;
    std::deque<std::pair<std::uint64_t, std::string>> m_events;
    std::uint64_t m_nextEvent = 1;
    Clock::time_point m_lastEventAt = Clock::now();
    std::vector<StreamReader *> m_waiting;
    std::map<std::string, int> m_of;
    int m_count = 0;
};

} // namespace web
