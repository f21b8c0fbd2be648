#include "CliMaster.h"

#include "CliOutput.h"
#include "CliSession.h"
#include "CliSettings.h"
#include "MasterArguments.h"
#include "base/IniFile.h"
#include "net/MasterFetch.h"
#include "net/SteamServerList.h"
#include "net/XashFetch.h"
#include "options/MasterSource.h"
#include "options/SettingsTable.h"
#include "query/Endpoint.h"
#include "query/XashList.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <unordered_set>

namespace vantry::cli {

namespace {

constexpr const char* KeyVariable = "VANTRY_STEAM_KEY";

// One listed address and, when the Web API listed it, what the list says of it.
struct Listed
{
    query::Endpoint address;
    std::optional<net::ListedServer> described;
    std::string source;
};

// The key's file holds the key on its first line; the rest (a comment, say) is not read. The key is
// never echoed.
std::optional<std::string> keyFromFile(const std::string& path, std::string& problem)
{
    QFile file(QString::fromLocal8Bit(path.c_str()));
    if (!file.open(QIODevice::ReadOnly)) {
        problem = "cannot read the key file '" + path + "': " + file.errorString().toStdString();
        return std::nullopt;
    }
    const QByteArray line = file.readLine(4096).trimmed();
    if (line.isEmpty()) {
        problem = "the key file '" + path + "' holds no key on its first line";
        return std::nullopt;
    }
    return line.toStdString();
}

std::string addressOnly(const query::Endpoint& a)
{
    return query::addressText(a.address);
}

void reportMaster(std::ostream& err, const std::string& name, const net::MasterListing& l)
{
    const std::size_t n = l.exchange->servers().size();
    const std::string after = " after " + std::to_string(n) + " address" + (n == 1 ? "" : "es");
    switch (l.exchange->outcome()) {
    case query::MasterOutcome::Silent:
        err << "vantry: master " << name << " did not answer"
            << (l.refused ? " (its host says nothing listens on that port)" : "") << "\n";
        break;
    case query::MasterOutcome::StoppedAnswering:
        err << "vantry: master " << name << " stopped answering" << after
            << "; its list may have ended without its end mark\n";
        break;
    case query::MasterOutcome::NoNewAddress:
        err << "vantry: master " << name << " sent a page with no new address" << after
            << "; stopped there\n";
        break;
    case query::MasterOutcome::RepeatedPage:
        err << "vantry: master " << name << " kept sending the same page" << after << "; stopped there\n";
        break;
    case query::MasterOutcome::Limit:
        err << "vantry: stopped at the limit of " << n << " addresses from master " << name << "\n";
        break;
    case query::MasterOutcome::EndOfList:
    case query::MasterOutcome::Running:
        break;
    }
    if (const std::size_t bad = l.exchange->malformedReplies())
        err << "vantry: master " << name << ": dropped " << bad << " malformed repl"
            << (bad == 1 ? "y" : "ies") << "\n";
}

void writeAddressJson(std::ostream& out, const std::vector<Listed>& list)
{
    out << '[';
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Listed& l = list[i];
        out << (i ? ",\n" : "\n") << "{\"address\":" << jsonString(addressOnly(l.address))
            << ",\"port\":" << l.address.port << ",\"source\":" << jsonString(l.source);
        if (l.described) {
            const net::ListedServer& s = *l.described;
            const query::ServerRow row = net::preliminaryRow(s);
            out << ",\"kind\":" << jsonString(query::gameText(row.kind)) << ",\"name\":" << jsonString(s.name)
                << ",\"map\":" << jsonString(s.map) << ",\"players\":" << s.players
                << ",\"max_players\":" << s.maxPlayers << ",\"bots\":" << s.bots
                << ",\"os\":" << jsonString(osName(s.os)) << ",\"appid\":" << s.appId
                << ",\"gamedir\":" << jsonString(s.gameDir)
                << ",\"secure\":" << (s.secure ? "true" : "false");
        }
        out << '}';
    }
    out << (list.empty() ? "]\n" : "\n]\n");
}

// The key from the settings file; none when it holds none.
std::optional<std::string> settingsKey(const std::string& path)
{
    const IniFile ini(QString::fromLocal8Bit(path.c_str()));
    const QString key =
        ini.readString(settings::SectionMaster.toString(), settings::MasterSteamKey.toString(), QString())
            .trimmed();
    if (key.isEmpty())
        return std::nullopt;
    return key.toStdString();
}

// The masters page on a thread of their own while the session asks every address as it comes.
int queryAsListed(const CliOptions& o, std::vector<net::MasterListing>& listings,
                  const std::vector<std::string>& names, const std::vector<Listed>& before, std::ostream& out,
                  std::ostream& err, query::Clock& clock)
{
    struct Shared
    {
        std::mutex mutex;
        std::vector<query::Endpoint> fresh;
        bool done = false;
        std::string error;
    } shared;
    std::unordered_set<std::uint64_t> seen;
    std::size_t count = 0;
    SessionPlan plan = sessionPlan(o, 0);
    for (const Listed& l : before) {
        seen.insert(l.address.key());
        plan.targets.push_back(l.address);
        ++count;
    }
    std::vector<std::size_t> taken(listings.size(), 0);
    // On the paging thread, between its waits: hands over what came since.
    const auto publish = [&] {
        std::vector<query::Endpoint> added;
        for (std::size_t i = 0; i < listings.size(); ++i) {
            const std::vector<query::Endpoint>& servers = listings[i].exchange->servers();
            for (; taken[i] < servers.size(); ++taken[i]) {
                if (count < o.pacing.limit && seen.insert(servers[taken[i]].key()).second) {
                    added.push_back(servers[taken[i]]);
                    ++count;
                }
            }
        }
        if (!added.empty()) {
            const std::lock_guard lock(shared.mutex);
            shared.fresh.insert(shared.fresh.end(), added.begin(), added.end());
        }
        return false;
    };
    std::thread paging([&] {
        try {
            net::fetchMasterLists(listings, publish, clock);
        } catch (const net::BatchSocketError& e) {
            const std::lock_guard lock(shared.mutex);
            shared.error = e.what();
        }
        publish();
        const std::lock_guard lock(shared.mutex);
        shared.done = true;
    });
    plan.feed = [&](std::vector<query::Endpoint>& more) {
        const std::lock_guard lock(shared.mutex);
        more.swap(shared.fresh);
        return !shared.done;
    };
    // The session's verdict follows what the masters said, as it does without streaming.
    std::ostringstream verdict;
    int status = ExitNoneAnswered;
    try {
        status = runAndPrint(plan, outputChoice(o), out, verdict, "no listed server answered", clock);
    } catch (...) {
        paging.join();
        throw;
    }
    paging.join();
    if (!shared.error.empty())
        err << "vantry: cannot use the network: " << shared.error << "\n";
    for (std::size_t i = 0; i < listings.size(); ++i)
        reportMaster(err, names[i], listings[i]);
    if (count == 0)
        err << "vantry: no server listed\n";
    else
        err << verdict.str();
    return status;
}

// The key the Steam Web API is asked with: its option, its file, or, when nothing else is asked,
// the variable or the settings file. On bad arguments, `problem` says what is wrong.
std::optional<std::string> steamKey(const CliOptions& o, std::string& problem)
{
    if (o.settingsFile) {
        const QFileInfo info(QString::fromLocal8Bit(o.settingsFile->c_str()));
        if (!info.isFile() || !info.isReadable()) {
            problem = "cannot read the settings file '" + *o.settingsFile + "'";
            return std::nullopt;
        }
    }
    std::optional<std::string> key = o.steamKey;
    if (o.steamKeyFile && !(key = keyFromFile(*o.steamKeyFile, problem)))
        return std::nullopt;
    const bool onlyTheKey = o.masters.empty() && !asksXash(o);
    if (!key && onlyTheKey) {
        if (const char* variable = std::getenv(KeyVariable); variable && *variable)
            key = variable;
        else if (o.settingsFile)
            key = settingsKey(*o.settingsFile);
    }
    if (!key && onlyTheKey)
        problem = "nothing to ask: give --master HOST[:PORT], or a Steam Web API key with "
                  "--steam-key-file, VANTRY_STEAM_KEY or SteamKey in section [Master] of the "
                  "--settings file, or --xash for the Xash3D masters";
    else if (key)
        problem = net::keyProblem(QString::fromStdString(*key).trimmed()).toStdString();
    return problem.empty() ? key : std::nullopt;
}

// One listing for every master named, each once, with the name it is reported by.
bool masterListings(const CliOptions& o, const HostLookup& lookup, std::vector<net::MasterListing>& listings,
                    std::vector<std::string>& names, std::string& problem)
{
    std::unordered_set<std::uint64_t> seen;
    for (const HostArgument& h : o.masters) {
        const std::optional<std::uint32_t> dotted = query::Endpoint::parseAddress(h.host);
        std::string reason;
        const std::optional<std::uint32_t> address = dotted ? dotted : lookup(h.host, reason);
        if (!address) {
            problem = "cannot find the address of '" + h.host + "': " + reason;
            return false;
        }
        const query::Endpoint master{*address, h.port.value_or(DefaultMasterPort)};
        if (!seen.insert(master.key()).second)
            continue;
        query::MasterPacing pacing = o.pacing;
        // Valve's masters fall silent for a while when asked faster than their pace.
        pacing.adaptive = !o.paceGiven && !query::rateLimitedMaster(h.host);
        listings.push_back({master,
                            std::make_unique<query::MasterPaging>(static_cast<std::uint8_t>(o.region),
                                                                  masterFilterText(o), pacing),
                            false, 0});
        const std::string text = query::endpointText(master);
        names.push_back(dotted ? text : h.host + " (" + text + ")");
    }
    return true;
}

// What every source listed, each address once, up to the limit.
struct ListedServers
{
    std::size_t limit;
    std::vector<Listed> list;
    std::unordered_set<std::uint64_t> seen;

