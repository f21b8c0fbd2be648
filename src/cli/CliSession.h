#pragma once

#include "CliArguments.h"
#include "CliOutput.h"
#include "net/BatchSocket.h"
#include "query/Endpoint.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

namespace vantry::cli {

struct SessionPlan
{
    std::vector<query::Endpoint> targets; // asked in this order
    int delayMs = 0;                      // 0: in batches; otherwise one request, then this pause
    int ratePerSecond = 0;                // with no pause: requests per second, 0 unpaced
    bool findPace = false;                // the pace is found from the answers, ratePerSecond its ceiling
    int timeoutMs = 1000;                 // wait after the last request sent
    // How many more times a target is asked that has not answered all it was asked. The first
    // pause is half the time-out, each further one twice the one before; info and details each
    // have this many.
    int retries = query::DefaultRetries;
    bool players = false;
    // Print only the servers with a player whose name holds this (any case), with those players.
    std::optional<std::string> player;
    bool rules = false;
    bool old = false;            // also the old info request
    bool endWhenAllDone = false; // end the wait once every target has answered all it was asked
    bool targetOrder = false;    // results in the order of their targets, not of their arrival
    // More targets as they become known (a master's pages): moves them into its argument and
    // says whether more may come. The session ends only once it says no more.
    std::function<bool(std::vector<query::Endpoint>&)> feed;
};

// The plan of what the options ask of every server, without its targets; a sweep pauses
// `sweepDelayMs` after each probe unless given a rate.
SessionPlan sessionPlan(const CliOptions& options, int sweepDelayMs);
OutputChoice outputChoice(const CliOptions& options);

// Runs the plan's query session over the socket until it ends: the servers in the order their
// first info reply arrived, or of their targets, with the hosts that refused (never answered,
// port closed) among them in target order, or after them. Replies from peers that were not asked
// are dropped.
std::vector<ServerResult> runSession(const SessionPlan& plan, net::BatchSocket& socket);

// Runs `plan` on a batch socket of its own and prints the servers that answered and pass the
// choice's filter; `noneAnswered` goes to `err` when none answered. Returns the exit status.
int runAndPrint(const SessionPlan& plan, const OutputChoice& choice, std::ostream& out, std::ostream& err,
                const char* noneAnswered, query::Clock& clock);

} // namespace vantry::cli
