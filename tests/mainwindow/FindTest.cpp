// Finding a server in the main window as a user does: header clicks sort, the filter bar narrows
// by typing and ticking, Ctrl+F and Escape, the selected server and its details stay with it, and
// the choices come back at the next start from the settings file.
#include "MainWindowFixture.h"
#include "base/IniFile.h"
#include "browser/DetailsModels.h"
#include "browser/QueryService.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "shell/ScanGames.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

namespace vantry::test {

using browser::ListView;
using browser::ServerListModel;
using namespace emu;

namespace {

const QString Friends = QStringLiteral("127.0.0.2");
const QString Full = QStringLiteral("127.0.0.3");
const QString Locked = QStringLiteral("127.0.0.4");
const QString Empty = QStringLiteral("127.0.0.5");
const QString Late = QStringLiteral("127.0.0.6");

ProfileTable table()
{
    ProfileTable t;
    Profile friends = defaultsFor(Kind::Hl1);
    friends.name = "Дружный сервер";
    friends.players = 5;
    friends.playerList = {{"Аня", 7, 1.0f}};
    t.add(loopback(2), GamePort, friends);

    Profile full = defaultsFor(Kind::Hl1);
    full.name = "Alpha Full";
    full.map = "cs_office";
    full.players = full.maxPlayers;
    t.add(loopback(3), GamePort, full);

    Profile locked = defaultsFor(Kind::Hl1);
    locked.name = "bravo locked";
    locked.map = "de_inferno";
    locked.players = 3;
    locked.password = 1;
    locked.playerList = {{"Zed", 3, 1.0f}};
    t.add(loopback(4), GamePort, locked);

    Profile empty = defaultsFor(Kind::Source);
    empty.name = "Empty Source";
    empty.map = "de_nuke";
    empty.players = 0;
    t.add(loopback(5), GamePort, empty);

    Profile late = defaultsFor(Kind::Hl1);
    late.name = "Late arrival";
    late.players = 4;
    t.add(loopback(6), GamePort, late);
    return t;
}

struct Find : MainWindowFixture
{
    Find() : MainWindowFixture(table()) {}

    // keepFile: over the file the last run left.
    TForm1& start(bool keepFile = false)
    {
        MainWindowFixture::start({.keepFile = keepFile});
        activate();
        return form();
    }
    QLineEdit& filterText() { return *control<QLineEdit>(form(), "EFilter"); }
    void list(const QStringList& addresses) { ASSERT_TRUE(listServers(addresses)); }
    // The shown rows' cells of a column, top to bottom.
    QStringList cells(int column)
    {
        QStringList out;
        for (int r = 0; r < shown().rowCount(); ++r)
            out << shown().data(shown().index(r, column)).toString();
        return out;
    }
    QString selectedAddress()
    {
        const int row = listView().selectedRow();
        return row < 0 ? QString() : form().servers().address(row);
    }
    QString counts() { return control<QLabel>(form(), "SBarShown")->text().trimmed(); }
};

} // namespace

TEST_F(Find, HeaderClicksSortEachWayAndTheSelectedServerKeepsItsRowAndDetails)
{
    start();
    list({Friends, Full, Locked, Empty});
    clickRow(Locked);
    ASSERT_EQ(selectedAddress(), Locked);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form().playersModel().rowCount() == 1; }, 5000));

    clickHeader(listView(), ServerListModel::Name);
    EXPECT_EQ(cells(ServerListModel::Name),
              (QStringList{QStringLiteral("Alpha Full"), QStringLiteral("bravo locked"),
                           QStringLiteral("Empty Source"), QStringLiteral("Дружный сервер")}));
    QHeaderView* header = listView().horizontalHeader();
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), ServerListModel::Name);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

    clickHeader(listView(), ServerListModel::Name);
    EXPECT_EQ(cells(ServerListModel::Name).first(), QStringLiteral("Дружный сервер"));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(selectedAddress(), Locked) << "the selection is the server's, not the row number's";
    EXPECT_EQ(listView().selectionModel()->selectedRows().first().row(), 2);
    EXPECT_EQ(form().playersModel().rowCount(), 1) << "a sort keeps the details shown";

    clickHeader(listView(), ServerListModel::Players);
    EXPECT_EQ(cells(ServerListModel::Players),
              (QStringList{QStringLiteral("0/20"), QStringLiteral("3/20"), QStringLiteral("5/20"),
                           QStringLiteral("20/20")}));
    // A later reply takes its place in the order, and the selection stays with its server.
    list({Late});
    EXPECT_EQ(cells(ServerListModel::Players)[2], QStringLiteral("4/20"));
    EXPECT_EQ(selectedAddress(), Locked);
    EXPECT_EQ(counts(), QStringLiteral("5 / 5"));

    // The round-trip column sorts shortest first at its first click, as it always did.
    clickHeader(listView(), ServerListModel::Ping);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(header->sortIndicatorSection(), ServerListModel::Ping);
}

