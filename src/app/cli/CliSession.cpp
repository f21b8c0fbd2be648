#include "CliSession.h"

#include <algorithm>
#include <type_traits>

namespace vantry::cli {

namespace {

// A server that answers every challenge with another is not followed for ever.
constexpr int MaxChallengeAnswers = 2;

std::uint64_t keyOf(const net::Peer& p)
{
    return query::OutstandingRequests::keyOf(p.address, p.port);
}

} // namespace

std::string dottedQuad(std::uint32_t a)
{
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

QuerySession::QuerySession(SessionPlan plan) : m_plan(std::move(plan)), m_dispatcher(m_requests)
{
    m_dispatcher.setOutstanding(&m_outstanding);
    for (const net::Peer& p : m_plan.targets)
        m_asked.insert(keyOf(p));
}

std::vector<ServerResult> QuerySession::run(net::BatchSocket& socket)
{
    const std::size_t batch = m_plan.delayMs == 0 ? net::BatchSocket::BatchSize : 1;
    std::vector<net::Peer> peers;
    for (std::size_t next = 0; next < m_plan.targets.size();) {
        const std::size_t count = std::min(batch, m_plan.targets.size() - next);
        peers.assign(m_plan.targets.begin() + static_cast<std::ptrdiff_t>(next),
                     m_plan.targets.begin() + static_cast<std::ptrdiff_t>(next + count));
        next += count;
        m_lastSendMs = net::BatchSocket::steadyMs();
        for (const net::Peer& p : peers)
            m_outstanding.infoSent(p.address, p.port, m_lastSendMs);
        socket.sendAll(m_requests.info(), peers);
        if (m_plan.old)
            socket.sendAll(m_requests.oldInfo(), peers);
        // Replies are taken between batches, so the receive buffer never has to hold a sweep's.
        drain(socket);
        if (m_plan.delayMs > 0 && next < m_plan.targets.size()) {
            const std::int64_t until = net::BatchSocket::steadyMs() + m_plan.delayMs;
            for (std::int64_t now = net::BatchSocket::steadyMs(); now < until;
                 now = net::BatchSocket::steadyMs()) {
                if (socket.wait(static_cast<int>(until - now)))
                    drain(socket);
            }
        }
    }
    // Every request sent while waiting (challenges, details) moves the end along.
    for (;;) {
        if (m_plan.endWhenAllDone && allDone())
            break;
        const std::int64_t now = net::BatchSocket::steadyMs();
        const std::int64_t end = m_lastSendMs + m_plan.timeoutMs;
        if (now >= end)
            break;
        if (socket.wait(static_cast<int>(std::min<std::int64_t>(end - now, 50))))
            drain(socket);
    }

    std::vector<ServerResult> out;
    out.reserve(m_servers.size());
    for (Server& s : m_servers)
        out.push_back(std::move(s.result));
    m_servers.clear();
    m_bySender.clear();
    m_byAddress.clear();
    return out;
}

void QuerySession::drain(net::BatchSocket& socket)
{
    for (;;) {
        const auto datagrams = socket.receive();
        if (datagrams.empty())
            return;
        for (const net::Incoming& in : datagrams)
            handle(socket, in);
    }
}

void QuerySession::handle(net::BatchSocket& socket, const net::Incoming& in)
{
    ++m_received;
    if (!m_asked.contains(keyOf(in.from)))
        return;
    const query::Source source{dottedQuad(in.from.address), in.from.port};
    query::Outcome outcome = m_dispatcher.dispatch(in.data, source, static_cast<std::uint64_t>(in.atMs));
    std::visit(
        [&](auto& o) {
            using T = std::decay_t<decltype(o)>;
            if constexpr (std::is_same_v<T, query::InfoChallenge>) {
                const auto request = m_requests.infoWithChallenge(o.challenge);
                sendOne(socket, in.from, request);
            } else if constexpr (std::is_same_v<T, query::ChallengeAnswer>) {
                // The info request goes again before the server is listed; the table allows
                // this once per request.
                if (o.infoChallenge)
                    sendOne(socket, in.from, m_requests.infoWithChallenge(*o.infoChallenge));
                Server* s = serverAt(in.from);
                if (!s || s->challengeAnswers >= MaxChallengeAnswers)
                    return;
                ++s->challengeAnswers;
                // The dispatcher has just put this server's challenge into the slot.
                if (m_plan.players)
                    sendOne(socket, in.from, m_requests.playersChallenge());
                if (m_plan.rules)
                    sendOne(socket, in.from, m_requests.rulesChallenge());
            } else if constexpr (std::is_same_v<T, query::InfoReply>) {
                listed(socket, in.from, std::move(o.row));
            } else if constexpr (std::is_same_v<T, query::PlayersReply>) {
                if (Server* s = serverAt(in.from); s && m_plan.players)
                    s->result.players = std::move(o.players);
            } else if constexpr (std::is_same_v<T, query::RulesReply>) {
                // An empty reply may be the first of two older-engine fragments: it does not
                // replace rules already shown.
                if (Server* s = serverAt(in.from);
                    s && m_plan.rules && (!s->result.rules || !o.rules.empty()))
                    s->result.rules = std::move(o.rules);
            }
        },
        outcome);
}

bool QuerySession::isDuplicate(const query::ServerRow& row, const net::Peer& from) const
{
    const auto [first, last] = m_byAddress.equal_range(from.address);
    for (auto it = first; it != last; ++it) {
        const query::ServerRow& listedRow = m_servers[it->second].result.row;
        if (row.identity == query::Identity::AddressOnly || listedRow.identityPort == from.port)
            return true;
    }
    return false;
}

void QuerySession::listed(net::BatchSocket& socket, const net::Peer& from, query::ServerRow row)
{
    if (isDuplicate(row, from))
        return;
    const std::size_t index = m_servers.size();
    m_servers.push_back({ServerResult{std::move(row), std::nullopt, std::nullopt}, from, 0});
    m_bySender.emplace(keyOf(from), index);
    m_byAddress.emplace(from.address, index);
    if (m_plan.players || m_plan.rules)
        askDetails(socket, m_servers.back());
}

void QuerySession::askDetails(net::BatchSocket& socket, Server& server)
{
    const net::Peer to = server.from;
    m_outstanding.detailsSent(to.address, to.port, net::BatchSocket::steadyMs());
    if (server.result.row.identity == query::Identity::AddressOnly) {
        if (m_plan.players)
            sendOne(socket, to, m_requests.oldPlayers());
        if (m_plan.rules)
            sendOne(socket, to, m_requests.oldRules());
        return;
    }
    // The whole forms carry the last challenge of any server; a server that wants its own
    // answers with a challenge, and the dispatcher routes that here.
    if (m_plan.rules)
        sendOne(socket, to, m_requests.rules());
    if (m_plan.players)
        sendOne(socket, to, m_requests.players());
}

void QuerySession::sendOne(net::BatchSocket& socket, const net::Peer& to, query::Bytes data)
{
    const net::Outgoing datagram{to, data};
    socket.send(std::span(&datagram, 1));
    m_lastSendMs = net::BatchSocket::steadyMs();
}

QuerySession::Server* QuerySession::serverAt(const net::Peer& from)
{
    const auto it = m_bySender.find(keyOf(from));
    return it == m_bySender.end() ? nullptr : &m_servers[it->second];
}

bool QuerySession::allDone() const
{
    if (m_bySender.size() < m_asked.size())
        return false;
    return std::all_of(m_servers.begin(), m_servers.end(), [&](const Server& s) {
        return (!m_plan.players || s.result.players) &&
               (!m_plan.rules || (s.result.rules && !s.result.rules->empty()));
    });
}

} // namespace vantry::cli
