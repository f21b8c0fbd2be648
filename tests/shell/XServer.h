#pragma once

#include <QProcess>
#include <QString>

#include <xcb/xcb.h>

namespace vantry::test {

// A private Xvfb for the tests that need a real X server; stopped when the object goes.
class XServer
{
public:
    XServer();
    ~XServer();

    // False when there is no Xvfb binary or it did not come up; reason() tells which.
    bool start();
    QString reason() const { return m_reason; }
    QString display() const { return m_display; }

    // A new client connection; the caller disconnects it.
    xcb_connection_t* connect() const;

private:
    QProcess m_process;
    QString m_display;
    QString m_reason;
};

// Key code of a keysym in the server's map, 0 when none.
xcb_keycode_t keycodeOf(xcb_connection_t* connection, xcb_keysym_t keysym);
// Root window of the first screen.
xcb_window_t rootOf(xcb_connection_t* connection);

inline constexpr xcb_keysym_t KeyS = 0x73;
inline constexpr xcb_keysym_t KeyShiftL = 0xffe1;
inline constexpr xcb_keysym_t KeyControlL = 0xffe3;
inline constexpr xcb_keysym_t KeyAltL = 0xffe9;
inline constexpr xcb_keysym_t KeyNumLock = 0xff7f;
inline constexpr xcb_keysym_t KeyCapsLock = 0xffe5;

} // namespace vantry::test
