// The captions the desktop shows: a platform may add the application's display name to every
// window title, so they are read back from a real X server, not from the widgets.
#include "Controls.h"
#include "ProgramFixture.h"
#include "XServer.h"
#include "browser/ServerListModel.h"
#include "launch/ui/MainWindowLink.h"
#include "launch/ui/TFormAuto.h"
#include "options/ui/Options.h"
#include "shell/About.h"
#include "shell/ScanGames.h"

#include <QAction>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vantry {
namespace {

using test::clickButton;
using test::triggerAction;

using test::openBox;
using test::Program;

// Run in a child process on the X server (the parent test below).
TEST(CaptionsOnX11, DISABLED_DialogsAndBoxesShowExactlyTheProgramsCaptions)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    setApplicationIdentity();
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_NE(x11, nullptr);
    xcb_connection_t* c = x11->connection();
    const auto caption = [c](QWidget* w) {
        return test::windowCaption(c, static_cast<xcb_window_t>(w->winId())).toStdString();
    };

    Program p;
    TForm1& form = p.form();
    std::vector<std::string> boxes;
    p.run([&] {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        EXPECT_EQ(caption(&form), "Vantry 1.98") << "the main window shows the title";
        triggerAction(form, "Options1");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&p.shell().settings()));
        EXPECT_EQ(caption(&p.shell().settings()), "Настройки");
        triggerAction(form, "About1");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&p.shell().about()));
        EXPECT_EQ(caption(&p.shell().about()), "О программе...");

        // Each box is read while it waits for its answer, then answered with Esc.
        const auto readBoxes = [&] {
            test::when(
                &form, [] { return openBox() && openBox()->isVisible(); },
                [&] {
                    boxes.push_back(caption(openBox()));
                    QTest::keyClick(openBox(), Qt::Key_Escape);
                });
        };
        readBoxes();
        triggerAction(form, "Auto"); // no server selected
        QTest::mouseClick(p.shell().launch().autoForm().BitBtn1, Qt::LeftButton);
        readBoxes();
        test::listAndSelect(p, query::Image::Full); // asks first
        clickButton(form, "SBPlay");
        form.servers().clear();
        readBoxes();
        test::listAndSelect(p, query::Image::Open); // no game path set
        clickButton(form, "SBPlay");
        triggerAction(form, "Exit1");
    });
    EXPECT_EQ(boxes, (std::vector<std::string>{"Auto connect", "Подтверждение", "Error"}));
}

TEST(Captions, DialogsAndBoxesShowExactlyTheProgramsCaptionsOnTheDesktop)
{
    START_X_OR_SKIP(server);
    EXPECT_TRUE(test::passesOnXServer(
        server, QStringLiteral("CaptionsOnX11.DISABLED_DialogsAndBoxesShowExactlyTheProgramsCaptions")));
}

} // namespace
} // namespace vantry
