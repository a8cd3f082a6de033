// SPDX-License-Identifier: GPL-3.0-or-later
// What the web server parses itself, on any bytes: the route of a path, query
// strings and form bodies, cookies, the Host header, web.cfg and the stored
// password's text, with the rules each promises.
// Input: any text; each parser gets all of it.
#include "FuzzSupport.h"

#include "core/Json.h"
#include "core/Web.h"
#include "core/WebApi.h"

#include <nlohmann/json.hpp>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view in = fuzz::asText(data, size);

    // A path that routes anywhere decodes to a plain, safe path.
    if (const auto path = core::decodedPath(in)) {
        FUZZ_CHECK(!path->empty() && path->front() == '/');
        FUZZ_CHECK(path->find('\0') == std::string::npos);
        FUZZ_CHECK(path->find("/../") == std::string::npos && path->find("//") == std::string::npos);
        FUZZ_CHECK(path->find('\\') == std::string::npos);
    }
    const core::WebRoute route = core::webRoute(in);
    if (route != core::WebRoute::NotFound)
        FUZZ_CHECK(core::decodedPath(in).has_value());
    FUZZ_CHECK(core::methodAllowed("GET", route) != (route == core::WebRoute::Logout));

    if (const auto pairs = core::parseQuery(in))
        for (const auto &[key, value] : *pairs) {
            for (const char c : key + value)
                FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
            FUZZ_CHECK(core::queryValue(*pairs, key).has_value());
        }

    if (const auto v = core::cookieValue(in, "veldra_session"))
        FUZZ_CHECK(v->find(';') == std::string::npos);

    // The host a header names is allowed by a list of exactly that name.
    if (const auto host = core::hostOfHeader(in)) {
        FUZZ_CHECK(!host->empty() && host->find_first_of(" /@\r\n") == std::string::npos);
        FUZZ_CHECK(core::hostAllowed(in, {*host}));
    } else {
        FUZZ_CHECK(!core::hostAllowed(in, {"localhost", std::string(in)}));
    }
    if (const auto names = core::webNames(in))
        for (const std::string &n : *names)
            FUZZ_CHECK(core::hostAllowed(n.find(':') != std::string::npos ? "[" + n + "]" : n, *names));

    // web.cfg: whatever was read writes and reads back the same.
    const core::WebSettings s = core::readWebSettings(in);
    const core::WebSettings back = core::readWebSettings(core::webSettingsText(s));
    FUZZ_CHECK(back.port == s.port && back.names == s.names && back.passwordHash == s.passwordHash
               && back.tlsKey == s.tlsKey && back.on == s.on && back.network == s.network);
    if (!core::webSettingsProblem(s)) {
        FUZZ_CHECK(core::webPort(s) >= 1 && core::webPort(s) <= 65535);
        FUZZ_CHECK(!s.network || s.askPassword);
    }

    if (const auto h = core::readPasswordHash(in)) {
        FUZZ_CHECK(h->iterations >= 1000 && h->iterations <= 10000000 && h->key.size() == 32);
        FUZZ_CHECK(core::readPasswordHash(core::passwordHashText(*h)).has_value());
    }

    // A JSON string holds no raw control byte and ends where it should.
    const std::string j = core::jsonString(in);
    FUZZ_CHECK(j.size() >= 2 && j.front() == '"' && j.back() == '"');
    for (const char c : j)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);
    // It reads back as the bytes that went in, but for those that were not
    // UTF-8, which read as U+FFFD.
    const auto json = core::readJson(j);
    FUZZ_CHECK(json && json->is_string());
    const std::string &read = json->get_ref<const std::string &>();
    FUZZ_CHECK(read == in || read.find("\xEF\xBF\xBD") != std::string::npos);
    // Any bytes read as JSON: an answer, never an exception or a crash.
    std::string problem;
    FUZZ_CHECK(core::readJson(in, &problem) || !problem.empty());
    return 0;
}
