// The query session as both front ends drive it, on a hand-kept time and a recording socket.
#include "query/QuerySession.h"

#include "Datagrams.h"

#include <gtest/gtest.h>

using namespace vantry::query;
using vantry::test::Datagram;
using vantry::test::DatagramWriter;

namespace {

constexpr Endpoint Alpha{(127u << 24) | 2, 27015};
constexpr Endpoint Bravo{(127u << 24) | 3, 27015};

struct Sent
{
    Endpoint to;
    std::vector<std::uint8_t> bytes;
    char type() const { return bytes.size() > 4 ? char(bytes[4]) : '\0'; }
};

class RecordingOut : public DatagramOut
{
public:
    std::vector<Sent> sent;
    void sendAll(Bytes data, std::span<const Endpoint> peers) override
    {
        for (const Endpoint& to : peers)
            sent.push_back({to, {data.begin(), data.end()}});
    }
    // The request types sent to `to`, in order: 'T' info, 'U' players, 'V' rules, ...
    std::string typesTo(const Endpoint& to) const
    {
        std::string out;
        for (const Sent& s : sent)
            if (s.to == to)
                out += s.type();
        return out;
    }
    std::size_t sizeOfLastTo(const Endpoint& to) const
    {
        for (auto it = sent.rbegin(); it != sent.rend(); ++it)
            if (it->to == to)
                return it->bytes.size();
        return 0;
    }
};

class RecordingEvents : public SessionEvents
{
public:
    std::vector<Endpoint> answered, listed, players, rules, refused;
    void onAnswered(const ServerRow& row) override { answered.push_back(row.from); }
    void onListed(const ServerRow& row) override { listed.push_back(row.from); }
    void onPlayers(const Endpoint& from, const std::vector<PlayerRow>&) override { players.push_back(from); }
    void onRules(const Endpoint& from, const std::vector<RuleRow>&) override { rules.push_back(from); }
    void onRefused(const Endpoint& peer) override { refused.push_back(peer); }
};

struct Session
{
    RecordingOut out;
    RecordingEvents events;
    QuerySession session;

