#include "QueryService.h"

#include "DetailsModels.h"
#include "ServerListModel.h"
#include "net/UdpEndpoint.h"
#include "query/Clock.h"

#include <algorithm>

namespace vantry::browser {

namespace {

// The sweep and the favourites ask each address once, at their own pace; the servers of a public
// list or a refresh are the session's targets, at the pace the link carries (the settings' rate
// its ceiling) and asked again while silent.
query::SessionConfig windowSession()
{
    query::SessionConfig c;
    c.keepRows = false; // the list is the model
    c.findPace = true;
    return c;
}

} // namespace

QueryService::QueryService(net::UdpEndpoint& endpoint, ServerListModel& servers, PlayersModel& players,
                           RulesModel& rules, query::Clock& clock, QObject* parent)
    : QObject(parent), m_endpoint(endpoint), m_servers(servers), m_players(players), m_rules(rules),
      m_clock(clock), m_session(windowSession(), *this), m_pump(new QTimer(this))
{
    m_pump->setSingleShot(true);
    m_pump->setTimerType(Qt::PreciseTimer);
    connect(m_pump, &QTimer::timeout, this, &QueryService::pump);
    m_session.setEvents(this);
    connect(&m_endpoint, &net::UdpEndpoint::dataReceived, this, &QueryService::onDatagram);
    connect(&m_endpoint, &net::UdpEndpoint::refused, this, &QueryService::onPortClosed);
    // An emptied list lists its servers again.
    connect(&m_servers, &QAbstractItemModel::modelReset, this, [this] { m_session.forgetListed(); });
}

void QueryService::setScanOld(std::function<bool()> scanOld)
{
    m_scanOld = std::move(scanOld);
}

std::int64_t QueryService::nowMs() const
{
    return m_endpoint.clock().nowMs();
}

std::uint32_t QueryService::resolve(const QString& host)
{
    const std::uint32_t address = m_endpoint.resolve(host);
    if (address == 0)
        throw net::EndpointError("Null Remote Address");
    // A lookup keeps the event loop running, and a handler may have closed the endpoint.
    return m_endpoint.isOpen() ? address : 0;
}

void QueryService::sendAll(query::Bytes data, std::span<const query::Endpoint> peers)
{
    for (const query::Endpoint& to : peers)
        m_endpoint.send(data, to.address, to.port);
}

void QueryService::sendInfoRequest(const QString& host, std::uint16_t port)
{
    if (const std::uint32_t address = resolve(host))
        sendInfoRequest(query::Endpoint{address, port});
}

void QueryService::sendInfoRequest(const query::Endpoint& to)
{
    if (m_endpoint.isOpen())
        m_session.askInfo(to, scanOld(), nowMs());
}

void QueryService::sendInfo(const QString& host, std::uint16_t port)
{
    if (const std::uint32_t address = resolve(host))
        sendInfo(query::Endpoint{address, port});
}

void QueryService::sendOldInfo(const QString& host, std::uint16_t port)
{
    if (const std::uint32_t address = resolve(host))
        sendOldInfo(query::Endpoint{address, port});
}

void QueryService::sendInfo(const query::Endpoint& to)
{
    if (m_endpoint.isOpen())
        m_session.askInfo(to, false, nowMs());
}

void QueryService::sendOldInfo(const query::Endpoint& to)
{
    if (m_endpoint.isOpen())
        m_session.askOldInfo(to);
}

void QueryService::sendDetailsRequest(const query::Endpoint& to)
{
    if (!m_endpoint.isOpen())
        return;
    using Q = query::QuerySession;
    m_detailsOf = to;
    // Asked one by one with the pauses between them; each is on record before its pause, as a
    // challenge may come back while the next request waits.
    m_session.askDetails(to, Q::Rules, nowMs());
    m_clock.sleep(10);
    m_session.askDetails(to, Q::Players, nowMs());
    m_clock.sleep(5);
    if (scanOld()) {
        m_session.askDetails(to, Q::OldPlayers, nowMs());
        m_clock.sleep(10);
        m_session.askDetails(to, Q::OldRules, nowMs());
    }
}

void QueryService::sendPlayersRequest(const query::Endpoint& to, bool oldServer)
{
    if (m_endpoint.isOpen())
        m_session.askDetails(to, oldServer ? query::QuerySession::OldPlayers : query::QuerySession::Players,
                             nowMs());
}

void QueryService::expectBroadcastAnswers(std::uint32_t address, std::uint32_t mask)
{
    m_session.expectUnasked(address, mask, nowMs() + BroadcastAnswersMs, MaxBroadcastAnswers);
}

void QueryService::beginListed(int ratePerSecond, bool old)
{
    m_session.clearTargets();
    m_session.setPace(ratePerSecond, old);
}

void QueryService::queryListed(std::span<const query::Endpoint> servers)
{
    for (const query::Endpoint& server : servers)
        m_session.addTarget(server);
    pump();
}

void QueryService::endListed()
{
    m_session.clearTargets();
    m_pump->stop();
}

void QueryService::pump()
{
    if (!m_endpoint.isOpen())
        return;
    const std::int64_t now = nowMs();
    m_session.pump(now);
    if (const std::optional<std::int64_t> next = m_session.nextSendMs(now))
        m_pump->start(static_cast<int>(std::clamp<std::int64_t>(*next - now, 0, 60'000)));
}

void QueryService::onPortClosed(const query::Endpoint& peer)
{
    m_session.refusedBy(peer, nowMs());
}

void QueryService::onDatagram(int numberBytes, const net::Datagram& datagram)
{
    if (numberBytes < 1)
        return;
    try {
        m_session.receive(datagram.bytes, datagram.from, datagram.atMs);
    } catch (const std::exception& e) {
        // A challenge's answer could not be sent.
        emit sendFailed(QString::fromUtf8(e.what()));
    }
}

void QueryService::onAnswered(const query::ServerRow& row)
{
    emit serverAnswered(row);
}

void QueryService::onListed(const query::ServerRow& row)
{
    const int at = m_servers.add(row, ServerListModel::Shown::Later);
    if (at >= 0)
        emit serverListed(at);
}

void QueryService::onPlayers(const query::Endpoint& from, const std::vector<query::PlayerRow>& players)
{
    // Only the server whose details were asked fills the panel: nobody else's reply replaces what
    // the user is reading.
    if (m_detailsOf == from)
        m_players.setPlayers(players);
    emit playersReceived(from, players);
}

void QueryService::onRules(const query::Endpoint& from, const std::vector<query::RuleRow>& rules)
{
    if (m_detailsOf != from)
        return;
    m_rules.clear();
    m_rules.append(rules);
}

void QueryService::onRefused(const query::Endpoint& peer)
{
    emit serverRefused(peer);
}

void QueryService::onPing(const query::Endpoint& from, int pingMs)
{
    m_servers.lowerPing(from, pingMs);
}

} // namespace vantry::browser
