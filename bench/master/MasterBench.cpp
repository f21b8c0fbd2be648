// `vantry master --query` beside qstat's own master query (-stma2s, which pages through a master's
// list and queries every server on it), both as child processes timed from start to end, several
// rounds in alternating order; medians, least and most at the end. Both run at their defaults
// (qstat with -raw output only, which its speed does not depend on):
//  1. master: an emulated UDP master listing 4,096 answering servers;
//  2. query: the same 4,096 named to `vantry query` and in a list file to `quakestat -a2s -f`;
//  3. limited: a master listing the same 4,096 in 18 pages that ignores requests sooner than 2 s
//     after its last answer, as public masters do; the time until every address is in;
//  4. webapi: the 4,096 from the emulated Steam Web API (vantry only: qstat has no client for it);
//  5. closed: a master listing 10,000 addresses of which 2,500 answer; the 7,500 others on a
//     port where nothing listens, so that each request meets the kernel's port-unreachable answer
//     (qstat reports them DOWN);
//     closed-query (run with closed): the same 10,000 named to `vantry query` and in a list file
//     to `quakestat -a2s -f`, without the master;
//  6. silent: the same, the 7,500 others swallowing every request as a host behind a firewall;
//  7. internet: a master listing the 4,096 again, now answering 30 to 90 ms late (60 +- 30 ms),
//     losing 5 % of the requests, and 1,000 of them dead (silent).
// vantry's list alone (without --query) is timed beside, to tell the paging from the queries.
// Runs only inside the loopback-only namespace:
//   tools/netns-run build/bench/master/bench_master [ROUNDS [PATH_TO_VANTRY [CASES]]]
// CASES: a comma-separated choice of master, query, limited, webapi, closed, silent, internet
// (default all; a name chooses its -query case too); an empty PATH_TO_VANTRY: the one built
// beside this program.
#include "LoopbackGuard.h"
#include "emu/EmuServer.h"
#include "emu/MasterEmu.h"
#include "emu/WebApiEmu.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
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

constexpr std::uint16_t ListPort = 27015;
constexpr std::uint16_t SparsePort = 27016;
constexpr std::uint16_t ClosedPort = 27017; // nothing listens there
constexpr std::uint16_t InternetPort = 27018;
constexpr std::uint16_t MasterPort = 27011;
constexpr std::uint32_t ListMaster = (127u << 24) | 2;     // 127.0.0.2
constexpr std::uint32_t SparseMaster = (127u << 24) | 3;   // 127.0.0.3
constexpr std::uint32_t ClosedMaster = (127u << 24) | 4;   // 127.0.0.4
constexpr std::uint32_t LimitedMaster = (127u << 24) | 5;  // 127.0.0.5
constexpr std::uint32_t InternetMaster = (127u << 24) | 6; // 127.0.0.6
constexpr int LimitMs = 2000;
constexpr std::uint32_t ListServers = 4096;
constexpr std::uint32_t SparseListed = 10000;
constexpr std::uint32_t SparseEvery = 4; // every 4th listed address answers
constexpr std::uint32_t InternetDead = 1000;
constexpr int InternetBaseMs = 30; // plus 0 to 60: 60 ms +- 30 ms
constexpr int InternetJitterMs = 60;
constexpr double InternetLoss = 0.05;
constexpr int ChildTimeoutMs = 300000;
const char* const ApiKey = "0123456789ABCDEF0123456789ABCDEF";

std::string dotted(std::uint32_t a)
{
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." +
           std::to_string((a >> 8) & 255) + "." + std::to_string(a & 255);
}

QString endpoint(std::uint32_t address, std::uint16_t port)
{
    return QString::fromStdString(dotted(address) + ":" + std::to_string(port));
}

struct Timed
{
    double seconds = 0;
    int found = 0;
    int listed = -1; // qstat's own count of the master's list; -1: not told
    bool finished = true;
    std::map<std::string, int> statuses; // qstat's words for servers that did not answer
};

// Children get no proxy settings: everything they ask is on loopback.
QProcessEnvironment childEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"})
        env.remove(QString::fromLatin1(name));
    return env;
}

