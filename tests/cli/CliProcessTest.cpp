#include "CliFixtures.h"
#include "emu/ProfileTable.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
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

// A part with a leading zero is decimal, as the window reads it: 127.0.0.010 is 127.0.0.10, never
// the 127.0.0.8 that a resolver's octal would make of it.
TEST(CliProgram, LeadingZerosOfAnAddressAreDecimalAsInTheWindow)
{
    const auto serve = [](std::uint8_t last, const char* name) {
        vantry::emu::Profile profile = vantry::emu::defaultsFor(vantry::emu::Kind::Source);
        profile.name = name;
        vantry::emu::ProfileTable table;
        table.add(loopback(0, 0, last), 27015, profile);
        auto server =
            std::make_unique<vantry::emu::EmuServer>(std::move(table), std::vector<std::uint16_t>{27015});
        server->bindEachAddress({loopback(0, 0, last)});
        server->start();
        return server;
    };
    const auto decimal = serve(10, "decimal");
    const auto octal = serve(8, "octal");
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"query", "127.0.0.010:27015"},
          std::vector<std::string>{"sweep", "127.0.0.010", "127.0.0.010", "--port", "27015"}}) {
        std::vector<std::string> command = words;
        command.insert(command.end(), {"--json", "--timeout", "2000"});
        const CliResult r = runProgram(command, plainEnvironment());
        EXPECT_EQ(r.status, 0) << words[0] << "\n" << r.err;
        const QJsonArray servers = jsonArray(r.out);
        ASSERT_EQ(servers.size(), 1) << r.out;
        EXPECT_EQ(servers[0].toObject()[QStringLiteral("address")].toString(), QStringLiteral("127.0.0.10"));
        EXPECT_EQ(servers[0].toObject()[QStringLiteral("name")].toString(), QStringLiteral("decimal"));
    }
    EXPECT_GE(decimal->requestsReceived(), 2u);
    EXPECT_EQ(octal->requestsReceived(), 0u);
}
