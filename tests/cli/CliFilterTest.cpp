// The command line's filters print only the servers the window's filter bar would show.
#include "CliFixtures.h"
#include "cli/CliArguments.h"
#include "cli/MasterArguments.h"
#include "emu/MasterEmu.h"
#include "emu/ProfileTable.h"

#include <gtest/gtest.h>
#include <set>
#include <sstream>

using namespace vantry::test;
using vantry::emu::Kind;
using vantry::emu::Profile;
using vantry::emu::ProfileTable;

namespace {

// Five servers on 127.7.0.1 to .5 that differ in name, map, players and password.
ProfileTable table()
{
    ProfileTable t;
    Profile friends = vantry::emu::defaultsFor(Kind::Hl1);
    friends.name = "Дружный СЕРВЕР";
    friends.players = 5;
    t.add(loopback(7, 0, 1), 27015, friends);
    Profile full = vantry::emu::defaultsFor(Kind::Hl1);
    full.name = "Full house";
    full.map = "cs_office";
    full.players = full.maxPlayers;
    t.add(loopback(7, 0, 2), 27015, full);
    Profile locked = vantry::emu::defaultsFor(Kind::Source);
    locked.name = "Locked";
    locked.map = "de_inferno";
    locked.players = 3;
    locked.password = 1;
    t.add(loopback(7, 0, 3), 27015, locked);
    Profile empty = vantry::emu::defaultsFor(Kind::Hl1);
    empty.name = "Empty";
    empty.map = "de_dust2";
    empty.players = 0;
    t.add(loopback(7, 0, 4), 27015, empty);
    Profile other = vantry::emu::defaultsFor(Kind::Hl1);
    other.name = "Another server";
    other.map = "DE_DUST";
    other.players = 1;
    t.add(loopback(7, 0, 5), 27015, other);
    return t;
}

const std::vector<std::string> Hosts = {"127.7.0.1", "127.7.0.2", "127.7.0.3", "127.7.0.4", "127.7.0.5"};

// The last octets of the servers printed, one a line.
std::set<int> printed(const CliResult& r)
{
    std::set<int> out;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        const std::size_t colon = line.find(':');
        const std::size_t dot = line.rfind('.', colon);
        out.insert(std::stoi(line.substr(dot + 1, colon - dot - 1)));
    }
    return out;
}

CliResult query(std::vector<std::string> filters)
{
    std::vector<std::string> words = {"query"};
    words.insert(words.end(), Hosts.begin(), Hosts.end());
    words.insert(words.end(), {"--delay", "0", "--timeout", "1500"});
    words.insert(words.end(), filters.begin(), filters.end());
    return runInProcess(words);
}

} // namespace

TEST(CliFilter, EachFilterPrintsOnlyTheServersThatPassItAsTheWindowDoes)
{
    auto servers = startServers(table());
    EXPECT_EQ(printed(query({})), (std::set<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(printed(query({"--not-full"})), (std::set<int>{1, 3, 4, 5}));
    EXPECT_EQ(printed(query({"--not-empty"})), (std::set<int>{1, 2, 3, 5}));
    EXPECT_EQ(printed(query({"--no-password"})), (std::set<int>{1, 2, 4, 5}));
    EXPECT_EQ(printed(query({"--map", "dust"})), (std::set<int>{1, 4, 5})) << "a part of the map, any case";
    EXPECT_EQ(printed(query({"--name=сервер"})), (std::set<int>{1})) << "Cyrillic names whatever their case";
    EXPECT_EQ(printed(query({"--name", "SERVER"})), (std::set<int>{5}));
    EXPECT_EQ(printed(query({"--max-ping", "9999"})), (std::set<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(printed(query({"--not-full", "--not-empty", "--no-password", "--map", "DUST"})),
              (std::set<int>{1, 5}));

    // Servers answered but none passes: nothing printed, and the answer still counts.
    const CliResult none = query({"--name", "nobody by this name"});
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, "");
    const CliResult json = query({"--map", "office", "--json"});
    EXPECT_EQ(jsonArray(json.out).size(), 1);

    // A sweep takes the same filters.
    const CliResult swept = runInProcess({"sweep", "127.7.0.1", "127.7.0.5", "--delay", "0", "--timeout",
                                          "1500", "--no-password", "--not-full"});
    EXPECT_EQ(printed(swept), (std::set<int>{1, 4, 5})) << swept.err;
}

TEST(CliFilter, MasterQueryPrintsOnlyWhatPassesAndTheMasterIsAskedTheSame)
{
    ProfileTable t = table();
    vantry::emu::MasterEmu master(vantry::emu::masterBookFrom(t, 27015));
    master.start();
    auto servers = startServers(std::move(t));
    const CliResult r = runInProcess({"master", "--master", master.endpointText(), "--pace", "0", "--query",
                                      "--delay", "0", "--timeout", "1500", "--not-empty", "--map", "DUST"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(printed(r), (std::set<int>{1, 5}));
    ASSERT_FALSE(master.filtersSeen().empty());
    EXPECT_NE(master.filtersSeen().front().find("\\empty\\1"), std::string::npos);
}

TEST(CliFilter, BadFilterArgumentsAreNamed)
{
    const auto error = [](std::vector<std::string> words) {
        return vantry::cli::parseArguments(words).error;
    };
    EXPECT_EQ(error({"query", "h", "--max-ping", "fast"}),
              "--max-ping wants milliseconds from 1 to 9999, not 'fast'");
    EXPECT_EQ(error({"query", "h", "--max-ping", "0"}),
              "--max-ping wants milliseconds from 1 to 9999, not '0'");
    EXPECT_EQ(error({"query", "h", "--max-ping"}), "--max-ping wants milliseconds from 1 to 9999");
    EXPECT_EQ(error({"query", "h", "--map"}), "--map wants a text");
    EXPECT_EQ(error({"query", "h", "--name="}), "--name wants a text");
    EXPECT_EQ(error({"sweep", "127.0.0.1", "127.0.0.2", "--not-full=yes"}), "--not-full takes no value");
    EXPECT_EQ(vantry::cli::parseArguments({"master", "--max-ping", "-5"}).error,
              "--max-ping wants milliseconds from 1 to 9999, not '-5'");
    const auto ok = vantry::cli::parseArguments({"master", "--no-password", "--name", "x"});
    ASSERT_TRUE(ok.options) << ok.error;
    EXPECT_TRUE(ok.options->printed.noPassword) << "the master's filter holds for the answers too";
    EXPECT_EQ(ok.options->printed.name, "x");
    EXPECT_NE(vantry::cli::usageText().find("--max-ping MS"), std::string::npos);
    EXPECT_NE(vantry::cli::masterUsageText().find("--max-ping MS"), std::string::npos);
}
