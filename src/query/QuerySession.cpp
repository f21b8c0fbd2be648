#include "QuerySession.h"

#include <algorithm>
#include <type_traits>

namespace vantry::query {

namespace {

// A server that answers every challenge with another is not followed for ever.
constexpr int MaxChallengeAnswers = 2;
// Requests that leave in one go at most: replies are taken between batches, so that the receive
// buffer never has to hold a whole sweep's. A batch's requests share one send time, and the last
// of a larger batch leaves milliseconds after it: their pings would count that wait too.
constexpr std::size_t BatchSize = 128;
// A ping that waited this long in a queue is asked again, at most MaxReasks times.
constexpr std::int64_t ReaskQueueMs = 2;
constexpr int MaxReasks = 2;
// How often a session with pings to ask again looks whether the link is calm.
constexpr std::int64_t ReaskLookMs = 10;
// Beyond this many servers asked for details, the old entries are let go.
constexpr std::size_t AskedKept = 1 << 16;

constexpr unsigned AnyPlayers = QuerySession::Players | QuerySession::OldPlayers;
constexpr unsigned AnyRules = QuerySession::Rules | QuerySession::OldRules;

std::size_t tableSize(const SessionConfig& c)
{
    // Room for every target twice over, so that no request in flight gives way to another; the
    // table is laid out (and its pages touched) at the first request.
    if (c.expectedTargets == 0)
        return OutstandingRequests::Capacity;
    return std::min(2 * c.expectedTargets, OutstandingRequests::Capacity);
}

int rateOf(const SessionConfig& c)
{
    if (c.delayMs > 0)
        return 0;
    return c.findPace ? LinkPace(c.ratePerSecond).perSecond() : std::max(0, c.ratePerSecond);
}

} // namespace

QuerySession::QuerySession(SessionConfig config, DatagramOut& out)
    : m_config(config), m_out(out), m_outstanding(tableSize(m_config)),
      m_pacer(ProbePacer::ofRate(rateOf(m_config))),
      m_retries(static_cast<std::size_t>(std::clamp(m_config.retries, 0, MaxRetries)))
{
    m_dispatcher.setOutstanding(&m_outstanding);
    if (m_config.findPace && m_config.delayMs <= 0)
        m_linkPace.emplace(m_config.ratePerSecond);
    const std::size_t expected = std::min<std::size_t>(m_config.expectedTargets, 4096);
    m_targets.reserve(expected);
    m_targetOf.reserve(expected);
    m_servers.reserve(expected);
    m_serverState.reserve(expected);
}

// ---- What the front end asks ----

void QuerySession::addTarget(const Endpoint& peer)
{
    if (m_targetOf.emplace(peer.key(), static_cast<std::uint32_t>(m_targets.size())).second)
        m_targets.push_back({peer});
}

void QuerySession::askInfo(const Endpoint& to, bool old, std::int64_t nowMs)
{
    m_outstanding.infoSent(to.address, to.port, nowMs);
    m_out.send(to, m_requests.info());
    if (old)
        m_out.send(to, m_requests.oldInfo());
    m_lastSendMs = nowMs;
}

void QuerySession::askOldInfo(const Endpoint& to)
{
    m_out.send(to, m_requests.oldInfo());
}

void QuerySession::askDetails(const Endpoint& to, unsigned what, std::int64_t nowMs)
{
    Asked& asked = m_asked[to.key()];
    // A new ask adds to one still in flight; an expired one is forgotten.
    if (nowMs - asked.atMs > OutstandingRequests::DetailsLifetimeMs)
        asked.what = 0;
    asked.what |= what;
    asked.atMs = nowMs;
    if (m_asked.size() > AskedKept)
        std::erase_if(m_asked, [&](const auto& entry) {
            return nowMs - entry.second.atMs > OutstandingRequests::DetailsLifetimeMs;
        });
    if (Target* t = targetOf(to); t && t->server >= 0)
        m_serverState[static_cast<std::size_t>(t->server)].challengeAnswers = 0;
    sendDetails(to, what, nowMs);
}

void QuerySession::expectUnasked(std::uint32_t network, std::uint32_t mask, std::int64_t untilMs, int most)
{
    m_unasked = {network & mask, mask, untilMs, most};
}

void QuerySession::forgetListed()
{
    m_servers.clear();
    m_serverState.clear();
    m_byAddress.clear();
    for (Target& t : m_targets)
        t.server = -1;
}

void QuerySession::clearTargets()
{
    m_targets.clear();
    m_targetOf.clear();
    m_next = 0;
    m_done = 0;
    for (std::deque<Pending>& queue : m_retries)
        queue.clear();
}

void QuerySession::setPace(int ratePerSecond, bool old)
{
    m_config.ratePerSecond = ratePerSecond;
    m_config.old = old;
    if (m_config.findPace)
        m_linkPace.emplace(ratePerSecond);
    m_pacer = ProbePacer::ofRate(rateOf(m_config));
}

// ---- Sending ----

void QuerySession::pump(std::int64_t nowMs)
{
    const bool paced = m_config.delayMs > 0;
    if (paced && nowMs < m_nextProbeMs)
        return;
    updatePace(nowMs);
    const std::size_t limit = static_cast<std::size_t>(
        std::min<std::int64_t>(paced ? 1 : std::int64_t(BatchSize), m_pacer.allowance(nowMs)));
    std::vector<std::uint32_t>& due = m_due;
    due.clear();
    // Retries first: they are older than any target not yet asked.
    takeDueRetries(nowMs, limit, due);
    while (due.size() < limit && m_next < m_targets.size())
        due.push_back(static_cast<std::uint32_t>(m_next++));
    if (due.size() < limit && m_next == m_targets.size())
        reask(limit - due.size(), nowMs);
    if (due.empty())
        return;
    ask(due, nowMs);
    m_pacer.sent(static_cast<std::int64_t>(due.size()));
    m_nextProbeMs = nowMs + m_config.delayMs;
}

void QuerySession::updatePace(std::int64_t nowMs)
{
    if (m_linkPace && m_linkPace->update(nowMs))
        m_pacer = ProbePacer::ofRate(m_linkPace->perSecond());
}

void QuerySession::noteRoundTrip(std::uint32_t index, std::int64_t sentMs, std::int64_t atMs, bool retried)
{
    m_linkPace->answered(sentMs, atMs, retried);
    // Waited in a queue: asked again once the link is calm, a few times at most.
    Target& t = m_targets[index];
    if (m_linkPace->queueMs() >= std::max(ReaskQueueMs, m_linkPace->allowanceMs() / 2) &&
        t.reasks < MaxReasks)
        m_reask.push_back(index);
}

void QuerySession::reask(std::size_t limit, std::int64_t nowMs)
{
    if (!m_linkPace || m_linkPace->congested() || m_reask.empty())
        return;
    std::vector<Endpoint> peers;
    while (peers.size() < limit && !m_reask.empty()) {
        Target& t = m_targets[m_reask.front()];
        m_reask.pop_front();
        if (!t.listed || t.reasking)
            continue;
        // Its retries' bookkeeping (asks, askedAtMs) stays: details may still be owed.
        t.reasking = true;
        ++t.reasks;
        ++m_reasking;
        m_outstanding.infoSent(t.peer.address, t.peer.port, nowMs);
        peers.push_back(t.peer);
    }
    if (peers.empty())
        return;
    m_out.sendAll(m_requests.info(), peers);
    m_pacer.sent(static_cast<std::int64_t>(peers.size()));
    m_lastSendMs = nowMs;
}

void QuerySession::ask(const std::vector<std::uint32_t>& targets, std::int64_t nowMs)
{
    std::vector<Endpoint> infoPeers;
    infoPeers.reserve(targets.size());
    for (const std::uint32_t index : targets) {
        Target& t = m_targets[index];
        if (!t.answered) {
            infoPeers.push_back(t.peer);
            m_outstanding.infoSent(t.peer.address, t.peer.port, nowMs);
        } else if (t.server >= 0) {
            m_serverState[static_cast<std::size_t>(t.server)].challengeAnswers = 0;
            sendDetails(m_serverState[static_cast<std::size_t>(t.server)].from, owedBy(t), nowMs);
        }
        ++t.asks;
        t.askedAtMs = nowMs;
        scheduleRetry(index);
    }
    if (!infoPeers.empty()) {
        m_out.sendAll(m_requests.info(), infoPeers);
        if (m_config.old)
            m_out.sendAll(m_requests.oldInfo(), infoPeers);
        m_lastSendMs = nowMs;
    }
}

void QuerySession::sendDetails(const Endpoint& to, unsigned what, std::int64_t nowMs)
{
    if (what == 0)
        return;
    m_outstanding.detailsSent(to.address, to.port, nowMs);
    // The whole forms carry the last challenge of any server; a server that wants its own
    // answers with a challenge, which comes back here.
    if (what & Rules)
        m_out.send(to, m_requests.rules());
    if (what & Players)
        m_out.send(to, m_requests.players());
    if (what & OldPlayers)
        m_out.send(to, m_requests.oldPlayers());
    if (what & OldRules)
        m_out.send(to, m_requests.oldRules());
    m_lastSendMs = nowMs;
}

unsigned QuerySession::owedBy(const Target& t) const
{
    if (t.server < 0)
        return 0;
    const QueryResult& r = m_servers[static_cast<std::size_t>(t.server)];
    const bool old = r.row.identity == Identity::AddressOnly;
    unsigned what = 0;
    if (m_config.players && !r.players)
        what |= old ? OldPlayers : Players;
    if (m_config.rules && !r.rules)
        what |= old ? OldRules : Rules;
    return what;
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
    const std::int64_t timeout = m_config.timeoutMs;
    return std::min((timeout / 2) << std::min(asks - 1, 8), 2 * timeout);
}

bool QuerySession::stale(const Pending& p) const
{
    const Target& t = m_targets[p.target];
    return t.done || t.asks != p.asks || t.askedAtMs != p.askedAtMs;
}

void QuerySession::takeDueRetries(std::int64_t nowMs, std::size_t limit, std::vector<std::uint32_t>& out)
{
    for (std::deque<Pending>& queue : m_retries) {
        while (!queue.empty() && out.size() < limit) {
            const Pending p = queue.front();
            if (stale(p)) {
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
        while (!queue.empty() && stale(queue.front()))
            queue.pop_front();
        if (!queue.empty()) {
            const std::int64_t at = queue.front().askedAtMs + retryPauseMs(queue.front().asks);
            first = first ? std::min(*first, at) : at;
        }
    }
    return first;
}

std::optional<std::int64_t> QuerySession::nextSendMs(std::int64_t nowMs)
{
    const bool paced = m_config.delayMs > 0;
    std::optional<std::int64_t> wake;
    if (const auto retry = nextRetryMs())
        wake = paced ? std::max(*retry, m_nextProbeMs) : std::max(*retry, m_pacer.nextMs(nowMs));
    if (m_next < m_targets.size()) {
        const std::int64_t first = paced ? m_nextProbeMs : m_pacer.nextMs(nowMs);
        wake = wake ? std::min(*wake, first) : first;
    }
    // Pings to ask again wait for a calm round, which only a pump can see.
    if (!m_reask.empty()) {
        const std::int64_t look = std::max(nowMs + ReaskLookMs, m_pacer.nextMs(nowMs));
        wake = wake ? std::min(*wake, look) : look;
    }
    return wake;
}

bool QuerySession::idle(std::int64_t nowMs)
{
    return m_next == m_targets.size() && m_reask.empty() && !nextRetryMs() &&
           nowMs >= m_lastSendMs + m_config.timeoutMs;
}

// ---- Receiving ----

QuerySession::Target* QuerySession::targetOf(const Endpoint& peer)
{
    if (m_targets.empty())
        return nullptr;
    const auto found = m_targetOf.find(peer.key());
    return found == m_targetOf.end() ? nullptr : &m_targets[found->second];
}

unsigned QuerySession::askedOf(const Endpoint& from, std::int64_t nowMs) const
{
    unsigned what = 0;
    if (const auto found = m_targetOf.find(from.key()); found != m_targetOf.end())
        what |= owedBy(m_targets[found->second]);
    if (const auto found = m_asked.find(from.key());
        found != m_asked.end() && nowMs - found->second.atMs <= OutstandingRequests::DetailsLifetimeMs)
        what |= found->second.what;
    return what;
}

void QuerySession::refusedBy(const Endpoint& peer, std::int64_t atMs)
{
    const bool inFlight = m_dispatcher.refused(peer, static_cast<std::uint64_t>(atMs));
    if (Target* t = targetOf(peer); t && !t->done) {
        // A server that answered and then closed its port keeps its row, without what it still
        // owed.
        t->refused = !t->answered;
        t->done = true;
        ++m_done;
    }
    if (inFlight && m_events)
        m_events->onRefused(peer);
}

void QuerySession::receive(Bytes datagram, const Endpoint& from, std::int64_t atMs)
{
    ++m_received;
    Target* target = targetOf(from);
    Outcome outcome = m_dispatcher.dispatch(datagram, from, static_cast<std::uint64_t>(atMs));
    std::visit(
        [&](auto& o) {
            using T = std::decay_t<decltype(o)>;
            if constexpr (std::is_same_v<T, InfoChallenge>) {
                // Sent as it stands, once: not a new request that would allow another round.
                m_out.send(o.to, m_requests.infoWithChallenge(o.challenge));
                m_lastSendMs = std::max(m_lastSendMs, atMs);
            } else if constexpr (std::is_same_v<T, ChallengeAnswer>) {
                handleChallenge(o, target, atMs);
            } else if constexpr (std::is_same_v<T, InfoReply>) {
                handleInfo(o, from, atMs, target);
            } else if constexpr (std::is_same_v<T, PlayersReply>) {
                handlePlayers(o, from, atMs, target);
            } else if constexpr (std::is_same_v<T, RulesReply>) {
                handleRules(o, from, atMs, target);
            } else if constexpr (std::is_same_v<T, Dropped>) {
                // The host answered, only not with a row of ours: asking again changes nothing.
                if (target && (o.reason == DropReason::OtherGame || o.reason == DropReason::SecondReply))
                    target->answered = true;
            }
        },
        outcome);
    if (target)
        checkDone(*target);
}

void QuerySession::handleChallenge(const ChallengeAnswer& answer, Target* target, std::int64_t atMs)
{
    // The info request goes again before the server is listed; the table allows this once per
    // request.
    if (answer.infoChallenge) {
        m_out.send(answer.to, m_requests.infoWithChallenge(*answer.infoChallenge));
        m_lastSendMs = std::max(m_lastSendMs, atMs);
    }
    if (target && target->server >= 0) {
        Server& s = m_serverState[static_cast<std::size_t>(target->server)];
        if (s.challengeAnswers >= MaxChallengeAnswers)
            return;
        ++s.challengeAnswers;
    }
    // The dispatcher has just put this server's challenge into the slot; only what was asked is
    // answered, so a players search never brings the rules along.
    const unsigned what = askedOf(answer.to, atMs);
    if (what & AnyPlayers)
        m_out.send(answer.to, m_requests.playersChallenge());
    if (what & AnyRules)
        m_out.send(answer.to, m_requests.rulesChallenge());
    if (what != 0)
        m_lastSendMs = std::max(m_lastSendMs, atMs);
}

bool QuerySession::takeUnasked(const Endpoint& from, std::int64_t atMs)
{
    if (atMs > m_unasked.untilMs || (from.address & m_unasked.mask) != m_unasked.network ||
        m_unasked.left <= 0)
        return false;
    --m_unasked.left;
    return true;
}

bool QuerySession::isDuplicate(const ServerRow& row) const
{
    const auto [first, last] = m_byAddress.equal_range(row.from.address);
    for (auto it = first; it != last; ++it) {
        if (row.identity == Identity::AddressOnly || it->second == row.from.port)
            return true;
    }
    return false;
}

std::int32_t QuerySession::list(ServerRow row)
{
    m_byAddress.emplace(row.from.address, row.from.port);
    if (m_events)
        m_events->onListed(row);
    if (!m_config.keepRows)
        return -1;
    const auto at = static_cast<std::int32_t>(m_servers.size());
    m_serverState.push_back({row.from, 0});
    m_servers.push_back({std::move(row), std::nullopt, std::nullopt, false});
    return at;
}

void QuerySession::handleInfo(InfoReply& reply, const Endpoint& from, std::int64_t atMs, Target* target)
{
    if (target) {
        const bool first = !target->answered;
        target->answered = true;
        if (target->reasking) {
            // The calm link's ping; the lower of the two is the truer.
            target->reasking = false;
            --m_reasking;
            if (!reply.row.pingMs)
                return;
            // It tells of the link as a first answer does.
            if (m_linkPace)
                noteRoundTrip(static_cast<std::uint32_t>(target - m_targets.data()), atMs - *reply.row.pingMs,
                              atMs, false);
            if (target->server >= 0) {
                std::optional<int>& kept = m_servers[static_cast<std::size_t>(target->server)].row.pingMs;
                kept = kept ? std::min(*kept, *reply.row.pingMs) : reply.row.pingMs;
            }
            if (m_events)
                m_events->onPing(from, *reply.row.pingMs);
            return;
        }
        if (first && m_linkPace)
            noteRoundTrip(static_cast<std::uint32_t>(target - m_targets.data()), target->askedAtMs, atMs,
                          target->asks > 1);
        // A late reply to an earlier ask, or the other layout of one reply, lists nothing new.
        if (!first || target->server >= 0 || isDuplicate(reply.row))
            return;
        if (m_events)
            m_events->onAnswered(reply.row);
        target->server = list(std::move(reply.row));
        target->listed = true;
        if (const unsigned owed = owedBy(*target)) {
            sendDetails(from, owed, atMs);
            // The details are a new stage with retries of their own.
            target->asks = 1;
            target->askedAtMs = atMs;
            scheduleRetry(static_cast<std::uint32_t>(target - m_targets.data()));
        }
        return;
    }
    if (!reply.asked && !takeUnasked(from, atMs))
        return;
    if (m_events)
        m_events->onAnswered(reply.row);
    if (!isDuplicate(reply.row))
        list(std::move(reply.row));
}

void QuerySession::handlePlayers(PlayersReply& reply, const Endpoint& from, std::int64_t atMs, Target* target)
{
    if (!(askedOf(from, atMs) & AnyPlayers) && !(target && target->server >= 0 && m_config.players))
        return;
    if (m_events)
        m_events->onPlayers(from, reply.players);
    if (target && target->server >= 0 && m_config.players)
        m_servers[static_cast<std::size_t>(target->server)].players = std::move(reply.players);
}

void QuerySession::handleRules(RulesReply& reply, const Endpoint& from, std::int64_t atMs, Target* target)
{
    if (!(askedOf(from, atMs) & AnyRules) && !(target && target->server >= 0 && m_config.rules))
        return;
    if (m_events)
        m_events->onRules(from, reply.rules);
    if (!target || target->server < 0 || !m_config.rules)
        return;
    // An empty reply is an answer, but it does not replace rules already had (a late copy of
    // another layout, say); the first of two fragments is no answer yet.
    QueryResult& r = m_servers[static_cast<std::size_t>(target->server)];
    if (!reply.firstPart && (!r.rules || !reply.rules.empty()))
        r.rules = std::move(reply.rules);
}

void QuerySession::checkDone(Target& t)
{
    if (t.done || !t.answered || owedBy(t) != 0)
        return;
    t.done = true;
    ++m_done;
}

std::vector<QueryResult> QuerySession::takeResults(bool targetOrder)
{
    std::vector<QueryResult> out;
    out.reserve(m_servers.size());
    const auto refusedResult = [](const Target& t) {
        QueryResult r;
        r.row.from = t.peer;
        r.refused = true;
        return r;
    };
    if (targetOrder) {
        // Servers no target named (a broadcast's) come last.
        std::vector<bool> taken(m_servers.size());
        for (const Target& t : m_targets) {
            if (t.server >= 0) {
                out.push_back(std::move(m_servers[static_cast<std::size_t>(t.server)]));
                taken[static_cast<std::size_t>(t.server)] = true;
            } else if (t.refused) {
                out.push_back(refusedResult(t));
            }
        }
        for (std::size_t i = 0; i < m_servers.size(); ++i)
            if (!taken[i])
                out.push_back(std::move(m_servers[i]));
    } else {
        for (QueryResult& s : m_servers)
            out.push_back(std::move(s));
        for (const Target& t : m_targets)
            if (t.refused && t.server < 0)
                out.push_back(refusedResult(t));
    }
    forgetListed();
    return out;
}

} // namespace vantry::query
