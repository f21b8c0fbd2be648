#pragma once

#include <cstdint>

namespace vantry::query {

// Spreads probes of many servers over time: a rate per second with a short burst, so that a
// list of thousands neither floods a slow link nor waits on a fixed pause per server. Time is
// the caller's (a Clock's milliseconds), so the pacing is tested without sleeping.
class ProbePacer
{
public:
    // perSecond <= 0: unpaced, every probe may go at once. burst: probes that may go together
    // after a quiet while (at least 1).
    explicit ProbePacer(int perSecond = 0, int burst = 1);
    // A rate with a burst of a millisecond of it: requests that leave together wait for each
    // other in the player's router, and a larger burst would count in the last ones' pings.
    static ProbePacer ofRate(int perSecond)
    {
        return ProbePacer(perSecond, perSecond > 1000 ? perSecond / 1000 : 1);
    }

    bool unpaced() const { return m_perSecond <= 0; }
    int perSecond() const { return m_perSecond; }

    // Probes that may go now; call sent() with how many went.
    std::int64_t allowance(std::int64_t nowMs);
    void sent(std::int64_t count);
    // When the next probe may go; nowMs when one may go now.
    std::int64_t nextMs(std::int64_t nowMs);

private:
    void refill(std::int64_t nowMs);

    int m_perSecond;
    // Credit in thousandths of a probe: a millisecond earns perSecond of them.
    std::int64_t m_capacity;
    std::int64_t m_credit;
    std::int64_t m_lastMs = 0;
    bool m_started = false;
};

} // namespace vantry::query
