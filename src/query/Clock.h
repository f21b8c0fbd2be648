#pragma once

#include <cstdint>

namespace vantry::query {

// The program's one clock: pacing, arrival stamps and round trips. Tests replace it with a clock
// they advance by hand.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual std::int64_t nowMs() const = 0;
    // A blocking pause of the calling thread.
    virtual void sleep(int ms) = 0;
    // Whether it runs with real time, so that the kernel's arrival times can be carried over.
    virtual bool realTime() const { return true; }
};

// Steady time and real blocking sleeps.
Clock& systemClock();

} // namespace vantry::query
