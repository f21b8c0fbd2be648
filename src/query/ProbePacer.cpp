#include "ProbePacer.h"

#include <algorithm>
#include <limits>

namespace vantry::query {

namespace {
constexpr std::int64_t Unit = 1000; // credit of one probe
}

ProbePacer::ProbePacer(int perSecond, int burst)
    : m_perSecond(perSecond), m_capacity(std::int64_t(std::max(burst, 1)) * Unit), m_credit(m_capacity)
{}

void ProbePacer::refill(std::int64_t nowMs)
{
    if (!m_started) {
        m_started = true;
        m_lastMs = nowMs;
        return;
    }
    // A clock that goes back earns nothing rather than a debt.
    const std::int64_t elapsed = std::max<std::int64_t>(nowMs - m_lastMs, 0);
    m_lastMs = std::max(m_lastMs, nowMs);
    // Capped before multiplying: a long quiet while cannot overflow the credit.
    const std::int64_t earned = std::min(elapsed, m_capacity) * m_perSecond;
    m_credit = std::min(m_capacity, m_credit + earned);
}

std::int64_t ProbePacer::allowance(std::int64_t nowMs)
{
    if (unpaced())
        return std::numeric_limits<std::int64_t>::max();
    refill(nowMs);
    return std::max<std::int64_t>(m_credit / Unit, 0);
}

void ProbePacer::sent(std::int64_t count)
{
    if (unpaced() || count <= 0)
        return;
    m_credit -= count * Unit;
}

std::int64_t ProbePacer::nextMs(std::int64_t nowMs)
{
    if (unpaced())
        return nowMs;
    refill(nowMs);
    if (m_credit >= Unit)
        return nowMs;
    const std::int64_t missing = Unit - m_credit;
    return nowMs + (missing + m_perSecond - 1) / m_perSecond;
}

} // namespace vantry::query
