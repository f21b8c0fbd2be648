#include "query/Dispatcher.h"

#include "Datagrams.h"

#include <gtest/gtest.h>

using namespace vantry::query;
using namespace vantry::test;

namespace {

const Endpoint Server{*Endpoint::parse("10.0.0.5", 27015)};

class DispatcherTest : public ::testing::Test
{
protected:
    Outcome dispatch(const Datagram& d, const Endpoint& from = Server)
    {
        return m_dispatcher.dispatch(view(d), from);
    }

    std::optional<DropReason> dropReason(const Datagram& d)
    {
        const Outcome o = dispatch(d);
        if (const auto* dropped = std::get_if<Dropped>(&o))
            return dropped->reason;
        return std::nullopt;
    }

    Requests m_requests;
    Dispatcher m_dispatcher{m_requests};
};

} // namespace

TEST_F(DispatcherTest, EnvelopeFaultsAreDropped)
{
    EXPECT_EQ(dropReason({}), DropReason::FailedReceive);
    EXPECT_EQ(dropReason({0xFF}), DropReason::BadHeader);
    EXPECT_EQ(dropReason({0xFF, 0xFF, 0xFF}), DropReason::BadHeader);
    EXPECT_EQ(dropReason({0xFF, 0xFF, 0xFF, 0xFF}), DropReason::TooShort);
    EXPECT_EQ(dropReason({0xFF, 0xFF, 0xFE, 0xFF, 'm'}), DropReason::BadHeader);
    EXPECT_EQ(dropReason({0xFF, 0xFF, 0xFF, 0xFF, 'Z', 1, 2, 3}), DropReason::UnknownType);
    EXPECT_EQ(dropReason({0x00, 0xFF, 0xFF, 0xFF, 'Z', 1, 2, 3}), DropReason::UnknownType);
    // 'i' needs the 'r' and 'e' of "response" at bytes 14 and 21.
    Datagram notResponse = oldReply("\\hostname\\Box\\");
    notResponse[21] = 'x';
    EXPECT_EQ(dropReason(notResponse), DropReason::NotInfoString);
    notResponse = oldReply("");
    notResponse[14] = 'R';
    EXPECT_EQ(dropReason(notResponse), DropReason::NotInfoString);
    EXPECT_EQ(dropReason(DatagramWriter().header('i').build()), DropReason::NotInfoString);
    Hl1Fields otherGame;
    otherGame.description = "Day of Defeat";
    otherGame.directory = "dod";
    EXPECT_EQ(dropReason(hl1Reply(otherGame)), DropReason::OtherGame);
}

TEST_F(DispatcherTest, ChallengeOfFiveBytesUsesZerosPastTheEnd)
{
    const Outcome o = dispatch({0xFF, 0xFF, 0xFF, 0xFF, 'A'});
    const auto* answer = std::get_if<ChallengeAnswer>(&o);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->to.address, Server.address);
    EXPECT_EQ(answer->to.port, Server.port);
    EXPECT_EQ(m_requests.challenge(), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));

    dispatch({0xFF, 0xFF, 0xFF, 0xFF, 'A', 0x4B, 0xA1, 0xD5, 0x22});
    EXPECT_EQ(m_requests.challenge(), (std::array<std::uint8_t, 4>{0x4B, 0xA1, 0xD5, 0x22}));
    // Two bytes there, two zeros after them; bytes after the ninth are not part of it.
    dispatch({0xFF, 0xFF, 0xFF, 0xFF, 'A', 0x09, 0x08});
    EXPECT_EQ(m_requests.challenge(), (std::array<std::uint8_t, 4>{0x09, 0x08, 0, 0}));
    dispatch({0xFF, 0xFF, 0xFF, 0xFF, 'A', 1, 2, 3, 4, 5, 6});
    EXPECT_EQ(m_requests.challenge(), (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
}

TEST_F(DispatcherTest, TypeByteIsTestedBeforeTheSplitMark)
{
    Datagram hl1 = hl1Reply();
    hl1[0] = 0x00; // byte 0 is not examined for typed replies
    EXPECT_TRUE(std::holds_alternative<InfoReply>(dispatch(hl1)));

    Datagram players = playersReply({{"Ann", 5}});
    players[0] = 0xFE;
    const Outcome o = dispatch(players);
    ASSERT_TRUE(std::holds_alternative<PlayersReply>(o));
    EXPECT_EQ(std::get<PlayersReply>(o).players.size(), 1u);

    EXPECT_TRUE(std::holds_alternative<RulesReply>(dispatch({0xFE, 0xFF, 0xFF, 0xFF, 'Z', 0, 0, 0, 0})));
}

TEST_F(DispatcherTest, PlayersReplyLongerThanAFragmentIsReadWhole)
{
    // Servers with many players send one datagram past 1400 bytes: every record is read, also
    // those that start beyond byte 1500.
    std::vector<std::pair<std::string, std::int32_t>> many;
    for (int i = 0; i < 200; ++i)
        many.emplace_back("p" + std::to_string(i), i);
    const Datagram big = playersReply(many);
    ASSERT_GT(big.size(), 2048u);
    const Outcome o = dispatch(big);
    ASSERT_TRUE(std::holds_alternative<PlayersReply>(o));
    const auto& players = std::get<PlayersReply>(o).players;
    ASSERT_EQ(players.size(), 200u);
    EXPECT_EQ(players.front().name, "p199");
    EXPECT_EQ(players.back().name, "p0");
}
