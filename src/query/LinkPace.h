#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vantry::query {

// The pace of first asks that the player's link carries, found as the answers come, as TCP finds
// its window: it starts moderately, doubles while the round trips stay at their floor, and backs
// off when they rise above it (the requests or replies queue in the player's router) or when
// answers had to be asked again. Servers differ in distance, so the floor is that of each round's
// median, not of single answers. All on the program's clock.
class LinkPace
{
public:
    static constexpr int StartPerSecond = 4000;
    static constexpr int LeastPerSecond = 250;
    static constexpr int MostPerSecond = 1'000'000;

    // `ceiling` > 0: never faster than that.
    explicit LinkPace(int ceiling = 0);

    int perSecond() const { return m_rate; }
    // The last round saw the link queueing; answers measured then are too slow to keep.
    bool congested() const { return m_congested; }
    // The lowest round's low tail so far, or 0 before the first round.
    std::int64_t floorMs() const { return m_floorMs; }
    // A round trip above floorMs() by more than this waited in a queue.
    std::int64_t allowanceMs() const { return std::max<std::int64_t>(3, m_floorMs / 8); }

    // An answer to a request sent at `sentMs`; `retried` when it took more than one ask.
    void answered(std::int64_t sentMs, std::int64_t atMs, bool retried);
    // Ends a round when one is due; true when the pace changed.
    bool update(std::int64_t nowMs);
    // Rounds ended so far.
    std::uint64_t rounds() const { return m_rounds; }

private:
    int clamp(std::int64_t rate) const;

    int m_ceiling;
    int m_rate;
    bool m_growing = true; // doubling, until the first sign of a queue
    bool m_congested = false;
    std::int64_t m_floorMs = 0;
    std::int64_t m_roundStartMs = -1;
    std::uint64_t m_rounds = 0;
    std::int64_t m_deliveredMost = 0; // answers a second while the link was busy
    std::vector<std::int64_t> m_rtts;
    int m_retried = 0;
};

} // namespace vantry::query
