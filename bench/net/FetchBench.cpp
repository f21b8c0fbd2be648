// The server-list fetches alone, timed from start to end against emulators on loopback:
//  1. limited: a master listing 2,000 servers in nine pages that drops requests sooner than
//     300 ms after its last answer, with a 150 ms reply wait and a 100 ms first back-off;
//  2. xash-closed: a community master whose port is closed, asked for two game folders with a
//     400 ms reply wait and two retries (three waits for the first folder, none for the second).
// Several rounds; medians, least and most at the end. Inside the loopback-only namespace:
//   tools/netns-run build/bench/net/bench_fetch [ROUNDS]
#include "LoopbackGuard.h"
#include "emu/MasterEmu.h"
#include "emu/XashMasterEmu.h"
#include "net/MasterFetch.h"
#include "query/MasterPaging.h"
#include "query/MasterPaging.h"
#include "net/XashFetch.h"
#include "query/MasterFilter.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

namespace {

double limitedOnce()
{
    vantry::emu::MasterBook book;
    for (std::uint32_t i = 0; i < 2000; ++i)
        book.servers.push_back({(127u << 24 | 1u << 16) + 1 + i, static_cast<std::uint16_t>(27015 + i % 3)});
    vantry::emu::MasterFaults faults;
    faults.minIntervalMs = 300;
    vantry::emu::MasterEmu limited(book, faults);
    limited.start();
    vantry::query::MasterPacing pacing;
    pacing.replyTimeoutMs = 150;
    pacing.backoffStartMs = 100;
    std::vector<vantry::net::MasterListing> listings;
    listings.push_back(
        {vantry::query::Endpoint{limited.address(), limited.port()},
         std::make_unique<vantry::query::MasterPaging>(
             static_cast<std::uint8_t>(vantry::query::MasterRegion::Europe), "\\appid\\10", pacing),
         false, 0});
    QElapsedTimer took;
    took.start();
    vantry::net::fetchMasterLists(listings);
    const double ms = static_cast<double>(took.nsecsElapsed()) / 1e6;
    limited.stop();
    if (listings.front().exchange->servers().size() != book.servers.size())
        std::printf("limited: %zu of %zu addresses came\n", listings.front().exchange->servers().size(),
                    book.servers.size());
    return ms;
}

double xashClosedOnce()
{
    vantry::emu::XashMasterEmu m(
        std::map<std::string, std::vector<vantry::emu::ListedAddress>>{{"cstrike", {}}});
    m.start();
    const QString where = QString::fromStdString(m.endpointText());
    m.stop(); // the port is closed: nothing answers
    vantry::net::XashFetchRequest r;
    r.masters = {where};
    r.quietMs = 200;
    r.replyWaitMs = 400;
    r.gameDirs = {"cstrike", "valve"};
    QElapsedTimer took;
    took.start();
    const std::unique_ptr<vantry::net::XashFetch> fetch(vantry::net::XashFetch::runAndWait(r, nullptr));
    return static_cast<double>(took.nsecsElapsed()) / 1e6;
}

void summary(const char* what, std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    std::printf("%-16s median %8.1f ms  least %8.1f  most %8.1f\n", what, v[v.size() / 2], v.front(),
                v.back());
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::string violation = vantry::test::loopbackOnlyViolation(); !violation.empty()) {
        std::fprintf(stderr, "refusing to run: %s\n", violation.c_str());
        return 3;
    }
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> limited, closed;
    for (int i = 0; i < rounds; ++i) {
        limited.push_back(limitedOnce());
        closed.push_back(xashClosedOnce());
        std::printf("round %d: limited %.1f ms, xash-closed %.1f ms\n", i + 1, limited.back(), closed.back());
    }
    summary("limited", limited);
    summary("xash-closed", closed);
    return 0;
}
