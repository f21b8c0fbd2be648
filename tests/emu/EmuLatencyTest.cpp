// The emulated servers' latency over real sockets on 127.0.0.0/8.
#include "emu/EmuServer.h"
#include "emu/LinkModel.h"
#include "emu/Replies.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace vantry::emu;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr std::uint16_t Port = 27015;
const Datagram InfoRequest = [] {
    const std::string text("\xFF\xFF\xFF\xFFTSource Engine Query\0", 25);
    return Datagram(text.begin(), text.end());
}();

std::uint32_t loopback(std::uint32_t low24)
{
    return (127u << 24) | low24;
}

struct Arrival
{
    Datagram data;
    std::uint32_t from = 0; // host order
    Clock::time_point at;
};

// A plain UDP client on 127.0.0.1 with a buffer deep enough for a burst of thousands of replies.
class Client
{
public:
    Client()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        growBuffer(m_fd, SO_RCVBUF, SO_RCVBUFFORCE, 16 * 1024 * 1024);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(loopback(1));
        m_ok = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0;
    }
    ~Client() { ::close(m_fd); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool ok() const { return m_ok; }

    Clock::time_point send(const Datagram& d, std::uint32_t address)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(Port);
        to.sin_addr.s_addr = htonl(address);
        const Clock::time_point at = Clock::now();
        EXPECT_EQ(::sendto(m_fd, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(d.size()));
        return at;
    }

    std::optional<Arrival> receive(milliseconds within)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(within.count())) <= 0)
            return std::nullopt;
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, m_buffer.data(), m_buffer.size(), 0,
                                     reinterpret_cast<sockaddr*>(&from), &length);
        Arrival a;
        a.at = Clock::now();
        if (n < 0)
            return std::nullopt;
        a.data.assign(m_buffer.begin(), m_buffer.begin() + n);
        a.from = ntohl(from.sin_addr.s_addr);
        return a;
    }

    // Everything that arrives until nothing has come for `quiet`.
    std::vector<Arrival> receiveAll(milliseconds quiet)
    {
        std::vector<Arrival> all;
        while (auto a = receive(quiet))
            all.push_back(std::move(*a));
        return all;
    }

private:
    int m_fd = -1;
    bool m_ok = false;
    Datagram m_buffer = Datagram(LargestDatagram);
};

ProfileTable rangeOf(std::uint32_t first, std::uint32_t count, Profile profile = {})
{
    ProfileTable table;
    table.addRange({first, count, 1, Port, std::move(profile)});
    return table;
}

int threadCount()
{
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (const dirent* e = ::readdir(d))
            n += e->d_name[0] != '.';
        ::closedir(d);
    }
    return n;
}

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

TEST(EmuLatency, EachReplyWaitsItsBaseAndAtMostTheJitterMore)
{
    constexpr std::uint32_t Servers = 64;
    const std::uint32_t first = loopback(0x000201);
    EmuServer server(rangeOf(first, Servers), {Port});
    server.setLatency(50, 30);
    server.start();
    Client client;
    ASSERT_TRUE(client.ok());

    std::map<std::uint32_t, Clock::time_point> sent;
    for (std::uint32_t i = 0; i < Servers; ++i)
        sent[first + i] = client.send(InfoRequest, first + i);
    const std::vector<Arrival> replies = client.receiveAll(milliseconds(500));
    ASSERT_EQ(replies.size(), Servers);
    std::set<std::uint32_t> from;
    double least = 1e9;
    double most = 0;
    for (const Arrival& a : replies) {
        ASSERT_TRUE(sent.count(a.from)) << a.from;
        from.insert(a.from);
        const double waited = ms(a.at - sent[a.from]);
        EXPECT_GE(waited, 50.0); // how late past 80 ms is bench_emu_latency's figure
        least = std::min(least, waited);
        most = std::max(most, waited);
    }
    EXPECT_EQ(from.size(), Servers);
    // 64 draws over 30 ms: a spread this small means the jitter was not applied.
    EXPECT_GT(most - least, 10.0);
    EXPECT_EQ(server.repliesSent(), Servers);
}

