#pragma once

#include "CliArguments.h"
#include "query/MasterFilter.h"
#include "query/MasterPaging.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantry::cli {

inline constexpr std::uint16_t DefaultMasterPort = 27011;
inline constexpr int MaxPaceMs = 600'000;
inline constexpr std::size_t MaxListLimit = 1'000'000;

// "vantry master ..."
struct MasterOptions
{
    std::optional<std::string> steamKey;     // --steam-key
    std::optional<std::string> steamKeyFile; // --steam-key-file: where the key is read from
    std::vector<HostArgument> masters;       // --master, in the order given
    std::optional<std::string> apiUrl;       // --api-url
    bool xash = false;                       // --xash: the community's preset masters
    std::vector<HostArgument> xashMasters;   // --xash-master, port 27010 when not given
    std::optional<std::string> listUrl;      // --list-url: the community's HTTP list
    query::MasterRegion region = query::MasterRegion::All;
    std::optional<query::ListedGame> game; // --game; none with --filter
    std::optional<std::string> filter;     // --filter: sent as it is
    bool notEmpty = false;
    bool notFull = false;
    bool noPassword = false;
    query::MasterPacing pacing; // --pace, --master-timeout, --limit
    bool query = false;
    bool json = false;
    // For --query, as "vantry query" takes them.
    std::optional<int> delayMs;
    std::optional<int> rate;
    bool paceGiven = false; // --pace: every master at that fixed pace
    int timeoutMs = 1000;
    bool timeoutGiven = false; // --timeout also bounds the wait for the Steam Web API
    int retries = DefaultRetries;
    bool players = false;
    std::optional<std::string> player;
    bool rules = false;
    bool old = false;
    ResultFilter printed; // for --query: which answering servers are printed
    bool help = false;
    std::optional<std::string> settingsFile;
};

struct ParsedMasterArguments
{
    std::optional<MasterOptions> options;
    std::string error;
};
// The words after the program name, "master" first. An error text never holds the key.
ParsedMasterArguments parseMasterArguments(const std::vector<std::string>& words);

// The filter the options ask for: --filter as given, or the game's with the options appended.
std::string masterFilterText(const MasterOptions& options);

std::string masterUsageText();

// The game folder the community lists know the game by; none for the newer engine's games.
std::optional<std::string> xashGameDir(const MasterOptions& options);
inline bool asksXash(const MasterOptions& o)
{
    return o.xash || !o.xashMasters.empty() || o.listUrl;
}

} // namespace vantry::cli
