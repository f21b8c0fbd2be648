#include "CliSession.h"

#include "CliRun.h"
#include "query/ProbePacer.h"

#include <algorithm>
#include <type_traits>

namespace vantry::cli {

namespace {

// A server that answers every challenge with another is not followed for ever.
constexpr int MaxChallengeAnswers = 2;
// Bounds a wait so that a clock that jumps is noticed.
constexpr std::int64_t LongestWaitMs = 50;
// How often a feed is looked at while it runs: a page's first probe waits at most this long.
constexpr std::int64_t FeedPollMs = 2;
// The burst of a rate, in milliseconds of it.
constexpr int RateBurstMs = 10;

} // namespace

QuerySession::QuerySession(SessionPlan plan)
    : m_plan(std::move(plan)), m_dispatcher(m_requests),
      // Room for every target twice over, so that no request in flight gives way to another;
      // the table is laid out (and its pages touched) at the first request.
      m_outstanding(m_plan.feed ? query::OutstandingRequests::Capacity
                                : std::min(2 * m_plan.targets.size(), query::OutstandingRequests::Capacity)),
      m_retries(static_cast<std::size_t>(std::clamp(m_plan.retries, 0, MaxRetries)))
{
    m_dispatcher.setOutstanding(&m_outstanding);
    m_servers.reserve(std::min<std::size_t>(m_plan.targets.size(), 4096));
    m_targets.reserve(m_plan.targets.size());
    m_targetOf.reserve(m_plan.targets.size());
    for (const query::Endpoint& p : m_plan.targets)
        addTarget(p);
    m_feeding = static_cast<bool>(m_plan.feed);
}

void QuerySession::addTarget(const query::Endpoint& peer)
{
    // A target named twice is asked once.
    if (m_targetOf.emplace(peer.key(), static_cast<std::uint32_t>(m_targets.size())).second)
        m_targets.push_back({peer});
}

bool QuerySession::pullFeed()
{
    if (!m_feeding)
        return false;
    m_fed.clear();
    m_feeding = m_plan.feed(m_fed);
    for (const query::Endpoint& p : m_fed)
        addTarget(p);
    return m_feeding;
}

std::vector<ServerResult> QuerySession::run(net::BatchSocket& socket)
{
    const bool paced = m_plan.delayMs > 0;
    const int rate = paced ? 0 : std::max(0, m_plan.ratePerSecond);
    query::ProbePacer pacer(rate, std::max(1, rate * RateBurstMs / 1000));
    const std::size_t batch = paced ? 1 : net::BatchSocket::BatchSize;
    std::size_t next = 0; // the first target never asked
    std::int64_t nextProbeMs = 0;
    std::vector<std::uint32_t> due;
    for (;;) {
        std::int64_t now = socket.clock().nowMs();
        const bool feeding = pullFeed();
        if (!paced || now >= nextProbeMs) {
            const std::size_t limit =
                static_cast<std::size_t>(std::min<std::int64_t>(std::int64_t(batch), pacer.allowance(now)));
            // Retries first: they are older than any target not yet asked.
            due.clear();
            takeDueRetries(now, limit, due);
            while (due.size() < limit && next < m_targets.size())
                due.push_back(static_cast<std::uint32_t>(next++));
            if (!due.empty()) {
                ask(socket, due);
                pacer.sent(static_cast<std::int64_t>(due.size()));
                nextProbeMs = now + m_plan.delayMs;
            }
            // Replies are taken between batches, so the receive buffer never has to hold a
            // sweep's.
            drain(socket);
            now = socket.clock().nowMs();
        }
        const bool allAsked = next == m_targets.size() && !feeding;
        if (finished(now, allAsked))
            break;

        // Sleep until a reply comes, a request falls due, or the wait after the last one ends.
        std::int64_t wake = m_lastSendMs + m_plan.timeoutMs;
        if (const auto retry = nextRetryMs())
            wake = paced ? std::max(*retry, nextProbeMs) : std::max(*retry, pacer.nextMs(now));
        if (next < m_targets.size())
            wake = std::min(wake, paced ? nextProbeMs : pacer.nextMs(now));
        if (feeding)
            wake = std::min(wake, now + FeedPollMs);
        const std::int64_t wait = std::clamp<std::int64_t>(wake - now, 0, LongestWaitMs);
        if (socket.wait(static_cast<int>(wait)))
            drain(socket);
    }

    std::vector<ServerResult> out;
    out.reserve(m_servers.size());
    const auto refusedResult = [](const Target& t) {
        ServerResult r;
        r.row.from = t.peer;
        r.refused = true;
        return r;
    };
    if (m_plan.targetOrder) {
        for (const Target& t : m_targets) {
            if (t.server >= 0)
                out.push_back(std::move(m_servers[static_cast<std::size_t>(t.server)].result));
            else if (t.refused)
                out.push_back(refusedResult(t));
        }
    } else {
        for (Server& s : m_servers)
            out.push_back(std::move(s.result));
        for (const Target& t : m_targets) {
            if (t.refused && t.server < 0)
                out.push_back(refusedResult(t));
        }
    }
    m_servers.clear();
    m_byAddress.clear();
    for (Target& t : m_targets)
        t.server = -1;
    return out;
}

bool QuerySession::finished(std::int64_t nowMs, bool allAsked)
{
    if (m_plan.endWhenAllDone && allAsked && m_done == m_targets.size())
        return true;
    return allAsked && !nextRetryMs() && nowMs >= m_lastSendMs + m_plan.timeoutMs;
}

void QuerySession::ask(net::BatchSocket& socket, const std::vector<std::uint32_t>& targets)
{
    std::vector<query::Endpoint> infoPeers;
    infoPeers.reserve(targets.size());
    const std::int64_t now = socket.clock().nowMs();
    for (const std::uint32_t index : targets) {
        Target& t = m_targets[index];
        if (!t.answered) {
            infoPeers.push_back(t.peer);
            m_outstanding.infoSent(t.peer.address, t.peer.port, now);
        } else if (Server* s = serverOf(t)) {
            s->challengeAnswers = 0;
            askDetails(socket, *s);
        }
        ++t.asks;
        t.askedAtMs = now;
        scheduleRetry(index);
    }
    if (!infoPeers.empty()) {
        socket.sendAll(m_requests.info(), infoPeers);
        if (m_plan.old)
            socket.sendAll(m_requests.oldInfo(), infoPeers);
        m_lastSendMs = socket.clock().nowMs();
    }
}

void QuerySession::scheduleRetry(std::uint32_t index)
{
    const Target& t = m_targets[index];
    if (t.asks >= 1 && static_cast<std::size_t>(t.asks) <= m_retries.size())
        m_retries[static_cast<std::size_t>(t.asks - 1)].push_back({index, t.asks, t.askedAtMs});
}

std::int64_t QuerySession::retryPauseMs(int asks) const
{
    // Doubling without end would wait minutes at the most retries; a host that has not answered
    // in twice the time-out is asked no slower than that.
    const std::int64_t timeout = m_plan.timeoutMs;
    return std::min((timeout / 2) << std::min(asks - 1, 8), 2 * timeout);
}

void QuerySession::takeDueRetries(std::int64_t nowMs, std::size_t limit, std::vector<std::uint32_t>& out)
{
    for (std::deque<Pending>& queue : m_retries) {
        while (!queue.empty() && out.size() < limit) {
            const Pending p = queue.front();
            const Target& t = m_targets[p.target];
            if (t.done || t.asks != p.asks || t.askedAtMs != p.askedAtMs) {
                queue.pop_front();
                continue;
            }
            if (p.askedAtMs + retryPauseMs(p.asks) > nowMs)
                break;
            queue.pop_front();
            out.push_back(p.target);
        }
    }
}

std::optional<std::int64_t> QuerySession::nextRetryMs()
{
    std::optional<std::int64_t> first;
    for (std::deque<Pending>& queue : m_retries) {
        while (!queue.empty()) {
            const Pending& p = queue.front();
            const Target& t = m_targets[p.target];
            if (t.done || t.asks != p.asks || t.askedAtMs != p.askedAtMs) {
                queue.pop_front();
                continue;
            }
            const std::int64_t at = p.askedAtMs + retryPauseMs(p.asks);
            first = first ? std::min(*first, at) : at;
            break;
        }
    }
    return first;
}

void QuerySession::drain(net::BatchSocket& socket)
{
    for (;;) {
        const auto datagrams = socket.receive();
        const auto refused = socket.refused();
        if (datagrams.empty() && refused.empty())
            return;
        if (!refused.empty()) {
            const std::int64_t now = socket.clock().nowMs();
            for (const query::Endpoint& peer : refused)
                refusedBy(peer, now);
        }
        for (const net::Incoming& in : datagrams)
            handle(socket, in);
    }
}

void QuerySession::refusedBy(const query::Endpoint& peer, std::int64_t nowMs)
{
    const auto found = m_targetOf.find(peer.key());
    if (found == m_targetOf.end())
        return;
    Target& t = m_targets[found->second];
    m_dispatcher.refused(peer, static_cast<std::uint64_t>(nowMs));
    if (t.done)
        return;
    // A server that answered and then closed its port keeps its row, without what it still owed.
    t.refused = !t.answered;
    t.done = true;
    ++m_done;
}

void QuerySession::handle(net::BatchSocket& socket, const net::Incoming& in)
{
    ++m_received;
    const auto found = m_targetOf.find(in.from.key());
    if (found == m_targetOf.end())
        return;
    const std::uint32_t index = found->second;
    query::Outcome outcome = m_dispatcher.dispatch(in.data, in.from, static_cast<std::uint64_t>(in.atMs));
    std::visit(
        [&](auto& o) {
            using T = std::decay_t<decltype(o)>;
            if constexpr (std::is_same_v<T, query::InfoChallenge>) {
                sendOne(socket, in.from, m_requests.infoWithChallenge(o.challenge));
            } else if constexpr (std::is_same_v<T, query::ChallengeAnswer>) {
                // The info request goes again before the server is listed; the table allows
                // this once per request.
                if (o.infoChallenge)
                    sendOne(socket, in.from, m_requests.infoWithChallenge(*o.infoChallenge));
                Server* s = serverOf(m_targets[index]);
                if (!s || s->challengeAnswers >= MaxChallengeAnswers)
                    return;
                ++s->challengeAnswers;
                // The dispatcher has just put this server's challenge into the slot.
                if (m_plan.players)
                    sendOne(socket, in.from, m_requests.playersChallenge());
                if (m_plan.rules)
                    sendOne(socket, in.from, m_requests.rulesChallenge());
            } else if constexpr (std::is_same_v<T, query::InfoReply>) {
                listed(socket, index, std::move(o.row));
            } else if constexpr (std::is_same_v<T, query::PlayersReply>) {
                if (Server* s = serverOf(m_targets[index]); s && m_plan.players)
                    s->result.players = std::move(o.players);
            } else if constexpr (std::is_same_v<T, query::RulesReply>) {
                // An empty reply is an answer, but it does not replace rules already shown (a
                // late copy of another layout, say).
                if (Server* s = serverOf(m_targets[index]);
                    s && m_plan.rules && !o.firstPart && (!s->result.rules || !o.rules.empty()))
                    s->result.rules = std::move(o.rules);
            } else if constexpr (std::is_same_v<T, query::Dropped>) {
                // The host answered, only not with a row of ours: asking again changes nothing.
                if (o.reason == query::DropReason::OtherGame || o.reason == query::DropReason::SecondReply)
                    m_targets[index].answered = true;
            }
        },
        outcome);
    checkDone(m_targets[index]);
}

bool QuerySession::isDuplicate(const query::ServerRow& row, const query::Endpoint& from) const
{
    const auto [first, last] = m_byAddress.equal_range(from.address);
    for (auto it = first; it != last; ++it) {
        const query::ServerRow& listedRow = m_servers[it->second].result.row;
        if (row.identity == query::Identity::AddressOnly || listedRow.from.port == from.port)
            return true;
    }
    return false;
}

void QuerySession::listed(net::BatchSocket& socket, std::uint32_t index, query::ServerRow row)
{
    Target& t = m_targets[index];
    const bool first = !t.answered;
    t.answered = true;
    // A late reply to an earlier ask, or the other layout of one reply, lists nothing new.
    if (!first || t.server >= 0 || isDuplicate(row, t.peer))
        return;
    const std::size_t at = m_servers.size();
    m_servers.push_back({ServerResult{std::move(row), std::nullopt, std::nullopt}, t.peer, 0});
    m_byAddress.emplace(t.peer.address, at);
    t.server = static_cast<std::int32_t>(at);
    if (m_plan.players || m_plan.rules) {
        askDetails(socket, m_servers.back());
        // The details are a new stage with retries of their own.
        t.asks = 1;
        t.askedAtMs = socket.clock().nowMs();
        scheduleRetry(index);
    }
}

void QuerySession::askDetails(net::BatchSocket& socket, Server& server)
{
    const query::Endpoint to = server.from;
    m_outstanding.detailsSent(to.address, to.port, socket.clock().nowMs());
    const bool wantPlayers = m_plan.players && !server.result.players;
    const bool wantRules = m_plan.rules && !server.result.rules;
    if (server.result.row.identity == query::Identity::AddressOnly) {
        if (wantPlayers)
            sendOne(socket, to, m_requests.oldPlayers());
        if (wantRules)
            sendOne(socket, to, m_requests.oldRules());
        return;
    }
    // The whole forms carry the last challenge of any server; a server that wants its own
    // answers with a challenge, and the dispatcher routes that here.
    if (wantRules)
        sendOne(socket, to, m_requests.rules());
    if (wantPlayers)
        sendOne(socket, to, m_requests.players());
}

void QuerySession::sendOne(net::BatchSocket& socket, const query::Endpoint& to, query::Bytes data)
{
    const net::Outgoing datagram{to, data};
    socket.send(std::span(&datagram, 1));
    m_lastSendMs = socket.clock().nowMs();
}

QuerySession::Server* QuerySession::serverOf(const Target& target)
{
    return target.server < 0 ? nullptr : &m_servers[static_cast<std::size_t>(target.server)];
}

void QuerySession::checkDone(Target& t)
{
    if (t.done || !t.answered)
        return;
    if (const Server* s = serverOf(t)) {
        if (m_plan.players && !s->result.players)
            return;
        if (m_plan.rules && !s->result.rules)
            return;
    }
    t.done = true;
    ++m_done;
}

int runAndPrint(const SessionPlan& plan, const OutputChoice& choice, std::ostream& out, std::ostream& err,
                const char* noneAnswered, query::Clock& clock)
{
    std::vector<ServerResult> servers;
    try {
        net::BatchSocket socket(net::BatchSocket::DefaultReceiveBuffer, clock);
        QuerySession session(plan);
        servers = session.run(socket);
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
