// The server list as users drive it, with real mouse and key events on the program's windows:
// a double click starts the game once and nothing else on a row starts it, whatever the desktop
// style; a scan asked for while a refresh or favourites pass runs is run when that pass ends; the
// list's columns and the details tabs fit the default window.
#include "MainWindowFixture.h"
#include "browser/DetailsModels.h"
#include "browser/QueryService.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "emu/EmuServer.h"
#include "launch/ui/MainWindowLink.h"
#include "launch/ui/TFormPass.h"
#include "shell/ScanGames.h"
#include "shell/Shell.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace vantry::test {

using browser::ListView;
using browser::ServerListModel;
using namespace emu;

namespace {

const QString Open = QStringLiteral("127.0.0.2");
const QString Full = QStringLiteral("127.0.0.3");
const QString Locked = QStringLiteral("127.0.0.4");
const QString NoClient = QStringLiteral("127.0.0.5");
constexpr int FillerCount = 30;

ProfileTable table()
{
    ProfileTable t;
    Profile open = defaultsFor(Kind::Hl1);
    open.name = "Open";
    open.players = 5;
    t.add(loopback(2), GamePort, open);

    Profile full = open;
    full.name = "Full";
    full.players = full.maxPlayers;
    t.add(loopback(3), GamePort, full);

    Profile locked = open;
    locked.name = "Locked";
    locked.password = 1;
    t.add(loopback(4), GamePort, locked);

    // Half-Life, whose game path the settings leave empty.
    Profile noClient = open;
    noClient.name = "No client";
    noClient.gameDir = "valve";
    noClient.description = "Half-Life";
    t.add(loopback(5), GamePort, noClient);

    // Enough rows for the list to scroll.
    for (int i = 1; i <= FillerCount; ++i) {
        Profile filler = open;
        filler.name = "Filler " + std::to_string(i);
        t.add(loopback(3 * 256 + i), GamePort, filler);
    }
    return t;
}

// A desktop style under which one click activates an item, as some desktops configure.
class SingleClickStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override
    {
        if (hint == QStyle::SH_ItemView_ActivateItemOnSingleClick)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

struct ListInput : MainWindowFixture
{
    QString styleName;

    ListInput() : MainWindowFixture(table()) {}
    void TearDown() override
    {
        MainWindowFixture::TearDown();
        if (!styleName.isEmpty())
            QApplication::setStyle(QStyleFactory::create(styleName));
    }

    void useSingleClickStyle()
    {
        styleName = QApplication::style()->name();
        QApplication::setStyle(new SingleClickStyle(QStyleFactory::create(styleName)));
    }

    // Every game but Half-Life has the stand-in client, nothing is probed beyond loopback.
    // `keys` adds to section "Settings", `sections` adds whole sections.
    TForm1& start(const QByteArray& keys = {}, const QByteArray& sections = {})
    {
        return MainWindowFixture::start({.settings = keys, .sections = sections, .clientFrom = 1});
    }

