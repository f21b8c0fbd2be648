#include "launch/GameCommand.h"

#include "browser/StaticSettings.h"

#include <gtest/gtest.h>

using namespace vantry::launch;

TEST(GameCommand, EachGameKindPicksItsSlotAndUnknownPicksNone)
{
    using vantry::query::Game;
    const std::pair<Game, int> kinds[] = {
        {Game::HalfLife, 0},      {Game::CounterStrike15, 1},     {Game::CounterStrike16, 2},
        {Game::ConditionZero, 3}, {Game::CounterStrikeSource, 4}, {Game::HalfLife2, 5}};
    for (const auto& [kind, slot] : kinds)
        EXPECT_EQ(slotForKind(kind), slot) << vantry::query::gameText(kind);
    EXPECT_EQ(slotForKind(Game::Unknown), -1);
}

TEST(GameCommand, MissingPathMessagesNameEachSlotsGame)
{
    EXPECT_EQ(missingPathMessage(0), QStringLiteral("HL .exe path not set"));
    EXPECT_EQ(missingPathMessage(1), QStringLiteral("CS1.5 .exe path not set"));
    EXPECT_EQ(missingPathMessage(2), QStringLiteral("CS 1.6 .exe path not set"));
    EXPECT_EQ(missingPathMessage(3), QStringLiteral("CZero .exe path not set"));
    EXPECT_EQ(missingPathMessage(4), QStringLiteral("CSS .exe path not set"));
    EXPECT_EQ(missingPathMessage(5), QStringLiteral("HL2 .exe path not set"));
    EXPECT_TRUE(missingPathMessage(6).isEmpty());
    EXPECT_TRUE(missingPathMessage(-1).isEmpty());
}

TEST(GameCommand, CommandLineIsParametersPasswordConnectAddressPortBlank)
{
    const vantry::browser::StaticSettings defaults;
    const char* expected[] = {
        "-console +connect 10.0.0.5:27015 ",
        "-game cstrike -console +connect 10.0.0.5:27015 ",
        "-game cstrike +connect 10.0.0.5:27015 ",
        "-game czero +connect 10.0.0.5:27015 ",
        "-steam -game cstrike -console +connect 10.0.0.5:27015 ",
        "-steam -game hl2mp +connect 10.0.0.5:27015 ",
    };
    for (int slot = 0; slot < 6; ++slot)
        EXPECT_EQ(
            commandLine(defaults.startParams(slot), QStringLiteral("10.0.0.5"), QStringLiteral("27015"), {}),
            QString::fromLatin1(expected[slot]))
            << slot;
    EXPECT_EQ(commandLine(QStringLiteral("-game czero"), QStringLiteral("10.0.0.5"), QStringLiteral("27016"),
                          QStringLiteral("+password se cret ")),
              QStringLiteral("-game czero +password se cret  +connect 10.0.0.5:27016 "));
    EXPECT_EQ(commandLine({}, QStringLiteral("10.0.0.5"), QStringLiteral("27015"), {}),
              QStringLiteral(" +connect 10.0.0.5:27015 "));
}

TEST(GameCommand, NothingInServerDataOrPasswordBecomesAnArgumentOfItsOwn)
{
    const QStringList plain = gameArguments(QStringLiteral("  -game\tcstrike   -console "),
                                            QStringLiteral("10.0.0.5"), QStringLiteral("27015"), {})
                                  .arguments;
    EXPECT_EQ(plain,
              (QStringList{QStringLiteral("-game"), QStringLiteral("cstrike"), QStringLiteral("-console"),
                           QStringLiteral("+connect"), QStringLiteral("10.0.0.5:27015")}));

    // The password stays whole: blanks at either end, shell syntax and a second command alike.
    const QString password = QStringLiteral(" a b; rm -rf ~ && \"x\" +exec evil.cfg ");
    const QStringList withPassword =
        gameArguments(QStringLiteral("-game cstrike"), QStringLiteral("10.0.0.5"), QStringLiteral("27015"),
                      QStringLiteral("+password ") + password)
            .arguments;
    EXPECT_EQ(withPassword,
              (QStringList{QStringLiteral("-game"), QStringLiteral("cstrike"), QStringLiteral("+password"),
                           password, QStringLiteral("+connect"), QStringLiteral("10.0.0.5:27015")}));

    // Texts that came from a server reply stay in the one connect argument.
    const QStringList hostile =
        gameArguments({}, QStringLiteral("10.0.0.5 +exec x"), QStringLiteral("1 \"+quit"), {}).arguments;
    EXPECT_EQ(hostile,
              (QStringList{QStringLiteral("+connect"), QStringLiteral("10.0.0.5 +exec x:1 \"+quit")}));
}
