#include "MasterFilter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace vantry::query {

namespace {

std::string lowered(std::string_view word)
{
    std::string out(word);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

} // namespace

int applicationNumber(ListedGame game)
{
    switch (game) {
    case ListedGame::HalfLife:
        return 70;
    case ListedGame::CounterStrike:
        return 10;
    case ListedGame::ConditionZero:
        return 80;
    case ListedGame::CounterStrikeSource:
        return 240;
    case ListedGame::HalfLife2Deathmatch:
        return 320;
    }
    return 10;
}

std::string_view gameDirectory(ListedGame game)
{
    switch (game) {
    // Half-Life's number also carries its deathmatch mods, each in a folder of its own; they
    // are Half-Life servers to the list all the same.
    case ListedGame::HalfLife:
        return {};
    // Counter-Strike and Counter-Strike: Source share the folder; the number tells them apart
    // and the folder keeps out other mods that register under the number.
    case ListedGame::CounterStrike:
    case ListedGame::CounterStrikeSource:
        return "cstrike";
    case ListedGame::ConditionZero:
        return "czero";
    case ListedGame::HalfLife2Deathmatch:
        return "hl2mp";
    }
    return {};
}

std::string filterText(const ListFilter& filter)
{
    std::string out = "\\appid\\" + std::to_string(applicationNumber(filter.game));
    if (const std::string_view dir = gameDirectory(filter.game); !dir.empty())
        out += "\\gamedir\\" + std::string(dir);
    if (filter.notEmpty)
        out += "\\empty\\1";
    if (filter.notFull)
        out += "\\full\\1";
    if (filter.noPassword)
        out += "\\password\\0";
    if (filter.proxiesOnly)
        out += "\\proxy\\1";
    return out;
}

std::optional<ListedGame> parseListedGame(std::string_view word)
{
    static const std::array<std::pair<std::string_view, ListedGame>, 13> names = {{
        {"hl", ListedGame::HalfLife},
        {"1.5", ListedGame::CounterStrike},
        {"1.6", ListedGame::CounterStrike},
        {"cs1.5", ListedGame::CounterStrike},
        {"cs1.6", ListedGame::CounterStrike},
        {"cs", ListedGame::CounterStrike},
        {"cz", ListedGame::ConditionZero},
        {"czero", ListedGame::ConditionZero},
        {"css", ListedGame::CounterStrikeSource},
        {"hl2", ListedGame::HalfLife2Deathmatch},
        {"hl2dm", ListedGame::HalfLife2Deathmatch},
        {"hl2mp", ListedGame::HalfLife2Deathmatch},
        {"halflife", ListedGame::HalfLife},
    }};
    const std::string key = lowered(word);
    for (const auto& [name, game] : names) {
        if (key == name)
            return game;
    }
    return std::nullopt;
}

std::optional<MasterRegion> parseMasterRegion(std::string_view word)
{
    static const std::array<std::string_view, 8> names = {
        "us-east", "us-west", "south-america", "europe", "asia", "australia", "middle-east", "africa",
    };
    const std::string key = lowered(word);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (key == names[i] || key == std::to_string(i))
            return static_cast<MasterRegion>(i);
    }
    if (key == "all" || key == "255" || key == "0xff")
        return MasterRegion::All;
    return std::nullopt;
}

} // namespace vantry::query
