#include "RowText.h"

#include "Text.h"

#include <charconv>

namespace vantry::query::rowtext {

std::string raw(Bytes bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

std::string_view chars(Bytes bytes)
{
    // char may alias any object, so viewing the bytes as chars is well-defined.
    return {static_cast<const char*>(static_cast<const void*>(bytes.data())), bytes.size()};
}

std::string shown(Bytes bytes)
{
    return decodeName(bytes);
}

std::string shown(const std::string& bytes)
{
    return decodeName({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

std::string decimal(unsigned value)
{
    return std::to_string(value);
}

std::optional<int> decimalValue(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    for (const char c : text)
        if (c < '0' || c > '9')
            return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool isWindows(std::uint8_t osIndicator)
{
    return osIndicator == 'W' || osIndicator == 'w';
}

Image binaryStatus(std::uint8_t passwordFlag, std::uint8_t players, std::uint8_t maximum)
{
    if (passwordFlag == 0 && players < maximum)
        return Image::Open;
    if (passwordFlag == 1)
        return Image::Password;
    return Image::Full;
}

} // namespace vantry::query::rowtext

namespace vantry::query {

const char* gameText(Game game)
{
    switch (game) {
    case Game::HalfLife:
        return "HL";
    case Game::CounterStrike15:
        return "1.5";
    case Game::CounterStrike16:
        return "1.6";
    case Game::ConditionZero:
        return "CZ";
    case Game::CounterStrikeSource:
        return "CSS";
    case Game::HalfLife2:
        return "HL2";
    case Game::Unknown:
        break;
    }
    return "?";
}

bool isGoldSrcGame(Game game)
{
    return game == Game::HalfLife || game == Game::CounterStrike15 || game == Game::CounterStrike16 ||
           game == Game::ConditionZero;
}

bool needsXashClient(Game game, int protocol)
{
    return protocol == XashProtocol && isGoldSrcGame(game);
}

std::string protocolText(const ServerRow& row)
{
    return row.oldTexts ? row.oldTexts->protocol : std::to_string(row.protocol);
}

std::string playersText(const ServerRow& row)
{
    if (row.oldTexts)
        return row.oldTexts->players;
    return std::to_string(row.playerCount.value_or(0)) + '/' + std::to_string(row.maxPlayerCount.value_or(0));
}

} // namespace vantry::query
