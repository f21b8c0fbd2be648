#include "Clock.h"
#include "Prompter.h"

#include <chrono>
#include <thread>

namespace vantry {

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

// Until the application installs a real one, boxes go nowhere rather than crashing headless code.
class SilentPrompter final : public Prompter
{
public:
    void message(const QString&, const QString&, BoxIcon) override {}
    bool confirm(const QString&) override { return false; }
    void beep() override {}
};

SilentPrompter g_silent;
Prompter* g_prompter = &g_silent;

} // namespace

Clock& systemClock()
{
    static SteadyClock clock;
    return clock;
}

Prompter& prompter()
{
    return *g_prompter;
}

void setPrompter(Prompter* p)
{
    g_prompter = p ? p : &g_silent;
}

} // namespace vantry

#include "AppInfo.h"

namespace vantry {

QString standardErrorText(const QString& message)
{
    if (!message.isEmpty() && message.back() > u'.')
        return message + u'.';
    return message;
}

} // namespace vantry
