// Joining without hunting the list: the recent servers, «Подключиться к...», «Копировать адрес»
// and the favourites' last answers, through the real program against emulated servers, driven by
// clicks and keys; the stand-in client records each start.
#include "MainWindowFixture.h"
#include "browser/QueryService.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "emu/EmuServer.h"
#include "launch/RecentServers.h"
#include "launch/ui/RecentList.h"
#include "options/ui/Options.h"
#include "shell/ScanGames.h"
#include "shell/Shell.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace vantry::test {

using browser::ListView;
using browser::ServerListModel;
using namespace emu;

namespace {

const QString Alpha = QStringLiteral("127.0.0.2");
const QString Bravo = QStringLiteral("127.0.0.3");

ProfileTable table()
{
    ProfileTable t;
    Profile alpha = defaultsFor(Kind::Hl1);
    alpha.name = "Alpha, the open one";
    alpha.map = "de_aztec";
    alpha.players = 5;
    alpha.maxPlayers = 20;
    t.add(loopback(2), GamePort, alpha);
    Profile bravo = defaultsFor(Kind::Hl1);
    bravo.name = "Bravo full";
    bravo.players = 20;
    bravo.maxPlayers = 20;
    t.add(loopback(3), GamePort, bravo);
    // 127.0.0.010 read as decimal and as octal.
    Profile ten = defaultsFor(Kind::Hl1);
    ten.name = "Ten";
    ten.map = "de_nuke";
    ten.players = 3;
    ten.maxPlayers = 16;
    t.add(loopback(10), GamePort, ten);
    Profile eight = ten;
    eight.name = "Eight";
    t.add(loopback(8), GamePort, eight);
    return t;
}

QByteArray section(const QByteArray& file, const QByteArray& header)
{
    const qsizetype start = file.indexOf(header);
    if (start < 0)
        return {};
    const qsizetype next = file.indexOf("\n[", start + 1);
    return file.mid(start, next < 0 ? -1 : next + 1 - start);
}

struct Join : MainWindowFixture
{
    Join() : MainWindowFixture(table()) {}

    // The program with every game but Half-Life on the stand-in client; `keys` adds to section
    // "Settings", `sections` adds whole sections.
    TForm1& start(const QByteArray& sections = {}, const QByteArray& keys = {})
    {
        return MainWindowFixture::start({.settings = keys, .sections = sections, .clientFrom = 1});
    }

    QTreeWidget& recentView() { return *control<QTreeWidget>(form(), "LWRecent"); }

    // Shows the recent panel from the menu unless it is shown.
    void showRecentPage()
    {
        auto* dock = control<QDockWidget>(form(), "DockRecent");
        if (!dock->isVisible())
            triggerAction(form(), "Recent1");
        ASSERT_TRUE(dock->isVisible());
    }
    QStringList recentRows()
    {
        QStringList rows;
        for (int i = 0; i < recentView().topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = recentView().topLevelItem(i);
            rows << item->text(vantry::launch::RecentList::Name) + u'|' +
                        item->text(vantry::launch::RecentList::Address) + u'|' +
                        item->text(vantry::launch::RecentList::Game);
        }
        return rows;
    }
    // Waits for the client's start, then brings the window back from the tray.
    QStringList started(const QString& expected)
    {
        const auto record = probe.wait();
        EXPECT_TRUE(record) << "a client started";
        probe.expect(expected);
        form().show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form()));
        return record ? record->arguments : QStringList();
    }
};

} // namespace

