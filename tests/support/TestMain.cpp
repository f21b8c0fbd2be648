#include "LoopbackGuard.h"

#include <gtest/gtest.h>

#ifdef VANTRY_TEST_WITH_QT
#include <QApplication>
#endif

#include <cstdio>
#include <cstdlib>

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
