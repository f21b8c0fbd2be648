#include "app/ui/SessionEnd.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <gtest/gtest.h>

namespace vantry {
namespace {

volatile std::sig_atomic_t g_previousHandlerRan = 0;
extern "C" void previousHandler(int)
{
    g_previousHandlerRan = 1;
}

void (*currentHandler(int signal))(int)
{
    struct sigaction now = {};
    ::sigaction(signal, nullptr, &now);
    return now.sa_handler;
}

TEST(SessionEnd, TermAndHupEachBecomeOneEndRequestOnTheLoop)
{
    std::signal(SIGTERM, &previousHandler);
    std::signal(SIGHUP, &previousHandler);
    {
        SessionEnd end;
        ASSERT_TRUE(end.signalsInstalled());
        QSignalSpy spy(&end, &SessionEnd::endRequested);

        std::raise(SIGTERM);
        EXPECT_EQ(spy.count(), 0) << "the handler itself only writes to the pipe";
        EXPECT_TRUE(QTest::qWaitFor([&] { return spy.count() == 1; }, 3000));
        std::raise(SIGHUP);
        EXPECT_TRUE(QTest::qWaitFor([&] { return spy.count() == 2; }, 3000));

        // A burst before the loop comes round is one request, not a close per signal.
        std::raise(SIGTERM);
        std::raise(SIGTERM);
        std::raise(SIGHUP);
        EXPECT_TRUE(QTest::qWaitFor([&] { return spy.count() >= 3; }, 3000));
        QTest::qWait(100);
        EXPECT_EQ(spy.count(), 3);
        EXPECT_EQ(g_previousHandlerRan, 0);

        // A second instance must not steal the signals from the first.
        SessionEnd second;
        EXPECT_FALSE(second.signalsInstalled());
    }
    EXPECT_EQ(currentHandler(SIGTERM), &previousHandler) << "the previous handler comes back";
    EXPECT_EQ(currentHandler(SIGHUP), &previousHandler);
    std::raise(SIGTERM);
    EXPECT_EQ(g_previousHandlerRan, 1);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);

    // With the first gone, a new instance takes the signals again.
    SessionEnd again;
    EXPECT_TRUE(again.signalsInstalled());
}

} // namespace
} // namespace vantry
