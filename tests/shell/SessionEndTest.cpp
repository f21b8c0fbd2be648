#include "shell/SessionEnd.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <gtest/gtest.h>

namespace vantry {
namespace {

volatile std::sig_atomic_t g_previousRan = 0;
extern "C" void previousHandler(int)
{
    g_previousRan = 1;
}

TEST(SessionEnd, TermAndHupBecomeEndRequestsOnTheLoopAndThePreviousHandlersComeBack)
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
        // A burst before the loop comes round is one request, not a close per signal.
        std::raise(SIGHUP);
        std::raise(SIGTERM);
        EXPECT_TRUE(QTest::qWaitFor([&] { return spy.count() == 2; }, 3000));
        EXPECT_FALSE(QTest::qWaitFor([&] { return spy.count() > 2; }, 50));
        EXPECT_EQ(spy.count(), 2);
        EXPECT_EQ(g_previousRan, 0);
        EXPECT_FALSE(SessionEnd().signalsInstalled()) << "a second instance must not steal the signals";
    }
    std::raise(SIGHUP);
    EXPECT_EQ(g_previousRan, 1) << "the previous handler is back";
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
}

} // namespace
} // namespace vantry