    // Lists the servers (each asked once) and gives the index of the first one's row.
    QModelIndex listed(const QStringList& addresses)
    {
        EXPECT_TRUE(listServers(addresses)) << "the emulated servers answered";
        return shownRow(addresses.front());
    }
    QModelIndex row(const QString& address) { return shownRow(address); }
};

} // namespace

TEST_F(ListInput, DoubleClickOnARowStartsTheGameOnce)
{
    TForm1& form = start();
    const QModelIndex open = listed({Open});
    ASSERT_TRUE(open.isValid());
    doubleClickIndex(open, *control<ListView>(form, "LW"));

    const std::optional<Probe::Record> record = probe.wait();
    ASSERT_TRUE(record) << "the double click started the client";
    EXPECT_TRUE(record->arguments.contains(Open + QStringLiteral(":27015")))
        << record->arguments.join(u' ').toStdString();
    EXPECT_EQ(startsAfterAWhile(1), 1) << "one double click, one client";
    EXPECT_FALSE(form.isVisible()) << "the window went to the tray";
    EXPECT_TRUE(prompter.messages.isEmpty());
}

TEST_F(ListInput, EveryQuestionOfADoubleClickComesOnce)
{
    TForm1& form = start();
    listed({Full, Locked, NoClient});
    prompter.answer = false;

    doubleClickIndex(row(Full), *control<ListView>(form, "LW"));
    EXPECT_EQ(prompter.questions.join(u'|').toStdString(), "Server is full.  Connect now ?");

    doubleClickIndex(row(NoClient), *control<ListView>(form, "LW"));
    ASSERT_EQ(prompter.messages.size(), 1) << "one error box";
    EXPECT_TRUE(prompter.messages.front().text.startsWith(QStringLiteral("HL .exe path not set\n")));

    doubleClickIndex(row(Locked), *control<ListView>(form, "LW"));
    vantry::launch::TFormPass& pass = shell->launch().passForm();
    EXPECT_TRUE(pass.isVisible());
    ASSERT_TRUE(pass.server());
    EXPECT_EQ(*pass.server(), *vantry::query::Endpoint::parse(Locked.toStdString(), GamePort));

    EXPECT_EQ(prompter.questions.size(), 1);
    EXPECT_EQ(prompter.messages.size(), 1);
    EXPECT_EQ(startsAfterAWhile(0), 0);
}

TEST_F(ListInput, EnterOrAClickOnARowStartsNothing)
{
    TForm1& form = start();
    listed({Open, Full});
    for (const QString& address : {Open, Full}) {
        clickIndex(row(address), *control<ListView>(form, "LW"), Qt::LeftButton);
        ASSERT_EQ(control<ListView>(form, "LW")->selectedRow(), row(address).row());
        ASSERT_EQ(control<ListView>(form, "LW")->currentIndex().row(), row(address).row());
        QTest::keyClick(control<ListView>(form, "LW"), Qt::Key_Return);
        QTest::keyClick(control<ListView>(form, "LW"), Qt::Key_Enter);
    }
    EXPECT_TRUE(prompter.questions.isEmpty()) << "no full-server question";
    EXPECT_TRUE(prompter.messages.isEmpty());
    EXPECT_EQ(startsAfterAWhile(0), 0);
    EXPECT_TRUE(form.isVisible());
}

TEST_F(ListInput, UnderASingleClickStyleOneClickSelectsAndADoubleClickStartsOnce)
{
    useSingleClickStyle();
    TForm1& form = start();
    listed({Open, Full});
    ASSERT_TRUE(control<ListView>(form, "LW")
                    ->style()
                    ->styleHint(QStyle::SH_ItemView_ActivateItemOnSingleClick, nullptr,
                                control<ListView>(form, "LW")));

    clickIndex(row(Full), *control<ListView>(form, "LW"), Qt::LeftButton);
    EXPECT_TRUE(prompter.questions.isEmpty()) << "a click asked whether to join the full server";
    clickIndex(row(Open), *control<ListView>(form, "LW"), Qt::LeftButton);
    EXPECT_EQ(control<ListView>(form, "LW")->selectedRow(), row(Open).row());
    EXPECT_EQ(startsAfterAWhile(0), 0) << "a click started the client";
    EXPECT_TRUE(form.isVisible());

    doubleClickIndex(row(Open), *control<ListView>(form, "LW"));
    ASSERT_TRUE(probe.wait());
    EXPECT_EQ(startsAfterAWhile(1), 1);
}

TEST_F(ListInput, RightClickOpensTheMenuWhosePlayStartsOnce)
{
    TForm1& form = start();
    const QModelIndex open = listed({Open});
    clickIndex(open, *control<ListView>(form, "LW"), Qt::RightButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return control<QMenu>(form, "PMServers")->isVisible(); }, 2000))
        << "the menu opens";
    EXPECT_EQ(control<ListView>(form, "LW")->selectedRow(), open.row());
    EXPECT_EQ(startsAfterAWhile(0), 0) << "the right click itself starts nothing";

    QTest::mouseClick(
        control<QMenu>(form, "PMServers"), Qt::LeftButton, {},
        control<QMenu>(form, "PMServers")->actionGeometry(control<QAction>(form, "Play")).center());
    ASSERT_TRUE(probe.wait());
    EXPECT_EQ(startsAfterAWhile(1), 1);

    // Back from the tray, the Play button starts it once more.
    probe.expect(QStringLiteral("button"));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_TRUE(control<QPushButton>(form, "SBPlay")->isEnabled());
    clickButton(form, "SBPlay");
    ASSERT_TRUE(probe.wait());
    EXPECT_EQ(startsAfterAWhile(1), 1);
}

