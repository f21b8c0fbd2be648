#include "net/UdpEndpoint.h"

#include "HandClock.h"
#include "NetTestSupport.h"
#include "emu/EmuServer.h"
#include "emu/Replies.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

using vantry::net::EndpointError;
using vantry::net::UdpEndpoint;
using vantry::test::bytesOf;
using vantry::test::RawSocket;

namespace {

constexpr std::uint16_t GamePort = 27015;

const std::vector<std::uint8_t> InfoRequest =
    bytesOf(std::string_view("\xFF\xFF\xFF\xFFTSource Engine Query\0", 25));

struct Arrival
{
    int count = 0;
    QString fromIp;
    std::uint16_t port = 0;
    std::vector<std::uint8_t> data;
    std::int64_t atMs = 0;
};

// Records every data event with the datagram as read() hands it over.
class Collector
{
public:
    explicit Collector(UdpEndpoint& endpoint) : m_endpoint(endpoint)
    {
        QObject::connect(
            &endpoint, &UdpEndpoint::dataReceived, &endpoint, [this](int n, const vantry::net::Datagram& d) {
                std::vector<std::uint8_t> buffer(4096);
                buffer.resize(m_endpoint.read(buffer));
                // The event's bytes are the held datagram's.
                if (n >= 0 && !std::equal(buffer.begin(), buffer.end(), d.bytes.begin(), d.bytes.end()))
                    ADD_FAILURE() << "the event's bytes differ from read()";
                arrivals.push_back({n, QString::fromStdString(vantry::query::addressText(d.from.address)),
                                    d.from.port, std::move(buffer), d.atMs});
            });
    }
    bool waitFor(std::size_t count, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return arrivals.size() >= count; }, timeoutMs);
    }
    std::vector<Arrival> arrivals;

private:
    UdpEndpoint& m_endpoint;
};

vantry::emu::EmuServer startedServer(std::uint32_t addr, vantry::emu::Profile profile)
{
    vantry::emu::ProfileTable table;
    table.add(addr, GamePort, std::move(profile));
    return vantry::emu::EmuServer(std::move(table), {GamePort});
}

std::string errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EndpointError& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

constexpr std::uint32_t Addr2 = (127u << 24) | 2;

} // namespace

TEST(UdpEndpoint, InfoRequestRoundTripComesBackFromTheProbedAddress)
{
    vantry::emu::ProfileTable table;
    vantry::emu::Profile profile;
    profile.name = "Round trip";
    table.add(Addr2, GamePort, profile);
    vantry::emu::EmuServer server(table, {GamePort});
    server.start();

    UdpEndpoint endpoint;
    endpoint.open();
    ASSERT_TRUE(endpoint.isOpen());
    EXPECT_EQ(endpoint.localPort(), UdpEndpoint::DefaultLocalPort);
    Collector collector(endpoint);
    endpoint.send(InfoRequest, QStringLiteral("127.0.0.2"), GamePort);
    ASSERT_TRUE(collector.waitFor(1));
    const Arrival& got = collector.arrivals[0];
    EXPECT_EQ(got.fromIp, QStringLiteral("127.0.0.2"));
    EXPECT_EQ(got.port, GamePort);
    const auto expected = vantry::emu::hl1InfoReply(profile, Addr2, GamePort);
    EXPECT_EQ(got.count, int(expected.size()));
    EXPECT_EQ(got.data, expected);

    // A numeric destination is in host order and reaches the same server.
    EXPECT_EQ(endpoint.send(InfoRequest, Addr2, GamePort), Addr2);
    ASSERT_TRUE(collector.waitFor(2));
    EXPECT_EQ(collector.arrivals[1].fromIp, QStringLiteral("127.0.0.2"));
    EXPECT_EQ(collector.arrivals[1].data, expected);
}

