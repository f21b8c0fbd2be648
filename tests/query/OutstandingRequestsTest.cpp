#include "Datagrams.h"
#include "query/Dispatcher.h"

#include <gtest/gtest.h>

using namespace vantry::query;
using namespace vantry::test;

namespace {

using Route = OutstandingRequests::ChallengeFor;

constexpr std::uint32_t Box = (127u << 24) | 5; // 127.0.0.5
const Endpoint From{*Endpoint::parse("127.0.0.5", 27015)};

Datagram challengeReply(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d)
{
    return DatagramWriter().header('A').bytes({a, b, c, d}).build();
}

class RoutedDispatch : public ::testing::Test
{
protected:
    RoutedDispatch() { m_dispatcher.setOutstanding(&m_table); }

    Outcome dispatch(const Datagram& d, std::uint64_t nowMs, const Endpoint& from = From)
    {
        return m_dispatcher.dispatch(view(d), from, nowMs);
    }

    Requests m_requests;
    OutstandingRequests m_table;
    Dispatcher m_dispatcher{m_requests};
};

} // namespace

TEST(OutstandingRequests, ChallengeGoesToWhatWasAskedAndReSendsInfoOnlyOnce)
{
    OutstandingRequests t;
    EXPECT_EQ(t.challenge(Box, 27015, 0), Route::Nobody);

    t.infoSent(Box, 27015, 100);
    EXPECT_EQ(t.challenge(Box, 27016, 110), Route::Nobody) << "another port was asked nothing";
    EXPECT_EQ(t.challenge(Box, 27015, 110), Route::Info);
    EXPECT_EQ(t.challenge(Box, 27015, 120), Route::Nobody) << "a server that keeps challenging is not fed";

    // A details request outranks the info request, as often as the server challenges it.
    t.detailsSent(Box, 27015, 130);
    EXPECT_EQ(t.challenge(Box, 27015, 140), Route::Details);
    EXPECT_EQ(t.challenge(Box, 27015, 150), Route::Details);

    // A new info request may be challenged again once its details request has expired.
    t.infoSent(Box, 27015, 200 + OutstandingRequests::DetailsLifetimeMs);
    EXPECT_EQ(t.challenge(Box, 27015, 210 + OutstandingRequests::DetailsLifetimeMs), Route::Info);
}

TEST(OutstandingRequests, ChallengeWithInfoAndDetailsInFlightGoesToBoth)
{
    // A challenge reply does not say which request it answers: answered as the details' alone,
    // the challenge to the info request of a refresh, a poll or a favourites pass is lost.
    OutstandingRequests t;
    t.detailsSent(Box, 27015, 0); // the selected server
    t.infoSent(Box, 27015, 100);  // asked again
    EXPECT_EQ(t.challenge(Box, 27015, 110), Route::InfoAndDetails);
    EXPECT_EQ(t.challenge(Box, 27015, 111), Route::Details) << "the info request is re-sent once";
    EXPECT_EQ(t.infoReply(Box, 27015, 115).pingMs, 5);

    // Selected while its info request is in flight: the same.
    t.infoSent(Box, 27016, 200);
    t.detailsSent(Box, 27016, 201);
    EXPECT_EQ(t.challenge(Box, 27016, 210), Route::InfoAndDetails);

    // An info request already answered needs nothing more.
    t.infoSent(Box, 27017, 300);
    t.infoReply(Box, 27017, 305);
    t.detailsSent(Box, 27017, 306);
    EXPECT_EQ(t.challenge(Box, 27017, 310), Route::Details);
}