namespace {

// Clicks the scan button once, the first time `running` is under way.
void clickScanDuring(TForm1& form, LongOperation running, bool& clicked)
{
    auto* poll = new QTimer(&form);
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, &form, [&form, running, &clicked, poll] {
        if (form.activity().running() != running)
            return;
        poll->stop();
        clicked = control<QPushButton>(form, "SBScanAll")->isEnabled();
        QTest::mouseClick(control<QPushButton>(form, "SBScanAll"), Qt::LeftButton);
    });
    poll->start();
}

const QByteArray Range = "[Ranges]\nRanges=1\nRangeFrom0=127.0.0.2\nRangeTo0=127.0.0.5\nChecked=1\n";
const QString Completed = QStringLiteral(" Завершено :)");

} // namespace

TEST_F(ListInput, ScanClickedDuringARefreshRunsWhenTheRefreshEnds)
{
    TForm1& form = start({}, Range);
    listed({Open});
    ASSERT_TRUE(control<QPushButton>(form, "SBRefresh")->isEnabled());
    bool clicked = false;
    clickScanDuring(form, LongOperation::Refresh, clicked);
    clickButton(form, "SBRefresh");
    ASSERT_TRUE(clicked) << "the scan button was there to click during the refresh";

    EXPECT_TRUE(QTest::qWaitFor([&] { return form.statusText(0) == Completed; }, 5000))
        << "the sweep ran after the refresh; panel 0 reads " << form.statusText(0).toStdString();
    EXPECT_EQ(form.statusText(1), QStringLiteral("4"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return list().rowCount() == 4; }, 5000));
}

TEST_F(ListInput, ScanClickedDuringAFavouritesPassRunsWhenThePassEnds)
{
    // A pass long enough to click in: sixty favourites that never answer, 6 ms each.
    QByteArray favourites = "[Favorites]\n";
    for (int i = 1; i <= 60; ++i)
        favourites += "127.0.2." + QByteArray::number(i) + ' ' + QByteArray::number(i - 1) + "=27015\n";
    TForm1& form = start("FavAutoScan=1\n", Range + favourites);
    bool clicked = false;
    clickScanDuring(form, LongOperation::FavouritesPass, clicked);
    ASSERT_TRUE(QTest::qWaitFor([&] { return clicked; }, 5000)) << "a favourites pass ran";

    EXPECT_TRUE(QTest::qWaitFor([&] { return form.statusText(0) == Completed; }, 5000))
        << "the sweep ran after the pass; panel 0 reads " << form.statusText(0).toStdString();
    EXPECT_EQ(form.statusText(1), QStringLiteral("64"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return list().rowCount() == 4; }, 5000));
}

