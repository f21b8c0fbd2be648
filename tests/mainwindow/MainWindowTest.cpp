// The main window against emulated servers on loopback: replies become rows, a selection fills
// the details, the sweep, stop, cool-down and refresh drive the buttons.
#include "MainWindowFixture.h"
#include "base/IntervalTimer.h"
#include "browser/DetailsModels.h"
#include "browser/QueryService.h"
#include "browser/ScanEngine.h"
#include "browser/ServerListModel.h"
#include "browser/StaticSettings.h"
#include "browser/ui/ListView.h"
#include "emu/EmuServer.h"
#include "net/UdpEndpoint.h"
#include "shell/ScanGames.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <gtest/gtest.h>
#include <utility>

namespace vantry::test {

using browser::ListView;
using browser::ServerListModel;
using namespace emu;

namespace {

ProfileTable table()
{
    ProfileTable t;
    Profile css = defaultsFor(Kind::Source);
    css.name = "Source box";
    css.description = "Counter-Strike: Source";
    css.players = 2;
    css.maxPlayers = 16;
    css.playerList = {{"Ann", 5, 1.0f}, {"Bob", 12, 2.0f}};
    css.rules = {{"mp_timelimit", "20"}, {"sv_gravity", "800"}};
    t.add(loopback(2), GamePort, css);

    Profile hl1 = defaultsFor(Kind::Hl1);
    hl1.name = "Classic";
    hl1.description = "Counter-Strike";
    hl1.players = 20;
    hl1.maxPlayers = 20;
    hl1.advertisedPort = 27020; // the address field names another port
    t.add(loopback(3), GamePort, hl1);

    Profile old = defaultsFor(Kind::OldInfo);
    old.name = "Old one";
    old.description = "Half-Life";
    t.add(loopback(4), GamePort, old);

    Profile split = defaultsFor(Kind::Hl1);
    split.name = "Split rules";
    for (int i = 0; i < 80; ++i)
        split.rules.push_back({"rule_number_" + std::to_string(i), "value_" + std::to_string(i)});
    split.splitRules = true;
    t.add(loopback(5), GamePort, split);

    Profile silent;
    silent.kind = Kind::Silent;
    t.add(loopback(6), GamePort, silent);

    // Today's servers, on 127.0.1.x so that the sweeps above never meet them.
    Profile challenged = defaultsFor(Kind::Source);
    challenged.name = "Wants the challenge";
    challenged.infoChallenge = true;
    challenged.challenge = {0x5A, 0x01, 0x02, 0x03};
    challenged.playerList = {{"Intruder", 99, 1.0f}};
    challenged.rules = {{"intruder_rule", "1"}};
    t.add(loopback(256 + 1), GamePort, challenged);

    Profile both = defaultsFor(Kind::Hl1);
    both.name = "Both layouts";
    both.bothInfoLayouts = true;
    t.add(loopback(256 + 2), GamePort, both);

    Profile olderInI = defaultsFor(Kind::Source);
    olderInI.name = "Older engine in I";
    olderInI.protocol = 48;
    olderInI.appId = 10;
    olderInI.gameDir = "cstrike";
    olderInI.description = "Clan Box"; // changed by a plugin
    t.add(loopback(256 + 3), GamePort, olderInI);

    for (const FragmentOrder order : {FragmentOrder::Reverse, FragmentOrder::Shuffled}) {
        Profile compressed = defaultsFor(Kind::Source);
        compressed.name = "Compressed split";
        for (int i = 0; i < 150; ++i)
            compressed.rules.push_back(
                {"cvar_" + std::to_string(i * 7919), std::to_string(i * 104729 % 9973)});
        compressed.newerSplit = {300, true, order, -1};
        t.add(loopback(256 + 4 + (order == FragmentOrder::Shuffled ? 1 : 0)), GamePort, compressed);
    }
    Profile missing = defaultsFor(Kind::Source);
    missing.name = "A fragment never comes";
    for (int i = 0; i < 150; ++i)
        missing.rules.push_back({"cvar_" + std::to_string(i), "value_" + std::to_string(i)});
    missing.newerSplit = {300, false, FragmentOrder::Forward, 1};
    t.add(loopback(256 + 6), GamePort, missing);
    // Players and rules compressed into one fragment of a total of 1, in both header layouts.
    for (const bool older : {false, true}) {
        Profile single = defaultsFor(Kind::Source);
        single.name = older ? "One fragment, older header" : "One fragment";
        single.playerList = {{"Ann", 5, 1.0f}, {"Bob", 12, 2.0f}, {"Cy", 1, 3.0f}};
        for (int i = 0; i < 30; ++i)
            single.rules.push_back({"single_" + std::to_string(i), std::to_string(i * 3)});
        single.newerSplit = {1248, true, FragmentOrder::Forward, -1, older, true};
        t.add(loopback(256 + 7 + (older ? 1 : 0)), GamePort, single);
    }
    return t;
}

struct MainWindow : MainWindowFixture
{
    MainWindow() : MainWindowFixture(table()) {}
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        startWindow();
    }
};

} // namespace

