// Finding a player in the main window by real keys and clicks: the typed part of a name finds
// the players on emulated servers, listed before or after the typing, and a double click on one
// starts the game on his server.
#include "MainWindowFixture.h"
#include "browser/PlayerResults.h"
#include "browser/QueryService.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "shell/ScanGames.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace vantry::test {

using browser::ListView;
using browser::PlayerResults;
using namespace emu;

namespace {

std::uint32_t local(int last)
{
    return loopback(4u << 8 | static_cast<std::uint32_t>(last)); // 127.0.4.last
}

const QString Dust = QStringLiteral("127.0.4.2");
const QString Aztec = QStringLiteral("127.0.4.3");
const QString Crowded = QStringLiteral("127.0.4.4");

ProfileTable table()
{
    ProfileTable t;
    Profile dust = defaultsFor(Kind::Hl1);
    dust.name = "Dust";
    dust.players = 2;
    dust.playerList = {{"Игрок", 4, 100.0f}, {"Anna", 9, 10.0f}};
    t.add(local(2), GamePort, dust);

    Profile aztec = defaultsFor(Kind::Source);
    aztec.name = "Aztec";
    aztec.map = "de_aztec";
    aztec.players = 1;
    aztec.playerList = {{"мой ИГРОК", 1, 20.0f}};
    t.add(local(3), GamePort, aztec);

    Profile crowded = defaultsFor(Kind::Source);
    crowded.name = "Crowded";
    crowded.widePlayers = true;
    for (int i = 0; i < 110; ++i)
        crowded.playerList.push_back({"bot " + std::to_string(i), i, 1.0f});
    t.add(local(4), GamePort, crowded);
    return t;
}

struct PlayerFinding : MainWindowFixture
{
    PlayerFinding() : MainWindowFixture(table()) {}
    TForm1& start() { return MainWindowFixture::start({.clientFrom = 0}); }
    void list(const QString& address) { ASSERT_TRUE(listServers({address})); }

    ListView& results() { return *control<ListView>(form(), "LWFoundPlayers"); }
    QLineEdit& field() { return *control<QLineEdit>(form(), "EFindPlayer"); }

    // The found players as "player@address", in the list's order.
    QStringList found()
    {
        QStringList out;
        QAbstractItemModel& m = *results().model();
        for (int row = 0; row < m.rowCount(); ++row)
            out << m.index(row, PlayerResults::Player).data().toString() + u'@' +
                       m.index(row, PlayerResults::Address).data().toString();
        return out;
    }
    int foundRow(const QString& entry) { return static_cast<int>(found().indexOf(entry)); }
};

} // namespace

TEST_F(PlayerFinding, TypedPartOfANameFindsPlayersOnServersListedBeforeAndAfterAndADoubleClickJoins)
{
    TForm1& form = start();
    EXPECT_FALSE(results().isVisible()) << "no search, no results list";
    list(Dust);
    list(Crowded);

    QTest::mouseClick(&field(), Qt::LeftButton);
    type(field(), QStringLiteral("игрОК"));
    QTest::keyClick(&field(), Qt::Key_Return);
    EXPECT_TRUE(results().isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return found().size() == 1; }, 3000))
        << found().join(u',').toStdString();
    EXPECT_EQ(found().front(), QStringLiteral("Игрок@127.0.4.2:27015"));

    // A server listed while the search stands is asked too.
    list(Aztec);
    ASSERT_TRUE(QTest::qWaitFor([&] { return found().size() == 2; }, 3000));
    EXPECT_TRUE(found().contains(QStringLiteral("мой ИГРОК@127.0.4.3:27015")));
    QAbstractItemModel& m = *results().model();
    const int aztecRow = foundRow(QStringLiteral("мой ИГРОК@127.0.4.3:27015"));
    EXPECT_EQ(m.index(aztecRow, PlayerResults::Server).data().toString(), QStringLiteral("Aztec"));
    EXPECT_EQ(m.index(aztecRow, PlayerResults::Time).data().toString(), QStringLiteral("0:20"));
    EXPECT_EQ(m.index(aztecRow, PlayerResults::Score).data().toString(), QStringLiteral("1"));
    EXPECT_EQ(probe.starts(), 0) << "finding joined";

    // The double click on his row joins the Aztec server, as a double click on its row would.
    const QModelIndex at = m.index(aztecRow, PlayerResults::Player);
    results().scrollTo(at);
    const QPoint centre = results().visualRect(at).center();
    QTest::mouseClick(results().viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(results().viewport(), Qt::LeftButton, {}, centre);
    const std::optional<Probe::Record> record = probe.wait();
    ASSERT_TRUE(record) << "the double click started the client";
    EXPECT_TRUE(record->arguments.contains(Aztec + QStringLiteral(":27015")))
        << record->arguments.join(u' ').toStdString();
    EXPECT_EQ(startsAfterAWhile(1, 300), 1);
    EXPECT_FALSE(form.isVisible()) << "the window went to the tray";
    EXPECT_TRUE(prompter.messages.isEmpty());
}

TEST_F(PlayerFinding, TypingSearchesAfterAPauseAndANewTextOrEscapeLeavesNoStaleRows)
{
    start();
    list(Dust);
    list(Aztec);
    list(Crowded);

    type(field(), QStringLiteral("bot 10"));
    // No Enter: the pause after the last key starts it; bot 10 and bot 100 to 109.
    ASSERT_TRUE(QTest::qWaitFor([&] { return found().size() == 11; }, 3000))
        << found().join(u',').toStdString();
    EXPECT_TRUE(found().contains(QStringLiteral("bot 10@127.0.4.4:27015")));
    EXPECT_FALSE(found().contains(QStringLiteral("bot 1@127.0.4.4:27015")));

    // Another text: only its players, none of the last one's.
    QTest::keyClick(&field(), Qt::Key_A, Qt::ControlModifier);
    type(field(), QStringLiteral("anna"));
    QTest::keyClick(&field(), Qt::Key_Enter);
    EXPECT_EQ(found(), QStringList{QStringLiteral("Anna@127.0.4.2:27015")});

    // Any length of text finds nothing and breaks nothing.
    QTest::keyClick(&field(), Qt::Key_A, Qt::ControlModifier);
    type(field(), QString(2000, u'ы'));
    QTest::keyClick(&field(), Qt::Key_Return);
    EXPECT_TRUE(found().isEmpty());

    QTest::keyClick(&field(), Qt::Key_Escape);
    EXPECT_TRUE(field().text().isEmpty());
    EXPECT_TRUE(found().isEmpty());
    EXPECT_FALSE(results().isVisible());
    EXPECT_EQ(probe.starts(), 0);
}

} // namespace vantry::test
