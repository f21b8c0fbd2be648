#pragma once

#include <QString>

namespace vantry {

enum class BoxIcon
{
    None,
    Information,
    Warning,
    Error,
};

// Message boxes, questions and the beep, behind one seam so that tests can answer or record them.
class Prompter
{
public:
    virtual ~Prompter() = default;
    // A box with one OK button.
    virtual void message(const QString& caption, const QString& text, BoxIcon icon) = 0;
    // The standard confirmation: caption "Подтверждение", buttons "&Да" and "&Нет". True on yes.
    virtual bool confirm(const QString& text) = 0;
    virtual void beep() = 0;
};

// The process-wide prompter; the application installs the widget one at start-up.
Prompter& prompter();
void setPrompter(Prompter* prompter);

} // namespace vantry
