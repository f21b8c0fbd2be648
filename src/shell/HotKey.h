#pragma once

#include <QObject>

#include <memory>

namespace vantry {

// The global hot key Shift+Alt+S, system-wide while registered.
class HotKey : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~HotKey() override = default;

    // False when the combination cannot be had: another client holds it, or the session
    // offers no global key grab at all.
    virtual bool registerKey() = 0;
    // Releases the combination; harmless when not registered.
    virtual void unregisterKey() = 0;
    virtual bool isRegistered() const = 0;

signals:
    void activated();
};

// The hot key of this session: a key grab on X11, otherwise one whose registration fails.
std::unique_ptr<HotKey> createHotKey(QObject* parent = nullptr);

// Registers the key; on failure shows "Unable to assign Alt-Ctrl-S as hotkey." in a plain box
// and returns false, and the program goes on without it.
bool registerHotKeyOrWarn(HotKey& key);

} // namespace vantry
