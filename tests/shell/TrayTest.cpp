#include "shell/Tray.h"

#include <QAction>
#include <QGuiApplication>
#include <QMainWindow>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

namespace vantry {
namespace {

TEST(WindowToggle, TrayTogglesOncePerClickOrDoubleClickWhateverTheTrayReports)
{
    QMainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Tray tray(&window);
    const auto report = [&](QSystemTrayIcon::ActivationReason reason) {
        emit tray.TrayIcon->activated(reason);
    };
    // Gestures of a user come further apart than a double-click interval. The pause is the input:
    // the tray tells a double click from two clicks by the real time between them.
    const auto nextGesture = [] {
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 60);
    };

    // A StatusNotifierItem tray (KDE Plasma, GNOME with AppIndicator) reports one activation.
    report(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(window.isVisible()) << "a single activation toggles";
    nextGesture();
    report(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window.isVisible());

    // An XEmbed tray reports a double click as a Trigger at each press and then a DoubleClick.
    nextGesture();
    report(QSystemTrayIcon::Trigger);
    report(QSystemTrayIcon::Trigger);
    report(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(window.isVisible()) << "one double click, one toggle";
    nextGesture();
    report(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(window.isVisible()) << "a tray that reports only the double click";

    nextGesture();
    report(QSystemTrayIcon::Context);
    report(QSystemTrayIcon::MiddleClick);
    EXPECT_TRUE(window.isVisible()) << "the menu and the middle button do not toggle";
}

TEST(WindowToggle, MinimisedWindowHidesAndComesBackRestoredAndShowNeverHides)
{
    QMainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Tray tray(&window);

    // Without a tray a minimised window still counts as visible: the toggle hides it first.
    window.setWindowState(Qt::WindowMinimized);
    tray.TrayIconDblClick();
    EXPECT_FALSE(window.isVisible());
    tray.TrayIconDblClick();
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
