#include "MasterArguments.h"

#include "OptionTable.h"

namespace vantry::cli {

std::optional<std::string> checkMaster(CliOptions& o)
{
    if (o.game && o.filter)
        return "give --game or --filter, not both";
    if (o.steamKey && o.steamKeyFile)
        return "give --steam-key or --steam-key-file, not both";
    if (!o.game && !o.filter)
        o.game = query::ListedGame::CounterStrike;
    if (asksXash(o) && !xashGameDir(o))
        return "the Xash3D lists hold HL, 1.5, 1.6 and CZ servers only";
    if (o.apiUrl && !o.masters.empty() && !o.steamKey && !o.steamKeyFile)
        return "--api-url names the Steam Web API, which wants a key (--steam-key-file or --steam-key)";
    return std::nullopt;
}

std::string masterFilterText(const CliOptions& o)
{
    const ResultFilter& p = o.printed;
    if (o.filter) {
        std::string out = *o.filter;
        if (p.notEmpty)
            out += "\\empty\\1";
        if (p.notFull)
            out += "\\full\\1";
        if (p.noPassword)
            out += "\\password\\0";
        return out;
    }
    query::ListFilter f;
    f.game = o.game.value_or(query::ListedGame::CounterStrike);
    f.notEmpty = p.notEmpty;
    f.notFull = p.notFull;
    f.noPassword = p.noPassword;
    return query::filterText(f);
}

std::optional<std::string> xashGameDir(const CliOptions& o)
{
    using query::ListedGame;
    switch (o.game.value_or(ListedGame::CounterStrike)) {
    case ListedGame::HalfLife:
        return "valve";
    case ListedGame::CounterStrike:
        return "cstrike";
    case ListedGame::ConditionZero:
        return "czero";
    default:
        return std::nullopt;
    }
}

std::string masterUsageText()
{
    return "usage: vantry master [--steam-key-file FILE | --master HOST[:PORT] | --xash]... [options]\n"
           "Fetches the list of public servers of a game from the Steam Web API (with your own Steam\n"
           "Web API key) and from UDP master servers, and prints one address a line; with --query\n"
           "asks every listed server for its details as 'vantry query' does.\n"
           "sources:\n" +
           optionLines(Section::MasterSources) + "what to list:\n" + optionLines(Section::MasterList) +
           "output and queries:\n" + optionLines(Section::MasterOutput) +
           "with --query, print only the servers that pass (parts of texts, whatever the case); there\n"
           "--not-full, --not-empty and --no-password hold for what the servers answer as well:\n" +
           optionLines(Section::MasterFilter) +
           "examples:\n"
           "  VANTRY_STEAM_KEY=... vantry master --game 1.6 --query --not-empty\n"
           "  vantry master --steam-key-file ~/.config/vantry/steam.key --json\n"
           "exit status: 0 when a server was listed (with --query: answered), 1 when none was,\n"
           "2 on bad arguments, 3 when the output could not be written\n";
}

} // namespace vantry::cli
