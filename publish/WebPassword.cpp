// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebPassword.h"

#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>

namespace publish {

namespace {
std::string pbkdf2(std::string_view password, const std::string &salt, unsigned iterations)
{
    std::string key(32, '\0');
    const gnutls_datum_t pw{reinterpret_cast<unsigned char *>(const_cast<char *>(password.data())),
                            unsigned(password.size())};
    const gnutls_datum_t s{reinterpret_cast<unsigned char *>(const_cast<char *>(salt.data())), unsigned(salt.size())};
    if (gnutls_pbkdf2(GNUTLS_MAC_SHA256, &pw, &s, iterations, key.data(), key.size()) != 0)
        return {};
    return key;
}

std::string randomBytes(size_t n)
{
    std::string bytes(n, '\0');
    if (gnutls_rnd(GNUTLS_RND_KEY, bytes.data(), n) != 0)
        return {};
    return bytes;
}
} // namespace

std::string hashPassword(std::string_view password, unsigned iterations)
{
    core::PasswordHash h;
    h.iterations = iterations;
    h.salt = randomBytes(16);
    if (h.salt.empty())
        return {};
    h.key = pbkdf2(password, h.salt, iterations);
    return h.key.empty() ? std::string() : core::passwordHashText(h);
}

bool passwordMatches(std::string_view password, const core::PasswordHash &hash)
{
    const std::string key = pbkdf2(password, hash.salt, hash.iterations);
    return !key.empty() && core::sameBytes(key, hash.key);
}

std::string randomHex(size_t bytes)
{
    const std::string b = randomBytes(bytes);
    return b.empty() ? std::string() : core::hexText(b);
}

std::string sha256(std::string_view text)
{
    std::string digest(32, '\0');
    if (gnutls_hash_fast(GNUTLS_DIG_SHA256, text.data(), text.size(), digest.data()) != 0)
        return {};
    return digest;
}

} // namespace publish
