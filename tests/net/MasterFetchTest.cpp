#include "net/MasterFetch.h"

#include "HandClock.h"
#include "NetTestSupport.h"
#include "emu/MasterEmu.h"
#include "query/MasterFilter.h"
#include "query/MasterPaging.h"

#include <gtest/gtest.h>

using namespace vantry;
using emu::MasterBook;
using emu::MasterEmu;
using emu::MasterFaults;

namespace {

// count addresses 127.1.0.1 on, each at port 27015 + its number modulo 3.
MasterBook bookOf(std::uint32_t count)
{
    MasterBook book;
    for (std::uint32_t i = 0; i < count; ++i)
        book.servers.push_back({(127u << 24 | 1u << 16) + 1 + i, static_cast<std::uint16_t>(27015 + i % 3)});
    return book;
}

// A fixed pace, so that the pace the cases set is the one kept.
query::MasterPacing quick()
{
    query::MasterPacing p;
    p.adaptive = false;
    p.paceMs = 0;
    p.replyTimeoutMs = 50;
    p.retries = 2;
    return p;
}

const query::MasterPaging& paging(const net::MasterListing& l)
{
    return static_cast<const query::MasterPaging&>(*l.exchange);
}

net::MasterListing listingOf(const MasterEmu& master, query::MasterPacing pacing,
                             const std::string& filter = "\\appid\\10")
{
    return {query::Endpoint{master.address(), master.port()},
            std::make_unique<query::MasterPaging>(static_cast<std::uint8_t>(query::MasterRegion::Europe),
                                                  filter, pacing),
            false, 0};
}

net::MasterListing fetchOne(const MasterEmu& master, query::MasterPacing pacing)
{
    std::vector<net::MasterListing> listings;
    listings.push_back(listingOf(master, pacing));
    net::fetchMasterLists(listings);
    return std::move(listings.front());
}

// The addresses of the book, each once, in book order.
void expectWholeBook(const net::MasterListing& l, const MasterBook& book)
{
    ASSERT_EQ(paging(l).servers().size(), book.servers.size());
    for (std::size_t i = 0; i < book.servers.size(); ++i) {
        EXPECT_EQ(paging(l).servers()[i], (query::Endpoint{book.servers[i].address, book.servers[i].port}))
            << "at " << i;
        if (::testing::Test::HasFailure())
            return;
    }
}

} // namespace

