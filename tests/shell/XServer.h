#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QVector>

#include <initializer_list>
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

    // Starts openbox on the server and waits until it manages windows. False when there is no
    // openbox or it did not come up; reason() tells which.
    bool startWindowManager();

private:
    QProcess m_process;
    QProcess m_windowManager;
    QString m_display;
    QString m_reason;
};

// A client connection for the life of the object; c is null when none could be made.
struct XConnection
{
    explicit XConnection(const XServer& server) : c(server.connect()) {}
    ~XConnection()
    {
        if (c)
            xcb_disconnect(c);
    }
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;
    xcb_connection_t* c;
};

// Runs one test of this program in a child process that is a client of the server; true when it
// passed (its output is printed otherwise). Disabled tests are run too: that is how a test meant
// only for a child is kept from running on its own.
bool passesOnXServer(const XServer& server, const QString& test);

// Key code of a keysym in the server's map, 0 when none.
xcb_keycode_t keycodeOf(xcb_connection_t* connection, xcb_keysym_t keysym);
// Root window of the first screen.
xcb_window_t rootOf(xcb_connection_t* connection);

// Presses and releases the keys as a keyboard would, through the XTEST extension.
void typeChord(xcb_connection_t* connection, std::initializer_list<xcb_keysym_t> chord);

// The window's _NET_WM_NAME, the caption the desktop shows.
QString windowCaption(xcb_connection_t* connection, xcb_window_t window);
// Top-level windows on the screen (mapped children of the root), bottom first.
QVector<xcb_window_t> shownTopLevels(xcb_connection_t* connection);
// True when the window is mapped and all its ancestors are: on the screen.
bool isViewable(xcb_connection_t* connection, xcb_window_t window);
// The window's WM_TRANSIENT_FOR, the window a window manager keeps it above; none when unset.
xcb_window_t transientFor(xcb_connection_t* connection, xcb_window_t window);
// True when the window's _NET_WM_WINDOW_TYPE names a dialog.
bool isDialogWindow(xcb_connection_t* connection, xcb_window_t window);

inline constexpr xcb_keysym_t KeyS = 0x73;
inline constexpr xcb_keysym_t KeyShiftL = 0xffe1;
inline constexpr xcb_keysym_t KeyControlL = 0xffe3;
inline constexpr xcb_keysym_t KeyAltL = 0xffe9;
inline constexpr xcb_keysym_t KeyNumLock = 0xff7f;
inline constexpr xcb_keysym_t KeyCapsLock = 0xffe5;

} // namespace vantry::test

// Starts a private Xvfb in `server`; skips the test when there is no Xvfb, fails it otherwise.
#define START_X_OR_SKIP(server)                                                                              \
    vantry::test::XServer server;                                                                            \
    if (!server.start()) {                                                                                   \
        if (server.reason().startsWith(QStringLiteral("no Xvfb")))                                           \
            GTEST_SKIP() << qPrintable(server.reason());                                                     \
        FAIL() << qPrintable(server.reason());                                                               \
    }

// Starts openbox on `server`; skips the test when there is no openbox, fails it otherwise.
#define START_WINDOW_MANAGER_OR_SKIP(server)                                                                 \
    if (!server.startWindowManager()) {                                                                      \
        if (server.reason().startsWith(QStringLiteral("no openbox")))                                        \
            GTEST_SKIP() << qPrintable(server.reason());                                                     \
        FAIL() << qPrintable(server.reason());                                                               \
    }
