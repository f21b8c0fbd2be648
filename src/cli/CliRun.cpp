#include "CliRun.h"

#include "CliArguments.h"
#include "CliMaster.h"
#include "CliSession.h"
#include "CliSettings.h"
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
    if (const auto dotted = parseDottedQuad(host))
        return dotted;
    std::string reason;
    if (const auto address = lookup(host, reason))
        return address;
    error = "cannot find the address of '" + host + "': " + reason;
    return std::nullopt;
}

int badArguments(std::ostream& err, const std::string& text)
{
    err << "vantry: " << text << "\n"
        << "Try 'vantry query --help'.\n";
    return ExitBadArguments;
}

} // namespace

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
    if (!words.empty() && words[0] == "master")
        return runMaster(words, out, err, lookup, clock);
    const ParsedArguments parsed = parseArguments(words);
    if (!parsed.options)
        return badArguments(err, parsed.error);
    const CliOptions& o = *parsed.options;
    if (o.help) {
        out << usageText();
        return ExitAnswered;
    }

    std::uint16_t defaultPort = DefaultPort;
    int delayMs = DefaultDelayMs;
    if (o.settingsFile) {
        std::string error;
        const auto defaults = readSettingsDefaults(*o.settingsFile, error);
        if (!defaults)
            return badArguments(err, error);
        defaultPort = defaults->port;
        delayMs = defaults->delayMs;
    }
    if (o.port)
        defaultPort = *o.port;
    // A query keeps a rate unless given a pause; a sweep keeps its pause unless given a rate.
    if (o.command == Command::Query || (o.rate && !o.delayMs))
        delayMs = 0;
    if (o.delayMs)
        delayMs = *o.delayMs;

    SessionPlan plan;
    plan.delayMs = delayMs;
    plan.ratePerSecond = delayMs > 0 ? 0 : o.rate.value_or(o.command == Command::Query ? DefaultRate : 0);
    plan.timeoutMs = o.timeoutMs;
    plan.players = o.players || o.player;
    plan.player = o.player;
    plan.rules = o.rules;
    plan.old = o.old;
    plan.endWhenAllDone = o.command == Command::Query;
    plan.targetOrder = o.command == Command::Query;
    plan.retries = o.retries;
    if (o.command == Command::Query) {
        std::unordered_set<std::uint64_t> seen;
        for (const HostArgument& h : o.hosts) {
            std::string error;
            const auto address = resolve(h.host, error, lookup);
            if (!address)
                return badArguments(err, error);
            const query::Endpoint peer{*address, h.port.value_or(defaultPort)};
            if (seen.insert(query::OutstandingRequests::keyOf(peer.address, peer.port)).second)
                plan.targets.push_back(peer);
        }
    } else {
        for (std::uint32_t a : sweepAddresses(o.from, o.to))
            plan.targets.push_back({a, defaultPort});
    }

    return runAndPrint(plan, OutputChoice{o.json, o.players || o.player, o.rules, o.printed}, out, err,
                       "no server answered", clock);
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
