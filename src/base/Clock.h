#pragma once

#include <cstdint>

namespace vantry {

// Time as the program's pacing sees it. Tests replace it with a clock they advance by hand.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual std::int64_t nowMs() const = 0;
    // A blocking pause of the calling thread.
    virtual void sleep(int ms) = 0;
};

// Steady time and real blocking sleeps.
Clock& systemClock();

} // namespace vantry
