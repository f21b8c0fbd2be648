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

int badArguments(std::ostream& err, const std::string& text)
{
    err << "vantry: " << text << "\n"
        << "Try 'vantry master --help'.\n";
    return ExitBadArguments;
}

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
    const std::size_t n = l.paging.servers().size();
    const std::string after = " after " + std::to_string(n) + " address" + (n == 1 ? "" : "es");
    switch (l.paging.outcome()) {
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
    if (const std::size_t bad = l.paging.malformedReplies())
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

SessionPlan queryPlan(const MasterOptions& o, int delayMs, int rate)
{
    SessionPlan plan;
    plan.delayMs = delayMs;
    plan.ratePerSecond = rate;
    plan.timeoutMs = o.timeoutMs;
    plan.retries = o.retries;
    plan.players = o.players || o.player;
    plan.player = o.player;
    plan.rules = o.rules;
    plan.old = o.old;
    plan.endWhenAllDone = true;
    return plan;
}

// The masters page on a thread of their own while the session asks every address as it comes.
int queryAsListed(const MasterOptions& o, std::vector<net::MasterListing>& listings,
                  const std::vector<std::string>& names, const std::vector<Listed>& before, int delayMs,
                  int rate, std::ostream& out, std::ostream& err, query::Clock& clock)
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
    SessionPlan plan = queryPlan(o, delayMs, rate);
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
            const std::vector<query::Endpoint>& servers = listings[i].paging.servers();
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
        status = runAndPrint(plan, OutputChoice{o.json, o.players || o.player, o.rules, o.printed}, out,
                             verdict, "no listed server answered", clock);
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

} // namespace