TEST_F(MainWindow, StartsWithOnlyTheScanButtonEnabledAndEveryItemInItsMenu)
{
    EXPECT_TRUE(control<QPushButton>(form(), "SBScanAll")->isEnabled());
    for (const char* name : {"SBStop", "SBRefresh", "SBAuto", "SBPlay"})
        EXPECT_FALSE(control<QPushButton>(form(), name)->isEnabled()) << name;
    EXPECT_TRUE(control<QGroupBox>(form(), "RG")->isEnabled());
    EXPECT_EQ(form().scanMode(), 0);
    for (const auto& [name, interval] :
         {std::pair{"Timer", 1000}, std::pair{"TimerAuto", 5000}, std::pair{"TimerFav", 10000}}) {
        const auto* timer = control<vantry::IntervalTimer>(form(), name);
        EXPECT_EQ(timer->interval(), interval) << name;
        EXPECT_FALSE(timer->enabled()) << name;
    }

    // The players page first, then the rules.
    auto* pages = control<QTabWidget>(form(), "PageControl1");
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->widget(0), control<ListView>(form(), "LWPlayers"));
    EXPECT_EQ(pages->widget(1), control<ListView>(form(), "LWRules"));
    EXPECT_EQ(pages->currentIndex(), 0);

    // "Файл" holds connect-to, hide and exit; options and about sit on the bar; the list's menu
    // has its four.
    const QList<QAction*> bar = control<QMenuBar>(form(), "MainMenu1")->actions();
    ASSERT_EQ(bar.size(), 3);
    ASSERT_NE(bar[0]->menu(), nullptr);
    EXPECT_EQ(bar[0]->menu()->actions(),
              (QList<QAction*>{control<QAction>(form(), "Connect1"), control<QAction>(form(), "Hide1"),
                               control<QAction>(form(), "Exit1")}));
    EXPECT_EQ(bar[1], control<QAction>(form(), "Options1"));
    EXPECT_EQ(bar[2], control<QAction>(form(), "About1"));
    EXPECT_EQ(control<QMenu>(form(), "PMServers")->actions(),
              (QList<QAction*>{control<QAction>(form(), "Play"), control<QAction>(form(), "Auto"),
                               control<QAction>(form(), "PMSAdd"), control<QAction>(form(), "PMSCopy")}));
}

