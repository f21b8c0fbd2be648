#include "LinkPace.h"

#include <algorithm>

namespace vantry::query {

namespace {

// Fewer answers than this in a round say too little to judge it by.
constexpr std::size_t FewestAnswers = 16;
constexpr std::int64_t ShortestRoundMs = 10;

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
    m_rtts.push_back(std::max<std::int64_t>(0, atMs - sentMs));
    m_retried += retried ? 1 : 0;
}

bool LinkPace::update(std::int64_t nowMs)
{
    if (m_roundStartMs < 0)
        m_roundStartMs = nowMs;
    // A round lasts a round trip: what a change of pace does shows within it.
    const std::int64_t length = nowMs - m_roundStartMs;
    if (length < std::max(ShortestRoundMs, m_floorMs))
        return false;
    m_roundStartMs = nowMs;
    ++m_rounds;
    const int before = m_rate;
    const std::size_t answers = m_rtts.size();
    if (answers >= FewestAnswers) {
        // The low tail: every answer waits behind a standing queue, the nearest servers too.
        const auto low = m_rtts.begin() + static_cast<std::ptrdiff_t>(answers / 10);
        std::nth_element(m_rtts.begin(), low, m_rtts.end());
        if (m_floorMs == 0 || *low < m_floorMs)
            m_floorMs = std::max<std::int64_t>(*low, 1);
        const bool queueing = *low > m_floorMs + allowanceMs();
        // Answers that needed a second ask tell of requests lost a while ago: one loss episode
        // lowers the pace once.
        const bool lost = !m_congested && m_retried * 16 > static_cast<int>(answers);
        m_congested = queueing || lost;
        if (m_congested) {
            // A busy link delivers what it can: half of that empties the queue within a few
            // rounds, and the pace does not fall further while it does.
            const std::int64_t delivered = std::int64_t(answers) * 1000 / std::max<std::int64_t>(length, 1);
            m_deliveredMost = std::max(m_deliveredMost, delivered);
            m_rate = clamp(std::min<std::int64_t>(m_rate, delivered / 2));
            m_growing = false;
        } else if (m_growing) {
            m_rate = clamp(std::int64_t(m_rate) * 2);
        } else {
            // Emptied: back to just under what the link was seen to carry, then upwards slowly.
            m_rate =
                clamp(std::max<std::int64_t>(m_rate + std::max(m_rate / 8, 100), m_deliveredMost * 9 / 10));
            m_deliveredMost = m_deliveredMost * 9 / 10;
        }
    } else if (answers == 0) {
        // Nothing answered (dead servers, the first round trip not over, or all asked): no sign
        // of a queue either.
        m_congested = false;
        m_rate = clamp(m_rate + std::max(m_rate / 8, 100));
    }
    m_rtts.clear();
    m_retried = 0;
    return m_rate != before;
}

} // namespace vantry::query
