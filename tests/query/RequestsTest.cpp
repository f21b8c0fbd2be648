#include "query/Requests.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace vantry::query;

namespace {

std::vector<std::uint8_t> bytesOf(Bytes b)
{
    return {b.begin(), b.end()};
}

std::vector<std::uint8_t> packet(std::string_view prefix, std::string_view text)
{
    std::vector<std::uint8_t> out = {0xFF, 0xFF, 0xFF, 0xFF};
    out.insert(out.end(), prefix.begin(), prefix.end());
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
    return out;
}

} // namespace

TEST(Requests, PacketsAreByteExact)
{
    const Requests r;
    EXPECT_EQ(bytesOf(r.info()), packet("T", "Source Engine Query"));
    EXPECT_EQ(bytesOf(r.players()), packet("U", "Source Engine Query"));
    EXPECT_EQ(bytesOf(r.rules()), packet("V", "Source Engine Query"));
    EXPECT_EQ(bytesOf(r.oldInfo()), packet("", "infostring"));
    EXPECT_EQ(bytesOf(r.oldPlayers()), packet("", "players"));
    EXPECT_EQ(bytesOf(r.oldRules()), packet("", "rules"));
    EXPECT_EQ(r.info().size(), 25u);
    EXPECT_EQ(r.oldInfo().size(), 15u);
    EXPECT_EQ(r.oldPlayers().size(), 12u);
    EXPECT_EQ(r.oldRules().size(), 10u);
    EXPECT_EQ(bytesOf(r.playersChallenge()),
              (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 'U', 'S', 'o', 'u', 'r'}));
    EXPECT_EQ(bytesOf(r.rulesChallenge()),
              (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 'V', 'S', 'o', 'u', 'r'}));
}

TEST(Requests, ChallengeSlotIsSharedByPlayersAndRules)
{
    Requests r;
    r.setChallenge({0x01, 0x02, 0x03, 0x04});
    std::vector<std::uint8_t> expected = {0xFF, 0xFF, 0xFF, 0xFF, 'U', 0x01, 0x02, 0x03, 0x04};
    const std::string tail("ce Engine Query\0", 16); // with its terminating NUL
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(bytesOf(r.players()), expected);
    expected[4] = 'V';
    EXPECT_EQ(bytesOf(r.rules()), expected);
    EXPECT_EQ(bytesOf(r.rulesChallenge()),
              (std::vector<std::uint8_t>(expected.begin(), expected.begin() + 9)));
    EXPECT_EQ(r.challenge(), (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
    // The info requests carry no challenge.
    EXPECT_EQ(bytesOf(r.info()), packet("T", "Source Engine Query"));
}
