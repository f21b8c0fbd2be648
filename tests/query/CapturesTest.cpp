#include "Captures.h"

#include "query/Dispatcher.h"
#include "query/Hl1Info.h"
#include "query/SourceInfo.h"
#include "query/Text.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace vantry::query;
using namespace vantry::test;

namespace {

const Endpoint Sender{*Endpoint::parse("127.0.0.1", 27016)};

class Captures : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Missing data is a failure: a skip would pass a tree that lost its captures.
        m_dir = capturesDir();
        ASSERT_TRUE(std::filesystem::is_directory(m_dir)) << "no captures at " << m_dir;
        m_notes = readNotes(m_dir);
        ASSERT_FALSE(m_notes.empty()) << "no SOURCES.md in " << m_dir;
    }

    std::vector<std::string> files(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(prefix, 0) == 0 && entry.path().extension() == ".hex")
                out.push_back(name);
        }
        std::sort(out.begin(), out.end());
        if (out.empty())
            ADD_FAILURE() << "no captures named " << prefix << "* in " << m_dir;
        return out;
    }

    Datagram hex(const std::string& file) const { return readHex(m_dir / file); }

    const CaptureNotes& notes(const std::string& title) const
    {
        static const CaptureNotes none;
        const auto it = m_notes.find(title);
        if (it == m_notes.end()) {
            ADD_FAILURE() << "no notes for " << title;
            return none;
        }
        return it->second;
    }

    std::filesystem::path m_dir;
    std::map<std::string, CaptureNotes> m_notes;
};

std::string field(const CaptureNotes& n, const std::string& key)
{
    const auto it = n.fields.find(key);
    if (it == n.fields.end()) {
        ADD_FAILURE() << "no field " << key;
        return {};
    }
    return it->second;
}

// The listed texts were written from the raw bytes; our records keep the raw bytes.
void expectText(Bytes raw, const std::string& listed, const std::string& what)
{
    EXPECT_EQ(std::string(raw.begin(), raw.end()), jsonString(listed)) << what;
}

std::optional<std::pair<std::string, Image>> listedHl1Kind(const std::string& game, int protocol)
{
    if (game == "Counter-Strike")
        return std::pair{"1.6", Image::CounterStrike};
    if (game == "HLTV")
        return std::pair{protocol == 46 ? "1.5" : "1.6", Image::Hltv};
    if (game == "CounterStrike")
        return std::pair{"1.5", Image::CounterStrike};
    if (game == "Half-Life")
        return std::pair{"HL", Image::HalfLife};
    if (game == "Condition Zero")
        return std::pair{"CZ", Image::ConditionZero};
    return std::nullopt;
}

// A description a plugin replaced: the game directory of one of our HL1 games.
std::optional<std::pair<std::string, Image>> hl1Folder(const std::string& folder)
{
    if (folder == "cstrike")
        return std::pair{"1.6", Image::CounterStrike};
    if (folder == "czero")
        return std::pair{"CZ", Image::ConditionZero};
    if (folder == "valve")
        return std::pair{"HL", Image::HalfLife};
    return std::nullopt;
}

std::optional<std::pair<std::string, Image>> sourceKind(const std::string& game, const std::string& folder,
                                                        int protocol, long app)
{
    if (game == "Deathmatch")
        return std::pair{"HL2", Image::HalfLife2};
    if (game == "Counter-Strike: Source" || game == "Counter-Strike:Source Bots Enabled")
        return std::pair{"CSS", Image::Source};
    const bool older = protocol == 48 || app == 10 || app == 80 || app == 70;
    if (older)
        if (auto kind = listedHl1Kind(game, protocol))
            return kind;
    if (folder == "cstrike" && app == 240)
        return std::pair{"CSS", Image::Source};
    if (folder == "hl2mp" || app == 320)
        return std::pair{"HL2", Image::HalfLife2};
    return hl1Folder(folder);
}

void expectListedRules(const std::vector<RuleRow>& rules, const CaptureNotes& n, const std::string& what)
{
    ASSERT_TRUE(n.entries) << what;
    const std::size_t shown = std::min<std::size_t>(*n.entries & 0xFF, Dispatcher::RulesTableSize);
    ASSERT_EQ(rules.size(), shown) << what;
    ASSERT_FALSE(n.rules.empty()) << what;
    EXPECT_EQ(rules.front().name, n.rules.front().first) << what;
    EXPECT_EQ(rules.front().value, n.rules.front().second) << what;
    if (shown != static_cast<std::size_t>(*n.entries))
        return;
    EXPECT_EQ(rules.back().name, n.rules.back().first) << what;
    EXPECT_EQ(rules.back().value, n.rules.back().second) << what;
    for (const auto& listed : n.rules) {
        const bool found = std::any_of(rules.begin(), rules.end(), [&](const RuleRow& r) {
            return r.name == listed.first && r.value == listed.second;
        });
        EXPECT_TRUE(found) << what << ": " << listed.first;
    }
}

} // namespace

