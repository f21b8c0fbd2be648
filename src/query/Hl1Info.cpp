#include "Hl1Info.h"

#include "RowText.h"

#include <array>
#include <string_view>

namespace vantry::query {

using namespace rowtext;

THL1info decodeHL1info(Bytes datagram)
{
    ByteReader in(datagram, 5);
    THL1info info;
    info.address = in.cstring();
    info.name = in.cstring();
    info.map = in.cstring();
    info.gameDirectory = in.cstring();
    info.description = in.cstring();
    info.players = in.u8();
    info.maxPlayers = in.u8();
    info.protocol = in.u8();
    info.serverType = in.u8();
    info.os = in.u8();
    info.password = in.u8();
    info.mod = in.u8();
    info.modLink = in.cstring();
    info.modDownload = in.cstring();
    return info;
}

std::uint8_t hl1Bots(Bytes datagram)
{
    ByteReader in(datagram, 5);
    for (int i = 0; i < 5; ++i)
        in.cstring(); // address, name, map, game directory, description
    in.skip(6);       // players .. password
    if (in.u8() == 1) {
        in.cstring();
        in.cstring();
        in.skip(1 + 4 + 4 + 1 + 1);
    }
    in.skip(1); // secure
    return in.u8();
}

namespace {

struct Kind
{
    std::string_view description;
    std::optional<Game> kind; // none: "1.5" for protocol 46, otherwise "1.6"
    Image image;
};

constexpr std::array<Kind, 5> Hl1Kinds = {{
    {"Counter-Strike", Game::CounterStrike16, Image::CounterStrike},
    {"HLTV", std::nullopt, Image::Hltv},
    {"CounterStrike", Game::CounterStrike15, Image::CounterStrike},
    {"Half-Life", Game::HalfLife, Image::HalfLife},
    {"Condition Zero", Game::ConditionZero, Image::ConditionZero},
}};

Game byProtocol(std::uint8_t protocol)
{
    return protocol == 46 ? Game::CounterStrike15 : Game::CounterStrike16;
}

} // namespace

std::optional<GameKind> hl1Kind(std::string_view description, std::uint8_t protocol)
{
    for (const Kind& k : Hl1Kinds)
        if (description == k.description)
            return GameKind{k.kind ? *k.kind : byProtocol(protocol), k.image};
    return std::nullopt;
}

std::optional<GameKind> hl1KindByDirectory(std::string_view directory, std::uint8_t protocol)
{
    // Protocol 46 is the engine of Counter-Strike 1.5; its slot starts another game than 1.6's.
    if (directory == "cstrike")
        return GameKind{byProtocol(protocol), Image::CounterStrike};
    if (directory == "czero")
        return GameKind{Game::ConditionZero, Image::ConditionZero};
    if (directory == "valve")
        return GameKind{Game::HalfLife, Image::HalfLife};
    return std::nullopt;
}

std::optional<ServerRow> AddHL1(Bytes datagram, const Endpoint& from)
{
    const THL1info info = decodeHL1info(datagram);
    std::optional<GameKind> kind = hl1Kind(chars(info.description), info.protocol);
    if (!kind)
        kind = hl1KindByDirectory(chars(info.gameDirectory), info.protocol);
    if (!kind)
        return std::nullopt;

    ServerRow row;
    row.kind = kind->kind;
    row.kindImage = kind->image;
    row.name = shown(info.name);
    // The address field is the server's own idea of where it runs, wrong behind NAT: the duplicate
    // test, the favourites and the game's command line take the sender.
    row.from = from;
    row.protocol = info.protocol;
    row.map = shown(info.map);
    row.windows = isWindows(info.os);
    row.status = binaryStatus(info.password, info.players, info.maxPlayers);
    row.playerCount = info.players;
    row.identity = Identity::AddressAndPort;
    row.maxPlayerCount = info.maxPlayers;
    row.botCount = hl1Bots(datagram);
    row.passwordRequired = info.password != 0;
    row.osIndicator = static_cast<char>(info.os);
    return row;
}

} // namespace vantry::query
