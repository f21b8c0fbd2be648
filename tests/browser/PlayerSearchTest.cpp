// Finding a player over real sockets: every listed emulated server is asked for its players
// (behind the challenge), the answers are matched by a part of the name in any script, and the
// results follow the text and the list as they change.
#include "browser/PlayerSearch.h"

#include "HandClock.h"
#include "browser/DetailsModels.h"
#include "browser/PlayerWatch.h"
#include "browser/QueryService.h"
#include "browser/ServerListModel.h"
#include "emu/EmuServer.h"
#include "net/UdpEndpoint.h"
#include "query/Clock.h"

#include <QTest>

#include <gtest/gtest.h>
#include <map>
#include <memory>

using namespace vantry;
using vantry::browser::PlayerResults;
using vantry::emu::Kind;
using vantry::emu::Profile;
using vantry::emu::ProfileTable;

namespace {

constexpr std::uint16_t GamePort = 27015;

std::uint32_t local(std::uint8_t last)
{
    return (127u << 24) | (3u << 8) | last; // 127.0.3.last
}

ProfileTable table()
{
    ProfileTable t;
    Profile hl1 = emu::defaultsFor(Kind::Hl1);
    hl1.name = "Dust";
    hl1.playerList = {{"Игрок_1", 7, 3725.0f}, {"bob", 3, 12.0f}};
    t.add(local(1), GamePort, hl1);

    Profile source = emu::defaultsFor(Kind::Source);
    source.name = "Source";
    source.playerList = {{"[clan] ИГРОК", 11, 65.0f}};
    t.add(local(2), GamePort, source);

    Profile empty = hl1;
    empty.name = "Empty";
    empty.playerList = {};
    t.add(local(3), GamePort, empty);

    Profile crowded = emu::defaultsFor(Kind::Source);
    crowded.name = "Crowded";
    crowded.widePlayers = true;
    for (int i = 0; i < 120; ++i)
        crowded.playerList.push_back({"filler_" + std::to_string(i), i, 1.0f});
    crowded.playerList.push_back({"последний игрокЪ", -2, 5.0f});
    t.add(local(4), GamePort, crowded);

    Profile old = emu::defaultsFor(Kind::OldInfo);
    old.name = "Old";
    old.playerList = {{"oldигрок", 1, 1.0f}};
    t.add(local(5), GamePort, old);

    for (std::uint8_t last = 10; last < 22; ++last) {
        Profile quiet = hl1;
        quiet.name = "Quiet " + std::to_string(last);
        quiet.playerList = {{"someone", 0, 1.0f}};
        t.add(local(last), GamePort, quiet);
    }
    return t;
}

struct PlayerSearchLoopback : ::testing::Test
{
    emu::EmuServer emulated{table(), {GamePort}};
    net::UdpEndpoint endpoint;
    browser::ServerListModel servers;
    browser::PlayersModel players;
    browser::RulesModel rules;
    browser::QueryService queries{endpoint, servers, players, rules, query::systemClock()};
    int rate = 0;
    browser::PlayerSearch search{queries, servers, query::systemClock(), [this] { return rate; }};

    void SetUp() override
    {
        emulated.start();
        endpoint.open(0);
    }

    void list(std::initializer_list<std::uint8_t> lasts)
    {
        for (const std::uint8_t last : lasts)
            queries.sendInfoRequest(query::Endpoint{local(last), GamePort});
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                for (const std::uint8_t last : lasts)
                    if (servers.find({local(last), GamePort}) < 0)
                        return false;
                return true;
            },
            3000));
    }

    // Player name -> "server name|address|score|time".
    std::map<QString, QString> found() const
    {
        std::map<QString, QString> out;
        const PlayerResults& r = const_cast<browser::PlayerSearch&>(search).results();
        for (int row = 0; row < r.rowCount(); ++row) {
            QStringList cells;
            for (int column = PlayerResults::Score; column < PlayerResults::ColumnCount; ++column)
                cells << r.data(r.index(row, column), Qt::DisplayRole).toString();
            out[r.data(r.index(row, PlayerResults::Player), Qt::DisplayRole).toString()] = cells.join(u'|');
        }
        return out;
    }

    bool settles(std::size_t hits, int timeoutMs = 3000)
    {
        return QTest::qWaitFor([&] { return found().size() == hits; }, timeoutMs);
    }
};

} // namespace

