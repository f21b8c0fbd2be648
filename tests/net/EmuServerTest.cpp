#include "emu/EmuServer.h"

#include "NetTestSupport.h"
#include "emu/Replies.h"
#include "net/UdpEndpoint.h"

#include <QCoreApplication>
#include <QTest>

#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>

using namespace vantry::emu;
using vantry::test::bytesOf;
using vantry::test::RawSocket;

namespace {

const Datagram InfoRequest = bytesOf(std::string_view("\xFF\xFF\xFF\xFFTSource Engine Query\0", 25));

// The kernel's UDP counters of this namespace: they tell which side dropped a datagram.
std::string udpCounters()
{
    std::ifstream snmp("/proc/net/snmp");
    std::string line;
    std::string last;
    while (std::getline(snmp, line)) {
        if (line.rfind("Udp:", 0) == 0)
            last += line + "\n";
    }
    return last;
}

std::uint32_t loopback(std::uint32_t low24)
{
    return (127u << 24) | low24;
}

} // namespace

TEST(EmuServer, RepliesComeFromTheProbedAddressOnEachPort)
{
    ProfileTable table;
    ProfileRange range;
    range.first = loopback(0x000101); // 127.0.1.1, 127.0.1.17, ...
    range.count = 8;
    range.step = 16;
    table.addRange(range);
    Profile relay;
    relay.description = "HLTV";
    table.add(loopback(0x0A0B0C), 27020, relay);
    EmuServer server(table, {27015, 27020});
    server.start();

    RawSocket client;
    ASSERT_TRUE(client.ok());
    for (const auto& [host, port] : std::vector<std::pair<std::string, std::uint16_t>>{
             {"127.0.1.1", 27015}, {"127.0.1.113", 27015}, {"127.0.1.49", 27020}, {"127.10.11.12", 27020}}) {
        ASSERT_TRUE(client.sendTo(InfoRequest, host, port));
        const auto reply = client.receive(2000);
        ASSERT_TRUE(reply) << host;
        EXPECT_EQ(reply->fromIp, host);
        EXPECT_EQ(reply->fromPort, port);
        const std::string expectedField = host + ":" + std::to_string(port);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply->data.data()) + 5), expectedField);
    }
    // Not emulated: between the range's addresses, past its end, on the wrong port.
    for (const auto& [host, port] : std::vector<std::pair<std::string, std::uint16_t>>{
             {"127.0.1.2", 27015}, {"127.0.1.129", 27015}, {"127.10.11.12", 27015}})
        ASSERT_TRUE(client.sendTo(InfoRequest, host, port));
    EXPECT_FALSE(client.receive(100).has_value());
    EXPECT_EQ(server.requestsReceived(), 7u);
    EXPECT_EQ(server.repliesSent(), 4u);
    EXPECT_EQ(server.sendFailures(), 0u);
    server.stop();
    server.stop();

    // Stopped means closed: the ports are free again.
    RawSocket again(27015);
    EXPECT_TRUE(again.ok());
}

TEST(EmuServer, ChallengeDanceOverTheWire)
{
    ProfileTable table;
    Profile p;
    p.playerList = {{"Ann", 5, 1.0f}};
    p.rules = {{"sv_gravity", "800"}};
    table.add(loopback(2), 27015, p);
    EmuServer server(table, {27015});
    server.start();
    RawSocket client;
    client.sendTo(bytesOf(std::string_view("\xFF\xFF\xFF\xFFUSource Engine Query\0", 25)), "127.0.0.2",
                  27015);
    const auto challenge = client.receive(2000);
    ASSERT_TRUE(challenge);
    ASSERT_EQ(challenge->data.size(), 9u);
    EXPECT_EQ(challenge->data[4], 'A');
    Datagram players = challenge->data;
    players[4] = 'U';
    client.sendTo(players, "127.0.0.2", 27015);
    const auto d = client.receive(2000);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->data, playersReply(p));
}

TEST(EmuServer, BindFailureIsReportedAndNothingStays)
{
    RawSocket holder(27015);
    ASSERT_TRUE(holder.ok());
    EmuServer server(demoTable(), {27020, 27015});
    EXPECT_THROW(server.start(), EmuError);
    RawSocket other(27020); // the first port was released again
    EXPECT_TRUE(other.ok());
}

// A sweep as fast as the endpoint can send: 65,281 probes, 4,096 of the addresses answering, and
// the event loop let run only every 256 probes. No reply may be lost on either side.
TEST(EmuServer, FastSweepThroughTheEndpointLosesNoReplies)
{
    ProfileTable table;
    ProfileRange range;
    range.first = loopback(0x010001); // 127.1.0.1
    range.count = 4096;
    range.step = 15; // the last answering address is probe 61,425
    table.addRange(range);
    EmuServer server(table, {27015});
    server.start();

    vantry::net::UdpEndpoint endpoint;
    endpoint.open();
    std::set<QString> answered;
    QObject::connect(&endpoint, &vantry::net::UdpEndpoint::dataReceived, &endpoint,
                     [&](int n, const vantry::net::Datagram& d) {
                         if (n > 4)
                             answered.insert(
                                 QString::fromStdString(vantry::query::addressText(d.from.address)));
                     });
    constexpr int probes = 65281;
    for (int i = 0; i < probes; ++i) {
        const std::uint32_t addr = range.first + std::uint32_t(i);
        endpoint.send(InfoRequest, QString::fromStdString(dottedAddress(addr)), 27015);
        if (i % 256 == 255)
            QCoreApplication::processEvents();
        // Let a starved emulator thread catch up (sanitizer builds, a busy machine): this test is
        // about the endpoint keeping every reply, the sweep's speed is the benchmark's business.
        if (i % 1024 == 1023)
            (void)QTest::qWaitFor([&] { return server.requestsReceived() + 2048 >= std::uint64_t(i + 1); },
                                  5000);
    }
    // The probes after the last answering address may still be on their way in.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return answered.size() >= 4096 && server.requestsReceived() >= std::uint64_t(probes); },
        20000));
    EXPECT_EQ(server.requestsReceived(), std::uint64_t(probes)) << udpCounters();
    EXPECT_EQ(server.repliesSent(), 4096u);
    EXPECT_EQ(answered.size(), 4096u) << "endpoint receive buffer " << endpoint.receiveBufferSize()
                                      << ", emulator receive buffer " << server.receiveBufferSize();
}