TEST_F(Captures, Hl1InfoRepliesDecodeToTheirListedValues)
{
    const auto names = files("goldsrc_m_");
    ASSERT_FALSE(names.empty());
    for (const std::string& file : names) {
        SCOPED_TRACE(file);
        const CaptureNotes& n = notes(file);
        const Datagram d = hex(file);
        const THL1info info = decodeHL1info(view(d));
        expectText(info.address, field(n, "address"), "address");
        expectText(info.name, field(n, "name"), "name");
        expectText(info.map, field(n, "map"), "map");
        expectText(info.gameDirectory, field(n, "folder"), "folder");
        expectText(info.description, field(n, "game"), "game");
        EXPECT_EQ(info.players, leadingNumber(field(n, "players")));
        EXPECT_EQ(info.maxPlayers, leadingNumber(field(n, "max_players")));
        EXPECT_EQ(info.protocol, leadingNumber(field(n, "protocol")));
        EXPECT_EQ(info.serverType, leadingNumber(field(n, "server type")));
        EXPECT_EQ(info.os, leadingNumber(field(n, "os")));
        EXPECT_EQ(info.password, leadingNumber(field(n, "password")));
        EXPECT_EQ(info.mod, leadingNumber(field(n, "mod flag")));

        Requests requests;
        Dispatcher dispatcher(requests);
        const Outcome o = dispatcher.dispatch(view(d), Sender);
        auto kind =
            listedHl1Kind(std::string(info.description.begin(), info.description.end()), info.protocol);
        if (!kind)
            kind = hl1Folder(std::string(info.gameDirectory.begin(), info.gameDirectory.end()));
        if (!kind) {
            ASSERT_TRUE(std::holds_alternative<Dropped>(o));
            EXPECT_EQ(std::get<Dropped>(o).reason, DropReason::OtherGame);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<InfoReply>(o));
        const ServerRow& row = std::get<InfoReply>(o).row;
        EXPECT_EQ(std::string(gameText(row.kind)), kind->first);
        EXPECT_EQ(row.kindImage, kind->second);
        EXPECT_EQ(row.name, decodeText(info.name));
        // The port of the reply, whatever the address field (27015, 27020, 27222) says.
        EXPECT_EQ(row.from.port, Sender.port);
        EXPECT_EQ(playersText(row), std::to_string(info.players) + "/" + std::to_string(info.maxPlayers));
    }
}

TEST_F(Captures, SourceInfoRepliesDecodeToTheirListedValues)
{
    auto names = files("source_I_");
    const auto older = files("goldsrc_I_");
    names.insert(names.end(), older.begin(), older.end());
    ASSERT_FALSE(names.empty());
    int listed = 0;
    for (const std::string& file : names) {
        SCOPED_TRACE(file);
        const CaptureNotes& n = notes(file);
        const Datagram d = hex(file);
        const TCSSinfo info = decodeCSSinfo(view(d));
        EXPECT_EQ(info.protocol, leadingNumber(field(n, "protocol")));
        expectText(info.name, field(n, "name"), "name");
        expectText(info.map, field(n, "map"), "map");
        expectText(info.gameDirectory, field(n, "folder"), "folder");
        expectText(info.description, field(n, "game"), "game");
        EXPECT_EQ(info.players, leadingNumber(field(n, "players")));
        EXPECT_EQ(info.maxPlayers, leadingNumber(field(n, "max_players")));
        EXPECT_EQ(info.bots, leadingNumber(field(n, "bots")));
        EXPECT_EQ(info.serverType, leadingNumber(field(n, "server type")));
        EXPECT_EQ(info.os, leadingNumber(field(n, "os")));
        EXPECT_EQ(info.password, leadingNumber(field(n, "password")));

        Requests requests;
        Dispatcher dispatcher(requests);
        const Outcome o = dispatcher.dispatch(view(d), (*Endpoint::parse("127.0.0.1", 27016)));
        EXPECT_EQ(info.applicationNumber, leadingNumber(field(n, "appid (u16)")));
        const auto kind = sourceKind(std::string(info.description.begin(), info.description.end()),
                                     std::string(info.gameDirectory.begin(), info.gameDirectory.end()),
                                     info.protocol, info.applicationNumber);
        if (!kind) {
            ASSERT_TRUE(std::holds_alternative<Dropped>(o));
            EXPECT_EQ(std::get<Dropped>(o).reason, DropReason::OtherGame);
            continue;
        }
        ++listed;
        ASSERT_TRUE(std::holds_alternative<InfoReply>(o));
        const ServerRow& row = std::get<InfoReply>(o).row;
        EXPECT_EQ(std::string(gameText(row.kind)), kind->first);
        EXPECT_EQ(row.kindImage, kind->second);
        EXPECT_EQ(row.from.port, 27016);
        EXPECT_EQ(row.name, decodeText(info.name));
        EXPECT_EQ(row.map, decodeText(info.map));
        EXPECT_EQ(protocolText(row), std::to_string(info.protocol));
    }
    EXPECT_GT(listed, 0);
}

