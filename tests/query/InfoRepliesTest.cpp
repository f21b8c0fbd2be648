#include "Datagrams.h"
#include "query/Dispatcher.h"
#include "query/Hl1Info.h"
#include "query/SourceInfo.h"

#include <gtest/gtest.h>

using namespace vantry::query;
using namespace vantry::test;

namespace {

const Endpoint Server{*Endpoint::parse("10.0.0.5", 27015)};

std::optional<ServerRow> hl1(const Hl1Fields& f, const Endpoint& from = Server)
{
    return AddHL1(view(hl1Reply(f)), from);
}

std::optional<ServerRow> css(const SourceFields& f, const Endpoint& from = Server)
{
    return AddCSS(view(sourceReply(f)), from);
}

} // namespace

TEST(Hl1Info, GameKindTableIsExact)
{
    struct Case
    {
        std::string description;
        std::uint8_t protocol;
        std::optional<std::string> kind;
        Image image;
    };
    const std::vector<Case> cases = {
        {"Counter-Strike", 47, "1.6", Image::CounterStrike},
        {"CounterStrike", 46, "1.5", Image::CounterStrike},
        {"Half-Life", 47, "HL", Image::HalfLife},
        {"Condition Zero", 48, "CZ", Image::ConditionZero},
        {"HLTV", 46, "1.5", Image::Hltv},
        {"HLTV", 47, "1.6", Image::Hltv},
        {"HLTV", 48, "1.6", Image::Hltv},
        {"Day of Defeat", 47, std::nullopt, {}},
        {"counter-strike", 47, std::nullopt, {}},
        {"Counter-Strike ", 47, std::nullopt, {}},
        {"", 47, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        Hl1Fields f;
        f.directory = "dod"; // the description alone decides
        f.description = c.description;
        f.protocol = c.protocol;
        const auto row = hl1(f);
        ASSERT_EQ(row.has_value(), c.kind.has_value()) << c.description;
        if (row) {
            EXPECT_EQ(std::string(gameText(row->kind)), *c.kind) << c.description;
            EXPECT_EQ(row->kindImage, c.image) << c.description;
        }
    }
}

TEST(Hl1Info, RowShowsTheReplyFields)
{
    Hl1Fields f;
    f.address = "10.0.0.5:27020";
    f.players = 12;
    f.maxPlayers = 20;
    const auto row = hl1(f);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->name, "Box");
    EXPECT_EQ(addressText(row->from.address), "10.0.0.5");
    EXPECT_EQ(row->from.port, 27015); // the port the reply came from, not the address field's
    EXPECT_EQ(row->identity, Identity::AddressAndPort);
    EXPECT_EQ(protocolText(*row), "47");
    EXPECT_EQ(row->map, "de_dust2");
    EXPECT_EQ(playersText(*row), "12/20");
    EXPECT_TRUE(row->windows);
    EXPECT_EQ(row->status, Image::Open);
    EXPECT_EQ(row->playerCount, 12);
}

TEST(Hl1Info, StatusIconAndOsFollowTheFlags)
{
    auto status = [](std::uint8_t players, std::uint8_t maximum, std::uint8_t password) {
        Hl1Fields f;
        f.players = players;
        f.maxPlayers = maximum;
        f.password = password;
        return hl1(f)->status;
    };
    EXPECT_EQ(status(20, 20, 0), Image::Full);
    EXPECT_EQ(status(0, 20, 1), Image::Password);
    EXPECT_EQ(status(0, 20, 2), Image::Full);
    EXPECT_EQ(status(21, 20, 0), Image::Full);
    EXPECT_EQ(status(19, 255, 0), Image::Open); // unsigned comparison
    for (const std::uint8_t os : std::vector<std::uint8_t>{'l', 'L', 0, 'x', 0xFF}) {
        Hl1Fields f;
        f.os = os;
        EXPECT_FALSE(hl1(f)->windows) << int(os);
    }
    Hl1Fields upper;
    upper.os = 'W';
    EXPECT_TRUE(hl1(upper)->windows);
}

TEST(Hl1Info, PortIsTheOneTheReplyCameFromWhateverTheAddressFieldSays)
{
    // The address field is the server's own idea of itself, wrong behind NAT and free to forge:
    // the duplicate test, the favourites and the game's command line take the sender's port.
    for (const std::string address :
         {"10.0.0.5:27015", "10.0.0.5:27020", "192.168.1.2:27015", "10.0.0.5:27020:9", "10.0.0.5",
          "10.0.0.5:", "10.0.0.5:27015 +exec x", "10.0.0.5:0", "10.0.0.5:65536",
          "10.0.0.5:99999999999999999999", "10.0.0.5:\xD9\xA3"}) {
        Hl1Fields f;
        f.address = address;
        for (const std::uint16_t port : {std::uint16_t(27015), std::uint16_t(27016), std::uint16_t(1)}) {
            const auto row = hl1(f, (*Endpoint::parse("10.0.0.5", port)));
            ASSERT_TRUE(row);
            EXPECT_EQ(row->from.port, port) << address;
        }
    }
}

