#pragma once

#include "CliArguments.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantry::cli {

// Where a command's usage lists an option, in the order each command's usage shows them.
enum class Section : unsigned
{
    Window,
    Query,
    QueryFilter,
    MasterSources,
    MasterList,
    MasterOutput,
    MasterFilter,
};

// How an option's argument is read, and so what a wrong one is told.
enum class ValueKind
{
    Flag,   // none; "--flag=value" is refused
    Number, // decimal digits from low to high
    Text,   // any text but an empty one
    Filter, // any text, empty too, of at most `high` bytes
    Host,   // HOST[:PORT], a dotted quad or a name
    Url,    // an http:// or https:// address
    Region, // a master region, by number or name
    Game,   // a listed game
};

// An argument once read: `number` for a number, a region or a game; `host` for a host.
struct OptionValue
{
    std::string text;
    int number = 0;
    HostArgument host;
};

struct Option
{
    struct Help
    {
        unsigned sections = 0;      // bits 1 << Section
        const char* text = nullptr; // lines after the first are indented under it
    };

    const char* name;     // "--port"
    const char* alias;    // "-h", or nullptr
    const char* argument; // as usage shows it ("N"); nullptr for a flag
    unsigned commands;    // bits 1 << Command
    ValueKind kind;
    int low;           // Number: least value
    int high;          // Number: greatest value; Filter: most bytes
    const char* wants; // "--x wants ...": what a missing or wrong argument lacks
    bool once;         // a second use is refused
    void (*apply)(CliOptions& options, const OptionValue& value);
    std::array<Help, 3> help; // none: accepted but not listed
};

// The option of this command that the word names (without "=value"); nullptr when none does.
const Option* findOption(Command command, std::string_view word);

// Reads the options of `command` from words[first] on into `options`; words that are not options
// go to `positional` (all words after "--"), except for master, which takes none.
// On failure, what is wrong.
std::optional<std::string> readOptions(Command command, const std::vector<std::string>& words,
                                       std::size_t first, CliOptions& options,
                                       std::vector<std::string>& positional);

// A section's lines in a usage text: "  --port N         text".
std::string optionLines(Section section);

} // namespace vantry::cli
