#pragma once

#include "CliArguments.h"
#include "CliOutput.h"
#include "net/BatchSocket.h"
#include "query/Dispatcher.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <unordered_map>
#include <vector>

namespace vantry::cli {

struct SessionPlan
{
    std::vector<query::Endpoint> targets; // asked in this order
    int delayMs = 0;                      // 0: in batches; otherwise one request, then this pause
    int ratePerSecond = 0;                // with no pause: requests per second, 0 unpaced
    int timeoutMs = 1000;                 // wait after the last request sent
    // How many more times a target is asked that has not answered all it was asked. The first
    // pause is half the time-out, each further one twice the one before; info and details each
    // have this many.
    int retries = DefaultRetries;
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

// One run of requests over a batch socket: the info requests to every target, the challenges
// they bring, the details of each server that answers, the requests again to targets that stay
// silent, and the wait for the last replies. Replies from peers that were not asked are dropped.
class QuerySession
{
public:
    explicit QuerySession(SessionPlan plan);

    // Servers in the order their first info reply arrived, or of their targets; the hosts that
    // refused (never answered, port closed) among them in target order, or after them.
    std::vector<ServerResult> run(net::BatchSocket& socket);

    std::size_t datagramsReceived() const { return m_received; }

private:
    struct Server
    {
        ServerResult result;
        query::Endpoint from; // where the info reply came from: details go there
        int challengeAnswers = 0;
    };

    struct Target
    {
        query::Endpoint peer;
        std::int64_t askedAtMs = 0;
        int asks = 0;          // of the current stage: info, then details
        bool answered = false; // an info reply came, listed or not
        bool refused = false;  // its port is closed, and it never answered
        bool done = false;     // nothing more to ask
        std::int32_t server = -1;
    };

    // A target waiting for its next retry; stale once the target was asked again since.
    struct Pending
    {
        std::uint32_t target;
        int asks;
        std::int64_t askedAtMs;
    };

    void addTarget(const query::Endpoint& peer);
    // Takes what the feed has; false once it has ended.
    bool pullFeed();
    void ask(net::BatchSocket& socket, const std::vector<std::uint32_t>& targets);
    void scheduleRetry(std::uint32_t index);
    void takeDueRetries(std::int64_t nowMs, std::size_t limit, std::vector<std::uint32_t>& out);
    std::int64_t retryPauseMs(int asks) const;
    // When the first waiting retry falls due; none when no target waits for one.
    std::optional<std::int64_t> nextRetryMs();
    bool finished(std::int64_t nowMs, bool allAsked);

    void drain(net::BatchSocket& socket);
    void handle(net::BatchSocket& socket, const net::Incoming& in);
    // The target's port is closed: it is done at once, asked no more.
    void refusedBy(const query::Endpoint& peer, std::int64_t nowMs);
    void listed(net::BatchSocket& socket, std::uint32_t target, query::ServerRow row);
    void askDetails(net::BatchSocket& socket, Server& server);
    void sendOne(net::BatchSocket& socket, const query::Endpoint& to, query::Bytes data);
    void checkDone(Target& target);
    bool isDuplicate(const query::ServerRow& row, const query::Endpoint& from) const;
    Server* serverOf(const Target& target);

    SessionPlan m_plan;
    query::Requests m_requests;
    query::Dispatcher m_dispatcher;
    query::OutstandingRequests m_outstanding;
    std::vector<Target> m_targets;
    std::unordered_map<std::uint64_t, std::uint32_t> m_targetOf;
    // One queue per number of asks so far: within one the retries fall due in the order of
    // the queue, so only its front is ever looked at.
    std::vector<std::deque<Pending>> m_retries;
    std::vector<Server> m_servers;
    std::unordered_multimap<std::uint32_t, std::size_t> m_byAddress;
    std::size_t m_done = 0;
    std::int64_t m_lastSendMs = 0;
    std::size_t m_received = 0;
    bool m_feeding = false;
    std::vector<query::Endpoint> m_fed;
};

// Runs `plan` on a batch socket of its own and prints the servers that answered and pass the
// choice's filter; `noneAnswered` goes to `err` when none answered. Returns the exit status.
int runAndPrint(const SessionPlan& plan, const OutputChoice& choice, std::ostream& out, std::ostream& err,
                const char* noneAnswered, query::Clock& clock);

} // namespace vantry::cli