TEST(OutstandingRequests, PingCountsFromTheAnsweredRequestAndOnlyTheFirstReplyCounts)
{
    OutstandingRequests t;
    EXPECT_EQ(t.infoReply(Box, 27015, 5).pingMs, std::nullopt) << "unasked: listed, without a ping";
    EXPECT_TRUE(t.infoReply(Box, 27015, 5).first);

    t.infoSent(Box, 27015, 1000);
    const auto first = t.infoReply(Box, 27015, 1042);
    EXPECT_TRUE(first.first);
    EXPECT_EQ(first.pingMs, 42);
    EXPECT_FALSE(t.infoReply(Box, 27015, 1043).first) << "an 'I' after an 'm' to one request";
    EXPECT_EQ(t.oldInfoReply(Box, 27015, 1050), 50);

    // The challenged request's round trip starts at the re-send.
    t.infoSent(Box, 27015, 2000);
    ASSERT_EQ(t.challenge(Box, 27015, 2030), Route::Info);
    EXPECT_EQ(t.infoReply(Box, 27015, 2061).pingMs, 31);

    // Past its lifetime a request is forgotten: the reply is listed, without a ping.
    t.infoSent(Box, 27015, 3000);
    const auto late = t.infoReply(Box, 27015, 3001 + OutstandingRequests::InfoLifetimeMs);
    EXPECT_TRUE(late.first);
    EXPECT_EQ(late.pingMs, std::nullopt);
}

TEST(OutstandingRequests, StaysBoundedThroughAWideSweepAndKeepsTheNewestRequests)
{
    OutstandingRequests t;
    // A sweep twice the table's size, one request a millisecond apart for every 16 probes.
    const std::uint32_t count = 2 * OutstandingRequests::Capacity;
    for (std::uint32_t i = 0; i < count; ++i)
        t.infoSent((10u << 24) + i, 27015, i / 16);
    const std::int64_t end = count / 16;
    EXPECT_LE(t.liveEntries(end), OutstandingRequests::Capacity);
    // Every request of the last stretch is still known; the oldest gave way to them.
    int known = 0;
    for (std::uint32_t i = count - 4096; i < count; ++i)
        known += t.infoReply((10u << 24) + i, 27015, end).pingMs.has_value();
    EXPECT_EQ(known, 4096);
    int early = 0;
    for (std::uint32_t i = 0; i < 4096; ++i)
        early += t.infoReply((10u << 24) + i, 27015, end).pingMs.has_value();
    EXPECT_LT(early, 4096 / 4);

    // Expired entries free their slots.
    t.infoSent(Box, 27015, end + OutstandingRequests::InfoLifetimeMs + 10);
    EXPECT_EQ(t.liveEntries(end + OutstandingRequests::InfoLifetimeMs + 10), 1u);
    // A new sweep of the same size after expiry finds room for every request.
    const std::int64_t later = end + 2 * OutstandingRequests::InfoLifetimeMs;
    for (std::uint32_t i = 0; i < OutstandingRequests::Capacity / 2; ++i)
        t.infoSent((11u << 24) + i, 27015, later);
    int all = 0;
    for (std::uint32_t i = 0; i < OutstandingRequests::Capacity / 2; ++i)
        all += t.infoReply((11u << 24) + i, 27015, later + 1).pingMs == 1;
    EXPECT_EQ(all, int(OutstandingRequests::Capacity / 2));
}

TEST(OutstandingRequests, ASmallTableGivesWayToTheNewestRequestsOnly)
{
    OutstandingRequests t(1); // rounded up
    ASSERT_EQ(t.capacity(), OutstandingRequests::MinimumCapacity);
    for (std::uint32_t i = 0; i < 1000; ++i) {
        t.infoSent(Box + i, 27015, i);
        EXPECT_EQ(t.challenge(Box + i, 27015, i), Route::Info) << i;
    }
    EXPECT_LE(t.liveEntries(1000), OutstandingRequests::MinimumCapacity);
    EXPECT_EQ(t.infoReply(Box + 999, 27015, 1000).pingMs, 1);
}

