#include "browser/ServerListModel.h"

#include "browser/DetailsModels.h"
#include "query/OldInfo.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

using vantry::browser::PlayersModel;
using vantry::browser::RulesModel;
using vantry::browser::ServerListModel;
using vantry::query::Identity;
using vantry::query::Image;
using vantry::query::ServerRow;

namespace {

ServerRow row(const std::string& address, std::uint16_t port, Identity identity = Identity::AddressAndPort)
{
    ServerRow r;
    r.kind = vantry::query::Game::CounterStrike16;
    r.name = "Box";
    r.from = *vantry::query::Endpoint::parse(address, port);
    r.protocol = 47;
    r.map = "de_dust2";
    r.playerCount = 3;
    r.maxPlayerCount = 16;
    r.status = Image::Open;
    r.identity = identity;
    return r;
}

} // namespace

TEST(ServerListModel, SecondReplyOfAListedServerAddsNoRowAndKeepsTheFirst)
{
    ServerListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(model.add(row("127.0.0.5", 27015)), 0);
    ServerRow again = row("127.0.0.5", 27015);
    again.name = "Changed";
    EXPECT_EQ(model.add(again), -1);
    EXPECT_EQ(model.count(), 1);
    EXPECT_EQ(model.data(model.index(0, ServerListModel::Name), Qt::DisplayRole).toString(),
              QStringLiteral("Box"));

    // Same address, another port: another server.
    EXPECT_EQ(model.add(row("127.0.0.5", 27016)), 1);
    // Old info-string replies: one row per address, whatever the port.
    EXPECT_EQ(model.add(row("127.0.0.5", 27999, Identity::AddressOnly)), -1);
    EXPECT_EQ(model.add(row("127.0.0.6", 27999, Identity::AddressOnly)), 2);
    EXPECT_EQ(model.add(row("127.0.0.6", 27015, Identity::AddressOnly)), -1);
    // A typed reply from an address listed by an old reply on another port is a new server.
    EXPECT_EQ(model.add(row("127.0.0.6", 27015)), 3);
}

TEST(ServerListModel, ClearForgetsTheIndexSoServersAreListedAgain)
{
    ServerListModel model;
    model.add(row("127.0.0.5", 27015));
    model.clear();
    EXPECT_EQ(model.count(), 0);
    EXPECT_EQ(model.add(row("127.0.0.5", 27015)), 0);
}

TEST(ServerListModel, IndexGivesTheSameAnswersAsWalkingTheRows)
{
    ServerListModel model;
    std::vector<ServerRow> added;
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int i = 0; i < 3000; ++i) {
        const std::string address = "127.0." + std::to_string(next() % 4) + "." + std::to_string(next() % 16);
        const auto port = static_cast<std::uint16_t>(27015 + next() % 3);
        const Identity identity = next() % 5 == 0 ? Identity::AddressOnly : Identity::AddressAndPort;
        const ServerRow candidate = row(address, port, identity);
        bool walkFound = false;
        for (const ServerRow& r : added)
            if (vantry::query::addressText(r.from.address) == address &&
                (identity == Identity::AddressOnly || r.from.port == port))
                walkFound = true;
        ASSERT_EQ(model.contains(candidate), walkFound) << address << ":" << port;
        if (!walkFound) {
            ASSERT_GE(model.add(candidate), 0);
            added.push_back(candidate);
        }
    }
    EXPECT_EQ(model.count(), static_cast<int>(added.size()));
}

