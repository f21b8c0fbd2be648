// The browser's queries end to end: the real endpoint, query routing, server list and scan engine,
// against emulated servers on 127.0.2.x.
#include "browser/DetailsModels.h"
#include "browser/QueryService.h"
#include "browser/ScanEngine.h"
#include "browser/ServerListModel.h"
#include "browser/StaticSettings.h"
#include "emu/EmuServer.h"
#include "emu/Replies.h"
#include "net/UdpEndpoint.h"
#include "query/Clock.h"

#include <QCoreApplication>
#include <QTest>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace vantry;
using vantry::browser::ScanEngine;
using vantry::emu::EmuServer;
using vantry::emu::Kind;
using vantry::emu::Profile;
using vantry::emu::ProfileTable;

namespace {

constexpr std::uint16_t GamePort = 27015;
constexpr std::uint16_t SecondPort = 27016;
constexpr std::uint16_t SpoofPort = 27099;

std::uint32_t local(std::uint8_t last)
{
    return (127u << 24) | (2u << 8) | last; // 127.0.2.last
}

QString host(std::uint8_t last)
{
    return QStringLiteral("127.0.2.%1").arg(last);
}

// The scan engine's steps over the real query service, as the main window takes them.
class LoopbackSink : public browser::ScanSink
{
public:
    LoopbackSink(browser::QueryService& queries, browser::ServerListModel& servers,
                 browser::PlayersModel& players)
        : m_queries(queries), m_servers(servers), m_players(players)
    {}

    void sendInfo(const QString& host, std::uint16_t port) override { m_queries.sendInfo(host, port); }
    void sendOldInfo(const QString& host, std::uint16_t port) override { m_queries.sendOldInfo(host, port); }
    void sendInfo(const query::Endpoint& to) override { m_queries.sendInfo(to); }
    void sendOldInfo(const query::Endpoint& to) override { m_queries.sendOldInfo(to); }
    // The engine's own pause between probes, run as the window's sink runs it: a loop that
    // takes the replies meanwhile.
    void pause(int ms) override { QTest::qWait(ms); }
    void yield() override { QCoreApplication::processEvents(); }
    std::optional<std::uint32_t> localAddress() override { return local; }
    void broadcastSent(std::uint32_t address, std::uint32_t mask) override
    {
        m_queries.expectBroadcastAnswers(address, mask);
        if (onBroadcast)
            onBroadcast();
    }
    void setStatus(int panel, const QString& text) override { m_panels[panel] = text; }
    void setStatusAddress(std::uint32_t address) override
    {
        m_panels[0] = ScanEngine::addressStatus(address);
    }
    QString status(int panel) const override { return m_panels[panel]; }
    void warn(const QString& text) override { warnings.push_back(text); }
    void enterScanning() override { clearLists(); }
    void leaveScanning() override {}
    void beginRefresh() override {}
    void clearLists() override
    {
        m_servers.clear();
        m_players.clear();
    }
    void endRefresh() override {}
    QVector<query::Endpoint> listedServers() const override
    {
        QVector<query::Endpoint> out;
        for (int i = 0; i < m_servers.count(); ++i)
            out.push_back(m_servers.endpoint(i));
        return out;
    }
    int listedCount() const override { return m_servers.count(); }
    bool scanButtonEnabled() const override { return true; }
    int favouritesTimerInterval() const override { return 10000; }
    void setFavouritesTimerInterval(int) override {}

    std::vector<QString> warnings;
    std::optional<std::uint32_t> local; // the machine's address as the broadcast probe reads it
    std::function<void()> onBroadcast;  // the network's answers to the probe

private:
    browser::QueryService& m_queries;
    browser::ServerListModel& m_servers;
    browser::PlayersModel& m_players;
    QString m_panels[3];
};

// Steady time that a test can move on: what expires on it does without the test sleeping through
// the time.
class MovableClock final : public query::Clock
{
public:
    std::int64_t nowMs() const override { return query::systemClock().nowMs() + ahead; }
    void sleep(int ms) override { query::systemClock().sleep(ms); }
    std::int64_t ahead = 0;
};

struct QueryLoopback : ::testing::Test
{
    std::unique_ptr<EmuServer> emulated;
    MovableClock clock; // the endpoint's: arrivals are stamped on it
    net::UdpEndpoint endpoint{nullptr, &clock};
    browser::ServerListModel servers;
    browser::PlayersModel players;
    browser::RulesModel rules;
    browser::QueryService queries{endpoint, servers, players, rules, query::systemClock()};
    Activity activity;
    browser::StaticSettings settings;
    LoopbackSink sink{queries, servers, players};
    ScanEngine engine{activity, settings, sink};

