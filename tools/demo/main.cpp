// vantry-demo: starts emulated game servers, a UDP master and a Web API on loopback, writes a
// temporary settings file that names only them, and runs Vantry on it with a sweep at start.
// Not installed: the program users get carries no emulator.
#include "emu/EmuServer.h"
#include "emu/MasterEmu.h"
#include "emu/ProfileTable.h"
#include "emu/WebApiEmu.h"
#include "emu/XashMasterEmu.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace emu = vantry::emu;

// The demo servers that take any port are listed at the game port.
constexpr std::uint16_t ListedPort = 27015;

// The broadcast probe off, one ticked loopback range, a favourite, and the public lists ticked and
// pointed at the emulated ones, so that nothing leaves the host.
std::string demoSettings(const emu::MasterEmu& master, const emu::WebApiEmu& api, const std::string& key,
                         const emu::XashMasterEmu& xash, const emu::HttpListEmu& list)
{
    return "[Ranges]\nRanges=1\nRangeFrom0=127.0.0.1\nRangeTo0=127.0.0.40\nChecked=1\n"
           "[Settings]\nBroadcast=0\nScanOld=1\nDelay=2\nCSPort=27015\nHLTVPort=27020\n"
           "[Favorites]\n127.0.0.8 0=27020\n"
           // A master of one's own may be asked faster than the public ones.
           "[Master]\nEnabled=1\nSteamKey=" +
           key + "\nApiUrl=" + api.baseUrl() +
           "\nRegion=255\nPace=100\nMasters=1\nMaster0=" + master.endpointText() +
           "\n"
           // The community lists in place of the public masters a new file would name.
           "[Xash]\nEnabled=1\nMasters=1\nMaster0=" +
           xash.endpointText() + "\nListUrl=" + list.baseUrl() + "\n";
}

int runProgram(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        std::perror("vantry-demo: fork");
        return 1;
    }
    if (child == 0) {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        execv(program.c_str(), argv.data());
        std::fprintf(stderr, "vantry-demo: cannot start %s\n", program.c_str());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return 1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

} // namespace

int main(int argc, char** argv)
{
    std::string program = VANTRY_PROGRAM;
    if (const char* given = std::getenv("VANTRY_PROGRAM"))
        program = given;
    std::vector<std::string> extra(argv + 1, argv + argc);
    if (!extra.empty() && (extra[0] == "-h" || extra[0] == "--help")) {
        std::puts("usage: vantry-demo [--latency MS] [--link DOWN:UP[:QUEUE]] [VANTRY-OPTIONS...]\n"
                  "Starts emulated servers and public lists on 127.0.0.0/8 and runs Vantry on a\n"
                  "temporary settings file that names only them. VANTRY_PROGRAM picks the program.\n"
                  "--latency: the servers answer MS milliseconds late, as across the internet.\n"
                  "--link: the player's link as a home router shapes it: DOWN and UP kbit/s and a\n"
                  "drop-tail queue of QUEUE ms (default 50), e.g. --link 20000:5000:50.");
        return 0;
    }
    // The demo's own options come first; the rest is Vantry's.
    int latencyMs = 0;
    emu::LinkShape link;
    while (extra.size() >= 2 && (extra[0] == "--latency" || extra[0] == "--link")) {
        if (extra[0] == "--link") {
            const std::optional<emu::LinkShape> shape = emu::readLinkShape(extra[1]);
            if (!shape) {
                std::fprintf(stderr, "vantry-demo: --link wants DOWN:UP[:QUEUE], kbit/s and milliseconds\n");
                return 2;
            }
            link = *shape;
        } else {
            char* end = nullptr;
            const long ms = std::strtol(extra[1].c_str(), &end, 10);
            if (extra[1].empty() || *end != '\0' || ms < 0 || ms > 60'000) {
                std::fprintf(stderr, "vantry-demo: --latency wants milliseconds from 0 to 60000\n");
                return 2;
            }
            latencyMs = static_cast<int>(ms);
        }
        extra.erase(extra.begin(), extra.begin() + 2);
    }

    // Ctrl+C reaches Vantry too; the demo stays to stop its servers and remove its folder.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);

    char folderTemplate[] = "/tmp/vantry-demo.XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        std::perror("vantry-demo: cannot make a temporary folder");
        return 1;
    }
    const std::filesystem::path folder = folderTemplate;
    const std::string settingsFile = (folder / "vantry.ini").string();
    int result = 1;
    try {
        emu::ProfileTable table = emu::demoTable();
        emu::MasterEmu master(emu::masterBookFrom(table, ListedPort));
        emu::WebApiEmu api(emu::apiServersFrom(table, ListedPort));
        const auto xashLists = emu::xashListsFrom(table, ListedPort);
        emu::XashMasterOptions xashOptions;
        xashOptions.perSecond = 2;
        emu::XashMasterEmu xash(xashLists, xashOptions);
        std::map<std::string, std::string> bodies;
        for (const auto& [dir, listed] : xashLists)
            bodies[dir] = emu::httpListBody(listed);
        emu::HttpListEmu list(bodies);
        std::vector<std::uint16_t> ports = table.ports();
        std::vector<std::uint32_t> hosts = table.hosts();
        emu::EmuServer servers(std::move(table), std::move(ports));
        // Only the demo's own addresses: a local game server keeps its port, and the demo runs on.
        servers.bindEachAddress(std::move(hosts));
        servers.setLatency(latencyMs, 0);
        servers.setLink(link);
        servers.start();
        for (const std::string& place : servers.takenPlaces())
            std::fprintf(stderr,
                         "vantry-demo: %s is taken by another program; that demo server is left out\n",
                         place.c_str());
        master.start();
        api.start();
        xash.start();
        list.start();
        {
            std::ofstream out(settingsFile, std::ios::binary);
            out << demoSettings(master, api, emu::WebApiOptions().key, xash, list);
            if (!out.flush()) {
                std::fprintf(stderr, "vantry-demo: cannot write %s\n", settingsFile.c_str());
                throw std::runtime_error("settings");
            }
        }
        std::vector<std::string> args{"--settings", settingsFile, "--scan"};
        args.insert(args.end(), extra.begin(), extra.end());
        result = runProgram(program, args);
        servers.stop();
        master.stop();
        api.stop();
        xash.stop();
        list.stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantry-demo: cannot start the demo servers: %s\n", e.what());
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
