#pragma once

#include "Records.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vantry::query {

// The requests in flight, per server: what was asked and when. It decides where a challenge
// reply goes, keeps one server from being listed twice for one request, and gives the round
// trip of the first info reply. Servers are keyed by IPv4 address (host order) and port; times
// are monotonic milliseconds. A flat table of fixed size, taken at first use: a sweep records a
// request per probe, so recording must cost next to nothing. Old entries expire; when a
// neighbourhood of the table is full, its oldest entry gives way.
class OutstandingRequests
{
public:
    static constexpr std::size_t Capacity = 1 << 17;
    static constexpr std::size_t MinimumCapacity = 64;
    // How many neighbouring slots a key may use; bounds every lookup.
    static constexpr std::size_t Neighbourhood = 32;
    // A reply after this still lists the server, only without the table's help.
    static constexpr std::int64_t InfoLifetimeMs = 60'000;
    static constexpr std::int64_t DetailsLifetimeMs = 10'000;

    // A challenge reply does not say which request it answers.
    enum class ChallengeFor
    {
        Info,           // re-send the info request with the challenge appended
        Details,        // answer with the players and rules challenge requests
        InfoAndDetails, // both are in flight: answer both ways
        Nobody,         // asked nothing, or the info request was already re-sent once: drop it
    };

    struct InfoAnswer
    {
        // False for a second 'm'/'I' reply to the same request: it must not make a second row.
        bool first = true;
        // Milliseconds since the info request; none when no request is known.
        std::optional<int> pingMs;
    };

    // capacity is rounded up to a power of two of at least MinimumCapacity; small tables are for
    // tests and fuzzing.
    explicit OutstandingRequests(std::size_t capacity = Capacity);

    void infoSent(std::uint32_t address, std::uint16_t port, std::int64_t nowMs);
    void detailsSent(std::uint32_t address, std::uint16_t port, std::int64_t nowMs);

    // The info request is re-sent at most once per request, the details answered every time.
    ChallengeFor challenge(std::uint32_t address, std::uint16_t port, std::int64_t nowMs);
    // An 'm' or 'I' reply.
    InfoAnswer infoReply(std::uint32_t address, std::uint16_t port, std::int64_t nowMs);
    // An old info-string reply: the round trip only; it is listed by address alone.
    std::optional<int> oldInfoReply(std::uint32_t address, std::uint16_t port, std::int64_t nowMs) const;

    // The server's port is closed ("port unreachable"): its requests end now, and their slot is
    // free for others. True when a request to it was in flight.
    bool refused(std::uint32_t address, std::uint16_t port, std::int64_t nowMs);

    // Whether players or rules were asked of this server lately: only then may it send split
    // replies, which are held until whole.
    bool detailsAsked(std::uint32_t address, std::uint16_t port, std::int64_t nowMs) const;

    void clear();
    std::size_t capacity() const { return m_capacity; }
    // Entries whose requests have not expired at nowMs. Walks the whole table: for tests.
    std::size_t liveEntries(std::int64_t nowMs) const;

    // A server's key, never 0.
    static std::uint64_t keyOf(std::uint32_t address, std::uint16_t port);

private:
    struct Slot
    {
        std::uint64_t key = 0;       // 0: never used; otherwise the server with the Used bit
        std::int64_t infoAt = -1;    // when the info request went out, -1 for none
        std::int64_t detailsAt = -1; // when the details request went out, -1 for none
        bool challenged = false;     // the info request was re-sent with a challenge
        bool answered = false;       // an 'm'/'I' reply to the current info request arrived
    };

    std::size_t home(std::uint64_t key) const;
    std::size_t next(std::size_t at) const { return (at + 1) & (m_capacity - 1); }
    static bool live(const Slot& s, std::int64_t nowMs);
    static bool infoLive(const Slot& s, std::int64_t nowMs);
    static bool detailsLive(const Slot& s, std::int64_t nowMs);

    const Slot* find(std::uint64_t key) const;
    Slot* find(std::uint64_t key);
    // The key's slot, taking a free, expired or the oldest neighbouring slot when it has none.
    Slot& touch(std::uint64_t key, std::int64_t nowMs);

    std::size_t m_capacity = Capacity;
    std::vector<Slot> m_slots;
};

} // namespace vantry::query
