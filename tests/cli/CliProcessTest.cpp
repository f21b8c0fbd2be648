#include "CliFixtures.h"
#include "emu/ProfileTable.h"

#include <gtest/gtest.h>

using namespace vantry::test;

// The program itself: the command words reach the command line before any window is made, and
// its exit status and messages are what scripts see.
TEST(CliProgram, ExitStatusAndMessagesOfTheRealProgram)
{
    vantry::emu::ProfileTable table;
    table.add(loopback(0, 9, 1), 27015, vantry::emu::defaultsFor(vantry::emu::Kind::Source));
    auto servers = startServers(std::move(table));

    const CliResult answered = runProgram({"query", "127.0.9.1", "--timeout", "2000"});
    EXPECT_EQ(answered.status, 0) << answered.err;
    EXPECT_EQ(answered.out.substr(0, 20), "127.0.9.1:27015\tCSS\t");
    EXPECT_EQ(answered.err, "");

    const CliResult none =
        runProgram({"sweep", "127.0.9.2", "127.0.9.40", "--delay", "0", "--timeout", "200"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "vantry: no server answered\n");

    for (const auto& [words, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"query"}, "vantry: query wants at least one HOST[:PORT]\n"},
             {{"query", "127.0.9.1", "--port", "0"},
              "vantry: --port wants a number from 1 to 65535, not '0'\n"},
             {{"sweep", "127.0.9.1", "bad"}, "vantry: 'bad' is not a dotted IPv4 address\n"},
             {{"query", "127.0.9.1", "--settings", "/nonexistent/vantry.ini"},
              "vantry: cannot read the settings file '/nonexistent/vantry.ini'\n"},
             {{"query", "no-such-host.invalid"}, "vantry: cannot find the address of 'no-such-host.invalid'"},
         }) {
        const CliResult bad = runProgram(words);
        EXPECT_EQ(bad.status, 2) << message;
        EXPECT_EQ(bad.out, "");
        EXPECT_EQ(bad.err.substr(0, message.size()), message);
        EXPECT_NE(bad.err.find("Try 'vantry query --help'."), std::string::npos) << bad.err;
    }

    const CliResult help = runProgram({"sweep", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.substr(0, 31), "usage: vantry query HOST[:PORT]");
}
