#include "Clock.h"

#include <chrono>
#include <thread>

namespace vantry::query {

namespace {

class SteadyClock final : public Clock
{
public:
    std::int64_t nowMs() const override
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    void sleep(int ms) override
    {
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

} // namespace

Clock& systemClock()
{
    static SteadyClock clock;
    return clock;
}

} // namespace vantry::query