TEST(UdpEndpoint, ArrivalsAreStampedOnTheEndpointsClock)
{
    RawSocket peer;
    vantry::test::HandClock clock(1'000'000);
    UdpEndpoint endpoint(nullptr, &clock);
    endpoint.open(0);
    EXPECT_EQ(&endpoint.clock(), &clock);
    Collector collector(endpoint);
    peer.sendTo(bytesOf("first"), "127.0.0.1", endpoint.localPort());
    ASSERT_TRUE(collector.waitFor(1));
    clock.advance(250);
    peer.sendTo(bytesOf("second"), "127.0.0.1", endpoint.localPort());
    ASSERT_TRUE(collector.waitFor(2));
    EXPECT_EQ(collector.arrivals[0].atMs, 1'000'000);
    EXPECT_EQ(collector.arrivals[1].atMs, 1'000'250);
    EXPECT_EQ(collector.arrivals[1].fromIp, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(collector.arrivals[1].port, peer.port());
}

TEST(UdpEndpoint, BurstIsDrainedWholeEvenWhenAHandlerRunsANestedLoop)
{
    UdpEndpoint endpoint;
    endpoint.open();
    RawSocket peer;
    ASSERT_TRUE(peer.ok());
    Collector collector(endpoint);
    // The first handler blocks in a nested event loop while more datagrams arrive: Qt does not
    // emit readyRead again then, so only a draining receive picks them up.
    bool nested = false;
    std::vector<std::uint8_t> heldAfterNesting(64);
    QObject::connect(&endpoint, &UdpEndpoint::dataReceived, &endpoint,
                     [&](int, const vantry::net::Datagram&) {
                         if (nested)
                             return;
                         nested = true;
                         for (int i = 0; i < 200; ++i)
                             peer.sendTo(bytesOf("late"), "127.0.0.1", endpoint.localPort());
                         // The handler's own nested loop is what is tested: it runs a while with
                         // the socket readable.
                         QTest::qWait(100);
                         // The datagram being handled is still the one read after the nested loop.
                         heldAfterNesting.resize(endpoint.read(heldAfterNesting));
                     });
    constexpr int burst = 3000;
    for (int i = 0; i < burst; ++i) {
        const std::string text = "datagram " + std::to_string(i);
        ASSERT_TRUE(peer.sendTo(bytesOf(text), "127.0.0.1", endpoint.localPort()));
    }
    ASSERT_TRUE(collector.waitFor(burst + 200));
    EXPECT_FALSE(QTest::qWaitFor([&] { return collector.arrivals.size() > std::size_t(burst + 200); }, 50));
    ASSERT_EQ(collector.arrivals.size(), std::size_t(burst + 200));
    for (int i = 0; i < burst; ++i) {
        const std::string text = "datagram " + std::to_string(i);
        EXPECT_EQ(collector.arrivals[std::size_t(i)].data, bytesOf(text)) << i;
    }
    EXPECT_EQ(heldAfterNesting, bytesOf("datagram 0"));
    EXPECT_EQ(collector.arrivals.back().data, bytesOf("late"));
    EXPECT_EQ(collector.arrivals.back().port, peer.port());
}

TEST(UdpEndpoint, RepliesArriveOnASystemPortWhenTheLocalPortIsTaken)
{
    // The holder even allows address reuse: the endpoint must still not share the port with it.
    RawSocket holder(UdpEndpoint::DefaultLocalPort, true);
    ASSERT_TRUE(holder.ok());
    auto server = startedServer(Addr2, vantry::emu::Profile{});
    server.start();

    UdpEndpoint endpoint;
    endpoint.open();
    ASSERT_TRUE(endpoint.isOpen());
    EXPECT_NE(endpoint.localPort(), UdpEndpoint::DefaultLocalPort);
    EXPECT_NE(endpoint.localPort(), 0);
    Collector collector(endpoint);
    endpoint.send(InfoRequest, QStringLiteral("127.0.0.2"), GamePort);
    ASSERT_TRUE(collector.waitFor(1));
    EXPECT_EQ(collector.arrivals[0].fromIp, QStringLiteral("127.0.0.2"));
    EXPECT_FALSE(holder.receive(50).has_value());
}

TEST(UdpEndpoint, DestinationErrorsCarryTheirTexts)
{
    UdpEndpoint endpoint;
    endpoint.open();
    EXPECT_EQ(errorOf([&] { endpoint.send(InfoRequest, QStringLiteral("0.0.0.0"), GamePort); }),
              "Null Remote Address");

    // A name that resolves to 0.0.0.0 is no better.
    endpoint.setResolver([](const QString&) { return std::optional<std::uint32_t>(0); });
    EXPECT_EQ(errorOf([&] { endpoint.send(InfoRequest, QStringLiteral("zero.test"), GamePort); }),
              "Null Remote Address");

    QSignalSpy bufferInvalid(&endpoint, &UdpEndpoint::bufferInvalid);
    EXPECT_EQ(errorOf([&] { endpoint.send({}, QStringLiteral("127.0.0.2"), GamePort); }), "Invalid buffer");
    EXPECT_EQ(bufferInvalid.count(), 1);

    // The numeric destination refuses the same things.
    EXPECT_EQ(errorOf([&] { endpoint.send(InfoRequest, std::uint32_t(0), GamePort); }),
              "Null Remote Address");
    EXPECT_EQ(errorOf([&] { endpoint.send({}, Addr2, GamePort); }), "Invalid buffer");
    EXPECT_EQ(bufferInvalid.count(), 2);
}

TEST(UdpEndpoint, UnresolvableNameIsLookedUpTwiceThenCanceled)
{
    UdpEndpoint endpoint;
    endpoint.open();
    QSignalSpy invalidHost(&endpoint, &UdpEndpoint::invalidHost);
    std::vector<QString> asked;
    endpoint.setResolver([&](const QString& host) {
        asked.push_back(host);
        return std::optional<std::uint32_t>();
    });
    EXPECT_EQ(errorOf([&] { endpoint.send(InfoRequest, QStringLiteral("no-such-host.test"), GamePort); }),
              "Host Lookup Canceled");
    EXPECT_EQ(invalidHost.count(), 1);
    EXPECT_EQ(asked, (std::vector<QString>{QStringLiteral("no-such-host.test"),
                                           QStringLiteral("no-such-host.test")}));

    // A second lookup that succeeds sends to the name's address.
    auto server = startedServer(Addr2, vantry::emu::Profile{});
    server.start();
    int calls = 0;
    endpoint.setResolver([&](const QString&) {
        return ++calls == 1 ? std::optional<std::uint32_t>() : std::optional<std::uint32_t>(Addr2);
    });
    Collector collector(endpoint);
    endpoint.send(InfoRequest, QStringLiteral("flaky.test"), GamePort);
    EXPECT_EQ(invalidHost.count(), 2);
    ASSERT_TRUE(collector.waitFor(1));
    EXPECT_EQ(collector.arrivals[0].fromIp, QStringLiteral("127.0.0.2"));

    // The default resolver goes through the system's lookup, here /etc/hosts.
    EXPECT_EQ(UdpEndpoint::lookupHost(QStringLiteral("localhost")), std::optional<std::uint32_t>(0x7F000001));
}

TEST(UdpEndpoint, LongDatagramsArriveWholeAndReadIsBoundedByTheDestination)
{
    UdpEndpoint endpoint;
    endpoint.open();
    RawSocket peer;
    // A players reply of a full server, and the largest datagram IPv4 carries.
    std::vector<std::vector<std::uint8_t>> sent;
    for (const std::size_t size : {std::size_t(3000), std::size_t(65507)}) {
        std::vector<std::uint8_t> datagram(size);
        for (std::size_t i = 0; i < datagram.size(); ++i)
            datagram[i] = std::uint8_t(i * 7 + size);
        sent.push_back(std::move(datagram));
    }

    std::vector<std::uint8_t> small(16, 0xAA);
    std::size_t smallCopied = 0;
    std::vector<int> counts;
    std::vector<std::vector<std::uint8_t>> read;
    QObject::connect(&endpoint, &UdpEndpoint::dataReceived, &endpoint,
                     [&](int n, const vantry::net::Datagram&) {
                         counts.push_back(n);
                         smallCopied = endpoint.read(std::span(small).first(10));
                         std::vector<std::uint8_t> whole(70000, 0);
                         whole.resize(endpoint.read(whole));
                         read.push_back(std::move(whole));
                     });
    for (const auto& datagram : sent)
        peer.sendTo(datagram, "127.0.0.1", endpoint.localPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return counts.size() == 2; }, 5000));
    EXPECT_EQ(counts, (std::vector<int>{3000, 65507}));
    EXPECT_EQ(read[0], sent[0]);
    EXPECT_EQ(read[1], sent[1]);
    EXPECT_EQ(smallCopied, 10u);
    EXPECT_TRUE(std::equal(small.begin(), small.begin() + 10, sent[1].begin()));
    EXPECT_EQ(small[10], 0xAA); // nothing past the destination's end

    // A shorter datagram afterwards hands over its own length only, not left-overs.
    peer.sendTo(bytesOf("short"), "127.0.0.1", endpoint.localPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return counts.size() == 3; }, 5000));
    EXPECT_EQ(counts[2], 5);
    EXPECT_EQ(read[2], bytesOf("short"));
}