TEST_F(MainWindow, InfoRepliesOfEveryFormBecomeOneRowEach)
{
    for (int last : {2, 3, 4, 6})
        form().queries().sendInfoRequest(QStringLiteral("127.0.0.%1").arg(last), GamePort);
    ASSERT_TRUE(rowsListed(3));
    // The silent server and late duplicates get their chance.
    EXPECT_TRUE(staysFalse([&] { return list().count() > 3; }, 100));
    EXPECT_EQ(list().count(), 3);

    const int css = rowOf(QStringLiteral("127.0.0.2"));
    ASSERT_GE(css, 0);
    EXPECT_EQ(list().kind(css), QStringLiteral("CSS"));
    EXPECT_EQ(list().players(css), QStringLiteral("2/16"));

    const int hl1 = rowOf(QStringLiteral("127.0.0.3"));
    ASSERT_GE(hl1, 0);
    EXPECT_EQ(list().port(hl1), QStringLiteral("27015")); // where it answered, not its field's 27020
    EXPECT_EQ(
        list().data(list().index(hl1, ServerListModel::Status), ServerListModel::ImageIndexRole).toInt(), 9);

    EXPECT_EQ(list().kind(rowOf(QStringLiteral("127.0.0.4"))), QStringLiteral("HL"));

    // Asked again, nobody adds a second row, the server naming another port included.
    for (int last : {2, 3, 4})
        form().queries().sendInfoRequest(QStringLiteral("127.0.0.%1").arg(last), GamePort);
    EXPECT_TRUE(staysFalse([&] { return list().count() > 3; }, 150));
    EXPECT_EQ(list().count(), 3);
    EXPECT_TRUE(control<QPushButton>(form(), "SBRefresh")->isEnabled());
}

TEST_F(MainWindow, SelectingARowFillsPlayersAndRulesBehindTheChallenge)
{
    form().queries().sendInfoRequest(QStringLiteral("127.0.0.2"), GamePort);
    ASSERT_TRUE(rowsListed(1));
    control<ListView>(form(), "LW")->selectRow(0);
    EXPECT_TRUE(control<QPushButton>(form(), "SBPlay")->isEnabled());
    EXPECT_TRUE(control<QPushButton>(form(), "SBAuto")->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form().playersModel().rowCount() == 2; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form().rulesModel().rowCount() == 2; }, 5000));
    EXPECT_EQ(form().playersModel().players().front().name, "Bob"); // most kills first
    // Cleared before each rules reply: no doubles.
    EXPECT_TRUE(staysFalse([&] { return form().rulesModel().rowCount() != 2; }, 100));
    EXPECT_EQ(form().rulesModel().rowCount(), 2);

    clickHeader(*control<ListView>(form(), "LWPlayers"), vantry::browser::PlayersModel::Name);
    EXPECT_EQ(form().playersModel().players().front().name, "Ann");

    // A click on empty space drops the selection and empties the details.
    QTest::mouseClick(control<ListView>(form(), "LW")->viewport(), Qt::LeftButton, {},
                      QPoint(5, control<ListView>(form(), "LW")->viewport()->height() - 3));
    EXPECT_EQ(control<ListView>(form(), "LW")->selectedRow(), -1);
    EXPECT_FALSE(control<QPushButton>(form(), "SBPlay")->isEnabled());
    EXPECT_EQ(form().playersModel().rowCount(), 0);
    EXPECT_EQ(form().rulesModel().rowCount(), 0);
}

TEST_F(MainWindow, SplitRulesReplyIsShownOnceWhole)
{
    form().queries().sendInfoRequest(QStringLiteral("127.0.0.5"), GamePort);
    ASSERT_TRUE(rowsListed(1));
    control<ListView>(form(), "LW")->selectRow(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form().rulesModel().rowCount() == 80; }, 5000));
    EXPECT_EQ(form().rulesModel().rules().back().name, "rule_number_79");
}

