// A sweep through the main window (offscreen) that first pages through an emulated master which
// drops requests sooner than 300 ms after its last answer, as public masters do: how soon the
// first listed server shows, against the whole sweep, and how many of the master's eight pages
// were in by then (bench_fetch times such a master's list alone). Several rounds; medians, least
// and most at the end. Inside the loopback-only namespace:
//   tools/netns-run build/bench/sweep/bench_master_sweep [ROUNDS]
#include "LoopbackGuard.h"
#include "browser/MasterListFetch.h"
#include "browser/ServerListModel.h"
#include "browser/StaticSettings.h"
#include "emu/EmuServer.h"
#include "emu/MasterEmu.h"
#include "shell/ScanGames.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::uint16_t Port = 27015;

std::uint32_t local(int third, int last)
{
    return (127u << 24) | static_cast<std::uint32_t>(third) << 8 | static_cast<std::uint32_t>(last);
}

const std::uint32_t Favourite = local(5, 1);
const std::uint32_t Listed = local(2, 1);

QString dotted(std::uint32_t a)
{
    return QStringLiteral("%1.%2.%3.%4").arg(a >> 24).arg(a >> 16 & 0xFF).arg(a >> 8 & 0xFF).arg(a & 0xFF);
}

struct Round
{
    double firstRowMs = -1;
    double sweepMs = 0;
    std::uint64_t pagesWhenShown = 0;
};

Round sweepOnce()
{
    vantry::emu::ProfileTable table;
    vantry::emu::Profile cs = vantry::emu::defaultsFor(vantry::emu::Kind::Hl1);
    for (const std::uint32_t a : {Favourite, Listed, local(2, 2), local(4, 5)})
        table.add(a, Port, cs);
    vantry::emu::EmuServer servers(std::move(table), {Port});
    servers.start();
    // Two answering servers and six addresses nobody answers at, two a page, for one game only.
    vantry::emu::MasterBook book;
    book.servers = {{Listed, Port}, {local(2, 2), Port}};
    for (int i = 1; i <= 6; ++i)
        book.servers.push_back({local(9, i), Port});
    book.pageSize = 2;
    book.requiredFilter = "\\appid\\10\\";
    vantry::emu::MasterFaults faults;
    faults.minIntervalMs = 300;
    vantry::emu::MasterEmu master(book, faults);
    master.start();

    vantry::browser::StaticSettings settings;
    settings.broadcastOn = false;
    settings.delay = 0;
    settings.favouriteList = {{dotted(Favourite), QStringLiteral("27015")}};
    settings.rangeList = {{true, QStringLiteral("127.0.4.1"), QStringLiteral("127.0.4.10")}};
    settings.master.enabled = true;
    settings.master.masters = {QString::fromStdString(master.endpointText())};
    settings.master.paceMs = 0;
    vantry::TForm1 form;
    form.setLiveSettings(&settings);
    form.masterLists().setReplyWait(200, 2);
    form.masterLists().setBackoffStart(100);
    form.show();
    QApplication::processEvents();

    Round r;
    QElapsedTimer sinceScan;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &form, [&] {
        if (r.firstRowMs >= 0)
            return;
        for (int i = 0; i < form.servers().count(); ++i)
            if (form.servers().address(i) == dotted(Listed)) {
                r.firstRowMs = static_cast<double>(sinceScan.nsecsElapsed()) / 1e6;
                r.pagesWhenShown = master.repliesSent();
            }
    });
    watch.start(2);
    sinceScan.start();
    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("SBScanAll")), Qt::LeftButton);
    r.sweepMs = static_cast<double>(sinceScan.nsecsElapsed()) / 1e6;
    watch.stop();
    master.stop();
    servers.stop();
    return r;
}

void summary(const char* what, std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    std::printf("%-22s median %8.1f  least %8.1f  most %8.1f\n", what, v[v.size() / 2], v.front(), v.back());
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::string violation = vantry::test::loopbackOnlyViolation(); !violation.empty()) {
        std::fprintf(stderr, "refusing to run: %s\n", violation.c_str());
        return 3;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> first, sweep, share;
    for (int i = 0; i < rounds; ++i) {
        const Round r = sweepOnce();
        std::printf("round %d: first listed row %.1f ms (%llu of 8 pages in), sweep %.1f ms\n", i + 1,
                    r.firstRowMs, static_cast<unsigned long long>(r.pagesWhenShown), r.sweepMs);
        if (r.firstRowMs < 0)
            continue;
        first.push_back(r.firstRowMs);
        sweep.push_back(r.sweepMs);
        share.push_back(100.0 * r.firstRowMs / r.sweepMs);
    }
    if (first.empty()) {
        std::printf("no listed row showed during the sweep\n");
        return 0;
    }
    summary("first listed row, ms", first);
    summary("whole sweep, ms", sweep);
    summary("first row, % of sweep", share);
    return 0;
}
