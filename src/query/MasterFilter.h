#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What to ask a server list for: the game, the region and a few options, in the filter syntax
// that both the UDP masters and the Steam Web API take (\key\value pairs back to back).
namespace vantry::query {

// The games Vantry lists, by the application number their servers register under.
enum class ListedGame
{
    HalfLife,            // 70
    CounterStrike,       // 10: 1.6 and 1.5 register alike
    ConditionZero,       // 80
    CounterStrikeSource, // 240
    HalfLife2Deathmatch, // 320
};

// The region byte of a master request.
enum class MasterRegion : std::uint8_t
{
    UsEast = 0x00,
    UsWest = 0x01,
    SouthAmerica = 0x02,
    Europe = 0x03,
    Asia = 0x04,
    Australia = 0x05,
    MiddleEast = 0x06,
    Africa = 0x07,
    All = 0xFF, // every region, unclassified servers included
};

struct ListFilter
{
    ListedGame game = ListedGame::CounterStrike;
    bool notEmpty = false;    // \empty\1
    bool notFull = false;     // \full\1
    bool noPassword = false;  // \password\0
    bool proxiesOnly = false; // \proxy\1: spectator relays
};

int applicationNumber(ListedGame game);
// The game folder its servers report, "" where the application number says enough.
std::string_view gameDirectory(ListedGame game);

// E.g. \appid\10\gamedir\cstrike\empty\1 for Counter-Strike servers that are not empty.
std::string filterText(const ListFilter& filter);

// A game by the words a user knows it by, in any case: the list's kind texts ("HL", "1.5",
// "1.6", "CZ", "CSS", "HL2"), the game slots' names ("CS1.5", "CS1.6", "CZERO", "HL2DM"), and
// "cs", "hl2mp"; none for any other word.
std::optional<ListedGame> parseListedGame(std::string_view word);
// A region by its number (0 to 7, 255 or 0xFF) or its name ("us-east", "us-west",
// "south-america", "europe", "asia", "australia", "middle-east", "africa", "all").
std::optional<MasterRegion> parseMasterRegion(std::string_view word);

} // namespace vantry::query
