#include "OutstandingRequests.h"

#include <algorithm>
#include <charconv>

namespace vantry::query {

void OutstandingRequests::infoSent(std::uint32_t address, std::uint16_t port, std::int64_t nowMs)
{
    Entry& e = touch(keyOf(address, port), nowMs);
    e.infoAt = nowMs;
    e.challenged = false;
    e.answered = false;
}

void OutstandingRequests::detailsSent(std::uint32_t address, std::uint16_t port, std::int64_t nowMs)
{
    touch(keyOf(address, port), nowMs).detailsAt = nowMs;
}

OutstandingRequests::ChallengeFor OutstandingRequests::challenge(std::uint32_t address, std::uint16_t port,
                                                                 std::int64_t nowMs)
{
    expire(nowMs);
    const auto it = m_entries.find(keyOf(address, port));
    if (it == m_entries.end())
        return ChallengeFor::Nobody;
    Entry& e = it->second;
    if (detailsLive(e, nowMs))
        return ChallengeFor::Details;
    if (infoLive(e, nowMs) && !e.challenged && !e.answered) {
        // Once per request: a server that answers the challenged request with another challenge
        // would otherwise keep us sending forever.
        e.challenged = true;
        e.infoAt = nowMs; // the round trip counts from the request that is answered
        return ChallengeFor::Info;
    }
    return ChallengeFor::Nobody;
}

OutstandingRequests::InfoAnswer OutstandingRequests::infoReply(std::uint32_t address, std::uint16_t port,
                                                               std::int64_t nowMs)
{
    expire(nowMs);
    const auto it = m_entries.find(keyOf(address, port));
    if (it == m_entries.end())
        return {};
    Entry& e = it->second;
    if (!infoLive(e, nowMs))
        return {};
    if (e.answered)
        return {false, std::nullopt};
    e.answered = true;
    return {true, int(std::min<std::int64_t>(nowMs - e.infoAt, 999'999))};
}

std::optional<int> OutstandingRequests::oldInfoReply(std::uint32_t address, std::uint16_t port,
                                                     std::int64_t nowMs) const
{
    const auto it = m_entries.find(keyOf(address, port));
    if (it == m_entries.end() || !infoLive(it->second, nowMs))
        return std::nullopt;
    return int(std::min<std::int64_t>(nowMs - it->second.infoAt, 999'999));
}

void OutstandingRequests::clear()
{
    m_entries.clear();
    m_order.clear();
}

std::optional<std::uint32_t> OutstandingRequests::parseAddress(std::string_view text)
{
    std::uint32_t address = 0;
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (p == end || *p != '.')
                return std::nullopt;
            ++p;
        }
        unsigned value = 0;
        const auto [next, error] = std::from_chars(p, end, value);
        if (error != std::errc{} || next == p || next - p > 3 || value > 255)
            return std::nullopt;
        address = (address << 8) | value;
        p = next;
    }
    if (p != end)
        return std::nullopt;
    return address;
}

std::optional<std::uint64_t> OutstandingRequests::keyOf(const Source& from)
{
    const auto address = parseAddress(from.address);
    if (!address)
        return std::nullopt;
    return keyOf(*address, from.port);
}

OutstandingRequests::Entry& OutstandingRequests::touch(std::uint64_t key, std::int64_t nowMs)
{
    expire(nowMs);
    while (m_entries.size() >= MaxEntries && !m_order.empty()) {
        const auto [oldKey, at] = m_order.front();
        m_order.pop_front();
        const auto it = m_entries.find(oldKey);
        if (it != m_entries.end() && it->second.lastUse == at)
            m_entries.erase(it);
    }
    // Stale places of keys used again pile up only within one lifetime; keep that bounded too.
    while (m_order.size() >= 2 * MaxEntries)
        m_order.pop_front();
    Entry& e = m_entries[key];
    e.lastUse = nowMs;
    m_order.emplace_back(key, nowMs);
    return e;
}

void OutstandingRequests::expire(std::int64_t nowMs)
{
    const std::int64_t lifetime = std::max(InfoLifetimeMs, DetailsLifetimeMs);
    while (!m_order.empty() && nowMs - m_order.front().second > lifetime) {
        const auto [key, at] = m_order.front();
        m_order.pop_front();
        const auto it = m_entries.find(key);
        if (it != m_entries.end() && it->second.lastUse == at)
            m_entries.erase(it);
    }
}

bool OutstandingRequests::infoLive(const Entry& e, std::int64_t nowMs) const
{
    return e.infoAt >= 0 && nowMs - e.infoAt <= InfoLifetimeMs;
}

bool OutstandingRequests::detailsLive(const Entry& e, std::int64_t nowMs) const
{
    return e.detailsAt >= 0 && nowMs - e.detailsAt <= DetailsLifetimeMs;
}

} // namespace vantry::query
