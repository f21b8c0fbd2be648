// The headless sweep of 127.0.0.0 - 127.0.255.255 (65,281 addresses) at delay 0 against emulated
// servers on 4,096 of those addresses, beside qstat asking the same 4,096 addresses, in one run.
// The sweep runs in this process through the command line's own entry (the vantry binary adds
// only its start-up, printed beside it when its path is given); qstat runs as a child process.
// Both are timed from start to end. Run it inside the loopback-only namespace:
//   tools/netns-run build/bench/cli/bench_cli [TIMEOUT_MS [PATH_TO_VANTRY]]
#include "cli/CliRun.h"
#include "emu/EmuServer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr int Servers = 4096;
constexpr std::uint16_t Port = 27015;

// Every 16th address of 127.0.0.0/16 from .1 on, skipping the .255 addresses a sweep does not probe.
std::vector<std::uint32_t> serverAddresses()
{
    std::vector<std::uint32_t> out;
    for (std::uint32_t a = 1; out.size() < Servers; a += 16) {
        if ((a & 0xFF) != 0xFF)
            out.push_back((127u << 24) | a);
    }
    return out;
}

struct Timed
{
    double seconds = 0;
    QByteArray output;
    int exitCode = -1;
};

Timed run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(120000);
    Timed t;
    t.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    t.output = process.readAllStandardOutput();
    t.exitCode = process.exitCode();
    return t;
}

int countLines(const QByteArray& output)
{
    int lines = 0;
    for (const QByteArray& line : output.split('\n')) {
        if (!line.isEmpty())
            ++lines;
    }
    return lines;
}

// qstat's raw lines: "A2S,address:port,name,map,..." for answering servers; DOWN or TIMEOUT else.
int countQstatUp(const QByteArray& output)
{
    int up = 0;
    for (const QByteArray& line : output.split('\n')) {
        if (line.count(',') > 3 && !line.contains("DOWN") && !line.contains("TIMEOUT"))
            ++up;
    }
    return up;
}

} // namespace

int main(int argc, char** argv)
{
    const int timeoutMs = argc > 1 ? std::atoi(argv[1]) : 50;
    const std::vector<std::uint32_t> addresses = serverAddresses();
    vantry::emu::ProfileTable table;
    for (std::uint32_t a : addresses)
        table.add(a, Port, vantry::emu::defaultsFor(vantry::emu::Kind::Source));
    vantry::emu::EmuServer servers(std::move(table), {Port});
    servers.start();

    const std::vector<std::string> sweep = {"sweep", "127.0.0.0", "127.0.255.255",          "--delay",
                                            "0",     "--timeout", std::to_string(timeoutMs)};
    std::string command = "vantry";
    for (const std::string& word : sweep)
        command += " " + word;
    std::printf("command: %s\n", command.c_str());
    std::ostringstream out;
    std::ostringstream err;
    QElapsedTimer timer;
    timer.start();
    const int status = vantry::cli::runCli(sweep, out, err);
    Timed vantry;
    vantry.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    vantry.output = QByteArray::fromStdString(out.str());
    vantry.exitCode = status;
    const int found = countLines(vantry.output);
    std::printf("vantry sweep: %.3f s (65,281 addresses, the silent ones asked twice more; %d ms time-out), "
                "%d of %d servers "
                "found, exit %d\n",
                vantry.seconds, timeoutMs, found, Servers, vantry.exitCode);
    if (argc > 2) {
        QStringList words;
        for (const std::string& word : sweep)
            words << QString::fromStdString(word);
        const Timed child = run(QString::fromLocal8Bit(argv[2]), words);
        std::printf("the same as a child process (%s): %.3f s, %d servers found, exit %d\n", argv[2],
                    child.seconds, countLines(child.output), child.exitCode);
    }

    int qstatFound = -1;
    double qstatSeconds = 0;
    if (QStandardPaths::findExecutable(QStringLiteral("quakestat")).isEmpty()) {
        std::printf("qstat: not installed (apt-get install qstat)\n");
    } else {
        QTemporaryDir dir;
        const QString list = dir.filePath(QStringLiteral("servers"));
        {
            std::ofstream file(list.toStdString());
            for (std::uint32_t a : addresses)
                file << "A2S " << (a >> 24) << '.' << ((a >> 16) & 255) << '.' << ((a >> 8) & 255) << '.'
                     << (a & 255) << ':' << Port << '\n';
        }
        const Timed q = run(QStringLiteral("quakestat"),
                            {QStringLiteral("-f"), list, QStringLiteral("-raw"), QStringLiteral(","),
                             QStringLiteral("-maxsim"), QStringLiteral("1000")});
        qstatFound = countQstatUp(q.output);
        qstatSeconds = q.seconds;
        std::printf("qstat -a2s: %.3f s (4,096 servers named), %d of %d servers found\n", q.seconds,
                    qstatFound, Servers);
        std::printf("ratio qstat / vantry: %.2f\n", qstatSeconds / vantry.seconds);
    }
    std::printf("emulator: %llu requests received, %llu replies sent\n",
                static_cast<unsigned long long>(servers.requestsReceived()),
                static_cast<unsigned long long>(servers.repliesSent()));
    servers.stop();
    if (found < Servers) {
        std::printf("FAILED: vantry found %d of %d servers\n", found, Servers);
        return 1;
    }
    return 0;
}