TEST_F(Captures, ChallengeBytesAreEchoedVerbatim)
{
    for (const std::string& file : files("challenge_A_")) {
        SCOPED_TRACE(file);
        const Datagram d = hex(file);
        Requests requests;
        Dispatcher dispatcher(requests);
        ASSERT_TRUE(std::holds_alternative<ChallengeAnswer>(dispatcher.dispatch(view(d), Sender)));
        const auto players = requests.playersChallenge();
        const auto rules = requests.rulesChallenge();
        EXPECT_TRUE(std::equal(d.begin() + 5, d.begin() + 9, players.begin() + 5));
        EXPECT_TRUE(std::equal(d.begin() + 5, d.begin() + 9, rules.begin() + 5));
        EXPECT_EQ(players[4], 'U');
        EXPECT_EQ(rules[4], 'V');
    }
}

TEST_F(Captures, PlayersRepliesListEveryPlayer)
{
    for (const std::string& file : files("players_D_")) {
        SCOPED_TRACE(file);
        const Datagram d = hex(file);
        Requests requests;
        Dispatcher dispatcher(requests);
        const Outcome o = dispatcher.dispatch(view(d), Sender);
        if (file.find("split") != std::string::npos) {
            // A fragment alone is held for its reply.
            ASSERT_TRUE(std::holds_alternative<Dropped>(o));
            EXPECT_EQ(std::get<Dropped>(o).reason, DropReason::PartialReply);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<PlayersReply>(o));
        const auto& players = std::get<PlayersReply>(o).players;
        const CaptureNotes& n = notes(file);
        ASSERT_TRUE(n.entries);
        if (file.find("ship") != std::string::npos) {
            // The Ship appends more fields per player, which read as further records.
            EXPECT_GE(players.size(), static_cast<std::size_t>(*n.entries));
            continue;
        }
        ASSERT_EQ(players.size(), static_cast<std::size_t>(*n.entries));
        EXPECT_TRUE(std::is_sorted(players.begin(), players.end(),
                                   [](const PlayerRow& a, const PlayerRow& b) { return a.kills > b.kills; }));
        auto expected = n.players;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        if (expected.size() == players.size()) {
            for (std::size_t i = 0; i < expected.size(); ++i) {
                EXPECT_EQ(players[i].name, expected[i].first) << i;
                EXPECT_EQ(players[i].kills, expected[i].second) << i;
            }
            continue;
        }
        // Only some players are listed: each of them is there.
        for (const auto& listed : expected) {
            const bool found = std::any_of(players.begin(), players.end(), [&](const PlayerRow& p) {
                return p.name == listed.first && p.kills == listed.second;
            });
            EXPECT_TRUE(found) << listed.first;
        }
    }
}

TEST_F(Captures, WholeRulesRepliesListTheirRules)
{
    for (const std::string& file : files("rules_E_")) {
        if (file.find("split") != std::string::npos)
            continue;
        SCOPED_TRACE(file);
        Requests requests;
        Dispatcher dispatcher(requests);
        const Outcome o = dispatcher.dispatch(view(hex(file)), Sender);
        ASSERT_TRUE(std::holds_alternative<RulesReply>(o));
        expectListedRules(std::get<RulesReply>(o).rules, notes(file), file);
    }
}

TEST_F(Captures, TwoFragmentRulesRepliesAreReassembled)
{
    int pairs = 0;
    for (const std::string& file : files("rules_E_split_goldsrc_")) {
        if (file.find("_part1.hex") == std::string::npos)
            continue;
        const std::string stem = file.substr(0, file.size() - std::string("_part1.hex").size());
        SCOPED_TRACE(stem);
        Requests requests;
        Dispatcher dispatcher(requests);
        const Datagram first = hex(file);
        ASSERT_EQ(first.size(), 1400u);
        const Outcome o1 = dispatcher.dispatch(view(first), Sender);
        ASSERT_TRUE(std::holds_alternative<RulesReply>(o1));
        EXPECT_TRUE(std::get<RulesReply>(o1).rules.empty());
        const Datagram last = hex(stem + "_part2.hex");
        // From another server the last fragment does not complete this reply.
        const Outcome stranger = dispatcher.dispatch(view(last), (*Endpoint::parse("127.0.0.2", 27015)));
        EXPECT_TRUE(std::get<RulesReply>(stranger).rules.empty());
        const Outcome o2 = dispatcher.dispatch(view(last), Sender);
        ASSERT_TRUE(std::holds_alternative<RulesReply>(o2));
        expectListedRules(std::get<RulesReply>(o2).rules, notes(stem), stem);
        ++pairs;
    }
    EXPECT_GT(pairs, 0);
}

