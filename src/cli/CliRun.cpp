#include "CliRun.h"

#include "CliArguments.h"
#include "CliMaster.h"
#include "CliSession.h"
#include "CliSettings.h"
#include "MasterArguments.h"
#include "StandardStreams.h"
#include "SweepRange.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <iostream>
#include <netdb.h>
#include <unistd.h>
#include <unordered_set>

namespace vantry::cli {

namespace {

// A dotted quad is taken as it is; only a name is looked up.
std::optional<std::uint32_t> resolve(const std::string& host, std::string& error, const HostLookup& lookup)
{
    if (const auto dotted = query::Endpoint::parseAddress(host))
        return dotted;
    std::string reason;
    if (const auto address = lookup(host, reason))
        return address;
    error = "cannot find the address of '" + host + "': " + reason;
    return std::nullopt;
}

} // namespace

int badArguments(std::ostream& err, const std::string& text, const char* command)
{
    err << "vantry: " << text << "\n"
        << "Try 'vantry " << command << " --help'.\n";
    return ExitBadArguments;
}

// IPv4 only: the game servers of this family are reached over IPv4.
std::optional<std::uint32_t> systemHostLookup(const std::string& host, std::string& reason)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0 || !found) {
        reason = ::gai_strerror(status);
        return std::nullopt;
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, std::min<std::size_t>(sizeof address, found->ai_addrlen));
    ::freeaddrinfo(found);
    return ntohl(address.sin_addr.s_addr);
}

int runCli(const std::vector<std::string>& words, std::ostream& out, std::ostream& err)
{
    return runCli(words, out, err, systemHostLookup);
}

int runCli(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
           const HostLookup& lookup, query::Clock& clock)
{
    const ParsedArguments parsed = parseArguments(words);
    const bool master = !words.empty() && words[0] == "master";
    if (!parsed.options)
        return badArguments(err, parsed.error, master ? "master" : "query");
    const CliOptions& o = *parsed.options;
    if (o.help) {
        out << (master ? masterUsageText() : usageText());
        return ExitAnswered;
    }
    if (master)
        return runMaster(o, out, err, lookup, clock);

    SettingsDefaults defaults{DefaultPort, DefaultDelayMs};
    if (o.settingsFile) {
        std::string error;
        const auto read = readSettingsDefaults(*o.settingsFile, error);
        if (!read)
            return badArguments(err, error, "query");
        defaults = *read;
    }
    const std::uint16_t defaultPort = o.port.value_or(defaults.port);
    SessionPlan plan = sessionPlan(o, defaults.delayMs);
    if (o.command == Command::Query) {
        std::unordered_set<std::uint64_t> seen;
        for (const HostArgument& h : o.hosts) {
            std::string error;
            const auto address = resolve(h.host, error, lookup);
            if (!address)
                return badArguments(err, error, "query");
            const query::Endpoint peer{*address, h.port.value_or(defaultPort)};
            if (seen.insert(peer.key()).second)
                plan.targets.push_back(peer);
        }
    } else {
        for (std::uint32_t a : sweepAddresses(o.from, o.to))
            plan.targets.push_back({a, defaultPort});
    }
    return runAndPrint(plan, outputChoice(o), out, err, "no server answered", clock);
}

SessionPlan sessionPlan(const CliOptions& o, int sweepDelayMs)
{
    // A query keeps a rate unless given a pause; a sweep keeps its pause unless given a rate.
    const bool sweep = o.command == Command::Sweep;
    SessionPlan plan;
    plan.delayMs = o.delayMs.value_or(sweep && !o.rate ? sweepDelayMs : 0);
    // Without a pause the link's pace is found; a rate given is its ceiling, 0 none at all.
    plan.ratePerSecond = plan.delayMs > 0 ? 0 : o.rate.value_or(0);
    plan.findPace = plan.delayMs == 0 && o.rate.value_or(1) != 0;
    plan.timeoutMs = o.timeoutMs;
    plan.retries = o.retries;
    plan.players = o.players || o.player;
    plan.player = o.player;
    plan.rules = o.rules;
    plan.old = o.old;
    plan.endWhenAllDone = !sweep;
    plan.targetOrder = o.command == Command::Query;
    return plan;
}

OutputChoice outputChoice(const CliOptions& o)
{
    return {o.json, o.players || o.player, o.rules, o.printed};
}

int runCli(int argc, char** argv, const StandardStreams& streams)
{
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i)
        words.emplace_back(argv[i]);
    std::ios::sync_with_stdio(false);
    DescriptorOutput written(STDOUT_FILENO);
    std::ostream out(&written);
    const int status = runCli(words, out, std::cerr);
    return finishOutput(status, streams, out, written, std::cerr);
}

} // namespace vantry::cli
