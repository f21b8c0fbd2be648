#pragma once

#include "ResultFilter.h"
#include "query/MasterFilter.h"
#include "query/MasterPaging.h"
#include "query/QuerySession.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantry::cli {

struct HostArgument
{
    std::string host;                  // a dotted quad or a name
    std::optional<std::uint16_t> port; // none: the default port
};

enum class Command
{
    Window, // no command word: the window program's own options
    Query,  // the servers named on the command line
    Sweep,  // every address of a range
    Master, // the public lists of masters and the Steam Web API
};

// Every command's options in one record; each command reads the fields of its own options.
struct CliOptions
{
    Command command = Command::Query;
    bool help = false;
    bool version = false; // window
    bool scan = false;    // window: a sweep as soon as the window shows
    std::optional<std::string> settingsFile;

    std::vector<HostArgument> hosts;   // query
    std::uint32_t from = 0;            // sweep, host order
    std::uint32_t to = 0;              //
    std::optional<std::uint16_t> port; // --port: the default port of hosts and of the sweep

    // How the servers are asked and what is printed: query, sweep and master --query.
    std::optional<int> delayMs;          // --delay: pause after each probe
    std::optional<int> rate;             // --rate: probes per second, 0 unpaced
    int timeoutMs = 1000;                // --timeout: wait after the last request
    bool timeoutGiven = false;           // a master's --timeout also bounds the wait for the Steam Web API
    int retries = query::DefaultRetries; // --retries: more asks of a host that has not answered
    bool json = false;
    bool players = false;
    std::optional<std::string> player; // --player: only servers with a player so named, and him
    bool rules = false;
    bool old = false;     // also send the old info request
    ResultFilter printed; // which answering servers are printed; a master is asked the same

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
    query::MasterPacing pacing;            // --pace, --master-timeout, --limit
    bool paceGiven = false;                // --pace: every master at that fixed pace
    bool query = false;                    // --query: ask every listed server
};

inline constexpr std::uint16_t DefaultPort = 27015;
inline constexpr std::uint16_t DefaultMasterPort = 27011;
inline constexpr int DefaultDelayMs = 5;
// Probes per second of a query and of a master's list when no --delay is given: 4,096 servers in
// about 40 ms, about what a machine's own answers keep up with; lost answers are asked again.
inline constexpr int MaxRate = 1'000'000;
inline constexpr int MaxDelayMs = 1000;
inline constexpr int MaxTimeoutMs = 60'000;
inline constexpr int MaxPaceMs = 600'000;
inline constexpr int MaxListLimit = 1'000'000;

// Parses the words after the program name, the command first. On failure the text says what is
// wrong, in one line without the program name; it never holds a word that may be a key.
struct ParsedArguments
{
    std::optional<CliOptions> options;
    std::string error;
};
ParsedArguments parseArguments(const std::vector<std::string>& words);

// Whether the word names a command of the command line ("query", "sweep", "master").
bool isCliCommand(std::string_view word);

std::string usageText();

// Decimal digits only, within low..high.
std::optional<int> parseNumber(std::string_view text, int low, int high);
// HOST[:PORT] as a server or master is named: a dotted quad or a name, never an IPv6 address and
// never a dotted number that is not an IPv4 address (a resolver would take "256.1.1.1" for a name).
// On failure, the sentence to print.
std::optional<HostArgument> parseHostWord(const std::string& word, std::string& error);

} // namespace vantry::cli
