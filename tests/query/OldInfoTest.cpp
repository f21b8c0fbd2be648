#include "query/OldInfo.h"

#include "Datagrams.h"
#include "query/Dispatcher.h"

#include <gtest/gtest.h>

using namespace vantry::query;
using namespace vantry::test;

namespace {

const Endpoint Server{*Endpoint::parse("10.0.0.5", 27015)};
const std::string Full = "\\hostname\\Box\\map\\crossfire\\players\\3\\max\\16\\os\\w\\password\\0\\proxy\\0"
                         "\\protocol\\46\\description\\Half-Life\\";

ServerRow old(std::string_view infoString, const Endpoint& from = Server)
{
    Requests requests;
    Dispatcher dispatcher(requests);
    const Outcome o = dispatcher.dispatch(view(oldReply(infoString)), from);
    const auto* info = std::get_if<InfoReply>(&o);
    if (!info)
        ADD_FAILURE() << "old reply not listed";
    return info ? info->row : ServerRow{};
}

} // namespace

TEST(OldInfo, FullInfoStringGivesTheRow)
{
    const ServerRow row = old(Full);
    EXPECT_EQ(std::string(gameText(row.kind)), "HL");
    EXPECT_EQ(row.kindImage, Image::HalfLife);
    EXPECT_EQ(row.name, "Box");
    EXPECT_EQ(row.map, "crossfire");
    EXPECT_EQ(playersText(row), "3/16");
    EXPECT_EQ(protocolText(row), "46");
    EXPECT_EQ(row.from.port, 27015);
    EXPECT_TRUE(row.windows);
    EXPECT_EQ(row.status, Image::Open);
    EXPECT_EQ(row.playerCount, 3);
    EXPECT_EQ(row.identity, Identity::AddressOnly);
}

TEST(OldInfo, MarkerSearchSemantics)
{
    // A value at the very end, with no backslash after it, is not found.
    const ServerRow open = old(Full.substr(0, Full.size() - 1));
    EXPECT_EQ(std::string(gameText(open.kind)), "?");
    EXPECT_EQ(open.kindImage, Image::CounterStrike);

    EXPECT_EQ(extractField("\\MAP\\CrossFire\\", "\\map\\"), "CrossFire");
    EXPECT_EQ(extractField("\\Map\\x\\", "\\MAP\\"), "x");
    EXPECT_EQ(extractField("\\players\\3\\max\\16\\players\\5\\", "\\players\\"), "5");
    EXPECT_EQ(extractField("\\players\\3\\players\\5\\", "\\players\\"), "3");
    EXPECT_EQ(extractField("\\players\\\\", "\\players\\"), "");
    EXPECT_EQ(extractField("", "\\players\\"), "");
    EXPECT_EQ(extractField("\\players\\", "\\players\\"), "");
    // "\max\" is not found inside "\maxplayers\".
    EXPECT_EQ(extractField("\\maxplayers\\8\\", "\\max\\"), "");
    // The info string ends at its first NUL.
    const std::string withNul = std::string("\\hostname\\A\\map\\") + '\0' + "m\\";
    EXPECT_EQ(old(withNul).map, "");
    EXPECT_EQ(old(withNul).name, "A");
}

TEST(OldInfo, GameKindTable)
{
    auto kind = [](const std::string& description, const std::string& relay, const std::string& protocol) {
        const ServerRow row =
            old("\\proxy\\" + relay + "\\protocol\\" + protocol + "\\description\\" + description + "\\");
        return std::pair{std::string(gameText(row.kind)), row.kindImage};
    };
    using P = std::pair<std::string, Image>;
    EXPECT_EQ(kind("Counter-Strike", "0", "47"), (P{"1.6", Image::CounterStrike}));
    EXPECT_EQ(kind("Counter-Strike", "1", "47"), (P{"1.6", Image::Hltv}));
    EXPECT_EQ(kind("CounterStrike", "", "46"), (P{"1.5", Image::CounterStrike}));
    EXPECT_EQ(kind("Condition Zero", "1", "48"), (P{"CZ", Image::Hltv}));
    EXPECT_EQ(kind("Condition Zero", "0", "48"), (P{"CZ", Image::ConditionZero}));
    EXPECT_EQ(kind("Half-Life", "01", "48"), (P{"HL", Image::HalfLife}));
    EXPECT_EQ(kind("HLTV", "0", "46"), (P{"1.5", Image::Hltv}));
    EXPECT_EQ(kind("HLTV", "0", "47"), (P{"1.6", Image::Hltv}));
    EXPECT_EQ(kind("HLTV", "0", "48"), (P{"1.6", Image::Hltv}));
    EXPECT_EQ(kind("HLTV", "0", ""), (P{"1.6", Image::Hltv}));
    EXPECT_EQ(kind("HLTV", "0", "46x"), (P{"1.6", Image::Hltv}));
    EXPECT_EQ(kind("Demo Playback", "1", "46"), (P{"1.5", Image::Demo}));
    EXPECT_EQ(kind("Demo Playback", "0", "47"), (P{"1.6", Image::Demo}));
    EXPECT_EQ(kind("half-life", "1", "47"), (P{"?", Image::CounterStrike}));
    EXPECT_EQ(kind("Day of Defeat", "1", "47"), (P{"?", Image::CounterStrike}));
}

