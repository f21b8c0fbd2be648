// A sweep of 127.0.0.0 - 127.0.255.255 (65,281 probes) at delay 0 through the real engine,
// endpoint, decoders and main window (offscreen), against emulated servers on 4,096 of those
// addresses; beside it the bare cost of one sendto on this machine and qstat on the same
// servers. Run it inside the loopback-only namespace: tools/netns-run build/bench/sweep/bench_sweep
#include "Controls.h"
#include "shell/ScanGames.h"
#include "browser/ServerListModel.h"
#include "browser/StaticSettings.h"
#include "browser/ui/ListView.h"
#include "emu/EmuServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int Probes = 65281;
constexpr int Servers = 4096;
constexpr std::uint16_t Port = 27015;

// Every 16th address of 127.0.0.0/16, skipping the .255 addresses a sweep does not probe.
std::vector<std::uint32_t> serverAddresses()
{
    std::vector<std::uint32_t> out;
    for (std::uint32_t a = 1; out.size() < Servers; a += 16)
        if ((a & 0xFF) != 0xFF)
            out.push_back((127u << 24) | a);
    return out;
}

std::string dotted(std::uint32_t a)
{
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." +
           std::to_string((a >> 8) & 255) + "." + std::to_string(a & 255);
}

double bareSendMicros()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const unsigned char request[25] = {0xFF, 0xFF, 0xFF, 0xFF, 'T', 'S', 'o', 'u', 'r', 'c', 'e', ' ', 'E',
                                       'n',  'g',  'i',  'n',  'e', ' ', 'Q', 'u', 'e', 'r', 'y', 0};
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(Port); // the same addresses and port the sweep probes
    QElapsedTimer timer;
    timer.start();
    for (int c = 0; c < 256; ++c)
        for (int d = 0; d < 255; ++d) {
            to.sin_addr.s_addr = htonl((127u << 24) | (std::uint32_t(c) << 8) | std::uint32_t(d));
            ::sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
    const double us = static_cast<double>(timer.nsecsElapsed()) / 1000.0 / (256.0 * 255.0);
    ::close(fd);
    return us;
}

void qstat(const std::vector<std::uint32_t>& addresses)
{
    if (QStandardPaths::findExecutable(QStringLiteral("quakestat")).isEmpty()) {
        std::printf("qstat: not installed (apt-get install qstat)\n");
        return;
    }
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("servers"));
    {
        std::ofstream out(list.toStdString());
        for (std::uint32_t a : addresses)
            out << "A2S " << dotted(a) << ":" << Port << "\n";
    }
    QProcess q;
    QElapsedTimer timer;
    timer.start();
    q.start(QStringLiteral("quakestat"),
            {QStringLiteral("-f"), list, QStringLiteral("-raw"), QStringLiteral(","),
             QStringLiteral("-maxsim"), QStringLiteral("1000")});
    q.waitForFinished(120000);
    const double seconds = static_cast<double>(timer.elapsed()) / 1000.0;
    const QList<QByteArray> lines = q.readAllStandardOutput().split('\n');
    int up = 0;
    for (const QByteArray& line : lines)
        if (line.count(',') > 3 && !line.contains("DOWN") && !line.contains("TIMEOUT"))
            ++up;
    std::printf("qstat -a2s: %.3f s for %zu servers, %d answered\n", seconds, addresses.size(), up);
}

// Counts the paints of the window's widgets, and whether one came after a given moment.
class PaintCounter : public QObject
{
public:
    QWidget* window = nullptr;
    int paints = 0;
    qint64 lastPaintNs = 0;
    QElapsedTimer clock;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == window) {
            ++paints;
            lastPaintNs = clock.nsecsElapsed();
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const std::vector<std::uint32_t> addresses = serverAddresses();
    vantry::emu::ProfileTable table;
    for (std::uint32_t a : addresses) {
        vantry::emu::Profile p = vantry::emu::defaultsFor(vantry::emu::Kind::Source);
        p.name = "Bench " + dotted(a);
        table.add(a, Port, p);
    }
    vantry::emu::EmuServer servers(std::move(table), {Port});
    servers.start();

    // --sweep-only leaves out the bare sends and qstat, for profiling the sweep alone.
    const bool sweepOnly = argc > 1 && std::strcmp(argv[1], "--sweep-only") == 0;
    const double bare = sweepOnly ? 1.0 : bareSendMicros();
    std::printf("bare sendto: %.2f us per probe (%d probes)\n", bare, 256 * 255);

    vantry::browser::StaticSettings settings;
    settings.broadcastOn = false;
    settings.scanOldOn = false;
    settings.delay = 0;
    settings.rangeList = {{true, QStringLiteral("127.0.0.0"), QStringLiteral("127.0.255.255")}};
    vantry::TForm1 form;
    form.setLiveSettings(&settings);
    form.show();
    QApplication::processEvents();

    PaintCounter painted;
    painted.window = &form;
    app.installEventFilter(&painted);

    QElapsedTimer timer;
    timer.start();
    painted.clock.start();
    vantry::test::clickButton(form, "SBScanAll");
    const double sweepSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const int sweepPaints = painted.paints;
    (void)QTest::qWaitFor([&] { return form.servers().rowCount() >= Servers; }, 10000);
    const double allSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const int listed = form.servers().rowCount(); // rows the list shows
    // The window must still be painted once after the last row (its scroll bar, its count):
    // held-back paints are not lost.
    const qint64 lastRowNs = painted.clock.nsecsElapsed();
    (void)QTest::qWaitFor([&] { return painted.lastPaintNs > lastRowNs; }, 1000);
    const double perProbe = sweepSeconds * 1e6 / Probes;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "vantry sweep: %.3f s for %s probes (%.2f us per probe, %.2fx bare send), all replies listed after "
        "%.3f s\n",
        sweepSeconds, form.statusText(1).toUtf8().constData(), perProbe, perProbe / bare, allSeconds);
    std::printf("servers listed: %d of %d; peak memory %.1f MiB; emulator saw %llu requests\n", listed,
                Servers, static_cast<double>(usage.ru_maxrss) / 1024.0,
                static_cast<unsigned long long>(servers.requestsReceived()));
    std::printf("window's widgets painted %d times during the sweep, %s after the last row\n", sweepPaints,
                painted.lastPaintNs > lastRowNs ? "and again" : "but NOT");
    if (!sweepOnly)
        qstat(addresses);
    servers.stop();
    if (listed != Servers) {
        std::printf("FAILED: %d replies lost\n", Servers - listed);
        return 1;
    }
    return 0;
}