TEST(MasterFetch, PagesThroughLongListsOnOneSocketWithTheFilterAndRegion)
{
    for (const std::uint32_t count : {4096u, 100'000u}) {
        const MasterBook book = bookOf(count);
        MasterEmu master(book);
        master.start();
        const net::MasterListing l = fetchOne(master, quick());
        EXPECT_EQ(paging(l).outcome(), query::MasterOutcome::EndOfList) << count;
        expectWholeBook(l, book);
        const std::size_t pages = (count + 230) / 231;
        EXPECT_EQ(paging(l).requestsSent(), pages) << "one request a page, nothing asked twice";
        EXPECT_EQ(master.requestsReceived(), pages);
        const auto filters = master.filtersSeen();
        ASSERT_FALSE(filters.empty());
        EXPECT_EQ(filters.front(), "\\appid\\10");
        EXPECT_EQ(master.regionsSeen().front(), 0x03);
    }
}

TEST(MasterFetch, ARateLimitedMasterIsPacedAndARequestItDroppedIsAskedAgain)
{
    const MasterBook book = bookOf(2000);
    MasterFaults faults;
    faults.minIntervalMs = 40;

    MasterEmu paced(book, faults);
    paced.start();
    query::MasterPacing pacing = quick();
    pacing.paceMs = 60;
    const net::MasterListing calm = fetchOne(paced, pacing);
    EXPECT_EQ(paging(calm).outcome(), query::MasterOutcome::EndOfList);
    expectWholeBook(calm, book);
    EXPECT_EQ(paced.requestsDropped(), 0u);

    MasterEmu hurried(book, faults);
    hurried.start();
    pacing = quick();
    pacing.replyTimeoutMs = 15;
    pacing.retries = 3;
    const net::MasterListing l = fetchOne(hurried, pacing);
    EXPECT_EQ(paging(l).outcome(), query::MasterOutcome::EndOfList);
    expectWholeBook(l, book);
    EXPECT_GT(hurried.requestsDropped(), 0u) << "the test did not hit the limit";
}

TEST(MasterFetch, ALostPageAndAMalformedReplyAreAskedForAgain)
{
    const MasterBook book = bookOf(1000); // five pages
    MasterFaults faults;
    faults.lostPage = 2;
    faults.malformedPage = 3;
    MasterEmu master(book, faults);
    master.start();
    const net::MasterListing l = fetchOne(master, quick());
    EXPECT_EQ(paging(l).outcome(), query::MasterOutcome::EndOfList);
    expectWholeBook(l, book);
    EXPECT_EQ(paging(l).malformedReplies(), 1u);
    EXPECT_EQ(paging(l).requestsSent(), 5u + 2u);
}

// A master that answers one request with the page before (a duplicate or a stale datagram) still
// gives its whole list: nothing after that page is lost.
TEST(MasterFetch, APageRepeatedOnceLosesNoAddress)
{
    const MasterBook book = bookOf(1000);
    MasterFaults faults;
    faults.repeatedPage = 2;
    MasterEmu master(book, faults);
    master.start();
    const net::MasterListing l = fetchOne(master, quick());
    EXPECT_EQ(paging(l).outcome(), query::MasterOutcome::EndOfList);
    expectWholeBook(l, book);
}

TEST(MasterFetch, AListWithoutItsEndMarkEndsInSilenceAndKeepsEveryAddress)
{
    const MasterBook book = bookOf(700);
    MasterFaults faults;
    faults.noEndMarker = true;
    MasterEmu master(book, faults);
    master.start();
    const net::MasterListing l = fetchOne(master, quick());
    EXPECT_EQ(paging(l).outcome(), query::MasterOutcome::StoppedAnswering);
    expectWholeBook(l, book);
}

TEST(MasterFetch, AMasterThatNeverEndsItsListStopsAtTheLimit)
{
    MasterFaults faults;
    faults.endless = true;
    MasterEmu master(bookOf(10), faults);
    master.start();
    query::MasterPacing pacing = quick();
    pacing.limit = 5000;
    const net::MasterListing l = fetchOne(master, pacing);
    EXPECT_EQ(paging(l).outcome(), query::MasterOutcome::Limit);
    EXPECT_EQ(paging(l).servers().size(), 5000u);
    EXPECT_LE(master.requestsReceived(), 5000u / 231u + 1u);
}

TEST(MasterFetch, SilenceIsAnOutcomeWhetherTheHostRefusesOrSaysNothing)
{
    // Nothing listens: the host says so, and the listing ends at its first request.
    MasterEmu closed(bookOf(10));
    closed.start();
    const std::uint16_t port = closed.port();
    closed.stop();
    std::vector<net::MasterListing> listings;
    listings.push_back({query::Endpoint{0x7F000001, port},
                        std::make_unique<query::MasterPaging>(0xFF, "", quick()), false, 0});

    // Two listings of one socket that takes the requests and never answers: the order their
    // requests reach it in tells whether the listings waited side by side.
    test::RawSocket mute;
    ASSERT_TRUE(mute.ok());
    for (int i = 0; i < 2; ++i)
        listings.push_back({query::Endpoint{0x7F000001, mute.port()},
                            std::make_unique<query::MasterPaging>(0xFF, "", quick()), false, 0});

    net::fetchMasterLists(listings);
    for (const net::MasterListing& l : listings) {
        EXPECT_EQ(paging(l).outcome(), query::MasterOutcome::Silent);
        EXPECT_TRUE(paging(l).servers().empty());
    }
    EXPECT_EQ(paging(listings[0]).requestsSent(), 1u);
    EXPECT_EQ(paging(listings[1]).requestsSent(), 3u);
    EXPECT_EQ(paging(listings[2]).requestsSent(), 3u);
    EXPECT_TRUE(listings[0].refused);
    EXPECT_FALSE(listings[1].refused);
    EXPECT_FALSE(listings[2].refused);
    // Side by side: each round reaches the master from both listings before either asks again;
    // one after the other would give all three of one listing's requests first.
    std::vector<std::uint16_t> from;
    while (const auto r = mute.receive(0))
        from.push_back(r->fromPort);
    ASSERT_EQ(from.size(), 6u);
    EXPECT_NE(from[0], from[1]);
    for (std::size_t round = 1; round < 3; ++round) {
        EXPECT_EQ(from[2 * round], from[0]) << "round " << round;
        EXPECT_EQ(from[2 * round + 1], from[1]) << "round " << round;
    }
}

TEST(MasterFetch, AStopRequestEndsTheListingsAtOnce)
{
    MasterEmu master(bookOf(1000));
    master.start();
    query::MasterPacing pacing = quick();
    pacing.paceMs = 10'000;
    std::vector<net::MasterListing> listings;
    listings.push_back(listingOf(master, pacing));
    // The clock moves a second between waits: a stop honoured only once the pace has passed
    // would let the second page be asked for.
    test::HandClock clock;
    int asked = 0;
    net::fetchMasterLists(
        listings,
        [&] {
            clock.advance(1000);
            return ++asked > 3;
        },
        clock);
    EXPECT_EQ(asked, 4) << "the fetch went on after it was told to stop";
    EXPECT_FALSE(paging(listings[0]).done());
    EXPECT_EQ(paging(listings[0]).servers().size(), 231u);
    EXPECT_EQ(master.requestsReceived(), 1u) << "the next page was asked for";
}

// Over real sockets, a master that ignores requests sooner than 300 ms after its last answer:
// the adaptive listing backs off until it is answered, then keeps that pause, and loses nothing.
TEST(MasterFetch, AnAdaptiveListingLearnsAMastersRateLimit)
{
    const MasterBook book = bookOf(2000); // nine pages
    MasterFaults faults;
    faults.minIntervalMs = 300;
    MasterEmu limited(book, faults);
    limited.start();
    query::MasterPacing pacing;
    pacing.replyTimeoutMs = 150;
    pacing.backoffStartMs = 100;
    const net::MasterListing l = fetchOne(limited, pacing);
    EXPECT_EQ(paging(l).outcome(), query::MasterOutcome::EndOfList);
    expectWholeBook(l, book);
    EXPECT_GT(limited.requestsDropped(), 0u) << "the test did not meet the limit";
    EXPECT_GE(paging(l).pauseMs(), 300) << "the pause was not learned";
    // Once learned, the pause holds: drops come only while it is learned, not at every page.
    EXPECT_LE(limited.requestsDropped(), 5u);
}
