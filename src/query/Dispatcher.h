#pragma once

#include "OutstandingRequests.h"
#include "Records.h"
#include "Requests.h"
#include "RulesReassembly.h"
#include "SplitReplies.h"

#include <array>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace vantry::query {

// Why a datagram produced nothing.
enum class DropReason
{
    FailedReceive, // the endpoint reported a length below 1
    BadHeader,     // bytes 1..3 are not FF FF FF FF
    TooShort,      // four bytes or fewer
    UnknownType,   // a type byte we do not handle, without the split mark 0xFE
    NotInfoString, // type 'i' without "r" at byte 14 and "e" at byte 21
    OtherGame,     // an info reply whose game is not one of ours
    PartialReply,  // a fragment of the newer engine kept until its reply is whole
    BadSplitReply, // a newer-engine split reply that does not fit together or decompress
    Unasked,       // a challenge or fragment from a server with no request of ours in flight
    SecondReply,   // another 'm'/'I' reply to an info request that was already answered
};

struct Dropped
{
    DropReason reason;
};

// A challenge reply: the challenge slot has been updated; send playersChallenge() and then
// rulesChallenge() to `to`, with no pause between them. With infoChallenge set, the server was
// also asked for its info and the challenge may be that request's: send
// infoWithChallenge(*infoChallenge) to `to` as well, first.
struct ChallengeAnswer
{
    Endpoint to;
    std::optional<std::array<std::uint8_t, 4>> infoChallenge;
};

// A challenge to our info request: send infoWithChallenge(challenge) to `to`, once. The
// challenge slot of the players and rules requests is left alone.
struct InfoChallenge
{
    Endpoint to;
    std::array<std::uint8_t, 4> challenge{};
};

// An info reply of one of our games. The caller runs the duplicate test and lists it.
struct InfoReply
{
    ServerRow row;
    // A request to this sender is on record (always, without a table of requests): a broadcast's
    // answers and spoofed replies alike are unasked.
    bool asked = true;
};

// Replace the players list with these rows (already sorted by kills, highest first).
struct PlayersReply
{
    std::vector<PlayerRow> players;
};

// Clear the rules list, then append these rows (possibly none: a first fragment, or count 0).
struct RulesReply
{
    std::vector<RuleRow> rules;
    // The first of an older engine's two fragments, kept until the second: not an answer yet. Any
    // other reply is one, even an empty list (a server that exposes no rule).
    bool firstPart = false;
};

using Outcome = std::variant<Dropped, ChallengeAnswer, InfoChallenge, InfoReply, PlayersReply, RulesReply>;

// The single entry point for every received datagram. Holds the state that carries over from
// one datagram to the next: the challenge slot (in Requests) and the reassembly of split replies.
class Dispatcher
{
public:
    // The largest UDP payload fits: a datagram is read whole, however many players it lists.
    static constexpr std::size_t ReceiveBufferSize = 64 * 1024;
    static constexpr std::size_t ReassemblySize = 3000;
    static constexpr std::size_t RulesTableSize = 201;

    explicit Dispatcher(Requests& requests);

    // Datagrams longer than ReceiveBufferSize (none over IPv4) are cut to it. nowMs is a monotonic
    // time that bounds how long the fragments of a newer-engine split reply are kept; the overload
    // without it uses 0, for which nothing expires.
    Outcome dispatch(std::span<const std::uint8_t> datagram, const Endpoint& from);
    Outcome dispatch(std::span<const std::uint8_t> datagram, const Endpoint& from, std::uint64_t nowMs);

    // The endpoint was told that `from`'s port is closed: the requests to it end at once (none
    // is asked again). True when one was in flight. Needs the table (false without one).
    bool refused(const Endpoint& from, std::uint64_t nowMs);

    Requests& requests() { return m_requests; }

    // With a table, a challenge goes where the table says (and is dropped when nothing was
    // asked), a second 'm'/'I' reply to one request is dropped, and info rows carry their round
    // trip. Without one every challenge is answered as a details challenge. Not owned.
    void setOutstanding(OutstandingRequests* table) { m_outstanding = table; }

private:
    Outcome challenge(Bytes datagram, const Endpoint& from, std::uint64_t nowMs);
    Outcome info(std::optional<ServerRow> row, const Endpoint& from, std::uint64_t nowMs);

    bool isNewerFragment(Bytes datagram, const Endpoint& from) const;
    Outcome newerFragment(Bytes datagram, const Endpoint& from, std::uint64_t nowMs);
    // The older engine's two-fragment rules reply. Its fragments come here only when their byte 4
    // is none of the type letters, as the older engine's servers have always been read.
    Outcome olderFragment(Bytes datagram, const Endpoint& from);

    Requests& m_requests;
    RulesReassembly m_reassembly;
    SplitReplies m_splitReplies;
    OutstandingRequests* m_outstanding = nullptr;
};

} // namespace vantry::query
