#include "CliFixtures.h"
#include "emu/MasterEmu.h"
#include "emu/ProfileTable.h"
#include "emu/WebApiEmu.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

using namespace vantry;
using namespace vantry::test;

namespace {

const std::string Key = "0123456789ABCDEF0123456789ABCDEF";

CliResult runWith(const std::vector<std::string>& words, const QProcessEnvironment& env)
{
    return runProgram(words, env);
}

CliResult run(const std::vector<std::string>& words)
{
    return runProgram(words, plainEnvironment());
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

void expectNoKey(const CliResult& r, const std::string& key)
{
    EXPECT_EQ(r.out.find(key), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find(key), std::string::npos) << r.err;
}

std::string serverAddress(std::uint32_t i)
{
    return "127.5." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ":27015";
}

} // namespace

// A master listing 4,096 emulated servers: every address printed once, then every server found.
TEST(MasterCli, ListsAndQueriesEveryServerOfAMaster)
{
    emu::ProfileTable table;
    emu::ProfileRange range;
    range.first = loopback(5, 0, 0);
    range.count = 4096;
    range.profile = emu::defaultsFor(emu::Kind::Hl1);
    table.addRange(range);
    emu::MasterEmu master(emu::masterBookFrom(table, 27015));
    master.start();
    auto servers = startServers(std::move(table));

    const std::string at = master.endpointText();
    const CliResult listed =
        run({"master", "--master", at, "--pace", "0", "--game", "CSS", "--not-empty", "--region", "europe"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.err, "");
    const std::vector<std::string> lines = linesOf(listed.out);
    ASSERT_EQ(lines.size(), 4096u);
    for (std::uint32_t i = 0; i < 4096; ++i)
        ASSERT_EQ(lines[i], serverAddress(i));
    EXPECT_EQ(master.filtersSeen().front(), "\\appid\\240\\gamedir\\cstrike\\empty\\1");
    EXPECT_EQ(master.regionsSeen().front(), 3);

    const CliResult queried = run(
        {"master", "--master", at, "--pace", "0", "--query", "--delay", "0", "--timeout", "3000", "--json"});
    EXPECT_EQ(queried.status, 0) << queried.err;
    const QJsonArray found = jsonArray(queried.out);
    EXPECT_EQ(found.size(), 4096);
    EXPECT_EQ(serverAt(found, QStringLiteral("127.5.15.255")).value(QStringLiteral("kind")).toString(),
              QStringLiteral("1.6"));
}

TEST(MasterCli, TheKeyComesFromTheOptionTheEnvironmentOrTheSettingsAndIsNeverShown)
{
    emu::ProfileTable table;
    table.add(loopback(6, 0, 1), 27015, emu::defaultsFor(emu::Kind::Hl1));
    table.add(loopback(6, 0, 2), 27016, emu::defaultsFor(emu::Kind::Hl1));
    emu::WebApiOptions options;
    options.key = Key;
    emu::WebApiEmu api(emu::apiServersFrom(table, 27015), options);
    api.start();
    const std::string url = api.baseUrl();
    const std::vector<std::string> expected = {"127.6.0.1:27015", "127.6.0.2:27016"};

    const CliResult byOption = run({"master", "--steam-key", Key, "--api-url", url});
    EXPECT_EQ(byOption.status, 0) << byOption.err;
    EXPECT_EQ(linesOf(byOption.out), expected);

    QProcessEnvironment env = plainEnvironment();
    env.insert(QStringLiteral("VANTRY_STEAM_KEY"), QString::fromStdString(Key));
    const CliResult byEnvironment = runWith({"master", "--api-url", url, "--json"}, env);
    EXPECT_EQ(byEnvironment.status, 0) << byEnvironment.err;
    const QJsonArray listed = jsonArray(byEnvironment.out);
    ASSERT_EQ(listed.size(), 2);
    const QJsonObject first = listed[0].toObject();
    EXPECT_EQ(first.value(QStringLiteral("name")).toString(), QStringLiteral("Vantry emulated server"));
    EXPECT_EQ(first.value(QStringLiteral("port")).toInt(), 27015);
    EXPECT_EQ(first.value(QStringLiteral("source")).toString(), QStringLiteral("steam"));
    expectNoKey(byEnvironment, Key);

    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("vantry.ini"));
    {
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("[Settings]\nCSPort=27015\n[Master]\nSteamKey=" + Key + "\n").c_str());
    }
    const CliResult bySettings = run({"master", "--settings", ini.toStdString(), "--api-url", url});
    EXPECT_EQ(bySettings.status, 0) << bySettings.err;
    EXPECT_EQ(linesOf(bySettings.out), expected);