TEST(ServerListModel, CellsShowTextsImagesAndRawNumbers)
{
    ServerListModel model;
    ServerRow r = row("127.0.0.9", 27020);
    r.windows = true;
    r.status = Image::Password;
    r.kindImage = Image::Hltv;
    model.add(r);
    EXPECT_EQ(model.data(model.index(0, ServerListModel::Os), Qt::DisplayRole).toString(),
              QStringLiteral("WIN"));
    EXPECT_EQ(model.data(model.index(0, ServerListModel::Os), ServerListModel::ImageIndexRole).toInt(), 13);
    EXPECT_EQ(model.data(model.index(0, ServerListModel::Status), ServerListModel::ImageIndexRole).toInt(),
              10);
    EXPECT_EQ(model.data(model.index(0, ServerListModel::Game), ServerListModel::ImageIndexRole).toInt(), 4);
    EXPECT_EQ(model.data(model.index(0, ServerListModel::Status), Qt::DisplayRole).toString(), QString());
    EXPECT_EQ(model.data(model.index(0, ServerListModel::Port), ServerListModel::RawValueRole).toInt(),
              27020);
    EXPECT_EQ(model.data(model.index(0, ServerListModel::Players), ServerListModel::RawValueRole).toInt(), 3);
    EXPECT_EQ(model.headerData(ServerListModel::Address, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Адрес"));
    EXPECT_EQ(model.headerData(ServerListModel::Players, Qt::Horizontal, Qt::DisplayRole).toString(),
              QString());
    EXPECT_EQ(model.find(*vantry::query::Endpoint::parse("127.0.0.9", 27020)), 0);
    EXPECT_EQ(model.find(*vantry::query::Endpoint::parse("127.0.0.9", 27015)), -1);
    // The texts of the typed row.
    const auto text = [&](int column) {
        return model.data(model.index(0, column), Qt::DisplayRole).toString();
    };
    EXPECT_EQ(text(ServerListModel::Game), QStringLiteral("1.6"));
    EXPECT_EQ(text(ServerListModel::Address), QStringLiteral("127.0.0.9"));
    EXPECT_EQ(text(ServerListModel::Port), QStringLiteral("27020"));
    EXPECT_EQ(text(ServerListModel::Protocol), QStringLiteral("47"));
    EXPECT_EQ(text(ServerListModel::Players), QStringLiteral("3/16"));
    EXPECT_EQ(model.data(model.index(0, ServerListModel::Protocol), ServerListModel::RawValueRole).toInt(),
              47);
}

TEST(ServerListModel, OldRepliesShowTheirTextsAndSortByTheDecodersNumbers)
{
    ServerListModel model;
    vantry::query::OldInfoFields fields;
    fields.protocol = "47b";
    fields.players = "7";
    fields.maximum = "x";
    ASSERT_EQ(model.add(vantry::query::AddOld(fields, {(127u << 24) | 9, 27020})), 0);
    const auto cell = [&](int column, int role) { return model.data(model.index(0, column), role); };
    EXPECT_EQ(cell(ServerListModel::Game, Qt::DisplayRole).toString(), QStringLiteral("?"));
    EXPECT_EQ(cell(ServerListModel::Protocol, Qt::DisplayRole).toString(), QStringLiteral("47b"));
    EXPECT_EQ(cell(ServerListModel::Players, Qt::DisplayRole).toString(), QStringLiteral("7/x"));
    EXPECT_EQ(cell(ServerListModel::Port, Qt::DisplayRole).toString(), QStringLiteral("27020"));
    EXPECT_EQ(cell(ServerListModel::Protocol, ServerListModel::RawValueRole).toInt(), 0); // not a number
    EXPECT_EQ(cell(ServerListModel::Players, ServerListModel::RawValueRole).toInt(), 7);
    EXPECT_EQ(model.players(0), QStringLiteral("7/x"));
}

TEST(ServerListModel, RowsAddedForLaterAreFoundAtOnceAndReachViewsInOneInsertion)
{
    ServerListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(model.add(row("127.0.0." + std::to_string(i + 1), 27015), ServerListModel::Shown::Later),
                  i);
    // Lookups see every row; views see none yet, and a duplicate is still refused.
    EXPECT_EQ(model.count(), 40);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.find(*vantry::query::Endpoint::parse("127.0.0.40", 27015)), 39);
    EXPECT_EQ(model.add(row("127.0.0.7", 27015), ServerListModel::Shown::Later), -1);
    EXPECT_FALSE(model.data(model.index(0, ServerListModel::Name), Qt::DisplayRole).isValid());

    // The event loop tells views of them, once, in arrival order.
    QCoreApplication::processEvents();
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 39);
    EXPECT_EQ(model.rowCount(), 40);
    EXPECT_EQ(model.address(39), QStringLiteral("127.0.0.40"));

    // A row added at once takes the held ones with it, before it.
    model.add(row("127.0.1.1", 27015), ServerListModel::Shown::Later);
    EXPECT_EQ(model.add(row("127.0.1.2", 27015)), 41);
    ASSERT_EQ(inserted.size(), 2);
    EXPECT_EQ(inserted[1][1].toInt(), 40);
    EXPECT_EQ(inserted[1][2].toInt(), 41);
    QCoreApplication::processEvents();
    EXPECT_EQ(inserted.size(), 2) << "nothing left to show";

    // Sorting shows held rows first, so that every row is sorted; clearing drops them.
    model.add(row("127.0.1.3", 27015), ServerListModel::Shown::Later);
    model.sortByPing();
    EXPECT_EQ(model.rowCount(), model.count());
    model.add(row("127.0.1.4", 27015), ServerListModel::Shown::Later);
    model.clear();
    QCoreApplication::processEvents();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.count(), 0);
    EXPECT_EQ(model.add(row("127.0.1.4", 27015)), 0);
}

