#pragma once

#include "query/QuerySession.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace vantry::query {
class Clock;
}
namespace vantry::net {
class UdpEndpoint;
struct Datagram;
} // namespace vantry::net

namespace vantry::browser {

class ServerListModel;
class PlayersModel;
class RulesModel;

// The window's front end of the query session: the session's requests leave through the
// endpoint, every datagram goes to the session, and what it finds fills the lists. Holds no
// widgets, so it is driven by tests on real sockets without a window.
class QueryService : public QObject, private query::DatagramOut, private query::SessionEvents
{
    Q_OBJECT
public:
    QueryService(net::UdpEndpoint& endpoint, ServerListModel& servers, PlayersModel& players,
                 RulesModel& rules, query::Clock& clock, QObject* parent = nullptr);

    // Whether the old-style requests go out too; read at every send.
    void setScanOld(std::function<bool()> scanOld);

    // The info request and, with old servers on, the old info request. Throws net::EndpointError.
    void sendInfoRequest(const QString& host, std::uint16_t port);
    void sendInfoRequest(const query::Endpoint& to);
    void sendInfo(const QString& host, std::uint16_t port);
    void sendOldInfo(const QString& host, std::uint16_t port);
    // The same to an address as it is, for the sweep's ranges and the lists: no text, no lookup.
    void sendInfo(const query::Endpoint& to);
    void sendOldInfo(const query::Endpoint& to);
    // Rules, 10 ms, players, 5 ms and, with old servers on, old players, 10 ms, old rules.
    void sendDetailsRequest(const query::Endpoint& to);

    // The players request alone (the old one to a server listed by an old reply), for the player
    // search and the watch list. The reply and its challenge leave the details panel alone
    // unless the server is also the one whose details were asked last.
    void sendPlayersRequest(const query::Endpoint& to, bool oldServer);

    // The broadcast probe went to the network `address`/`mask`: for a few seconds from now,
    // replies from its senders, whom nobody asked by address, are listed (at most
    // MaxBroadcastAnswers of them). Any other unasked reply is dropped, or anyone could fill the
    // list.
    void expectBroadcastAnswers(std::uint32_t address, std::uint32_t mask);

    // A public list: its servers are the session's targets, asked at `ratePerSecond` (0:
    // unpaced) as the session paces them and again while they are silent, until endListed().
    void beginListed(int ratePerSecond, bool old);
    void queryListed(std::span<const query::Endpoint> servers);
    std::size_t listedAsked() const { return m_session.askedCount(); }
    // Every listed server asked, none waiting for a retry, and the time-out since passed.
    bool listedIdle() { return m_session.idle(nowMs()); }
    void endListed();
    static constexpr std::int64_t BroadcastAnswersMs = 5'000;
    static constexpr int MaxBroadcastAnswers = 256;

    query::Requests& requests() { return m_session.requests(); }
    const query::OutstandingRequests& outstanding() const { return m_session.outstanding(); }

    // The endpoint's data event.
    void onDatagram(int numberBytes, const net::Datagram& datagram);
    // The endpoint's refusal: the server's port is closed.
    void onPortClosed(const query::Endpoint& peer);

signals:
    // A server row was appended to the list.
    void serverListed(int row);
    // Any server answered the info request, listed before or not (a favourites pass asks servers
    // already listed); emitted before the row is listed.
    void serverAnswered(const query::ServerRow& row);
    // A server asked for something answered that its port is closed: nothing more comes from
    // it, and it is not listed.
    void serverRefused(const query::Endpoint& server);
    // Every players reply, whoever asked for it.
    void playersReceived(const query::Endpoint& from, const std::vector<query::PlayerRow>& players);
    // Sending the challenge answer failed; the text is the endpoint's error.
    void sendFailed(const QString& text);

private:
    bool scanOld() const { return m_scanOld ? m_scanOld() : true; }
    std::int64_t nowMs() const;
    // A host text as the endpoint reads it; 0 when the endpoint closed during a lookup.
    std::uint32_t resolve(const QString& host);
    // Sends what the session has due and sets the timer for what it has next.
    void pump();

    // query::DatagramOut
    void sendAll(query::Bytes data, std::span<const query::Endpoint> peers) override;
    // query::SessionEvents
    void onAnswered(const query::ServerRow& row) override;
    void onListed(const query::ServerRow& row) override;
    void onPlayers(const query::Endpoint& from, const std::vector<query::PlayerRow>& players) override;
    void onRules(const query::Endpoint& from, const std::vector<query::RuleRow>& rules) override;
    void onRefused(const query::Endpoint& peer) override;
    void onPing(const query::Endpoint& from, int pingMs) override;

    net::UdpEndpoint& m_endpoint;
    ServerListModel& m_servers;
    PlayersModel& m_players;
    RulesModel& m_rules;
    query::Clock& m_clock;
    query::QuerySession m_session;
    std::function<bool()> m_scanOld;
    std::optional<query::Endpoint> m_detailsOf;
    QTimer* m_pump;
};

} // namespace vantry::browser