    // From a file, so that the key never shows in the process list; its first line only.
    const QString keyFile = dir.filePath(QStringLiteral("steam.key"));
    {
        QFile file(keyFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("  " + Key + "  \n# made on the Steam site\n").c_str());
    }
    const CliResult byFile = run({"master", "--steam-key-file", keyFile.toStdString(), "--api-url", url});
    EXPECT_EQ(byFile.status, 0) << byFile.err;
    EXPECT_EQ(linesOf(byFile.out), expected);
    for (const auto& [words, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"master", "--steam-key-file", "/nonexistent/steam.key", "--api-url", url},
              "vantry: cannot read the key file '/nonexistent/steam.key': "},
             {{"master", "--steam-key-file", ini.toStdString(), "--steam-key", Key},
              "vantry: give --steam-key or --steam-key-file, not both\n"},
         }) {
        const CliResult bad = run(words);
        EXPECT_EQ(bad.status, 2);
        EXPECT_EQ(bad.err.substr(0, message.size()), message) << bad.err;
        expectNoKey(bad, Key);
    }
    {
        QFile file(keyFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("\n" + QByteArray::fromStdString(Key));
    }
    const CliResult emptyFirstLine =
        run({"master", "--steam-key-file", keyFile.toStdString(), "--api-url", url});
    EXPECT_EQ(emptyFirstLine.status, 2);
    EXPECT_NE(emptyFirstLine.err.find("holds no key on its first line"), std::string::npos)
        << emptyFirstLine.err;
    expectNoKey(emptyFirstLine, Key);

    // A wrong key, from each place: refused, and never shown.
    const std::string wrong = "FEDCBA9876543210FEDCBA9876543210";
    env.insert(QStringLiteral("VANTRY_STEAM_KEY"), QString::fromStdString(wrong));
    for (const CliResult& refused : {run({"master", "--steam-key", wrong, "--api-url", url}),
                                     runWith({"master", "--api-url", url, "--query"}, env)}) {
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(refused.err, "vantry: the Steam Web API at " + url +
                                   " refused the key (HTTP 403): check the Steam Web API key\n"
                                   "vantry: no server listed\n");
        expectNoKey(refused, wrong);
    }
    // Nothing but the API's address, and no key anywhere.
    const CliResult none = run({"master", "--api-url", url});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("nothing to ask: give --master HOST[:PORT], or a Steam Web API key"),
              std::string::npos)
        << none.err;
    // A key that cannot be sent is refused before anything is asked, without showing it.
    const CliResult blank = run({"master", "--steam-key", "secret key", "--api-url", url});
    EXPECT_EQ(blank.status, 2);
    EXPECT_EQ(blank.err.substr(0, 64), "vantry: the Steam Web API key holds blanks or control characters");
    expectNoKey(blank, "secret key");
    EXPECT_EQ(api.requests().size(), 6u);
}

