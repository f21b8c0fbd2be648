#pragma once

#include "HotKey.h"

#include <QAbstractNativeEventFilter>

#include <vector>
#include <xcb/xcb.h>

namespace vantry {

// Shift+Alt+S as a passive key grab on every root window of an X connection. Alt is taken to
// be Mod1; the grab is repeated with Num Lock (Mod2) and Caps Lock (Lock), which X would
// otherwise count as modifiers. Key presses arrive through the application's native event
// filter when the connection is the application's own; another connection's events can be
// handed to nativeEventFilter directly.
class HotKeyX11 final : public HotKey, public QAbstractNativeEventFilter
{
public:
    HotKeyX11(xcb_connection_t* connection, QObject* parent = nullptr);
    ~HotKeyX11() override;

    bool registerKey() override;
    void unregisterKey() override;
    bool isRegistered() const override { return m_registered; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The key code of 's' in the server's keyboard map; 0 when the map has none.
    xcb_keycode_t keycode() const { return m_keycode; }

private:
    xcb_keycode_t lookUpKeycode() const;
    void ungrab(std::size_t grabs);

    xcb_connection_t* m_connection;
    std::vector<xcb_window_t> m_roots;
    xcb_keycode_t m_keycode = 0;
    bool m_registered = false;
    bool m_filterInstalled = false;
};

} // namespace vantry
