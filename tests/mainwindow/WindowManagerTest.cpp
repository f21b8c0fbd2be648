// The main window and its dialogs as a window manager handles them: every way the program hides
// the window hides it, each time; the dialogs are kept above the window; a desktop without a tray
// gets a minimised window instead of a lost one. Each case runs offscreen, and once more under
// openbox on a private X server, where the activation that follows a closing menu or box is real.
#include "../shell/XServer.h"
#include "MainWindowFixture.h"
#include "base/IntervalTimer.h"
#include "browser/QueryService.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "emu/EmuServer.h"
#include "launch/ui/MainWindowLink.h"
#include "launch/ui/TFormAuto.h"
#include "launch/ui/TFormPass.h"
#include "options/ui/Options.h"
#include "shell/About.h"
#include "shell/ScanGames.h"
#include "shell/Shell.h"
#include "shell/Tray.h"
#include "shell/WidgetPrompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>
#include <optional>

namespace vantry::test {

using browser::ListView;
using namespace emu;

namespace {

constexpr int Rounds = 5;
const QString Open = QStringLiteral("127.0.0.2");
const QString Locked = QStringLiteral("127.0.0.4");

ProfileTable table()
{
    ProfileTable t;
    Profile open = defaultsFor(Kind::Hl1);
    open.name = "Open";
    open.players = 5;
    t.add(loopback(2), GamePort, open);
    Profile locked = open;
    locked.name = "Locked";
    locked.password = 1;
    t.add(loopback(4), GamePort, locked);
    return t;
}

bool underX()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// Whether the window is on the screen as the X server sees it; offscreen, as Qt sees it.
bool onScreen(QWidget& window)
{
    if (!underX())
        return window.isVisible();
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const bool viewable =
        !xcb_connection_has_error(c) && isViewable(c, static_cast<xcb_window_t>(window.winId()));
    xcb_disconnect(c);
    return viewable;
}

xcb_window_t transientParentOnX(QWidget& dialog)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_window_t parent = xcb_connection_has_error(c)
                                    ? xcb_window_t(XCB_NONE)
                                    : transientFor(c, static_cast<xcb_window_t>(dialog.winId()));
    xcb_disconnect(c);
    return parent;
}

// The window manager's time: what a closing menu or box sets off (its answer, the focus coming
// back, a queued show or hide) comes within it.
int windowManagerMs()
{
    return underX() ? 400 : 100;
}

// Clicks the box's button of that text as soon as a box asks, from whatever loop runs then.
void answerBoxSoon(QObject* context, const QString& button)
{
    auto* timer = new QTimer(context);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, context, [timer, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        for (QAbstractButton* b : box->buttons())
            if (b->text() == button) {
                timer->deleteLater();
                timer->stop();
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
    });
    timer->start();
}

struct WindowPaths : MainWindowFixture
{
    vantry::WidgetPrompter boxes;
    int starts = 0;

    WindowPaths() : MainWindowFixture(table()) {}
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        vantry::setPrompter(&boxes);
    }
    void TearDown() override
    {
        shell.reset();
        vantry::setPrompter(nullptr);
        MainWindowFixture::TearDown();
    }