TEST_F(RoutedDispatch, InfoChallengeIsAnsweredWithInfoAndLeavesTheDetailsSlotAlone)
{
    const auto slot = m_requests.challenge();
    m_table.infoSent(Box, 27015, 0);
    const Outcome o = dispatch(challengeReply(1, 2, 3, 4), 5);
    const auto* c = std::get_if<InfoChallenge>(&o);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->to.address, Box);
    EXPECT_EQ(c->to.port, 27015);
    const auto packet = m_requests.infoWithChallenge(c->challenge);
    const std::array<std::uint8_t, 4> tail{packet[25], packet[26], packet[27], packet[28]};
    EXPECT_EQ(tail, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
    EXPECT_TRUE(std::equal(m_requests.info().begin(), m_requests.info().end(), packet.begin()));
    EXPECT_EQ(m_requests.challenge(), slot)
        << "a sweep server's challenge must not reach the details requests";

    // A second challenge to the same request, and one from a server asked nothing, are dropped.
    for (const Endpoint& from : {From, (*Endpoint::parse("127.0.0.6", 27015))}) {
        const Outcome again = dispatch(challengeReply(9, 9, 9, 9), 6, from);
        ASSERT_TRUE(std::holds_alternative<Dropped>(again)) << from.address;
        EXPECT_EQ(std::get<Dropped>(again).reason, DropReason::Unasked);
    }
    EXPECT_EQ(m_requests.challenge(), slot);
}

TEST_F(RoutedDispatch, DetailsChallengeKeepsItsAnswer)
{
    m_table.infoSent(Box, 27015, 0);
    m_table.detailsSent(Box, 27015, 1);
    const Outcome o = dispatch(challengeReply(5, 6, 7, 8), 2);
    ASSERT_TRUE(std::holds_alternative<ChallengeAnswer>(o));
    EXPECT_EQ(m_requests.challenge(), (std::array<std::uint8_t, 4>{5, 6, 7, 8}));
}

TEST_F(RoutedDispatch, ChallengeWithInfoAndDetailsInFlightReSendsBothWithIt)
{
    m_table.detailsSent(Box, 27015, 0);
    m_table.infoSent(Box, 27015, 1);
    const Outcome o = dispatch(challengeReply(5, 6, 7, 8), 2);
    const auto* answer = std::get_if<ChallengeAnswer>(&o);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->to.address, Box);
    EXPECT_EQ(answer->to.port, 27015);
    ASSERT_TRUE(answer->infoChallenge);
    EXPECT_EQ(*answer->infoChallenge, (std::array<std::uint8_t, 4>{5, 6, 7, 8}));
    EXPECT_EQ(m_requests.challenge(), (std::array<std::uint8_t, 4>{5, 6, 7, 8}));

    // The re-sent info request's reply lists the server, its round trip counted from the re-send.
    const Outcome info = dispatch(sourceReply(), 12);
    ASSERT_TRUE(std::holds_alternative<InfoReply>(info));
    EXPECT_EQ(std::get<InfoReply>(info).row.pingMs, 10);

    // The details requests' own challenges are answered as before, without the info request.
    const Outcome again = dispatch(challengeReply(5, 6, 7, 8), 13);
    ASSERT_TRUE(std::holds_alternative<ChallengeAnswer>(again));
    EXPECT_FALSE(std::get<ChallengeAnswer>(again).infoChallenge);
}

TEST_F(RoutedDispatch, OneRowPerRequestWithItsPing)
{
    m_table.infoSent(Box, 27015, 1000);
    Hl1Fields hl1;
    hl1.address = "127.0.0.5:27015";
    const Outcome m = dispatch(hl1Reply(hl1), 1012);
    ASSERT_TRUE(std::holds_alternative<InfoReply>(m));
    EXPECT_EQ(std::get<InfoReply>(m).row.pingMs, 12);

    const Outcome i = dispatch(sourceReply(), 1013);
    ASSERT_TRUE(std::holds_alternative<Dropped>(i));
    EXPECT_EQ(std::get<Dropped>(i).reason, DropReason::SecondReply);

    // An old info-string reply is its own row, with the round trip of the same request.
    const Outcome old =
        dispatch(oldReply("\\hostname\\Box\\map\\de_dust\\gamedir\\cstrike\\players\\1\\max\\8"
                          "\\protocol\\47\\password\\0\\proxy\\0\\os\\l"),
                 1020);
    ASSERT_TRUE(std::holds_alternative<InfoReply>(old));
    EXPECT_EQ(std::get<InfoReply>(old).row.pingMs, 20);

    // The next request is answered afresh.
    m_table.infoSent(Box, 27015, 2000);
    EXPECT_TRUE(std::holds_alternative<InfoReply>(dispatch(sourceReply(), 2003)));
}
