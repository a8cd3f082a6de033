// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The web server's password and session secrets, through GnuTLS (which the
// server library uses for TLS anyway): PBKDF2-HMAC-SHA256 with a random
// 16-byte salt, random session tokens, SHA-256 digests.

#include "core/Web.h"

#include <string>
#include <string_view>

namespace web {

// The iterations new passwords are hashed with: a guess costs an attacker
// with the file about as long as a check costs us (~0.2 s on a small machine).
constexpr unsigned kPasswordIterations = 600000;

// passwordHashText() of a new salted hash of `password`; empty when the
// system's random source failed.
std::string hashPassword(std::string_view password, unsigned iterations = kPasswordIterations);
// Whether `password` is the one hashed; constant time in the comparison.
bool passwordMatches(std::string_view password, const core::PasswordHash &hash);
// `bytes` random bytes as hex (empty when the random source failed).
std::string randomHex(size_t bytes);
// The SHA-256 digest of `text`, as bytes.
std::string sha256(std::string_view text);

} // namespace web
