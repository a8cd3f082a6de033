// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebPassword.h"

// The hashes and random bytes come from GnuTLS, the web server's TLS
// library; where the server is built without TLS (on Windows) from OpenSSL's
// libcrypto, which the MQTT client's TLS brings along there.
#ifdef VELDRA_WEB_CRYPTO_OPENSSL
#include <openssl/evp.h>
#include <openssl/rand.h>
#else
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#endif

namespace web {

namespace {
#ifdef VELDRA_WEB_CRYPTO_OPENSSL
std::string pbkdf2(std::string_view password, const std::string &salt, unsigned iterations)
{
    std::string key(32, '\0');
    if (PKCS5_PBKDF2_HMAC(password.data(), int(password.size()), reinterpret_cast<const unsigned char *>(salt.data()),
                          int(salt.size()), int(iterations), EVP_sha256(), int(key.size()),
                          reinterpret_cast<unsigned char *>(key.data()))
        != 1)
        return {};
    return key;
}

std::string randomBytes(size_t n)
{
    std::string bytes(n, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char *>(bytes.data()), int(n)) != 1)
        return {};
    return bytes;
}

std::string digestSha256(std::string_view text)
{
    std::string digest(32, '\0');
    unsigned size = 0;
    if (EVP_Digest(text.data(), text.size(), reinterpret_cast<unsigned char *>(digest.data()), &size, EVP_sha256(),
                   nullptr)
            != 1
        || size != digest.size())
        return {};
    return digest;
}
#else
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

std::string digestSha256(std::string_view text)
{
    std::string digest(32, '\0');
    if (gnutls_hash_fast(GNUTLS_DIG_SHA256, text.data(), text.size(), digest.data()) != 0)
        return {};
    return digest;
}
#endif
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

std::string sha256(std::string_view text) { return digestSha256(text); }

} // namespace web
