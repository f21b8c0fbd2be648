#pragma once

#include "ByteReader.h"
#include "Records.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace vantry::query {

// The info reply of type 'm' as read from the datagram. Texts are views of the datagram's bytes:
// the record is valid while the datagram is.
struct THL1info
{
    Bytes address; // the server's own "address:port"
    Bytes name;
    Bytes map;
    Bytes gameDirectory;
    Bytes description;
    std::uint8_t players = 0;
    std::uint8_t maxPlayers = 0;
    std::uint8_t protocol = 0;
    std::uint8_t serverType = 0;
    std::uint8_t os = 0;
    std::uint8_t password = 0;
    std::uint8_t mod = 0;
    Bytes modLink;
    Bytes modDownload;
};

// Reads the fields from offset 5 on; bytes past the datagram's end read as zeros.
THL1info decodeHL1info(Bytes datagram);

// The bot count of an 'm' reply: after the mod flag come, for a mod, its two strings, a NUL, its
// version and size (4 bytes each), its type and DLL bytes; then the secure byte and the bots.
// Bytes past the datagram's end read as zeros.
std::uint8_t hl1Bots(Bytes datagram);

struct GameKind
{
    Game kind;
    Image image;
};

// The HL1 table: the game description, and the protocol for relays ("1.5" at 46, else "1.6").
std::optional<GameKind> hl1Kind(std::string_view description, std::uint8_t protocol);

// The game of an older-engine server whose description a plugin replaced, by its game directory:
// "cstrike" is "1.5" at protocol 46 and "1.6" otherwise, "czero" "CZ", "valve" "HL"; other
// directories (other games) none.
std::optional<GameKind> hl1KindByDirectory(std::string_view directory, std::uint8_t protocol);

// The row of an 'm' reply, or none when its game is not one of ours. No duplicate test here.
std::optional<ServerRow> AddHL1(Bytes datagram, const Endpoint& from);

} // namespace vantry::query
