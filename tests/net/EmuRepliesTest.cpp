#include "NetTestSupport.h"
#include "emu/ProfileFile.h"
#include "emu/ProfileTable.h"
#include "emu/Replies.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

using namespace vantry::emu;
using vantry::test::bytesOf;

namespace {

constexpr std::uint32_t Addr = (127u << 24) | (1u << 8) | 7; // 127.0.1.7
constexpr std::uint16_t Port = 27015;

Datagram request(std::string_view text)
{
    return bytesOf(text);
}

const Datagram InfoRequest = request(std::string_view("\xFF\xFF\xFF\xFFTSource Engine Query\0", 25));

Datagram operator+(Datagram a, const Datagram& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Datagram text(std::string_view s)
{
    Datagram out = bytesOf(s);
    out.push_back(0);
    return out;
}

Profile smallProfile(Kind kind)
{
    Profile p = defaultsFor(kind);
    p.name = "Box";
    p.map = "crossfire";
    p.gameDir = "valve";
    p.description = "Half-Life";
    p.players = 3;
    p.maxPlayers = 16;
    p.bots = 1;
    p.os = 'w';
    p.password = 1;
    p.playerList = {{"Ann", 5, 0.0f}, {"Bob", -1, 0.0f}};
    p.rules = {{"mp_timelimit", "25"}, {"sv_contact", ""}};
    return p;
}

} // namespace

TEST(EmuReplies, InfoRepliesHaveTheGameEngineLayouts)
{
    const Datagram header = {0xFF, 0xFF, 0xFF, 0xFF};

    Profile hl1 = smallProfile(Kind::Hl1);
    const auto m = answer(hl1, InfoRequest, Addr, Port);
    ASSERT_EQ(m.size(), 1u);
    const Datagram expectedM = header + Datagram{'m'} + text("127.0.1.7:27015") + text("Box") +
                               text("crossfire") + text("valve") + text("Half-Life") +
                               Datagram{3, 16, 47, 'd', 'w', 1, 0, 1, 1};
    EXPECT_EQ(m[0], expectedM);

    hl1.advertisedPort = 27020; // the address field names another port than the one probed
    const Datagram expectedMoved = header + Datagram{'m'} + text("127.0.1.7:27020") + text("Box") +
                                   text("crossfire") + text("valve") + text("Half-Life") +
                                   Datagram{3, 16, 47, 'd', 'w', 1, 0, 1, 1};
    EXPECT_EQ(answer(hl1, InfoRequest, Addr, Port)[0], expectedMoved);

    Profile source = smallProfile(Kind::Source);
    source.description = "Counter-Strike: Source";
    const auto i = answer(source, InfoRequest, Addr, Port);
    ASSERT_EQ(i.size(), 1u);
    const Datagram expectedI = header + Datagram{'I', 7} + text("Box") + text("crossfire") + text("valve") +
                               text("Counter-Strike: Source") + Datagram{240, 0, 3, 16, 1, 'd', 'w', 1, 1} +
                               text("1.0.0.34") + Datagram{0x80, 0x87, 0x69};
    EXPECT_EQ(i[0], expectedI);
}

TEST(EmuReplies, OldServerAnswersOnlyTheOldRequests)
{
    Profile old = smallProfile(Kind::OldInfo);
    EXPECT_TRUE(answer(old, InfoRequest, Addr, Port).empty());
    const auto reply = answer(old, request(std::string_view("\xFF\xFF\xFF\xFFinfostring\0", 15)), Addr, Port);
    ASSERT_EQ(reply.size(), 1u);
    const std::string s(reply[0].begin(), reply[0].end());
    EXPECT_EQ(s.substr(0, 23), std::string("\xFF\xFF\xFF\xFFinfostringresponse\0", 23));
    EXPECT_EQ(s[14], 'r');
    EXPECT_EQ(s[21], 'e');
    EXPECT_EQ(s.back(), '\0');
    const std::string info = s.substr(23, s.size() - 24);
    EXPECT_NE(info.find("\\hostname\\Box\\"), std::string::npos);
    EXPECT_NE(info.find("\\players\\3\\"), std::string::npos);
    EXPECT_NE(info.find("\\max\\16\\"), std::string::npos);
    EXPECT_NE(info.find("\\description\\Half-Life\\"), std::string::npos);
    EXPECT_NE(info.find("\\password\\1\\"), std::string::npos);
    EXPECT_NE(info.find("\\os\\w\\"), std::string::npos);
    EXPECT_NE(info.find("\\proxy\\0\\"), std::string::npos);
    EXPECT_EQ(info.find('\0'), std::string::npos);

    // Old players and rules need no challenge.
    const auto players = answer(old, request(std::string_view("\xFF\xFF\xFF\xFFplayers\0", 12)), Addr, Port);
    ASSERT_EQ(players.size(), 1u);
    EXPECT_EQ(players[0][4], 'D');
    const auto rules = answer(old, request(std::string_view("\xFF\xFF\xFF\xFFrules\0", 10)), Addr, Port);
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0][4], 'E');
    // A longer word is another request.
    EXPECT_TRUE(answer(old, request(std::string_view("\xFF\xFF\xFF\xFFrulesx\0", 11)), Addr, Port).empty());
}

