#include "SourceInfo.h"

#include "Hl1Info.h"
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
    info.applicationNumber = in.u8();
    info.applicationNumber = static_cast<std::uint16_t>(info.applicationNumber | (in.u8() << 8));
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
    Game kind;
    Image image;
};

constexpr std::array<Kind, 3> SourceKinds = {{
    {"Deathmatch", Game::HalfLife2, Image::HalfLife2},
    {"Counter-Strike:Source Bots Enabled", Game::CounterStrikeSource, Image::Source},
    {"Counter-Strike: Source", Game::CounterStrikeSource, Image::Source},
}};

bool olderEngine(const TCSSinfo& info)
{
    constexpr std::uint8_t OlderProtocol = 48;
    const std::uint16_t app = info.applicationNumber;
    return info.protocol == OlderProtocol || app == 10 || app == 80 || app == 70;
}

std::optional<GameKind> sourceKind(const TCSSinfo& info)
{
    const std::string_view description = chars(info.description);
    for (const Kind& k : SourceKinds)
        if (description == k.description)
            return GameKind{k.kind, k.image};
    if (olderEngine(info))
        if (auto kind = hl1Kind(description, info.protocol))
            return kind;

    constexpr std::uint16_t CounterStrikeSource = 240;
    constexpr std::uint16_t HalfLife2Deathmatch = 320;
    const std::string_view directory = chars(info.gameDirectory);
    if (directory == "cstrike" && info.applicationNumber == CounterStrikeSource)
        return GameKind{Game::CounterStrikeSource, Image::Source};
    if (directory == "hl2mp" || info.applicationNumber == HalfLife2Deathmatch)
        return GameKind{Game::HalfLife2, Image::HalfLife2};
    return hl1KindByDirectory(directory, info.protocol);
}

} // namespace

std::optional<ServerRow> AddCSS(Bytes datagram, const Endpoint& from)
{
    const TCSSinfo info = decodeCSSinfo(datagram);
    const std::optional<GameKind> kind = sourceKind(info);
    if (!kind)
        return std::nullopt;

    ServerRow row;
    row.kind = kind->kind;
    row.kindImage = kind->image;
    row.name = shown(info.name);
    row.from = from;
    row.protocol = info.protocol;
    row.map = shown(info.map);
    // Bots are neither shown nor subtracted.
    row.windows = isWindows(info.os);
    row.status = binaryStatus(info.password, info.players, info.maxPlayers);
    row.playerCount = info.players;
    row.identity = Identity::AddressAndPort;
    row.maxPlayerCount = info.maxPlayers;
    row.botCount = info.bots;
    row.passwordRequired = info.password != 0;
    row.osIndicator = static_cast<char>(info.os);
    return row;
}

} // namespace vantry::query
