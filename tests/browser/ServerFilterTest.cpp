// The filter's matcher as the window and the command line share it, and its place in the
// settings file.
#include "browser/ServerFilter.h"

#include "base/IniFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using vantry::IniFile;
using vantry::browser::FilterSettings;
using vantry::browser::ServerFilter;
using vantry::browser::SortChoice;
using vantry::query::Game;
using vantry::query::Image;
using vantry::query::ServerRow;

namespace {

ServerRow server(const std::string& name, const std::string& map, int players, int maximum)
{
    ServerRow r;
    r.kind = Game::CounterStrike16;
    r.name = name;
    r.map = map;
    r.from = *vantry::query::Endpoint::parse("127.0.0.7", 27016);
    r.playerCount = players;
    r.maxPlayerCount = maximum;
    r.passwordRequired = false;
    r.status = players >= maximum ? Image::Full : Image::Open;
    r.pingMs = 40;
    return r;
}

bool passes(const FilterSettings& s, const ServerRow& row)
{
    const ServerFilter filter(s);
    const bool plain = filter.matches(row);
    // The list's way, with the search text made beforehand, must agree.
    EXPECT_EQ(plain, filter.matches(row, ServerFilter::searchText(row)));
    return plain;
}

FilterSettings text(const QString& t)
{
    FilterSettings s;
    s.text = t;
    return s;
}

} // namespace

TEST(ServerFilter, TextFindsNameMapAddressPortAndGameWhateverTheCaseCyrillicIncluded)
{
    const ServerRow row = server("Сервер ДРУЗЕЙ | Public", "de_Dust2", 3, 16);
    EXPECT_TRUE(passes(text(QStringLiteral("друзей")), row));
    EXPECT_TRUE(passes(text(QStringLiteral("СЕРВЕР")), row));
    EXPECT_TRUE(passes(text(QStringLiteral("DUST2")), row));
    EXPECT_TRUE(passes(text(QStringLiteral("127.0.0.7")), row));
    EXPECT_TRUE(passes(text(QStringLiteral("0.7:27016")), row)) << "address and port as one text";
    EXPECT_TRUE(passes(text(QStringLiteral("1.6")), row)) << "the game column's text";
    EXPECT_FALSE(passes(text(QStringLiteral("друзья")), row));
    EXPECT_FALSE(passes(text(QStringLiteral("Publicde_")), row)) << "a match never spans two fields";
    EXPECT_FALSE(passes(text(QStringLiteral("2127.0")), row));
    EXPECT_TRUE(passes(text(QString()), row));
}

