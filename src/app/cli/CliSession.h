#pragma once

#include "CliOutput.h"
#include "net/BatchSocket.h"
#include "query/Dispatcher.h"

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vantry::cli {

struct SessionPlan
{
    std::vector<net::Peer> targets; // each asked once, in this order
    int delayMs = 0;                // 0: in batches; otherwise one probe, then this pause
    int timeoutMs = 1000;           // wait after the last request sent
    bool players = false;
    bool rules = false;
    bool old = false;            // also the old info request
    bool endWhenAllDone = false; // end the wait once every target has answered all it was asked
};

// One run of requests over a batch socket: the info requests to every target, the challenges
// they bring, the details of each server that answers, and the wait for the last replies. Replies
// from peers that were not asked are dropped.
class QuerySession
{
public:
    explicit QuerySession(SessionPlan plan);

    // Servers in the order their first info reply arrived.
    std::vector<ServerResult> run(net::BatchSocket& socket);

    std::size_t datagramsReceived() const { return m_received; }

private:
    struct Server
    {
        ServerResult result;
        net::Peer from; // where the info reply came from: details go there
        int challengeAnswers = 0;
    };

    void drain(net::BatchSocket& socket);
    void handle(net::BatchSocket& socket, const net::Incoming& in);
    void listed(net::BatchSocket& socket, const net::Peer& from, query::ServerRow row);
    void askDetails(net::BatchSocket& socket, Server& server);
    void sendOne(net::BatchSocket& socket, const net::Peer& to, query::Bytes data);
    bool allDone() const;
    bool isDuplicate(const query::ServerRow& row, const net::Peer& from) const;
    Server* serverAt(const net::Peer& from);

    SessionPlan m_plan;
    query::Requests m_requests;
    query::Dispatcher m_dispatcher;
    query::OutstandingRequests m_outstanding;
    std::unordered_set<std::uint64_t> m_asked;
    std::vector<Server> m_servers;
    std::unordered_map<std::uint64_t, std::size_t> m_bySender;
    std::unordered_multimap<std::uint32_t, std::size_t> m_byAddress;
    std::int64_t m_lastSendMs = 0;
    std::size_t m_received = 0;
};

std::string dottedQuad(std::uint32_t hostOrder);

} // namespace vantry::cli
