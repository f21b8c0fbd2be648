#pragma once

#include "Records.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace vantry::query {

// The requests in flight, per server: what was asked and when. It decides where a challenge
// reply goes, keeps one server from being listed twice for one request, and gives the round
// trip of the first info reply. Servers are keyed by IPv4 address (host order) and port; times
// are monotonic milliseconds. Bounded: old entries expire and the oldest give way at the cap.
class OutstandingRequests
{
public:
    static constexpr std::size_t MaxEntries = 1 << 18;
    // A reply after this still lists the server, only without the table's help.
    static constexpr std::int64_t InfoLifetimeMs = 60'000;
    static constexpr std::int64_t DetailsLifetimeMs = 10'000;

    enum class ChallengeFor
    {
        Info,    // re-send the info request with the challenge appended
        Details, // answer with the players and rules challenge requests
        Nobody,  // asked nothing, or the info request was already re-sent once: drop it
    };

    struct InfoAnswer
    {
        // False for a second 'm'/'I' reply to the same request: it must not make a second row.
        bool first = true;
        // Milliseconds since the info request; none when no request is known.
        std::optional<int> pingMs;
    };

    void infoSent(std::uint32_t address, std::uint16_t port, std::int64_t nowMs);
    void detailsSent(std::uint32_t address, std::uint16_t port, std::int64_t nowMs);

    // Details outrank info: the window's details request has always been answered this way.
    ChallengeFor challenge(std::uint32_t address, std::uint16_t port, std::int64_t nowMs);
    // An 'm' or 'I' reply.
    InfoAnswer infoReply(std::uint32_t address, std::uint16_t port, std::int64_t nowMs);
    // An old info-string reply: the round trip only; it is listed by address alone.
    std::optional<int> oldInfoReply(std::uint32_t address, std::uint16_t port, std::int64_t nowMs) const;

    void clear();
    std::size_t size() const { return m_entries.size(); }

    // A dotted quad as the endpoint reports senders; nothing for anything else.
    static std::optional<std::uint32_t> parseAddress(std::string_view text);
    // The same for a Source; nothing when its address is not a dotted quad.
    static std::optional<std::uint64_t> keyOf(const Source& from);
    static std::uint64_t keyOf(std::uint32_t address, std::uint16_t port)
    {
        return (std::uint64_t(address) << 16) | port;
    }

private:
    struct Entry
    {
        std::int64_t infoAt = -1;    // when the info request went out, -1 for none
        std::int64_t detailsAt = -1; // when the details request went out, -1 for none
        bool challenged = false;     // the info request was re-sent with a challenge
        bool answered = false;       // an 'm'/'I' reply to the current info request arrived
        std::int64_t lastUse = 0;
    };

    Entry& touch(std::uint64_t key, std::int64_t nowMs);
    void expire(std::int64_t nowMs);
    bool infoLive(const Entry& e, std::int64_t nowMs) const;
    bool detailsLive(const Entry& e, std::int64_t nowMs) const;

    std::unordered_map<std::uint64_t, Entry> m_entries;
    // Keys in the order they were last used; a key may appear more than once (only its newest
    // place counts: an entry is expired through an older place only when its lastUse agrees).
    std::deque<std::pair<std::uint64_t, std::int64_t>> m_order;
};

} // namespace vantry::query
