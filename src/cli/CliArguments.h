#pragma once

#include "ResultFilter.h"

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
    Query, // the servers named on the command line
    Sweep, // every address of a range
};

inline constexpr int DefaultRetries = 2;
inline constexpr int MaxRetries = 10;

struct CliOptions
{
    Command command = Command::Query;
    std::vector<HostArgument> hosts; // query
    std::uint32_t from = 0;          // sweep, host order
    std::uint32_t to = 0;
    std::optional<std::uint16_t> port; // --port: the default port of hosts and of the sweep
    std::optional<int> delayMs;        // --delay: pause after each probe
    std::optional<int> rate;           // --rate: probes per second, 0 unpaced
    int timeoutMs = 1000;              // --timeout: wait after the last request
    int retries = DefaultRetries;      // --retries: more asks of a host that has not answered
    bool json = false;
    bool players = false;
    std::optional<std::string> player; // --player: only servers with a player so named, and him
    bool rules = false;
    bool old = false; // also send the old info request
    bool help = false;
    std::optional<std::string> settingsFile;
    ResultFilter printed; // which answering servers are printed
};

inline constexpr std::uint16_t DefaultPort = 27015;
inline constexpr int DefaultDelayMs = 5;
// Probes per second of a query and of a master's list when no --delay is given: 4,096 servers in
// about 40 ms, about what a machine's own answers keep up with; lost answers are asked again.
inline constexpr int DefaultRate = 100'000;
inline constexpr int MaxRate = 1'000'000;
inline constexpr int MaxDelayMs = 1000;
inline constexpr int MaxTimeoutMs = 60'000;

// Parses the words after the program name, the command first. On failure the text says what is
// wrong, in one line without the program name.
struct ParsedArguments
{
    std::optional<CliOptions> options;
    std::string error;
};
ParsedArguments parseArguments(const std::vector<std::string>& words);

// Whether the word names a command of the command line ("query", "sweep", "master").
bool isCliCommand(std::string_view word);

std::string usageText();

// "a.b.c.d" with four decimal octets of 0..255, nothing else; host order.
std::optional<std::uint32_t> parseDottedQuad(std::string_view text);
// Decimal digits only, within low..high.
std::optional<int> parseNumber(std::string_view text, int low, int high);
// HOST[:PORT] as a server or master is named: a dotted quad or a name, never an IPv6 address and
// never a dotted number that is not an IPv4 address (a resolver would take "256.1.1.1" for a name).
// On failure, the sentence to print.
std::optional<HostArgument> parseHostWord(const std::string& word, std::string& error);

// The words after a command word, one at a time: "--name=value" arrives as "--name", and an
// option's value is its inline one or else the word after it.
class OptionWords
{
public:
    explicit OptionWords(const std::vector<std::string>& words) : m_words(words) {}
    // Moves to the next word; false when none is left.
    bool next();
    const std::string& word() const { return m_word; }
    // "--name=value": a flag that takes no value is refused such a word.
    bool hasInlineValue() const { return m_inline.has_value(); }
    // The current option's value; `missing` is set when there is none.
    std::string value(bool& missing);
    // The words after the current one, which are then used up.
    std::vector<std::string> rest();

private:
    const std::vector<std::string>& m_words;
    std::size_t m_next = 1;
    std::string m_word;
    std::optional<std::string> m_inline;
};

// The printing filter's options: --not-full, --not-empty, --no-password, --map NAME, --name TEXT,
// --max-ping MS. NotMine leaves the word to the caller; Failed sets `error`.
enum class FilterWord
{
    NotMine,
    Taken,
    Failed,
};
FilterWord parseFilterWord(OptionWords& args, ResultFilter& filter, std::string& error);
// Their lines in a usage text.
extern const char* const FilterUsage;

} // namespace vantry::cli
