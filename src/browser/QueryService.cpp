#include "QueryService.h"

#include "DetailsModels.h"
#include "ServerListModel.h"
#include "base/Clock.h"
#include "net/UdpEndpoint.h"

#include <type_traits>

namespace vantry::browser {

QueryService::QueryService(net::UdpEndpoint& endpoint, ServerListModel& servers, PlayersModel& players,
                           RulesModel& rules, Clock& clock, QObject* parent)
    : QObject(parent), m_endpoint(endpoint), m_servers(servers), m_players(players), m_rules(rules),
      m_clock(clock)
{
    m_dispatcher.setOutstanding(&m_outstanding);
    connect(&m_endpoint, &net::UdpEndpoint::dataReceived, this, &QueryService::onDatagram);
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

void QueryService::sendInfo(const QString& host, std::uint16_t port)
{
    if (const std::uint32_t address = m_endpoint.send(m_requests.info(), host, port))
        m_outstanding.infoSent(address, port, net::UdpEndpoint::steadyMs());
}

void QueryService::sendOldInfo(const QString& host, std::uint16_t port)
{
    m_endpoint.send(m_requests.oldInfo(), host, port);
}

void QueryService::sendInfo(std::uint32_t address, std::uint16_t port)
{
    if (m_endpoint.send(m_requests.info(), address, port))
        m_outstanding.infoSent(address, port, net::UdpEndpoint::steadyMs());
}

void QueryService::sendOldInfo(std::uint32_t address, std::uint16_t port)
{
    m_endpoint.send(m_requests.oldInfo(), address, port);
}

void QueryService::sendDetailsRequest(const QString& host, std::uint16_t port)
{
    // Recorded before the pauses: a challenge may come back while the next request waits.
    if (const std::uint32_t address = m_endpoint.send(m_requests.rules(), host, port))
        m_outstanding.detailsSent(address, port, net::UdpEndpoint::steadyMs());
    m_clock.sleep(10);
    m_endpoint.send(m_requests.players(), host, port);
    m_clock.sleep(5);
    if (scanOld()) {
        m_endpoint.send(m_requests.oldPlayers(), host, port);
        m_clock.sleep(10);
        m_endpoint.send(m_requests.oldRules(), host, port);
    }
}

void QueryService::onDatagram(int numberBytes, const QString& fromIp, std::uint16_t port)
{
    if (numberBytes < 1)
        return;
    const std::size_t n = m_endpoint.read(m_receive);
    const query::Source from{fromIp.toStdString(), port};
    const auto receivedAt = static_cast<std::uint64_t>(m_endpoint.heldTimeMs());
    query::Outcome outcome = m_dispatcher.dispatch({m_receive.data(), n}, from, receivedAt);

    std::visit(
        [&](auto& result) {
            using T = std::decay_t<decltype(result)>;
            if constexpr (std::is_same_v<T, query::ChallengeAnswer>) {
                try {
                    const QString to = QString::fromStdString(result.to.address);
                    // As the info challenge below: the request as it stands, once.
                    if (result.infoChallenge)
                        m_endpoint.send(m_requests.infoWithChallenge(*result.infoChallenge), to,
                                        result.to.port);
                    m_endpoint.send(m_requests.playersChallenge(), to, result.to.port);
                    m_endpoint.send(m_requests.rulesChallenge(), to, result.to.port);
                } catch (const std::exception& e) {
                    emit sendFailed(QString::fromUtf8(e.what()));
                }
            } else if constexpr (std::is_same_v<T, query::InfoChallenge>) {
                // Sent as it stands, not through sendInfo(): that would count as a new request
                // and allow another challenge round.
                try {
                    const auto packet = m_requests.infoWithChallenge(result.challenge);
                    m_endpoint.send(packet, QString::fromStdString(result.to.address), result.to.port);
                } catch (const std::exception& e) {
                    emit sendFailed(QString::fromUtf8(e.what()));
                }
            } else if constexpr (std::is_same_v<T, query::InfoReply>) {
                const int row = m_servers.add(std::move(result.row), ServerListModel::Shown::Later);
                if (row >= 0)
                    emit serverListed(row);
            } else if constexpr (std::is_same_v<T, query::PlayersReply>) {
                m_players.setPlayers(result.players);
            } else if constexpr (std::is_same_v<T, query::RulesReply>) {
                m_rules.clear();
                m_rules.append(result.rules);
            }
        },
        outcome);
}

} // namespace vantry::browser