TEST_F(MainWindow, ContextMenuOpensOnlyOverASelectedRow)
{
    QSignalSpy wanted(control<ListView>(form(), "LW"), &vantry::browser::ListView::contextMenuWanted);
    const QPoint empty(5, control<ListView>(form(), "LW")->viewport()->height() - 3);
    QTest::mousePress(control<ListView>(form(), "LW")->viewport(), Qt::RightButton, {}, empty);
    QContextMenuEvent noRow(QContextMenuEvent::Mouse, empty,
                            control<ListView>(form(), "LW")->viewport()->mapToGlobal(empty));
    QApplication::sendEvent(control<ListView>(form(), "LW")->viewport(), &noRow);
    EXPECT_EQ(wanted.count(), 0);

    form().queries().sendInfoRequest(QStringLiteral("127.0.0.2"), GamePort);
    ASSERT_TRUE(rowsListed(1));
    control<ListView>(form(), "LW")->selectRow(0);
    const QPoint onRow = control<ListView>(form(), "LW")
                             ->visualRect(control<ListView>(form(), "LW")->model()->index(0, 1))
                             .center();
    QTest::mousePress(control<ListView>(form(), "LW")->viewport(), Qt::RightButton, {}, onRow);
    QContextMenuEvent overRow(QContextMenuEvent::Mouse, onRow,
                              control<ListView>(form(), "LW")->viewport()->mapToGlobal(onRow));
    QApplication::sendEvent(control<ListView>(form(), "LW")->viewport(), &overRow);
    EXPECT_EQ(wanted.count(), 1);
    EXPECT_EQ(control<QMenu>(form(), "PMServers")->actions().size(), 4);
    QTest::mouseRelease(control<ListView>(form(), "LW")->viewport(), Qt::RightButton, {}, onRow);
}