TEST(Hl1Info, TruncatedReplyGivesEmptyTextsAndZeros)
{
    // Ends right after the description.
    const Datagram cut = DatagramWriter()
                             .header('m')
                             .cstr("10.0.0.5:27015")
                             .cstr("Box")
                             .cstr("map")
                             .cstr("cstrike")
                             .cstr("Counter-Strike")
                             .build();
    const auto row = AddHL1(view(cut), Server);
    ASSERT_TRUE(row);
    EXPECT_EQ(playersText(*row), "0/0");
    EXPECT_EQ(row->status, Image::Full);
    EXPECT_EQ(protocolText(*row), "0");
    EXPECT_FALSE(row->windows);

    // Cut inside the description: no NUL, so the text stops at the end and matches.
    Datagram noNul = cut;
    noNul.pop_back();
    EXPECT_TRUE(AddHL1(view(noNul), Server));
    noNul.pop_back();
    EXPECT_FALSE(hl1Kind("Counter-Strik", 47));

    const THL1info empty = decodeHL1info(view(DatagramWriter().header('m').build()));
    EXPECT_TRUE(empty.address.empty());
    EXPECT_TRUE(empty.description.empty());
    EXPECT_EQ(empty.players, 0);
}

TEST(Hl1Info, TextsAreDecodedToUtf8)
{
    Hl1Fields f;
    f.name = "\xCF\xF0\xE8\xE2\xE5\xF2"; // Windows-1251
    f.map = "карта";                     // already UTF-8
    const auto row = hl1(f);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->name, "Привет");
    EXPECT_EQ(row->map, "карта");
}

TEST(Hl1Info, NameCutInTheMiddleOfACharacterStaysUtf8)
{
    // Servers cut names at a fixed length, also in the middle of a character: the broken tail
    // goes, the rest is not read as Windows-1251.
    const std::string moscow = "Сервер №1 | Москва";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {moscow.substr(0, moscow.size() - 1), "Сервер №1 | Москв"},
        {"Box \xE2\x98", "Box "},     // two bytes of three
        {"Box \xE2", "Box "},         // one byte of three
        {"Box \xF0\x9F\x98", "Box "}, // three bytes of four
        {"\xD0\x9F\xD1", "П"},
        {"\xD0", ""},
        // A broken sequence anywhere else is no cut: the text is Windows-1251 as before.
        {"\xCF\xF0\xE8", "При"},
        {"\xD0\x9F\xFF\xD0", "РџяР"},
        {"ab\xE0\x80", "abаЂ"},        // E0 80 can begin no character
        {"ab\xED\xA0", "abн\xC2\xA0"}, // nor can a surrogate's ED A0
    };
    for (const auto& [name, shown] : cases) {
        Hl1Fields f;
        f.name = name;
        const auto row = hl1(f);
        ASSERT_TRUE(row);
        EXPECT_EQ(row->name, shown) << name;
    }
    SourceFields s;
    s.name = moscow.substr(0, moscow.size() - 1);
    ASSERT_TRUE(css(s));
    EXPECT_EQ(css(s)->name, "Сервер №1 | Москв");
}

