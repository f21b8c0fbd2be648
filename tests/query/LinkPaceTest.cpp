// The query session finding its link's pace, on a clock the test keeps and a link emulated as a
// home router shapes it: a rate each way, a drop-tail queue, and the servers 60 ms away.
#include "Datagrams.h"
#include "emu/LinkModel.h"
#include "query/QuerySession.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <vector>

using namespace vantry::query;
using vantry::emu::LinkQueue;

namespace {

constexpr int LatencyMs = 60;
constexpr std::uint32_t Servers = 4096;

// Requests cross the uplink, wait out the latency and come back through the downlink.
class EmulatedLink : public DatagramOut
{
public:
    EmulatedLink(int downKbps, int upKbps, int queueMs) : m_up(upKbps, queueMs), m_down(downKbps, queueMs) {}

    std::int64_t nowMs = 0;
    std::size_t sent = 0;

    void sendAll(Bytes data, std::span<const Endpoint> peers) override
    {
        for (const Endpoint& to : peers) {
            ++sent;
            if (const auto up = m_up.pass(nowMs * 1000, data.size()))
                m_arriving.insert({*up + LatencyMs * 1000, to});
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
    std::size_t sent = 0;
};

Outcome run(int downKbps, int upKbps, int queueMs, int ceiling = 0)
{
    SessionConfig c;
    c.findPace = true;
    c.ratePerSecond = ceiling;
    EmulatedLink link(downKbps, upKbps, queueMs);
    QuerySession session(c, link);
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
    o.found = pings.size();
    std::sort(pings.begin(), pings.end());
    if (!pings.empty()) {
        o.medianPing = pings[pings.size() / 2];
        o.p95Ping = pings[pings.size() * 95 / 100];
    }
    return o;
}

// A slow uplink (1,000 kbit/s carries about 2,360 requests a second) and a 100 ms queue: asked
// at a fixed 100,000 a second, most requests would be dropped and the rest would wait the whole
// queue. The pace found keeps every server and pings near the 60 ms the servers are away.
TEST(LinkPace, ASlowLinkIsAskedAtItsOwnPaceAndEveryServerFound)
{
    const Outcome o = run(8'000, 1'000, 100);
    EXPECT_EQ(o.found, Servers);
    EXPECT_LE(o.medianPing, LatencyMs + 8) << o.medianPing;
    // The link's floor: 4,096 requests of 53 bytes at 1,000 kbit/s, 1.74 s, and a round trip.
    EXPECT_LT(o.endMs, 3 * 1'800) << o.endMs;
    // Not flooded: few requests beyond one each and the asks again for the pings.
    EXPECT_LT(o.sent, 3u * Servers) << o.sent;
}

TEST(LinkPace, AFastLinkIsNotHeldBackAndAGivenRateIsAStrictCeiling)
{
    const Outcome fast = run(300'000, 100'000, 20);
    EXPECT_EQ(fast.found, Servers);
    EXPECT_LE(fast.p95Ping, LatencyMs + 3);
    EXPECT_LT(fast.endMs, 1'000) << fast.endMs;

    // 500 a second: 4,096 servers take eight seconds, however fast the link.
    const Outcome capped = run(300'000, 100'000, 20, 500);
    EXPECT_EQ(capped.found, Servers);
    EXPECT_GE(capped.endMs, 8'000);
    EXPECT_LE(capped.p95Ping, LatencyMs + 3);
}

} // namespace