// 4,096 answers held at once leave on time from the one loop thread, with no thread per reply.
TEST(EmuLatency, ThousandsHeldAtOnceLeaveOnTimeFromOneThread)
{
    constexpr std::uint32_t Servers = 4096;
    const std::uint32_t first = loopback(0x010001);
    EmuServer server(rangeOf(first, Servers), {Port});
    server.setLatency(50, 0);
    server.start();
    Client client;
    ASSERT_TRUE(client.ok());

    const int threadsBefore = threadCount();
    std::vector<Clock::time_point> sent(Servers);
    for (std::uint32_t i = 0; i < Servers; ++i)
        sent[i] = client.send(InfoRequest, first + i);
    const Clock::time_point lastSent = Clock::now();
    while (server.requestsReceived() < Servers && Clock::now() - lastSent < milliseconds(40))
        std::this_thread::sleep_for(milliseconds(1));
    // Most replies are still held now, if the loop holds them as it should.
    EXPECT_EQ(threadCount(), threadsBefore);
    EXPECT_LT(server.repliesSent(), Servers);

    const std::vector<Arrival> replies = client.receiveAll(milliseconds(500));
    ASSERT_EQ(replies.size(), Servers);
    std::set<std::uint32_t> from;
    for (const Arrival& a : replies) {
        ASSERT_GE(a.from, first);
        ASSERT_LT(a.from, first + Servers);
        from.insert(a.from);
        const double waited = ms(a.at - sent[a.from - first]);
        EXPECT_GE(waited, 50.0);
    }
    EXPECT_EQ(from.size(), Servers);
    EXPECT_EQ(server.sendFailures(), 0u);
}

TEST(EmuLatency, OrderIsKeptWithoutJitterAndFragmentsStayTogetherWithIt)
{
    const std::uint32_t first = loopback(0x000301);
    Profile split = defaultsFor(Kind::Source);
    for (int i = 0; i < 80; ++i)
        split.rules.push_back({"rule_" + std::to_string(i), "value_of_rule_" + std::to_string(i)});
    split.newerSplit.size = 300;
    constexpr std::uint32_t Servers = 12;

    // Without jitter, replies leave in the order the requests came.
    {
        EmuServer server(rangeOf(first, Servers, split), {Port});
        server.setLatency(30, 0);
        server.start();
        Client client;
        ASSERT_TRUE(client.ok());
        for (std::uint32_t i = 0; i < Servers; ++i)
            client.send(InfoRequest, first + i);
        const std::vector<Arrival> replies = client.receiveAll(milliseconds(300));
        ASSERT_EQ(replies.size(), Servers);
        for (std::uint32_t i = 0; i < Servers; ++i)
            EXPECT_EQ(replies[i].from, first + i);
    }

    // With jitter, answers overtake one another, but each answer's fragments arrive together and
    // in their order.
    EmuServer server(rangeOf(first, Servers, split), {Port});
    server.setLatency(10, 60);
    server.start();
    Client client;
    ASSERT_TRUE(client.ok());
    std::size_t fragments = 0;
    for (std::uint32_t i = 0; i < Servers; ++i) {
        const auto c = challengeFor(split, first + i);
        client.send({0xFF, 0xFF, 0xFF, 0xFF, 'V', c[0], c[1], c[2], c[3]}, first + i);
        fragments = newerSplitReply(rulesReply(split), split.newerSplit, split.splitId).size();
    }
    ASSERT_GE(fragments, 3u);
    const std::vector<Arrival> replies = client.receiveAll(milliseconds(400));
    ASSERT_EQ(replies.size(), Servers * fragments);
    std::vector<std::uint32_t> answerOrder;
    for (std::size_t i = 0; i < replies.size(); ++i) {
        const Arrival& a = replies[i];
        ASSERT_GT(a.data.size(), NewerHeaderSize);
        EXPECT_EQ(a.data[0], 0xFE);
        const std::size_t number = a.data[9];
        ASSERT_EQ(number, i % fragments) << "fragment " << i;
        EXPECT_EQ(a.from, replies[i - number].from) << "fragment " << i;
        if (number == 0)
            answerOrder.push_back(a.from);
    }
    EXPECT_EQ(std::set<std::uint32_t>(answerOrder.begin(), answerOrder.end()).size(), Servers);
    EXPECT_FALSE(std::is_sorted(answerOrder.begin(), answerOrder.end()));
}

// Loss decides per request as before: the same requests go unanswered with latency as without.
TEST(EmuLatency, LossDropsTheSameRequestsWithLatencyAsWithout)
{
    constexpr std::uint32_t Servers = 400;
    const std::uint32_t first = loopback(0x000401);
    const auto answered = [&](int baseMs, int jitterMs, std::uint64_t& dropped) {
        EmuServer server(rangeOf(first, Servers), {Port});
        server.setRequestLoss(0.25);
        server.setLatency(baseMs, jitterMs);
        server.start();
        Client client;
        EXPECT_TRUE(client.ok());
        for (std::uint32_t i = 0; i < Servers; ++i)
            client.send(InfoRequest, first + i);
        std::set<std::uint32_t> from;
        for (const Arrival& a : client.receiveAll(milliseconds(400)))
            EXPECT_TRUE(from.insert(a.from).second) << "a second reply from " << a.from;
        dropped = server.requestsDropped();
        return from;
    };
    std::uint64_t droppedAtOnce = 0;
    std::uint64_t droppedLate = 0;
    const std::set<std::uint32_t> atOnce = answered(0, 0, droppedAtOnce);
    const std::set<std::uint32_t> late = answered(40, 40, droppedLate);
    EXPECT_EQ(late, atOnce);
    EXPECT_EQ(droppedLate, droppedAtOnce);
    EXPECT_EQ(late.size() + droppedLate, Servers);
    EXPECT_GT(late.size(), 250u);
    EXPECT_LT(late.size(), 350u);
}