TEST_F(Find, FilterBarNarrowsByKeysAndTicksAndHidesNoServerForGood)
{
    start();
    list({Friends, Full, Locked, Empty});
    EXPECT_EQ(counts(), QStringLiteral("4 / 4"));

    // Ctrl+F from the list, then a Cyrillic part of a name in another case.
    listView().setFocus();
    QTest::keyClick(&form(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(filterText().hasFocus()) << "Ctrl+F goes to the filter's text";
    type(*QApplication::focusWidget(), QStringLiteral("ДРУЖН"));
    EXPECT_EQ(cells(ServerListModel::Address), QStringList{Friends});
    EXPECT_EQ(counts(), QStringLiteral("1 / 4"));
    QTest::keyClick(&filterText(), Qt::Key_Escape);
    EXPECT_TRUE(filterText().text().isEmpty());
    EXPECT_EQ(shown().rowCount(), 4) << "Escape brings every row back";

    // A map or an address typed finds it too.
    QTest::keyClicks(&filterText(), QStringLiteral("inferno"));
    EXPECT_EQ(cells(ServerListModel::Address), QStringList{Locked});
    QTest::keyClick(&filterText(), Qt::Key_Escape);
    QTest::keyClicks(&filterText(), QStringLiteral("0.0.5:"));
    EXPECT_EQ(cells(ServerListModel::Address), QStringList{Empty});
    QTest::keyClick(&filterText(), Qt::Key_Escape);

    // The selected server hidden by the filter: no selection, no details, Play off.
    clickRow(Friends);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form().playersModel().rowCount() == 1; }, 5000));
    ASSERT_TRUE(control<QPushButton>(form(), "SBPlay")->isEnabled());
    QTest::keyClicks(&filterText(), QStringLiteral("zzz"));
    EXPECT_EQ(shown().rowCount(), 0);
    EXPECT_EQ(listView().selectedRow(), -1);
    EXPECT_EQ(form().playersModel().rowCount(), 0);
    EXPECT_FALSE(control<QPushButton>(form(), "SBPlay")->isEnabled());
    QTest::keyClick(&filterText(), Qt::Key_Escape);

    QTest::mouseClick(control<QCheckBox>(form(), "CBNotFull"), Qt::LeftButton);
    EXPECT_FALSE(cells(ServerListModel::Address).contains(Full));
    QTest::mouseClick(control<QCheckBox>(form(), "CBNotEmpty"), Qt::LeftButton);
    EXPECT_FALSE(cells(ServerListModel::Address).contains(Empty));
    QTest::mouseClick(control<QCheckBox>(form(), "CBNoPassword"), Qt::LeftButton);
    EXPECT_EQ(cells(ServerListModel::Address), QStringList{Friends});
    EXPECT_EQ(form().servers().count(), 4) << "hidden rows stay listed for refresh and auto-connect";
    for (const char* box : {"CBNotFull", "CBNotEmpty", "CBNoPassword"})
        QTest::mouseClick(control<QCheckBox>(form(), box), Qt::LeftButton);
    EXPECT_EQ(shown().rowCount(), 4);

    auto* game = control<QComboBox>(form(), "CBFilterGame");
    pickItem(game, game->findText(QStringLiteral("CSS")));
    EXPECT_EQ(cells(ServerListModel::Address), QStringList{Empty});
    pickItem(game, 0);
    EXPECT_EQ(shown().rowCount(), 4);
    QTest::keyClicks(control<QLineEdit>(form(), "EFilterMap"), QStringLiteral("DUST"));
    EXPECT_EQ(cells(ServerListModel::Address), QStringList{Friends});
    QTest::keyClick(control<QLineEdit>(form(), "EFilterMap"), Qt::Key_Escape);
    EXPECT_EQ(shown().rowCount(), 4);
}

