#include "app/ui/Tray.h"

#include "app/AppInfo.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

namespace vantry {
namespace {

// A window to hide, show and minimise; the main window's own behaviour is tested with it too.
struct ShownWindow
{
    ShownWindow()
    {
        window.resize(320, 200);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void minimise()
    {
        window.setWindowState(window.windowState() | Qt::WindowMinimized);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    QMainWindow window;
};

TEST(MinimiseToTray, MinimiseHidesOnlyWhereATrayCanBringTheWindowBack)
{
    {
        ShownWindow w;
        new MinimiseToTray(&w.window, [] { return true; });
        w.minimise();
        EXPECT_FALSE(w.window.isVisible()) << "with a tray, a minimised window is hidden";
        EXPECT_FALSE(w.window.isMinimized()) << "the state goes back to normal for the next showing";
        toggleWindow(&w.window);
        EXPECT_TRUE(w.window.isVisible());
        EXPECT_FALSE(w.window.isMinimized());
    }
    {
        ShownWindow w;
        new MinimiseToTray(&w.window, [] { return false; });
        w.minimise();
        EXPECT_TRUE(w.window.isVisible()) << "without a tray the window must stay reachable";
        EXPECT_TRUE(w.window.isMinimized());
    }
}

TEST(MinimiseToTray, NoTrayOffscreenMeansOrdinaryMinimise)
{
    // The offscreen platform has no notification area: the default must not hide.
    ASSERT_FALSE(hideOnMinimise());
    ShownWindow w;
    new MinimiseToTray(&w.window);
    w.minimise();
    EXPECT_TRUE(w.window.isVisible());
}

TEST(WindowToggle, ToggleTwiceRestoresAndShowNeverHides)
{
    ShownWindow w;
    toggleWindow(&w.window);
    EXPECT_FALSE(w.window.isVisible());
    toggleWindow(&w.window);
    EXPECT_TRUE(w.window.isVisible());

    // A minimised window (no tray) counts as visible: it hides, and comes back restored.
    w.minimise();
    toggleWindow(&w.window);
    EXPECT_FALSE(w.window.isVisible());
    toggleWindow(&w.window);
    EXPECT_TRUE(w.window.isVisible());
    EXPECT_FALSE(w.window.isMinimized());

    showWindow(&w.window);
    EXPECT_TRUE(w.window.isVisible()) << "showing a shown window must not hide it";
    w.minimise();
    showWindow(&w.window);
    EXPECT_TRUE(w.window.isVisible());
    EXPECT_FALSE(w.window.isMinimized());
}

TEST(Tray, MenuDoubleClickAndExitReachTheWindow)
{
    ShownWindow w;
    Tray tray(&w.window);
    EXPECT_EQ(tray.TrayIcon->toolTip(), productName());
    EXPECT_EQ(tray.TrayIcon->contextMenu(), tray.PMTray);
    EXPECT_EQ(tray.TrayShow->text(), QStringLiteral("Показать  (Shift+Alt+S)"));
    EXPECT_EQ(tray.TrayExit->text(), QStringLiteral("Выход"));

    // A single click is not a double click.
    emit tray.TrayIcon->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(w.window.isVisible());
    emit tray.TrayIcon->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(w.window.isVisible());
    emit tray.TrayIcon->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(w.window.isVisible());

    tray.TrayShow->trigger();
    tray.TrayShow->trigger();
    EXPECT_TRUE(w.window.isVisible()) << "\"Показать\" only shows";

    tray.TrayExit->trigger();
    EXPECT_FALSE(w.window.isVisible()) << "\"Выход\" closes the window";
}

TEST(Tray, AnimationAlternatesAndStopResetsToTheFirstImage)
{
    QWidget window;
    Tray tray(&window);
    const auto shown = [&] { return tray.TrayIcon->icon().cacheKey(); };
    ASSERT_NE(tray.image(0).pixmap(16).toImage(), tray.image(1).pixmap(16).toImage())
        << "two equal images would make the animation invisible";
    EXPECT_EQ(shown(), tray.image(0).cacheKey());

    tray.startAnimation();
    EXPECT_TRUE(tray.animating());
    EXPECT_EQ(tray.imageIndex(), 0);
    tray.animationStep();
    EXPECT_EQ(shown(), tray.image(1).cacheKey());
    tray.animationStep();
    EXPECT_EQ(shown(), tray.image(0).cacheKey()) << "after the last image comes the first";
    tray.animationStep();

    // Stopped on the second image, the icon must not stay there.
    tray.stopAnimation();
    EXPECT_FALSE(tray.animating());
    EXPECT_EQ(tray.imageIndex(), 0);
    EXPECT_EQ(shown(), tray.image(0).cacheKey());

    // Starting again begins at the first image, even if the last run ended elsewhere.
    tray.startAnimation();
    tray.animationStep();
    tray.startAnimation();
    EXPECT_EQ(tray.imageIndex(), 0);

    // The real step timer moves on by itself about once a second.
    EXPECT_TRUE(QTest::qWaitFor([&] { return tray.imageIndex() == 1; }, 2500));
    tray.stopAnimation();
    EXPECT_EQ(tray.imageIndex(), 0);

    tray.startAnimation();
    tray.remove();
    EXPECT_FALSE(tray.TrayIcon->isVisible());
    EXPECT_FALSE(tray.animating()) << "a removed icon does not animate";
}

} // namespace
} // namespace vantry
