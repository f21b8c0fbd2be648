#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace vantry::query {

// The pace of first asks that the player's link carries, found as the answers come, as TCP finds
// its window: it starts moderately, doubles each round trip while the round trips stay at their
// floor, and backs off when they rise above it (the requests or replies queue in the player's
// router) or when answers had to be asked again. Servers differ in distance, so a queue shows in
// the lowest of the latest answers, not in single ones. All on the program's clock.
class LinkPace
{
public:
    static constexpr int StartPerSecond = 4000;
    static constexpr int LeastPerSecond = 250;
    static constexpr int MostPerSecond = 1'000'000;

    // `ceiling` > 0: never faster than that.
    explicit LinkPace(int ceiling = 0);

    int perSecond() const { return m_rate; }
    // The link was seen queueing and has not been seen calm since: answers measured now are too
    // slow to keep.
    bool congested() const { return m_congested; }
    // The lowest round trip so far, or 0 before the first answer.
    std::int64_t floorMs() const { return m_floorMs; }
    // The lowest of the latest round trips above floorMs() by more than this waited in a queue.
    // Servers far apart scatter it more: a quarter of their spread is allowed as well.
    std::int64_t allowanceMs() const { return std::max<std::int64_t>({3, m_floorMs / 8, m_spreadMs / 4}); }

    // An answer to a request sent at `sentMs`; `retried` when it took more than one ask.
    void answered(std::int64_t sentMs, std::int64_t atMs, bool retried);
    // Ends a round when one is due, or at once when a queue showed; true when the pace changed.
    bool update(std::int64_t nowMs);

    // How long the latest answers waited in a queue: the lowest of their round trips above the
    // floor; 0 before there are enough of them.
    std::int64_t queueMs() const { return m_queueMs; }

private:
    int clamp(std::int64_t rate) const;

    int m_ceiling;
    int m_rate;
    bool m_growing = true; // doubling, until the first sign of a queue
    bool m_congested = false;
    std::int64_t m_floorMs = 0;
    std::int64_t m_roundStartMs = -1;
    // After a cut the answers still in flight tell of the pace before it: not cut again for them.
    std::int64_t m_holdUntilMs = 0;
    std::int64_t m_queueAtCutMs = 0;
    std::int64_t m_carried = 0; // answers a second while the link queued: what it carries
    // The round trips of the latest answers, a ring.
    std::array<std::int64_t, 64> m_latest{};
    std::size_t m_latestCount = 0;
    std::int64_t m_queueMs = 0;
    std::int64_t m_spreadMs = 0; // the latest answers' middle round trip above the floor
    std::int64_t m_answers = 0;  // in this round
    int m_retried = 0;
};

} // namespace vantry::query
