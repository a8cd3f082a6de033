// SPDX-License-Identifier: GPL-3.0-or-later
// Loaded with LD_PRELOAD by the tests and the frame benchmark: looking up the
// name "slow-lookup.test" takes SLOW_LOOKUP_MS milliseconds (3000 unless
// set) and then finds 127.0.0.1, as a name server that answers late would.
// "no-such-host.test" is not found, at once, and counted. Every other name
// is looked up as usual. Built without the sanitizers, so it
// loads into any process.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <netdb.h>

extern "C" {

// Tells a test that the shim is loaded.
int veldra_slow_lookup_loaded = 1;
// Lookups of "no-such-host.test" so far.
int veldra_failed_lookups = 0;

int getaddrinfo(const char *node, const char *service, const struct addrinfo *hints, struct addrinfo **res)
{
    using Lookup = int (*)(const char *, const char *, const struct addrinfo *, struct addrinfo **);
    static const Lookup real = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getaddrinfo"));
    if (!real)
        return EAI_SYSTEM;
    if (node && std::strcmp(node, "no-such-host.test") == 0) {
        __atomic_add_fetch(&veldra_failed_lookups, 1, __ATOMIC_SEQ_CST);
        return EAI_NONAME;
    }
    if (node && std::strcmp(node, "slow-lookup.test") == 0) {
        const char *text = std::getenv("SLOW_LOOKUP_MS");
        const long ms = text ? std::atol(text) : 3000;
        timespec wait{ms / 1000, (ms % 1000) * 1000000};
        while (nanosleep(&wait, &wait) != 0 && errno == EINTR) { }
        node = "127.0.0.1";
    }
    return real(node, service, hints, res);
}
}
