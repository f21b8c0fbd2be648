// `vantry query` beside qstat on 4,096 emulated servers behind emulated links, both at their
// defaults, as child processes timed from start to end: servers found, time to the end, and the
// median and 95th-percentile ping error against the emulated truth; beside each link its floor (the
// time it needs just to carry the requests and the replies, plus one round trip). The links:
//   loopback   no latency, no limit
//   internet   60 +- 30 ms, 2 % of requests lost, 30 % of the servers dead (no ping truth: jitter)
//   home       40 ms, 20,000 kbit/s down, 5,000 up, a 50 ms drop-tail queue each way
//   slow       60 ms, 8,000 / 1,000 kbit/s, 100 ms queue
//   fibre      10 ms, 300,000 / 100,000 kbit/s, 20 ms queue
// Inside the loopback-only namespace:
//   tools/netns-run build/bench/link/bench_link [ROUNDS [PATH_TO_VANTRY [CASES]]]
// ROUNDS defaults to 5 (medians of them); CASES is a comma-separated choice of the names above.
#include "LoopbackGuard.h"
#include "emu/EmuServer.h"
#include "emu/LinkModel.h"
#include "emu/Replies.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace vantry;

namespace {

constexpr std::uint32_t Servers = 4096;
constexpr std::uint16_t Port = 27015;
constexpr int ChildTimeoutMs = 300'000;
constexpr std::size_t RequestBytes = 25; // the info request

struct Link
{
    const char* name;
    int latencyMs;
    int jitterMs;
    double loss;
    double dead; // the fraction of listed servers that never answer
    emu::LinkShape shape;
};

const Link Links[] = {
    {"loopback", 0, 0, 0, 0, {0, 0, 0}},
    {"internet", 30, 60, 0.02, 0.3, {0, 0, 0}},
    {"home", 40, 0, 0, 0, {20'000, 5'000, 50}},
    {"slow", 60, 0, 0, 0, {8'000, 1'000, 100}},
    {"fibre", 10, 0, 0, 0, {300'000, 100'000, 20}},
};

std::uint32_t address(std::uint32_t i)
{
    return (127u << 24) | (40u << 16) | (i + 1); // 127.40.0.1 on
}

std::string dotted(std::uint32_t a)
{
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." +
           std::to_string((a >> 8) & 255) + "." + std::to_string(a & 255);
}

struct Run
{
    double seconds = 0;
    std::vector<double> pings; // of the servers found
    bool finished = true;
};

Run runChild(const QString& program, const QStringList& arguments, QByteArray& out)
{
    Run r;
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        std::fprintf(stderr, "cannot start %s\n", program.toLocal8Bit().constData());
        std::exit(1);
    }
    r.finished = process.waitForFinished(ChildTimeoutMs);
    if (!r.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    r.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    out = process.readAllStandardOutput();
    return r;
}

Run runVantry(const QString& binary, const QStringList& addresses)
{
    QByteArray out;
    Run r = runChild(binary, QStringList{QStringLiteral("query"), QStringLiteral("--json")} + addresses, out);
    for (const QJsonValue& v : QJsonDocument::fromJson(out).array()) {
        const QJsonValue ping = v.toObject().value(QStringLiteral("ping"));
        if (ping.isDouble())
            r.pings.push_back(ping.toDouble());
    }
    return r;
}

// qstat's raw line of an answering server: A2S,address:port,name,map,max,players,ping,retries.
Run runQstat(const QString& listFile)
{
    QByteArray out;
    Run r = runChild(QStringLiteral("quakestat"),
                     {QStringLiteral("-f"), listFile, QStringLiteral("-raw"), QStringLiteral(",")}, out);
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() >= 8)
            r.pings.push_back(fields[fields.size() - 2].toDouble());
    }
    return r;
}

double quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t at = std::min(values.size() - 1, static_cast<std::size_t>(q * double(values.size())));
    return values[at];
}