    // The program with the stand-in client for every game; `tray` says whether the desktop has a
    // tray, none asks the desktop itself.
    TForm1& start(std::optional<bool> tray)
    {
        MainWindowFixture::start({.clientFrom = 0, .tray = tray});
        settleShown();
        return form();
    }
    // Until the window manager gives the shown window the focus; a window it leaves without the
    // focus is no fault here.
    void settleShown()
    {
        [[maybe_unused]] const bool focused = QTest::qWaitForWindowActive(&form(), windowManagerMs());
    }
    // Waits until `state` holds, then for the window manager's time, in which what a closing
    // menu or box sets off could undo it: that it holds on is the check.
    static bool settlesInto(const std::function<bool()>& state)
    {
        return QTest::qWaitFor(state, 5000) && staysFalse([&] { return !state(); }, windowManagerMs());
    }
    // The next client start writes a record of its own.
    void expectStart() { probe.expect(QStringLiteral("start%1").arg(++starts)); }
    // The tray menu's «Показать», and the window on the screen again.
    void backFromTray()
    {
        shell->tray().TrayShow->trigger();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form()));
        settleShown();
    }
    // A click on a menu bar entry, then on the item of the menu it opens.
    void clickMenu(int entry, const char* item)
    {
        QMenuBar* bar = form().menuBar();
        QAction* top = bar->actions().at(entry);
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(top).center());
        if (!item)
            return;
        QMenu* menu = top->menu();
        ASSERT_TRUE(menu);
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000)) << "the menu opens";
        QTest::mouseClick(menu, Qt::LeftButton, {},
                          menu->actionGeometry(control<QAction>(form(), item)).center());
    }
    void expectHidden(int round, const char* path)
    {
        EXPECT_TRUE(settlesInto([&] { return !form().isVisible() && !onScreen(form()); }))
            << path << ", round " << round;
        EXPECT_FALSE(form().isVisible()) << path << ", round " << round;
        EXPECT_FALSE(onScreen(form())) << path << ", round " << round << ": still on the screen";
    }
};

TEST_F(WindowPaths, FileMenuHideHidesTheWindowEveryTime)
{
    start(true);
    for (int round = 1; round <= Rounds; ++round) {
        clickMenu(0, "Hide1");
        expectHidden(round, "Файл → Скрыть");
        backFromTray();
    }
}

TEST_F(WindowPaths, PlayFromTheRowsMenuHidesTheWindowEveryTime)
{
    start(true);
    const QModelIndex row = listed(Open);
    for (int round = 1; round <= Rounds; ++round) {
        expectStart();
        clickIndex(row, listView());
        clickIndex(row, listView(), Qt::RightButton);
        auto* menu = control<QMenu>(form(), "PMServers");
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000)) << "round " << round;
        QTest::mouseClick(menu, Qt::LeftButton, {},
                          menu->actionGeometry(control<QAction>(form(), "Play")).center());
        ASSERT_TRUE(probe.wait()) << "the client started, round " << round;
        expectHidden(round, "«Играть» from the row's menu");
        backFromTray();
    }
}

TEST_F(WindowPaths, JoinAfterThePasswordPromptHidesTheWindowEveryTime)
{
    start(true);
    const QModelIndex row = listed(Locked);
    vantry::launch::TFormPass& pass = shell->launch().passForm();
    for (int round = 1; round <= Rounds; ++round) {
        expectStart();
        clickIndex(row, listView());
        clickButton(form(), "SBPlay");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&pass)) << "round " << round;
        auto* edit = control<QLineEdit>(pass, "MEPass");
        QTest::mouseClick(edit, Qt::LeftButton);
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("secret"));
        QTest::mouseClick(pass.BitBtn1, Qt::LeftButton);
        ASSERT_TRUE(probe.wait()) << "the client started, round " << round;
        expectHidden(round, "a join after the password prompt");
        EXPECT_FALSE(pass.isVisible());
        backFromTray();
    }
}

TEST_F(WindowPaths, JoinAfterAutoConnectsQuestionHidesTheWindowEveryTime)
{
    start(true);
    const QModelIndex row = listed(Open);
    control<vantry::IntervalTimer>(form(), "TimerAuto")->setInterval(20);
    vantry::launch::TFormAuto& dialog = shell->launch().autoForm();
    for (int round = 1; round <= Rounds; ++round) {
        expectStart();
        clickIndex(row, listView());
        clickButton(form(), "SBAuto");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog)) << "round " << round;
        // More than the proposed one less than the server's five players: met at the next poll.
        pickItem(dialog.CB, 1);
        ASSERT_EQ(dialog.SPNeed->value(), 4);
        if (!dialog.CBAsk->isChecked())
            QTest::mouseClick(dialog.CBAsk, Qt::LeftButton);
        ASSERT_TRUE(dialog.CBAsk->isChecked());
        answerBoxSoon(&form(), QStringLiteral("&Да"));
        QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
        // The polls, the reply and the question need the loop running.
        ASSERT_TRUE(QTest::qWaitFor([&] { return probe.starts() >= 1; }, 10000))
            << "the client started after the question, round " << round;
        ASSERT_TRUE(probe.wait());
        expectHidden(round, "a join after auto-connect's question");
        backFromTray();
    }
}

