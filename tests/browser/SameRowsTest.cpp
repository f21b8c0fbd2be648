// The window and the command line ask servers through one query session: the same servers, the
// same losses, a split rules reply and a closed port give the same rows through either front end.
#include "browser/DetailsModels.h"
#include "browser/QueryService.h"
#include "browser/ServerListModel.h"
#include "cli/CliSession.h"
#include "emu/EmuServer.h"
#include "net/BatchSocket.h"
#include "net/UdpEndpoint.h"
#include "query/Clock.h"

#include <QCoreApplication>
#include <QTest>

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace vantry;
using vantry::emu::EmuServer;
using vantry::emu::Profile;
using vantry::emu::ProfileRange;
using vantry::emu::ProfileTable;

namespace {

constexpr std::uint16_t LossyPort = 27015;
constexpr std::uint16_t SplitPort = 27016;
constexpr std::uint16_t ClosedPort = 27099;
constexpr std::uint32_t First = (127u << 24) | (7u << 16) | (1u << 8); // 127.7.1.0
constexpr std::uint32_t Servers = 1000;
const query::Endpoint SplitServer{(127u << 24) | (7u << 16) | (9u << 8) | 1, SplitPort};
const query::Endpoint Closed{(127u << 24) | (7u << 16) | (9u << 8) | 2, ClosedPort};

// What a row shows, without the ping (a round trip is never the same twice).
using Shown = std::tuple<std::uint64_t, std::string, std::string, int, int, int>;

Shown shownOf(const query::ServerRow& row)
{
    return {row.from.key(),
            row.name,
            row.map,
            row.playerCount.value_or(-1),
            row.maxPlayerCount.value_or(-1),
            row.botCount.value_or(-1)};
}

// The fleet behind a lossy link and, apart from it, one server whose rules need two fragments.
// A fresh pair for each front end: the n-th request to a server is lost in both runs alike.
struct Fleet
{
    std::unique_ptr<EmuServer> lossy;
    std::unique_ptr<EmuServer> split;

    Fleet()
    {
        ProfileTable many;
        ProfileRange range;
        range.first = First;
        range.count = Servers;
        range.port = LossyPort;
        range.profile.map = "de_inferno";
        range.profile.players = 7;
        range.profile.maxPlayers = 32;
        many.addRange(range);
        lossy = std::make_unique<EmuServer>(std::move(many), std::vector<std::uint16_t>{LossyPort});
        lossy->setRequestLoss(0.1);
        lossy->start();

        Profile big;
        big.name = "Split";
        big.splitRules = true;
        for (int i = 0; i < 120; ++i)
            big.rules.push_back({"sv_rule_" + std::to_string(i), "value_" + std::to_string(i * 7919)});
        ProfileTable one;
        one.add(SplitServer.address, SplitServer.port, big);
        split = std::make_unique<EmuServer>(std::move(one), std::vector<std::uint16_t>{SplitPort});
        split->start();
    }
};

std::vector<query::Endpoint> targets()
{
    std::vector<query::Endpoint> out;
    for (std::uint32_t i = 0; i < Servers; ++i)
        out.push_back({First + i, LossyPort});
    out.push_back(SplitServer);
    out.push_back(Closed);
    return out;
}

struct Seen
{
    std::vector<Shown> rows;
    std::vector<std::uint64_t> refused;
    std::vector<query::RuleRow> splitRules;
};

Seen throughTheWindow()
{
    const Fleet fleet;
    net::UdpEndpoint endpoint;
    endpoint.open(0);
    browser::ServerListModel servers;
    browser::PlayersModel players;
    browser::RulesModel rules;
    browser::QueryService queries(endpoint, servers, players, rules, query::systemClock());
    queries.setScanOld([] { return false; });
    Seen seen;
    QObject::connect(&queries, &browser::QueryService::serverRefused,
                     [&](const query::Endpoint& peer) { seen.refused.push_back(peer.key()); });

    const std::vector<query::Endpoint> all = targets();
    queries.beginListed(0, false);
    queries.queryListed(all);
    // The retries run out within the time-out's doublings: half, one, then two time-outs.
    EXPECT_TRUE(QTest::qWaitFor([&] { return queries.listedIdle(); }, 20'000));
    queries.sendDetailsRequest(SplitServer);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rules.rules().size() == 120; }, 5'000));

    for (int i = 0; i < servers.count(); ++i)
        seen.rows.push_back(shownOf(servers.server(i)));
    seen.splitRules = rules.rules();
    return seen;
}

Seen throughTheCommandLine()
{
    const Fleet fleet;
    cli::SessionPlan plan;
    plan.targets = targets();
    net::BatchSocket socket;
    const std::vector<cli::ServerResult> results = cli::runSession(plan, socket);

    // The rules of the one server, as `vantry query --rules` asks them.
    cli::SessionPlan details;
    details.targets = {SplitServer};
    details.rules = true;
    details.endWhenAllDone = true;
    std::vector<cli::ServerResult> split = cli::runSession(details, socket);

    Seen seen;
    for (const cli::ServerResult& r : results) {
        if (r.refused)
            seen.refused.push_back(r.row.from.key());
        else
            seen.rows.push_back(shownOf(r.row));
    }
    if (split.size() == 1 && split[0].rules)
        seen.splitRules = *split[0].rules;
    return seen;
}

bool sameRules(const std::vector<query::RuleRow>& a, const std::vector<query::RuleRow>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const auto& x, const auto& y) { return x.name == y.name && x.value == y.value; });
}

TEST(SameRows, WindowAndCommandLineListTheSameServersUnderLossWithASplitReplyAndAClosedPort)
{
    Seen window = throughTheWindow();
    Seen commandLine = throughTheCommandLine();

    // Retries make up for the loss: 999 of the 1,000 or better, and the split server.
    EXPECT_GE(window.rows.size(), std::size_t(Servers));
    std::sort(window.rows.begin(), window.rows.end());
    std::sort(commandLine.rows.begin(), commandLine.rows.end());
    EXPECT_EQ(window.rows, commandLine.rows);
    const bool splitListed = std::any_of(window.rows.begin(), window.rows.end(),
                                         [](const Shown& s) { return std::get<0>(s) == SplitServer.key(); });
    EXPECT_TRUE(splitListed);

    EXPECT_EQ(window.refused, std::vector<std::uint64_t>{Closed.key()});
    EXPECT_EQ(commandLine.refused, std::vector<std::uint64_t>{Closed.key()});

    ASSERT_EQ(window.splitRules.size(), 120u);
    EXPECT_EQ(window.splitRules.front().name, "sv_rule_0");
    EXPECT_EQ(window.splitRules.back().value, "value_" + std::to_string(119 * 7919));
    EXPECT_TRUE(sameRules(window.splitRules, commandLine.splitRules));
}

} // namespace