    void add(const query::Endpoint& a, std::optional<net::ListedServer> described, const std::string& source)
    {
        if (list.size() < limit && seen.insert(a.key()).second)
            list.push_back({a, std::move(described), source});
    }
};

void askXash(const CliOptions& o, ListedServers& listed, std::ostream& err)
{
    net::XashFetchRequest request;
    if (o.xash)
        request.masters = options::xashPresetMasters();
    for (const HostArgument& h : o.xashMasters)
        request.masters.append(QString::fromStdString(h.host) + u':' +
                               QString::number(h.port.value_or(query::XashMasterPort)));
    if (o.listUrl)
        request.listUrl = QString::fromStdString(*o.listUrl);
    request.gameDirs = {*xashGameDir(o)};
    request.notEmpty = o.printed.notEmpty;
    request.notFull = o.printed.notFull;
    request.noPassword = o.printed.noPassword;
    std::unique_ptr<net::XashFetch> fetch(net::XashFetch::runAndWait(request, nullptr));
    for (const QString& problem : fetch->problems())
        err << "vantry: " << problem.toStdString() << "\n";
    for (const query::Endpoint& a : fetch->servers())
        listed.add(a, std::nullopt, "xash");
}

void askSteam(const CliOptions& o, const std::string& key, ListedServers& listed, std::ostream& err)
{
    net::ServerListRequest request;
    if (o.apiUrl)
        request.baseUrl = QString::fromStdString(*o.apiUrl);
    request.key = QString::fromStdString(key);
    request.filter = QString::fromStdString(masterFilterText(o));
    request.limit = static_cast<int>(o.pacing.limit);
    if (o.timeoutGiven)
        request.timeoutMs = std::max(o.timeoutMs, 1);
    const net::ServerListResult result = net::SteamServerList::fetchAndWait(request);
    if (!result.reply) {
        err << "vantry: " << result.error.toStdString() << "\n";
        return;
    }
    for (const net::ListedServer& s : result.reply->servers)
        listed.add(s.address, s, "steam");
    if (result.reply->unusable)
        err << "vantry: the Steam Web API listed " << result.reply->unusable
            << " entries without a usable address or twice; left out\n";
    if (result.reply->overLimit)
        err << "vantry: stopped at the limit of " << o.pacing.limit << " addresses from the Steam Web API\n";
}

void pageMasters(std::vector<net::MasterListing>& listings, const std::vector<std::string>& names,
                 ListedServers& listed, std::ostream& err, query::Clock& clock)
{
    try {
        net::fetchMasterLists(listings, {}, clock);
    } catch (const net::BatchSocketError& e) {
        err << "vantry: cannot use the network: " << e.what() << "\n";
        return;
    }
    for (std::size_t i = 0; i < listings.size(); ++i) {
        reportMaster(err, names[i], listings[i]);
        const std::string source = "master " + query::endpointText(listings[i].master);
        for (const query::Endpoint& a : listings[i].exchange->servers())
            listed.add(a, std::nullopt, source);
    }
}

int printListed(const CliOptions& o, const std::vector<Listed>& listed, std::ostream& out, std::ostream& err,
                query::Clock& clock)
{
    if (o.query && !listed.empty()) {
        SessionPlan plan = sessionPlan(o, 0);
        for (const Listed& l : listed)
            plan.targets.push_back(l.address);
        return runAndPrint(plan, outputChoice(o), out, err, "no listed server answered", clock);
    }
    if (o.json && o.query)
        out << "[]\n";
    else if (o.json)
        writeAddressJson(out, listed);
    else
        for (const Listed& l : listed)
            out << query::endpointText(l.address) << '\n';
    out.flush();
    if (listed.empty()) {
        err << "vantry: no server listed\n";
        return ExitNoneAnswered;
    }
    return ExitAnswered;
}

} // namespace

int runMaster(const CliOptions& o, std::ostream& out, std::ostream& err, const HostLookup& lookup,
              query::Clock& clock)
{
    std::string problem;
    const std::optional<std::string> key = steamKey(o, problem);
    std::vector<net::MasterListing> listings;
    std::vector<std::string> names;
    if (!problem.empty() || !masterListings(o, lookup, listings, names, problem))
        return badArguments(err, problem, "master");

    std::unique_ptr<QCoreApplication> app;
    if ((key || asksXash(o)) && !QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "vantry";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    ListedServers listed{o.pacing.limit, {}, {}};
    if (asksXash(o))
        askXash(o, listed, err);
    if (key)
        askSteam(o, *key, listed, err);
    if (o.query && !listings.empty())
        return queryAsListed(o, listings, names, listed.list, out, err, clock);
    if (!listings.empty())
        pageMasters(listings, names, listed, err, clock);
    return printListed(o, listed.list, out, err, clock);
}

} // namespace vantry::cli
