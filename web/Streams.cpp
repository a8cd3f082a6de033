// SPDX-License-Identifier: GPL-3.0-or-later
#include "Streams.h"

#include <algorithm>
#include <cstring>

namespace web {

void Streams::reset()
{
    std::lock_guard lock(m_lock);
    m_stopping = false;
    m_lastEventAt = Clock::now();
    m_waiting.clear();
    m_of.clear();
    m_count = 0;
}

bool Streams::open(StreamReader &r, const std::function<std::string(std::uint64_t id)> &first)
{
    std::lock_guard lock(m_lock);
    if (m_of[r.address] >= m_perAddress)
        return false;
    ++m_of[r.address];
    ++m_count;
    // The values as they are now first, then each new reading.
    r.cursor = m_nextEvent;
    r.pending = "retry: 5000\n\n" + first(m_nextEvent - 1);
    return true;
}

void Streams::close(StreamReader &r)
{
    std::lock_guard lock(m_lock);
    --m_count;
    if (--m_of[r.address] <= 0)
        m_of.erase(r.address);
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), &r), m_waiting.end());
}

long long Streams::read(StreamReader &r, char *buf, size_t max)
{
    std::lock_guard lock(m_lock);
    if (m_stopping)
        return http::kEnd;
    if (r.pendingAt >= r.pending.size()) {
        r.pending.clear();
        r.pendingAt = 0;
        if (!m_events.empty() && r.cursor < m_events.front().first)
            r.cursor = m_events.front().first; // too slow a reader misses the oldest
        while (r.cursor < m_nextEvent && r.pending.size() < max) {
            r.pending += m_events[size_t(r.cursor - m_events.front().first)].second;
            ++r.cursor;
        }
        if (r.pending.empty()) {
            // Suspended under the lock: the next turn finds it waiting.
            m_waiting.push_back(&r);
            http::suspend(r.conn);
            return 0;
        }
    }
    const size_t n = std::min(max, r.pending.size() - r.pendingAt);
    std::memcpy(buf, r.pending.data() + r.pendingAt, n);
    r.pendingAt += n;
    return (long long)n;
}

std::vector<http::Connection *> Streams::turn(bool reading, const std::function<std::string(std::uint64_t id)> &make)
{
    std::vector<http::Connection *> resume;
    std::lock_guard lock(m_lock);
    const auto t = Clock::now();
    if (!reading && t - m_lastEventAt < std::chrono::seconds(m_keepAlive))
        return resume;
    const std::uint64_t id = m_nextEvent++;
    m_events.emplace_back(id, reading ? make(id) : std::string(": keep-alive\n\n"));
    if (m_events.size() > kEventsKept)
        m_events.pop_front();
    m_lastEventAt = t;
    for (StreamReader *r : m_waiting)
        resume.push_back(r->conn);
    m_waiting.clear();
    return resume;
}

std::vector<http::Connection *> Streams::stop()
{
    std::lock_guard lock(m_lock);
    m_stopping = true;
    std::vector<http::Connection *> resume;
    for (StreamReader *r : m_waiting)
        resume.push_back(r->conn);
    m_waiting.clear();
    return resume;
}

int Streams::count() const
{
    std::lock_guard lock(m_lock);
    return m_count;
}

} // namespace web
