#include "app/ui/Tray.h"

#include <QAction>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

namespace vantry {
namespace {

TEST(WindowToggle, MinimisedWindowHidesAndComesBackRestoredAndShowNeverHides)
{
    QMainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Tray tray(&window);

    // Without a tray a minimised window still counts as visible: the toggle hides it first.
    window.setWindowState(Qt::WindowMinimized);
    emit tray.TrayIcon->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window.isVisible()) << "a single click is not a double click";
    emit tray.TrayIcon->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(window.isVisible());
    emit tray.TrayIcon->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());

    window.setWindowState(Qt::WindowMinimized);
    tray.TrayShow->trigger();
    tray.TrayShow->trigger();
    EXPECT_TRUE(window.isVisible()) << "\"Показать\" only shows";
    EXPECT_FALSE(window.isMinimized());
}

TEST(Tray, AnimationAlternatesAndStopResetsToTheFirstImage)
{
    QWidget window;
    Tray tray(&window);
    const auto shown = [&] { return tray.TrayIcon->icon().cacheKey(); };
    ASSERT_NE(tray.image(0).pixmap(16).toImage(), tray.image(1).pixmap(16).toImage())
        << "two equal images would make the animation invisible";

    tray.startAnimation();
    tray.animationStep();
    EXPECT_EQ(shown(), tray.image(1).cacheKey());
    tray.animationStep();
    EXPECT_EQ(shown(), tray.image(0).cacheKey()) << "after the last image comes the first";
    tray.animationStep();
    tray.stopAnimation();
    EXPECT_FALSE(tray.animating());
    EXPECT_EQ(shown(), tray.image(0).cacheKey()) << "stopped on the second image, the icon went back";

    tray.startAnimation();
    tray.animationStep();
    tray.startAnimation();
    EXPECT_EQ(tray.imageIndex(), 0) << "a new run starts from the first image";
    // The real step timer moves on by itself about once a second.
    EXPECT_TRUE(QTest::qWaitFor([&] { return tray.imageIndex() == 1; }, 2500));

    tray.remove();
    EXPECT_FALSE(tray.TrayIcon->isVisible());
    EXPECT_FALSE(tray.animating()) << "a removed icon does not animate";
}

} // namespace
} // namespace vantry
