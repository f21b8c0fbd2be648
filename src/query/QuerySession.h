#pragma once

#include "Dispatcher.h"
#include "LinkPace.h"
#include "OutstandingRequests.h"
#include "ProbePacer.h"
#include "Records.h"
#include "Requests.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace vantry::query {

// Where a session's datagrams leave: the front end's socket.
class DatagramOut
{
public:
    virtual ~DatagramOut() = default;
    // The same bytes to every peer, in order.
    virtual void sendAll(Bytes data, std::span<const Endpoint> peers) = 0;
    void send(const Endpoint& to, Bytes data) { sendAll(data, std::span(&to, 1)); }
};

// What a session tells its front end, from inside receive(), refusedBy() or pump().
class SessionEvents
{
public:
    virtual ~SessionEvents() = default;
    // Any info reply of ours, of a server listed before or not (a favourites pass asks listed
    // servers again); before onListed().
    virtual void onAnswered(const ServerRow& row) { (void)row; }
    // A server new to the session, before it is kept (when the session keeps rows).
    virtual void onListed(const ServerRow& row) { (void)row; }
    // The players or rules of a server they were asked of.
    virtual void onPlayers(const Endpoint& from, const std::vector<PlayerRow>& players)
    {
        (void)from;
        (void)players;
    }
    virtual void onRules(const Endpoint& from, const std::vector<RuleRow>& rules)
    {
        (void)from;
        (void)rules;
    }
    // A server asked for something answered that its port is closed.
    virtual void onRefused(const Endpoint& peer) { (void)peer; }
    // A listed server answered again while the link was calm: `pingMs` is that answer's round
    // trip, truer than one measured while the requests queued; the lower of the two is kept.
    virtual void onPing(const Endpoint& from, int pingMs)
    {
        (void)from;
        (void)pingMs;
    }
};

// One answering server and, when they were asked for, its players and rules (none: no reply).
// Or a target whose port is closed (refused): only row.from is set then.
struct QueryResult
{
    ServerRow row;
    std::optional<std::vector<PlayerRow>> players;
    std::optional<std::vector<RuleRow>> rules;
    bool refused = false;
};

inline constexpr int DefaultRetries = 2;
inline constexpr int MaxRetries = 10;

struct SessionConfig
{
    // How many more times a target is asked that has not answered all it was asked. The first
    // pause is half the time-out, each further one twice the one before, never longer than twice
    // the time-out; info and details each have this many.
    int retries = DefaultRetries;
    int timeoutMs = 1000;  // wait after the last request sent
    int ratePerSecond = 0; // first asks of targets per second, 0 unpaced
    // The pace is found from the answers (LinkPace); ratePerSecond is then its ceiling, 0 none.
    bool findPace = false;
    int delayMs = 0;      // > 0: one target at a time, then this pause (a range sweep)
    bool old = false;     // the old info request with every info request
    bool players = false; // every listed target is asked for its players...
    bool rules = false;   // ...and its rules
    // Whether the session keeps the rows, players and rules (the command line prints them at the
    // end); the window keeps its own list, and the session only what the duplicate test needs.
    bool keepRows = true;
    // About how many servers the session will ask, for the size of its table of requests; 0:
    // unknown (a master's pages, the window), the largest table.
    std::size_t expectedTargets = 0;
};

// The server query engine of the window and of the command line alike. It does no I/O itself:
// the front end hands it datagrams and the time, and it sends through a DatagramOut. It asks
// targets (paced, asked again when silent, followed by their details), matches every reply to
// what was asked (OutstandingRequests), answers challenges, keeps the duplicate test and hands
// out typed rows and events.
class QuerySession
{
public:
    // Details one may ask of a server; a challenge is answered with what was asked.
    enum Detail : unsigned
    {
        Players = 1,
        Rules = 2,
        OldPlayers = 4,
        OldRules = 8,
    };

    QuerySession(SessionConfig config, DatagramOut& out);

    const SessionConfig& config() const { return m_config; }
    Requests& requests() { return m_requests; }
    const OutstandingRequests& outstanding() const { return m_outstanding; }
    void setEvents(SessionEvents* events) { m_events = events; }

    // A target: asked by pump() at the session's pace, asked again while silent, its details
    // followed when the configuration asks for them, its result kept. Named twice, asked once.
    void addTarget(const Endpoint& peer);
    // One info request (and the old one with `old`) now, not followed nor asked again: the
    // window's sweep, favourites, broadcast and refresh, whose pace is their own.
    void askInfo(const Endpoint& to, bool old, std::int64_t nowMs);
    void askOldInfo(const Endpoint& to);
    // Details of a server now, once; `what` is a set of Detail. Only a server asked for details
    // may send players, rules or split replies.
    void askDetails(const Endpoint& to, unsigned what, std::int64_t nowMs);
    // The broadcast probe went to `network`/`mask`: until `untilMs`, at most `most` info replies
    // from its senders, whom nobody asked by address, are taken.
    void expectUnasked(std::uint32_t network, std::uint32_t mask, std::int64_t untilMs, int most);
    // The list was emptied: servers listed so far may be listed again.
    void forgetListed();
    // The targets are let go, asked or not: nothing more is sent for them.
    void clearTargets();
    // The pace and the old request of the targets from now on (a new public list's).
    void setPace(int ratePerSecond, bool old);