TEST_F(Find, NonsenseInTheFilterFieldsIsRefusedOrMatchesNothingWithoutAFreeze)
{
    start();
    list({Friends, Full, Locked, Empty});

    auto* ping = control<QSpinBox>(form(), "SEMaxPing");
    ping->setFocus();
    QTest::keyClicks(ping, QStringLiteral("abc"));
    EXPECT_EQ(ping->value(), 0) << "letters are no round trip";
    EXPECT_EQ(shown().rowCount(), 4);

    // A text far longer than any name, pasted; then one with control characters.
    filterText().setFocus();
    QApplication::clipboard()->setText(QString(10'000, QLatin1Char('x')));
    QTest::keyClick(&filterText(), Qt::Key_V, Qt::ControlModifier);
    if (filterText().text().size() < 10'000) // a platform without a clipboard: typed instead
        QTest::keyClicks(&filterText(), QString(10'000, QLatin1Char('x')));
    EXPECT_GE(filterText().text().size(), 10'000);
    EXPECT_EQ(shown().rowCount(), 0);
    QTest::keyClick(&filterText(), Qt::Key_Escape);
    EXPECT_EQ(shown().rowCount(), 4);
    filterText().setText(QStringLiteral("a\x01\x1b\tb"));
    EXPECT_EQ(shown().rowCount(), 0);
    QTest::keyClick(&filterText(), Qt::Key_Escape);
    EXPECT_EQ(shown().rowCount(), 4);
}

TEST_F(Find, OrderAndFilterComeBackAtTheNextStart)
{
    start();
    list({Friends, Full, Locked, Empty});
    clickHeader(listView(), ServerListModel::Ping);
    clickHeader(listView(), ServerListModel::Ping);
    QTest::mouseClick(control<QCheckBox>(form(), "CBNotFull"), Qt::LeftButton);
    type(filterText(), QStringLiteral("сервер"));
    shell.reset();

    vantry::IniFile file(path());
    EXPECT_EQ(file.readInteger(QStringLiteral("View"), QStringLiteral("SortColumn"), -2),
              ServerListModel::Ping);
    EXPECT_EQ(file.readInteger(QStringLiteral("View"), QStringLiteral("SortOrder"), -2), 1);
    EXPECT_EQ(file.readString(QStringLiteral("Filter"), QStringLiteral("Text"), {}),
              QStringLiteral("сервер"));
    EXPECT_EQ(file.keys(QStringLiteral("View")),
              (QStringList{QStringLiteral("SortColumn"), QStringLiteral("SortOrder")}))
        << "sections of their own; the others' keys are not touched";
    EXPECT_FALSE(file.keys(QStringLiteral("Settings")).contains(QStringLiteral("Text")));

    start(true);
    EXPECT_EQ(filterText().text(), QStringLiteral("сервер"));
    EXPECT_TRUE(control<QCheckBox>(form(), "CBNotFull")->isChecked());
    EXPECT_EQ(listView().horizontalHeader()->sortIndicatorSection(), ServerListModel::Ping);
    EXPECT_EQ(listView().horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    list({Friends, Full, Locked, Empty});
    EXPECT_EQ(cells(ServerListModel::Address), QStringList{Friends}) << "the filter works from the start";
    EXPECT_EQ(counts(), QStringLiteral("1 / 4"));
}

} // namespace vantry::test