TEST(ServerFilter, OddTextsMatchNothingAndCrashNothing)
{
    const ServerRow row = server("Box", "de_dust2", 3, 16);
    EXPECT_FALSE(passes(text(QString(10'000, QLatin1Char('x'))), row));
    EXPECT_FALSE(passes(text(QStringLiteral("B\tox")), row));
    EXPECT_FALSE(passes(text(QString(QChar(0))), row)) << "the fields' separator is no wildcard";
    EXPECT_FALSE(passes(text(QStringLiteral("\x01\x02\x1b")), row));
    ServerRow weird = server(std::string("Bad \xff\xfe utf8"), "", 0, 0);
    EXPECT_TRUE(passes(text(QStringLiteral("bad")), weird));
}

TEST(ServerFilter, FullEmptyPasswordGameMapAndPingNarrowAsTheirNamesSay)
{
    FilterSettings notFull;
    notFull.notFull = true;
    EXPECT_TRUE(passes(notFull, server("a", "m", 15, 16)));
    EXPECT_FALSE(passes(notFull, server("a", "m", 16, 16)));
    ServerRow oldFull = server("a", "m", 0, 0);
    oldFull.playerCount.reset();
    oldFull.maxPlayerCount.reset();
    oldFull.status = Image::Full; // an old reply's texts that are no numbers: its icon says it
    EXPECT_FALSE(passes(notFull, oldFull));

    FilterSettings notEmpty;
    notEmpty.notEmpty = true;
    EXPECT_FALSE(passes(notEmpty, server("a", "m", 0, 16)));
    EXPECT_TRUE(passes(notEmpty, server("a", "m", 1, 16)));

    FilterSettings noPassword;
    noPassword.noPassword = true;
    ServerRow locked = server("a", "m", 1, 16);
    locked.passwordRequired = true;
    EXPECT_FALSE(passes(noPassword, locked));
    ServerRow oldLocked = server("a", "m", 1, 16);
    oldLocked.passwordRequired.reset();
    oldLocked.status = Image::Password;
    EXPECT_FALSE(passes(noPassword, oldLocked));
    EXPECT_TRUE(passes(noPassword, server("a", "m", 1, 16)));

    FilterSettings game;
    game.game = Game::CounterStrikeSource;
    EXPECT_FALSE(passes(game, server("a", "m", 1, 16)));
    ServerRow source = server("a", "m", 1, 16);
    source.kind = Game::CounterStrikeSource;
    EXPECT_TRUE(passes(game, source));

    FilterSettings map;
    map.map = QStringLiteral("DUST");
    EXPECT_TRUE(passes(map, server("a", "de_dust2", 1, 16)));
    EXPECT_FALSE(passes(map, server("dust", "de_inferno", 1, 16))) << "the map field looks at maps only";

    FilterSettings name;
    name.name = QStringLiteral("box");
    EXPECT_TRUE(passes(name, server("Big BOX", "m", 1, 16)));
    EXPECT_FALSE(passes(name, server("a", "boxmap", 1, 16)));

    FilterSettings ping;
    ping.maxPingMs = 40;
    EXPECT_TRUE(passes(ping, server("a", "m", 1, 16)));
    ServerRow far = server("a", "m", 1, 16);
    far.pingMs = 41;
    EXPECT_FALSE(passes(ping, far));
    far.pingMs.reset();
    EXPECT_FALSE(passes(ping, far)) << "an unknown round trip is not within a limit";
    ping.maxPingMs = 0;
    EXPECT_TRUE(passes(ping, far));
}

TEST(ServerFilter, SettingsFileKeepsFilterAndSortInTheirOwnSectionsAndRefusesNonsense)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vantry.ini"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Settings]\nScanMode=1\n");
    }
    FilterSettings s;
    s.text = QStringLiteral("Сервер друзей");
    s.notFull = true;
    s.noPassword = true;
    s.game = Game::Unknown;
    s.map = QStringLiteral("dust");
    s.maxPingMs = 120;
    {
        IniFile file(path);
        saveFilter(file, s);
        saveSort(file, SortChoice{4, true});
    }
    IniFile again(path);
    EXPECT_EQ(vantry::browser::loadFilter(again), s);
    EXPECT_EQ(vantry::browser::loadSort(again, 10), (SortChoice{4, true}));
    EXPECT_EQ(again.readInteger(QStringLiteral("Settings"), QStringLiteral("ScanMode"), 0), 1);
    EXPECT_EQ(again.keys(QStringLiteral("Settings")).size(), 1)
        << "the filter goes into a section of its own";

    // A file edited by hand: what cannot be read takes its default.
    IniFile edited(path);
    edited.writeString(QStringLiteral("View"), QStringLiteral("SortColumn"), QStringLiteral("12"));
    edited.writeString(QStringLiteral("Filter"), QStringLiteral("MaxPing"), QStringLiteral("fast"));
    edited.writeString(QStringLiteral("Filter"), QStringLiteral("Game"), QStringLiteral("Quake"));
    EXPECT_EQ(vantry::browser::loadSort(edited, 10), SortChoice{}) << "no such column: order of arrival";
    const FilterSettings read = vantry::browser::loadFilter(edited);
    EXPECT_EQ(read.maxPingMs, 0);
    EXPECT_FALSE(read.game.has_value());
    EXPECT_EQ(read.text, s.text);
}
