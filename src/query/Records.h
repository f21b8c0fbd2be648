#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantry::query {

// Where a datagram came from, as the endpoint reports it.
struct Source
{
    std::string address; // dotted decimal, no leading zeros
    std::uint16_t port = 0;
};

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
    AddressAndPort, // 'm' and 'I' replies: address text and the row's port value
    AddressOnly,    // old info-string replies: one row per address
};

// One server row as an info decoder builds it. Texts are UTF-8.
struct ServerRow
{
    std::string kind; // "HL", "1.5", "1.6", "CZ", "CSS", "HL2" or "?"
    Image kindImage = Image::CounterStrike;
    std::string name;
    std::string address; // the sender's address text
    std::string port;    // decimal text shown in the port column
    std::string protocol;
    std::string map;
    std::string players;            // "current/maximum"
    bool windows = false;           // OS column: "WIN" when true, "LIN" otherwise
    std::optional<Image> status;    // Open, Full, Password, or none (old replies only)
    std::optional<int> playerCount; // for the auto-connect check; none when the text is not a number
    Identity identity = Identity::AddressAndPort;
    std::uint16_t identityPort = 0; // the port value the duplicate test compares (AddressAndPort only)
    std::optional<int> pingMs;      // round trip of the info request; none when not known
    // Values the list does not show, for the command line's output.
    std::optional<int> maxPlayerCount;    // none when the text is not a number
    std::optional<int> botCount;          // none when the reply does not say
    std::optional<bool> passwordRequired; // a flag other than 0; none for old texts but "0" and "1"
    char osIndicator = 0;                 // as received ('l', 'w', ...); 0 when the reply has none
};

struct PlayerRow
{
    std::string name; // UTF-8; empty when the reply's name was not UTF-8, not even cut short
    std::int32_t kills = 0;
};

struct RuleRow
{
    std::string name;
    std::string value;
};

} // namespace vantry::query
