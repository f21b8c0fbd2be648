#include "query/MasterPaging.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

using namespace vantry::query;

namespace {

using Bytes8 = std::vector<std::uint8_t>;

Endpoint server(std::uint32_t n)
{
    return {(10u << 24) + n, 27015};
}

// A reply carrying servers first .. first + count - 1, the end mark appended when asked.
Bytes8 page(std::uint32_t first, std::uint32_t count, bool end = false)
{
    Bytes8 out = {0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0A};
    const auto put = [&](const Endpoint& a) {
        out.insert(out.end(),
                   {static_cast<std::uint8_t>(a.address >> 24), static_cast<std::uint8_t>(a.address >> 16),
                    static_cast<std::uint8_t>(a.address >> 8), static_cast<std::uint8_t>(a.address),
                    static_cast<std::uint8_t>(a.port >> 8), static_cast<std::uint8_t>(a.port)});
    };
    for (std::uint32_t i = 0; i < count; ++i)
        put(server(first + i));
    if (end)
        put({});
    return out;
}

// The seed text of a request.
std::string seedOf(const Bytes8& request)
{
    return std::string(request.begin() + 2, std::find(request.begin() + 2, request.end(), 0));
}

struct Listing
{
    MasterPaging paging;
    std::int64_t now = 1000;
    std::vector<std::int64_t> sentAt;
    std::vector<std::string> seeds;

    explicit Listing(MasterPacing pacing) : paging(0xFF, "\\appid\\10", pacing) {}

    // Steps until a request leaves or the listing ends; false when it ended.
    bool nextRequest()
    {
        for (int guard = 0; guard < 1000; ++guard) {
            const MasterPaging::Step step = paging.step(now);
            if (step.done)
                return false;
            if (!step.send.empty()) {
                sentAt.push_back(now);
                seeds.push_back(seedOf(step.send));
                return true;
            }
            now = step.wakeMs;
        }
        ADD_FAILURE() << "no request and no end";
        return false;
    }

    bool take(const Bytes8& reply) { return paging.received(Bytes(reply.data(), reply.size())); }
};

// A fixed pace: the cases below check what every listing does, at exact times.
MasterPacing fast()
{
    MasterPacing p;
    p.adaptive = false;
    p.paceMs = 0;
    p.replyTimeoutMs = 100;
    p.retries = 2;
    return p;
}

} // namespace

TEST(MasterPaging, PagesAreAskedForWithTheLastAddressAndPacedFromTheLastRequest)
{
    MasterPacing pacing = fast();
    pacing.paceMs = 3000;
    Listing run(pacing);
    ASSERT_TRUE(run.nextRequest());
    run.now += 40;
    EXPECT_TRUE(run.take(page(1, 3)));
    ASSERT_TRUE(run.nextRequest());
    run.now += 40;
    EXPECT_TRUE(run.take(page(4, 3, true)));
    EXPECT_FALSE(run.nextRequest());

    EXPECT_EQ(run.seeds, (std::vector<std::string>{"0.0.0.0:0", "10.0.0.3:27015"}));
    EXPECT_EQ(run.sentAt[1] - run.sentAt[0], 3000) << "a reply does not let the next request out early";
    EXPECT_EQ(run.paging.outcome(), MasterOutcome::EndOfList);
    EXPECT_EQ(run.paging.servers().size(), 6u);
}

TEST(MasterPaging, AMissingPageIsAskedAgainAfterAGrowingWaitThenSilenceIsReported)
{
    Listing run(fast());
    while (run.nextRequest()) {
    }
    EXPECT_EQ(run.paging.outcome(), MasterOutcome::Silent);
    ASSERT_EQ(run.sentAt.size(), 3u) << "the request and two retries";
    EXPECT_EQ(run.sentAt[1] - run.sentAt[0], 100);
    EXPECT_EQ(run.sentAt[2] - run.sentAt[1], 200);
    EXPECT_EQ(run.now - run.sentAt[2], 400);
    EXPECT_EQ(run.seeds, (std::vector<std::string>(3, "0.0.0.0:0")));
    EXPECT_TRUE(run.paging.servers().empty());

    // After some pages, the same silence keeps what came and says the list may be whole.
    Listing partial(fast());
    ASSERT_TRUE(partial.nextRequest());
    partial.take(page(1, 5));
    while (partial.nextRequest()) {
    }
    EXPECT_EQ(partial.paging.outcome(), MasterOutcome::StoppedAnswering);
    EXPECT_EQ(partial.paging.servers().size(), 5u);
    EXPECT_EQ(partial.seeds.back(), "10.0.0.5:27015");
}