TEST_F(PlayerSearchLoopback, MatchesAPartOfTheNameInAnyCaseAndScriptOnEveryKindOfServer)
{
    list({1, 2, 3, 4, 5});
    // A listed server that never answers: nothing listens there.
    query::ServerRow ghost;
    ghost.name = "Ghost";
    ghost.from = {local(99), GamePort};
    servers.add(ghost);

    search.setText(QStringLiteral("  игрок "));
    ASSERT_TRUE(settles(4)) << found().size();
    // Nothing else may come, from the ghost or a second answer.
    EXPECT_FALSE(QTest::qWaitFor([&] { return found().size() > 4 || search.answered() > 5; }, 200));
    const auto hits = found();
    ASSERT_EQ(hits.size(), 4u);
    EXPECT_EQ(hits.at(QStringLiteral("Игрок_1")), QStringLiteral("7|1:02:05|Dust|127.0.3.1:27015"));
    EXPECT_EQ(hits.at(QStringLiteral("[clan] ИГРОК")), QStringLiteral("11|1:05|Source|127.0.3.2:27015"));
    EXPECT_EQ(hits.at(QStringLiteral("последний игрокЪ")), QStringLiteral("-2|0:05|Crowded|127.0.3.4:27015"));
    EXPECT_EQ(hits.at(QStringLiteral("oldигрок")), QStringLiteral("1|0:01|Old|127.0.3.5:27015"));
    EXPECT_EQ(search.asked(), 6);
    EXPECT_EQ(search.answered(), 5); // the empty server answers with no one; the ghost never
}

TEST_F(PlayerSearchLoopback, ANewTextShowsOnlyItsPlayersFromWhatIsKnownWithoutAskingAgain)
{
    list({1, 2, 3});
    search.setText(QStringLiteral("Игрок"));
    ASSERT_TRUE(settles(2));
    // Every server asked has answered: no request of this round is still to come.
    ASSERT_TRUE(QTest::qWaitFor([&] { return search.answered() == search.asked(); }, 2000));
    const auto requests = emulated.requestsReceived();

    search.setText(QStringLiteral("BOB"));
    // Matched from the answers just received: at once, and no server is flooded again.
    EXPECT_EQ(found(), (std::map<QString, QString>{
                           {QStringLiteral("bob"), QStringLiteral("3|0:12|Dust|127.0.3.1:27015")}}));
    EXPECT_FALSE(QTest::qWaitFor([&] { return emulated.requestsReceived() > requests; }, 100));
    EXPECT_EQ(emulated.requestsReceived(), requests);

    search.setText(QString(10000, u'x'));
    EXPECT_TRUE(found().empty());
    search.setText(QStringLiteral("Игрок_1"));
    EXPECT_EQ(found().size(), 1u);
    search.setText(QStringLiteral("   "));
    EXPECT_TRUE(found().empty());
    EXPECT_FALSE(search.searching());
}

TEST_F(PlayerSearchLoopback, ServersListedAfterTheTextAreAskedToo)
{
    search.setText(QStringLiteral("игрок"));
    EXPECT_TRUE(found().empty());
    list({1});
    ASSERT_TRUE(settles(1));
    list({2, 3, 4});
    ASSERT_TRUE(settles(3));

    // A new sweep empties the list: the results of its servers go with it, and they are
    // asked again as they come back.
    servers.clear();
    EXPECT_TRUE(found().empty());
    list({2});
    EXPECT_TRUE(settles(1));
}

