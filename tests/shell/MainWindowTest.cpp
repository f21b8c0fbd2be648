#include "Controls.h"
#include "base/IntervalTimer.h"
#include "browser/ScanEngine.h"
#include "browser/StaticSettings.h"
#include "shell/ScanGames.h"
#include "shell/Tray.h"

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace vantry {
namespace {

using test::control;

struct ShownMainWindow
{
    ShownMainWindow() : form(TForm1::Options{0, nullptr})
    {
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    void minimise() { form.setWindowState(form.windowState() | Qt::WindowMinimized); }
    TForm1 form;
};

TEST(MainWindow, MinimiseHidesToTheTrayOnlyWhereOneCanBringItBack)
{
    {
        ShownMainWindow w;
        new MinimiseToTray(&w.form, [] { return true; });
        w.minimise();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !w.form.isVisible(); }, 2000));
        EXPECT_FALSE(w.form.isVisible()) << "with a tray, minimising hides";
        EXPECT_FALSE(w.form.isMinimized()) << "the state goes back to normal for the next showing";
        EXPECT_FALSE(control<vantry::IntervalTimer>(w.form, "TimerFav")->enabled())
            << "favourites pause while hidden";
        toggleWindow(&w.form);
        EXPECT_TRUE(w.form.isVisible());
        EXPECT_FALSE(w.form.isMinimized());
        toggleWindow(&w.form);
        EXPECT_FALSE(w.form.isVisible());
    }
    {
        // The offscreen platform has no notification area: a hidden window could never come back.
        ASSERT_FALSE(hideOnMinimise());
        ShownMainWindow w;
        new MinimiseToTray(&w.form);
        w.minimise();
        // The hide to the tray is queued: it would come at the loop's next pass.
        EXPECT_FALSE(QTest::qWaitFor([&] { return !w.form.isVisible(); }, 20));
        EXPECT_TRUE(w.form.isVisible());
        EXPECT_TRUE(w.form.isMinimized());
    }
}

TEST(MainWindow, TrayExitDuringASweepStopsItAndKeepsTheWindow)
{
    ShownMainWindow w;
    Tray tray(&w.form);
    browser::StaticSettings settings;
    settings.broadcastOn = false;
    settings.delay = 1;
    settings.rangeList = {{true, QStringLiteral("127.0.0.1"), QStringLiteral("127.0.3.254")}};
    w.form.setLiveSettings(&settings);
    bool sweeping = false;
    bool visibleAfterExit = false;
    bool sweepingAfterExit = true;
    QTimer::singleShot(50, &w.form, [&] {
        sweeping = w.form.engine().isScanning();
        tray.TrayExit->trigger();
        visibleAfterExit = w.form.isVisible();
        sweepingAfterExit = w.form.engine().isScanning();
    });
    QTest::mouseClick(control<QPushButton>(w.form, "SBScanAll"), Qt::LeftButton);
    ASSERT_TRUE(sweeping) << "the exit came during the sweep";
    EXPECT_TRUE(visibleAfterExit) << "closing during a sweep is refused";
    EXPECT_FALSE(sweepingAfterExit) << "and stops the sweep instead";
    EXPECT_TRUE(w.form.isVisible());

    tray.TrayExit->trigger();
    EXPECT_FALSE(w.form.isVisible()) << "the second \"Выход\" closes";
    w.form.setLiveSettings(nullptr);
}

} // namespace
} // namespace vantry