    void start(ProfileTable table, std::vector<std::uint16_t> ports = {GamePort})
    {
        emulated = std::make_unique<EmuServer>(std::move(table), std::move(ports));
        emulated->start();
        endpoint.open(0);
        settings.scanOldOn = false;
        settings.broadcastOn = false;
        settings.delay = 0;
    }

    // Datagrams the endpoint has taken in and handed on, from anyone.
    int received = 0;
    QueryLoopback()
    {
        QObject::connect(&endpoint, &net::UdpEndpoint::dataReceived,
                         [this](int, const net::Datagram&) { ++received; });
    }
    // Until the emulated servers have sent `replies` in all and the endpoint has taken in every
    // one: nothing they sent is still on its way.
    bool answered(std::uint64_t replies)
    {
        return QTest::qWaitFor(
            [&] {
                return emulated->repliesSent() >= replies &&
                       std::uint64_t(received) >= emulated->repliesSent();
            },
            2000);
    }

    bool listed(const QString& address, std::uint16_t port, int timeoutMs = 2000)
    {
        const auto server = query::Endpoint::parse(address.toStdString(), port);
        return QTest::qWaitFor([&] { return servers.find(*server) >= 0; }, timeoutMs);
    }
};

// Sends one info reply to the endpoint from `from` (host order), as a stranger on the network would:
// nobody asked it.
void sendUnasked(std::uint32_t from, std::uint16_t toPort, const Profile& profile)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(from);
    a.sin_port = htons(SpoofPort);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0) << std::strerror(errno);
    const emu::Datagram reply = emu::hl1InfoReply(profile, from, SpoofPort);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(0x7F000001);
    to.sin_port = htons(toPort);
    ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ::close(fd);
}

} // namespace

// Anyone on the network can send info replies. Only the broadcast probe's answers come from
// senders nobody asked, so only then, only from the network it reached and only so many are listed.
TEST_F(QueryLoopback, RepliesFromSendersNobodyAskedAreListedOnlyAsTheBroadcastsAnswers)
{
    start(ProfileTable{});
    const Profile spoof = emu::defaultsFor(Kind::Hl1);
    const auto from = [](std::uint8_t b, std::uint8_t c, std::uint8_t d) {
        return (127u << 24) | (std::uint32_t(b) << 16) | (std::uint32_t(c) << 8) | d;
    };
    // No sweep: a flood from 300 strangers lists nothing.
    for (int i = 0; i < 300; ++i)
        sendUnasked(from(0, static_cast<std::uint8_t>(7 + i / 250), static_cast<std::uint8_t>(i % 250 + 1)),
                    endpoint.localPort(), spoof);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received >= 300; }, 2000));
    EXPECT_EQ(servers.count(), 0);

    // A sweep whose broadcast reached 127.0.0.0/16: answers from there are listed, from another
    // network not, and never more than the cap.
    settings.broadcastOn = true;
    sink.local = (127u << 24) | (2u << 8) | 1u;
    sink.onBroadcast = [&] {
        sendUnasked(from(1, 7, 1), endpoint.localPort(), spoof);
        for (int i = 0; i < browser::QueryService::MaxBroadcastAnswers + 50; ++i)
            sendUnasked(
                from(0, static_cast<std::uint8_t>(8 + i / 250), static_cast<std::uint8_t>(i % 250 + 1)),
                endpoint.localPort(), spoof);
    };
    ASSERT_EQ(engine.sweep(0), ScanEngine::Outcome::Completed);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return received >= 300 + 1 + browser::QueryService::MaxBroadcastAnswers + 50; }, 2000));
    EXPECT_EQ(servers.count(), browser::QueryService::MaxBroadcastAnswers);
    EXPECT_LT(servers.find({from(1, 7, 1), SpoofPort}), 0) << "another network was not reached";

    // A few seconds after the probe its answers are no longer expected.
    sink.onBroadcast = nullptr;
    ASSERT_EQ(engine.sweep(0), ScanEngine::Outcome::Completed);
    EXPECT_EQ(servers.count(), 0);
    clock.ahead += browser::QueryService::BroadcastAnswersMs + 200;
    const int before = received;
    sendUnasked(from(0, 9, 1), endpoint.localPort(), spoof);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received > before; }, 2000));
    EXPECT_EQ(servers.count(), 0);
}