TEST(EmuReplies, MalformedRequestsAndSilentServersGetNoAnswer)
{
    const Profile hl1 = smallProfile(Kind::Hl1);
    EXPECT_TRUE(answer(hl1, request("\xFF\xFF\xFF\xFFTSource Engine Quer"), Addr, Port).empty());
    EXPECT_TRUE(
        answer(hl1, request(std::string_view("\xFF\xFF\xFF\xFETSource Engine Query\0", 25)), Addr, Port)
            .empty());
    EXPECT_TRUE(answer(hl1, request("\xFF\xFF\xFF\xFF"), Addr, Port).empty());
    EXPECT_TRUE(
        answer(hl1, request(std::string_view("\xFF\xFF\xFF\xFFinfostring\0", 15)), Addr, Port).empty());
    EXPECT_TRUE(answer(smallProfile(Kind::Silent), InfoRequest, Addr, Port).empty());
}

TEST(EmuReplies, PlayersAndRulesOnlyBehindTheRightChallenge)
{
    for (Kind kind : {Kind::Hl1, Kind::Source}) {
        const Profile p = smallProfile(kind);
        const auto challenge = challengeFor(p, Addr);
        const Datagram challengeReply = {0xFF,         0xFF,         0xFF,         0xFF,        'A',
                                         challenge[0], challenge[1], challenge[2], challenge[3]};
        // The whole request carrying "Sour", a short one and a wrong challenge all get the challenge.
        for (const Datagram& wrong :
             {request(std::string_view("\xFF\xFF\xFF\xFFUSource Engine Query\0", 25)),
              request(std::string_view("\xFF\xFF\xFF\xFFVSource Engine Query\0", 25)),
              request("\xFF\xFF\xFF\xFFU"), request(std::string_view("\xFF\xFF\xFF\xFFV\0\0\0\0", 9))}) {
            const auto got = answer(p, wrong, Addr, Port);
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(got[0], challengeReply);
        }
        const Datagram players = Datagram{0xFF, 0xFF, 0xFF, 0xFF, 'U'} +
                                 Datagram{challenge[0], challenge[1], challenge[2], challenge[3]};
        const auto d = answer(p, players, Addr, Port);
        ASSERT_EQ(d.size(), 1u);
        const Datagram expectedD = Datagram({0xFF, 0xFF, 0xFF, 0xFF, 'D', 2, 0}) + text("Ann") +
                                   Datagram{5, 0, 0, 0, 0, 0, 0, 0, 1} + text("Bob") +
                                   Datagram{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
        EXPECT_EQ(d[0], expectedD);

        Datagram rules = players;
        rules[4] = 'V';
        const auto e = answer(p, rules, Addr, Port);
        ASSERT_EQ(e.size(), 1u);
        const Datagram expectedE = Datagram({0xFF, 0xFF, 0xFF, 0xFF, 'E', 2, 0}) + text("mp_timelimit") +
                                   text("25") + text("sv_contact") + text("");
        EXPECT_EQ(e[0], expectedE);
    }
    // The challenge differs between addresses, so one server's challenge does not open another.
    EXPECT_NE(challengeFor(Profile{}, Addr), challengeFor(Profile{}, Addr + 1));
    const std::array<std::uint8_t, 4> sour = {'S', 'o', 'u', 'r'};
    EXPECT_NE(challengeFor(Profile{}, (127u << 24) | 0x536F75), sour);
}

TEST(EmuReplies, SplitRulesComeAsA1400ByteFragmentAndTheRest)
{
    Profile p = smallProfile(Kind::Hl1);
    p.splitRules = true;
    // Too short to split: one whole reply.
    const auto challenge = challengeFor(p, Addr);
    const Datagram rulesRequest = {0xFF,         0xFF,         0xFF,         0xFF,        'V',
                                   challenge[0], challenge[1], challenge[2], challenge[3]};
    EXPECT_EQ(answer(p, rulesRequest, Addr, Port).size(), 1u);

    for (int i = 0; i < 100; ++i)
        p.rules.push_back({"rule_number_" + std::to_string(i), "value " + std::to_string(i)});
    const Datagram whole = rulesReply(p);
    ASSERT_GT(whole.size(), 1391u);
    const auto fragments = answer(p, rulesRequest, Addr, Port);
    ASSERT_EQ(fragments.size(), 2u);
    EXPECT_EQ(fragments[0].size(), 1400u);
    EXPECT_EQ(fragments[1].size(), whole.size() - 1391 + 9);
    const Datagram head1(fragments[0].begin(), fragments[0].begin() + 9);
    const Datagram head2(fragments[1].begin(), fragments[1].begin() + 9);
    EXPECT_EQ(head1, (Datagram{0xFE, 0xFF, 0xFF, 0xFF, 0x14, 0x08, 0x00, 0x00, 0x02}));
    EXPECT_EQ(head2, (Datagram{0xFE, 0xFF, 0xFF, 0xFF, 0x14, 0x08, 0x00, 0x00, 0x12}));
    Datagram joined(fragments[0].begin() + 9, fragments[0].end());
    joined.insert(joined.end(), fragments[1].begin() + 9, fragments[1].end());
    EXPECT_EQ(joined, whole);
}

TEST(EmuReplies, PlayersReplyStaysInOneDatagram)
{
    Profile p = smallProfile(Kind::Hl1);
    p.playerList.assign(300, Player{"a rather long player name", 1, 0.0f});
    const Datagram d = playersReply(p);
    EXPECT_LE(d.size(), 1400u);
    const std::size_t record = 1 + 25 + 1 + 8;
    EXPECT_EQ(d[5], (d.size() - 6) / record);
}

TEST(EmuProfiles, TableFindsExactThenAnyPortThenRanges)
{
    ProfileTable table;
    Profile a;
    a.name = "exact";
    Profile b;
    b.name = "any port";
    table.add(Addr, 27020, a);
    table.add(Addr, 0, b);
    ProfileRange range;
    range.first = (127u << 24) | (1u << 16);
    range.count = 4096;
    range.step = 16;
    range.port = Port;
    range.profile.name = "gen";
    table.addRange(range);

    EXPECT_EQ(table.find(Addr, 27020)->name, "exact");
    EXPECT_EQ(table.find(Addr, 27015)->name, "any port");
    EXPECT_EQ(table.find(range.first, Port)->name, "gen 127.1.0.0");
    EXPECT_EQ(table.find(range.first + 16 * 4095, Port)->name, "gen 127.1.255.240");
    EXPECT_FALSE(table.find(range.first + 16 * 4096, Port));
    EXPECT_FALSE(table.find(range.first + 8, Port));
    EXPECT_FALSE(table.find(range.first, 27020));
    EXPECT_FALSE(table.find(range.first - 16, Port));
    EXPECT_EQ(table.size(), 2u + 4096u);
    EXPECT_EQ(table.ports(), (std::vector<std::uint16_t>{27015, 27020}));

    // The demo covers every game kind on 127.0.0.x.
    const ProfileTable demo = demoTable();
    std::set<std::string> descriptions;
    for (std::uint32_t last = 1; last < 256; ++last) {
        for (std::uint16_t port : {std::uint16_t(27015), std::uint16_t(27020)}) {
            if (auto p = demo.find((127u << 24) | last, port))
                descriptions.insert(p->description);
        }
    }
    for (const char* d : {"Half-Life", "CounterStrike", "Counter-Strike", "Condition Zero", "HLTV",
                          "Counter-Strike: Source", "Deathmatch"})
        EXPECT_TRUE(descriptions.count(d)) << d;
}

TEST(EmuProfiles, ProfileLinesParseAndRejectFaults)
{
    ProfileTable table;
    std::vector<std::uint16_t> ports;
    applyProfileLine(
        "server 127.0.0.5:27016 name=\"Quoted Name\" players=4 max=10 desc=Deathmatch kind=source "
        "player=Ann:5 player=Bob:-2 rule=mp_timelimit=20 split=1 challenge=0a0b0c0d",
        table, ports);
    applyProfileLine("  # a comment", table, ports);
    applyProfileLine("range 127.2.0.1 count=10 step=16 port=27015 kind=silent", table, ports);
    applyProfileLine("listen 27015 27020", table, ports);
    const auto p = table.find((127u << 24) | 5, 27016);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->kind, Kind::Source);
    EXPECT_EQ(p->name, "Quoted Name");
    EXPECT_EQ(p->protocol, 7); // the kind's defaults, whatever the key order
    EXPECT_EQ(p->description, "Deathmatch");
    EXPECT_EQ(p->players, 4);
    ASSERT_EQ(p->playerList.size(), 2u);
    EXPECT_EQ(p->playerList[1].kills, -2);
    ASSERT_EQ(p->rules.size(), 1u);
    EXPECT_EQ(p->rules[0].value, "20");
    EXPECT_TRUE(p->splitRules);
    EXPECT_EQ(p->challenge, (std::array<std::uint8_t, 4>{10, 11, 12, 13}));
    EXPECT_EQ(table.find((127u << 24) | (2u << 16) | 17, 27015)->kind, Kind::Silent);
    EXPECT_EQ(ports, (std::vector<std::uint16_t>{27015, 27020}));

    for (const char* bad : {"server 10.0.0.1", "server 127.0.0.1 players=300", "server 127.0.0.1 colour=red",
                            "server 127.0.0.1 name=\"open", "range 127.255.255.0 count=100 step=16",
                            "range 127.0.0.1", "serve 127.0.0.1", "server 127.0.0.1 kind=quake"})
        EXPECT_THROW(applyProfileLine(bad, table, ports), std::invalid_argument) << bad;
}

