#pragma once

#include <QString>

namespace vantry {

// A desktop notification: a title and one line of text, shown outside the program's windows.
class Notifier
{
public:
    virtual ~Notifier() = default;
    virtual void notify(const QString& title, const QString& text) = 0;
};

} // namespace vantry
