// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The password checks: one at a time on the server's second thread (a check
// is slow on purpose), each address's wrong ones answered later and later
// without holding up anyone else, and a password once found right known for
// the run, so that a scrape every second costs no hashing.

#include "Http.h"
#include "core/Web.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace web {

// A request waiting on its password.
struct Ticket {
    std::string address, typed;
    bool checked = false, passwordOk = false;
};

class PasswordGate {
public:
    using Clock = std::chrono::steady_clock;

    // The first wrong password from each address (not more often).
    std::function<void(const std::string &address)> tellWrong;

    // At each start: the password asked for; failures and what was known are forgotten.
    void reset(std::optional<core::PasswordHash> hash);
    // Whether `typed` is the password already checked right.
    bool known(const std::string &typed) const;
    // Suspends `c` and queues the check for no sooner than its address's
    // turn; false (nothing done) once stopping.
    bool ask(Ticket *t, http::Connection *c);
    // The second thread's turn: a due check (hashing with no lock held),
    // then the answers whose time has come, to be resumed.
    std::vector<Ticket *> turn();
    // When something is due next, if anything waits.
    std::optional<Clock::time_point> nextDue() const;
    // No more checks; every ticket waiting, to be resumed.
    std::vector<Ticket *> stop();

private:
    struct Failures {
        int count = 0;
        Clock::time_point nextCheck{}, last{};
    };

    mutable std::mutex m_lock;
    bool m_stopping = false;
    std::optional<core::PasswordHash> m_hash;
    std::string m_verified; // digest of the password once checked right
    std::multimap<Clock::time_point, Ticket *> m_checks;  // not before their time
    std::multimap<Clock::time_point, Ticket *> m_answers; // checked, held until their time
    std::map<std::string, Failures> m_failures;
    std::set<std::string> m_told;
};

} // namespace web