TEST_F(MainWindow, ProbeCountGoesOnFromWhateverElseWroteItsPanelDuringTheSweep)
{
    settings.delay = 1; // every probe's pause runs the event loop
    settings.rangeList = {{true, QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.200")}};
    // Written once some probes were counted: when the first reply comes in.
    bool written = false;
    QObject::connect(&form().queries(), &vantry::browser::QueryService::serverListed, &form(), [&] {
        if (!std::exchange(written, true))
            form().setStatusText(1, QStringLiteral("1000"));
    });
    clickButton(form(), "SBScanAll");
    ASSERT_TRUE(written);
    const int count = form().statusText(1).toInt();
    EXPECT_GT(count, 1000);
    EXPECT_LT(count, 1200);
}

TEST_F(MainWindow, SweepListsTheRangeThenCoolsDownAndRefreshAsksAgain)
{
    settings.rangeList = {{true, QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.10")}};
    clickButton(form(), "SBScanAll");
    EXPECT_EQ(form().statusText(0), QStringLiteral(" Завершено :)"));
    EXPECT_EQ(form().statusText(1), QStringLiteral("10"));
    EXPECT_FALSE(form().engine().isScanning());
    EXPECT_FALSE(control<QPushButton>(form(), "SBScanAll")->isEnabled());
    EXPECT_TRUE(control<QGroupBox>(form(), "RG")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(form(), "SBStop")->isEnabled());
    ASSERT_TRUE(rowsListed(4)); // replies that come after the end still become rows
    EXPECT_TRUE(control<QPushButton>(form(), "SBRefresh")->isEnabled());
    const auto shows = [&](const QString& text) {
        return QTest::qWaitFor(
            [&] {
                const QList<QLabel*> labels = form().statusBar()->findChildren<QLabel*>();
                return std::any_of(labels.begin(), labels.end(),
                                   [&](QLabel* l) { return l->text() == text; });
            },
            1000);
    };
    EXPECT_TRUE(shows(QStringLiteral("10")));

    QStringList captions;
    for (int i = 0; i < 4; ++i) {
        form().TimerTimer();
        captions << control<QPushButton>(form(), "SBScanAll")->text();
    }
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Wait 3"), QStringLiteral("Wait 2"),
                                     QStringLiteral("Wait 1"), QStringLiteral("Сканировать")}));
    EXPECT_TRUE(control<QPushButton>(form(), "SBScanAll")->isEnabled());
    EXPECT_FALSE(control<vantry::IntervalTimer>(form(), "Timer")->enabled());

    clickButton(form(), "SBRefresh");
    EXPECT_EQ(form().statusText(0), QStringLiteral(" Готово!!!"));
    // Every server is asked where it answered, the one whose address field names 27020 too.
    EXPECT_TRUE(rowsListed(4));
    EXPECT_TRUE(staysFalse([&] { return list().count() > 4; }, 100));
    EXPECT_EQ(list().count(), 4);
    EXPECT_GE(rowOf(QStringLiteral("127.0.0.3")), 0);
}

TEST_F(MainWindow, CloseDuringASweepStopsItAndKeepsTheWindow)
{
    settings.rangeList = {{true, QStringLiteral("127.0.0.1"), QStringLiteral("127.0.3.254")}};
    settings.delay = 1;
    bool closedDuring = true;
    QTimer::singleShot(50, &form(), [&] { closedDuring = form().close(); });
    clickButton(form(), "SBScanAll");
    EXPECT_FALSE(closedDuring);
    EXPECT_TRUE(form().isVisible());
    EXPECT_EQ(form().statusText(0), QStringLiteral(" Отменено :("));
    EXPECT_FALSE(form().engine().isScanning());
    EXPECT_TRUE(form().close()); // the second close goes through
}

TEST_F(MainWindow, ScanModeChangeIsStoredAtOnce)
{
    std::vector<int> stored;
    form().setScanModeStore([&](int mode) { stored.push_back(mode); });
    form().setScanMode(1);
    form().setScanMode(1);
    form().setScanMode(7); // clamped
    form().setScanMode(-1);
    EXPECT_EQ(stored, (std::vector<int>{1, -1}));
    EXPECT_EQ(form().scanMode(), -1);
}

TEST_F(MainWindow, SecondEndpointOnTheTakenPortStillGetsReplies)
{
    // This window holds 27005 (or, with another test program running, some other port).
    TForm1 second;
    EXPECT_NE(second.endpoint().localPort(), form().endpoint().localPort());
    second.queries().sendInfoRequest(QStringLiteral("127.0.0.2"), GamePort);
    EXPECT_TRUE(QTest::qWaitFor([&] { return second.servers().count() == 1; }, 5000));
}

TEST_F(MainWindow, TodaysServersAreListedOnceWithTheirPingAndNeverTouchTheSelectedDetails)
{
    settings.rangeList = {{true, QStringLiteral("127.0.1.1"), QStringLiteral("127.0.1.3")}};
    clickButton(form(), "SBScanAll");
    ASSERT_TRUE(rowsListed(3));
    // A second layout or a stray challenge round gets its chance.
    EXPECT_TRUE(staysFalse([&] { return list().count() > 3; }, 150));
    EXPECT_EQ(list().count(), 3) << "one row per server, the one answering in both layouts included";

    const int challenged = rowOf(QStringLiteral("127.0.1.1"));
    ASSERT_GE(challenged, 0) << "the info request is sent again with the challenge";
    EXPECT_EQ(list().kind(challenged), QStringLiteral("CSS"));
    const int older = rowOf(QStringLiteral("127.0.1.3"));
    ASSERT_GE(older, 0);
    EXPECT_EQ(list().kind(older), QStringLiteral("1.6"));
    for (int row = 0; row < list().count(); ++row) {
        const QString ping =
            list().data(list().index(row, ServerListModel::Ping), Qt::DisplayRole).toString();
        bool number = false;
        EXPECT_GE(ping.toInt(&number), 0);
        EXPECT_TRUE(number) << list().address(row).toStdString() << " has no ping";
    }

    // A server whose details are shown; then the challenged server is asked for its info again,
    // as a sweep, refresh or favourites pass does: its challenge must not reach the details.
    form().queries().sendInfoRequest(QStringLiteral("127.0.0.2"), GamePort);
    ASSERT_TRUE(rowsListed(4));
    const int shown = rowOf(QStringLiteral("127.0.0.2"));
    control<ListView>(form(), "LW")->selectRow(shown);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form().playersModel().rowCount() == 2; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form().rulesModel().rowCount() == 2; }, 5000));
    form().queries().sendInfoRequest(QStringLiteral("127.0.1.1"), GamePort);
    EXPECT_TRUE(staysFalse(
        [&] {
            return form().playersModel().rowCount() != 2 ||
                   form().playersModel().players().front().name != "Bob" ||
                   form().rulesModel().rowCount() == 0 ||
                   form().rulesModel().rules().front().name != "mp_timelimit";
        },
        200));
    ASSERT_EQ(form().playersModel().rowCount(), 2);
    EXPECT_EQ(form().playersModel().players().front().name, "Bob");
    EXPECT_EQ(form().rulesModel().rules().front().name, "mp_timelimit");

    // The round-trip header sorts the rows and the selection stays on its server.
    clickHeader(*control<ListView>(form(), "LW"), ServerListModel::Ping);
    ASSERT_GE(control<ListView>(form(), "LW")->selectedRow(), 0);
    EXPECT_EQ(list().address(control<ListView>(form(), "LW")->selectedRow()), QStringLiteral("127.0.0.2"));
    const QAbstractItemModel& ordered = *control<ListView>(form(), "LW")->model();
    ASSERT_EQ(ordered.rowCount(), list().count());
    for (int row = 1; row < ordered.rowCount(); ++row)
        EXPECT_LE(
            ordered.data(ordered.index(row - 1, ServerListModel::Ping), ServerListModel::RawValueRole)
                .toInt(),
            ordered.data(ordered.index(row, ServerListModel::Ping), ServerListModel::RawValueRole).toInt());
}

