// The demo's servers beside a local game server that already holds the game port on loopback.
#include "emu/EmuServer.h"
#include "emu/ProfileTable.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using namespace vantry::emu;

namespace {

constexpr std::uint16_t GamePort = 27015;

// A UDP socket bound to address:port as a game server binds it (no SO_REUSEADDR); -1 on failure.
int boundSocket(std::uint32_t address, std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(address);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

// Sends the info request from fd to address:port; true when a datagram comes back from there.
bool answers(int fd, std::uint32_t address, std::uint16_t port)
{
    static const char request[] = "\xFF\xFF\xFF\xFFTSource Engine Query";
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    if (::sendto(fd, request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
        return false;
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 2000) != 1)
        return false;
    char reply[1500];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &length);
    return n > 4 && from.sin_addr.s_addr == to.sin_addr.s_addr && from.sin_port == to.sin_port;
}

std::string place(std::uint32_t address, std::uint16_t port)
{
    in_addr a{htonl(address)};
    return std::string(::inet_ntoa(a)) + ':' + std::to_string(port);
}

} // namespace

TEST(EmuBind, DemoServersRunBesideALocalServerHoldingTheGamePort)
{
    const ProfileTable table = demoTable();
    std::vector<std::uint32_t> onGamePort;
    for (const auto& [address, port] : table.addresses(GamePort))
        if (port == GamePort)
            onGamePort.push_back(address);
    ASSERT_GE(onGamePort.size(), 2u) << "the demo lists servers on the game port";

    // A local game server on the first of them.
    const std::uint32_t local = onGamePort.front();
    const int localServer = boundSocket(local, GamePort);
    ASSERT_GE(localServer, 0);

    // One socket per port on 0.0.0.0 cannot start beside it.
    {
        EmuServer wildcard(table, table.ports());
        EXPECT_THROW(wildcard.start(), EmuError);
    }

    EmuServer servers(table, table.ports());
    servers.bindEachAddress(table.hosts());
    ASSERT_NO_THROW(servers.start());
    EXPECT_EQ(servers.takenPlaces(), std::vector<std::string>{place(local, GamePort)});

    // The other demo servers on the game port answer; the local server still gets its own requests.
    const int client = boundSocket(INADDR_LOOPBACK, 0);
    ASSERT_GE(client, 0);
    EXPECT_TRUE(answers(client, onGamePort[1], GamePort)) << place(onGamePort[1], GamePort);
    EXPECT_FALSE(answers(client, local, GamePort)) << "the demo answered for the local server";
    char request[64];
    EXPECT_GT(::recv(localServer, request, sizeof request, MSG_DONTWAIT), 0)
        << "the local server lost its request";

    servers.stop();
    ::close(client);
    ::close(localServer);
}