TEST(MasterPaging, RetriesWaitForThePaceToo)
{
    MasterPacing pacing = fast();
    pacing.paceMs = 1000;
    Listing run(pacing);
    ASSERT_TRUE(run.nextRequest());
    ASSERT_TRUE(run.nextRequest());
    EXPECT_EQ(run.sentAt[1] - run.sentAt[0], 1000) << "a rate-limited master must not be asked sooner";
}

TEST(MasterPaging, MalformedRepliesAreDroppedWhileThePageIsAwaited)
{
    Listing run(fast());
    ASSERT_TRUE(run.nextRequest());
    Bytes8 ragged = page(1, 2);
    ragged.push_back(7);
    EXPECT_FALSE(run.take(ragged));
    EXPECT_FALSE(run.take({0xFF, 0xFF, 0xFF, 0xFF, 'I', 0x11}));
    EXPECT_EQ(run.paging.malformedReplies(), 2u);
    EXPECT_FALSE(run.paging.done());
    EXPECT_TRUE(run.take(page(1, 2, true)));
    EXPECT_EQ(run.paging.outcome(), MasterOutcome::EndOfList);
    EXPECT_EQ(run.paging.servers().size(), 2u);
}

TEST(MasterPaging, DuplicatesAreListedOnceAndAPageThatAddsNothingEndsTheListing)
{
    Listing run(fast());
    ASSERT_TRUE(run.nextRequest());
    run.take(page(1, 4));
    ASSERT_TRUE(run.nextRequest());
    run.take(page(3, 4)); // 3 and 4 again
    EXPECT_EQ(run.paging.servers().size(), 6u);
    ASSERT_TRUE(run.nextRequest());
    // A master that starts over from its first page for a seed it does not know.
    run.take(page(1, 4));
    EXPECT_EQ(run.paging.outcome(), MasterOutcome::NoNewAddress);
    EXPECT_FALSE(run.nextRequest());
    EXPECT_EQ(run.paging.servers().size(), 6u);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(run.paging.servers()[i], server(static_cast<std::uint32_t>(i + 1)));
}

// One copy of the page before (a duplicated or stale datagram) is asked past at once, with the same
// seed; a master that answers every request so ends the listing with what came.
TEST(MasterPaging, APageRepeatedOnceIsAskedAgainAndOnlyRepeatsThatGoOnEndTheListing)
{
    Listing once(fast());
    ASSERT_TRUE(once.nextRequest());
    once.take(page(1, 3));
    ASSERT_TRUE(once.nextRequest());
    const std::int64_t askedAt = once.now;
    EXPECT_FALSE(once.take(page(1, 3)));
    EXPECT_FALSE(once.paging.done());
    ASSERT_TRUE(once.nextRequest());
    EXPECT_EQ(once.now, askedAt) << "asked again at once, not after the reply timeout";
    EXPECT_EQ(once.seeds.back(), "10.0.0.3:27015");
    EXPECT_TRUE(once.take(page(4, 2, true)));
    EXPECT_EQ(once.paging.outcome(), MasterOutcome::EndOfList);
    EXPECT_EQ(once.paging.servers().size(), 5u);

    Listing always(fast()); // two retries
    ASSERT_TRUE(always.nextRequest());
    always.take(page(1, 3));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(always.nextRequest()) << i;
        EXPECT_EQ(always.seeds.back(), "10.0.0.3:27015");
        EXPECT_FALSE(always.take(page(1, 3))) << i;
    }
    ASSERT_TRUE(always.nextRequest());
    EXPECT_TRUE(always.take(page(1, 3)));
    EXPECT_EQ(always.paging.outcome(), MasterOutcome::RepeatedPage);
    EXPECT_EQ(always.paging.servers().size(), 3u);
}

