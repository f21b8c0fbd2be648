// vantry-emu: emulated game servers on 127.0.0.0/8 for manual runs, demos and benchmarks.
#include "EmuServer.h"
#include "ProfileFile.h"
#include "Replies.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

std::atomic<bool> g_quit{false};

void onSignal(int)
{
    g_quit = true;
}

void usage()
{
    std::fputs("usage: vantry-emu [--demo] [--file PROFILES] [--server 'ADDR[:PORT] key=value...']\n"
               "                  [--range 'ADDR count=N step=S key=value...'] [--listen PORT]...\n"
               "                  [--seconds N] [--stats] [--list]\n"
               "Answers server queries for addresses of 127.0.0.0/8. Profile lines are described in\n"
               "tools/emu/ProfileFile.h. Without a port the servers listen on 27015.\n",
               stderr);
}

} // namespace

int main(int argc, char** argv)
{
    using namespace vantry::emu;
    ProfileTable table;
    std::vector<std::uint16_t> ports;
    double seconds = 0;
    bool stats = false;
    bool list = false;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            const auto value = [&]() -> std::string {
                if (i + 1 >= argc)
                    throw std::invalid_argument(arg + " wants a value");
                return argv[++i];
            };
            if (arg == "--demo") {
                table = demoTable();
            } else if (arg == "--file") {
                loadProfileFile(value(), table, ports);
            } else if (arg == "--server") {
                applyProfileLine("server " + value(), table, ports);
            } else if (arg == "--range") {
                applyProfileLine("range " + value(), table, ports);
            } else if (arg == "--listen") {
                applyProfileLine("listen " + value(), table, ports);
            } else if (arg == "--seconds") {
                seconds = std::stod(value());
            } else if (arg == "--stats") {
                stats = true;
            } else if (arg == "--list") {
                list = true;
            } else if (arg == "--help" || arg == "-h") {
                usage();
                return 0;
            } else {
                throw std::invalid_argument("unknown option " + arg);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantry-emu: %s\n", e.what());
        usage();
        return 2;
    }
    if (table.size() == 0) {
        std::fputs("vantry-emu: no servers: give --demo, --file, --server or --range\n", stderr);
        usage();
        return 2;
    }
    for (std::uint16_t port : table.ports())
        ports.push_back(port);
    if (ports.empty())
        ports.push_back(27015);
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());

    if (list) {
        for (std::uint32_t addr = 127u << 24; addr < (128u << 24); ++addr) {
            for (std::uint16_t port : ports) {
                if (auto profile = table.find(addr, port))
                    std::printf("%s:%u %s \"%s\" \"%s\"\n", dottedAddress(addr).c_str(), port,
                                kindName(profile->kind), profile->description.c_str(), profile->name.c_str());
            }
        }
    }

    EmuServer server(std::move(table), ports);
    try {
        server.start();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantry-emu: %s\n", e.what());
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::printf("vantry-emu: listening on");
    for (std::uint16_t port : ports)
        std::printf(" %u", port);
    std::printf(" (receive buffer %d, send buffer %d bytes)\n", server.receiveBufferSize(),
                server.sendBufferSize());
    std::fflush(stdout);

    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!g_quit.load() && (seconds <= 0 || std::chrono::steady_clock::now() < until))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    server.stop();
    if (stats)
        std::printf("requests %llu replies %llu send-failures %llu\n",
                    static_cast<unsigned long long>(server.requestsReceived()),
                    static_cast<unsigned long long>(server.repliesSent()),
                    static_cast<unsigned long long>(server.sendFailures()));
    return 0;
}