    // Sends what is due: targets not yet asked (paced) and retries.
    void pump(std::int64_t nowMs);
    // Every datagram that arrived, with its arrival time.
    void receive(Bytes datagram, const Endpoint& from, std::int64_t atMs);
    // The peer's port is closed.
    void refusedBy(const Endpoint& peer, std::int64_t atMs);

    // When pump() has something to send next; none when nothing waits.
    std::optional<std::int64_t> nextSendMs(std::int64_t nowMs);
    // Every target asked, no retry waiting, and the time-out since the last send over.
    bool idle(std::int64_t nowMs);
    // Every target asked has answered all it was asked, or refused.
    bool allTargetsDone() const
    {
        return m_next == m_targets.size() && m_done == m_targets.size() && m_reask.empty() && m_reasking == 0;
    }
    std::int64_t lastSendMs() const { return m_lastSendMs; }
    std::size_t targetCount() const { return m_targets.size(); }
    std::size_t askedCount() const { return m_next; }

    const std::vector<QueryResult>& servers() const { return m_servers; }
    // The listed servers in the order of their first answer, or of their targets, with the
    // refused targets (never answered, port closed) among them in target order, or after them.
    // The session's servers are moved out.
    std::vector<QueryResult> takeResults(bool targetOrder);
    std::size_t datagramsReceived() const { return m_received; }

private:
    struct Server
    {
        Endpoint from; // where the info reply came from: details go there
        int challengeAnswers = 0;
    };
    struct Target
    {
        Endpoint peer;
        std::int64_t askedAtMs = 0;
        int asks = 0;          // of the current stage: info, then details
        bool answered = false; // an info reply came, listed or not
        bool refused = false;  // its port is closed, and it never answered
        bool done = false;     // nothing more to ask
        bool reasking = false; // asked again for a ping measured while the link queued
        bool listed = false;   // its answer was listed
        int reasks = 0;
        std::int32_t server = -1;
    };
    // A target waiting for its next retry; stale once the target was asked again since.
    struct Pending
    {
        std::uint32_t target;
        int asks;
        std::int64_t askedAtMs;
    };
    struct Asked
    {
        unsigned what = 0;
        std::int64_t atMs = 0;
    };

    void ask(const std::vector<std::uint32_t>& targets, std::int64_t nowMs);
    // Ends the pace's rounds that are due; true when it paces the session.
    void updatePace(std::int64_t nowMs);
    void reask(std::size_t limit, std::int64_t nowMs);
    void noteRoundTrip(std::uint32_t index, std::int64_t sentMs, std::int64_t atMs, bool retried);
    void scheduleRetry(std::uint32_t index);
    void takeDueRetries(std::int64_t nowMs, std::size_t limit, std::vector<std::uint32_t>& out);
    std::int64_t retryPauseMs(int asks) const;
    std::optional<std::int64_t> nextRetryMs();
    bool stale(const Pending& p) const;

    void handleInfo(InfoReply& reply, const Endpoint& from, std::int64_t atMs, Target* target);
    void handleChallenge(const ChallengeAnswer& answer, Target* target, std::int64_t atMs);
    void handlePlayers(PlayersReply& reply, const Endpoint& from, std::int64_t atMs, Target* target);
    void handleRules(RulesReply& reply, const Endpoint& from, std::int64_t atMs, Target* target);
    // What a listed target still owes of the details its configuration asks.
    unsigned owedBy(const Target& target) const;
    void sendDetails(const Endpoint& to, unsigned what, std::int64_t nowMs);
    unsigned askedOf(const Endpoint& from, std::int64_t nowMs) const;
    bool isDuplicate(const ServerRow& row) const;
    // Lists a server new to the session; its index among servers() when rows are kept.
    std::int32_t list(ServerRow row);
    bool takeUnasked(const Endpoint& from, std::int64_t atMs);
    Target* targetOf(const Endpoint& peer);
    void checkDone(Target& target);

    SessionConfig m_config;
    DatagramOut& m_out;
    SessionEvents* m_events = nullptr;
    Requests m_requests;
    OutstandingRequests m_outstanding;
    Dispatcher m_dispatcher{m_requests};
    ProbePacer m_pacer;
    std::optional<LinkPace> m_linkPace;
    // Servers whose ping waited in a queue: asked again once the link is calm, the lower ping kept.
    std::deque<std::uint32_t> m_reask;
    std::size_t m_reasking = 0;

    std::vector<Target> m_targets;
    std::unordered_map<std::uint64_t, std::uint32_t> m_targetOf;
    std::size_t m_next = 0; // the first target never asked
    std::size_t m_done = 0;
    std::int64_t m_nextProbeMs = 0;
    // One queue per number of asks so far: within one the retries fall due in the order of the
    // queue, so only its front is ever looked at.
    std::vector<std::deque<Pending>> m_retries;

    std::vector<QueryResult> m_servers; // with keepRows
    std::vector<Server> m_serverState;  // with keepRows
    // The listed servers' ports by address, for the duplicate test.
    std::unordered_multimap<std::uint32_t, std::uint16_t> m_byAddress;
    std::vector<std::uint32_t> m_due;
    // What details were asked of servers that are no targets, and when.
    std::unordered_map<std::uint64_t, Asked> m_asked;

    struct UnaskedWindow
    {
        std::uint32_t network = 0;
        std::uint32_t mask = 0xFFFFFFFF;
        std::int64_t untilMs = -1;
        int left = 0;
    } m_unasked;

    std::int64_t m_lastSendMs = 0;
    std::size_t m_received = 0;
};

} // namespace vantry::query
