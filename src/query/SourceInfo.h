#pragma once

#include "ByteReader.h"
#include "Records.h"

#include <cstdint>
#include <optional>

namespace vantry::query {

// The info reply of type 'I' as read from the datagram. Texts are views of the datagram's bytes:
// the record is valid while the datagram is.
struct TCSSinfo
{
    std::uint8_t protocol = 0;
    Bytes name;
    Bytes map;
    Bytes gameDirectory;
    Bytes description;
    std::uint8_t players = 0;
    std::uint8_t maxPlayers = 0;
    std::uint8_t bots = 0;
    std::uint8_t serverType = 0;
    std::uint8_t os = 0;
    std::uint8_t password = 0;
    std::uint16_t applicationNumber = 0;
};

// Reads the fields from offset 5 on; bytes past the datagram's end read as zeros.
TCSSinfo decodeCSSinfo(Bytes datagram);

// The row of an 'I' reply, or none when its game is not one of ours. The description decides
// (the Source table; for the older engine, protocol 48 or application number 10, 80 or 70, the HL1
// table); a description a plugin replaced leaves it to the game directory and application number.
// No duplicate test here.
std::optional<ServerRow> AddCSS(Bytes datagram, const Endpoint& from);

} // namespace vantry::query