TEST(MasterPaging, ALateCopyOfARetriedPageIsNotTakenForARepeat)
{
    Listing run(fast());
    ASSERT_TRUE(run.nextRequest());
    ASSERT_TRUE(run.nextRequest()); // the first reply is late: asked again
    EXPECT_TRUE(run.take(page(1, 3)));
    // Nothing is out between the pages: a copy now is dropped.
    EXPECT_FALSE(run.take(page(1, 3)));
    ASSERT_TRUE(run.nextRequest());
    EXPECT_EQ(run.seeds.back(), "10.0.0.3:27015");
    EXPECT_FALSE(run.paging.done());
    EXPECT_TRUE(run.take(page(4, 2, true)));
    EXPECT_EQ(run.paging.outcome(), MasterOutcome::EndOfList);
    EXPECT_EQ(run.paging.servers().size(), 5u);

    // The same copy while the next page is out: the second request for the first page explains
    // one copy, not two.
    Listing twice(fast());
    ASSERT_TRUE(twice.nextRequest());
    ASSERT_TRUE(twice.nextRequest());
    twice.take(page(1, 3));
    ASSERT_TRUE(twice.nextRequest());
    EXPECT_FALSE(twice.take(page(1, 3)));
    EXPECT_FALSE(twice.paging.done());
    // A second copy is a repeat: asked again, not the end.
    EXPECT_FALSE(twice.take(page(1, 3)));
    EXPECT_FALSE(twice.paging.done());
    ASSERT_TRUE(twice.nextRequest());
    EXPECT_EQ(twice.seeds.back(), "10.0.0.3:27015");
}

TEST(MasterPaging, TheLimitCutsAPageButAListEndingAtItIsWhole)
{
    MasterPacing pacing = fast();
    pacing.limit = 5;
    Listing cut(pacing);
    ASSERT_TRUE(cut.nextRequest());
    cut.take(page(1, 3));
    ASSERT_TRUE(cut.nextRequest());
    cut.take(page(4, 3, true));
    EXPECT_EQ(cut.paging.outcome(), MasterOutcome::Limit);
    EXPECT_EQ(cut.paging.servers().size(), 5u);

    Listing whole(pacing);
    ASSERT_TRUE(whole.nextRequest());
    whole.take(page(1, 3));
    ASSERT_TRUE(whole.nextRequest());
    whole.take(page(4, 2, true));
    EXPECT_EQ(whole.paging.outcome(), MasterOutcome::EndOfList);

    Listing open(pacing);
    ASSERT_TRUE(open.nextRequest());
    open.take(page(1, 5));
    EXPECT_EQ(open.paging.outcome(), MasterOutcome::Limit) << "more may follow: not the whole list";
    EXPECT_FALSE(open.nextRequest());
}

TEST(MasterPaging, AnEmptyPageWithoutTheEndMarkEndsTheListing)
{
    Listing run(fast());
    ASSERT_TRUE(run.nextRequest());
    EXPECT_TRUE(run.take(page(0, 0)));
    EXPECT_EQ(run.paging.outcome(), MasterOutcome::NoNewAddress);

    Listing none(fast());
    ASSERT_TRUE(none.nextRequest());
    EXPECT_TRUE(none.take(page(0, 0, true)));
    EXPECT_EQ(none.paging.outcome(), MasterOutcome::EndOfList);
    EXPECT_TRUE(none.paging.servers().empty());
}

namespace {

// A master that drops every request sooner than minIntervalMs after the last one it answered,
// answering after latencyMs; pages of 231 addresses.
struct RateLimitedMaster
{
    std::int64_t minIntervalMs;
    std::int64_t latencyMs = 20;
    std::uint32_t total;
    std::int64_t lastAnsweredMs = -1'000'000;
    std::uint32_t served = 0;
    int dropped = 0;

    // The reply to a request sent at `sentMs`, if any.
    std::optional<Bytes8> answer(std::int64_t sentMs)
    {
        if (sentMs - lastAnsweredMs < minIntervalMs) {
            ++dropped;
            return std::nullopt;
        }
        lastAnsweredMs = sentMs;
        const std::uint32_t count = std::min<std::uint32_t>(231, total - served);
        Bytes8 reply = page(served + 1, count, served + count == total);
        served += count;
        return reply;
    }
};

// Runs a listing against the master until it ends; the time of the listing's end.
std::int64_t runAgainst(Listing& run, RateLimitedMaster& master)
{
    const std::int64_t start = run.now;
    while (run.nextRequest()) {
        if (auto reply = master.answer(run.now)) {
            // Nothing else happens until the reply arrives.
            const std::int64_t arrival = run.now + master.latencyMs;
            run.now = arrival;
            run.paging.received(Bytes(reply->data(), reply->size()), arrival);
        }
    }
    return run.now - start;
}

} // namespace

