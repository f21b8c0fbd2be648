// `vantry query` beside qstat on the same lists, in one run, both as child processes timed from
// start to end, several rounds in alternating order; medians at the end:
//  1. 4,096 answering emulated servers named on the command line, at delay 0.
//  2. 1,000 emulated servers of which a tenth of the requests are lost (the same ones in every
//     round: the emulator drops by server and request count), vantry at its default delay and at
//     delay 0 with its default retries, qstat with its own defaults.
// qstat runs as bench/cli does: a server list file, -raw output and -maxsim 1000. Run it inside
// the loopback-only namespace:
//   tools/netns-run build/bench/cli/bench_cli_query [ROUNDS [PATH_TO_VANTRY]]
#include "emu/EmuServer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr std::uint16_t Port = 27015;
constexpr std::uint16_t LossyPort = 27016;
constexpr int ListServers = 4096;
constexpr int LossyServers = 1000;
constexpr double Loss = 0.1;

std::string dotted(std::uint32_t a)
{
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." +
           std::to_string((a >> 8) & 255) + "." + std::to_string(a & 255);
}

// Every 16th address of 127.0.0.0/16 from .1 on, as the sweep benchmark places its servers.
std::vector<std::uint32_t> listAddresses()
{
    std::vector<std::uint32_t> out;
    for (std::uint32_t a = 1; out.size() < ListServers; a += 16)
        out.push_back((127u << 24) | a);
    return out;
}

std::vector<std::uint32_t> lossyAddresses()
{
    std::vector<std::uint32_t> out;
    for (std::uint32_t i = 0; i < LossyServers; ++i)
        out.push_back((127u << 24) | (1u << 16) | (i + 1));
    return out;
}

struct Timed
{
    double seconds = 0;
    int found = 0;
};

QByteArray runChild(const QString& program, const QStringList& arguments, double& seconds)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(180000);
    seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    return process.readAllStandardOutput();
}

// One line per server that answered.
Timed runVantry(const QString& binary, const std::vector<std::uint32_t>& addresses, std::uint16_t port,
                const QStringList& options)
{
    QStringList arguments{QStringLiteral("query")};
    arguments << options;
    for (std::uint32_t a : addresses)
        arguments << QString::fromStdString(dotted(a) + ":" + std::to_string(port));
    Timed t;
    const QByteArray out = runChild(binary, arguments, t.seconds);
    t.found = static_cast<int>(out.count('\n'));
    return t;
}

// qstat's raw lines: "A2S,address:port,name,map,..." for answering servers; DOWN or TIMEOUT else.
Timed runQstat(const QString& list)
{
    Timed t;
    const QByteArray out = runChild(QStringLiteral("quakestat"),
                                    {QStringLiteral("-f"), list, QStringLiteral("-raw"), QStringLiteral(","),
                                     QStringLiteral("-maxsim"), QStringLiteral("1000")},
                                    t.seconds);
    for (const QByteArray& line : out.split('\n')) {
        if (line.count(',') > 3 && !line.contains("DOWN") && !line.contains("TIMEOUT"))
            ++t.found;
    }
    return t;
}

