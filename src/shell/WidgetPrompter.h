#pragma once

#include "base/Prompter.h"

class QWidget;

namespace vantry {

// Message boxes and the beep through Qt's widgets.
class WidgetPrompter final : public Prompter
{
public:
    void message(const QString& caption, const QString& text, BoxIcon icon) override;
    bool confirm(const QString& text) override;
    void beep() override;
};

} // namespace vantry