TEST_F(Join, EveryStartIsRecordedOnceNewestFirstAndADoubleClickRejoinsAfterARestart)
{
    start();
    EXPECT_FALSE(control<QDockWidget>(form(), "DockRecent")->isVisible()) << "nothing to show yet";
    showRecentPage();
    EXPECT_EQ(recentView().topLevelItemCount(), 0);

    clickIndex(listed(Alpha), listView());
    clickButton(form(), "SBPlay");
    started(QStringLiteral("second"));
    EXPECT_EQ(recentRows(), QStringList{QStringLiteral("Alpha, the open one|127.0.0.2:27015|1.6")});

    // The same server again stays one entry; a double click on another row puts it on top.
    clickButton(form(), "SBPlay");
    started(QStringLiteral("third"));
    doubleClickIndex(listed(Bravo), listView());
    EXPECT_EQ(prompter.questions.size(), 1) << "the full server's question";
    started(QStringLiteral("rejoin"));
    const QStringList both{QStringLiteral("Bravo full|127.0.0.3:27015|1.6"),
                           QStringLiteral("Alpha, the open one|127.0.0.2:27015|1.6")};
    EXPECT_EQ(recentRows(), both);

    // A new run shows them from the settings file, with no server listed yet.
    restart();
    ASSERT_EQ(list().count(), 0);
    EXPECT_TRUE(control<QDockWidget>(form(), "DockRecent")->isVisible()) << "shown from the start";
    ASSERT_EQ(recentRows(), both);
    doubleClickIndex(recentView().model()->index(1, 0), recentView());
    const QStringList arguments = started(QStringLiteral("after"));
    EXPECT_TRUE(arguments.contains(QStringLiteral("127.0.0.2:27015"))) << arguments.join(u' ').toStdString();
    EXPECT_EQ(recentRows().value(0), QStringLiteral("Alpha, the open one|127.0.0.2:27015|1.6"));
    EXPECT_EQ(recentRows().size(), 2);
    EXPECT_TRUE(prompter.messages.isEmpty());
}

TEST_F(Join, ConnectToSaysWhatIsWrongInTheDialogAndJoinsATypedAddress)
{
    start();
    form().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form()));
    QTest::keyClick(&form(), Qt::Key_L, Qt::ControlModifier);
    auto* dialog = form().findChild<QDialog*>(QStringLiteral("TFormConnect"));
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->isVisible(); }, 2000)) << "Ctrl+L opens the dialog";
    auto* field = control<QLineEdit>(*dialog, "EAddress");
    auto* problem = control<QLabel>(*dialog, "LProblem");

    const std::pair<QString, QString> bad[] = {
        {QStringLiteral("abc"), QStringLiteral("not an IPv4 address")},
        {QStringLiteral("256.1.1.1"), QStringLiteral("not an IPv4 address")},
        {QStringLiteral("127.0.0.2:0"), QStringLiteral("port")},
        {QStringLiteral("::1"), QStringLiteral("IPv6")},
    };
    for (const auto& [text, reason] : bad) {
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_TRUE(dialog->isVisible()) << text.toStdString();
        EXPECT_TRUE(problem->text().contains(reason))
            << text.toStdString() << ": " << problem->text().toStdString();
    }
    EXPECT_EQ(startsAfterAWhile(0, 300), 0) << "bad input started a client";
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_TRUE(problem->text().isEmpty()) << "typing again clears the old problem";

    // An address alone takes the game port; a listed full server asks first, as its row does.
    listed(Bravo);
    field->selectAll();
    QTest::keyClicks(field, Bravo);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(prompter.questions, QStringList{QStringLiteral("Server is full.  Connect now ?")});
    const QStringList arguments = started(QStringLiteral("unlisted"));
    EXPECT_TRUE(arguments.contains(QStringLiteral("127.0.0.3:27015"))) << arguments.join(u' ').toStdString();
    EXPECT_FALSE(dialog->isVisible());

    // A server not listed starts the game picked in the dialog.
    triggerAction(form(), "Connect1");
    ASSERT_TRUE(dialog->isVisible());
    pickItem(control<QComboBox>(*dialog, "CBGame"), 4);
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("127.0.0.9:27040"));
    clickButton(*dialog, "BitBtnOk");
    const QStringList unlisted = started(QStringLiteral("done"));
    EXPECT_TRUE(unlisted.contains(QStringLiteral("127.0.0.9:27040"))) << unlisted.join(u' ').toStdString();
    ASSERT_GE(shell->recent().entries().size(), 2);
    EXPECT_EQ(shell->recent().entries()[0].game, vantry::query::Game::CounterStrikeSource);
    EXPECT_TRUE(prompter.messages.isEmpty());
}

TEST_F(Join, CopyAddressPutsTheRowsAddressAndPortOnTheClipboard)
{
    start();
    form().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form()));
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    clickIndex(listed(Bravo), listView(), Qt::RightButton);
    auto* menu = control<QMenu>(form(), "PMServers");
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(control<QAction>(form(), "PMSCopy")).center());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("127.0.0.3:27015"));

    // Ctrl+C on the list does the same for the row selected.
    clickIndex(listed(Alpha), listView());
    QTest::keyClick(&listView(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("127.0.0.2:27015"));
    EXPECT_EQ(startsAfterAWhile(0, 300), 0) << "copying started a client";
}

