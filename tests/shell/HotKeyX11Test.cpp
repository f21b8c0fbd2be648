#include "shell/HotKeyX11.h"

#include "RecordingPrompter.h"
#include "XServer.h"
#include "shell/Tray.h"

#include <QMainWindow>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <gtest/gtest.h>

namespace vantry {
namespace {

constexpr std::uint16_t ShiftAlt = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1;

// Another client taking a key combination on the root window.
bool grab(xcb_connection_t* c, std::uint16_t modifiers)
{
    const xcb_keycode_t s = test::keycodeOf(c, test::KeyS);
    xcb_generic_error_t* error =
        xcb_request_check(c, xcb_grab_key_checked(c, 1, test::rootOf(c), modifiers, s, XCB_GRAB_MODE_ASYNC,
                                                  XCB_GRAB_MODE_ASYNC));
    std::free(error);
    return error == nullptr;
}

void ungrab(xcb_connection_t* c, std::uint16_t modifiers)
{
    xcb_ungrab_key(c, test::keycodeOf(c, test::KeyS), test::rootOf(c), modifiers);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // round trip
}

TEST(HotKeyX11, HeldCombinationFailsWithOneMessageAndLeavesNoPartialGrab)
{
    START_X_OR_SKIP(server);
    test::XConnection holder(server), ours(server), third(server);
    ASSERT_TRUE(holder.c && ours.c && third.c);

    // The other program holds only the Num Lock form: ours must fail and take back what it got.
    ASSERT_TRUE(grab(holder.c, ShiftAlt | XCB_MOD_MASK_2));
    test::RecordingPrompter boxes;
    HotKeyX11 key(ours.c);
    ASSERT_NE(key.keycode(), 0);
    EXPECT_FALSE(registerHotKeyOrWarn(key));
    EXPECT_FALSE(key.isRegistered());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Unable to assign Alt-Ctrl-S as hotkey."));
    EXPECT_TRUE(grab(third.c, ShiftAlt)) << "a failed registration left a grab behind";
    ungrab(third.c, ShiftAlt);

    // Once free, the combination is ours alone, in every lock state, until released.
    ungrab(holder.c, ShiftAlt | XCB_MOD_MASK_2);
    ASSERT_TRUE(key.registerKey());
    const int locks[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
    for (int lock : locks)
        EXPECT_FALSE(grab(third.c, static_cast<std::uint16_t>(ShiftAlt | lock)))
            << "lock mask " << lock << " not grabbed";
    key.unregisterKey();
    EXPECT_TRUE(grab(third.c, ShiftAlt)) << "the grab outlived unregisterKey";
    EXPECT_EQ(boxes.boxes.size(), 1);
}

// Hands the connection's events to the key's filter, as the application's event loop would.
int pump(HotKeyX11& key, xcb_connection_t* c, int ms)
{
    QSignalSpy activated(&key, &HotKey::activated);
    QDeadlineTimer deadline(ms);
    // Every event until the deadline: a key that must not arrive is told by its absence.
    while (!deadline.hasExpired()) {
        xcb_generic_event_t* event = nullptr;
        if (!QTest::qWaitFor([&] { return (event = xcb_poll_for_event(c)) != nullptr; },
                             static_cast<int>(deadline.remainingTime())))
            break;
        key.nativeEventFilter("xcb_generic_event_t", event, nullptr);
        std::free(event);
    }
    return static_cast<int>(activated.count());
}

TEST(HotKeyX11, KeyboardShiftAltSArrivesInEveryLockStateAndCtrlAltSDoesNot)
{
    START_X_OR_SKIP(server);
    test::XConnection keyboard(server), ours(server);
    ASSERT_TRUE(keyboard.c && ours.c);
    HotKeyX11 key(ours.c);
    ASSERT_TRUE(key.registerKey());

    test::typeChord(keyboard.c, {test::KeyShiftL, test::KeyAltL, test::KeyS});
    EXPECT_EQ(pump(key, ours.c, 300), 1);
    test::typeChord(keyboard.c, {test::KeyControlL, test::KeyAltL, test::KeyS});
    EXPECT_EQ(pump(key, ours.c, 300), 0) << "Ctrl instead of Shift does nothing";

    test::typeChord(keyboard.c, {test::KeyNumLock});
    test::typeChord(keyboard.c, {test::KeyShiftL, test::KeyAltL, test::KeyS});
    EXPECT_EQ(pump(key, ours.c, 300), 1) << "with Num Lock on";
    test::typeChord(keyboard.c, {test::KeyCapsLock});
    test::typeChord(keyboard.c, {test::KeyShiftL, test::KeyAltL, test::KeyS});
    EXPECT_EQ(pump(key, ours.c, 300), 1) << "with Num Lock and Caps Lock on";
}

// Run in a child process on the X server with Qt's own X connection (the parent test below).
TEST(QtOnX11, DISABLED_HotKeyOfTheApplicationTogglesTheWindow)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    const QByteArray display = qgetenv("DISPLAY");
    xcb_connection_t* other = xcb_connect(display.constData(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(other));

    std::unique_ptr<HotKey> key = createHotKey();
    ASSERT_TRUE(key->registerKey());

    QMainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QObject::connect(key.get(), &HotKey::activated, &window, [&] { toggleWindow(&window); });
    test::typeChord(other, {test::KeyShiftL, test::KeyAltL, test::KeyS});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isVisible(); }, 3000)) << "first press hides";
    test::typeChord(other, {test::KeyShiftL, test::KeyAltL, test::KeyS});
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isVisible(); }, 3000)) << "second press shows";
    key.reset();
    xcb_disconnect(other);
}

TEST(QtOnX11, ApplicationOnAnXServerTakesTheKeyThroughItsOwnConnection)
{
    START_X_OR_SKIP(server);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), server.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_also_run_disabled_tests"),
                 QStringLiteral("--gtest_filter=QtOnX11.DISABLED_HotKeyOfTheApplicationTogglesTheWindow")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << output.constData();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
}

} // namespace
} // namespace vantry