int runMaster(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
              const HostLookup& lookup, query::Clock& clock)
{
    const ParsedMasterArguments parsed = parseMasterArguments(words);
    if (!parsed.options)
        return badArguments(err, parsed.error);
    const MasterOptions& o = *parsed.options;
    if (o.help) {
        out << masterUsageText();
        return ExitAnswered;
    }

    if (o.settingsFile) {
        const QFileInfo info(QString::fromLocal8Bit(o.settingsFile->c_str()));
        if (!info.isFile() || !info.isReadable())
            return badArguments(err, "cannot read the settings file '" + *o.settingsFile + "'");
    }
    std::optional<std::string> key = o.steamKey;
    if (o.steamKeyFile) {
        std::string problem;
        key = keyFromFile(*o.steamKeyFile, problem);
        if (!key)
            return badArguments(err, problem);
    }
    if (!key && o.masters.empty() && !asksXash(o)) {
        if (const char* variable = std::getenv(KeyVariable); variable && *variable)
            key = variable;
        else if (o.settingsFile)
            key = settingsKey(*o.settingsFile);
    }
    if (o.masters.empty() && !key && !asksXash(o))
        return badArguments(err, "nothing to ask: give --master HOST[:PORT], or a Steam Web API key with "
                                 "--steam-key-file, VANTRY_STEAM_KEY or SteamKey in section [Master] of the "
                                 "--settings file, or --xash for the Xash3D masters");
    if (key) {
        if (const QString problem = net::keyProblem(QString::fromStdString(*key).trimmed());
            !problem.isEmpty())
            return badArguments(err, problem.toStdString());
    }
    // The listed servers are asked at a rate unless given a pause.
    const int delayMs = o.delayMs.value_or(0);
    const int rate = delayMs > 0 ? 0 : o.rate.value_or(DefaultRate);

    std::vector<net::MasterListing> listings;
    std::vector<std::string> names;
    {
        std::unordered_set<std::uint64_t> seen;
        for (const HostArgument& h : o.masters) {
            std::optional<std::uint32_t> address = parseDottedQuad(h.host);
            if (!address) {
                std::string reason;
                address = lookup(h.host, reason);
                if (!address)
                    return badArguments(err, "cannot find the address of '" + h.host + "': " + reason);
            }
            const query::Endpoint master{*address, h.port.value_or(DefaultMasterPort)};
            if (!seen.insert(master.key()).second)
                continue;
            query::MasterPacing pacing = o.pacing;
            // Valve's masters fall silent for a while when asked faster than their pace.
            pacing.adaptive = !o.paceGiven && !query::rateLimitedMaster(h.host);
            listings.push_back(
                {query::Endpoint{master.address, master.port},
                 query::MasterPaging(static_cast<std::uint8_t>(o.region), masterFilterText(o), pacing), false,
                 0});
            const std::string text = query::endpointText(master);
            names.push_back(parseDottedQuad(h.host) ? text : h.host + " (" + text + ")");
        }
    }

    std::vector<Listed> listed;
    std::unordered_set<std::uint64_t> seen;
    const auto add = [&](const query::Endpoint& a, std::optional<net::ListedServer> described,
                         const std::string& source) {
        if (listed.size() < o.pacing.limit && seen.insert(a.key()).second)
            listed.push_back({a, std::move(described), source});
    };

    std::unique_ptr<QCoreApplication> app;
    if (key || asksXash(o)) {
        static int argc = 1;
        static char name[] = "vantry";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            app = std::make_unique<QCoreApplication>(argc, argv);
    }
    if (asksXash(o)) {
        net::XashFetchRequest request;
        if (o.xash)
            request.masters = options::xashPresetMasters();
        for (const HostArgument& h : o.xashMasters)
            request.masters.append(QString::fromStdString(h.host) + u':' +
                                   QString::number(h.port.value_or(query::XashMasterPort)));
        if (o.listUrl)
            request.listUrl = QString::fromStdString(*o.listUrl);
        request.gameDirs = {*xashGameDir(o)};
        request.notEmpty = o.notEmpty;
        request.notFull = o.notFull;
        request.noPassword = o.noPassword;
        std::unique_ptr<net::XashFetch> fetch(net::XashFetch::runAndWait(request, nullptr));
        for (const QString& problem : fetch->problems())
            err << "vantry: " << problem.toStdString() << "\n";
        for (const query::Endpoint& a : fetch->servers())
            add(a, std::nullopt, "xash");
    }
    if (key) {
        net::ServerListRequest request;
        if (o.apiUrl)
            request.baseUrl = QString::fromStdString(*o.apiUrl);
        request.key = QString::fromStdString(*key);
        request.filter = QString::fromStdString(masterFilterText(o));
        request.limit = static_cast<int>(o.pacing.limit);
        if (o.timeoutGiven)
            request.timeoutMs = std::max(o.timeoutMs, 1);
        const net::ServerListResult result = net::SteamServerList::fetchAndWait(request);
        if (!result.reply) {
            err << "vantry: " << result.error.toStdString() << "\n";
        } else {
            for (const net::ListedServer& s : result.reply->servers)
                add(s.address, s, "steam");
            if (result.reply->unusable)
                err << "vantry: the Steam Web API listed " << result.reply->unusable
                    << " entries without a usable address or twice; left out\n";
            if (result.reply->overLimit)
                err << "vantry: stopped at the limit of " << o.pacing.limit
                    << " addresses from the Steam Web API\n";
        }
    }

    const auto masterName = [&](std::size_t i) {
        return "master " + query::endpointText({listings[i].master.address, listings[i].master.port});
    };
    if (o.query && !listings.empty())
        return queryAsListed(o, listings, names, listed, delayMs, rate, out, err, clock);

    if (!listings.empty()) {
        try {
            net::fetchMasterLists(listings, {}, clock);
        } catch (const net::BatchSocketError& e) {
            err << "vantry: cannot use the network: " << e.what() << "\n";
            listings.clear();
        }
        for (std::size_t i = 0; i < listings.size(); ++i) {
            reportMaster(err, names[i], listings[i]);
            for (const query::Endpoint& a : listings[i].paging.servers())
                add(a, std::nullopt, masterName(i));
        }
    }

    if (!o.query) {
        if (o.json) {
            writeAddressJson(out, listed);
        } else {
            for (const Listed& l : listed)
                out << query::endpointText(l.address) << '\n';
        }
        out.flush();
        if (listed.empty()) {
            err << "vantry: no server listed\n";
            return ExitNoneAnswered;
        }
        return ExitAnswered;
    }

    if (listed.empty()) {
        if (o.json)
            out << "[]\n";
        err << "vantry: no server listed\n";
        return ExitNoneAnswered;
    }
    SessionPlan plan = queryPlan(o, delayMs, rate);
    for (const Listed& l : listed)
        plan.targets.push_back({l.address.address, l.address.port});
    return runAndPrint(plan, OutputChoice{o.json, o.players || o.player, o.rules, o.printed}, out, err,
                       "no listed server answered", clock);
}

} // namespace vantry::cli