TEST(UdpEndpoint, NothingIsSentOrReceivedAfterClose)
{
    RawSocket peer;
    UdpEndpoint endpoint;
    endpoint.open();
    Collector collector(endpoint);
    endpoint.send(bytesOf("before"), QStringLiteral("127.0.0.1"), peer.port());
    ASSERT_TRUE(peer.receive(2000).has_value());
    const std::uint16_t port = endpoint.localPort();

    endpoint.close();
    endpoint.close();
    EXPECT_FALSE(endpoint.isOpen());
    EXPECT_NO_THROW(endpoint.send(bytesOf("after"), QStringLiteral("127.0.0.1"), peer.port()));
    EXPECT_NO_THROW(endpoint.send({}, QStringLiteral("0.0.0.0"), peer.port()));
    EXPECT_EQ(endpoint.send(bytesOf("after"), (127u << 24) | 1, peer.port()), 0u);
    EXPECT_FALSE(peer.receive(100).has_value());
    peer.sendTo(bytesOf("to a closed endpoint"), "127.0.0.1", port);
    EXPECT_FALSE(QTest::qWaitFor([&] { return !collector.arrivals.empty(); }, 100));
    EXPECT_TRUE(collector.arrivals.empty());

    // Reopening works, and the port is free again.
    endpoint.open();
    EXPECT_EQ(endpoint.localPort(), port);
}

