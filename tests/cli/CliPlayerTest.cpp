// --player on the command line: only the servers where a player's name holds the text, each
// with those players, in lines and in JSON, for a query, a sweep and a master's list.
#include "CliFixtures.h"
#include "emu/MasterEmu.h"
#include "emu/ProfileTable.h"

#include <QJsonValue>

#include <gtest/gtest.h>
#include <map>
#include <sstream>

using namespace vantry;
using namespace vantry::test;
using vantry::emu::Kind;
using vantry::emu::Profile;
using vantry::emu::ProfileTable;

namespace {

ProfileTable crowd()
{
    ProfileTable t;
    Profile dust = emu::defaultsFor(Kind::Hl1);
    dust.name = "Dust";
    dust.playerList = {{"Игрок", 4, 100.0f}, {"Anna", 9, 10.0f}};
    t.add(loopback(0, 7, 2), 27015, dust);

    Profile aztec = emu::defaultsFor(Kind::Source);
    aztec.name = "Aztec";
    aztec.playerList = {{"мой ИГРОК", 1, 20.0f}};
    t.add(loopback(0, 7, 3), 27015, aztec);

    Profile empty = dust;
    empty.name = "Empty";
    empty.playerList = {};
    t.add(loopback(0, 7, 4), 27015, empty);

    Profile crowded = emu::defaultsFor(Kind::Source);
    crowded.name = "Crowded";
    crowded.widePlayers = true;
    for (int i = 0; i < 130; ++i)
        crowded.playerList.push_back({"bot " + std::to_string(i), i, 1.0f});
    t.add(loopback(0, 7, 5), 27015, crowded);
    return t;
}

// address -> the names of its players in the JSON output
std::map<std::string, std::vector<std::string>> playersByServer(const std::string& json)
{
    std::map<std::string, std::vector<std::string>> out;
    for (const QJsonValue& v : jsonArray(json)) {
        const QJsonObject server = v.toObject();
        auto& names = out[server[QStringLiteral("address")].toString().toStdString() + ':' +
                          std::to_string(server[QStringLiteral("port")].toInt())];
        for (const QJsonValue& p : server[QStringLiteral("player_list")].toArray())
            names.push_back(p.toObject()[QStringLiteral("name")].toString().toStdString());
    }
    return out;
}

} // namespace

TEST(CliPlayer, QueryAndSweepPrintOnlyTheServersWithSuchAPlayerAndOnlyThosePlayers)
{
    auto servers = startServers(crowd());
    const std::vector<std::string> hosts = {"127.0.7.2", "127.0.7.3", "127.0.7.4", "127.0.7.5", "127.0.7.9"};

    std::vector<std::string> words = {"query"};
    words.insert(words.end(), hosts.begin(), hosts.end());
    for (const char* more : {"--player", "иГРок", "--json", "--timeout", "500", "--retries", "0"})
        words.emplace_back(more);
    const CliResult json = runInProcess(words);
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(playersByServer(json.out), (std::map<std::string, std::vector<std::string>>{
                                             {"127.0.7.2:27015", {"Игрок"}},
                                             {"127.0.7.3:27015", {"мой ИГРОК"}},
                                         }));

    // Lines: the server, then its matching players; 130 players of one server are all searched.
    const CliResult lines = runInProcess({"sweep", "127.0.7.1", "127.0.7.9", "--player", "bot 12",
                                          "--timeout", "500", "--delay", "0", "--retries", "0"});
    ASSERT_EQ(lines.status, 0) << lines.err;
    std::istringstream in(lines.out);
    std::vector<std::string> got;
    // A server's line starts with its address; a player's is "\tplayer\tNAME\tKILLS".
    for (std::string line; std::getline(in, line);) {
        const std::string player = "\tplayer\t";
        if (line.rfind(player, 0) == 0)
            got.push_back('\t' + line.substr(player.size(), line.rfind('\t') - player.size()));
        else
            got.push_back(line.substr(0, line.find('\t')));
    }
    EXPECT_EQ(got, (std::vector<std::string>{"127.0.7.5:27015", "\tbot 129", "\tbot 128", "\tbot 127",
                                             "\tbot 126", "\tbot 125", "\tbot 124", "\tbot 123", "\tbot 122",
                                             "\tbot 121", "\tbot 120", "\tbot 12"}))
        << lines.out;
}

TEST(CliPlayer, NobodySoNamedIsStatusOneAndAnEmptyTextIsRefused)
{
    auto servers = startServers(crowd());
    const CliResult none = runInProcess({"query", "127.0.7.2", "127.0.7.4", "--player",
                                         std::string(5000, 'z'), "--json", "--timeout", "500"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(playersByServer(none.out).size(), 0u);
    EXPECT_NE(none.err.find("no answering server has such a player"), std::string::npos) << none.err;

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"query", "127.0.7.2", "--player"},
          std::vector<std::string>{"query", "127.0.7.2", "--player", ""},
          std::vector<std::string>{"master", "--master", "127.0.7.1", "--query", "--player="}}) {
        const CliResult r = runInProcess(bad);
        EXPECT_EQ(r.status, 2) << bad.back();
        EXPECT_NE(r.err.find("--player wants a part of a player's name"), std::string::npos) << r.err;
    }
}

TEST(CliPlayer, AMastersListedServersAreSearchedToo)
{
    ProfileTable table = crowd();
    auto servers = startServers(table);
    emu::MasterEmu master(emu::masterBookFrom(table, 27015));
    master.start();
    const CliResult r = runInProcess({"master", "--master", master.endpointText(), "--pace", "0", "--query",
                                      "--delay", "0", "--timeout", "1000", "--json", "--player", "anna"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(playersByServer(r.out),
              (std::map<std::string, std::vector<std::string>>{{"127.0.7.2:27015", {"Anna"}}}));
}
