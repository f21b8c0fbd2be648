// The program's life with its real windows and boxes: it ends when, and only when, the main
// window's close is accepted, whatever dialog or box is open and whether the window is shown or
// hidden in the tray; the settings are written on the way out.
#include "Controls.h"
#include "ProgramFixture.h"
#include "browser/ScanEngine.h"
#include "launch/ui/MainWindowLink.h"
#include "launch/ui/TFormAuto.h"
#include "launch/ui/TFormPass.h"
#include "options/ui/Options.h"
#include "shell/About.h"
#include "shell/ScanGames.h"
#include "shell/Tray.h"

#include <QAction>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <gtest/gtest.h>

namespace vantry {
namespace {

using test::clickButton;
using test::triggerAction;

using test::listAndSelect;
using test::openBox;
using test::pressCloseBox;
using test::Program;
using test::when;

enum class Closer
{
    Menu,
    CloseBox,
    TrayMenu,
};

void closeMainWindow(Program& p, Closer how)
{
    switch (how) {
    case Closer::Menu:
        triggerAction(p.form(), "Exit1");
        break;
    case Closer::CloseBox:
        pressCloseBox(&p.form());
        break;
    case Closer::TrayMenu:
        p.shell().tray().TrayExit->trigger();
        break;
    }
}

struct Opener
{
    const char* name;
    std::function<QWidget*(Program&)> open;
};

const Opener Dialogs[] = {
    {"options dialog",
     [](Program& p) -> QWidget* {
         triggerAction(p.form(), "Options1");
         return &p.shell().settings();
     }},
    {"about box",
     [](Program& p) -> QWidget* {
         triggerAction(p.form(), "About1");
         return &p.shell().about();
     }},
    {"password prompt",
     [](Program& p) -> QWidget* {
         listAndSelect(p, query::Image::Password);
         clickButton(p.form(), "SBPlay");
         return &p.shell().launch().passForm();
     }},
    {"auto-connect dialog",
     [](Program& p) -> QWidget* {
         triggerAction(p.form(), "Auto");
         return &p.shell().launch().autoForm();
     }},
};

TEST(Life, ClosingTheMainWindowEndsTheProgramWhateverDialogIsOpen)
{
    for (const Opener& dialog : Dialogs) {
        for (Closer how : {Closer::Menu, Closer::CloseBox, Closer::TrayMenu}) {
            SCOPED_TRACE(testing::Message() << dialog.name << ", closer " << int(how));
            Program p;
            QWidget* open = nullptr;
            const int result = p.run([&] {
                p.form().show();
                open = dialog.open(p);
                EXPECT_TRUE(open->isVisible());
                closeMainWindow(p, how);
            });
            EXPECT_EQ(result, 0) << "the program kept running";
            ASSERT_NE(open, nullptr);
            EXPECT_FALSE(open->isVisible()) << "the dialog stayed open";
            EXPECT_TRUE(p.end().contains("[Settings]\nHeight=")) << "the settings were not written";
        }
    }
}

TEST(Life, TermOrHupEndsTheProgramShownOrHiddenWithABoxOrADialogOpen)
{
    {
        // A box waits in its own loop: "No server selected" after OK in the auto-connect dialog.
        Program p;
        QString caption;
        const int result = p.run([&] {
            p.form().show();
            when(
                &p.form(), [] { return openBox() != nullptr; },
                [&] {
                    caption = openBox()->windowTitle();
                    std::raise(SIGTERM);
                });
            triggerAction(p.form(), "Auto");
            QTest::mouseClick(p.shell().launch().autoForm().BitBtn1, Qt::LeftButton);
        });
        EXPECT_EQ(caption, QStringLiteral("Auto connect"));
        EXPECT_EQ(result, 0) << "SIGTERM with a box open left the program running";
        EXPECT_EQ(openBox(), nullptr);
        EXPECT_TRUE(p.end().contains("[Settings]\nHeight="));
    }
    {
        // Hidden in the tray, with the options dialog left open.
        Program p;
        const int result = p.run([&] {
            p.form().show();
            triggerAction(p.form(), "Options1");
            triggerAction(p.form(), "Hide1");
            ASSERT_FALSE(p.form().isVisible());
            std::raise(SIGHUP);
        });
        EXPECT_EQ(result, 0) << "SIGHUP while hidden left the program running";
        EXPECT_FALSE(p.shell().settings().isVisible());
        EXPECT_TRUE(p.end().contains("[Settings]\nHeight="));
    }
    {
        // Hidden in the tray during a sweep: the close waits for the sweep to unwind.
        Program p("[Ranges]\nRanges=1\nRangeFrom0=127.0.0.1\nRangeTo0=127.0.0.254\nChecked=1\n"
                  "[Settings]\nBroadcast=0\nDelay=5\n");
        bool sweeping = false;
        const int result = p.run([&] {
            p.form().show();
            QTimer::singleShot(100, &p.form(), [&] {
                sweeping = p.form().engine().isScanning();
                triggerAction(p.form(), "Hide1");
                std::raise(SIGTERM);
            });
            clickButton(p.form(), "SBScanAll");
        });
        EXPECT_TRUE(sweeping);
        EXPECT_EQ(result, 0) << "SIGTERM during a sweep, hidden, left the program running";
        EXPECT_TRUE(p.end().contains("RangeTo0=127.0.0.254\n"));
    }
}

TEST(Life, WindowOpensCentredAtItsStoredSizeHeldToTheScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_GE(screen.width(), 700);
    ASSERT_GE(screen.height(), 400);
    {
        Program p("[Settings]\nWidth=700\nHeight=400\n");
        TForm1& form = p.form();
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        EXPECT_EQ(form.size(), QSize(700, 400));
        // Placed before the window had a frame: off by no more than the frame's own width.
        const QSize frame = form.frameGeometry().size() - form.size();
        EXPECT_LE((form.frameGeometry().center() - screen.center()).manhattanLength(),
                  (frame.width() + frame.height()) / 2 + 1)
            << "centred for another size";
    }
    {
        // Not shown: a window the size of the stored one would take the test down with it.
        Program p("[Settings]\nWidth=2000000000\nHeight=2000000000\n");
        TForm1& form = p.form();
        EXPECT_LE(form.width(), screen.width());
        EXPECT_LE(form.height(), screen.height());
        EXPECT_TRUE(screen.contains(form.geometry().center()));
        const QByteArray file = p.end();
        EXPECT_TRUE(file.contains("Width=" + QByteArray::number(screen.width()) + '\n')) << file.constData();
        EXPECT_FALSE(file.contains("2000000000"));
    }
}

} // namespace
} // namespace vantry
