#pragma once

#include "base/Prompter.h"

#include <QList>

namespace vantry::test {

// Records every box instead of showing it; installed for the life of the object.
class RecordingPrompter final : public Prompter
{
public:
    struct Box
    {
        QString caption;
        QString text;
        BoxIcon icon;
    };

    RecordingPrompter() { setPrompter(this); }
    ~RecordingPrompter() override { setPrompter(nullptr); }

    void message(const QString& caption, const QString& text, BoxIcon icon) override
    {
        boxes.append({caption, text, icon});
    }
    bool confirm(const QString&) override { return false; }
    void beep() override {}

    QList<Box> boxes;
};

} // namespace vantry::test