struct Figures
{
    std::vector<double> found, seconds, medianError, p95Error;
    int unfinished = 0;
    // truthMs < 0: no one true ping (jitter).
    void add(const Run& r, double truthMs)
    {
        found.push_back(double(r.pings.size()));
        seconds.push_back(r.seconds);
        unfinished += r.finished ? 0 : 1;
        if (truthMs >= 0) {
            std::vector<double> errors;
            for (const double p : r.pings)
                errors.push_back(std::abs(p - truthMs));
            medianError.push_back(quantile(errors, 0.5));
            p95Error.push_back(quantile(errors, 0.95));
        }
    }
    void print(const char* link, const char* tool) const
    {
        const auto med = [](const std::vector<double>& v) { return quantile(v, 0.5); };
        std::printf("%-9s %-7s %6.0f found %8.3f s", link, tool, med(found), med(seconds));
        if (!medianError.empty())
            std::printf("   ping error median %5.1f ms, 95th %5.1f ms", med(medianError), med(p95Error));
        if (unfinished)
            std::printf("   (%d runs timed out)", unfinished);
        std::printf("\n");
    }
};

// The time the link needs to carry every request up and every reply down, and one round trip.
double floorSeconds(const Link& link, std::size_t replyBytes, std::uint32_t answering)
{
    const auto carry = [](double datagrams, std::size_t bytes, int kbps) {
        return kbps <= 0 ? 0.0 : datagrams * double(bytes + emu::LinkQueue::HeaderBytes) * 8 / kbps / 1000;
    };
    const double up = carry(Servers, RequestBytes, link.shape.upKbps);
    const double down = carry(answering, replyBytes, link.shape.downKbps);
    return std::max(up, down) + (link.latencyMs + link.jitterMs) / 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::string violation = test::loopbackOnlyViolation(); !violation.empty()) {
        std::fprintf(stderr, "refusing to run outside a loopback-only network namespace: %s\n",
                     violation.c_str());
        return 2;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QString vantry =
        argc > 2 && argv[2][0] ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(VANTRY_BINARY);
    const std::string chosen = argc > 3 ? argv[3] : "";

    QTemporaryDir folder;
    const QString listFile = folder.filePath(QStringLiteral("servers.txt"));
    QStringList addresses;
    {
        std::ofstream list(listFile.toStdString());
        for (std::uint32_t i = 0; i < Servers; ++i) {
            list << "A2S " << dotted(address(i)) << ":" << Port << "\n";
            addresses << QString::fromStdString(dotted(address(i)));
        }
    }
    const emu::Profile profile = emu::defaultsFor(emu::Kind::Hl1);
    const std::string info("\xFF\xFF\xFF\xFFTSource Engine Query\0", RequestBytes);
    const std::vector<std::uint8_t> request(info.begin(), info.end());
    const std::size_t replyBytes = emu::answer(profile, request, address(0), Port).front().size();

    std::printf(
        "%u servers; vantry %s and qstat -f LIST -raw , both at their defaults; medians of %d rounds\n",
        Servers, vantry.toLocal8Bit().constData(), rounds);
    for (const Link& link : Links) {
        if (!chosen.empty() &&
            ("," + chosen + ",").find(std::string(",") + link.name + ",") == std::string::npos)
            continue;
        const auto answering = static_cast<std::uint32_t>(Servers * (1 - link.dead));
        emu::ProfileTable table;
        // The dead are the last addresses: listed, never answering.
        table.addRange({address(0), answering, 1, Port, profile});
        Figures ours, theirs;
        const double truth = link.jitterMs == 0 ? link.latencyMs : -1.0;
        for (int round = 0; round < rounds; ++round) {
            // A fresh fleet for each run: the same losses, and no queue left by the run before.
            for (int tool = 0; tool < 2; ++tool) {
                emu::EmuServer servers(table, {Port});
                servers.setLatency(link.latencyMs, link.jitterMs);
                servers.setRequestLoss(link.loss);
                servers.setLink(link.shape);
                servers.start();
                const bool vantryFirst = round % 2 == 0;
                if ((tool == 0) == vantryFirst)
                    ours.add(runVantry(vantry, addresses), truth);
                else
                    theirs.add(runQstat(listFile), truth);
                servers.stop();
            }
        }
        ours.print(link.name, "vantry");
        theirs.print(link.name, "qstat");
        const double vantrySeconds = quantile(ours.seconds, 0.5);
        std::printf("%-9s floor   %6u live   %8.3f s   qstat/vantry %.1fx, vantry/floor %.1fx\n", link.name,
                    answering, floorSeconds(link, replyBytes, answering),
                    vantrySeconds > 0 ? quantile(theirs.seconds, 0.5) / vantrySeconds : 0.0,
                    vantrySeconds / floorSeconds(link, replyBytes, answering));
        std::fflush(stdout);
    }
    return 0;
}
