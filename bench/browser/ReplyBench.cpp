// The CPU cost of one reply from socket to row: 4,096 info replies (half of the older engine's
// 'm', half of the newer engine's 'I') wait in the endpoint's socket; the window thread then
// reads, dispatches, decodes and lists them. Only that thread's CPU time is counted, so the
// emulator's threads and the sends do not weigh in. Median of several rounds.
// Run it inside the loopback-only namespace: tools/netns-run build/bench/browser/bench_reply
// Time is noisy on a busy machine; instructions are not. Under callgrind only the reading of the
// replies is counted:
//   tools/netns-run valgrind --tool=callgrind --instr-atstart=no build/bench/browser/bench_reply
// and the total of instructions it prints (Collected) divided by the replies it names is the cost.
#include "browser/DetailsModels.h"
#include "browser/QueryService.h"
#include "browser/ServerListModel.h"
#include "emu/EmuServer.h"
#include "net/UdpEndpoint.h"
#include "query/Clock.h"

#include <QGuiApplication>
#include <QThread>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#define RUNNING_ON_VALGRIND 0
#endif

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int Servers = 4096;
constexpr int TimedRounds = 7;
constexpr std::uint16_t Port = 27015;

double threadCpuMicros()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

std::vector<std::uint32_t> serverAddresses()
{
    std::vector<std::uint32_t> out;
    for (std::uint32_t a = 1; out.size() < Servers; a += 16)
        if ((a & 0xFF) != 0xFF && (a & 0xFF) != 0)
            out.push_back((127u << 24) | a);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const std::vector<std::uint32_t> addresses = serverAddresses();
    vantry::emu::ProfileTable table;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        vantry::emu::Profile p =
            vantry::emu::defaultsFor(i % 2 ? vantry::emu::Kind::Source : vantry::emu::Kind::Hl1);
        p.name = "Bench server " + std::to_string(i);
        p.infoChallenge = false; // one reply per request: the cost measured is the reply's
        table.add(addresses[i], Port, p);
    }
    vantry::emu::EmuServer emulated(std::move(table), {Port});
    emulated.start();

    const int rounds = RUNNING_ON_VALGRIND ? 2 : TimedRounds;
    std::vector<double> perReply;
    int listed = 0;
    for (int round = 0; round < rounds; ++round) {
        vantry::net::UdpEndpoint endpoint;
        endpoint.open(0);
        vantry::browser::ServerListModel servers;
        vantry::browser::PlayersModel players;
        vantry::browser::RulesModel rules;
        vantry::browser::QueryService service(endpoint, servers, players, rules,
                                              vantry::query::systemClock());
        service.setScanOld([] { return false; });
        // The service hears the endpoint by itself: a second connection would dispatch every
        // reply twice and count the duplicate's drop as part of the reply's cost.

        const auto before = emulated.requestsReceived();
        for (std::uint32_t a : addresses)
            service.sendInfo({a, Port});
        // Every reply is in the socket before the loop may read one.
        for (int waited = 0; emulated.requestsReceived() < before + Servers && waited < 5000; ++waited)
            QThread::msleep(1);
        QThread::msleep(50);

        const double start = threadCpuMicros();
        CALLGRIND_START_INSTRUMENTATION;
        for (int spins = 0; servers.count() < Servers && spins < 100000; ++spins)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        CALLGRIND_STOP_INSTRUMENTATION;
        const double spent = threadCpuMicros() - start;
        listed = servers.count();
        perReply.push_back(spent / Servers);
    }
    emulated.stop();
    std::sort(perReply.begin(), perReply.end());
    std::printf("reply from socket to row: %.2f us of CPU (median of %d rounds; min %.2f, max %.2f); "
                "%d of %d listed in the last round\n",
                perReply[perReply.size() / 2], rounds, perReply.front(), perReply.back(), listed, Servers);
    if (RUNNING_ON_VALGRIND)
        std::printf("under callgrind: divide its instruction total by %d replies\n", rounds * Servers);
    return listed == Servers ? 0 : 1;
}
