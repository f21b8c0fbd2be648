#include "query/MasterPaging.h"

#include <gtest/gtest.h>
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

MasterPacing fast()
{
    MasterPacing p;
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

TEST(MasterPaging, APageRepeatedInAnswerToTheNextRequestEndsTheListing)
{
    Listing run(fast());
    ASSERT_TRUE(run.nextRequest());
    run.take(page(1, 3));
    ASSERT_TRUE(run.nextRequest());
    EXPECT_TRUE(run.take(page(1, 3)));
    EXPECT_EQ(run.paging.outcome(), MasterOutcome::RepeatedPage);
    EXPECT_EQ(run.paging.servers().size(), 3u);
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
    EXPECT_TRUE(twice.take(page(1, 3)));
    EXPECT_EQ(twice.paging.outcome(), MasterOutcome::RepeatedPage);
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
