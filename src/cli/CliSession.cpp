#include "CliSession.h"

#include "CliRun.h"
#include "query/QuerySession.h"

#include <algorithm>

namespace vantry::cli {

namespace {

// Bounds a wait so that a clock that jumps is noticed.
constexpr std::int64_t LongestWaitMs = 50;
// How often a feed is looked at while it runs: a page's first probe waits at most this long.
constexpr std::int64_t FeedPollMs = 2;

class SocketOut final : public query::DatagramOut
{
public:
    explicit SocketOut(net::BatchSocket& socket) : m_socket(socket) {}
    void sendAll(query::Bytes data, std::span<const query::Endpoint> peers) override
    {
        m_socket.sendAll(data, peers);
    }

private:
    net::BatchSocket& m_socket;
};

query::SessionConfig configOf(const SessionPlan& plan)
{
    query::SessionConfig c;
    c.retries = plan.retries;
    c.timeoutMs = plan.timeoutMs;
    c.ratePerSecond = plan.ratePerSecond;
    c.findPace = plan.findPace;
    c.delayMs = plan.delayMs;
    c.old = plan.old;
    c.players = plan.players;
    c.rules = plan.rules;
    c.expectedTargets = plan.feed ? 0 : plan.targets.size();
    return c;
}

void drain(net::BatchSocket& socket, query::QuerySession& session)
{
    for (;;) {
        const auto datagrams = socket.receive();
        const auto refused = socket.refused();
        if (datagrams.empty() && refused.empty())
            return;
        if (!refused.empty()) {
            const std::int64_t now = socket.clock().nowMs();
            for (const query::Endpoint& peer : refused)
                session.refusedBy(peer, now);
        }
        for (const net::Incoming& in : datagrams)
            session.receive(in.data, in.from, in.atMs);
    }
}

} // namespace

std::vector<ServerResult> runSession(const SessionPlan& plan, net::BatchSocket& socket)
{
    SocketOut out(socket);
    query::QuerySession session(configOf(plan), out);
    for (const query::Endpoint& peer : plan.targets)
        session.addTarget(peer);
    bool feeding = static_cast<bool>(plan.feed);
    std::vector<query::Endpoint> fed;
    query::Clock& clock = socket.clock();
    for (;;) {
        if (feeding) {
            fed.clear();
            feeding = plan.feed(fed);
            for (const query::Endpoint& peer : fed)
                session.addTarget(peer);
        }
        session.pump(clock.nowMs());
        drain(socket, session);
        const std::int64_t now = clock.nowMs();
        const bool allAsked = !feeding && session.askedCount() == session.targetCount();
        if (allAsked && ((plan.endWhenAllDone && session.allTargetsDone()) || session.idle(now)))
            break;
        // Sleep until a reply comes, a request falls due, or the wait after the last one ends.
        std::int64_t wake = session.nextSendMs(now).value_or(session.lastSendMs() + plan.timeoutMs);
        if (feeding)
            wake = std::min(wake, now + FeedPollMs);
        if (socket.wait(static_cast<int>(std::clamp<std::int64_t>(wake - now, 0, LongestWaitMs))))
            drain(socket, session);
    }
    return session.takeResults(plan.targetOrder);
}

int runAndPrint(const SessionPlan& plan, const OutputChoice& choice, std::ostream& out, std::ostream& err,
                const char* noneAnswered, query::Clock& clock)
{
    std::vector<ServerResult> servers;
    try {
        net::BatchSocket socket(net::BatchSocket::DefaultReceiveBuffer, clock);
        servers = runSession(plan, socket);
    } catch (const net::BatchSocketError& e) {
        err << "vantry: cannot use the network: " << e.what() << "\n";
        return ExitNoneAnswered;
    }
    const bool answered =
        std::any_of(servers.begin(), servers.end(), [](const ServerResult& s) { return !s.refused; });
    if (plan.player)
        servers = withPlayer(std::move(servers), *plan.player);
    const bool playerFound = !servers.empty();
    // A refused host has nothing a filter could pass.
    const ResultFilter& f = choice.filter;
    const bool filtering =
        f.notFull || f.notEmpty || f.noPassword || !f.map.empty() || !f.name.empty() || f.maxPingMs > 0;
    std::erase_if(servers, [&](const ServerResult& s) {
        return s.refused ? filtering : !passes(choice.filter, s.row);
    });
    if (choice.json)
        writeJson(out, servers, choice);
    else
        writeLines(out, servers, choice);
    out.flush();
    if (!answered || (plan.player && !playerFound)) {
        err << "vantry: " << (answered ? "no answering server has such a player" : noneAnswered) << "\n";
        return ExitNoneAnswered;
    }
    return ExitAnswered;
}

} // namespace vantry::cli