TEST_F(WindowPaths, TheDialogsBelongToTheMainWindow)
{
    TForm1& form = start(true);
    QWidget* dialogs[] = {&shell->settings(), &shell->about(), &shell->launch().passForm(),
                          &shell->launch().autoForm()};
    for (QWidget* dialog : dialogs)
        EXPECT_EQ(dialog->parentWidget(), &form) << dialog->metaObject()->className();

    // Opened from the menu bar, the options dialog and the about box name the window they stay
    // above; the window manager reads it from the X server.
    clickMenu(1, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell->settings()));
    clickMenu(2, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell->about()));
    EXPECT_EQ(shell->settings().windowHandle()->transientParent(), form.windowHandle());
    EXPECT_EQ(shell->about().windowHandle()->transientParent(), form.windowHandle());
    if (underX()) {
        EXPECT_EQ(transientParentOnX(shell->settings()), static_cast<xcb_window_t>(form.winId()));
        EXPECT_EQ(transientParentOnX(shell->about()), static_cast<xcb_window_t>(form.winId()));
    }
    // Still a window of their own: hiding the main window leaves a dialog the user opened.
    clickMenu(0, "Hide1");
    EXPECT_TRUE(settlesInto([&] { return !form.isVisible() && shell->about().isVisible(); }));
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(shell->about().isVisible());
}

TEST_F(WindowPaths, WithoutATrayHidingMinimisesAndSaysSoOnce)
{
    // Neither the offscreen platform nor a bare window manager has a notification area.
    TForm1& form = start(std::nullopt);
    ASSERT_FALSE(vantry::hideOnMinimise());
    for (int round = 1; round <= 2; ++round) {
        clickMenu(0, "Hide1");
        EXPECT_TRUE(settlesInto([&] { return form.isVisible() && form.isMinimized(); })) << "round " << round;
        EXPECT_TRUE(form.isVisible()) << "round " << round << ": a hidden window could not come back";
        EXPECT_TRUE(form.isMinimized()) << "round " << round;
        if (round == 1) {
            EXPECT_EQ(form.statusText(2),
                      QStringLiteral(" Нет области уведомлений: окно свёрнуто, а не скрыто"));
            form.setStatusText(2, QString());
        } else {
            EXPECT_TRUE(form.statusText(2).isEmpty()) << "said once a run";
        }
        // The hot key brings it back from the task bar.
        form.toggleWindow();
        EXPECT_TRUE(settlesInto([&] { return form.isVisible() && !form.isMinimized(); }))
            << "round " << round;
        EXPECT_FALSE(form.isMinimized());
        EXPECT_TRUE(form.isVisible());
    }
    // A launch leaves the window minimised too.
    expectStart();
    clickIndex(listed(Open), listView());
    clickButton(form, "SBPlay");
    ASSERT_TRUE(probe.wait());
    EXPECT_TRUE(settlesInto([&] { return form.isMinimized(); }));
    EXPECT_TRUE(form.isMinimized());
}

// The same cases under a window manager on a private X server, each in a child process that is
// a client of that server.
class UnderOpenbox : public ::testing::TestWithParam<const char*>
{};

TEST_P(UnderOpenbox, EveryCase)
{
    START_X_OR_SKIP(server);
    START_WINDOW_MANAGER_OR_SKIP(server);
    EXPECT_TRUE(passesOnXServer(server, QStringLiteral("WindowPaths.") + QLatin1String(GetParam())));
}

INSTANTIATE_TEST_SUITE_P(WindowPaths, UnderOpenbox,
                         ::testing::Values("FileMenuHideHidesTheWindowEveryTime",
                                           "PlayFromTheRowsMenuHidesTheWindowEveryTime",
                                           "JoinAfterThePasswordPromptHidesTheWindowEveryTime",
                                           "JoinAfterAutoConnectsQuestionHidesTheWindowEveryTime",
                                           "TheDialogsBelongToTheMainWindow",
                                           "WithoutATrayHidingMinimisesAndSaysSoOnce"));

} // namespace

} // namespace vantry::test
