// Time to list N distinct servers in the main window's server list from their info replies:
// decode, duplicate test and row insertion with the list view attached (offscreen).
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "query/Dispatcher.h"
#include "ui/Icons.h"

#include <QApplication>

#include <benchmark/benchmark.h>
#include <string>
#include <variant>
#include <vector>

namespace {

std::vector<std::uint8_t> infoReply(int i)
{
    std::vector<std::uint8_t> d = {0xFF, 0xFF, 0xFF, 0xFF, 'I', 7};
    auto str = [&d](const std::string& s) {
        d.insert(d.end(), s.begin(), s.end());
        d.push_back(0);
    };
    str("Server number " + std::to_string(i) + " | public");
    str("de_dust2");
    str("cstrike");
    str("Counter-Strike: Source");
    d.insert(d.end(), {240, 0, static_cast<std::uint8_t>(i % 20), 20, 0, 'd', 'l', 0, 1});
    return d;
}

void ListServers(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::vector<std::vector<std::uint8_t>> replies;
    std::vector<vantry::query::Endpoint> sources;
    for (int i = 0; i < n; ++i) {
        replies.push_back(infoReply(i));
        sources.push_back({(127u << 24) | std::uint32_t(i), 27015});
    }
    vantry::query::Requests requests;
    vantry::query::Dispatcher dispatcher(requests);
    vantry::browser::ServerListModel model;
    model.setIconProvider(&vantry::ui::icon);
    vantry::browser::ListView view;
    view.setModel(&model);
    view.resize(790, 600);
    view.show();
    QApplication::processEvents();

    for (auto _ : state) {
        model.clear();
        for (int i = 0; i < n; ++i) {
            auto outcome = dispatcher.dispatch(replies[static_cast<std::size_t>(i)],
                                               sources[static_cast<std::size_t>(i)]);
            if (auto* info = std::get_if<vantry::query::InfoReply>(&outcome))
                model.add(info->row);
        }
        // The view catches up as the event loop would after a sweep's yield.
        QApplication::processEvents();
        if (model.count() != n)
            state.SkipWithError("not every server was listed");
    }
    state.counters["rows"] = n;
    state.counters["us_per_row"] = benchmark::Counter(
        static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(ListServers)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
