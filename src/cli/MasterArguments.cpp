#include "MasterArguments.h"

namespace vantry::cli {

namespace {

std::string quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

} // namespace

ParsedMasterArguments parseMasterArguments(const std::vector<std::string>& words)
{
    ParsedMasterArguments result;
    auto failed = [&](std::string text) {
        result.options.reset();
        result.error = std::move(text);
        return result;
    };
    if (words.empty() || words[0] != "master")
        return failed("want the command master");

    MasterOptions o;
    for (OptionWords args(words); args.next();) {
        const std::string& word = args.word();
        bool missing = false;
        const auto value = [&] { return args.value(missing); };
        const auto number = [&](const std::string& what, int low, int high, int& target) -> bool {
            const std::string v = value();
            const auto n = parseNumber(v, low, high);
            if (missing || !n) {
                result.error = word + " wants " + what + " from " + std::to_string(low) + " to " +
                               std::to_string(high) + (missing ? "" : ", not " + quoted(v));
                return false;
            }
            target = *n;
            return true;
        };

        if (word == "--query" || word == "--json" || word == "--players" || word == "--rules" ||
            word == "--old" || word == "--not-empty" || word == "--not-full" || word == "--no-password" ||
            word == "--xash" || word == "--help" || word == "-h") {
            if (args.hasInlineValue())
                return failed(word + " takes no value");
            bool& target = word == "--query"         ? o.query
                           : word == "--json"        ? o.json
                           : word == "--players"     ? o.players
                           : word == "--rules"       ? o.rules
                           : word == "--old"         ? o.old
                           : word == "--not-empty"   ? o.notEmpty
                           : word == "--not-full"    ? o.notFull
                           : word == "--no-password" ? o.noPassword
                           : word == "--xash"        ? o.xash
                                                     : o.help;
            target = true;
        } else if (word == "--player") {
            const std::string v = value();
            if (missing || v.empty())
                return failed("--player wants a part of a player's name");
            o.player = v;
        } else if (const FilterWord f = parseFilterWord(args, o.printed, result.error);
                   f != FilterWord::NotMine) {
            if (f == FilterWord::Failed)
                return failed(result.error);
        } else if (word == "--steam-key") {
            const std::string v = value();
            if (missing || v.empty())
                return failed("--steam-key wants a key");
            if (o.steamKey)
                return failed("--steam-key is given twice");
            o.steamKey = v;
        } else if (word == "--steam-key-file") {
            const std::string v = value();
            if (missing || v.empty())
                return failed("--steam-key-file wants a file");
            o.steamKeyFile = v;
        } else if (word == "--master") {
            const std::string v = value();
            if (missing || v.empty())
                return failed("--master wants HOST[:PORT]");
            auto host = parseHostWord(v, result.error);
            if (!host)
                return failed(result.error);
            o.masters.push_back(std::move(*host));
        } else if (word == "--xash-master") {
            const std::string v = value();
            if (missing || v.empty())
                return failed("--xash-master wants HOST[:PORT]");
            auto host = parseHostWord(v, result.error);
            if (!host)
                return failed(result.error);
            o.xashMasters.push_back(std::move(*host));
        } else if (word == "--list-url") {
            const std::string v = value();
            if (missing || (v.rfind("http://", 0) != 0 && v.rfind("https://", 0) != 0))
                return failed("--list-url wants an http:// or https:// address" +
                              (missing ? "" : ", not " + quoted(v)));
            o.listUrl = v;
        } else if (word == "--api-url") {
            const std::string v = value();
            if (missing || (v.rfind("http://", 0) != 0 && v.rfind("https://", 0) != 0))
                return failed("--api-url wants an http:// or https:// address" +
                              (missing ? "" : ", not " + quoted(v)));
            o.apiUrl = v;
        } else if (word == "--region") {
            const std::string v = value();
            const auto region = query::parseMasterRegion(v);
            if (missing || !region)
                return failed("--region wants 0 to 7, 255 or a name (us-east, us-west, south-america, "
                              "europe, asia, australia, middle-east, africa, all)" +
                              (missing ? "" : ", not " + quoted(v)));
            o.region = *region;
        } else if (word == "--game") {
            const std::string v = value();
            const auto game = query::parseListedGame(v);
            if (missing || !game)
                return failed("--game wants HL, 1.5, 1.6, CZ, CSS or HL2" +
                              (missing ? "" : ", not " + quoted(v)));
            o.game = *game;
        } else if (word == "--filter") {
            const std::string v = value();
            if (missing)
                return failed("--filter wants a filter text such as \\appid\\10");
            if (v.size() > query::MaxMasterFilter)
                return failed("--filter is longer than " + std::to_string(query::MaxMasterFilter) +
                              " characters");
            o.filter = v;
        } else if (word == "--limit") {
            int limit = 0;
            if (!number("a count of addresses", 1, static_cast<int>(MaxListLimit), limit))
                return failed(result.error);
            o.pacing.limit = static_cast<std::size_t>(limit);
        } else if (word == "--pace") {
            if (!number("milliseconds", 0, MaxPaceMs, o.pacing.paceMs))
                return failed(result.error);
            o.paceGiven = true;
        } else if (word == "--master-timeout") {
            if (!number("milliseconds", 1, MaxTimeoutMs, o.pacing.replyTimeoutMs))
                return failed(result.error);
        } else if (word == "--delay") {
            int delay = 0;
            if (!number("milliseconds", 0, MaxDelayMs, delay))
                return failed(result.error);
            o.delayMs = delay;
        } else if (word == "--rate") {
            int rate = 0;
            if (!number("probes per second", 0, MaxRate, rate))
                return failed(result.error);
            o.rate = rate;
        } else if (word == "--timeout") {
            if (!number("milliseconds", 0, MaxTimeoutMs, o.timeoutMs))
                return failed(result.error);
            o.timeoutGiven = true;
        } else if (word == "--retries") {
            if (!number("a number", 0, MaxRetries, o.retries))
                return failed(result.error);
        } else if (word == "--settings") {
            const std::string v = value();
            if (missing || v.empty())
                return failed("--settings wants a file");
            o.settingsFile = v;
        } else {
            // Never echo a word that may be a key given without its option.
            return failed(word.size() > 1 && word[0] == '-' ? "unknown option " + quoted(word)
                                                            : "master takes no words but options");
        }
    }
    // What the master is asked to leave out is left out of what the servers answer as well.
    o.printed.notEmpty = o.printed.notEmpty || o.notEmpty;
    o.printed.notFull = o.printed.notFull || o.notFull;
    o.printed.noPassword = o.printed.noPassword || o.noPassword;
    if (o.help) {
        result.options = std::move(o);
        return result;
    }
    if (o.game && o.filter)
        return failed("give --game or --filter, not both");
    if (o.steamKey && o.steamKeyFile)
        return failed("give --steam-key or --steam-key-file, not both");
    if (!o.game && !o.filter)
        o.game = query::ListedGame::CounterStrike;
    if (asksXash(o) && !xashGameDir(o))
        return failed("the Xash3D lists hold HL, 1.5, 1.6 and CZ servers only");
    if (o.apiUrl && o.masters.size() > 0 && !o.steamKey && !o.steamKeyFile)
        return failed(
            "--api-url names the Steam Web API, which wants a key (--steam-key-file or --steam-key)");
    result.options = std::move(o);
    return result;
}

std::string masterFilterText(const MasterOptions& o)
{
    if (o.filter) {
        std::string out = *o.filter;
        if (o.notEmpty)
            out += "\\empty\\1";
        if (o.notFull)
            out += "\\full\\1";
        if (o.noPassword)
            out += "\\password\\0";
        return out;
    }
    query::ListFilter f;
    f.game = o.game.value_or(query::ListedGame::CounterStrike);
    f.notEmpty = o.notEmpty;
    f.notFull = o.notFull;
    f.noPassword = o.noPassword;
    return query::filterText(f);
}

std::optional<std::string> xashGameDir(const MasterOptions& o)
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
           "sources:\n"
           "  --steam-key-file FILE  ask the Steam Web API with the key this file holds (its first\n"
           "                   line); without a key option and without --master the key comes from\n"
           "                   VANTRY_STEAM_KEY or from SteamKey in section [Master] of the\n"
           "                   --settings file\n"
           "  --steam-key KEY  the key itself; every user of the machine sees it in 'ps', so prefer\n"
           "                   the file, the variable or the settings file\n"
           "  --master H[:P]   ask this UDP master (port 27011 when not given); may be repeated\n"
           "  --api-url URL    the Web API's address (default https://api.steampowered.com)\n"
           "                   (waited for 30 s, or --timeout when given)\n"
           "  --xash           ask the Xash3D FWGS masters (mentality.rip, ms2.mentality.rip and\n"
           "                   ms3.mentality.rip, port 27010); no key needed\n"
           "  --xash-master H[:P]  ask this Xash3D master (port 27010 when not given); may be repeated\n"
           "  --list-url URL   read the Xash3D HTTP server list URL/v1/servers/GAMEDIR\n"
           "what to list:\n"
           "  --game KIND      HL, 1.5, 1.6, CZ, CSS or HL2 (default 1.6)\n"
           "  --filter TEXT    a filter of your own instead, such as \\appid\\10\\map\\de_dust2\n"
           "  --region R       0 to 7, 255 or us-east, us-west, south-america, europe, asia,\n"
           "                   australia, middle-east, africa, all (default all)\n"
           "  --not-empty, --not-full, --no-password   only servers that are so\n"
           "  --limit N        stop at N addresses (default 100000)\n"
           "  --pace MS        a fixed least time between two requests to every master; without it\n"
           "                   Valve's masters (*.steampowered.com, *.valvesoftware.com) get 3000\n"
           "                   and the others are asked for a page as soon as the last one came,\n"
           "                   waiting longer (from 1 s, doubling) only when a page does not come\n"
           "  --master-timeout MS  wait for a master's page (default 1500)\n"
           "output and queries:\n"
           "  --json           a JSON array of objects instead of lines\n"
           "  --query          query the listed servers and print them as 'vantry query' does;\n"
           "                   --rate, --delay, --timeout, --retries, --players, --player, --rules\n"
           "                   and --old as there; the servers are asked as the pages come\n"
           "  --settings FILE  take the Steam Web API key from this file\n"
           "  --map TEXT, --name TEXT, --max-ping MS   with --query, print only the servers whose\n"
           "                   map or name holds TEXT, or that answered within MS; --not-empty,\n"
           "                   --not-full and --no-password hold for what they answer as well\n"
           "examples:\n"
           "  VANTRY_STEAM_KEY=... vantry master --game 1.6 --query --not-empty\n"
           "  vantry master --steam-key-file ~/.config/vantry/steam.key --json\n"
           "exit status: 0 when a server was listed (with --query: answered), 1 when none was,\n"
           "2 on bad arguments, 3 when the output could not be written\n";
}

} // namespace vantry::cli
