#include "LoopbackGuard.h"

#include <gtest/gtest.h>

#ifdef VANTRY_TEST_WITH_QT
#include <QApplication>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <netdb.h>
#include <string_view>

namespace {

bool endsWith(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Names a test may look up: numbers, the local host and the names reserved for tests.
bool resolvableInTests(std::string_view name)
{
    if (name.find_first_not_of("0123456789.") == std::string_view::npos ||
        name.find(':') != std::string_view::npos)
        return true;
    for (std::string_view local : {"localhost", ".localhost", ".invalid", ".test", ".example", "example.org",
                                   "example.com", "example.net"})
        if (name == local || endsWith(name, local))
            return true;
    return false;
}

} // namespace

// Every name lookup of a test program passes here, before the C library's: a test that would
// resolve a public host (a preset master left in a settings file, say) ends at once, naming it.
extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** res)
{
    if (node && !resolvableInTests(node)) {
        std::fprintf(stderr, "a test asked to resolve the public host name \"%s\"\n", node);
        std::abort();
    }
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto real = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return real(node, service, hints, res);
}

// Programs that send datagrams refuse to start outside a loopback-only network namespace:
// a test must never reach a real network, and a silent skip would hide that it did not run.
int main(int argc, char** argv)
{
    if (const char* network = std::getenv("VANTRY_TEST_NETWORK"); network && *network == '1') {
        const std::string violation = vantry::test::loopbackOnlyViolation();
        if (!violation.empty()) {
            std::fprintf(stderr, "refusing to run: %s\n", violation.c_str());
            return 3;
        }
    }
    ::testing::InitGoogleTest(&argc, argv);
#ifdef VANTRY_TEST_WITH_QT
    QApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
