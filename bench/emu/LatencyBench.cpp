// How closely the emulated servers keep the latency they are given, over real sockets on
// 127.0.0.0/8: how long past its due time a reply leaves with 64 servers at 50 ms + up to 30 ms
// of jitter and with 4,096 held at once at 50 ms, and how long a stop takes with replies held.
// Several rounds; medians, least and most at the end. Inside the loopback-only namespace:
//   tools/netns-run build/bench/emu/bench_emu_latency [ROUNDS]
#include "LoopbackGuard.h"
#include "emu/EmuServer.h"
#include "emu/Replies.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint16_t Port = 27015;

const vantry::emu::Datagram InfoRequest = [] {
    const std::string text("\xFF\xFF\xFF\xFFTSource Engine Query\0", 25);
    return vantry::emu::Datagram(text.begin(), text.end());
}();

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Sends one request to each of `count` servers from `first` on and returns, for each reply, how
// long it took from its request; nothing more once none has come for half a second.
std::vector<double> roundTrips(std::uint32_t first, std::uint32_t count)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    vantry::emu::growBuffer(fd, SO_RCVBUF, SO_RCVBUFFORCE, 16 * 1024 * 1024);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(0x7F000001);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&self), sizeof self);
    std::map<std::uint32_t, Clock::time_point> sent;
    for (std::uint32_t i = 0; i < count; ++i) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(Port);
        to.sin_addr.s_addr = htonl(first + i);
        sent[first + i] = Clock::now();
        ::sendto(fd, InfoRequest.data(), InfoRequest.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    }
    std::vector<double> out;
    std::vector<std::uint8_t> buffer(65536);
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 500) > 0) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        if (::recvfrom(fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length) < 0)
            break;
        const auto at = sent.find(ntohl(from.sin_addr.s_addr));
        if (at != sent.end())
            out.push_back(ms(Clock::now() - at->second));
    }
    ::close(fd);
    return out;
}

vantry::emu::ProfileTable rangeOf(std::uint32_t first, std::uint32_t count)
{
    vantry::emu::ProfileTable table;
    table.addRange({first, count, 1, Port, {}});
    return table;
}

void summary(const char* what, std::vector<double> v)
{
    if (v.empty())
        return;
    std::sort(v.begin(), v.end());
    std::printf("%-34s median %7.1f ms  least %7.1f  most %7.1f\n", what, v[v.size() / 2], v.front(),
                v.back());
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::string violation = vantry::test::loopbackOnlyViolation(); !violation.empty()) {
        std::fprintf(stderr, "refusing to run: %s\n", violation.c_str());
        return 3;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> jitteredMost, heldMost, stops;
    for (int i = 0; i < rounds; ++i) {
        {
            const std::uint32_t first = (127u << 24) | 0x000201;
            vantry::emu::EmuServer server(rangeOf(first, 64), {Port});
            server.setLatency(50, 30);
            server.start();
            const std::vector<double> trips = roundTrips(first, 64);
            // Due at 50 to 80 ms: what the longest took past 80.
            if (!trips.empty())
                jitteredMost.push_back(*std::max_element(trips.begin(), trips.end()) - 80.0);
        }
        {
            const std::uint32_t first = (127u << 24) | 0x010001;
            vantry::emu::EmuServer server(rangeOf(first, 4096), {Port});
            server.setLatency(50, 0);
            server.start();
            const std::vector<double> trips = roundTrips(first, 4096);
            if (!trips.empty())
                heldMost.push_back(*std::max_element(trips.begin(), trips.end()) - 50.0);
        }
        {
            const std::uint32_t first = (127u << 24) | 0x000501;
            vantry::emu::EmuServer server(rangeOf(first, 20), {Port});
            server.setLatency(300, 0);
            server.start();
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            for (std::uint32_t k = 0; k < 10; ++k) {
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_port = htons(Port);
                to.sin_addr.s_addr = htonl(first + k);
                ::sendto(fd, InfoRequest.data(), InfoRequest.size(), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to);
            }
            const Clock::time_point sent = Clock::now();
            while (server.requestsReceived() < 10 && Clock::now() - sent < std::chrono::milliseconds(200))
                ::usleep(1000);
            const Clock::time_point stopping = Clock::now();
            server.stop();
            stops.push_back(ms(Clock::now() - stopping));
            ::close(fd);
        }
        std::printf("round %d: jittered %+.1f ms, held %+.1f ms past due; stop %.1f ms\n", i + 1,
                    jitteredMost.empty() ? 0.0 : jitteredMost.back(),
                    heldMost.empty() ? 0.0 : heldMost.back(), stops.back());
    }
    summary("64 at 50+30 ms, latest past due", jitteredMost);
    summary("4,096 at 50 ms, latest past due", heldMost);
    summary("stop with 10 held", stops);
    return 0;
}
