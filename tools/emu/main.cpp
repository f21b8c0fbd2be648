// vantry-emu: emulated game servers on 127.0.0.0/8 for manual runs, demos and benchmarks.
#include "EmuServer.h"
#include "MasterEmu.h"
#include "ProfileFile.h"
#include "Replies.h"
#include "WebApiEmu.h"
#include "XashMasterEmu.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

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
               "                  [--seconds N] [--stats] [--list] [--loss FRACTION]\n"
               "                  [--latency MS[:JITTER]] [--link DOWN:UP[:QUEUE]]\n"
               "                  [--master 'PORT key=value...'] [--webapi 'PORT key=value...']\n"
               "Answers server queries for addresses of 127.0.0.0/8. Profile lines are described in\n"
               "tools/emu/ProfileFile.h. Without a port the servers listen on 27015.\n"
               "--latency: each answer leaves MS milliseconds late, plus a uniform 0 to JITTER more.\n"
               "--link: the player's link as a home router shapes it: DOWN and UP kbit/s (0: not\n"
               "  limited) and a drop-tail queue of QUEUE ms each way (default 50); 28 bytes of IP and\n"
               "  UDP header count with each datagram.\n"
               "--master: a UDP master on 127.0.0.1:PORT listing every server (0: a free port). Keys:\n"
               "  address=A (a loopback address to listen on), page=N (entries a reply), silent=N (N\n"
               "  more addresses that answer nothing, from 127.200.0.1), interval=MS (drop requests\n"
               "  sooner than this), lose=K, repeat=K, malformed=K (fault on page K), noend, endless,\n"
               "  filter=TEXT (serve only requests whose filter holds TEXT).\n"
               "--webapi: the Steam Web API's GetServerList on http://127.0.0.1:PORT listing every\n"
               "  server. Keys: key=KEY (the key it accepts), malformed (a cut JSON body).\n"
               "--xash-master: a Xash3D community master on 127.0.0.1:PORT listing every server by\n"
               "  its game folder. Keys: address=A, persecond=N (requests a client address may make\n"
               "  a second), forged (a copy under another key first), unkeyed (no key header).\n"
               "--http-list PORT: the Xash3D HTTP list at http://127.0.0.1:PORT/list/v1/servers/DIR.\n",
               stderr);
}

struct MasterLine
{
    std::uint16_t port = 0;
    std::uint32_t address = 0x7F000001;
    std::size_t pageSize = 231;
    std::uint32_t silent = 0;
    std::string filter;
    vantry::emu::MasterFaults faults;
};

struct XashLine
{
    std::uint16_t port = 0;
    std::uint32_t address = 0x7F000001;
    vantry::emu::XashMasterOptions options;
};

struct WebApiLine
{
    std::uint16_t port = 0;
    vantry::emu::WebApiOptions options;
};

// "MS" or "MS:JITTER", both whole milliseconds from 0 to a minute.
std::pair<int, int> parseLatency(const std::string& text)
{
    const std::size_t colon = text.find(':');
    const auto millis = [&](const std::string& word) {
        std::size_t used = 0;
        int ms = -1;
        try {
            ms = std::stoi(word, &used);
        } catch (const std::logic_error&) {
        }
        if (used != word.size() || ms < 0 || ms > 60000)
            throw std::invalid_argument("--latency wants MS[:JITTER], milliseconds from 0 to 60000");
        return ms;
    };
    return {millis(text.substr(0, colon)), colon == std::string::npos ? 0 : millis(text.substr(colon + 1))};
}

std::uint16_t portOf(const std::string& word)
{
    const unsigned long port = std::stoul(word);
    if (port > 65535)
        throw std::invalid_argument("not a port: " + word);
    return static_cast<std::uint16_t>(port);
}

MasterLine parseMasterLine(const std::string& text)
{
    const std::vector<std::string> words = vantry::emu::splitWords(text);
    if (words.empty())
        throw std::invalid_argument("--master wants a port");
    MasterLine line;
    line.port = portOf(words[0]);
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        const std::size_t eq = w.find('=');
        const std::string key = w.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : w.substr(eq + 1);
        if (key == "address" && vantry::emu::parseAddress(value, line.address))
            continue;
        if (key == "page")
            line.pageSize = std::stoul(value);
        else if (key == "silent")
            line.silent = static_cast<std::uint32_t>(std::stoul(value));
        else if (key == "interval")
            line.faults.minIntervalMs = std::stoi(value);
        else if (key == "lose")
            line.faults.lostPage = std::stoi(value);
        else if (key == "repeat")
            line.faults.repeatedPage = std::stoi(value);
        else if (key == "malformed")
            line.faults.malformedPage = std::stoi(value);
        else if (key == "noend" && value.empty())
            line.faults.noEndMarker = true;
        else if (key == "endless" && value.empty())
            line.faults.endless = true;
        else if (key == "filter")
            line.filter = value;
        else
            throw std::invalid_argument("--master: unknown key or bad value '" + w + "'");
    }
    return line;
}

WebApiLine parseWebApiLine(const std::string& text)
{
    const std::vector<std::string> words = vantry::emu::splitWords(text);
    if (words.empty())
        throw std::invalid_argument("--webapi wants a port");
    WebApiLine line;
    line.port = portOf(words[0]);
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w.rfind("key=", 0) == 0)
            line.options.key = w.substr(4);
        else if (w == "malformed")
            line.options.malformedJson = true;
        else
            throw std::invalid_argument("--webapi: unknown key '" + w + "'");
    }
    return line;
}