TEST(MasterPaging, AnAdaptiveListingAsksForTheNextPageAsSoonAsOneArrives)
{
    MasterPacing pacing;
    Listing run(pacing);
    RateLimitedMaster master{0, 20, 4096};
    const std::int64_t took = runAgainst(run, master);
    EXPECT_EQ(run.paging.outcome(), MasterOutcome::EndOfList);
    EXPECT_EQ(run.paging.servers().size(), 4096u);
    EXPECT_EQ(run.sentAt.size(), 18u) << "no request was repeated";
    EXPECT_EQ(took, 18 * 20) << "each page was asked for the moment the one before arrived";
    EXPECT_EQ(run.paging.pauseMs(), 0);
}

TEST(MasterPaging, AnAdaptiveListingBacksOffFromARateLimitAndKeepsThePause)
{
    MasterPacing pacing;
    Listing run(pacing);
    RateLimitedMaster master{2000, 20, 4096};
    const std::int64_t took = runAgainst(run, master);
    EXPECT_EQ(run.paging.outcome(), MasterOutcome::EndOfList);
    ASSERT_EQ(run.paging.servers().size(), 4096u) << "every address kept through the retries";
    for (std::uint32_t i = 0; i < 4096; ++i)
        ASSERT_EQ(run.paging.servers()[i], server(i + 1));
    EXPECT_LE(took, 60'000);
    EXPECT_EQ(run.paging.pauseMs(), 2000) << "doubled from 1 s until the master answered";
    // Only the page where the limit was met costs dropped requests: the learned pause holds.
    EXPECT_EQ(master.dropped, 2);
    // Counted from the answer's arrival, as the master counts from its answer.
    for (std::size_t i = 4; i < run.sentAt.size(); ++i)
        EXPECT_EQ(run.sentAt[i] - run.sentAt[i - 1], 2000 + master.latencyMs) << "request " << i;
}

TEST(MasterPaging, AnAdaptiveListingGivesUpOnAMasterThatStopsAndKeepsWhatCame)
{
    MasterPacing pacing;
    Listing run(pacing);
    ASSERT_TRUE(run.nextRequest());
    run.now += 30;
    const Bytes8 first = page(1, 231);
    ASSERT_TRUE(run.paging.received(Bytes(first.data(), first.size()), run.now));
    const std::int64_t answered = run.now;
    while (run.nextRequest()) {
    }
    EXPECT_EQ(run.paging.outcome(), MasterOutcome::StoppedAnswering);
    EXPECT_EQ(run.paging.servers().size(), 231u);
    // The first ask, two retries and two more for a master that had answered, each later.
    ASSERT_EQ(run.sentAt.size(), 6u);
    EXPECT_EQ(run.paging.pauseMs(), 8000) << "the pause doubled with every missing answer";
    EXPECT_EQ(run.sentAt.back() - answered, 8000);
    EXPECT_LT(run.now - answered, 30'000) << "a dead master is not waited on for minutes";

    // Never answered: silence is told as before, after the growing waits.
    Listing silent(pacing);
    while (silent.nextRequest()) {
    }
    EXPECT_EQ(silent.paging.outcome(), MasterOutcome::Silent);
    EXPECT_EQ(silent.sentAt.size(), 3u);
}

TEST(MasterPaging, ALearnedPauseHoldsForTheNextListingOfTheSameMaster)
{
    MasterPacing pacing;
    pacing.learnedPauseMs = 2000;
    Listing run(pacing);
    RateLimitedMaster master{2000, 20, 700};
    runAgainst(run, master);
    EXPECT_EQ(run.paging.outcome(), MasterOutcome::EndOfList);
    EXPECT_EQ(master.dropped, 0) << "the pause learned before was forgotten";
}

TEST(MasterPaging, ValvesHostsAreTheRateLimitedOnes)
{
    EXPECT_TRUE(rateLimitedMaster("hl2master.steampowered.com"));
    EXPECT_TRUE(rateLimitedMaster("HL1MASTER.STEAMPOWERED.COM."));
    EXPECT_TRUE(rateLimitedMaster("steampowered.com"));
    EXPECT_TRUE(rateLimitedMaster("a.valvesoftware.com"));
    EXPECT_FALSE(rateLimitedMaster("notsteampowered.com"));
    EXPECT_FALSE(rateLimitedMaster("steampowered.com.example.org"));
    EXPECT_FALSE(rateLimitedMaster("127.0.0.1"));
    EXPECT_FALSE(rateLimitedMaster(""));
}
