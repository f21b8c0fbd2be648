#include "shell/HotKey.h"

#include "RecordingPrompter.h"
#include "base/AppInfo.h"

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace vantry {
namespace {

TEST(HotKey, SessionWithoutKeyGrabWarnsOnceAndRunsOn)
{
    // The offscreen platform offers no global key grab, as a Wayland session without a portal.
    ASSERT_NE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    test::RecordingPrompter boxes;
    std::unique_ptr<HotKey> key = createHotKey();
    ASSERT_TRUE(key);

    EXPECT_FALSE(registerHotKeyOrWarn(*key));
    EXPECT_FALSE(key->isRegistered());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Unable to assign Alt-Ctrl-S as hotkey."));
    EXPECT_EQ(boxes.boxes[0].caption, appTitle());
    EXPECT_EQ(boxes.boxes[0].icon, BoxIcon::None);

    // Releasing a key never held is harmless, and the loop carries on.
    key->unregisterKey();
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return ran; }, 2000));
    EXPECT_EQ(boxes.boxes.size(), 1);
}

} // namespace
} // namespace vantry
