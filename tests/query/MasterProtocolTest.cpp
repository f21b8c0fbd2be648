#include "query/MasterProtocol.h"

#include "query/MasterFilter.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace vantry::query;

namespace {

using Bytes8 = std::vector<std::uint8_t>;

Bytes8 header()
{
    return {0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x0A};
}

void entry(Bytes8& out, std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, std::uint16_t port)
{
    out.insert(out.end(),
               {a, b, c, d, static_cast<std::uint8_t>(port >> 8), static_cast<std::uint8_t>(port)});
}

std::optional<MasterPage> decode(const Bytes8& bytes, MasterReplyError& error)
{
    return decodeMasterReply(Bytes(bytes.data(), bytes.size()), error);
}

constexpr std::uint32_t ip(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d)
{
    return std::uint32_t{a} << 24 | std::uint32_t{b} << 16 | std::uint32_t{c} << 8 | d;
}

} // namespace

TEST(MasterRequest, SeedAndFilterAreNulTerminatedAfterRegion)
{
    const Bytes8 first = masterRequest(0xFF, {}, "\\appid\\240");
    const std::string expected = std::string("1\xFF") + "0.0.0.0:0" + '\0' + "\\appid\\240" + '\0';
    EXPECT_EQ(first, Bytes8(expected.begin(), expected.end()));

    const Bytes8 next = masterRequest(0x03, {ip(198, 51, 100, 7), 27015}, "");
    const std::string nextExpected = std::string("1\x03") + "198.51.100.7:27015" + '\0' + '\0';
    EXPECT_EQ(next, Bytes8(nextExpected.begin(), nextExpected.end()));
}

TEST(MasterRequest, FilterIsCutAtItsNulAndAtTheCap)
{
    const std::string withNul("\\appid\\10\0\\map\\x", 16);
    const Bytes8 cut = masterRequest(0xFF, {}, withNul);
    EXPECT_EQ(std::count(cut.begin(), cut.end(), 0), 2) << "one NUL after the seed, one after the filter";
    EXPECT_EQ(cut.size(), 2 + 9 + 1 + 9 + 1u);

    const Bytes8 long_ = masterRequest(0, {}, std::string(5000, 'x'));
    EXPECT_EQ(long_.size(), 2 + 9 + 1 + MaxMasterFilter + 1);
    EXPECT_EQ(long_.back(), 0);
}

TEST(MasterReply, EnvelopeFaultsAreRefused)
{
    MasterReplyError error = MasterReplyError::None;
    EXPECT_FALSE(decode({}, error));
    EXPECT_EQ(error, MasterReplyError::Short);
    EXPECT_FALSE(decode({0xFF, 0xFF, 0xFF, 0xFF, 0x66}, error));
    EXPECT_EQ(error, MasterReplyError::Short);

    // The old protocol's 'd' reply, a missing 0A, and a split mark: masters never split.
    for (const Bytes8& bad :
         {Bytes8{0xFF, 0xFF, 0xFF, 0xFF, 'd', 0x0A}, Bytes8{0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x00},
          Bytes8{0xFE, 0xFF, 0xFF, 0xFF, 0x66, 0x0A}}) {
        Bytes8 d = bad;
        entry(d, 1, 2, 3, 4, 27015);
        EXPECT_FALSE(decode(d, error));
        EXPECT_EQ(error, MasterReplyError::BadHeader);
    }

    Bytes8 ragged = header();
    entry(ragged, 1, 2, 3, 4, 27015);
    ragged.insert(ragged.end(), {5, 6, 7});
    EXPECT_FALSE(decode(ragged, error));
    EXPECT_EQ(error, MasterReplyError::RaggedEntry);
}

TEST(MasterReply, PortIsBigEndianAndEndMarkEndsTheList)
{
    Bytes8 d = header();
    entry(d, 192, 0, 2, 1, 27015); // 69 87
    entry(d, 192, 0, 2, 2, 0x0102);
    entry(d, 0, 0, 0, 0, 0);
    entry(d, 192, 0, 2, 3, 27015); // after the end: not read
    MasterReplyError error = MasterReplyError::None;
    const auto page = decode(d, error);
    ASSERT_TRUE(page);
    EXPECT_EQ(error, MasterReplyError::None);
    EXPECT_TRUE(page->endOfList);
    ASSERT_EQ(page->servers.size(), 2u);
    EXPECT_EQ(page->servers[0], (Endpoint{ip(192, 0, 2, 1), 27015}));
    EXPECT_EQ(page->servers[1], (Endpoint{ip(192, 0, 2, 2), 258}));
    EXPECT_EQ(page->last, page->servers[1]);
    EXPECT_EQ(endpointText(page->servers[0]), "192.0.2.1:27015");
}

