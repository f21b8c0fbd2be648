#include "CliFixtures.h"
#include "emu/ProfileTable.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>

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

// Names are looked up only where a test answers them: no test asks the machine's resolver.
TEST(CliProgram, HostNamesAreLookedUpAndANameThatDoesNotResolveIsNamed)
{
    vantry::emu::ProfileTable table;
    table.add(loopback(0, 9, 3), 27016, vantry::emu::defaultsFor(vantry::emu::Kind::Source));
    auto servers = startServers(std::move(table), {27016});

    std::vector<std::string> asked;
    const auto lookup = [&](const std::string& host, std::string& reason) -> std::optional<std::uint32_t> {
        asked.push_back(host);
        if (host == "box.test")
            return loopback(0, 9, 3);
        reason = "Name or service not known";
        return std::nullopt;
    };
    const CliResult found =
        runInProcess({"query", "box.test:27016", "127.0.9.3:27016", "--timeout", "2000"}, lookup);
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.out.substr(0, 20), "127.0.9.3:27016\tCSS\t");
    EXPECT_EQ(std::count(found.out.begin(), found.out.end(), '\n'), 1) << "one server, named twice";

    const CliResult bad = runInProcess({"query", "127.0.9.3", "no-such-host.invalid"}, lookup);
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err,
              "vantry: cannot find the address of 'no-such-host.invalid': Name or service not known\n"
              "Try 'vantry query --help'.\n");
    // Dotted quads are never looked up.
    EXPECT_EQ(asked, (std::vector<std::string>{"box.test", "no-such-host.invalid"}));
}

// The system's lookup, on the one name that the hosts file answers without a resolver.
TEST(CliProgram, SystemLookupAnswersLocalhostFromTheHostsFile)
{
    std::ifstream hosts("/etc/hosts");
    bool listed = false;
    for (std::string line; std::getline(hosts, line);) {
        std::istringstream words(line);
        std::string address, name;
        words >> address;
        while (address == "127.0.0.1" && words >> name)
            listed = listed || name == "localhost";
    }
    if (!listed)
        GTEST_SKIP() << "/etc/hosts does not name 127.0.0.1 localhost; the lookup would ask a resolver";
    std::string reason;
    EXPECT_EQ(vantry::cli::systemHostLookup("localhost", reason), 0x7F000001u) << reason;
}