// What the tests of one-fragment replies rely on: the emulator really sends them so.
TEST(EmuReplies, SingleModeSendsEveryReplyAsOneFragmentOfATotalOfOne)
{
    Profile p = smallProfile(Kind::Source);
    p.playerList = {{"Ann", 5, 1.0f}};
    p.rules = {{"sv_gravity", "800"}};
    const auto c = challengeFor(p, Addr);
    for (const bool older : {false, true}) {
        p.newerSplit = {1248, true, FragmentOrder::Forward, -1, older, true};
        for (const char type : {'U', 'V'}) {
            const Datagram asked = request(std::string_view("\xFF\xFF\xFF\xFF", 4)) +
                                   Datagram{std::uint8_t(type)} + Datagram{c[0], c[1], c[2], c[3]};
            const auto got = answer(p, asked, Addr, Port);
            ASSERT_EQ(got.size(), 1u) << type;
            const Datagram& d = got[0];
            const std::size_t header = older ? 10 : 12;
            ASSERT_GT(d.size(), header + 11) << type;
            EXPECT_EQ(d[0], 0xFE);
            EXPECT_EQ(d[7] & 0x80, 0x80) << "compressed";
            EXPECT_EQ(d[8], 1) << "total";
            EXPECT_EQ(d[9], 0) << "number";
            EXPECT_EQ(
                std::string(d.begin() + std::ptrdiff_t(header + 8), d.begin() + std::ptrdiff_t(header + 11)),
                "BZh");
        }
    }
    // A profile line says so too.
    ProfileTable table;
    std::vector<std::uint16_t> ports;
    applyProfileLine("server 127.0.1.9:27015 kind=source nsplit=1248 bzip=1 single=1", table, ports);
    const auto parsed = table.find((127u << 24) | (1u << 8) | 9, 27015);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_TRUE(parsed->newerSplit.single);
}
