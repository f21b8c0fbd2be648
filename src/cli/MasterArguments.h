#pragma once

#include "CliArguments.h"

#include <optional>
#include <string>

namespace vantry::cli {

// What "vantry master" wants beyond each option's own value (no word given twice over, a game the
// lists know); on failure, what is wrong. Without --game or --filter the game is 1.6.
std::optional<std::string> checkMaster(CliOptions& options);

// The filter the options ask for: --filter as given, or the game's with the options appended.
std::string masterFilterText(const CliOptions& options);

std::string masterUsageText();

// The game folder the community lists know the game by; none for the newer engine's games.
std::optional<std::string> xashGameDir(const CliOptions& options);
inline bool asksXash(const CliOptions& o)
{
    return o.xash || !o.xashMasters.empty() || o.listUrl;
}

} // namespace vantry::cli