TEST(MasterCli, FaultsAndSilenceOfMastersAreToldOnStandardError)
{
    emu::MasterBook book;
    for (std::uint32_t i = 1; i <= 300; ++i)
        book.servers.push_back({loopback(7, 0, 0) + i, 27015});
    emu::MasterFaults faults;
    faults.noEndMarker = true;
    emu::MasterEmu unended(book, faults);
    unended.start();
    emu::MasterEmu closed(book);
    closed.start();
    const std::string gone = closed.endpointText();
    closed.stop();

    const CliResult r = run({"master", "--master", unended.endpointText(), "--master", gone, "--pace", "0",
                             "--master-timeout", "20"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(linesOf(r.out).size(), 300u);
    EXPECT_EQ(r.err,
              "vantry: master " + unended.endpointText() +
                  " stopped answering after 300 addresses; its list may have ended without its end mark\n"
                  "vantry: master " +
                  gone + " did not answer (its host says nothing listens on that port)\n");

    const CliResult silent =
        run({"master", "--master", gone, "--master-timeout", "20", "--pace", "0", "--query"});
    EXPECT_EQ(silent.status, 1);
    EXPECT_EQ(silent.out, "");
    EXPECT_EQ(silent.err, "vantry: master " + gone +
                              " did not answer (its host says nothing listens on that port)\n"
                              "vantry: no server listed\n");
}

// Host names of masters go through the program's lookup, never straight to a resolver.
TEST(MasterCli, MasterNamesAreLookedUp)
{
    emu::MasterBook book;
    book.servers.push_back({loopback(8, 0, 1), 27015});
    emu::MasterEmu master(book);
    master.start();
    const auto lookup = [](const std::string& host, std::string& reason) -> std::optional<std::uint32_t> {
        if (host == "master.test")
            return 0x7F000001;
        reason = "Name or service not known";
        return std::nullopt;
    };
    const CliResult found = runInProcess(
        {"master", "--master", "master.test:" + std::to_string(master.port()), "--pace", "0"}, lookup);
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.out, "127.8.0.1:27015\n");

    const CliResult unknown = runInProcess({"master", "--master", "nowhere.invalid"}, lookup);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err, "vantry: cannot find the address of 'nowhere.invalid': Name or service not known\n"
                           "Try 'vantry master --help'.\n");
}

// Without a display: a window would abort the program instead of this answer.
TEST(MasterCli, UnknownCommandsAndBadArgumentsGetTheirMessageAndStatusTwo)
{
    const CliResult unknown = run({"frobnicate", "--json"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err.substr(0, 37), "vantry: unknown command 'frobnicate'\n");
    EXPECT_NE(unknown.err.find("usage: vantry query HOST[:PORT]"), std::string::npos) << unknown.err;

    for (const auto& [words, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"master", "--region", "mars"}, "vantry: --region wants 0 to 7, 255 or a name"},
             {{"master", "--game", "tf2"}, "vantry: --game wants HL, 1.5, 1.6, CZ, CSS or HL2, not 'tf2'"},
             {{"master", "--game", "hl", "--filter", "\\appid\\70"},
              "vantry: give --game or --filter, not both"},
             {{"master", "--master", "127.0.0.1:0"}, "vantry: the port of '127.0.0.1:0' is not a number"},
             {{"master", "--master", "127.0.0.1", "--limit", "0"},
              "vantry: --limit wants a count of addresses"},
             {{"master", "--api-url", "ftp://127.0.0.1"},
              "vantry: --api-url wants an http:// or https:// address"},
             {{"master", "--steam-key"}, "vantry: --steam-key wants a key"},
             {{"master", "--master", "127.0.0.1", "--settings", "/nonexistent/vantry.ini"},
              "vantry: cannot read the settings file '/nonexistent/vantry.ini'"},
             // A stray word may be a key given without its option: it is not repeated.
             {{"master", "0123456789ABCDEF"}, "vantry: master takes no words but options\n"},
         }) {
        const CliResult bad = run(words);
        EXPECT_EQ(bad.status, 2) << message;
        EXPECT_EQ(bad.out, "");
        EXPECT_EQ(bad.err.substr(0, message.size()), message);
        EXPECT_NE(bad.err.find("Try 'vantry master --help'."), std::string::npos) << bad.err;
    }
    expectNoKey(run({"master", "0123456789ABCDEF"}), "0123456789ABCDEF");

    const CliResult help = run({"master", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.substr(0, 39), "usage: vantry master [--steam-key-file ");
}