TEST_F(Join, AFavouritesAnswerIsKeptAndShownWhileItsSectionKeepsItsBytes)
{
    const QByteArray favourites = "[Favorites]\n127.0.0.2 0=27015\n127.0.0.7 1=27015\n";
    start(favourites);
    clickButton(form(), "SBScanAll");
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileBytes().contains("[FavoriteNames]"); }, 5000))
        << fileBytes().toStdString();
    const QByteArray names = section(fileBytes(), "[FavoriteNames]");
    EXPECT_EQ(names, "[FavoriteNames]\n127.0.0.2:27015=5/20,de_aztec,Alpha, the open one\n");
    EXPECT_EQ(section(fileBytes(), "[Favorites]"), favourites);

    // The options dialog's favourites page shows it in the row's tip.
    triggerAction(form(), "Options1");
    auto& options = shell->settings();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&options));
    auto* pages = control<QTabWidget>(options, "PageControl");
    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, pages->tabBar()->tabRect(2).center());
    auto* fav = control<QTreeWidget>(options, "LVFav");
    const QPoint at = fav->visualItemRect(fav->topLevelItem(0)).center();
    QHelpEvent help(QEvent::ToolTip, at, fav->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(fav->viewport(), &help);
    EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("Alpha, the open one")))
        << QToolTip::text().toStdString();
    EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("de_aztec")));
    QToolTip::hideText();

    // Shutdown rewrites the favourites as they were.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return control<QPushButton>(form(), "SBScanAll")->isEnabled(); }, 10000));
    shell.reset();
    EXPECT_EQ(section(fileBytes(), "[Favorites]"), favourites);
    EXPECT_TRUE(fileBytes().contains("127.0.0.2:27015=5/20,de_aztec,Alpha, the open one"));
}

TEST_F(Join, AFavouriteWithLeadingZerosIsAskedAsDecimalAndItsAnswerKept)
{
    // A resolver reads "010" as octal, 127.0.0.8; the command line and the file mean 127.0.0.10.
    const QByteArray favourites = "[Favorites]\n127.0.0.010 0=027015\n";
    start(favourites);
    clickButton(form(), "SBScanAll");
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileBytes().contains("[FavoriteNames]"); }, 5000))
        << fileBytes().toStdString();
    EXPECT_EQ(section(fileBytes(), "[FavoriteNames]"),
              "[FavoriteNames]\n127.0.0.010:027015=3/16,de_nuke,Ten\n");
    ASSERT_EQ(list().count(), 1);
    EXPECT_EQ(list().address(0), QStringLiteral("127.0.0.10"));
    EXPECT_TRUE(prompter.messages.isEmpty()) << prompter.messages.front().text.toStdString();
}

TEST_F(Join, FavouritesThatAreNoAddressAreToldAndNeverLookedUp)
{
    start("[Favorites]\n256.1.1.1 0=27015\n1.2.3 1=27015\n127.0.0.2 2=27015\n");
    clickButton(form(), "SBScanAll");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompter.messages.isEmpty(); }, 5000));
    const QString told = prompter.messages.front().text;
    EXPECT_TRUE(told.contains(QStringLiteral("\"256.1.1.1\" is not an IPv4 address"))) << told.toStdString();
    EXPECT_TRUE(told.contains(QStringLiteral("\"1.2.3\" is not an IPv4 address"))) << told.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list().count() == 1; }, 5000));
    EXPECT_EQ(list().address(0), Alpha);
}

TEST_F(Join, AFavouriteAlreadyListedIsUpdatedByTheFavouritesPass)
{
    // Auto-scan on: the first pass right after start-up, then one every five seconds.
    start("[Favorites]\n127.0.0.2 0=27015\n", "FavAutoScan=1\nUpdInterval=5\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileBytes().contains("127.0.0.2:27015=5/20,"); }, 5000))
        << fileBytes().toStdString();
    ASSERT_EQ(list().count(), 1);

    // The server fills up; the next pass finds its row listed and keeps the new count all the same.
    servers.stop();
    ProfileTable changed = table();
    Profile alpha = defaultsFor(Kind::Hl1);
    alpha.name = "Alpha, the open one";
    alpha.map = "de_aztec";
    alpha.players = 7;
    alpha.maxPlayers = 20;
    changed.add(loopback(2), GamePort, alpha);
    EmuServer later{changed, {GamePort}};
    later.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fileBytes().contains("127.0.0.2:27015=7/20,"); }, 9000))
        << fileBytes().toStdString();
    EXPECT_EQ(list().count(), 1) << "one row, as before";
    later.stop();
}

} // namespace vantry::test