TEST_F(Captures, NewerEngineSplitRepliesAreReassembled)
{
    // Every captured reply in the order of its files (one was captured out of order), then in
    // reverse; all but the last fragment are held.
    int replies = 0;
    for (const std::string& file : files("rules_E_split_source_")) {
        if (file.find("_part1.hex") == std::string::npos)
            continue;
        const std::string stem = file.substr(0, file.size() - std::string("_part1.hex").size());
        SCOPED_TRACE(stem);
        std::vector<Datagram> parts;
        for (int i = 1; std::filesystem::exists(m_dir / (stem + "_part" + std::to_string(i) + ".hex")); ++i)
            parts.push_back(hex(stem + "_part" + std::to_string(i) + ".hex"));
        ASSERT_GE(parts.size(), 2u);
        for (const bool reversed : {false, true}) {
            if (reversed)
                std::reverse(parts.begin(), parts.end());
            Requests requests;
            Dispatcher dispatcher(requests);
            for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
                const Outcome held = dispatcher.dispatch(view(parts[i]), Sender, 10 * i);
                ASSERT_TRUE(std::holds_alternative<Dropped>(held));
                EXPECT_EQ(std::get<Dropped>(held).reason, DropReason::PartialReply);
            }
            const Outcome o = dispatcher.dispatch(view(parts.back()), Sender, 100);
            ASSERT_TRUE(std::holds_alternative<RulesReply>(o));
            expectListedRules(std::get<RulesReply>(o).rules, notes(stem), stem);
        }
        ++replies;
    }
    EXPECT_EQ(replies, 5);

    for (const std::string stem : {"players_D_split_source_1", "players_D_split_source_2"}) {
        SCOPED_TRACE(stem);
        Requests requests;
        Dispatcher dispatcher(requests);
        dispatcher.dispatch(view(hex(stem + "_part2.hex")), Sender);
        const Outcome o = dispatcher.dispatch(view(hex(stem + "_part1.hex")), Sender);
        ASSERT_TRUE(std::holds_alternative<PlayersReply>(o));
        const CaptureNotes& n = notes(stem);
        ASSERT_TRUE(n.entries);
        const auto& players = std::get<PlayersReply>(o).players;
        EXPECT_EQ(players.size(), static_cast<std::size_t>(*n.entries));
        for (const auto& listed : n.players) {
            const bool found = std::any_of(players.begin(), players.end(), [&](const PlayerRow& p) {
                return p.name == listed.first && p.kills == listed.second;
            });
            EXPECT_TRUE(found) << listed.first;
        }
    }
}

TEST_F(Captures, OlderEngineServersAnsweringInTheNewerLayoutAreListed)
{
    const std::map<std::string, std::pair<std::string, Image>> expected = {
        {"goldsrc_I_1.hex", {"1.6", Image::CounterStrike}}, // description replaced by a clan's name
        {"goldsrc_I_2.hex", {"1.6", Image::CounterStrike}},
        {"goldsrc_I_3.hex", {"1.6", Image::CounterStrike}},
        {"goldsrc_I_4.hex", {"HL", Image::HalfLife}},
        {"goldsrc_I_5.hex", {"CZ", Image::ConditionZero}},
        {"goldsrc_I_7.hex", {"1.6", Image::CounterStrike}},
    };
    for (const std::string& file : files("goldsrc_I_")) {
        SCOPED_TRACE(file);
        Requests requests;
        Dispatcher dispatcher(requests);
        const Outcome o = dispatcher.dispatch(view(hex(file)), (*Endpoint::parse("127.0.0.1", 27016)));
        const auto it = expected.find(file);
        if (it == expected.end()) {
            // Day of Defeat is not one of ours.
            ASSERT_TRUE(std::holds_alternative<Dropped>(o));
            EXPECT_EQ(std::get<Dropped>(o).reason, DropReason::OtherGame);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<InfoReply>(o));
        EXPECT_EQ(std::string(gameText(std::get<InfoReply>(o).row.kind)), it->second.first);
        EXPECT_EQ(std::get<InfoReply>(o).row.kindImage, it->second.second);
        EXPECT_EQ(protocolText(std::get<InfoReply>(o).row), "48");
    }
}