namespace {

emu::ProfileTable bigTable(std::uint8_t b, std::uint32_t count)
{
    emu::ProfileTable table;
    emu::ProfileRange range;
    range.first = loopback(b, 0, 0);
    range.count = count;
    range.profile = emu::defaultsFor(emu::Kind::Hl1);
    table.addRange(range);
    return table;
}

} // namespace

// The defaults alone: no --pace, --delay or --rate. Every server is found, fast, and the first
// answers come while a master that limits its rate is still paging.
TEST(MasterCli, AtItsDefaultsEveryServerIsFoundAndPagesAreQueriedAsTheyCome)
{
    emu::ProfileTable table = bigTable(11, 4096);
    emu::MasterEmu master(emu::masterBookFrom(table, 27015));
    master.start();
    auto servers = startServers(std::move(table));

    // How fast: bench_master's "UDP master, 4,096 answer".
    const CliResult fast = run({"master", "--master", master.endpointText(), "--query", "--json"});
    EXPECT_EQ(fast.status, 0) << fast.err;
    EXPECT_EQ(fast.err, "");
    EXPECT_EQ(jsonArray(fast.out).size(), 4096);
    EXPECT_EQ(master.requestsDropped(), 0u);

    // A master that ignores requests sooner than 400 ms after its last answer: its pages come
    // one at a time, and the servers of the first are answered long before the last page.
    emu::MasterFaults limited;
    limited.minIntervalMs = 400;
    emu::MasterBook book = emu::masterBookFrom(bigTable(11, 4096), 27015);
    book.pageSize = 1024; // four pages
    emu::MasterEmu slow(book, limited);
    slow.start();
    const CliResult paced =
        run({"master", "--master", slow.endpointText(), "--query", "--master-timeout", "300"});
    EXPECT_EQ(paced.status, 0) << paced.err;
    EXPECT_EQ(linesOf(paced.out).size(), 4096u) << paced.err;
    EXPECT_GT(slow.requestsDropped(), 0u) << "the master's limit was never met";
    EXPECT_EQ(slow.repliesSent(), 4u);
}

TEST(MasterCli, RateAndPaceArgumentsAreChecked)
{
    const CliResult bad = run({"master", "--master", "127.0.0.1", "--query", "--rate", "-5"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--rate"), std::string::npos) << bad.err;
    const CliResult huge = run({"master", "--master", "127.0.0.1", "--query", "--rate", "99999999999"});
    EXPECT_EQ(huge.status, 2);
    EXPECT_NE(huge.err.find("--rate"), std::string::npos) << huge.err;
    const CliResult help = run({"master", "--help"});
    EXPECT_NE(help.out.find("--rate"), std::string::npos);
    EXPECT_NE(help.out.find("steampowered.com"), std::string::npos) << "which masters keep a fixed pace";
}

// A Web API host that takes the connection and never answers: the wait ends at --timeout and says
// it timed out (Qt's own word for it is "Operation canceled").
TEST(MasterCli, AWebApiThatNeverAnswersTimesOutAtTheTimeoutGiven)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(loopback(0, 13, 1));
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0); // the kernel completes the handshake; nobody reads
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string url = "http://127.0.13.1:" + std::to_string(ntohs(address.sin_port));

    QElapsedTimer clock;
    clock.start();
    const CliResult silent = run({"master", "--steam-key", Key, "--api-url", url, "--timeout", "700"});
    const qint64 took = clock.elapsed();
    ::close(listener);
    EXPECT_EQ(silent.status, 1);
    EXPECT_EQ(silent.err, "vantry: the Steam Web API at " + url +
                              " did not answer within 700 ms (timed out)\n"
                              "vantry: no server listed\n");
    EXPECT_LT(took, 10'000) << "the wait is bounded by --timeout, not Qt's 30 s";
    expectNoKey(silent, Key);
}
