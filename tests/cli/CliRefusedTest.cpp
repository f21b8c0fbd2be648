// Hosts whose port is closed: the kernel's "port unreachable" ends them at once, over real sockets
// on loopback, where nothing listens on ClosedPort.
#include "CliFixtures.h"
#include "HandClock.h"
#include "emu/ProfileTable.h"

#include <QJsonValue>

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>

using namespace vantry::test;
using vantry::emu::Kind;
using vantry::emu::ProfileTable;

namespace {

constexpr std::uint16_t ClosedPort = 27017;

QString q(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

TEST(CliRefused, AClosedPortEndsItsHostAtOnceAndJsonSaysRefused)
{
    ProfileTable table;
    vantry::emu::Profile open = vantry::emu::defaultsFor(Kind::Hl1);
    open.playerList = {{"Ann", 3, 1.0f}};
    table.add(loopback(0, 40, 1), 27015, open);
    auto servers = startServers(std::move(table));
    const std::vector<std::string> hosts = {"127.0.40.2:27017", "127.0.40.1", "127.0.40.3:27017"};

    // The clock stands still: no time-out and no retry ever falls due, so only the refusals can
    // end the query.
    HandClock clock;
    StillClockGuard guard(clock, std::chrono::seconds(20));
    std::vector<std::string> words = {"query"};
    words.insert(words.end(), hosts.begin(), hosts.end());
    words.insert(words.end(), {"--json", "--players", "--timeout", "20000"});
    const CliResult json = runInProcess(words, {}, clock);
    guard.stop();
    ASSERT_FALSE(guard.ranOn()) << "the query waited for closed ports";
    ASSERT_EQ(json.status, 0) << json.err;
    const QJsonArray a = jsonArray(json.out);
    ASSERT_EQ(a.size(), 3) << json.out;
    // In the order of the targets; a refused host has its address, port and status only.
    for (const int i : {0, 2}) {
        const QJsonObject refused = a[i].toObject();
        EXPECT_EQ(refused.keys(), (QStringList{q("address"), q("port"), q("status")})) << json.out;
        EXPECT_EQ(refused[q("status")].toString(), q("refused"));
        EXPECT_EQ(refused[q("port")].toInt(), ClosedPort);
    }
    EXPECT_EQ(a[0].toObject()[q("address")].toString(), q("127.0.40.2"));
    EXPECT_EQ(a[2].toObject()[q("address")].toString(), q("127.0.40.3"));
    const QJsonObject server = a[1].toObject();
    EXPECT_EQ(server[q("status")].toString(), q("open"));
    EXPECT_EQ(server[q("player_list")].toArray().size(), 1);

    // Text: a refused host has no line, as a silent one; a filter or a player search drops it.
    const auto lines = [](const CliResult& r) { return std::count(r.out.begin(), r.out.end(), '\n'); };
    std::vector<std::string> text = {"query"};
    text.insert(text.end(), hosts.begin(), hosts.end());
    text.insert(text.end(), {"--timeout", "5000"});
    const CliResult plain = runInProcess(text);
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(lines(plain), 1) << plain.out;
    EXPECT_EQ(plain.out.rfind("127.0.40.1:27015\t", 0), 0u) << plain.out;
    for (const char* choice : {"--map", "--player"}) {
        std::vector<std::string> chosen = words;
        chosen.insert(chosen.end(), {choice, choice == std::string("--map") ? "dust" : "ann"});
        const QJsonArray got = jsonArray(runInProcess(chosen).out);
        ASSERT_EQ(got.size(), 1) << choice;
        EXPECT_EQ(got[0].toObject()[q("address")].toString(), q("127.0.40.1")) << choice;
    }

    // Only refusals: nothing answered (status 1), and the refusals are still told. The refusal
    // ends the wait, on a clock that stands still.
    HandClock still;
    StillClockGuard stillGuard(still, std::chrono::seconds(20));
    const CliResult none =
        runInProcess({"query", "127.0.40.4:27017", "--json", "--timeout", "5000"}, {}, still);
    stillGuard.stop();
    EXPECT_FALSE(stillGuard.ranOn()) << "the query waited for a closed port";
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "vantry: no server answered\n");
    const QJsonArray refusedOnly = jsonArray(none.out);
    ASSERT_EQ(refusedOnly.size(), 1);
    EXPECT_EQ(refusedOnly[0].toObject()[q("status")].toString(), q("refused"));

    // A sweep waits out its time-out, and tells the refusals after the servers.
    const CliResult sweep =
        runInProcess({"sweep", "127.0.40.1", "127.0.40.3", "--port", "27017", "--json", "--timeout", "300"});
    const QJsonArray swept = jsonArray(sweep.out);
    ASSERT_EQ(swept.size(), 3) << sweep.out;
    for (const QJsonValue& v : swept)
        EXPECT_EQ(v.toObject()[q("status")].toString(), q("refused"));
}

// Thousands of closed ports among answering servers, through the real program: each refusal is
// reported once by the socket's next send or receive, which must then be made again, or requests
// are lost and only the retries (half the time-out later) would find their servers.
TEST(CliRefused, AmongThousandsOfClosedPortsEveryServerAnswersWithoutWaiting)
{
    constexpr std::uint32_t Hosts = 4000;
    constexpr std::uint32_t Every = 4; // every 4th answers
    ProfileTable table;
    table.addRange({loopback(13, 0, 0), Hosts / Every, Every, 27015, vantry::emu::defaultsFor(Kind::Hl1)});
    auto servers = startServers(std::move(table));
    std::vector<std::string> words = {"query"};
    for (std::uint32_t i = 0; i < Hosts; ++i)
        words.push_back("127.13." + std::to_string(i / 256) + "." + std::to_string(i % 256) +
                        (i % Every ? ":27017" : ":27015"));
    // With no retries, a request lost to a refusal reported in its place would leave its server
    // missing; the run ends at the time-out then. How fast: bench_master's "10,000 named, 2,500
    // answer, port closed".
    words.insert(words.end(), {"--json", "--timeout", "5000", "--retries", "0"});

    const CliResult r = runProgram(words);
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray a = jsonArray(r.out);
    ASSERT_EQ(a.size(), static_cast<qsizetype>(Hosts));
    qsizetype refused = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const bool closed = i % Every != 0;
        const QString status = a[i].toObject()[q("status")].toString();
        EXPECT_EQ(status == q("refused"), closed) << i << " " << status.toStdString();
        refused += closed ? 1 : 0;
    }
    EXPECT_EQ(refused, static_cast<qsizetype>(Hosts - Hosts / Every));
}
