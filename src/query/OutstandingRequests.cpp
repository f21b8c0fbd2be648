#include "OutstandingRequests.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <utility>

namespace vantry::query {

namespace {

constexpr std::uint64_t Used = std::uint64_t(1) << 63;

int elapsed(std::int64_t from, std::int64_t to)
{
    return int(std::clamp<std::int64_t>(to - from, 0, 999'999));
}

} // namespace

OutstandingRequests::OutstandingRequests(std::size_t capacity)
{
    m_capacity = MinimumCapacity;
    while (m_capacity < capacity && m_capacity < (std::size_t(1) << 30))
        m_capacity <<= 1;
}

void OutstandingRequests::infoSent(std::uint32_t address, std::uint16_t port, std::int64_t nowMs)
{
    Slot& s = touch(keyOf(address, port), nowMs);
    s.infoAt = nowMs;
    s.challenged = false;
    s.answered = false;
}

void OutstandingRequests::detailsSent(std::uint32_t address, std::uint16_t port, std::int64_t nowMs)
{
    touch(keyOf(address, port), nowMs).detailsAt = nowMs;
}

OutstandingRequests::ChallengeFor OutstandingRequests::challenge(std::uint32_t address, std::uint16_t port,
                                                                 std::int64_t nowMs)
{
    Slot* s = find(keyOf(address, port));
    if (!s)
        return ChallengeFor::Nobody;
    const bool details = detailsLive(*s, nowMs);
    const bool info = infoLive(*s, nowMs) && !s->challenged && !s->answered;
    if (info) {
        // Once per request: a server that answers the challenged request with another challenge
        // would otherwise keep us sending forever.
        s->challenged = true;
        s->infoAt = nowMs; // the round trip counts from the request that is answered
    }
    // A selected server refreshed, polled or probed as a favourite has both in flight; the
    // challenge may be the info request's, which must not go unanswered, or the details'.
    if (info && details)
        return ChallengeFor::InfoAndDetails;
    if (details)
        return ChallengeFor::Details;
    return info ? ChallengeFor::Info : ChallengeFor::Nobody;
}

OutstandingRequests::InfoAnswer OutstandingRequests::infoReply(std::uint32_t address, std::uint16_t port,
                                                               std::int64_t nowMs)
{
    Slot* s = find(keyOf(address, port));
    if (!s || !infoLive(*s, nowMs))
        return {};
    if (s->answered)
        return {false, std::nullopt};
    s->answered = true;
    return {true, elapsed(s->infoAt, nowMs)};
}

std::optional<int> OutstandingRequests::oldInfoReply(std::uint32_t address, std::uint16_t port,
                                                     std::int64_t nowMs) const
{
    const Slot* s = find(keyOf(address, port));
    if (!s || !infoLive(*s, nowMs))
        return std::nullopt;
    return elapsed(s->infoAt, nowMs);
}

bool OutstandingRequests::refused(std::uint32_t address, std::uint16_t port, std::int64_t nowMs)
{
    Slot* s = find(keyOf(address, port));
    if (!s || !live(*s, nowMs))
        return false;
    // The key stays, so that the lookups of the keys placed behind it still find them.
    s->infoAt = -1;
    s->detailsAt = -1;
    return true;
}

void OutstandingRequests::clear()
{
    m_slots.clear();
}

std::size_t OutstandingRequests::liveEntries(std::int64_t nowMs) const
{
    return std::size_t(
        std::count_if(m_slots.begin(), m_slots.end(), [&](const Slot& s) { return live(s, nowMs); }));
}

std::uint64_t OutstandingRequests::keyOf(std::uint32_t address, std::uint16_t port)
{
    return Used | (std::uint64_t(address) << 16) | port;
}

std::size_t OutstandingRequests::home(std::uint64_t key) const
{
    // Consecutive addresses take consecutive slots: a sweep walks the table in order, where
    // scattered slots would each miss the cache, and never collides with itself. Ports of one
    // address land far apart. Keys come from our own requests only; replies merely look up.
    const auto address = std::uint32_t(key >> 16);
    const auto port = std::uint32_t(key & 0xFFFF);
    return (address + port * 0x9E3779B1u) & (m_capacity - 1);
}

bool OutstandingRequests::live(const Slot& s, std::int64_t nowMs)
{
    return s.key != 0 && (infoLive(s, nowMs) || detailsLive(s, nowMs));
}

bool OutstandingRequests::infoLive(const Slot& s, std::int64_t nowMs)
{
    return s.infoAt >= 0 && nowMs - s.infoAt <= InfoLifetimeMs;
}

bool OutstandingRequests::detailsAsked(std::uint32_t address, std::uint16_t port, std::int64_t nowMs) const
{
    const Slot* s = find(keyOf(address, port));
    return s && detailsLive(*s, nowMs);
}

bool OutstandingRequests::detailsLive(const Slot& s, std::int64_t nowMs)
{
    return s.detailsAt >= 0 && nowMs - s.detailsAt <= DetailsLifetimeMs;
}

const OutstandingRequests::Slot* OutstandingRequests::find(std::uint64_t key) const
{
    if (m_slots.empty())
        return nullptr;
    // Slots are never emptied once used, so a key lies before the first empty slot of its
    // neighbourhood.
    for (std::size_t i = 0, at = home(key); i < Neighbourhood; ++i, at = next(at)) {
        const Slot& s = m_slots[at];
        if (s.key == key)
            return &s;
        if (s.key == 0)
            return nullptr;
    }
    return nullptr;
}

OutstandingRequests::Slot* OutstandingRequests::find(std::uint64_t key)
{
    return const_cast<Slot*>(std::as_const(*this).find(key));
}

OutstandingRequests::Slot& OutstandingRequests::touch(std::uint64_t key, std::int64_t nowMs)
{
    if (m_slots.empty())
        m_slots.resize(m_capacity);
    Slot* reuse = nullptr;
    std::int64_t reuseAt = 0;
    for (std::size_t i = 0, at = home(key); i < Neighbourhood; ++i, at = next(at)) {
        Slot& s = m_slots[at];
        if (s.key == key)
            return s;
        if (s.key == 0) {
            // The key is not in the table; an expired slot before this one is as good.
            if (!reuse || reuseAt != INT64_MIN)
                reuse = &s;
            break;
        }
        // An expired slot is free; otherwise the one asked longest ago gives way.
        const std::int64_t lastUse = live(s, nowMs) ? std::max(s.infoAt, s.detailsAt) : INT64_MIN;
        if (!reuse || lastUse < reuseAt) {
            reuse = &s;
            reuseAt = lastUse;
        }
    }
    *reuse = Slot{};
    reuse->key = key;
    return *reuse;
}

} // namespace vantry::query
