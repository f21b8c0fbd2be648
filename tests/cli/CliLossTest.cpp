// The command line's queries over a lossy path and with replies of every size: hosts that stay
// silent are asked again, and no datagram is cut.
#include "CliFixtures.h"
#include "emu/ProfileTable.h"

#include <QJsonValue>

#include <gtest/gtest.h>
#include <set>

using namespace vantry::test;
using vantry::emu::FragmentOrder;
using vantry::emu::Kind;
using vantry::emu::Profile;
using vantry::emu::ProfileTable;

namespace {

QString q(const char* text)
{
    return QString::fromUtf8(text);
}

std::set<std::string> addressesIn(const CliResult& r)
{
    std::set<std::string> out;
    for (const QJsonValue& v : jsonArray(r.out))
        out.insert(v.toObject()[q("address")].toString().toStdString());
    return out;
}

Profile deaf(std::uint32_t requests)
{
    Profile p = vantry::emu::defaultsFor(Kind::Source);
    p.ignoreFirst = requests;
    return p;
}

} // namespace

TEST(CliRetries, AHostThatMissedRequestsIsAskedAgainUpToTheRetries)
{
    // Each case on fresh servers: a server counts the requests it ignored.
    const auto tableOf = [] {
        ProfileTable table;
        table.add(loopback(0, 20, 1), 27015, deaf(1));
        table.add(loopback(0, 20, 2), 27015, deaf(2));
        table.add(loopback(0, 20, 3), 27015, deaf(3));
        return table;
    };
    const std::vector<std::string> hosts = {"127.0.20.1", "127.0.20.2", "127.0.20.3"};
    const auto query = [&](std::vector<std::string> options) {
        std::vector<std::string> words = {"query", "--json", "--timeout", "200"};
        words.insert(words.end(), hosts.begin(), hosts.end());
        words.insert(words.end(), options.begin(), options.end());
        return runInProcess(words);
    };
    {
        auto servers = startServers(tableOf());
        const CliResult r = query({});
        EXPECT_EQ(addressesIn(r), (std::set<std::string>{"127.0.20.1", "127.0.20.2"})) << r.err;
        // Two more asks by default, then the host is given up.
        EXPECT_EQ(servers->requestsReceived(), 2u + 3u + 3u);
    }
    {
        auto servers = startServers(tableOf());
        const CliResult r = query({"--retries", "0"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(servers->requestsReceived(), 3u);
    }
    {
        auto servers = startServers(tableOf());
        const CliResult r = query({"--retries=3", "--delay", "0"});
        EXPECT_EQ(addressesIn(r).size(), 3u) << r.out;
    }
    const CliResult bad = runInProcess({"query", "127.0.20.1", "--retries", "11"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err.substr(0, 47), "vantry: --retries wants a number from 0 to 10, ");
}

// Ten retries reach a host that answers only the last ask (the pauses between them, capped at
// twice the time-out, are the session's, on its own clock).
TEST(CliRetries, TenRetriesReachAHostThatAnswersOnlyTheLastAsk)
{
    ProfileTable table;
    table.add(loopback(0, 20, 9), 27015, deaf(10));
    auto servers = startServers(std::move(table));
    const CliResult r =
        runInProcess({"query", "--json", "--timeout", "200", "--retries", "10", "127.0.20.9"});
    EXPECT_EQ(addressesIn(r), (std::set<std::string>{"127.0.20.9"})) << r.err;
    EXPECT_EQ(servers->requestsReceived(), 11u);
}

TEST(CliRetries, WithATenthOfRequestsLostEveryServerAndItsDetailsAreFound)
{
    ProfileTable table;
    Profile p = vantry::emu::defaultsFor(Kind::Source);
    p.playerList = {{"Ann", 5, 1.0f}};
    p.rules = {{"mp_timelimit", "25"}};
    vantry::emu::ProfileRange range;
    range.first = loopback(0, 21, 1);
    range.count = 200;
    range.profile = p;
    table.addRange(range);
    std::vector<std::string> words = {"query",   "--json", "--players", "--rules",
                                      "--delay", "0",      "--timeout", "300"};
    for (int i = 1; i <= 200; ++i)
        words.push_back("127.0.21." + std::to_string(i));

    const auto run = [&](std::vector<std::string> extra) {
        vantry::emu::EmuServer servers(table, {27015});
        servers.setRequestLoss(0.1);
        servers.start();
        std::vector<std::string> all = words;
        all.insert(all.end(), extra.begin(), extra.end());
        const CliResult r = runInProcess(all);
        EXPECT_GT(servers.requestsDropped(), 0u);
        return jsonArray(r.out);
    };
    const QJsonArray found = run({});
    EXPECT_EQ(found.size(), 200);
    for (const QJsonValue& v : found) {
        const QJsonObject s = v.toObject();
        EXPECT_EQ(s[q("player_list")].toArray().size(), 1) << s[q("address")].toString().toStdString();
        EXPECT_EQ(s[q("rules")].toArray().size(), 1) << s[q("address")].toString().toStdString();
    }
    // Asked once, a tenth is missing.
    EXPECT_LT(run({"--retries", "0"}).size(), 195);
}

TEST(CliReplies, APlayersReplyPastAFragmentAndOlderSourceSplitRepliesArriveWhole)
{
    ProfileTable table;
    Profile crowded = vantry::emu::defaultsFor(Kind::Source);
    crowded.widePlayers = true;
    for (int i = 0; i < 200; ++i)
        crowded.playerList.push_back({"player_number_" + std::to_string(i) + "_of_a_full_server", i, 1.0f});
    table.add(loopback(0, 22, 1), 27015, crowded);

    // The older Source engine's fragments, compressed and shuffled, and plain.
    std::vector<vantry::emu::Rule> rules;
    for (int i = 0; i < 150; ++i)
        rules.push_back({"rule_" + std::to_string(i), "value " + std::to_string(i * 31)});
    Profile older = vantry::emu::defaultsFor(Kind::Source);
    older.protocol = 7;
    older.rules = rules;
    older.newerSplit = {400, true, FragmentOrder::Shuffled, -1, true};
    table.add(loopback(0, 22, 2), 27015, older);
    older.newerSplit = {500, false, FragmentOrder::Forward, -1, true};
    table.add(loopback(0, 22, 3), 27015, older);
    auto servers = startServers(std::move(table));

    // The real program, through the batch socket.
    const CliResult r = runProgram({"query", "127.0.22.1", "127.0.22.2", "127.0.22.3", "--json", "--players",
                                    "--rules", "--timeout", "2000"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray a = jsonArray(r.out);
    for (const char* address : {"127.0.22.2", "127.0.22.3"}) {
        const QJsonArray got = serverAt(a, q(address))[q("rules")].toArray();
        EXPECT_EQ(got.size(), 150) << address;
        EXPECT_EQ(got.at(149).toObject()[q("value")].toString(), q("value 4619")) << address;
    }
    const QJsonArray players = serverAt(a, q("127.0.22.1"))[q("player_list")].toArray();
    ASSERT_EQ(players.size(), 200);
    EXPECT_EQ(players[0].toObject()[q("name")].toString(), q("player_number_199_of_a_full_server"));
}

TEST(CliReplies, CompressedRepliesInOneFragmentOfATotalOfOneArriveInBothLayouts)
{
    ProfileTable table;
    Profile single = vantry::emu::defaultsFor(Kind::Source);
    single.playerList = {{"Ann", 5, 1.0f}, {"Bob", 12, 2.0f}};
    for (int i = 0; i < 40; ++i)
        single.rules.push_back({"rule_" + std::to_string(i), "value " + std::to_string(i * 31)});
    single.newerSplit = {1248, true, FragmentOrder::Forward, -1, false, true};
    table.add(loopback(0, 23, 1), 27015, single);
    single.newerSplit.olderHeader = true;
    table.add(loopback(0, 23, 2), 27015, single);
    auto servers = startServers(std::move(table));

    const CliResult r = runProgram(
        {"query", "127.0.23.1", "127.0.23.2", "--json", "--players", "--rules", "--timeout", "2000"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray a = jsonArray(r.out);
    for (const char* address : {"127.0.23.1", "127.0.23.2"}) {
        const QJsonObject server = serverAt(a, q(address));
        const QJsonArray rules = server[q("rules")].toArray();
        ASSERT_EQ(rules.size(), 40) << address;
        EXPECT_EQ(rules.at(39).toObject()[q("value")].toString(), q("value 1209")) << address;
        const QJsonArray players = server[q("player_list")].toArray();
        ASSERT_EQ(players.size(), 2) << address;
        EXPECT_EQ(players[0].toObject()[q("name")].toString(), q("Bob")) << address;
    }
}
