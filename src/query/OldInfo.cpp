#include "OldInfo.h"

#include "RowText.h"

#include <algorithm>
#include <array>

namespace vantry::query {

using namespace rowtext;

namespace {

constexpr std::size_t InfoStringOffset = 23;

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::size_t findFolded(std::string_view haystack, std::string_view needle, std::size_t from)
{
    if (needle.empty() || from > haystack.size() || haystack.size() - from < needle.size())
        return std::string_view::npos;
    const auto at =
        std::search(haystack.begin() + static_cast<std::ptrdiff_t>(from), haystack.end(), needle.begin(),
                    needle.end(), [](char a, char b) { return upper(a) == upper(b); });
    return at == haystack.end() ? std::string_view::npos : static_cast<std::size_t>(at - haystack.begin());
}

} // namespace

std::string_view oldInfoString(Bytes datagram)
{
    if (datagram.size() <= InfoStringOffset)
        return {};
    ByteReader in(datagram, InfoStringOffset);
    return chars(in.cstring());
}

std::string extractField(std::string_view infoString, std::string_view marker)
{
    std::string value;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = findFolded(infoString, marker, from);
        if (at == std::string_view::npos)
            break;
        const std::size_t start = at + marker.size();
        const std::size_t end = infoString.find('\\', start);
        if (end == std::string_view::npos)
            break;
        value.assign(infoString.substr(start, end - start));
        from = end + 1;
    }
    return value;
}

OldInfoFields extractOldInfo(Bytes datagram)
{
    const std::string_view info = oldInfoString(datagram);
    OldInfoFields f;
    f.name = extractField(info, "\\hostname\\");
    f.map = extractField(info, "\\map\\");
    f.players = extractField(info, "\\players\\");
    f.maximum = extractField(info, "\\max\\");
    f.os = extractField(info, "\\os\\");
    f.password = extractField(info, "\\password\\");
    f.relay = extractField(info, "\\proxy\\");
    f.protocol = extractField(info, "\\protocol\\");
    f.description = extractField(info, "\\description\\");
    f.bots = extractField(info, "\\bots\\");
    return f;
}

namespace {

enum class KindRule
{
    Fixed,      // the kind text as given; relay image when the relay marker is "1"
    ByProtocol, // "1.5" for protocol 46, otherwise "1.6"; image as given
};

struct Kind
{
    std::string_view description;
    KindRule rule;
    Game kind;
    Image image;
};

constexpr std::array<Kind, 6> OldKinds = {{
    {"Counter-Strike", KindRule::Fixed, Game::CounterStrike16, Image::CounterStrike},
    {"CounterStrike", KindRule::Fixed, Game::CounterStrike15, Image::CounterStrike},
    {"Condition Zero", KindRule::Fixed, Game::ConditionZero, Image::ConditionZero},
    {"Half-Life", KindRule::Fixed, Game::HalfLife, Image::HalfLife},
    {"HLTV", KindRule::ByProtocol, Game::Unknown, Image::Hltv},
    {"Demo Playback", KindRule::ByProtocol, Game::Unknown, Image::Demo},
}};

} // namespace

ServerRow AddOld(const OldInfoFields& f, const Endpoint& from)
{
    ServerRow row;
    row.kind = Game::Unknown;
    row.kindImage = Image::CounterStrike; // a new row's default image
    for (const Kind& k : OldKinds) {
        if (f.description != k.description)
            continue;
        if (k.rule == KindRule::Fixed) {
            row.kind = k.kind;
            row.kindImage = f.relay == "1" ? Image::Hltv : k.image;
        } else {
            row.kind = decimalValue(f.protocol) == 46 ? Game::CounterStrike15 : Game::CounterStrike16;
            row.kindImage = k.image;
        }
        break;
    }
    row.name = shown(f.name);
    row.from = from;
    row.protocol = decimalValue(f.protocol).value_or(0);
    row.oldTexts = OldTexts{shown(f.protocol), shown(f.players) + "/" + shown(f.maximum)};
    row.map = shown(f.map);
    row.windows = !f.os.empty() && isWindows(static_cast<std::uint8_t>(f.os.front()));
    // Full is decided on the texts: "08" of "8" counts as a free slot.
    if (f.password == "0")
        row.status = f.players != f.maximum ? Image::Open : Image::Full;
    else if (f.password == "1")
        row.status = Image::Password;
    row.playerCount = decimalValue(f.players);
    row.identity = Identity::AddressOnly;
    row.maxPlayerCount = decimalValue(f.maximum);
    row.botCount = decimalValue(f.bots);
    if (f.password == "0" || f.password == "1")
        row.passwordRequired = f.password == "1";
    row.osIndicator = f.os.empty() ? '\0' : f.os.front();
    return row;
}

} // namespace vantry::query
