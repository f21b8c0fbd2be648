#include "QueryService.h"

#include "DetailsModels.h"
#include "ServerListModel.h"
#include "net/UdpEndpoint.h"
#include "query/Clock.h"

#include <type_traits>

namespace vantry::browser {

QueryService::QueryService(net::UdpEndpoint& endpoint, ServerListModel& servers, PlayersModel& players,
                           RulesModel& rules, query::Clock& clock, QObject* parent)
    : QObject(parent), m_endpoint(endpoint), m_servers(servers), m_players(players), m_rules(rules),
      m_clock(clock)
{
    m_dispatcher.setOutstanding(&m_outstanding);
    connect(&m_endpoint, &net::UdpEndpoint::dataReceived, this, &QueryService::onDatagram);
    connect(&m_endpoint, &net::UdpEndpoint::refused, this, &QueryService::onRefused);
}

void QueryService::setScanOld(std::function<bool()> scanOld)
{
    m_scanOld = std::move(scanOld);
}

void QueryService::sendInfoRequest(const QString& host, std::uint16_t port)
{
    sendInfo(host, port);
    if (scanOld())
        sendOldInfo(host, port);
}

void QueryService::sendInfoRequest(const query::Endpoint& to)
{
    sendInfo(to);
    if (scanOld())
        sendOldInfo(to);
}

void QueryService::sendInfo(const QString& host, std::uint16_t port)
{
    if (const std::uint32_t address = m_endpoint.send(m_requests.info(), host, port))
        m_outstanding.infoSent(address, port, m_endpoint.clock().nowMs());
}

void QueryService::sendOldInfo(const QString& host, std::uint16_t port)
{
    m_endpoint.send(m_requests.oldInfo(), host, port);
}

void QueryService::sendInfo(const query::Endpoint& to)
{
    if (m_endpoint.send(m_requests.info(), to.address, to.port))
        m_outstanding.infoSent(to.address, to.port, m_endpoint.clock().nowMs());
}

void QueryService::sendOldInfo(const query::Endpoint& to)
{
    m_endpoint.send(m_requests.oldInfo(), to.address, to.port);
}

void QueryService::sendDetailsRequest(const query::Endpoint& to)
{
    m_detailsOf = to;
    // Recorded before the pauses: a challenge may come back while the next request waits.
    if (m_endpoint.send(m_requests.rules(), to.address, to.port))
        m_outstanding.detailsSent(to.address, to.port, m_endpoint.clock().nowMs());
    m_clock.sleep(10);
    m_endpoint.send(m_requests.players(), to.address, to.port);
    m_clock.sleep(5);
    if (scanOld()) {
        m_endpoint.send(m_requests.oldPlayers(), to.address, to.port);
        m_clock.sleep(10);
        m_endpoint.send(m_requests.oldRules(), to.address, to.port);
    }
}

void QueryService::sendPlayersRequest(const query::Endpoint& to, bool oldServer)
{
    m_playersOnly.insert(to.key());
    if (oldServer) {
        m_endpoint.send(m_requests.oldPlayers(), to.address, to.port);
    } else if (m_endpoint.send(m_requests.players(), to.address, to.port)) {
        m_outstanding.detailsSent(to.address, to.port, m_endpoint.clock().nowMs());
    }
}

void QueryService::expectBroadcastAnswers(std::uint32_t address, std::uint32_t mask)
{
    m_broadcast = {address & mask, mask, m_endpoint.clock().nowMs() + BroadcastAnswersMs, 0};
}

bool QueryService::takeUnasked(const query::Endpoint& from, std::int64_t nowMs)
{
    if (nowMs > m_broadcast.untilMs || (from.address & m_broadcast.mask) != m_broadcast.network)
        return false;
    if (m_broadcast.taken >= MaxBroadcastAnswers)
        return false;
    ++m_broadcast.taken;
    return true;
}

bool QueryService::playersOnly(const query::Endpoint& server) const
{
    if (m_detailsOf == server)
        return false;
    return m_playersOnly.contains(server.key());
}

void QueryService::onRefused(const query::Endpoint& peer)
{
    if (m_dispatcher.refused(peer, static_cast<std::uint64_t>(m_endpoint.clock().nowMs())))
        emit serverRefused(peer);
}

void QueryService::onDatagram(int numberBytes, const net::Datagram& datagram)
{
    if (numberBytes < 1)
        return;
    const auto receivedAt = static_cast<std::uint64_t>(datagram.atMs);
    query::Outcome outcome = m_dispatcher.dispatch(datagram.bytes, datagram.from, receivedAt);

    std::visit(
        [&](auto& result) {
            using T = std::decay_t<decltype(result)>;
            if constexpr (std::is_same_v<T, query::ChallengeAnswer>) {
                try {
                    const query::Endpoint& to = result.to;
                    // As the info challenge below: the request as it stands, once.
                    if (result.infoChallenge)
                        m_endpoint.send(m_requests.infoWithChallenge(*result.infoChallenge), to.address,
                                        to.port);
                    m_endpoint.send(m_requests.playersChallenge(), to.address, to.port);
                    if (!playersOnly(to))
                        m_endpoint.send(m_requests.rulesChallenge(), to.address, to.port);
                } catch (const std::exception& e) {
                    emit sendFailed(QString::fromUtf8(e.what()));
                }
            } else if constexpr (std::is_same_v<T, query::InfoChallenge>) {
                // Sent as it stands, not through sendInfo(): that would count as a new request
                // and allow another challenge round.
                try {
                    const auto packet = m_requests.infoWithChallenge(result.challenge);
                    m_endpoint.send(packet, result.to.address, result.to.port);
                } catch (const std::exception& e) {
                    emit sendFailed(QString::fromUtf8(e.what()));
                }
            } else if constexpr (std::is_same_v<T, query::InfoReply>) {
                if (!result.asked && !takeUnasked(datagram.from, datagram.atMs))
                    return;
                emit serverAnswered(result.row);
                const int row = m_servers.add(std::move(result.row), ServerListModel::Shown::Later);
                if (row >= 0)
                    emit serverListed(row);
            } else if constexpr (std::is_same_v<T, query::PlayersReply>) {
                // Only the server whose details were asked fills the panel: nobody else's reply,
                // asked or spoofed, replaces what the user is reading.
                if (m_detailsOf == datagram.from)
                    m_players.setPlayers(result.players);
                emit playersReceived(datagram.from, result.players);
            } else if constexpr (std::is_same_v<T, query::RulesReply>) {
                if (m_detailsOf != datagram.from)
                    return;
                m_rules.clear();
                m_rules.append(result.rules);
            }
        },
        outcome);
}

} // namespace vantry::browser