TEST(UdpEndpoint, HandlerThatClosesTheEndpointMidBurstStopsTheDrain)
{
    RawSocket peer;
    UdpEndpoint endpoint;
    endpoint.open();
    int seen = 0;
    QObject::connect(&endpoint, &UdpEndpoint::dataReceived, &endpoint,
                     [&](int, const vantry::net::Datagram&) {
                         if (++seen == 3)
                             endpoint.close();
                     });
    for (int i = 0; i < 20; ++i)
        peer.sendTo(bytesOf("x"), "127.0.0.1", endpoint.localPort());
    // One drain reads the whole burst at once: the close either ended it at the third or never.
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen >= 3; }, 2000));
    EXPECT_EQ(seen, 3);
}

TEST(UdpEndpoint, BurstArrivingWhileTheThreadSleepsIsKept)
{
    // A sweep sleeps between probes without reading; every reply of the sleep must wait in the
    // kernel buffer.
    UdpEndpoint endpoint;
    endpoint.open();
    RawSocket peer;
    Collector collector(endpoint);
    const std::vector<std::uint8_t> reply(160, 0x42); // about an info reply
    constexpr int burst = 4096;
    for (int i = 0; i < burst; ++i)
        ASSERT_TRUE(peer.sendTo(reply, "127.0.0.1", endpoint.localPort()));
    EXPECT_TRUE(collector.waitFor(burst, 10000));
    EXPECT_FALSE(QTest::qWaitFor([&] { return collector.arrivals.size() > std::size_t(burst); }, 20));
    EXPECT_EQ(collector.arrivals.size(), std::size_t(burst))
        << "receive buffer " << endpoint.receiveBufferSize();
}

// A closed port's "port unreachable" is told as a refusal of that destination. Left queued, it
// would keep the socket reported ready (the notifier firing for ever) and fail the next receive;
// so: told once, the peer's reply behind it still arrives, and the idle endpoint costs no CPU.
TEST(UdpEndpoint, AClosedPortIsToldAsARefusalAndNeverSpinsTheLoop)
{
    RawSocket peer;
    UdpEndpoint endpoint;
    endpoint.open(0);
    Collector collector(endpoint);
    std::vector<vantry::query::Endpoint> refused;
    QObject::connect(&endpoint, &UdpEndpoint::refused, &endpoint,
                     [&](const vantry::query::Endpoint& p) { refused.push_back(p); });

    constexpr std::uint32_t Closed = (127u << 24) | (4u << 16) | 9; // 127.4.0.9, nothing listens
    endpoint.send(InfoRequest, Closed, 27017);
    endpoint.send(InfoRequest, QStringLiteral("127.4.0.10"), 27018);
    peer.sendTo(bytesOf("behind"), "127.0.0.1", endpoint.localPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return refused.size() == 2 && !collector.arrivals.empty(); }, 2000))
        << refused.size() << " refused";
    EXPECT_EQ(refused[0], (vantry::query::Endpoint{Closed, 27017}));
    EXPECT_EQ(refused[1], (vantry::query::Endpoint{Closed + 1, 27018}));
    ASSERT_EQ(collector.arrivals.size(), 1u);
    EXPECT_EQ(collector.arrivals[0].count, 6); // no failed receive in place of the refusal

    // A send made while a refusal waits unread still leaves.
    endpoint.send(InfoRequest, Closed, 27017);
    ::usleep(20000); // no event loop: the refusal stays unread, and the next send meets it
    RawSocket listener;
    ASSERT_TRUE(listener.ok());
    endpoint.send(bytesOf("after"), QStringLiteral("127.0.0.1"), listener.port());
    const auto got = listener.receive(1000);
    ASSERT_TRUE(got.has_value()) << "the send that met the earlier refusal was lost";
    EXPECT_EQ(got->data, bytesOf("after"));

    const auto cpuMs = [] {
        timespec t{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return std::int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1'000'000;
    };
    const std::int64_t before = cpuMs();
    // An idle loop is what is measured: a socket left reported ready would keep it busy.
    QTest::qWait(300);
    EXPECT_LT(cpuMs() - before, 100) << "the event loop spun on the socket";
    EXPECT_EQ(refused.size(), 3u);
    EXPECT_EQ(collector.arrivals.size(), 1u);
}