TEST_F(PlayerSearchLoopback, TheSelectedServersPlayersStayInTheDetailsWhileOthersAnswerTheSearch)
{
    list({1, 2, 4});
    queries.sendDetailsRequest({local(1), GamePort});
    ASSERT_TRUE(QTest::qWaitFor([&] { return players.rowCount() == 2; }, 2000));

    search.setText(QStringLiteral("игрок"));
    ASSERT_TRUE(settles(3));
    EXPECT_FALSE(QTest::qWaitFor([&] { return players.rowCount() != 2 || rules.rowCount() != 0; }, 100));
    EXPECT_EQ(players.rowCount(), 2) << "another server's answer replaced the selected one's players";
    EXPECT_EQ(rules.rowCount(), 0) << "the search asked for rules";
}

TEST_F(PlayerSearchLoopback, ServersAreAskedAtTheListRate)
{
    list({10, 11, 12, 13, 14, 15, 16, 17, 18, 19});
    // The search's own clock, moved by hand: what may leave is what the clock allows.
    test::HandClock clock(1'000'000);
    browser::PlayerSearch paced{queries, servers, clock, [] { return 10; }}; // one each 100 ms
    const auto before = emulated.requestsReceived();
    paced.setText(QStringLiteral("someone"));
    EXPECT_EQ(paced.asked(), 1) << "the first at once";
    EXPECT_FALSE(QTest::qWaitFor([&] { return paced.asked() > 1; }, 150)) << "sent with the clock still";
    for (int k = 2; k <= 10; ++k) {
        clock.advance(100);
        ASSERT_TRUE(QTest::qWaitFor([&] { return paced.asked() >= k; }, 2000)) << k;
        EXPECT_EQ(paced.asked(), k) << "sent faster than the rate";
        // Each asked twice: the request and its challenge.
        EXPECT_LE(emulated.requestsReceived() - before, 2u * static_cast<unsigned>(k));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return paced.results().count() == 10; }, 3000));
    EXPECT_EQ(paced.answered(), 10);
}

TEST_F(PlayerSearchLoopback, AWatchedPlayerIsToldOncePerServerAndNothingIsAskedWithoutWatchedNames)
{
    QStringList watched;
    browser::PlayerWatch watch(queries, servers, [&] { return watched; });
    QStringList told;
    QObject::connect(&watch, &browser::PlayerWatch::appeared,
                     [&](const QString& player, const QString& serverName, const query::Endpoint& server) {
                         told << player + u'@' + serverName + u'@' +
                                     QString::fromStdString(query::endpointText(server));
                     });
    list({1, 2});

    // Nobody watched: the favourites are not asked at all.
    const auto before = emulated.requestsReceived();
    watch.askPlayers({{local(1), GamePort}, {local(2), GamePort}});
    EXPECT_FALSE(QTest::qWaitFor([&] { return emulated.requestsReceived() > before; }, 150));
    EXPECT_EQ(emulated.requestsReceived(), before);

    // A whole name in any case; a part of one is not enough.
    watched = {QStringLiteral("игрок_1"), QStringLiteral("[clan]"), QStringLiteral("  ")};
    watch.askPlayers({{local(1), GamePort}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !told.isEmpty(); }, 2000));
    watch.askPlayers({{local(1), GamePort}, {local(2), GamePort}});
    EXPECT_FALSE(QTest::qWaitFor([&] { return told.size() > 1; }, 300));
    EXPECT_EQ(told, QStringList{QStringLiteral("Игрок_1@Dust@127.0.3.1:27015")})
        << "told again while he stays";

    // The same name on another server is news.
    watched << QStringLiteral("[CLAN] игрок");
    watch.askPlayers({{local(1), GamePort}, {local(2), GamePort}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return told.size() == 2; }, 2000));
    EXPECT_EQ(told.back(), QStringLiteral("[clan] ИГРОК@Source@127.0.3.2:27015"));
    // The details panel was left alone by the watch's questions.
    EXPECT_EQ(players.rowCount(), 0);
}
