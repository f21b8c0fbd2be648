#pragma once

#include "Endpoint.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantry::query {

// Indices into the 16x16 image list; kind images 0..6 also index the 32x32 list.
enum class Image : int
{
    CounterStrike = 0,
    ConditionZero = 1,
    HalfLife = 2,
    Source = 3,
    Hltv = 4,
    HalfLife2 = 5,
    Demo = 6,
    MapHeader = 7,
    Open = 8,
    Full = 9,
    Password = 10,
    PlayersHeader = 11,
    Windows = 13,
    Linux = 14,
    OsHeader = 15,
    AddressHeader = 16,
    NameHeader = 17,
};

// How the duplicate test recognises a listed server.
enum class Identity
{
    AddressAndPort, // 'm' and 'I' replies: address and port
    AddressOnly,    // old info-string replies: one row per address
};

// The game column: one of ours, or '?' for an old info-string reply of another description.
enum class Game : std::uint8_t
{
    HalfLife,
    CounterStrike15,
    CounterStrike16,
    ConditionZero,
    CounterStrikeSource,
    HalfLife2,
    Unknown,
};

// "HL", "1.5", "1.6", "CZ", "CSS", "HL2" or "?".
const char* gameText(Game game);

// The older engine's games (HL, 1.5, 1.6, CZ), which one GoldSrc client runs.
bool isGoldSrcGame(Game game);

// Servers of the Xash3D FWGS engine answer with this protocol. They run the older engine's games,
// but the GoldSrc client (protocol 48) cannot join them; the Xash3D FWGS client can.
inline constexpr int XashProtocol = 49;
bool needsXashClient(Game game, int protocol);

// Texts shown as they are where the binary replies have numbers: an old info-string reply's, or a
// public list's row that has no protocol.
struct OldTexts
{
    std::string protocol;
    std::string players; // "current/maximum"
};

// One server row as an info decoder builds it: numbers and enums; texts are UTF-8.
struct ServerRow
{
    Game kind = Game::CounterStrike16;
    Image kindImage = Image::CounterStrike;
    std::string name;
    // The sender: the duplicate test, the favourites and the game's command line use it.
    Endpoint from;
    int protocol = 0; // of an old reply: its text's value, or 0
    std::string map;
    bool windows = false;           // OS column: "WIN" when true, "LIN" otherwise
    std::optional<Image> status;    // Open, Full, Password, or none (old replies only)
    std::optional<int> playerCount; // none when the text is not a number
    Identity identity = Identity::AddressAndPort;
    std::optional<int> pingMs;            // round trip of the info request; none when not known
    std::optional<int> maxPlayerCount;    // none when the text is not a number
    std::optional<int> botCount;          // none when the reply does not say
    std::optional<bool> passwordRequired; // a flag other than 0; none for old texts but "0" and "1"
    char osIndicator = 0;                 // as received ('l', 'w', ...); 0 when the reply has none
    std::optional<OldTexts> oldTexts;     // none for the binary replies
};

// The texts of the list's columns.
std::string protocolText(const ServerRow& row);
std::string playersText(const ServerRow& row);

struct PlayerRow
{
    std::string name; // UTF-8; empty when the reply's name was not UTF-8, not even cut short
    std::int32_t kills = 0;
    float seconds = 0; // connected for; not a number or negative as the server sent it
};

struct RuleRow
{
    std::string name;
    std::string value;
};

} // namespace vantry::query