QString writeQstatList(const QTemporaryDir& dir, const char* name,
                       const std::vector<std::uint32_t>& addresses, std::uint16_t port)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    std::ofstream file(path.toStdString());
    for (std::uint32_t a : addresses)
        file << "A2S " << dotted(a) << ':' << port << '\n';
    return path;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Series
{
    std::vector<double> seconds;
    std::vector<double> found;
    void add(const Timed& t)
    {
        seconds.push_back(t.seconds);
        found.push_back(t.found);
    }
};

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QString vantry = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(VANTRY_BINARY);
    if (QStandardPaths::findExecutable(QStringLiteral("quakestat")).isEmpty()) {
        std::printf("qstat: not installed (apt-get install qstat)\n");
        return 1;
    }

    const std::vector<std::uint32_t> list = listAddresses();
    const std::vector<std::uint32_t> lossy = lossyAddresses();
    vantry::emu::ProfileTable table;
    for (std::uint32_t a : list)
        table.add(a, Port, vantry::emu::defaultsFor(vantry::emu::Kind::Source));
    vantry::emu::EmuServer servers(std::move(table), {Port});
    servers.start();
    vantry::emu::ProfileTable lossyTable;
    for (std::uint32_t a : lossy)
        lossyTable.add(a, LossyPort, vantry::emu::defaultsFor(vantry::emu::Kind::Source));
    vantry::emu::EmuServer lossyServers(std::move(lossyTable), {LossyPort});
    lossyServers.setRequestLoss(Loss);
    lossyServers.start();

    QTemporaryDir dir;
    const QString qstatList = writeQstatList(dir, "list", list, Port);
    const QString qstatLossy = writeQstatList(dir, "lossy", lossy, LossyPort);
    const QStringList delay0{QStringLiteral("--delay"), QStringLiteral("0")};

    std::printf("vantry: %s\n", vantry.toLocal8Bit().constData());
    std::printf(
        "1. %d servers: vantry query --delay 0 HOST:PORT... | quakestat -f LIST -raw , -maxsim 1000\n",
        ListServers);
    std::printf(
        "2. %d servers, %.0f %% of requests lost: vantry query HOST:PORT... (delay 5, retries 2), "
        "vantry query --delay 0 ..., quakestat -f LIST -raw , -maxsim 1000 (retry 3, interval 0.5 s)\n",
        LossyServers, Loss * 100);
    std::map<std::string, Series> series;
    for (int round = 1; round <= rounds; ++round) {
        // Alternate who goes first, so that neither always meets a warm or a busy machine.
        const bool vantryFirst = round % 2 == 1;
        Timed v;
        Timed q;
        if (vantryFirst)
            v = runVantry(vantry, list, Port, delay0);
        q = runQstat(qstatList);
        if (!vantryFirst)
            v = runVantry(vantry, list, Port, delay0);
        series["list vantry"].add(v);
        series["list qstat"].add(q);
        std::printf("round %d list:  vantry %.3f s %d found | qstat %.3f s %d found | qstat/vantry %.2f\n",
                    round, v.seconds, v.found, q.seconds, q.found, q.seconds / v.seconds);

        Timed lv;
        Timed lz;
        Timed lq;
        if (vantryFirst) {
            lv = runVantry(vantry, lossy, LossyPort, {});
            lz = runVantry(vantry, lossy, LossyPort, delay0);
        }
        lq = runQstat(qstatLossy);
        if (!vantryFirst) {
            lv = runVantry(vantry, lossy, LossyPort, {});
            lz = runVantry(vantry, lossy, LossyPort, delay0);
        }
        series["loss vantry"].add(lv);
        series["loss vantry0"].add(lz);
        series["loss qstat"].add(lq);
        std::printf(
            "round %d loss:  vantry %.3f s %d found | vantry --delay 0 %.3f s %d found | qstat %.3f s "
            "%d found\n",
            round, lv.seconds, lv.found, lz.seconds, lz.found, lq.seconds, lq.found);
        std::fflush(stdout);
    }

    const auto line = [&](const char* label, const char* key, int of) {
        const Series& s = series[key];
        std::printf("  %-28s %.3f s, %.0f of %d found\n", label, median(s.seconds), median(s.found), of);
    };
    std::printf("medians of %d rounds:\n", rounds);
    line("list: vantry --delay 0", "list vantry", ListServers);
    line("list: qstat", "list qstat", ListServers);
    std::printf("  list: qstat / vantry       %.2f\n",
                median(series["list qstat"].seconds) / median(series["list vantry"].seconds));
    line("loss: vantry (delay 5)", "loss vantry", LossyServers);
    line("loss: vantry --delay 0", "loss vantry0", LossyServers);
    line("loss: qstat", "loss qstat", LossyServers);
    std::printf("  lowest found of any round: vantry %.0f, vantry --delay 0 %.0f, qstat %.0f\n",
                *std::min_element(series["loss vantry"].found.begin(), series["loss vantry"].found.end()),
                *std::min_element(series["loss vantry0"].found.begin(), series["loss vantry0"].found.end()),
                *std::min_element(series["loss qstat"].found.begin(), series["loss qstat"].found.end()));
    std::printf("emulator: %llu requests, %llu replies; lossy emulator: %llu requests, %llu dropped\n",
                static_cast<unsigned long long>(servers.requestsReceived()),
                static_cast<unsigned long long>(servers.repliesSent()),
                static_cast<unsigned long long>(lossyServers.requestsReceived()),
                static_cast<unsigned long long>(lossyServers.requestsDropped()));
    lossyServers.stop();
    servers.stop();
    return 0;
}