QByteArray runChild(const QString& program, const QStringList& arguments, Timed& t)
{
    QProcess process;
    process.setProcessEnvironment(childEnvironment());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        std::fprintf(stderr, "cannot start %s: %s\n", program.toLocal8Bit().constData(),
                     process.errorString().toLocal8Bit().constData());
        std::exit(1);
    }
    t.finished = process.waitForFinished(ChildTimeoutMs);
    if (!t.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    t.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    return process.readAllStandardOutput();
}

// One line per server that answered (or per address listed, without --query).
Timed runVantry(const QString& binary, const QStringList& arguments)
{
    Timed t;
    const QByteArray out = runChild(binary, arguments, t);
    t.found = static_cast<int>(out.count('\n'));
    return t;
}

// qstat's raw lines: "STMA2S,master,COUNT" first, then "A2S,address:port,name,map,..." for a
// server that answered and "A2S,address:port,STATUS" (TIMEOUT, DOWN, ERROR...) for one that did not.
Timed runQstat(const QStringList& arguments)
{
    Timed t;
    const QByteArray out = runChild(QStringLiteral("quakestat"), arguments, t);
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() < 3)
            continue;
        if (fields[0] == "STMA2S") {
            t.listed = fields[2].trimmed().toInt();
        } else if (fields.size() > 3) {
            ++t.found;
        } else {
            ++t.statuses[fields[2].trimmed().toStdString()];
        }
    }
    return t;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Series
{
    std::vector<double> seconds;
    std::vector<double> found;
    int unfinished = 0;
    void add(const Timed& t)
    {
        seconds.push_back(t.seconds);
        found.push_back(t.found);
        unfinished += t.finished ? 0 : 1;
    }
};

struct Case
{
    const char* name;
    const char* label;
    std::uint32_t listed;
    std::uint32_t answering;
    QStringList vantryList;  // "vantry master" without --query; empty: no list to time
    QStringList vantryQuery; // the timed run; empty: the list alone
    QStringList qstat;       // empty: qstat cannot ask this source
};