XashLine parseXashLine(const std::string& text)
{
    const std::vector<std::string> words = vantry::emu::splitWords(text);
    if (words.empty())
        throw std::invalid_argument("--xash-master wants a port");
    XashLine line;
    line.port = portOf(words[0]);
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w.rfind("address=", 0) == 0) {
            if (!vantry::emu::parseAddress(w.substr(8), line.address) || line.address >> 24 != 127)
                throw std::invalid_argument("--xash-master: address= wants a loopback address");
        } else if (w.rfind("persecond=", 0) == 0) {
            line.options.perSecond = std::stoi(w.substr(10));
        } else if (w == "forged") {
            line.options.forgedFirst = true;
        } else if (w == "unkeyed") {
            line.options.unkeyed = true;
        } else {
            throw std::invalid_argument("--xash-master: unknown key '" + w + "'");
        }
    }
    return line;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace vantry::emu;
    ProfileTable table;
    std::vector<std::uint16_t> ports;
    double seconds = 0;
    double loss = 0; // the fraction of requests dropped, the same ones every run
    std::pair<int, int> latency{0, 0};
    vantry::emu::LinkShape link;
    bool stats = false;
    bool list = false;
    std::vector<MasterLine> masterLines;
    std::vector<WebApiLine> webApiLines;
    std::vector<XashLine> xashLines;
    std::vector<std::uint16_t> httpListPorts;
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
            } else if (arg == "--master") {
                masterLines.push_back(parseMasterLine(value()));
            } else if (arg == "--xash-master") {
                xashLines.push_back(parseXashLine(value()));
            } else if (arg == "--http-list") {
                httpListPorts.push_back(portOf(value()));
            } else if (arg == "--webapi") {
                webApiLines.push_back(parseWebApiLine(value()));
            } else if (arg == "--loss") {
                loss = std::stod(value());
                if (!(loss >= 0 && loss <= 1))
                    throw std::invalid_argument("--loss wants a fraction from 0 to 1");
            } else if (arg == "--latency") {
                latency = parseLatency(value());
            } else if (arg == "--link") {
                const std::optional<vantry::emu::LinkShape> shape = vantry::emu::readLinkShape(value());
                if (!shape)
                    throw std::invalid_argument("--link wants DOWN:UP[:QUEUE], kbit/s and milliseconds");
                link = *shape;
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

    std::vector<std::unique_ptr<MasterEmu>> masters;
    std::vector<std::unique_ptr<WebApiEmu>> webApis;
    for (const MasterLine& line : masterLines) {
        MasterBook book = masterBookFrom(table, ports.front());
        for (std::uint32_t i = 0; i < line.silent; ++i)
            book.servers.push_back({(127u << 24 | 200u << 16) + 1 + i, ports.front()});
        book.pageSize = line.pageSize;
        book.requiredFilter = line.filter;
        masters.push_back(std::make_unique<MasterEmu>(std::move(book), line.faults, line.address, line.port));
    }
    std::vector<std::unique_ptr<XashMasterEmu>> xashMasters;
    std::vector<std::unique_ptr<HttpListEmu>> httpLists;
    const auto xashLists = xashListsFrom(table, ports.front());
    for (const XashLine& line : xashLines)
        xashMasters.push_back(
            std::make_unique<XashMasterEmu>(xashLists, line.options, line.address, line.port));
    if (!httpListPorts.empty()) {
        std::map<std::string, std::string> bodies;
        for (const auto& [dir, servers] : xashLists)
            bodies[dir] = httpListBody(servers);
        for (std::size_t i = 0; i < httpListPorts.size(); ++i)
            httpLists.push_back(std::make_unique<HttpListEmu>(bodies));
    }
    for (const WebApiLine& line : webApiLines)
        webApis.push_back(std::make_unique<WebApiEmu>(apiServersFrom(table, ports.front()), line.options));

    EmuServer server(std::move(table), ports);
    server.setRequestLoss(loss);
    server.setLatency(latency.first, latency.second);
    server.setLink(link);
    try {
        server.start();
        for (std::size_t i = 0; i < masters.size(); ++i) {
            masters[i]->start();
            std::printf("vantry-emu: master on %s\n", masters[i]->endpointText().c_str());
        }
        for (std::size_t i = 0; i < webApis.size(); ++i) {
            webApis[i]->start(webApiLines[i].port);
            std::printf("vantry-emu: Web API on %s\n", webApis[i]->baseUrl().c_str());
        }
        for (auto& m : xashMasters) {
            m->start();
            std::printf("vantry-emu: Xash master on %s\n", m->endpointText().c_str());
        }
        for (std::size_t i = 0; i < httpLists.size(); ++i) {
            httpLists[i]->start(httpListPorts[i]);
            std::printf("vantry-emu: HTTP list on %s\n", httpLists[i]->baseUrl().c_str());
        }
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
    for (auto& m : masters)
        m->stop();
    for (auto& w : webApis)
        w->stop();
    for (auto& m : xashMasters)
        m->stop();
    for (auto& l : httpLists)
        l->stop();
    server.stop();
    if (stats)
        std::printf("requests %llu dropped %llu replies %llu send-failures %llu\n",
                    static_cast<unsigned long long>(server.requestsReceived()),
                    static_cast<unsigned long long>(server.requestsDropped()),
                    static_cast<unsigned long long>(server.repliesSent()),
                    static_cast<unsigned long long>(server.sendFailures()));
    return 0;
}
