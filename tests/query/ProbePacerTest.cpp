#include "query/ProbePacer.h"

#include <gtest/gtest.h>

using vantry::query::ProbePacer;

// Sends as a driver does: whatever is allowed at each millisecond step.
static std::int64_t sendUntil(ProbePacer& pacer, std::int64_t fromMs, std::int64_t toMs, std::int64_t cap)
{
    std::int64_t sent = 0;
    for (std::int64_t t = fromMs; t <= toMs && sent < cap; ++t) {
        const std::int64_t n = std::min(pacer.allowance(t), cap - sent);
        pacer.sent(n);
        sent += n;
    }
    return sent;
}

TEST(ProbePacer, HoldsTheRateOverASecondWhateverTheBurst)
{
    for (const int burst : {1, 10, 200}) {
        ProbePacer pacer(1000, burst);
        // The burst at once, then a probe a millisecond: a 4,096-server list in about 4 s.
        const std::int64_t inOneSecond = sendUntil(pacer, 0, 999, 1'000'000);
        EXPECT_GE(inOneSecond, 999) << burst;
        EXPECT_LE(inOneSecond, 1000 + burst) << burst;
    }
}

TEST(ProbePacer, SlowRatesWaitForTheNextProbeInsteadOfSendingEarly)
{
    ProbePacer pacer(3, 1); // a slow link: three a second
    EXPECT_EQ(pacer.allowance(0), 1);
    pacer.sent(1);
    EXPECT_EQ(pacer.allowance(100), 0);
    EXPECT_EQ(pacer.nextMs(100), 334);
    EXPECT_EQ(pacer.allowance(333), 0);
    EXPECT_EQ(pacer.allowance(334), 1);
}

TEST(ProbePacer, AQuietWhileEarnsNoMoreThanTheBurst)
{
    ProbePacer pacer(1000, 50);
    pacer.sent(pacer.allowance(0));
    // An hour's credit would flood the link after a pause; and the product must not overflow.
    EXPECT_EQ(pacer.allowance(3'600'000), 50);
    EXPECT_EQ(pacer.allowance(std::int64_t(1) << 60), 50);
}

TEST(ProbePacer, AClockThatGoesBackGrantsNothingExtra)
{
    ProbePacer pacer(1000, 1);
    pacer.sent(pacer.allowance(5000));
    EXPECT_EQ(pacer.allowance(4000), 0);
    EXPECT_EQ(pacer.allowance(5000), 0);
    EXPECT_EQ(pacer.allowance(5001), 1);
}

TEST(ProbePacer, UnpacedAllowsEverythingAtOnce)
{
    for (const int rate : {0, -5}) {
        ProbePacer pacer(rate);
        EXPECT_TRUE(pacer.unpaced());
        EXPECT_GE(pacer.allowance(0), 100'000);
        pacer.sent(100'000);
        EXPECT_EQ(pacer.nextMs(7), 7);
    }
}
