// The query session finding its link's pace, on a clock the test keeps and a link emulated as a
// home router shapes it: a rate each way, a drop-tail queue, and the servers 60 ms away.
#include "Datagrams.h"
#include "emu/LinkModel.h"
#include "query/QuerySession.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <vector>

using namespace vantry::query;
using vantry::emu::LinkQueue;

namespace {

constexpr std::uint32_t Servers = 4096;

// Requests cross the uplink, wait out the latency and come back through the downlink.
class EmulatedLink : public DatagramOut
{
public:
    EmulatedLink(int latencyMs, int downKbps, int upKbps, int queueMs)
        : m_latencyMs(latencyMs), m_up(upKbps, queueMs), m_down(downKbps, queueMs)
    {}

    std::int64_t nowMs = 0;
    std::size_t sent = 0;

    void sendAll(Bytes data, std::span<const Endpoint> peers) override
    {
        for (const Endpoint& to : peers) {
            ++sent;
            if (const auto up = m_up.pass(nowMs * 1000, data.size()))
                m_arriving.insert({*up + m_latencyMs * 1000, to});
        }
    }
    // Hands the session every reply that reaches the player by `nowMs`.
    void deliver(QuerySession& session)
    {
        static const vantry::test::Datagram reply = vantry::test::hl1Reply();
        while (!m_arriving.empty() && m_arriving.begin()->first <= nowMs * 1000) {
            const auto [atRouterUs, from] = *m_arriving.begin();
            m_arriving.erase(m_arriving.begin());
            if (const auto out = m_down.pass(atRouterUs, reply.size()))
                m_delivered.insert({*out, from});
        }
        while (!m_delivered.empty() && m_delivered.begin()->first <= nowMs * 1000) {
            session.receive(reply, m_delivered.begin()->second, m_delivered.begin()->first / 1000);
            m_delivered.erase(m_delivered.begin());
        }
    }
    std::uint64_t dropped() const { return m_up.dropped() + m_down.dropped(); }

private:
    int m_latencyMs;
    LinkQueue m_up;
    LinkQueue m_down;
    std::multimap<std::int64_t, Endpoint> m_arriving;  // at the router, towards the player
    std::multimap<std::int64_t, Endpoint> m_delivered; // at the player
};

struct Outcome
{
    std::size_t found = 0;
    std::int64_t endMs = 0;
    int medianPing = 0;
    int p95Ping = 0;
    int worstPing = 0;
    std::size_t sent = 0;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o)
{
    return out << o.found << " found in " << o.endMs << " ms with " << o.sent << " requests; pings median "
               << o.medianPing << ", 95th " << o.p95Ping << ", most " << o.worstPing;
}

// The window keeps its own list: it hears of each row once and of a lower ping later.
class WindowList : public SessionEvents
{
public:
    std::map<std::uint64_t, int> pings;
    void onListed(const ServerRow& row) override { pings[row.from.key()] = row.pingMs.value_or(-1); }
    void onPing(const Endpoint& from, int pingMs) override
    {
        int& kept = pings.at(from.key());
        kept = std::min(kept, pingMs);
    }
};

Outcome run(int latencyMs, int downKbps, int upKbps, int queueMs, int ceiling = 0,
            WindowList* window = nullptr)
{
    SessionConfig c;
    c.findPace = true;
    c.ratePerSecond = ceiling;
    c.keepRows = window == nullptr;
    EmulatedLink link(latencyMs, downKbps, upKbps, queueMs);
    QuerySession session(c, link);
    session.setEvents(window);
    for (std::uint32_t i = 0; i < Servers; ++i)
        session.addTarget({(127u << 24) | (50u << 16) | i, 27015});
    for (; link.nowMs < 60'000 && !(session.allTargetsDone() || session.idle(link.nowMs)); ++link.nowMs) {
        session.pump(link.nowMs);
        link.deliver(session);
    }
    Outcome o;
    o.endMs = link.nowMs;
    o.sent = link.sent;
    std::vector<int> pings;
    for (const QueryResult& r : session.takeResults(true))
        if (!r.refused && r.row.pingMs)
            pings.push_back(*r.row.pingMs);
    if (window)
        for (const auto& [server, ping] : window->pings)
            pings.push_back(ping);
    o.found = pings.size();
    std::sort(pings.begin(), pings.end());
    if (!pings.empty()) {
        o.medianPing = pings[pings.size() / 2];
        o.p95Ping = pings[pings.size() * 95 / 100];
        o.worstPing = pings.back();
    }
    return o;
}

// A slow uplink (1,000 kbit/s carries about 2,360 requests a second) and a 100 ms queue: asked
// at a fixed 100,000 a second, most requests would be dropped and the rest would wait the whole
// queue. The pace found keeps every server, its pings true, within three times the link's floor
// (4,096 requests of 53 bytes at 1,000 kbit/s, 1.74 s, and a round trip).
TEST(LinkPace, ASlowLinkIsAskedAtItsOwnPaceEveryServerFoundWithItsTruePing)
{
    const Outcome o = run(60, 8'000, 1'000, 100);
    EXPECT_EQ(o.found, Servers) << o;
    EXPECT_LE(o.p95Ping, 60 + 3) << o;
    EXPECT_LT(o.endMs, 3 * 1'800) << o;
    // Not flooded: few requests beyond one each and the asks again for the pings.
    EXPECT_LT(o.sent, 3u * Servers) << o;
}

// A home link: 5,000 kbit/s up carries about 11,800 requests a second, 20,000 down as many
// replies; 50 ms queues. Past its pace the requests queue and the pings count it.
TEST(LinkPace, AHomeLinkIsFilledWithoutAQueueInThePings)
{
    const Outcome o = run(40, 20'000, 5'000, 50);
    EXPECT_EQ(o.found, Servers) << o;
    EXPECT_LE(o.p95Ping, 40 + 3) << o;
    EXPECT_GE(o.medianPing, 40) << o;
    // The floor: 0.35 s to carry the requests, and a round trip.
    EXPECT_LT(o.endMs, 1'500) << o;
}

// The window's list is told of the lower ping of a server asked again: its ping column ends as
// true as the command line's.
TEST(LinkPace, TheWindowsListTakesThePingsAskedAgain)
{
    WindowList window;
    const Outcome o = run(40, 20'000, 5'000, 50, 0, &window);
    EXPECT_EQ(o.found, Servers) << o;
    EXPECT_LE(o.p95Ping, 40 + 3) << o;
    EXPECT_GT(o.sent, Servers) << "some were asked again: " << o;
}

TEST(LinkPace, AFastLinkIsNotHeldBackAndAGivenRateIsAStrictCeiling)
{
    const Outcome fast = run(60, 300'000, 100'000, 20);
    EXPECT_EQ(fast.found, Servers) << fast;
    EXPECT_LE(fast.p95Ping, 60 + 3) << fast;
    EXPECT_LT(fast.endMs, 1'000) << fast;

    // 500 a second: 4,096 servers take eight seconds, however fast the link.
    const Outcome capped = run(60, 300'000, 100'000, 20, 500);
    EXPECT_EQ(capped.found, Servers) << capped;
    EXPECT_GE(capped.endMs, 8'000) << capped;
    EXPECT_LE(capped.p95Ping, 60 + 3) << capped;
}

} // namespace
