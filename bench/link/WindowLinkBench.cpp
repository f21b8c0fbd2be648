// The main window (offscreen) listing a public list of 4,096 emulated servers, each 40 ms away behind
// a home link (20,000 kbit/s down, 5,000 up, a 50 ms drop-tail queue each way), at the program's
// defaults: when the first row shows, when all are listed, and how far the ping column is from the
// true 40 ms when the sweep ends and two seconds later (pings measured while the link queued are
// asked again once it is calm). The master's own datagrams do not cross the emulated link. Inside
// the loopback-only namespace:
//   tools/netns-run build/bench/link/bench_window_link [ROUNDS [LATENCY_MS DOWN:UP:QUEUE]]
#include "LoopbackGuard.h"
#include "browser/MasterListFetch.h"
#include "browser/ServerListModel.h"
#include "browser/StaticSettings.h"
#include "emu/EmuServer.h"
#include "emu/LinkModel.h"
#include "emu/MasterEmu.h"
#include "shell/ScanGames.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace vantry;

namespace {

constexpr std::uint16_t Port = 27015;
constexpr std::uint32_t Servers = 4096;

std::uint32_t address(std::uint32_t i)
{
    return (127u << 24) | (40u << 16) | (i + 1);
}

double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(q * double(v.size())))];
}

struct Round
{
    double firstRowMs = -1;
    double allListedMs = -1;
    double sweepMs = 0;
    int listed = 0;
    double medianError = 0, p95Error = 0;           // at the sweep's end
    double laterMedianError = 0, laterP95Error = 0; // two seconds after
};

void pingErrors(const browser::ServerListModel& model, int truthMs, double& median, double& p95)
{
    std::vector<double> errors;
    for (int i = 0; i < model.count(); ++i)
        if (const std::optional<int> ping = model.server(i).pingMs)
            errors.push_back(std::abs(*ping - truthMs));
    median = quantile(errors, 0.5);
    p95 = quantile(errors, 0.95);
}

Round listOnce(int latencyMs, const emu::LinkShape& shape)
{
    emu::ProfileTable table;
    table.addRange({address(0), Servers, 1, Port, emu::defaultsFor(emu::Kind::Hl1)});
    emu::EmuServer servers(table, {Port});
    servers.setLatency(latencyMs, 0);
    servers.setLink(shape);
    servers.start();
    emu::MasterBook book = emu::masterBookFrom(table, Port);
    book.requiredFilter = "\\appid\\10\\"; // the other games' lists are empty
    emu::MasterEmu master(book);
    master.start();

    browser::StaticSettings settings; // the list's rate at its default
    settings.broadcastOn = false;
    settings.delay = 0;
    settings.master.enabled = true;
    settings.master.masters = {QString::fromStdString(master.endpointText())};
    settings.master.paceMs = 0;
    TForm1 form;
    form.setLiveSettings(&settings);
    form.show();
    QApplication::processEvents();

    Round r;
    QElapsedTimer since;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &form, [&] {
        const int n = form.servers().count();
        const double now = static_cast<double>(since.nsecsElapsed()) / 1e6;
        if (n > 0 && r.firstRowMs < 0)
            r.firstRowMs = now;
        if (n >= static_cast<int>(Servers) && r.allListedMs < 0)
            r.allListedMs = now;
    });
    watch.start(5);
    since.start();
    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("SBScanAll")), Qt::LeftButton);
    r.sweepMs = static_cast<double>(since.nsecsElapsed()) / 1e6;
    pingErrors(form.servers(), latencyMs, r.medianError, r.p95Error);
    QTest::qWait(2000);
    watch.stop();
    r.listed = form.servers().count();
    pingErrors(form.servers(), latencyMs, r.laterMedianError, r.laterP95Error);
    master.stop();
    servers.stop();
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::string violation = test::loopbackOnlyViolation(); !violation.empty()) {
        std::fprintf(stderr, "refusing to run: %s\n", violation.c_str());
        return 3;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int latency = argc > 2 ? std::atoi(argv[2]) : 40;
    const std::optional<emu::LinkShape> shape =
        emu::readLinkShape(argc > 3 ? argv[3] : "20000:5000:50");
    if (!shape) {
        std::fprintf(stderr, "the link is DOWN:UP[:QUEUE] in kbit/s and ms\n");
        return 2;
    }
    std::printf("%u listed servers, %d ms away, link %d/%d kbit/s, %d ms queue; the window at its defaults\n",
                Servers, latency, shape->downKbps, shape->upKbps, shape->queueMs);
    std::vector<double> first, all, errMed, errP95, laterMed, laterP95;
    for (int i = 0; i < rounds; ++i) {
        const Round r = listOnce(latency, *shape);
        std::printf("round %d: first row %.0f ms, all %d listed %.0f ms, sweep %.0f ms; ping error median "
                    "%.0f / 95th %.0f ms at its end, %.0f / %.0f ms 2 s later\n",
                    i + 1, r.firstRowMs, r.listed, r.allListedMs, r.sweepMs, r.medianError, r.p95Error,
                    r.laterMedianError, r.laterP95Error);
        first.push_back(r.firstRowMs);
        all.push_back(r.allListedMs);
        errMed.push_back(r.medianError);
        errP95.push_back(r.p95Error);
        laterMed.push_back(r.laterMedianError);
        laterP95.push_back(r.laterP95Error);
    }
    std::printf("medians: first row %.0f ms, all listed %.0f ms (-1: not all), ping error %.0f / %.0f ms at "
                "the sweep's end, %.0f / %.0f ms 2 s later\n",
                quantile(first, 0.5), quantile(all, 0.5), quantile(errMed, 0.5), quantile(errP95, 0.5),
                quantile(laterMed, 0.5), quantile(laterP95, 0.5));
    return 0;
}