TEST(ServerListModel, PingColumnSortsOnceByRoundTripWithUnknownLastAndSelectionFollows)
{
    ServerListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const std::vector<std::optional<int>> pings{120, std::nullopt, 8, 120, 0};
    for (std::size_t i = 0; i < pings.size(); ++i) {
        ServerRow r = row("127.0.0." + std::to_string(i + 1), 27015);
        r.pingMs = pings[i];
        model.add(r);
    }
    EXPECT_EQ(model.headerData(ServerListModel::Ping, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Пинг"));
    EXPECT_EQ(model.data(model.index(0, ServerListModel::Ping), Qt::DisplayRole).toString(),
              QStringLiteral("120"));
    EXPECT_EQ(model.data(model.index(1, ServerListModel::Ping), Qt::DisplayRole).toString(), QString());
    EXPECT_EQ(model.data(model.index(4, ServerListModel::Ping), Qt::DisplayRole).toString(),
              QStringLiteral("0"));

    const QPersistentModelIndex selected = model.index(2, ServerListModel::Name); // 127.0.0.3, 8 ms
    model.sortByPing();
    std::vector<std::string> order;
    for (int i = 0; i < model.count(); ++i)
        order.push_back(model.address(i).toStdString());
    // Numbers, not texts ("120" < "8" as text); equal round trips keep their order.
    EXPECT_EQ(order,
              (std::vector<std::string>{"127.0.0.5", "127.0.0.3", "127.0.0.1", "127.0.0.4", "127.0.0.2"}));
    EXPECT_EQ(selected.row(), 1);
    EXPECT_EQ(model.find(*vantry::query::Endpoint::parse("127.0.0.2", 27015)), 4);

    // Later rows are appended unsorted, and the duplicate test still knows every sorted row.
    ServerRow late = row("127.0.0.9", 27015);
    late.pingMs = 1;
    EXPECT_EQ(model.add(late), 5);
    EXPECT_EQ(model.add(row("127.0.0.3", 27015)), -1);
}

TEST(PlayersModel, HeaderSortsOrderByFoldedNameAndByKillsDescending)
{
    PlayersModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setPlayers({{"charlie", 1}, {"Bravo", 30}, {"alpha", 7}, {"alp", 7}, {"", -1}});
    model.sortByName();
    std::vector<std::string> names;
    for (const auto& p : model.players())
        names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"", "alp", "alpha", "Bravo", "charlie"}));
    model.sortByKills();
    EXPECT_EQ(model.players().front().name, "Bravo");
    EXPECT_EQ(model.players().back().kills, -1);
    EXPECT_EQ(model.data(model.index(4, PlayersModel::Kills), Qt::DisplayRole).toString(),
              QStringLiteral("-1"));
    // Bytes outside a-z compare by value: '_' (0x5F) sorts after 'Z' but before folded 'a'..'z' ('A'..).
    EXPECT_TRUE(vantry::browser::nameLess("Z", "_"));
    EXPECT_FALSE(vantry::browser::nameLess("_", "a"));
}

TEST(RulesModel, AppendKeepsReplyOrderAndClearEmpties)
{
    RulesModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.append({{"mp_timelimit", "20"}, {"sv_gravity", "800"}});
    model.append({});
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.data(model.index(1, RulesModel::Name), Qt::DisplayRole).toString(),
              QStringLiteral("sv_gravity"));
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
}
