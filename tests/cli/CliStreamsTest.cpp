#include "CliFixtures.h"
#include "cli/StandardStreams.h"
#include "emu/ProfileTable.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vantry::test;

namespace {

std::string joined(const std::vector<std::string>& words)
{
    std::string out;
    for (const std::string& w : words)
        out += (out.empty() ? "" : " ") + w;
    return out;
}

} // namespace

// A script must be able to tell that what it asked for never arrived: a full disk or a closed
// standard output is said on standard error, with its own status, for every command and --json.
TEST(CliStreams, OutputThatCannotBeWrittenIsReported)
{
    vantry::emu::ProfileTable table;
    table.add(loopback(0, 12, 1), 27015, vantry::emu::defaultsFor(vantry::emu::Kind::Source));
    auto servers = startServers(std::move(table));

    const std::vector<std::vector<std::string>> commands = {
        {"query", "127.0.12.1", "--timeout", "2000"},
        {"query", "127.0.12.1", "--timeout", "2000", "--json"},
        {"sweep", "127.0.12.1", "127.0.12.1", "--timeout", "500"},
        {"sweep", "127.0.12.1", "127.0.12.1", "--timeout", "500", "--json"},
        {"master", "--master", "127.0.12.9", "--master-timeout", "300", "--json"},
        {"query", "--help"},
        {"--help"},
    };
    for (const std::vector<std::string>& command : commands) {
        const std::string name = joined(command);
        const CliResult full =
            runProgram(command, QProcessEnvironment::systemEnvironment(), QStringLiteral(">/dev/full"));
        EXPECT_EQ(full.status, vantry::cli::ExitOutputLost) << name << "\n" << full.err;
        EXPECT_NE(full.err.find("vantry: cannot write the output: No space left on device"),
                  std::string::npos)
            << name << "\n"
            << full.err;

        const CliResult closed =
            runProgram(command, QProcessEnvironment::systemEnvironment(), QStringLiteral(">&-"));
        EXPECT_EQ(closed.status, vantry::cli::ExitOutputLost) << name << "\n" << closed.err;
        EXPECT_NE(closed.err.find("vantry: standard output is closed; the output was lost"),
                  std::string::npos)
            << name << "\n"
            << closed.err;
    }

    // The same commands with somewhere to write still succeed; a closed standard input harms
    // nothing.
    const CliResult fine = runProgram({"query", "127.0.12.1", "--timeout", "2000"},
                                      QProcessEnvironment::systemEnvironment(), QStringLiteral("<&-"));
    EXPECT_EQ(fine.status, 0) << fine.err;
    EXPECT_EQ(fine.out.substr(0, 21), "127.0.12.1:27015\tCSS\t");
    EXPECT_EQ(fine.err, "");
}

// Options the window program does not know get the usage and status 2 before anything needs a
// display: without one, Qt would abort with a core dump.
TEST(CliStreams, UnknownOptionsOfTheWindowProgramGetTheUsage)
{
    for (const QProcessEnvironment& env : {plainEnvironment(), QProcessEnvironment::systemEnvironment()}) {
        for (const std::vector<std::string>& command :
             std::vector<std::vector<std::string>>{{"--bogus"},
                                                   {"--scan", "-x"},
                                                   {"--settings", "a.ini", "--bogus=1"},
                                                   {"--scan", "stray"},
                                                   {"--settings"}}) {
            const std::string name = joined(command);
            const CliResult bad = runProgram(command, env);
            EXPECT_EQ(bad.status, 2) << name << "\n" << bad.err;
            EXPECT_EQ(bad.out, "") << name;
            EXPECT_NE(bad.err.find("usage: vantry [--settings FILE] [--scan]"), std::string::npos)
                << name << "\n"
                << bad.err;
        }
        const CliResult named = runProgram({"--bogus"}, env);
        EXPECT_EQ(named.err.substr(0, 33), "vantry: unknown option '--bogus'\n");
    }
    // Qt's own options pass through to Qt, and the window starts (a copy already running would be
    // brought forward instead; either way, no usage).
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QProcessEnvironment offscreen = QProcessEnvironment::systemEnvironment();
    offscreen.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.path());
    QProcess window;
    window.setProcessEnvironment(offscreen);
    window.start(QStringLiteral(VANTRY_BINARY),
                 {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("-reverse"),
                  QStringLiteral("--settings"), folder.filePath(QStringLiteral("vantry.ini"))});
    if (window.waitForFinished(1500)) {
        EXPECT_NE(window.exitCode(), 2);
        EXPECT_FALSE(window.readAllStandardError().contains("unknown option"));
    } else {
        window.kill();
        window.waitForFinished();
    }
}

// Words that are not IPv4 addresses are named as such, and a dotted number that is not an address
// never reaches the resolver.
TEST(CliStreams, Ipv6AndBadDottedNumbersAreRefusedWithoutALookup)
{
    std::vector<std::string> asked;
    const vantry::cli::HostLookup lookup = [&](const std::string& host, std::string& reason) {
        asked.push_back(host);
        reason = "Name or service not known";
        return std::optional<std::uint32_t>();
    };
    for (const std::string word : {"::1", "[::1]:27015", "fe80::1%lo", "2001:db8::1"}) {
        for (const std::vector<std::string>& words : {std::vector<std::string>{"query", word},
                                                      std::vector<std::string>{"master", "--master", word}}) {
            const CliResult r = runInProcess(words, lookup);
            EXPECT_EQ(r.status, 2) << word;
            EXPECT_NE(r.err.find("'" + word +
                                 "' is an IPv6 address; Vantry reaches servers over IPv4 only "
                                 "(IPv6 is not supported yet)"),
                      std::string::npos)
                << r.err;
        }
    }
    for (const std::string word : {"256.1.1.1", "1.2.3", "1.2.3.4.5:27015", "300.0.0.1:27016"}) {
        for (const std::vector<std::string>& words : {std::vector<std::string>{"query", word},
                                                      std::vector<std::string>{"master", "--master", word}}) {
            const CliResult r = runInProcess(words, lookup);
            EXPECT_EQ(r.status, 2) << word;
            EXPECT_NE(r.err.find("is not a valid IPv4 address"), std::string::npos) << r.err;
        }
    }
    EXPECT_TRUE(asked.empty()) << asked.front();
}