namespace {

// Resident memory of this process, in bytes.
std::size_t residentBytes()
{
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    unsigned long pages = 0;
    unsigned long resident = 0;
    if (f) {
        if (std::fscanf(f, "%lu %lu", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

} // namespace

// Split fragments are held until their reply is whole. A flood of large fragments, from a stranger
// or from a server whose details were asked, must not make the program keep them: 2,000 of 60 KiB
// would be 117 MiB.
TEST_F(QueryLoopback, AFloodOfLargeFragmentsIsNotHeld)
{
    start(ProfileTable{});
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(local(77));
    a.sin_port = htons(SpoofPort);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0) << std::strerror(errno);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(0x7F000001);
    to.sin_port = htons(endpoint.localPort());

    const auto flood = [&](std::uint32_t firstId) {
        std::vector<std::uint8_t> fragment(12 + 60 * 1024, 0x41);
        for (std::uint32_t i = 0; i < 1000; ++i) {
            const std::uint32_t id = firstId + i / 31;
            fragment[0] = 0xFE;
            fragment[1] = fragment[2] = fragment[3] = 0xFF;
            for (int b = 0; b < 4; ++b)
                fragment[4 + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(id >> (8 * b));
            fragment[8] = 32;                                    // total
            fragment[9] = static_cast<std::uint8_t>(1 + i % 31); // never 0: never completes
            ::sendto(fd, fragment.data(), fragment.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to);
            QCoreApplication::processEvents(); // read before the socket's buffer overflows
        }
    };
    const std::size_t before = residentBytes();
    flood(1);                                           // a stranger
    queries.sendDetailsRequest({local(77), SpoofPort}); // now asked
    flood(1'000'000);
    // Until every fragment is taken in; one the socket's buffer dropped would never come.
    [[maybe_unused]] const bool whole = QTest::qWaitFor([&] { return received >= 2000; }, 100);
    const std::size_t grown = residentBytes() > before ? residentBytes() - before : 0;
    ::close(fd);
    EXPECT_LT(grown, 20u * 1024 * 1024) << "grew by " << grown / 1024 << " KiB";
}

TEST_F(QueryLoopback, TwoServersOnOneAddressAreListedWithThePortsTheirRepliesCameFrom)
{
    // Behind one NAT address, both servers believe they run at 27015.
    ProfileTable table;
    Profile first = emu::defaultsFor(Kind::Hl1);
    first.name = "First";
    first.advertisedPort = GamePort;
    table.add(local(1), GamePort, first);
    Profile second = first;
    second.name = "Second";
    table.add(local(1), SecondPort, second);
    start(std::move(table), {GamePort, SecondPort});

    queries.sendInfoRequest(host(1), GamePort);
    queries.sendInfoRequest(host(1), SecondPort);
    ASSERT_TRUE(listed(host(1), GamePort));
    ASSERT_TRUE(listed(host(1), SecondPort));
    EXPECT_EQ(servers.count(), 2);
    EXPECT_EQ(servers.server(servers.find({local(1), 27015})).name, "First");
    EXPECT_EQ(servers.server(servers.find({local(1), 27016})).name, "Second");

    // The rows' ports are where the servers are asked again: a refresh finds both once more.
    queries.sendInfoRequest(host(1), SecondPort);
    ASSERT_TRUE(answered(3));
    EXPECT_EQ(servers.count(), 2);
    EXPECT_EQ(engine.refresh(), ScanEngine::Outcome::Completed);
    ASSERT_TRUE(listed(host(1), GamePort));
    ASSERT_TRUE(listed(host(1), SecondPort));
    ASSERT_TRUE(answered(5));
    EXPECT_EQ(servers.count(), 2);
}

TEST_F(QueryLoopback, ServerWantingTheChallengeStaysListedWhileItsDetailsAreAsked)
{
    // A challenge reply does not say which request it answers. With the selected server's details
    // request in flight, the challenge to an info request must still bring the info reply.
    ProfileTable table;
    Profile challenged = emu::defaultsFor(Kind::Source);
    challenged.name = "Wants the challenge";
    challenged.infoChallenge = true;
    challenged.challenge = {0x5A, 0x01, 0x02, 0x03};
    challenged.playerList = {{"Ann", 5, 1.0f}, {"Bob", 12, 2.0f}};
    challenged.rules = {{"mp_timelimit", "20"}};
    table.add(local(2), GamePort, challenged);
    start(std::move(table));
    settings.favouriteList = {{host(2), QStringLiteral("27015")}};

    const auto select = [&] {
        players.clear();
        queries.sendDetailsRequest({local(2), GamePort});
        return QTest::qWaitFor([&] { return players.rowCount() == 2; }, 2000);
    };

    queries.sendInfoRequest(host(2), GamePort);
    ASSERT_TRUE(listed(host(2), GamePort));

    // Selected, then RF within the details request's lifetime.
    ASSERT_TRUE(select());
    EXPECT_EQ(engine.refresh(), ScanEngine::Outcome::Completed);
    EXPECT_TRUE(listed(host(2), GamePort)) << "refresh";

    // Selected, then a favourites pass.
    ASSERT_TRUE(select());
    servers.clear();
    EXPECT_EQ(engine.favouritesPass(), ScanEngine::Outcome::Completed);
    EXPECT_TRUE(listed(host(2), GamePort)) << "favourites pass";

    // Selected, then an auto-connect poll (the info request and its old form).
    ASSERT_TRUE(select());
    servers.clear();
    queries.sendInfoRequest(host(2), GamePort);
    EXPECT_TRUE(listed(host(2), GamePort)) << "auto-connect poll";

    // The details still come: the challenge answered both requests.
    EXPECT_EQ(players.rowCount(), 2);
    EXPECT_EQ(servers.count(), 1);
}

TEST_F(QueryLoopback, PlayersOfAFullServerInOneLongDatagramAreAllListed)
{
    // Servers with many players answer in one datagram past 1400 bytes: none of it may be cut.
    ProfileTable table;
    Profile crowded = emu::defaultsFor(Kind::Source);
    crowded.widePlayers = true;
    for (int i = 0; i < 200; ++i)
        crowded.playerList.push_back({"player_number_" + std::to_string(i) + "_of_a_full_server", i, 1.0f});
    table.add(local(3), GamePort, crowded);
    start(std::move(table));

    queries.sendDetailsRequest({local(3), GamePort});
    ASSERT_TRUE(QTest::qWaitFor([&] { return players.rowCount() == 200; }, 3000)) << players.rowCount();
    EXPECT_EQ(players.data(players.index(0, 0), Qt::DisplayRole).toString(),
              QStringLiteral("player_number_199_of_a_full_server"));
}

// Closed ports among servers, as a sweep of a public list meets them: each refusal ends its
// request at once, and neither the refusals nor the sends they fail once lose a server.
TEST_F(QueryLoopback, ClosedPortsEndTheirRequestsAtOnceAndNoServerIsLost)
{
    constexpr int Servers = 60;
    constexpr int Closed = 240;
    constexpr std::uint16_t ClosedPort = 27017; // nothing listens there
    ProfileTable table;
    for (int i = 0; i < Servers; ++i)
        table.add((127u << 24) | (2u << 16) | std::uint32_t(i), GamePort, emu::defaultsFor(Kind::Hl1));
    start(std::move(table));
    // Two requests to each closed port: the second may meet the first's refusal.
    queries.setScanOld([] { return true; });

    std::vector<query::Endpoint> refused;
    QObject::connect(&queries, &browser::QueryService::serverRefused,
                     [&](const query::Endpoint& server) { refused.push_back(server); });
    int failedReceives = 0;
    QObject::connect(&endpoint, &net::UdpEndpoint::dataReceived,
                     [&](int n, const net::Datagram&) { failedReceives += n < 0 ? 1 : 0; });

    // Interleaved, without yielding: the refusals queue up while later requests leave.
    std::vector<query::Endpoint> closed;
    for (int i = 0, s = 0, c = 0; s < Servers || c < Closed;) {
        if (s < Servers && (i++ % 5 == 0 || c == Closed)) {
            queries.sendInfoRequest({(127u << 24) | (2u << 16) | std::uint32_t(s++), GamePort});
        } else {
            closed.push_back({(127u << 24) | (3u << 16) | std::uint32_t(c++), ClosedPort});
            queries.sendInfoRequest(closed.back());
        }
    }
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return servers.count() == Servers && refused.size() == closed.size(); }, 3000))
        << servers.count() << " listed, " << refused.size() << " refused";
    // Each told once, though each was asked twice.
    std::sort(refused.begin(), refused.end());
    EXPECT_EQ(refused, closed);
    EXPECT_EQ(failedReceives, 0);
    // The answered requests stay until they expire; the refused ones are gone.
    EXPECT_EQ(queries.outstanding().liveEntries(endpoint.clock().nowMs()), std::size_t(Servers));

    // A refusal for a server nobody asked (any longer) is not told.
    queries.sendOldInfo(closed.front());
    EXPECT_FALSE(QTest::qWaitFor([&] { return refused.size() > closed.size(); }, 100));
    EXPECT_EQ(refused.size(), closed.size());
}
