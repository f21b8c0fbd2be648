// The list as the window shows it: sorted by any column, narrowed by the filter, with rows that
// arrive taking their place and a kept row (selection) following its server.
#include "browser/ServerListProxy.h"

#include "browser/ServerListModel.h"

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QSignalSpy>

#include <gtest/gtest.h>
#include <random>

using vantry::browser::FilterSettings;
using vantry::browser::ServerListModel;
using vantry::browser::ServerListProxy;
using vantry::browser::SortChoice;
using vantry::query::Game;
using vantry::query::Image;
using vantry::query::ServerRow;

namespace {

ServerRow server(int host, const std::string& name, int players = 1, std::optional<int> ping = 50)
{
    ServerRow r;
    r.kind = Game::CounterStrike16;
    r.name = name;
    r.from = {(127u << 24) | static_cast<std::uint32_t>(host), 27015};
    r.map = "de_dust2";
    r.playerCount = players;
    r.maxPlayerCount = 20;
    r.passwordRequired = false;
    r.status = Image::Open;
    r.pingMs = ping;
    return r;
}

// The shown rows' cells of one column, top to bottom.
using Texts = std::vector<std::string>;

Texts column(const ServerListProxy& proxy, int c)
{
    Texts out;
    for (int r = 0; r < proxy.rowCount(); ++r)
        out.push_back(proxy.data(proxy.index(r, c), Qt::DisplayRole).toString().toStdString());
    return out;
}

class Proxy : public ::testing::Test
{
protected:
    ServerListModel model;
    ServerListProxy proxy{model};
    QAbstractItemModelTester tester{&proxy, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

} // namespace

TEST_F(Proxy, EachColumnSortsByWhatItMeansAndASecondClickReverses)
{
    model.add(server(10, "charlie", 10, 120));
    model.add(server(9, "Server 10", 2, std::nullopt));
    model.add(server(200, "alpha", 9, 5));
    model.add(server(3, "Server 9", 2, 70));
    model.add(server(4, "Bravo", 20, 30));
    EXPECT_EQ(column(proxy, ServerListModel::Name),
              (Texts{"charlie", "Server 10", "alpha", "Server 9", "Bravo"}))
        << "the order of arrival until a column is chosen";

    proxy.setSort({ServerListModel::Name, false});
    EXPECT_EQ(column(proxy, ServerListModel::Name),
              (Texts{"alpha", "Bravo", "charlie", "Server 9", "Server 10"}))
        << "letters whatever their case, numbers in names by value";
    proxy.setSort({ServerListModel::Name, true});
    EXPECT_EQ(column(proxy, ServerListModel::Name),
              (Texts{"Server 10", "Server 9", "charlie", "Bravo", "alpha"}));

    proxy.setSort({ServerListModel::Players, false});
    EXPECT_EQ(column(proxy, ServerListModel::Players), (Texts{"2/20", "2/20", "9/20", "10/20", "20/20"}))
        << "players by count, not by text";
    EXPECT_EQ(column(proxy, ServerListModel::Name)[0], "Server 10")
        << "equal counts keep the order of arrival";

    proxy.setSort({ServerListModel::Address, false});
    EXPECT_EQ(column(proxy, ServerListModel::Address),
              (Texts{"127.0.0.3", "127.0.0.4", "127.0.0.9", "127.0.0.10", "127.0.0.200"}))
        << "addresses as numbers";

    proxy.setSort({ServerListModel::Ping, false});
    EXPECT_EQ(column(proxy, ServerListModel::Ping), (Texts{"5", "30", "70", "120", ""}));
    proxy.setSort({ServerListModel::Ping, true});
    EXPECT_EQ(column(proxy, ServerListModel::Ping), (Texts{"120", "70", "30", "5", ""}))
        << "an unknown round trip stays last either way";

    proxy.setSort({});
    EXPECT_EQ(column(proxy, ServerListModel::Name),
              (Texts{"charlie", "Server 10", "alpha", "Server 9", "Bravo"}));
}

TEST_F(Proxy, ArrivalsTakeTheirPlaceInTheOrderAndTheFilterAndAKeptRowFollowsItsServer)
{
    proxy.setSort({ServerListModel::Ping, false});
    FilterSettings f;
    f.text = QStringLiteral("keep");
    proxy.setFilter(f);
    model.add(server(1, "keep 40", 1, 40));
    model.add(server(2, "drop 10", 1, 10));
    model.add(server(3, "keep 20", 1, 20));
    ASSERT_EQ(column(proxy, ServerListModel::Ping), (Texts{"20", "40"}));
    const QPersistentModelIndex kept = proxy.index(1, ServerListModel::Name); // "keep 40"

    // A burst, as a sweep's replies come: scattered through the order, some filtered out.
    for (int i = 0; i < 6; ++i)
        model.add(server(10 + i, (i % 2 ? "drop " : "keep ") + std::to_string(i), 1, 5 + 10 * i),
                  ServerListModel::Shown::Later);
    model.showAdded();
    EXPECT_EQ(column(proxy, ServerListModel::Ping), (Texts{"5", "20", "25", "40", "45"}));
    ASSERT_TRUE(kept.isValid());
    EXPECT_EQ(kept.data().toString(), QStringLiteral("keep 40"));
    EXPECT_EQ(proxy.shownCount(), 5);
    EXPECT_EQ(proxy.listedCount(), 9);

    // Narrowing hides the kept server; clearing brings every row back, none lost.
    f.text = QStringLiteral("keep 2");
    proxy.setFilter(f);
    EXPECT_EQ(column(proxy, ServerListModel::Name), (Texts{"keep 20", "keep 2"}));
    EXPECT_FALSE(kept.isValid()) << "a hidden row cannot stay selected";
    proxy.setFilter({});
    EXPECT_EQ(proxy.shownCount(), 9);
    EXPECT_EQ(model.count(), 9);

    const QPersistentModelIndex again = proxy.index(proxy.shownRow(model.find(server(2, "").from)), 0);
    proxy.setSort({ServerListModel::Ping, true});
    EXPECT_EQ(proxy.sourceRow(again.row()), 1) << "the kept row names the same server after a sort";
    EXPECT_EQ(proxy.data(proxy.index(again.row(), ServerListModel::Name)).toString(),
              QStringLiteral("drop 10"));

    QSignalSpy counts(&proxy, &ServerListProxy::countsChanged);
    model.clear();
    EXPECT_EQ(proxy.rowCount(), 0);
    EXPECT_EQ(proxy.listedCount(), 0);
    EXPECT_GE(counts.count(), 1);
    EXPECT_EQ(proxy.headerData(ServerListModel::Name, Qt::Horizontal, Qt::DisplayRole),
              model.headerData(ServerListModel::Name, Qt::Horizontal, Qt::DisplayRole))
        << "headers stay when nothing is shown";
}

TEST_F(Proxy, HundredThousandRowsInBurstsWhileSortedAndFilteredLoseNone)
{
    proxy.setSort({ServerListModel::Name, false});
    FilterSettings f;
    f.notEmpty = true;
    proxy.setFilter(f);
    std::mt19937 random(19);
    constexpr int Count = 100'000;
    int withPlayers = 0;
    for (int i = 0; i < Count; ++i) {
        const int players = static_cast<int>(random() % 3);
        withPlayers += players > 0;
        model.add(server(i + 1, "srv " + std::to_string(random() % 50'000), players,
                         static_cast<int>(random() % 300)),
                  ServerListModel::Shown::Later);
        if (i % 4096 == 4095)
            model.showAdded();
        if (i == Count / 2) // the order changes while replies arrive
            proxy.setSort({ServerListModel::Ping, true});
    }
    model.showAdded();
    EXPECT_EQ(proxy.listedCount(), Count);
    EXPECT_EQ(proxy.shownCount(), withPlayers);
    for (int r = 1; r < proxy.rowCount(); ++r) {
        const int before =
            proxy.data(proxy.index(r - 1, ServerListModel::Ping), ServerListModel::RawValueRole).toInt();
        const int now =
            proxy.data(proxy.index(r, ServerListModel::Ping), ServerListModel::RawValueRole).toInt();
        ASSERT_GE(before, now) << "row " << r;
    }
    proxy.setFilter({});
    EXPECT_EQ(proxy.shownCount(), Count);
}