    explicit Session(SessionConfig config) : session(config, out) { session.setEvents(&events); }
    void receive(const Datagram& d, const Endpoint& from, std::int64_t at) { session.receive(d, from, at); }
};

SessionConfig windowConfig()
{
    SessionConfig c;
    c.retries = 0;
    c.keepRows = false;
    return c;
}

Datagram challenge()
{
    return DatagramWriter().header('A').bytes({0x11, 0x22, 0x33, 0x44}).build();
}

TEST(QuerySession, ASilentTargetIsAskedAgainAtGrowingPausesThenGivenUp)
{
    SessionConfig c;
    c.retries = 2;
    c.timeoutMs = 1000;
    Session s(c);
    s.session.addTarget(Alpha);
    s.session.addTarget(Alpha); // named twice, asked once
    s.session.pump(0);
    EXPECT_EQ(s.out.typesTo(Alpha), "T");
    EXPECT_EQ(s.session.nextSendMs(0), 500);
    s.session.pump(499);
    EXPECT_EQ(s.out.typesTo(Alpha), "T");
    s.session.pump(500);
    EXPECT_EQ(s.out.typesTo(Alpha), "TT");
    EXPECT_EQ(s.session.nextSendMs(500), 1500); // twice the pause before
    s.session.pump(1500);
    EXPECT_EQ(s.out.typesTo(Alpha), "TTT");
    EXPECT_EQ(s.session.nextSendMs(1500), std::nullopt);
    EXPECT_FALSE(s.session.idle(2499));
    EXPECT_TRUE(s.session.idle(2500));
    const auto results = s.session.takeResults(true);
    EXPECT_TRUE(results.empty());
}

// At ten retries a doubling pause would wait 0.1 s * 1023 for a host that answers the last ask.
TEST(QuerySession, ThePauseBetweenRetriesStopsGrowingAtTwiceTheTimeout)
{
    SessionConfig c;
    c.retries = 10;
    c.timeoutMs = 200;
    Session s(c);
    s.session.addTarget(Alpha);
    std::vector<std::int64_t> asks;
    for (std::int64_t now = 0; s.out.sent.size() < 11 && now < 100'000;) {
        s.session.pump(now);
        if (asks.size() < s.out.sent.size())
            asks.push_back(now);
        const auto next = s.session.nextSendMs(now);
        ASSERT_TRUE(next || s.out.sent.size() == 11);
        now = next.value_or(now);
    }
    ASSERT_EQ(asks.size(), 11u);
    const std::vector<std::int64_t> expected = {0, 100, 300, 700, 1100, 1500, 1900, 2300, 2700, 3100, 3500};
    EXPECT_EQ(asks, expected);
    EXPECT_EQ(s.session.nextSendMs(3500), std::nullopt);
}

// A public list the user stopped, or one a new sweep replaced: its silent servers are not asked
// again, and the next list is paced by its own rate.
TEST(QuerySession, ClearedTargetsAreNotAskedAgainAndANewPaceHoldsForTheNext)
{
    SessionConfig c;
    c.retries = 2;
    Session listed(c);
    listed.session.addTarget(Alpha);
    listed.session.addTarget(Bravo);
    listed.session.pump(0);
    EXPECT_EQ(listed.out.sent.size(), 2u);
    listed.session.clearTargets();
    EXPECT_EQ(listed.session.nextSendMs(0), std::nullopt);
    listed.session.pump(10'000);
    EXPECT_EQ(listed.out.sent.size(), 2u);
    EXPECT_TRUE(listed.session.idle(10'000));

    // 5,000 a second: five a millisecond.
    listed.session.setPace(5000, true);
    for (std::uint32_t i = 0; i < 300; ++i)
        listed.session.addTarget({(127u << 24) | (1u << 16) | i, 27015});
    listed.session.pump(20'000);
    // Each asked with the info and the old info request.
    EXPECT_EQ(listed.out.sent.size(), 2u + 2 * 5);
    for (std::int64_t now = 20'001; now <= 20'050; ++now)
        listed.session.pump(now);
    EXPECT_EQ(listed.out.sent.size(), 2u + 2 * 255);
    EXPECT_EQ(listed.session.askedCount(), 255u);
}

TEST(QuerySession, ARateSpreadsTheFirstAsksAndAPauseSendsOneAtATime)
{
    SessionConfig paced;
    // Four a millisecond, and no more at once: requests that leave together queue in the
    // player's router, and the last ones' pings would count it.
    paced.ratePerSecond = 4000;
    Session s(paced);
    for (std::uint32_t i = 0; i < 100; ++i)
        s.session.addTarget({(127u << 24) | (1u << 8) | i, 27015});
    s.session.pump(0);
    EXPECT_EQ(s.out.sent.size(), 4u);
    for (std::int64_t now = 1; now <= 5; ++now)
        s.session.pump(now);
    EXPECT_EQ(s.out.sent.size(), 24u);
    s.session.pump(50); // a quiet while earns no more than a burst
    EXPECT_EQ(s.out.sent.size(), 28u);

    SessionConfig sweep;
    sweep.delayMs = 5;
    Session r(sweep);
    r.session.addTarget(Alpha);
    r.session.addTarget(Bravo);
    r.session.pump(0);
    r.session.pump(4);
    EXPECT_EQ(r.out.sent.size(), 1u);
    EXPECT_EQ(r.session.nextSendMs(4), 5);
    r.session.pump(5);
    EXPECT_EQ(r.out.sent.size(), 2u);
}

TEST(QuerySession, AListedTargetIsFollowedByItsDetailsWithRetriesOfTheirOwn)
{
    SessionConfig c;
    c.players = true;
    c.rules = true;
    c.retries = 1;
    Session s(c);
    s.session.addTarget(Alpha);
    s.session.pump(0);
    s.receive(vantry::test::hl1Reply(), Alpha, 40);
    EXPECT_EQ(s.out.typesTo(Alpha), "TVU");
    EXPECT_FALSE(s.session.allTargetsDone());
    // Only the rules came: the retry asks the players alone.
    s.receive(vantry::test::rulesReply({{"mp_timelimit", "20"}}), Alpha, 60);
    s.session.pump(540);
    EXPECT_EQ(s.out.typesTo(Alpha), "TVUU");
    s.receive(vantry::test::playersReply({{"Gordon", 3}}), Alpha, 560);
    EXPECT_TRUE(s.session.allTargetsDone());
    const auto results = s.session.takeResults(true);
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].players && results[0].rules);
    EXPECT_EQ((*results[0].players)[0].name, "Gordon");
    EXPECT_EQ(results[0].row.pingMs, 40);
}

TEST(QuerySession, ChallengesAreAnsweredWithWhatWasAskedAndNoMore)
{
    Session s(windowConfig());
    // A players search asks the players alone: its challenge never brings the rules.
    s.session.askDetails(Alpha, QuerySession::Players, 0);
    s.receive(challenge(), Alpha, 10);
    EXPECT_EQ(s.out.typesTo(Alpha), "UU");
    EXPECT_EQ(s.out.sizeOfLastTo(Alpha), 9u);
    // The user selects it: both.
    s.session.askDetails(Alpha, QuerySession::Rules, 20);
    s.receive(challenge(), Alpha, 30);
    EXPECT_EQ(s.out.typesTo(Alpha), "UUVUV");
    // A server nobody asked gets nothing for its challenge.
    s.receive(challenge(), Bravo, 40);
    EXPECT_EQ(s.out.typesTo(Bravo), "");

    // A target that answers every challenge with another is answered twice per ask.
    SessionConfig c;
    c.players = true;
    Session t(c);
    t.session.addTarget(Bravo);
    t.session.pump(0);
    t.receive(vantry::test::hl1Reply(), Bravo, 5);
    for (int i = 0; i < 5; ++i)
        t.receive(challenge(), Bravo, 10 + i);
    EXPECT_EQ(t.out.typesTo(Bravo), "TUUU");
}

TEST(QuerySession, RepliesNobodyAskedForAreDroppedButTheBroadcastsAnswers)
{
    Session s(windowConfig());
    s.receive(vantry::test::hl1Reply(), Alpha, 0);
    s.receive(vantry::test::playersReply({{"Spoof", 1}}), Alpha, 0);
    s.receive(vantry::test::rulesReply({{"sv_spoof", "1"}}), Alpha, 0);
    EXPECT_TRUE(s.events.answered.empty());
    EXPECT_TRUE(s.events.players.empty());
    EXPECT_TRUE(s.events.rules.empty());

    // The broadcast went to 127.0.0.0/16: two answers from there within its window, no more.
    s.session.expectUnasked(127u << 24, 0xFFFF0000u, 5000, 2);
    const Endpoint elsewhere{(127u << 24) | (1u << 16) | 9, 27015};
    s.receive(vantry::test::hl1Reply(), elsewhere, 100);
    s.receive(vantry::test::hl1Reply(), Alpha, 100);
    s.receive(vantry::test::hl1Reply(), Bravo, 100);
    s.receive(vantry::test::hl1Reply(), {(127u << 24) | 4, 27015}, 100);
    EXPECT_EQ(s.events.listed, (std::vector<Endpoint>{Alpha, Bravo}));
    s.session.expectUnasked(127u << 24, 0xFFFF0000u, 5000, 10);
    s.receive(vantry::test::hl1Reply(), {(127u << 24) | 5, 27015}, 5001);
    EXPECT_EQ(s.events.listed.size(), 2u);

    // Asked details come through, to whoever reads them.
    s.session.askDetails(Alpha, QuerySession::Players | QuerySession::Rules, 6000);
    s.receive(vantry::test::playersReply({{"Real", 1}}), Alpha, 6010);
    s.receive(vantry::test::rulesReply({{"sv_real", "1"}}), Alpha, 6010);
    EXPECT_EQ(s.events.players, std::vector<Endpoint>{Alpha});
    EXPECT_EQ(s.events.rules, std::vector<Endpoint>{Alpha});
    // ...for as long as an ask lasts.
    s.receive(vantry::test::playersReply({{"Late", 1}}), Alpha,
              6010 + OutstandingRequests::DetailsLifetimeMs + 1);
    EXPECT_EQ(s.events.players.size(), 1u);
}

TEST(QuerySession, AServerIsListedOnceUntilTheListIsForgotten)
{
    Session s(windowConfig());
    s.session.askInfo(Alpha, false, 0);
    s.receive(vantry::test::hl1Reply(), Alpha, 10);
    s.session.askInfo(Alpha, false, 20); // a favourites pass asks it again
    s.receive(vantry::test::hl1Reply(), Alpha, 30);
    EXPECT_EQ(s.events.answered.size(), 2u);
    EXPECT_EQ(s.events.listed.size(), 1u);
    // An old reply lists by address alone: another port of a listed address is no new server.
    s.session.askInfo({Alpha.address, 27016}, false, 40);
    s.receive(vantry::test::oldReply("\\hostname\\Old\\description\\Counter-Strike\\players\\1\\max\\8"),
              {Alpha.address, 27016}, 50);
    EXPECT_EQ(s.events.listed.size(), 1u);

    s.session.forgetListed();
    s.session.askInfo(Alpha, true, 100);
    EXPECT_EQ(s.out.typesTo(Alpha).back(), 'i'); // the old info request with it
    s.receive(vantry::test::hl1Reply(), Alpha, 110);
    EXPECT_EQ(s.events.listed.size(), 2u);
}

TEST(QuerySession, AClosedPortEndsItsTargetAtOnceAndIsTold)
{
    SessionConfig c;
    c.retries = 3;
    Session s(c);
    s.session.addTarget(Alpha);
    s.session.addTarget(Bravo);
    s.session.pump(0);
    s.session.refusedBy(Bravo, 1);
    EXPECT_EQ(s.events.refused, std::vector<Endpoint>{Bravo});
    s.receive(vantry::test::hl1Reply(), Alpha, 2);
    EXPECT_TRUE(s.session.allTargetsDone());
    EXPECT_EQ(s.session.nextSendMs(2), std::nullopt); // nothing left to ask again
    const auto results = s.session.takeResults(true);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_FALSE(results[0].refused);
    EXPECT_EQ(results[1].row.from, Bravo);
    EXPECT_TRUE(results[1].refused);
}

} // namespace