TEST(SourceInfo, GameKindTableIsExact)
{
    const std::vector<std::pair<std::string, std::optional<std::pair<std::string, Image>>>> cases = {
        {"Counter-Strike: Source", std::pair{"CSS", Image::Source}},
        {"Counter-Strike:Source Bots Enabled", std::pair{"CSS", Image::Source}},
        {"Deathmatch", std::pair{"HL2", Image::HalfLife2}},
        {"Counter-Strike:  Source", std::nullopt},
        {"counter-strike: source", std::nullopt},
        {"Counter-Strike", std::nullopt},
        {"deathmatch", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [description, expected] : cases) {
        SourceFields f;
        f.directory = "tf"; // the description alone decides
        f.description = description;
        const auto row = css(f);
        ASSERT_EQ(row.has_value(), expected.has_value()) << description;
        if (row) {
            EXPECT_EQ(std::string(gameText(row->kind)), expected->first);
            EXPECT_EQ(row->kindImage, expected->second);
        }
    }
}

TEST(PluginDescription, GameDirectoryAndApplicationNumberNameOurGames)
{
    struct Case
    {
        const char* directory;
        std::uint16_t application;
        std::uint8_t protocol;
        std::optional<std::string> kind;
        Image image;
    };
    const std::vector<Case> cases = {
        {"cstrike", 240, 17, "CSS", Image::Source},
        {"cstrike", 10, 48, "1.6", Image::CounterStrike},
        {"cstrike", 0, 48, "1.6", Image::CounterStrike},
        {"czero", 80, 48, "CZ", Image::ConditionZero},
        {"valve", 70, 48, "HL", Image::HalfLife},
        {"hl2mp", 320, 17, "HL2", Image::HalfLife2},
        {"dod", 30, 48, std::nullopt, {}},
        {"dod", 300, 17, std::nullopt, {}},
        {"tf", 440, 17, std::nullopt, {}},
        {"ns", 70, 48, std::nullopt, {}}, // a mod of Half-Life reporting its application number
        {"Cstrike", 10, 48, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        SourceFields f;
        f.description = "=|Clan|= Public";
        f.directory = c.directory;
        f.application = c.application;
        f.protocol = c.protocol;
        const auto row = css(f);
        ASSERT_EQ(row.has_value(), c.kind.has_value()) << c.directory << " " << c.application;
        if (row) {
            EXPECT_EQ(std::string(gameText(row->kind)), *c.kind) << c.directory;
            EXPECT_EQ(row->kindImage, c.image) << c.directory;
        }
    }

    // The older engine's 'I' replies use the HL1 table first: a relay by description and protocol.
    SourceFields relay;
    relay.description = "HLTV";
    relay.directory = "cstrike";
    relay.application = 10;
    relay.protocol = 48;
    ASSERT_TRUE(css(relay));
    EXPECT_EQ(css(relay)->kindImage, Image::Hltv);
    EXPECT_EQ(std::string(gameText(css(relay)->kind)), "1.6");
    // A newer-engine reply does not read the HL1 table.
    SourceFields newer;
    newer.description = "Half-Life";
    newer.directory = "tf";
    newer.application = 440;
    EXPECT_FALSE(css(newer));

    // A plugin's description on a protocol 46 server of the older engine: Counter-Strike 1.5, so
    // that the launcher picks its slot.
    for (const auto& [protocol, kind] :
         std::vector<std::pair<std::uint8_t, std::string>>{{46, "1.5"}, {47, "1.6"}, {48, "1.6"}}) {
        Hl1Fields f;
        f.description = "www.clan.example";
        f.directory = "cstrike";
        f.protocol = protocol;
        const auto row = hl1(f);
        ASSERT_TRUE(row);
        EXPECT_EQ(std::string(gameText(row->kind)), kind) << int(protocol);
        EXPECT_EQ(row->kindImage, Image::CounterStrike);
    }

    // The 'm' layout knows only the directory.
    for (const auto& [directory, kind] :
         std::vector<std::pair<std::string, std::optional<std::string>>>{{"cstrike", "1.6"},
                                                                         {"czero", "CZ"},
                                                                         {"valve", "HL"},
                                                                         {"hl2mp", std::nullopt},
                                                                         {"dod", std::nullopt}}) {
        Hl1Fields f;
        f.description = "www.clan.example";
        f.directory = directory;
        const auto row = hl1(f);
        ASSERT_EQ(row.has_value(), kind.has_value()) << directory;
        if (row) {
            EXPECT_EQ(std::string(gameText(row->kind)), *kind);
        }
    }
}

TEST(SourceInfo, RowShowsSenderPortAndPlayersWithoutBots)
{
    SourceFields f;
    f.players = 16;
    f.maxPlayers = 16;
    f.bots = 4;
    f.os = 'w';
    f.protocol = 17;
    const auto row = css(f, (*Endpoint::parse("10.0.0.9", 27016)));
    ASSERT_TRUE(row);
    EXPECT_EQ(playersText(*row), "16/16");
    EXPECT_EQ(row->status, Image::Full);
    EXPECT_EQ(row->from.port, 27016);
    EXPECT_EQ(row->identity, Identity::AddressAndPort);
    EXPECT_EQ(addressText(row->from.address), "10.0.0.9");
    EXPECT_EQ(protocolText(*row), "17");
    EXPECT_TRUE(row->windows);
    EXPECT_EQ(row->playerCount, 16);

    f.os = 'l';
    f.players = 3;
    EXPECT_FALSE(css(f)->windows);
    EXPECT_EQ(css(f)->status, Image::Open);
    f.password = 1;
    EXPECT_EQ(css(f)->status, Image::Password);
    f.password = 7;
    EXPECT_EQ(css(f)->status, Image::Full);
}

TEST(SourceInfo, TruncatedReplyGivesZeros)
{
    const Datagram cut = DatagramWriter()
                             .header('I')
                             .byte(7)
                             .cstr("n")
                             .cstr("m")
                             .cstr("d")
                             .cstr("Deathmatch")
                             .byte(240)
                             .build();
    const auto row = AddCSS(view(cut), Server);
    ASSERT_TRUE(row);
    EXPECT_EQ(playersText(*row), "0/0");
    EXPECT_EQ(row->status, Image::Full);
    // A name running to the end of a full receive buffer stops there.
    Datagram endless = DatagramWriter().header('I').byte(7).build();
    endless.resize(Dispatcher::ReceiveBufferSize, 'a');
    const TCSSinfo info = decodeCSSinfo(view(endless));
    EXPECT_EQ(info.name.size(), Dispatcher::ReceiveBufferSize - 6);
    EXPECT_TRUE(info.map.empty());
    EXPECT_EQ(info.password, 0);
}