TEST_F(ListInput, DefaultWindowShowsEveryColumnAndWholeTabTexts)
{
    TForm1& form = start();
    ASSERT_EQ(form.size(), QSize(680, 351));
    QStringList all{Open, Full, Locked, NoClient};
    for (int i = 1; i <= FillerCount; ++i)
        all << QStringLiteral("127.0.3.%1").arg(i);
    listed(all);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return control<ListView>(form, "LW")->verticalScrollBar()->isVisible(); }, 2000))
        << "the list is full enough to scroll";

    const QHeaderView* header = control<ListView>(form, "LW")->horizontalHeader();
    const int viewport = control<ListView>(form, "LW")->viewport()->width();
    for (int c = 0; c < ServerListModel::ColumnCount; ++c) {
        const int left = header->sectionViewportPosition(c);
        EXPECT_GE(left, 0) << "column " << c;
        EXPECT_LE(left + header->sectionSize(c), viewport) << "column " << c << " is cut or out of sight";
    }
    EXPECT_EQ(control<ListView>(form, "LW")->horizontalScrollBar()->maximum(), 0);
    EXPECT_GE(header->sectionSize(ServerListModel::Name), 70);

    // The players list's kills header shows whole beside the names.
    const QHeaderView* players = control<ListView>(form, "LWPlayers")->horizontalHeader();
    const int kills = vantry::browser::PlayersModel::Kills;
    EXPECT_GE(players->sectionSize(kills), players->sectionSizeHint(kills)) << "\"Убийства\" is cut";
    EXPECT_LE(players->sectionViewportPosition(kills) + players->sectionSize(kills),
              control<ListView>(form, "LWPlayers")->viewport()->width());
    EXPECT_GE(players->sectionSize(vantry::browser::PlayersModel::Name), 60);

    const QTabBar* bar = control<QTabWidget>(form, "PageControl1")->tabBar();
    for (int i = 0; i < bar->count(); ++i) {
        QStyleOptionTab tab;
        tab.initFrom(bar);
        tab.shape = bar->shape();
        tab.rect = bar->tabRect(i);
        tab.text = bar->tabText(i);
        tab.icon = bar->tabIcon(i);
        tab.iconSize = bar->iconSize();
        EXPECT_GE(tab.rect.left(), 0);
        EXPECT_LE(tab.rect.right(), bar->width() - 1) << tab.text.toStdString() << " is out of sight";
        const QRect text = bar->style()->subElementRect(QStyle::SE_TabBarTabText, &tab, bar);
        EXPECT_LE(bar->fontMetrics().horizontalAdvance(tab.text), text.width())
            << tab.text.toStdString() << " is cut";
    }
}

TEST_F(ListInput, ScanButtonKeepsItsWidthThroughTheCoolDown)
{
    TForm1& form = start({}, Range);
    // The layouts the first show asked for.
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const int width = control<QPushButton>(form, "SBScanAll")->width();
    const int stopAt = control<QPushButton>(form, "SBStop")->x();
    clickButton(form, "SBScanAll");
    ASSERT_EQ(form.statusText(0), Completed);

    // Each caption with the scan button's width and the place of the button beside it.
    QStringList seen;
    const auto sample = [&] {
        return QStringLiteral("%1 %2 %3")
            .arg(control<QPushButton>(form, "SBScanAll")->text())
            .arg(control<QPushButton>(form, "SBScanAll")->width())
            .arg(control<QPushButton>(form, "SBStop")->x());
    };
    const bool over = QTest::qWaitFor(
        [&] {
            if (seen.isEmpty() || seen.back() != sample())
                seen << sample();
            return control<QPushButton>(form, "SBScanAll")->isEnabled();
        },
        8000);
    ASSERT_TRUE(over);
    QStringList expected;
    for (const QString& caption :
         {QStringLiteral("Сканировать"), QStringLiteral("Wait 3"), QStringLiteral("Wait 2"),
          QStringLiteral("Wait 1"), QStringLiteral("Сканировать")})
        expected << QStringLiteral("%1 %2 %3").arg(caption).arg(width).arg(stopAt);
    EXPECT_EQ(seen.join(u',').toStdString(), expected.join(u',').toStdString())
        << "caption, width, place of the next button";
}

} // namespace vantry::test
