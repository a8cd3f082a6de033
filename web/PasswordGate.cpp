// SPDX-License-Identifier: GPL-3.0-or-later
#include "PasswordGate.h"

#include "WebPassword.h"

#include <algorithm>

namespace web {

namespace {
const size_t kMaxFailureAddresses = 4096;
}

void PasswordGate::reset(std::optional<core::PasswordHash> hash)
{
    std::lock_guard lock(m_lock);
    m_stopping = false;
    m_hash = std::move(hash);
    m_verified.clear();
    m_failures.clear();
    m_told.clear();
}

bool PasswordGate::known(const std::string &typed) const
{
    const std::string digest = sha256(typed);
    std::lock_guard lock(m_lock);
    return !m_verified.empty() && core::sameBytes(digest, m_verified);
}

bool PasswordGate::ask(Ticket *t, http::Connection *c)
{
    // Suspended under the lock, so that a stop either sees it waiting or
    // refuses it here: none may be left suspended when the server stops.
    std::lock_guard lock(m_lock);
    if (m_stopping)
        return false;
    http::suspend(c);
    const auto f = m_failures.find(t->address);
    const auto at = f == m_failures.end() ? Clock::now() : std::max(Clock::now(), f->second.nextCheck);
    m_checks.emplace(at, t);
    return true;
}

std::vector<Ticket *> PasswordGate::turn()
{
    std::unique_lock lock(m_lock);
    if (!m_checks.empty() && m_checks.begin()->first <= Clock::now()) {
        Ticket *t = m_checks.begin()->second;
        m_checks.erase(m_checks.begin());
        const std::string typed = t->typed;
        const auto hash = m_hash;
        lock.unlock();
        const bool ok = hash && passwordMatches(typed, *hash);
        const std::string digest = ok ? sha256(typed) : std::string();
        lock.lock();
        const auto done = Clock::now();
        t->passwordOk = ok;
        t->checked = true;
        t->typed.clear();
        auto at = done;
        if (ok) {
            m_verified = digest;
            m_failures.erase(t->address);
        } else {
            if (m_failures.size() >= kMaxFailureAddresses && !m_failures.count(t->address)) {
                auto oldest = std::min_element(m_failures.begin(), m_failures.end(),
                                               [](auto &a, auto &b) { return a.second.last < b.second.last; });
                m_failures.erase(oldest);
            }
            Failures &f = m_failures[t->address];
            ++f.count;
            f.last = done;
            at = done + std::chrono::milliseconds(int(core::wrongPasswordDelay(f.count) * 1000));
            f.nextCheck = at;
            if (m_told.size() < kMaxFailureAddresses && m_told.insert(t->address).second && tellWrong)
                tellWrong(t->address);
        }
        m_answers.emplace(at, t);
    }
    std::vector<Ticket *> due;
    const auto t = Clock::now();
    while (!m_answers.empty() && m_answers.begin()->first <= t) {
        due.push_back(m_answers.begin()->second);
        m_answers.erase(m_answers.begin());
    }
    return due;
}

std::optional<PasswordGate::Clock::time_point> PasswordGate::nextDue() const
{
    std::lock_guard lock(m_lock);
    std::optional<Clock::time_point> next;
    if (!m_checks.empty())
        next = m_checks.begin()->first;
    if (!m_answers.empty())
        next = next ? std::min(*next, m_answers.begin()->first) : m_answers.begin()->first;
    return next;
}

std::vector<Ticket *> PasswordGate::stop()
{
    std::lock_guard lock(m_lock);
    m_stopping = true;
    std::vector<Ticket *> waiting;
    for (auto &[at, t] : m_checks)
        waiting.push_back(t);
    for (auto &[at, t] : m_answers)
        waiting.push_back(t);
    m_checks.clear();
    m_answers.clear();
    return waiting;
}

} // namespace web