TEST(MasterReply, EntriesThatCannotBeServersAreLeftOutButStillSeedTheNextPage)
{
    Bytes8 d = header();
    entry(d, 192, 0, 2, 1, 27015);
    entry(d, 0, 0, 0, 0, 27015); // address 0.0.0.0 with a port: not the end mark
    entry(d, 192, 0, 2, 9, 0);
    MasterReplyError error = MasterReplyError::None;
    const auto page = decode(d, error);
    ASSERT_TRUE(page);
    EXPECT_FALSE(page->endOfList);
    EXPECT_EQ(page->servers, (std::vector<Endpoint>{{ip(192, 0, 2, 1), 27015}}));
    EXPECT_EQ(page->unusable, 2u);
    // The master pages on from what it sent last, whatever it was.
    EXPECT_EQ(page->last, (Endpoint{ip(192, 0, 2, 9), 0}));

    const auto empty = decode(header(), error);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->servers.empty());
    EXPECT_FALSE(empty->last);
    EXPECT_FALSE(empty->endOfList);
}

TEST(MasterReply, LargestDatagramIsReadWhole)
{
    Bytes8 d = header();
    const std::size_t count = (65'507 - 6) / 6;
    for (std::size_t i = 0; i < count; ++i)
        entry(d, 10, static_cast<std::uint8_t>(i >> 16), static_cast<std::uint8_t>(i >> 8),
              static_cast<std::uint8_t>(i), 27015);
    MasterReplyError error = MasterReplyError::None;
    const auto page = decode(d, error);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->servers.size(), count);
}

TEST(MasterFilter, EachGameIsAskedForByItsNumberAndFolder)
{
    EXPECT_EQ(filterText({ListedGame::HalfLife}), "\\appid\\70");
    EXPECT_EQ(filterText({ListedGame::CounterStrike}), "\\appid\\10\\gamedir\\cstrike");
    EXPECT_EQ(filterText({ListedGame::ConditionZero}), "\\appid\\80\\gamedir\\czero");
    EXPECT_EQ(filterText({ListedGame::CounterStrikeSource}), "\\appid\\240\\gamedir\\cstrike");
    EXPECT_EQ(filterText({ListedGame::HalfLife2Deathmatch}), "\\appid\\320\\gamedir\\hl2mp");

    ListFilter f{ListedGame::CounterStrike};
    f.notEmpty = f.notFull = f.noPassword = true;
    EXPECT_EQ(filterText(f), "\\appid\\10\\gamedir\\cstrike\\empty\\1\\full\\1\\password\\0");
}

TEST(MasterFilter, GamesAndRegionsByTheWordsUsersKnow)
{
    for (const char* word : {"1.6", "1.5", "CS1.6", "cs1.5", "cs"})
        EXPECT_EQ(parseListedGame(word), ListedGame::CounterStrike) << word;
    EXPECT_EQ(parseListedGame("CZ"), ListedGame::ConditionZero);
    EXPECT_EQ(parseListedGame("czero"), ListedGame::ConditionZero);
    EXPECT_EQ(parseListedGame("Css"), ListedGame::CounterStrikeSource);
    EXPECT_EQ(parseListedGame("HL"), ListedGame::HalfLife);
    EXPECT_EQ(parseListedGame("HL2DM"), ListedGame::HalfLife2Deathmatch);
    EXPECT_EQ(parseListedGame("hl2"), ListedGame::HalfLife2Deathmatch);
    EXPECT_FALSE(parseListedGame("tf2"));
    EXPECT_FALSE(parseListedGame(""));

    EXPECT_EQ(parseMasterRegion("0"), MasterRegion::UsEast);
    EXPECT_EQ(parseMasterRegion("europe"), MasterRegion::Europe);
    EXPECT_EQ(parseMasterRegion("Africa"), MasterRegion::Africa);
    EXPECT_EQ(parseMasterRegion("7"), MasterRegion::Africa);
    EXPECT_EQ(parseMasterRegion("255"), MasterRegion::All);
    EXPECT_EQ(parseMasterRegion("0xFF"), MasterRegion::All);
    EXPECT_EQ(parseMasterRegion("all"), MasterRegion::All);
    EXPECT_FALSE(parseMasterRegion("8"));
    EXPECT_FALSE(parseMasterRegion("-1"));
    EXPECT_FALSE(parseMasterRegion("mars"));
}
