#include "SourceInfo.h"

#include "RowText.h"

#include <array>
#include <string_view>

namespace vantry::query {

using namespace rowtext;

TCSSinfo decodeCSSinfo(Bytes datagram)
{
    ByteReader in(datagram, 5);
    TCSSinfo info;
    info.protocol = in.u8();
    info.name = in.cstring();
    info.map = in.cstring();
    info.gameDirectory = in.cstring();
    info.description = in.cstring();
    in.skip(2); // application number
    info.players = in.u8();
    info.maxPlayers = in.u8();
    info.bots = in.u8();
    info.serverType = in.u8();
    info.os = in.u8();
    info.password = in.u8();
    return info;
}

namespace {

struct Kind
{
    std::string_view description;
    const char* kind;
    Image image;
};

constexpr std::array<Kind, 3> SourceKinds = {{
    {"Deathmatch", "HL2", Image::HalfLife2},
    {"Counter-Strike:Source Bots Enabled", "CSS", Image::Source},
    {"Counter-Strike: Source", "CSS", Image::Source},
}};

} // namespace

std::optional<ServerRow> AddCSS(Bytes datagram, const Source& from)
{
    const TCSSinfo info = decodeCSSinfo(datagram);
    const Kind* kind = nullptr;
    for (const Kind& k : SourceKinds)
        if (chars(info.description) == k.description) {
            kind = &k;
            break;
        }
    if (!kind)
        return std::nullopt;

    ServerRow row;
    row.kind = kind->kind;
    row.kindImage = kind->image;
    row.name = shown(info.name);
    row.address = from.address;
    row.port = decimal(from.port);
    row.protocol = decimal(info.protocol);
    row.map = shown(info.map);
    // Bots are neither shown nor subtracted.
    row.players = decimal(info.players) + "/" + decimal(info.maxPlayers);
    row.windows = isWindows(info.os);
    row.status = binaryStatus(info.password, info.players, info.maxPlayers);
    row.playerCount = info.players;
    row.identity = Identity::AddressAndPort;
    row.identityPort = from.port;
    return row;
}

} // namespace vantry::query
