#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vantry::emu {

// The player's access link as a home router shapes it: a rate each way and a drop-tail queue in
// front of each. 0 for a rate: that direction is not limited.
struct LinkShape
{
    int downKbps = 0; // replies, towards the player
    int upKbps = 0;   // requests, towards the servers
    int queueMs = 50; // the longest a datagram may wait in a direction's queue
    bool limited() const { return downKbps > 0 || upKbps > 0; }
};

// "DOWN:UP" or "DOWN:UP:QUEUE": kbit/s each way and the queue in milliseconds; none when the text
// is not that.
std::optional<LinkShape> readLinkShape(const std::string& text);

// One direction of the link: datagrams leave one after another at the rate, and one that would
// wait longer than the queue holds is dropped, as a router drops it. Arrivals are handed in the
// order of their times.
class LinkQueue
{
public:
    // The IP and UDP headers a datagram carries over the link beside its payload.
    static constexpr std::size_t HeaderBytes = 28;

    LinkQueue(int kbps = 0, int queueMs = 0) : m_kbps(kbps), m_queueUs(std::int64_t(queueMs) * 1000) {}

    bool limited() const { return m_kbps > 0; }
    // When a datagram of `payload` bytes that reaches the queue at `atUs` has left the link
    // (microseconds); none when it is dropped.
    std::optional<std::int64_t> pass(std::int64_t atUs, std::size_t payload)
    {
        if (!limited())
            return atUs;
        const std::int64_t start = m_freeAtUs > atUs ? m_freeAtUs : atUs;
        if (start - atUs > m_queueUs) {
            ++m_dropped;
            return std::nullopt;
        }
        // kbit/s are bits per millisecond: a bit takes 1000/kbps microseconds.
        const std::int64_t bits = std::int64_t(payload + HeaderBytes) * 8;
        m_freeAtUs = start + (bits * 1000 + m_kbps - 1) / m_kbps;
        return m_freeAtUs;
    }
    std::uint64_t dropped() const { return m_dropped; }

private:
    int m_kbps;
    std::int64_t m_queueUs;
    std::int64_t m_freeAtUs = 0;
    std::uint64_t m_dropped = 0;
};

} // namespace vantry::emu