TEST_F(MainWindow, CompressedRulesInFragmentsOfAnyOrderAreShownWholeAndAMissingOneShowsNothing)
{
    for (int last : {4, 5, 6})
        form().queries().sendInfoRequest(QStringLiteral("127.0.1.%1").arg(last), GamePort);
    ASSERT_TRUE(rowsListed(3));
    for (int last : {4, 5}) {
        control<ListView>(form(), "LW")->selectRow(rowOf(QStringLiteral("127.0.1.%1").arg(last)));
        ASSERT_TRUE(QTest::qWaitFor([&] { return form().rulesModel().rowCount() == 150; }, 5000)) << last;
        EXPECT_EQ(form().rulesModel().rules().back().name, "cvar_" + std::to_string(149 * 7919));
    }
    // The second answers of the last selection's repeated requests come and go, the rules whole.
    EXPECT_TRUE(staysFalse([&] { return form().rulesModel().rowCount() != 150; }, 200));
    control<ListView>(form(), "LW")->selectRow(rowOf(QStringLiteral("127.0.1.6")));
    EXPECT_TRUE(staysFalse([&] { return form().rulesModel().rowCount() != 0; }, 200));
    EXPECT_EQ(form().rulesModel().rowCount(), 0);
    EXPECT_EQ(list().count(), 3);
}

TEST_F(MainWindow, CompressedRepliesInOneFragmentFillTheDetailsInBothHeaderLayouts)
{
    for (int last : {7, 8})
        form().queries().sendInfoRequest(QStringLiteral("127.0.1.%1").arg(last), GamePort);
    ASSERT_TRUE(rowsListed(2));
    ListView* view = control<ListView>(form(), "LW");
    for (int last : {7, 8}) {
        SCOPED_TRACE(last);
        const QAbstractItemModel& shown = *view->model();
        int row = 0;
        while (row < shown.rowCount() && shown.index(row, ServerListModel::Address).data().toString() !=
                                             QStringLiteral("127.0.1.%1").arg(last))
            ++row;
        ASSERT_LT(row, shown.rowCount());
        const QModelIndex cell = shown.index(row, ServerListModel::Name);
        view->scrollTo(cell);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(cell).center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return form().rulesModel().rowCount() == 30; }, 5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return form().playersModel().rowCount() == 3; }, 5000));
        EXPECT_EQ(form().rulesModel().rules().back().name, "single_29");
        EXPECT_EQ(form().playersModel().players().front().name, "Bob");
    }
}

} // namespace vantry::test
