// What the user meets on a desktop while the main window is hidden in the tray.
#include "Controls.h"
#include "ProgramFixture.h"
#include "XServer.h"
#include "base/IntervalTimer.h"
#include "launch/AutoConnect.h"
#include "launch/ui/MainWindowLink.h"
#include "launch/ui/TFormAuto.h"
#include "options/ui/Options.h"
#include "shell/About.h"
#include "shell/ScanGames.h"
#include "shell/Tray.h"

#include <QAction>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <gtest/gtest.h>

namespace vantry {
namespace {

using test::control;
using test::triggerAction;

using test::listAndSelect;
using test::openBox;
using test::pressCloseBox;
using test::Program;
using test::when;

// Run in a child process on the X server (the parent test below). The offscreen platform keeps a
// hidden window active and never ends the loop when the last window closes: neither fault shows
// there.
TEST(LifeOnX11, DISABLED_ClosingADialogOrABoxWhileHiddenInTheTrayKeepsTheProgramRunning)
{
    Program p;
    TForm1& form = p.form();
    QString caption;
    QWidget* boxParent = nullptr;
    int stepsSurvived = 0;
    // Each close gets time for a quit it might have caused to end the loop before the next step.
    const auto thenAfterAWhile = [&](const std::function<void()>& next) {
        QTimer::singleShot(200, &form, [&stepsSurvived, next] {
            ++stepsSurvived;
            next();
        });
    };
    const int result = p.run(
        [&] {
            form.show();
            // Auto-connect waits in the tray for a server that no longer answers, and gives up.
            listAndSelect(p, query::Image::Open);
            control<vantry::IntervalTimer>(form, "TimerAuto")->setInterval(20);
            triggerAction(form, "Auto");
            QTest::mouseClick(p.shell().launch().autoForm().BitBtn1, Qt::LeftButton);
            ASSERT_TRUE(p.shell().launch().autoConnect().armed());
            triggerAction(form, "Hide1");
            when(
                &form, [] { return openBox() != nullptr; },
                [&] {
                    caption = openBox()->windowTitle();
                    boxParent = openBox()->parentWidget();
                    QTest::keyClick(openBox(), Qt::Key_Return);
                });
            // Then the options dialog, closed with Esc, and the about box, with its close box.
            when(
                &form, [&] { return !caption.isEmpty() && openBox() == nullptr; },
                [&] {
                    thenAfterAWhile([&] {
                        triggerAction(form, "Options1");
                        QTest::keyClick(&p.shell().settings(), Qt::Key_Escape);
                        EXPECT_FALSE(p.shell().settings().isVisible());
                        thenAfterAWhile([&] {
                            triggerAction(form, "About1");
                            ASSERT_TRUE(QTest::qWaitForWindowExposed(&p.shell().about()));
                            pressCloseBox(&p.shell().about());
                            EXPECT_FALSE(p.shell().about().isVisible());
                            thenAfterAWhile([&] { p.shell().tray().TrayExit->trigger(); });
                        });
                    });
                });
        },
        5000);
    EXPECT_EQ(caption, QStringLiteral("Auto connect"));
    EXPECT_EQ(boxParent, &form) << "a box needs the main window as parent, also while it is hidden";
    EXPECT_EQ(stepsSurvived, 3) << "closing a box or a dialog while hidden ended the program";
    EXPECT_EQ(result, 0);
}

TEST(Life, ClosingADialogOrABoxWhileHiddenInTheTrayKeepsTheProgramRunning)
{
    START_X_OR_SKIP(server);
    EXPECT_TRUE(test::passesOnXServer(
        server,
        QStringLiteral("LifeOnX11.DISABLED_ClosingADialogOrABoxWhileHiddenInTheTrayKeepsTheProgramRunning")));
}

} // namespace
} // namespace vantry