// Replies held when the servers stop die with them: a restarted server never sends them.
TEST(EmuLatency, StopDiscardsHeldReplies)
{
    const std::uint32_t first = loopback(0x000501);
    EmuServer server(rangeOf(first, 20), {Port});
    server.setLatency(300, 0);
    server.start();
    Client client;
    ASSERT_TRUE(client.ok());
    for (std::uint32_t i = 0; i < 10; ++i)
        client.send(InfoRequest, first + i);
    const Clock::time_point sent = Clock::now();
    while (server.requestsReceived() < 10 && Clock::now() - sent < milliseconds(200))
        std::this_thread::sleep_for(milliseconds(1));
    ASSERT_EQ(server.requestsReceived(), 10u);
    server.stop(); // how long it takes is bench_emu_latency's figure

    server.start();
    client.send(InfoRequest, first + 15);
    const std::vector<Arrival> replies = client.receiveAll(milliseconds(600));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].from, first + 15);
    EXPECT_EQ(server.repliesSent(), 1u);
}

// One direction of a home router: datagrams leave one after another at the link's rate, each
// counting its 28 bytes of headers, and one that would wait longer than the queue is dropped.
TEST(EmuLink, AQueueHoldsWhatItsMillisecondsCarryAndDropsTheRest)
{
    // 97 bytes and 28 of headers are 1,000 bits: a millisecond each at 1,000 kbit/s.
    LinkQueue link(1000, 5);
    std::vector<std::optional<std::int64_t>> left;
    for (int i = 0; i < 8; ++i)
        left.push_back(link.pass(0, 97));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(left[i], std::int64_t(i + 1) * 1000) << i; // the sixth waited exactly 5 ms
    EXPECT_EQ(left[6], std::nullopt);
    EXPECT_EQ(left[7], std::nullopt);
    EXPECT_EQ(link.dropped(), 2u);
    // Drained meanwhile: no wait, and the datagrams left before are not replayed.
    EXPECT_EQ(link.pass(20'000, 97), 21'000);
    // A rate of 0 is an unlimited direction.
    LinkQueue open;
    EXPECT_EQ(open.pass(7, 65'000), 7);

    EXPECT_EQ(readLinkShape("20000:5000:50")->upKbps, 5000);
    EXPECT_EQ(readLinkShape("8000:1000")->queueMs, 50);
    for (const char* bad : {"", "8000", "8000:", "a:b", "1:2:3:4", "-1:5", "1:2:70000", "1:2 "})
        EXPECT_EQ(readLinkShape(bad), std::nullopt) << bad;
}

// A burst of answers through a narrow downlink: what its queue holds arrives, spaced by the rate,
// no sooner than the latency; the rest is dropped and counted.
TEST(EmuLink, ABurstOfRepliesIsSpacedByTheDownlinkAndCutToItsQueue)
{
    constexpr std::uint32_t Servers = 300;
    const std::uint32_t first = loopback(0x030001);
    EmuServer server(rangeOf(first, Servers), {Port});
    server.setLatency(10, 0);
    LinkShape shape;
    shape.downKbps = 1000; // about a millisecond a reply
    shape.upKbps = 0;
    shape.queueMs = 20;
    server.setLink(shape);
    server.start();
    Client client;
    ASSERT_TRUE(client.ok());

    const Clock::time_point start = Clock::now();
    for (std::uint32_t i = 0; i < Servers; ++i)
        client.send(InfoRequest, first + i);
    const std::vector<Arrival> replies = client.receiveAll(milliseconds(300));
    server.stop();
    ASSERT_FALSE(replies.empty());
    // A 20 ms queue of about a millisecond a reply, however quickly the burst went.
    EXPECT_GE(replies.size(), 15u);
    EXPECT_LT(replies.size(), Servers / 2);
    EXPECT_EQ(replies.size() + server.linkDropped(), Servers);
    EXPECT_GE(ms(replies.front().at - start), 10.0);
    // Spaced by the rate: the last of n leaves about n link slots after the first (unlimited, all
    // would come at once). Arrivals are stamped when this thread reads them, and a busy machine
    // may read the first late: a fifth is allowed for that.
    const std::size_t bits = (replies.front().data.size() + LinkQueue::HeaderBytes) * 8;
    const double slotMs = double(bits) / shape.downKbps;
    EXPECT_GE(ms(replies.back().at - replies.front().at), 0.8 * slotMs * double(replies.size() - 1));
}
