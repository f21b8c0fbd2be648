#include "OptionTable.h"

#include "query/MasterProtocol.h"

#include <algorithm>

namespace vantry::cli {

namespace {

constexpr unsigned bit(Command c)
{
    return 1u << static_cast<unsigned>(c);
}
constexpr unsigned bit(Section s)
{
    return 1u << static_cast<unsigned>(s);
}

constexpr unsigned Window = bit(Command::Window);
constexpr unsigned Queries = bit(Command::Query) | bit(Command::Sweep);
constexpr unsigned Master = bit(Command::Master);
constexpr unsigned Everywhere = Window | Queries | Master;

constexpr unsigned WindowLines = bit(Section::Window);
constexpr unsigned QueryLines = bit(Section::Query);
constexpr unsigned FilterLines = bit(Section::QueryFilter);
constexpr unsigned SourceLines = bit(Section::MasterSources);
constexpr unsigned ListLines = bit(Section::MasterList);
constexpr unsigned OutputLines = bit(Section::MasterOutput);
constexpr unsigned MasterFilterLines = bit(Section::MasterFilter);

using V = const OptionValue&;

// In the order the usage texts list them; each section takes its own options in this order.
// One option a row, its help lines under it.
// clang-format off
const Option Options[] = {
    {"--port", nullptr, "N", Queries, ValueKind::Number, 1, 65535, "a number", false,
     [](CliOptions& o, V v) { o.port = static_cast<std::uint16_t>(v.number); },
     {{{QueryLines, "port of hosts named without one and of the sweep (default 27015)"}}}},
    {"--delay", nullptr, "MS", Queries | Master, ValueKind::Number, 0, MaxDelayMs, "milliseconds", false,
     [](CliOptions& o, V v) { o.delayMs = v.number; },
     {{{QueryLines, "pause after each probe, 0 to 1000 (default for a sweep 5); a query\n"
                    "given one pauses instead of keeping its rate"}}}},
    {"--rate", nullptr, "N", Queries | Master, ValueKind::Number, 0, MaxRate, "probes per second", false,
     [](CliOptions& o, V v) { o.rate = v.number; },
     {{{QueryLines, "at most N probes per second; 0 for no limit at all (default: the\n"
                    "pace the link carries, found from the answers as they come)"}}}},
    {"--timeout", nullptr, "MS", Queries | Master, ValueKind::Number, 0, MaxTimeoutMs, "milliseconds", false,
     [](CliOptions& o, V v) {
         o.timeoutMs = v.number;
         o.timeoutGiven = true;
     },
     {{{QueryLines, "wait for replies after the last request (default 1000); a query\n"
                    "ends as soon as every host has answered"}}}},
    {"--retries", nullptr, "N", Queries | Master, ValueKind::Number, 0, query::MaxRetries, "a number", false,
     [](CliOptions& o, V v) { o.retries = v.number; },
     {{{QueryLines, "ask a host that has not answered N more times, 0 to 10 (default\n"
                    "2), after half the time-out and then twice the pause before, at\n"
                    "most twice the time-out"}}}},
    {"--json", nullptr, nullptr, Queries | Master, ValueKind::Flag, 0, 0, nullptr, false,
     [](CliOptions& o, V) { o.json = true; },
     {{{QueryLines | OutputLines, "print a JSON array of objects instead of lines"}}}},
    {"--query", nullptr, nullptr, Master, ValueKind::Flag, 0, 0, nullptr, false,
     [](CliOptions& o, V) { o.query = true; },
     {{{OutputLines, "query the listed servers and print them as 'vantry query' does;\n"
                     "--rate, --delay, --timeout, --retries, --players, --player, --rules\n"
                     "and --old as there; the servers are asked as the pages come"}}}},
    {"--players", nullptr, nullptr, Queries | Master, ValueKind::Flag, 0, 0, nullptr, false,
     [](CliOptions& o, V) { o.players = true; }, {{{QueryLines, "ask each server for its players too"}}}},
    {"--player", nullptr, "TEXT", Queries | Master, ValueKind::Text, 0, 0, "a part of a player's name", false,
     [](CliOptions& o, V v) { o.player = v.text; },
     {{{QueryLines, "only the servers where a player's name holds TEXT (any case),\n"
                    "each with those players"}}}},
    {"--rules", nullptr, nullptr, Queries | Master, ValueKind::Flag, 0, 0, nullptr, false,
     [](CliOptions& o, V) { o.rules = true; }, {{{QueryLines, "ask each server for its rules too"}}}},
    {"--old", nullptr, nullptr, Queries | Master, ValueKind::Flag, 0, 0, nullptr, false,
     [](CliOptions& o, V) { o.old = true; },
     {{{QueryLines, "also send the old info request, for old servers"}}}},
    {"--settings", nullptr, "FILE", Everywhere, ValueKind::Text, 0, 0, "a file", false,
     [](CliOptions& o, V v) { o.settingsFile = v.text; },
     {{{WindowLines, "use FILE as the settings file; without it,\n"
                     "$XDG_CONFIG_HOME/vantry/vantry.ini (~/.config/vantry/vantry.ini),\n"
                     "or the vantry.ini beside a portable copy of the program"},
       {QueryLines, "take the default game port (and a sweep's delay) from this settings file"},
       {OutputLines, "take the Steam Web API key from this file"}}}},
    {"--scan", nullptr, nullptr, Window, ValueKind::Flag, 0, 0, nullptr, false,
     [](CliOptions& o, V) { o.scan = true; }, {{{WindowLines, "start a sweep as soon as the window shows"}}}},
    {"--help", "-h", nullptr, Everywhere, ValueKind::Flag, 0, 0, nullptr, false,
     [](CliOptions& o, V) { o.help = true; }, {{{WindowLines, "print this text"}}}},
    {"--version", "-v", nullptr, Window, ValueKind::Flag, 0, 0, nullptr, false,
     [](CliOptions& o, V) { o.version = true; }, {{{WindowLines, "print the version"}}}},

    {"--steam-key-file", nullptr, "FILE", Master, ValueKind::Text, 0, 0, "a file", false,
     [](CliOptions& o, V v) { o.steamKeyFile = v.text; },
     {{{SourceLines, "ask the Steam Web API with the key this file holds (its first\n"
                     "line); without a key option and without --master the key comes from\n"
                     "VANTRY_STEAM_KEY or from SteamKey in section [Master] of the\n"
                     "--settings file"}}}},
    {"--steam-key", nullptr, "KEY", Master, ValueKind::Text, 0, 0, "a key", true,
     [](CliOptions& o, V v) { o.steamKey = v.text; },
     {{{SourceLines, "the key itself; every user of the machine sees it in 'ps', so prefer\n"
                     "the file, the variable or the settings file"}}}},
    {"--master", nullptr, "HOST[:PORT]", Master, ValueKind::Host, 0, 0, "HOST[:PORT]", false,
     [](CliOptions& o, V v) { o.masters.push_back(v.host); },
     {{{SourceLines, "ask this UDP master (port 27011 when not given); may be repeated"}}}},
    {"--api-url", nullptr, "URL", Master, ValueKind::Url, 0, 0, "an http:// or https:// address", false,
     [](CliOptions& o, V v) { o.apiUrl = v.text; },
     {{{SourceLines, "the Web API's address (default https://api.steampowered.com)\n"
                     "(waited for 30 s, or --timeout when given)"}}}},
    {"--xash", nullptr, nullptr, Master, ValueKind::Flag, 0, 0, nullptr, false,
     [](CliOptions& o, V) { o.xash = true; },
     {{{SourceLines, "ask the Xash3D FWGS masters (mentality.rip, ms2.mentality.rip and\n"
                     "ms3.mentality.rip, port 27010); no key needed"}}}},
    {"--xash-master", nullptr, "HOST[:PORT]", Master, ValueKind::Host, 0, 0, "HOST[:PORT]", false,
     [](CliOptions& o, V v) { o.xashMasters.push_back(v.host); },
     {{{SourceLines, "ask this Xash3D master (port 27010 when not given); may be repeated"}}}},
    {"--list-url", nullptr, "URL", Master, ValueKind::Url, 0, 0, "an http:// or https:// address", false,
     [](CliOptions& o, V v) { o.listUrl = v.text; },
     {{{SourceLines, "read the Xash3D HTTP server list URL/v1/servers/GAMEDIR"}}}},
    {"--game", nullptr, "KIND", Master, ValueKind::Game, 0, 0, "HL, 1.5, 1.6, CZ, CSS or HL2", false,
     [](CliOptions& o, V v) { o.game = static_cast<query::ListedGame>(v.number); },
     {{{ListLines, "HL, 1.5, 1.6, CZ, CSS or HL2 (default 1.6)"}}}},
    {"--filter", nullptr, "TEXT", Master, ValueKind::Filter, 0, static_cast<int>(query::MaxMasterFilter),
     "a filter text such as \\appid\\10", false, [](CliOptions& o, V v) { o.filter = v.text; },
     {{{ListLines, "a filter of your own instead, such as \\appid\\10\\map\\de_dust2"}}}},
    {"--region", nullptr, "R", Master, ValueKind::Region, 0, 0,
     "0 to 7, 255 or a name (us-east, us-west, south-america, europe, asia, australia, middle-east, "
     "africa, all)",
     false, [](CliOptions& o, V v) { o.region = static_cast<query::MasterRegion>(v.number); },
     {{{ListLines, "0 to 7, 255 or us-east, us-west, south-america, europe, asia,\n"
                   "australia, middle-east, africa, all (default all)"}}}},

    // The master is asked for these too; --not-full, --not-empty and --no-password are sent to it.
    {"--not-full", nullptr, nullptr, Queries | Master, ValueKind::Flag, 0, 0, nullptr, false,
     [](CliOptions& o, V) { o.printed.notFull = true; }, {{{FilterLines | ListLines, "not full"}}}},
    {"--not-empty", nullptr, nullptr, Queries | Master, ValueKind::Flag, 0, 0, nullptr, false,
     [](CliOptions& o, V) { o.printed.notEmpty = true; }, {{{FilterLines | ListLines, "with players"}}}},
    {"--no-password", nullptr, nullptr, Queries | Master, ValueKind::Flag, 0, 0, nullptr, false,
     [](CliOptions& o, V) { o.printed.noPassword = true; },
     {{{FilterLines | ListLines, "without a password"}}}},
    {"--map", nullptr, "TEXT", Queries | Master, ValueKind::Text, 0, 0, "a text", false,
     [](CliOptions& o, V v) { o.printed.map = v.text; },
     {{{FilterLines | MasterFilterLines, "whose map name holds TEXT"}}}},
    {"--name", nullptr, "TEXT", Queries | Master, ValueKind::Text, 0, 0, "a text", false,
     [](CliOptions& o, V v) { o.printed.name = v.text; },
     {{{FilterLines | MasterFilterLines, "whose name holds TEXT"}}}},
    {"--max-ping", nullptr, "MS", Queries | Master, ValueKind::Number, 1, 9999, "milliseconds", false,
     [](CliOptions& o, V v) { o.printed.maxPingMs = v.number; },
     {{{FilterLines | MasterFilterLines, "that answered within MS milliseconds, 1 to 9999"}}}},

    {"--limit", nullptr, "N", Master, ValueKind::Number, 1, MaxListLimit, "a count of addresses", false,
     [](CliOptions& o, V v) { o.pacing.limit = static_cast<std::size_t>(v.number); },
     {{{ListLines, "stop at N addresses (default 100000)"}}}},
    {"--pace", nullptr, "MS", Master, ValueKind::Number, 0, MaxPaceMs, "milliseconds", false,
     [](CliOptions& o, V v) {
         o.pacing.paceMs = v.number;
         o.paceGiven = true;
     },
     {{{ListLines, "a fixed least time between two requests to every master; without it\n"
                   "Valve's masters (*.steampowered.com, *.valvesoftware.com) get 3000\n"
                   "and the others are asked for a page as soon as the last one came,\n"
                   "waiting longer (from 1 s, doubling) only when a page does not come"}}}},
    {"--master-timeout", nullptr, "MS", Master, ValueKind::Number, 1, MaxTimeoutMs, "milliseconds", false,
     [](CliOptions& o, V v) { o.pacing.replyTimeoutMs = v.number; },
     {{{ListLines, "wait for a master's page (default 1500)"}}}},
};
// clang-format on

std::string quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

bool isUrl(const std::string& text)
{
    return text.rfind("http://", 0) == 0 || text.rfind("https://", 0) == 0;
}

// Reads the argument `text` of `option` into `value`; on failure, what is wrong. `missing`: the
// option was the last word.
std::optional<std::string> readValue(const Option& option, bool missing, const std::string& text,
                                     OptionValue& value)
{
    value.text = text;
    const std::string name = option.name;
    const std::string wanted = name + " wants " + (option.wants ? option.wants : "");
    const std::string seen = missing ? "" : ", not " + quoted(text);
    switch (option.kind) {
    case ValueKind::Flag:
        return std::nullopt;
    case ValueKind::Number: {
        const auto n = parseNumber(text, option.low, option.high);
        if (missing || !n)
            return wanted + " from " + std::to_string(option.low) + " to " + std::to_string(option.high) +
                   seen;
        value.number = *n;
        return std::nullopt;
    }
    case ValueKind::Text:
        if (missing || text.empty())
            return wanted;
        return std::nullopt;
    case ValueKind::Filter:
        if (missing)
            return wanted;
        if (text.size() > static_cast<std::size_t>(option.high))
            return name + " is longer than " + std::to_string(option.high) + " characters";
        return std::nullopt;
    case ValueKind::Host: {
        if (missing || text.empty())
            return wanted;
        std::string error;
        auto host = parseHostWord(text, error);
        if (!host)
            return error;
        value.host = std::move(*host);
        return std::nullopt;
    }
    case ValueKind::Url:
        if (missing || !isUrl(text))
            return wanted + seen;
        return std::nullopt;
    case ValueKind::Region: {
        const auto region = query::parseMasterRegion(text);
        if (missing || !region)
            return wanted + seen;
        value.number = static_cast<int>(*region);
        return std::nullopt;
    }
    case ValueKind::Game: {
        const auto game = query::parseListedGame(text);
        if (missing || !game)
            return wanted + seen;
        value.number = static_cast<int>(*game);
        return std::nullopt;
    }
    }
    return std::nullopt;
}

std::string tagOf(const Option& option)
{
    std::string tag = option.alias ? std::string(option.alias) + ", " + option.name : option.name;
    return option.argument ? tag + " " + option.argument : tag;
}

} // namespace

const Option* findOption(Command command, std::string_view word)
{
    for (const Option& option : Options) {
        if ((option.commands & bit(command)) &&
            (word == option.name || (option.alias && word == option.alias)))
            return &option;
    }
    return nullptr;
}

std::optional<std::string> readOptions(Command command, const std::vector<std::string>& words,
                                       std::size_t first, CliOptions& options,
                                       std::vector<std::string>& positional)
{
    std::vector<const Option*> used;
    for (std::size_t i = first; i < words.size(); ++i) {
        std::string word = words[i];
        if (word == "--" && command != Command::Master) {
            positional.insert(positional.end(), words.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                              words.end());
            break;
        }
        // "--name=value" gives its value inline.
        std::optional<std::string> inlineValue;
        if (const std::size_t eq = word.find('='); word.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = word.substr(eq + 1);
            word.resize(eq);
        }
        const Option* option = findOption(command, word);
        if (!option && word.size() > 1 && word[0] == '-')
            return "unknown option " + quoted(word);
        if (!option && command == Command::Master) // never echoed: it may be a key without its option
            return std::string("master takes no words but options");
        if (!option) {
            positional.push_back(word);
            continue;
        }
        if (option->kind == ValueKind::Flag && inlineValue)
            return word + " takes no value";
        const bool missing = option->kind != ValueKind::Flag && !inlineValue && i + 1 == words.size();
        const std::string text = option->kind == ValueKind::Flag || missing ? ""
                                 : inlineValue                              ? *inlineValue
                                                                            : words[++i];
        OptionValue value;
        if (auto error = readValue(*option, missing, text, value))
            return error;
        if (option->once && std::find(used.begin(), used.end(), option) != used.end())
            return word + " is given twice";
        used.push_back(option);
        option->apply(options, value);
    }
    return std::nullopt;
}

std::string optionLines(Section section)
{
    constexpr std::size_t Column = 17; // where the help texts start, after the two blanks
    std::string out;
    for (const Option& option : Options) {
        for (const Option::Help& help : option.help) {
            if (!help.text || !(help.sections & bit(section)))
                continue;
            const std::string tag = tagOf(option);
            out += "  " + tag + std::string(tag.size() + 2 > Column ? 2 : Column - tag.size(), ' ');
            for (const char* c = help.text; *c; ++c)
                out += *c == '\n' ? "\n  " + std::string(Column, ' ') : std::string(1, *c);
            out += '\n';
        }
    }
    return out;
}

} // namespace vantry::cli
