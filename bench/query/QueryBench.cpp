#include "Datagrams.h"
#include "query/Dispatcher.h"
#include "query/OutstandingRequests.h"

#include <benchmark/benchmark.h>
#include <memory>

using namespace vantry::query;
using namespace vantry::test;

namespace {

const Endpoint Sender{(127u << 24) | 1, 27015};

void run(benchmark::State& state, const std::vector<Datagram>& datagrams)
{
    Requests requests;
    Dispatcher dispatcher(requests);
    for (auto _ : state)
        for (const Datagram& d : datagrams) {
            Outcome o = dispatcher.dispatch(view(d), Sender);
            benchmark::DoNotOptimize(o);
        }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * datagrams.size()));
    state.counters["datagrams/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * datagrams.size()), benchmark::Counter::kIsRate);
}

void Hl1Info(benchmark::State& state)
{
    Hl1Fields f;
    f.name = "Renegade Army [ragaming.org] [1000FPS]";
    run(state, {hl1Reply(f)});
}

void SourceInfo(benchmark::State& state)
{
    SourceFields f;
    f.name = "Zombie Mod :: Unlimited Ammo :: FastDL";
    f.map = "zm_unpanicv2_pF";
    run(state, {sourceReply(f)});
}

void OldInfo(benchmark::State& state)
{
    run(state,
        {oldReply("\\protocol\\47\\address\\10.0.0.5:27015\\players\\12\\proxytarget\\0\\lan\\0\\max\\20"
                  "\\bots\\0\\gamedir\\cstrike\\description\\Counter-Strike\\hostname\\Renegade Army "
                  "[ragaming.org]\\map\\de_dust2\\type\\d\\password\\0\\os\\w\\secure\\1\\")});
}

void Players(benchmark::State& state)
{
    std::vector<std::pair<std::string, std::int32_t>> players;
    for (int i = 0; i < 24; ++i)
        players.emplace_back("player_name_" + std::to_string(i), (i * 37) % 50);
    run(state, {playersReply(players)});
}

void Rules(benchmark::State& state)
{
    std::vector<std::pair<std::string, std::string>> rules;
    for (int i = 0; i < 60; ++i)
        rules.emplace_back("sv_rule_" + std::to_string(i), std::to_string(i * 13));
    run(state, {rulesReply(rules)});
}

// One item is the pair: the first fragment and the last one that completes it.
void SplitRules(benchmark::State& state)
{
    const auto [first, last] = splitRulesReply(0x0814, 100);
    Requests requests;
    Dispatcher dispatcher(requests);
    for (auto _ : state) {
        Outcome a = dispatcher.dispatch(view(first), Sender);
        benchmark::DoNotOptimize(a);
        Outcome b = dispatcher.dispatch(view(last), Sender);
        benchmark::DoNotOptimize(b);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["pairs/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

// The requests a sweep of one /16 records, into a new table each time (what the first sweep of a
// session pays) and into one table used again.
void RequestsInFlight(benchmark::State& state)
{
    const bool fresh = state.range(0) != 0;
    auto table = std::make_unique<vantry::query::OutstandingRequests>();
    std::int64_t now = 0;
    for (auto _ : state) {
        if (fresh)
            table = std::make_unique<vantry::query::OutstandingRequests>();
        now += 2 * vantry::query::OutstandingRequests::InfoLifetimeMs;
        for (std::uint32_t a = 0; a < 65281; ++a)
            table->infoSent((127u << 24) | a, 27015, now);
        benchmark::DoNotOptimize(table.get());
    }
    state.SetItemsProcessed(state.iterations() * 65281);
}
BENCHMARK(RequestsInFlight)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

BENCHMARK(Hl1Info);
BENCHMARK(SourceInfo);
BENCHMARK(OldInfo);
BENCHMARK(Players);
BENCHMARK(Rules);
BENCHMARK(SplitRules);

BENCHMARK_MAIN();
