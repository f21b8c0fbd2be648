// A player search at the list's rate in real time: ten emulated servers (each behind the
// challenge) asked at ten a second, timed from the typed text to the tenth answer, and the
// requests the servers had received 250 ms in. The pacing allows no less than 900 ms and at most
// four servers (eight requests) in the first 250 ms. Several rounds; medians, least and most.
// Inside the loopback-only namespace: tools/netns-run build/bench/browser/bench_search_rate [ROUNDS]
#include "LoopbackGuard.h"
#include "browser/DetailsModels.h"
#include "browser/PlayerSearch.h"
#include "browser/QueryService.h"
#include "browser/ServerListModel.h"
#include "emu/EmuServer.h"
#include "net/UdpEndpoint.h"
#include "query/Clock.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::uint16_t Port = 27015;
constexpr int Servers = 10;

std::uint32_t address(int i)
{
    return (127u << 24) | (3u << 8) | static_cast<std::uint32_t>(10 + i);
}

struct Round
{
    double allMs = -1;
    std::uint64_t requestsAt250 = 0;
};

Round searchOnce()
{
    vantry::emu::ProfileTable table;
    for (int i = 0; i < Servers; ++i) {
        vantry::emu::Profile p = vantry::emu::defaultsFor(vantry::emu::Kind::Hl1);
        p.playerList = {{"someone", 0, 1.0f}};
        table.add(address(i), Port, p);
    }
    vantry::emu::EmuServer emulated(std::move(table), {Port});
    emulated.start();
    vantry::net::UdpEndpoint endpoint;
    endpoint.open(0);
    vantry::browser::ServerListModel servers;
    vantry::browser::PlayersModel players;
    vantry::browser::RulesModel rules;
    vantry::browser::QueryService queries{endpoint, servers, players, rules, vantry::query::systemClock()};
    for (int i = 0; i < Servers; ++i)
        queries.sendInfoRequest(vantry::query::Endpoint{address(i), Port});
    Round r;
    if (!QTest::qWaitFor([&] { return servers.count() == Servers; }, 5000)) {
        std::printf("the servers were not listed\n");
        return r;
    }
    vantry::browser::PlayerSearch search{queries, servers, vantry::query::systemClock(), [] { return 10; }};
    const std::uint64_t before = emulated.requestsReceived();
    QElapsedTimer took;
    took.start();
    search.setText(QStringLiteral("someone"));
    QTest::qWait(250); // the figure is what has left by then
    r.requestsAt250 = emulated.requestsReceived() - before;
    if (QTest::qWaitFor([&] { return search.results().count() == Servers; }, 5000))
        r.allMs = static_cast<double>(took.nsecsElapsed()) / 1e6;
    emulated.stop();
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::string violation = vantry::test::loopbackOnlyViolation(); !violation.empty()) {
        std::fprintf(stderr, "refusing to run: %s\n", violation.c_str());
        return 3;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> all, early;
    for (int i = 0; i < rounds; ++i) {
        const Round r = searchOnce();
        std::printf("round %d: %llu requests in the first 250 ms, every answer in %.1f ms\n", i + 1,
                    static_cast<unsigned long long>(r.requestsAt250), r.allMs);
        if (r.allMs < 0)
            continue;
        all.push_back(r.allMs);
        early.push_back(static_cast<double>(r.requestsAt250));
    }
    if (all.empty())
        return 0;
    std::sort(all.begin(), all.end());
    std::sort(early.begin(), early.end());
    std::printf("every answer, ms:        median %8.1f  least %8.1f  most %8.1f\n", all[all.size() / 2],
                all.front(), all.back());
    std::printf("requests in 250 ms:      median %8.0f  least %8.0f  most %8.0f\n", early[early.size() / 2],
                early.front(), early.back());
    return 0;
}