TEST(OldInfo, StatusIconComparesTexts)
{
    auto status = [](const std::string& players, const std::string& maximum, const std::string& password) {
        return old("\\players\\" + players + "\\max\\" + maximum + "\\password\\" + password + "\\").status;
    };
    EXPECT_EQ(status("3", "16", "0"), Image::Open);
    EXPECT_EQ(status("16", "16", "0"), Image::Full);
    EXPECT_EQ(status("08", "8", "0"), Image::Open); // texts, not values
    EXPECT_EQ(status("16", "16", "1"), Image::Password);
    EXPECT_EQ(status("3", "16", "1"), Image::Password);
    EXPECT_EQ(status("3", "16", "2"), std::nullopt);
    EXPECT_EQ(status("3", "16", ""), std::nullopt);
    EXPECT_EQ(status("3", "16", "00"), std::nullopt);
}

TEST(OldInfo, PlayerCountOnlyForDecimalText)
{
    auto count = [](const std::string& players) { return old("\\players\\" + players + "\\").playerCount; };
    EXPECT_EQ(count("0"), 0);
    EXPECT_EQ(count("12"), 12);
    EXPECT_EQ(count("007"), 7);
    EXPECT_EQ(count("2147483647"), 2147483647);
    EXPECT_EQ(count("2147483648"), std::nullopt);
    EXPECT_EQ(count(""), std::nullopt);
    EXPECT_EQ(count("-1"), std::nullopt);
    EXPECT_EQ(count("+1"), std::nullopt);
    EXPECT_EQ(count(" 1"), std::nullopt);
    EXPECT_EQ(count("1x"), std::nullopt);
}

TEST(OldInfo, EmptyInfoStringGivesAnUnknownRow)
{
    for (const std::size_t size : {22u, 23u}) {
        Datagram d = oldReply("");
        d.resize(size);
        Requests requests;
        Dispatcher dispatcher(requests);
        const Outcome o = dispatcher.dispatch(view(d), Server);
        ASSERT_TRUE(std::holds_alternative<InfoReply>(o)) << size;
        const ServerRow& row = std::get<InfoReply>(o).row;
        EXPECT_EQ(std::string(gameText(row.kind)), "?");
        EXPECT_EQ(row.kindImage, Image::CounterStrike);
        EXPECT_EQ(row.name, "");
        EXPECT_EQ(row.map, "");
        EXPECT_EQ(protocolText(row), "");
        EXPECT_EQ(playersText(row), "/");
        EXPECT_FALSE(row.windows);
        EXPECT_EQ(row.status, std::nullopt);
        EXPECT_EQ(row.playerCount, std::nullopt);
    }
}

TEST(OldInfo, OsFromFirstCharacterAndTextsDecoded)
{
    EXPECT_TRUE(old("\\os\\Windows\\").windows);
    EXPECT_TRUE(old("\\os\\w\\").windows);
    EXPECT_FALSE(old("\\os\\linux\\").windows);
    EXPECT_FALSE(old("\\os\\\\").windows);
    EXPECT_EQ(old("\\hostname\\\xCF\xF0\xE8\\").name, "При");
    // Values keep their case.
    EXPECT_EQ(old("\\HOSTNAME\\MiXeD\\").name, "MiXeD");
}
