#include "LinkPace.h"

#include <tuple>

namespace vantry::query {

namespace {

// Fewer answers than this in a round say too little to judge it by.
constexpr std::int64_t FewestAnswers = 16;
// Rounds are as short as the round trip, but a queue is judged on at least this long a round.
constexpr std::int64_t ShortestRoundMs = 2;
constexpr std::int64_t ShortestCutRoundMs = 10;

} // namespace

LinkPace::LinkPace(int ceiling)
    : m_ceiling(ceiling > 0 ? ceiling : MostPerSecond), m_rate(clamp(StartPerSecond))
{}

int LinkPace::clamp(std::int64_t rate) const
{
    return static_cast<int>(std::clamp<std::int64_t>(rate, std::min(LeastPerSecond, m_ceiling), m_ceiling));
}

void LinkPace::answered(std::int64_t sentMs, std::int64_t atMs, bool retried)
{
    const std::int64_t rtt = std::max<std::int64_t>(1, atMs - sentMs);
    m_floorMs = m_floorMs == 0 ? rtt : std::min(m_floorMs, rtt);
    m_latest[m_latestCount++ % m_latest.size()] = rtt;
    if (m_latestCount >= m_latest.size()) {
        // Among this many answers, one comes from a server about as near as the nearest, and the
        // middle one tells how far apart the servers are.
        std::array<std::int64_t, std::tuple_size_v<decltype(m_latest)>> sorted = m_latest;
        const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
        std::nth_element(sorted.begin(), middle, sorted.end());
        m_queueMs = *std::min_element(sorted.begin(), middle) - m_floorMs;
        m_spreadMs = *middle - m_floorMs;
    }
    ++m_answers;
    m_retried += retried ? 1 : 0;
}

bool LinkPace::update(std::int64_t nowMs)
{
    if (m_roundStartMs < 0)
        m_roundStartMs = nowMs;
    const std::int64_t length = nowMs - m_roundStartMs;
    const bool queueing = queueMs() > allowanceMs();
    // A round lasts a round trip, what a change of pace does shows within it; a queue is met at
    // once.
    const bool due = length >= std::max(ShortestRoundMs, m_floorMs);
    // Cut again only when a queue that had a round trip to empty grew instead.
    const bool act = queueing && length >= ShortestCutRoundMs &&
                     (!m_congested || (nowMs >= m_holdUntilMs && queueMs() > m_queueAtCutMs));
    if (!due && !act)
        return false;
    m_roundStartMs = nowMs;
    const int before = m_rate;
    const std::int64_t delivered = m_answers * 1000 / std::max<std::int64_t>(length, 1);
    // Answers that needed a second ask tell of requests lost a while ago: one loss episode
    // lowers the pace once.
    const bool lost = !m_congested && m_answers >= FewestAnswers && m_retried * 16 > m_answers;
    if (m_answers == 0) {
        // No answer in a whole round: the first round trip is not over, or everyone was asked.
        // Nothing to grow on, and a queue does not outlast the traffic that made it.
        m_latestCount = 0;
        m_queueMs = 0;
        m_congested = false;
    } else if (act || (lost && nowMs >= m_holdUntilMs)) {
        // A busy link delivers what it can: half of that empties the queue within a few round
        // trips, and the pace is not cut again for the answers already on their way.
        m_carried = std::max(m_carried, delivered);
        m_rate = clamp(std::min<std::int64_t>(m_rate, delivered / 2));
        m_growing = false;
        m_congested = true;
        m_holdUntilMs = nowMs + m_floorMs + allowanceMs();
        m_queueAtCutMs = queueMs();
    } else if (queueing) {
        m_congested = true; // still emptying
    } else {
        if (m_congested) {
            // Emptied: back to under what the link was seen to carry.
            m_rate = clamp(std::max<std::int64_t>(m_rate, m_carried * 3 / 4));
        } else if (m_growing) {
            m_rate = clamp(std::int64_t(m_rate) * 2);
        } else if (m_rate < m_carried) {
            m_rate = clamp(m_rate + std::max(m_rate / 16, 50));
        } else {
            // Past what the link carried: probing, slowly, whether it carries more now.
            m_rate = clamp(m_rate + std::max(m_rate / 64, 10));
        }
        m_congested = false;
    }
    m_answers = 0;
    m_retried = 0;
    return m_rate != before;
}

} // namespace vantry::query