QString commandText(const QString& program, const QStringList& arguments)
{
    QString text = program;
    for (const QString& a : arguments)
        text += QLatin1Char(' ') +
                (a.contains(QLatin1Char('\\')) ? QLatin1Char('\'') + a + QLatin1Char('\'') : a);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::string violation = vantry::test::loopbackOnlyViolation(); !violation.empty()) {
        std::fprintf(
            stderr,
            "refusing to run outside a loopback-only network namespace: %s\nrun it as: tools/netns-run %s\n",
            violation.c_str(), argv[0]);
        return 3;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QString vantry =
        argc > 2 && *argv[2] ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(VANTRY_BINARY);
    const QStringList chosen =
        QString::fromLocal8Bit(argc > 3 ? argv[3] : "master,query,limited,webapi,closed,silent,internet")
            .split(QLatin1Char(','), Qt::SkipEmptyParts);
    const bool haveQstat = !QStandardPaths::findExecutable(QStringLiteral("quakestat")).isEmpty();
    if (!haveQstat)
        std::printf("qstat: not installed (apt-get install qstat); vantry alone\n");

    // Counter-Strike 1.6 servers as they answer today (the newer 'I' layout, application 10), so
    // that the Web API's list matches vantry's default filter.
    vantry::emu::ProfileTable table;
    table.addRange({(127u << 24) | 1, ListServers, 16, ListPort, vantry::emu::olderEngineInNewerLayout()});
    const std::uint32_t sparseFirst = (127u << 24) | (1u << 16) | 1; // 127.1.0.1
    table.addRange({sparseFirst, SparseListed / SparseEvery, SparseEvery, SparsePort,
                    vantry::emu::olderEngineInNewerLayout()});

    vantry::emu::MasterBook listBook;
    vantry::emu::MasterBook sparseBook;
    vantry::emu::MasterBook closedBook;
    for (const auto& [address, port] : table.addresses(ListPort)) {
        if (port == ListPort)
            listBook.servers.push_back({address, port});
    }
    for (std::uint32_t i = 0; i < SparseListed; ++i) {
        sparseBook.servers.push_back({sparseFirst + i, SparsePort});
        closedBook.servers.push_back({sparseFirst + i, i % SparseEvery ? ClosedPort : SparsePort});
    }
    std::vector<vantry::emu::ApiServer> apiServers = vantry::emu::apiServersFrom(table, ListPort);
    std::erase_if(apiServers, [](const vantry::emu::ApiServer& s) { return s.port != ListPort; });

    const std::vector<vantry::emu::ListedAddress> listAddresses = listBook.servers;
    const std::vector<vantry::emu::ListedAddress> closedAddresses = closedBook.servers;
    // The same addresses across the internet: late, lossy, and 1,000 spread evenly among them dead.
    vantry::emu::ProfileTable farTable;
    vantry::emu::MasterBook farBook;
    {
        vantry::emu::Profile dead = vantry::emu::olderEngineInNewerLayout();
        dead.kind = vantry::emu::Kind::Silent;
        for (std::uint32_t i = 0; i < listAddresses.size(); ++i) {
            const std::uint32_t address = listAddresses[i].address;
            farBook.servers.push_back({address, InternetPort});
            // i * 1000 mod 4096 runs through the multiples of 8, each 8 times: exactly 1,000 fall low.
            farTable.add(address, InternetPort,
                         i * InternetDead % ListServers < InternetDead
                             ? dead
                             : vantry::emu::olderEngineInNewerLayout());
        }
    }
    vantry::emu::EmuServer farServers(std::move(farTable), {InternetPort});
    farServers.setLatency(InternetBaseMs, InternetJitterMs);
    farServers.setRequestLoss(InternetLoss);
    vantry::emu::MasterEmu farMaster(std::move(farBook), {}, InternetMaster, MasterPort);
    vantry::emu::EmuServer servers(std::move(table), {ListPort, SparsePort});
    vantry::emu::MasterEmu listMaster(std::move(listBook), {}, ListMaster, MasterPort);
    vantry::emu::MasterEmu sparseMaster(std::move(sparseBook), {}, SparseMaster, MasterPort);
    vantry::emu::MasterEmu closedMaster(std::move(closedBook), {}, ClosedMaster, MasterPort);
    vantry::emu::MasterBook limitedBook;
    limitedBook.servers = listAddresses; // 4,096 in pages of 231: 18 pages
    vantry::emu::MasterFaults limit;
    limit.minIntervalMs = LimitMs;
    vantry::emu::MasterEmu limitedMaster(std::move(limitedBook), limit, LimitedMaster, MasterPort);
    // The same servers named one by one, to `vantry query` and in qstat's list file.
    QTemporaryDir listDir;
    const auto namedList = [&listDir](const std::vector<vantry::emu::ListedAddress>& listed,
                                      const char* fileName, QStringList& hosts) {
        const QString listFile = listDir.filePath(QString::fromLatin1(fileName));
        std::ofstream file(listFile.toStdString());
        for (const auto& [address, port] : listed) {
            hosts << endpoint(address, port);
            file << "A2S " << dotted(address) << ':' << port << '\n';
        }
        return listFile;
    };
    QStringList hosts;
    const QString listFile = namedList(listAddresses, "servers.txt", hosts);
    QStringList closedHosts;
    const QString closedListFile = namedList(closedAddresses, "closed.txt", closedHosts);
    vantry::emu::WebApiOptions apiOptions;
    apiOptions.key = ApiKey;
    vantry::emu::WebApiEmu webApi(std::move(apiServers), apiOptions);
    servers.start();
    farServers.start();
    farMaster.start();
    listMaster.start();
    sparseMaster.start();
    closedMaster.start();
    limitedMaster.start();
    webApi.start();

    const QStringList qstatOptions{QStringLiteral("-raw"), QStringLiteral(",")};
    std::vector<Case> cases;
    const auto udpCase = [&](const char* name, const char* label, std::uint32_t listed,
                             std::uint32_t answering, std::uint32_t master) {
        Case c{name, label, listed, answering, {}, {}, {}};
        c.vantryList << QStringLiteral("master") << QStringLiteral("--master")
                     << endpoint(master, MasterPort);
        c.vantryQuery = c.vantryList;
        c.vantryQuery << QStringLiteral("--query");
        c.qstat << QStringLiteral("-stma2s") << endpoint(master, MasterPort) << qstatOptions;
        cases.push_back(c);
    };
    udpCase("master", "UDP master, 4,096 answer", ListServers, ListServers, ListMaster);
    {
        Case c{"query", "4,096 named, all answer", ListServers, ListServers, {}, {}, {}};
        c.vantryQuery << QStringLiteral("query") << hosts;
        c.qstat << QStringLiteral("-f") << listFile << qstatOptions;
        cases.push_back(c);
    }
    {
        Case c{"limited", "master: 18 pages, 2 s limit; list only", ListServers, ListServers, {}, {}, {}};
        c.vantryList << QStringLiteral("master") << QStringLiteral("--master")
                     << endpoint(LimitedMaster, MasterPort);
        c.qstat << QStringLiteral("-stma2s") << endpoint(LimitedMaster, MasterPort) << qstatOptions;
        cases.push_back(c);
    }
    {
        Case c{"webapi", "Web API, 4,096 answer", ListServers, ListServers, {}, {}, {}};
        c.vantryList << QStringLiteral("master") << QStringLiteral("--steam-key")
                     << QString::fromLatin1(ApiKey) << QStringLiteral("--api-url")
                     << QString::fromStdString(webApi.baseUrl());
        c.vantryQuery = c.vantryList;
        c.vantryQuery << QStringLiteral("--query");
        cases.push_back(c);
    }
    udpCase("closed", "10,000 listed, 2,500 answer, port closed", SparseListed, SparseListed / SparseEvery,
            ClosedMaster);
    {
        Case c{"closed-query",
               "10,000 named, 2,500 answer, port closed",
               SparseListed,
               SparseListed / SparseEvery,
               {},
               {},
               {}};
        c.vantryQuery << QStringLiteral("query") << closedHosts;
        c.qstat << QStringLiteral("-f") << closedListFile << qstatOptions;
        cases.push_back(c);
    }
    udpCase("silent", "10,000 listed, 2,500 answer, swallowed", SparseListed, SparseListed / SparseEvery,
            SparseMaster);
    udpCase("internet", "internet 60+-30 ms, 5% lost, 1,000 dead", ListServers, ListServers - InternetDead,
            InternetMaster);
    std::erase_if(cases, [&](const Case& c) {
        const QString name = QString::fromLatin1(c.name);
        return !chosen.contains(name) && !chosen.contains(name.section(QLatin1Char('-'), 0, 0));
    });

    std::printf("vantry: %s\nrounds: %d, vantry and qstat alternately first\n",
                vantry.toLocal8Bit().constData(), rounds);
    for (const Case& c : cases) {
        const QStringList shownQuery =
            c.vantryQuery.size() > 8 ? c.vantryQuery.mid(0, 3) << QStringLiteral("...") : c.vantryQuery;
        std::printf("%s (%u listed, %u answer):\n  vantry:      %s\n  vantry list: %s\n  qstat:       %s\n",
                    c.label, c.listed, c.answering,
                    c.vantryQuery.isEmpty()
                        ? "-"
                        : commandText(QStringLiteral("vantry"), shownQuery).toLocal8Bit().constData(),
                    c.vantryList.isEmpty()
                        ? "-"
                        : commandText(QStringLiteral("vantry"), c.vantryList).toLocal8Bit().constData(),
                    c.qstat.isEmpty()
                        ? "(no client for this source)"
                        : commandText(QStringLiteral("quakestat"), c.qstat).toLocal8Bit().constData());
    }
    std::fflush(stdout);

    std::map<std::string, Series> series;
    std::map<std::string, int> qstatListed;
    for (int round = 1; round <= rounds; ++round) {
        // Alternate who goes first, so that neither always meets a warm or a busy machine.
        const bool vantryFirst = round % 2 == 1;
        for (const Case& c : cases) {
            Timed v;
            Timed l;
            Timed q;
            const bool withQstat = haveQstat && !c.qstat.isEmpty();
            const auto runOurs = [&] {
                if (!c.vantryQuery.isEmpty())
                    v = runVantry(vantry, c.vantryQuery);
                if (!c.vantryList.isEmpty())
                    l = runVantry(vantry, c.vantryList);
            };
            if (vantryFirst)
                runOurs();
            if (withQstat)
                q = runQstat(c.qstat);
            if (!vantryFirst)
                runOurs();
            const std::string key = c.name;
            if (!c.vantryQuery.isEmpty())
                series[key + " vantry"].add(v);
            if (!c.vantryList.isEmpty())
                series[key + " list"].add(l);
            std::printf("round %d %-7s vantry %.3f s %d found | list only %.3f s %d listed", round, c.name,
                        v.seconds, v.found, l.seconds, l.found);
            if (withQstat) {
                series[key + " qstat"].add(q);
                qstatListed[key] = q.listed;
                std::printf(" | qstat %.3f s %d found of %d listed", q.seconds, q.found, q.listed);
                for (const auto& [word, n] : q.statuses)
                    std::printf(", %d %s", n, word.c_str());
                std::printf(" | qstat/vantry %.2f",
                            q.seconds / (c.vantryQuery.isEmpty() ? l.seconds : v.seconds));
            }
            std::printf("%s\n", v.finished && l.finished && q.finished ? "" : " (a child timed out)");
            std::fflush(stdout);
        }
    }

    std::printf("\nmedians of %d rounds (least - most); found: servers that answered\n", rounds);
    std::printf("%-40s %-12s %9s %9s %9s %16s %8s\n", "case", "tool", "median s", "min s", "max s",
                "found (min-max)", "of");
    const auto row = [&](const Case& c, const char* tool, const std::string& key, std::uint32_t of) {
        const auto it = series.find(key);
        if (it == series.end()) {
            std::printf("%-40s %-12s %9s\n", c.label, tool, "-");
            return;
        }
        const Series& s = it->second;
        const auto [lo, hi] = std::minmax_element(s.found.begin(), s.found.end());
        const std::string found = std::to_string(static_cast<int>(median(s.found))) + " (" +
                                  std::to_string(static_cast<int>(*lo)) + "-" +
                                  std::to_string(static_cast<int>(*hi)) + ")";
        std::printf("%-40s %-12s %9.3f %9.3f %9.3f %16s %8u%s\n", c.label, tool, median(s.seconds),
                    *std::min_element(s.seconds.begin(), s.seconds.end()),
                    *std::max_element(s.seconds.begin(), s.seconds.end()), found.c_str(), of,
                    s.unfinished ? " (timed out)" : "");
    };
    for (const Case& c : cases) {
        const std::string key = c.name;
        row(c, "vantry", key + " vantry", c.answering);
        row(c, "qstat", key + " qstat", c.answering);
        row(c, "vantry list", key + " list", c.listed);
        const std::string ours = series.count(key + " vantry") ? key + " vantry" : key + " list";
        if (series.count(key + " qstat") && series.count(ours))
            std::printf("%-40s %-12s %9.2f   (qstat lists %d)\n", "", "qstat/vantry",
                        median(series[key + " qstat"].seconds) / median(series[ours].seconds),
                        qstatListed[key]);
    }
    std::printf("masters (4,096, closed, swallowed): %llu, %llu, %llu requests; Web API: %zu requests; "
                "servers: %llu requests, %llu replies\n",
                static_cast<unsigned long long>(listMaster.requestsReceived()),
                static_cast<unsigned long long>(closedMaster.requestsReceived()),
                static_cast<unsigned long long>(sparseMaster.requestsReceived()), webApi.requests().size(),
                static_cast<unsigned long long>(servers.requestsReceived()),
                static_cast<unsigned long long>(servers.repliesSent()));
    std::printf("limited master: %llu requests, %llu dropped by its limit\n",
                static_cast<unsigned long long>(limitedMaster.requestsReceived()),
                static_cast<unsigned long long>(limitedMaster.requestsDropped()));
    std::printf("internet master: %llu requests; its servers: %llu requests, %llu lost, %llu replies\n",
                static_cast<unsigned long long>(farMaster.requestsReceived()),
                static_cast<unsigned long long>(farServers.requestsReceived()),
                static_cast<unsigned long long>(farServers.requestsDropped()),
                static_cast<unsigned long long>(farServers.repliesSent()));
    webApi.stop();
    farMaster.stop();
    farServers.stop();
    limitedMaster.stop();
    closedMaster.stop();
    sparseMaster.stop();
    listMaster.stop();
    servers.stop();
    return 0;
}
