// The command line's socket meeting closed ports: each "port unreachable" is told as a refusal,
// and the error the kernel keeps pending for it loses neither a send nor a datagram waiting.
#include "net/BatchSocket.h"

#include "NetTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

using vantry::net::BatchSocket;
using vantry::net::Outgoing;
using vantry::query::Endpoint;
using vantry::test::bytesOf;
using vantry::test::RawSocket;

TEST(BatchSocket, ARefusalIsToldAndItsPendingErrorLosesNoSendAndNoDatagram)
{
    BatchSocket socket;
    RawSocket peer;
    ASSERT_TRUE(peer.ok());
    const Endpoint closed{(127u << 24) | (5u << 16) | 1, 27017}; // 127.5.0.1: nothing listens
    const Endpoint peerAt{(127u << 24) | 1, peer.port()};
    const std::vector<std::uint8_t> probe = bytesOf("probe");
    const std::vector<std::uint8_t> after = bytesOf("after");

    // Nothing reads the socket meanwhile: the refusal stays pending and the next send meets it.
    Outgoing first{closed, probe};
    ASSERT_EQ(socket.send(std::span(&first, 1)), 1u);
    ::usleep(20000);
    Outgoing second{peerAt, after};
    EXPECT_EQ(socket.send(std::span(&second, 1)), 1u);
    const auto got = peer.receive(1000);
    ASSERT_TRUE(got.has_value()) << "the send that met the refusal was lost";
    EXPECT_EQ(got->data, after);

    // Another refusal pending, and a datagram waiting behind it: both come out of one receive.
    ASSERT_EQ(socket.send(std::span(&first, 1)), 1u);
    ASSERT_TRUE(peer.sendTo(bytesOf("reply"), "127.0.0.1", socket.localPort()));
    ::usleep(20000);
    ASSERT_TRUE(socket.wait(500));
    const auto datagrams = socket.receive();
    ASSERT_EQ(datagrams.size(), 1u) << "the pending error hid the datagram";
    EXPECT_EQ(std::vector<std::uint8_t>(datagrams[0].data.begin(), datagrams[0].data.end()),
              bytesOf("reply"));
    const std::vector<Endpoint> refused(socket.refused().begin(), socket.refused().end());
    EXPECT_EQ(refused, (std::vector<Endpoint>{closed, closed}));

    // All taken: nothing more to wait for.
    EXPECT_FALSE(socket.wait(50));
    EXPECT_TRUE(socket.receive().empty());
    EXPECT_TRUE(socket.refused().empty());
}
