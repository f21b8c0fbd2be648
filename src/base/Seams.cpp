#include "Prompter.h"

namespace vantry {

namespace {

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
