// "vantry master" with the community masters and HTTP list, the real program against emulated ones.
#include "CliFixtures.h"
#include "emu/ProfileTable.h"
#include "emu/XashMasterEmu.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>

using namespace vantry;
using namespace vantry::test;

namespace {

CliResult run(const std::vector<std::string>& words)
{
    return runProgram(words, plainEnvironment());
}

std::vector<std::string> sortedLines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<emu::ListedAddress> range(std::uint32_t third, int count)
{
    std::vector<emu::ListedAddress> out;
    for (int i = 0; i < count; ++i)
        out.push_back(
            {loopback(9, static_cast<std::uint8_t>(third), static_cast<std::uint8_t>(1 + i)), 27015});
    return out;
}

} // namespace

TEST(XashCli, ListsEveryMasterAndTheHttpListOnceAndQueriesThem)
{
    const std::vector<emu::ListedAddress> cs = range(1, 120);  // two datagrams
    const std::vector<emu::ListedAddress> extra = range(2, 3); // only in the HTTP list
    emu::XashMasterOptions limited;
    limited.perSecond = 1;
    emu::XashMasterEmu first({{"cstrike", cs}}, limited);
    emu::XashMasterEmu second({{"cstrike", {cs.begin(), cs.begin() + 10}}}, {}, loopback(0, 0, 2));
    std::vector<emu::ListedAddress> listed = extra;
    listed.push_back(cs[0]);
    emu::HttpListEmu list({{"cstrike", emu::httpListBody(listed)}});
    first.start();
    second.start();
    list.start();

    const CliResult r = run({"master", "--xash-master", first.endpointText(), "--xash-master",
                             second.endpointText(), "--list-url", list.baseUrl(), "--not-empty"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<std::string> expected;
    for (const auto& v : {cs, extra})
        for (const emu::ListedAddress& a : v)
            expected.push_back("127.9." + std::to_string(a.address >> 8 & 0xFF) + "." +
                               std::to_string(a.address & 0xFF) + ":27015");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sortedLines(r.out), expected);
    ASSERT_FALSE(first.infoSeen().empty());
    EXPECT_NE(first.infoSeen().front().find("\\gamedir\\cstrike"), std::string::npos);
    EXPECT_NE(first.infoSeen().front().find("\\empty\\1"), std::string::npos);

    // Half-Life servers are asked under the folder "valve"; with --query every one is asked.
    emu::ProfileTable table;
    for (const emu::ListedAddress& a : extra)
        table.add(a.address, a.port, emu::defaultsFor(emu::Kind::Hl1));
    auto servers = startServers(std::move(table));
    emu::XashMasterEmu hl({{"valve", extra}}, {}, loopback(0, 0, 3));
    hl.start();
    const CliResult queried = run({"master", "--xash-master", hl.endpointText(), "--game", "HL", "--query",
                                   "--json", "--timeout", "2000"});
    EXPECT_EQ(queried.status, 0) << queried.err;
    EXPECT_EQ(jsonArray(queried.out).size(), 3);
}

TEST(XashCli, BadSourcesAreRefusedAndASilentMasterIsTold)
{
    for (const auto& [words, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"master", "--xash-master", "127.0.0.1:0"},
              "vantry: the port of '127.0.0.1:0' is not a number from 1 to 65535"},
             {{"master", "--xash-master"}, "vantry: --xash-master wants HOST[:PORT]"},
             {{"master", "--list-url", "ftp://127.0.0.1/"},
              "vantry: --list-url wants an http:// or https://"},
             {{"master", "--xash", "--game", "CSS"}, "vantry: the Xash3D lists hold HL, 1.5, 1.6 and CZ"},
         }) {
        const CliResult r = run(words);
        EXPECT_EQ(r.status, 2) << words[1];
        EXPECT_EQ(r.err.substr(0, message.size()), message) << r.err;
    }
    const CliResult help = run({"master", "--help"});
    EXPECT_NE(help.out.find("--xash-master HOST[:PORT]"), std::string::npos);
    EXPECT_NE(help.out.find("--list-url URL"), std::string::npos);

    emu::XashMasterEmu gone({{"cstrike", range(3, 1)}});
    gone.start();
    const std::string where = gone.endpointText();
    gone.stop();
    const CliResult silent = run({"master", "--xash-master", where});
    EXPECT_EQ(silent.status, 1);
    EXPECT_NE(silent.err.find("Master server " + where + " did not answer."), std::string::npos)
        << silent.err;
}
