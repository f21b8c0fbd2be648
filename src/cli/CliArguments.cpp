#include "CliArguments.h"

#include "SweepRange.h"

#include <charconv>

namespace vantry::cli {

namespace {

std::string quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

} // namespace

bool isCliCommand(std::string_view word)
{
    return word == "query" || word == "sweep" || word == "master";
}

std::optional<int> parseNumber(std::string_view text, int low, int high)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<std::uint32_t> parseDottedQuad(std::string_view text)
{
    std::uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = part < 3 ? text.find('.') : text.size();
        if (dot == std::string_view::npos || dot == 0 || dot > 3)
            return std::nullopt;
        const auto octet = parseNumber(text.substr(0, dot), 0, 255);
        if (!octet)
            return std::nullopt;
        address = (address << 8) | static_cast<std::uint32_t>(*octet);
        text.remove_prefix(part < 3 ? dot + 1 : dot);
    }
    return address;
}

std::optional<HostArgument> parseHostWord(const std::string& word, std::string& error)
{
    // Two colons, brackets or a zone index: an IPv6 address, which would otherwise be split at its
    // last colon into a "host" and a "port".
    if (word.find('[') != std::string::npos || word.find('%') != std::string::npos ||
        word.find(':') != word.rfind(':')) {
        error = quoted(word) + " is an IPv6 address; Vantry reaches servers over IPv4 only (IPv6 is "
                               "not supported yet)";
        return std::nullopt;
    }
    HostArgument out;
    const std::size_t colon = word.find(':');
    out.host = word.substr(0, colon);
    if (colon != std::string::npos) {
        const auto port = parseNumber(std::string_view(word).substr(colon + 1), 1, 65535);
        if (!port) {
            error = "the port of " + quoted(word) + " is not a number from 1 to 65535";
            return std::nullopt;
        }
        out.port = static_cast<std::uint16_t>(*port);
    }
    if (out.host.empty()) {
        error = quoted(word) + " names no host";
        return std::nullopt;
    }
    // No host name is all digits and dots; the resolver would still try one, and some resolvers
    // read "1.2.3" or "010.1.1.1" in ways the user did not mean.
    if (out.host.find_first_not_of("0123456789.") == std::string::npos && !parseDottedQuad(out.host)) {
        error = quoted(out.host) + " is not a valid IPv4 address (four numbers from 0 to 255)";
        return std::nullopt;
    }
    return out;
}

ParsedArguments parseArguments(const std::vector<std::string>& words)
{
    ParsedArguments result;
    auto failed = [&](std::string text) {
        result.options.reset();
        result.error = std::move(text);
        return result;
    };
    if (words.empty() || (words[0] != "query" && words[0] != "sweep"))
        return failed("want a command: query or sweep");

    CliOptions o;
    o.command = words[0] == "query" ? Command::Query : Command::Sweep;
    std::vector<std::string> positional;
    for (OptionWords args(words); args.next();) {
        const std::string& word = args.word();
        bool missing = false;
        const auto value = [&] { return args.value(missing); };
        const auto flag = [&](bool& target) {
            if (args.hasInlineValue())
                return false;
            target = true;
            return true;
        };

        if (const FilterWord f = parseFilterWord(args, o.printed, result.error); f != FilterWord::NotMine) {
            if (f == FilterWord::Failed)
                return failed(result.error);
        } else if (word == "--json" || word == "--players" || word == "--rules" || word == "--old" ||
                   word == "--help" || word == "-h") {
            bool& target = word == "--json"      ? o.json
                           : word == "--players" ? o.players
                           : word == "--rules"   ? o.rules
                           : word == "--old"     ? o.old
                                                 : o.help;
            if (!flag(target))
                return failed(word + " takes no value");
        } else if (word == "--player") {
            const std::string v = value();
            if (missing || v.empty())
                return failed("--player wants a part of a player's name");
            o.player = v;
        } else if (word == "--port") {
            const std::string v = value();
            const auto port = parseNumber(v, 1, 65535);
            if (missing || !port)
                return failed("--port wants a number from 1 to 65535" +
                              (missing ? "" : ", not " + quoted(v)));
            o.port = static_cast<std::uint16_t>(*port);
        } else if (word == "--delay") {
            const std::string v = value();
            const auto delay = parseNumber(v, 0, MaxDelayMs);
            if (missing || !delay)
                return failed("--delay wants milliseconds from 0 to " + std::to_string(MaxDelayMs) +
                              (missing ? "" : ", not " + quoted(v)));
            o.delayMs = *delay;
        } else if (word == "--rate") {
            const std::string v = value();
            const auto rate = parseNumber(v, 0, MaxRate);
            if (missing || !rate)
                return failed("--rate wants probes per second from 0 to " + std::to_string(MaxRate) +
                              (missing ? "" : ", not " + quoted(v)));
            o.rate = *rate;
        } else if (word == "--timeout") {
            const std::string v = value();
            const auto timeout = parseNumber(v, 0, MaxTimeoutMs);
            if (missing || !timeout)
                return failed("--timeout wants milliseconds from 0 to " + std::to_string(MaxTimeoutMs) +
                              (missing ? "" : ", not " + quoted(v)));
            o.timeoutMs = *timeout;
        } else if (word == "--retries") {
            const std::string v = value();
            const auto retries = parseNumber(v, 0, MaxRetries);
            if (missing || !retries)
                return failed("--retries wants a number from 0 to " + std::to_string(MaxRetries) +
                              (missing ? "" : ", not " + quoted(v)));
            o.retries = *retries;
        } else if (word == "--settings") {
            const std::string v = value();
            if (missing || v.empty())
                return failed("--settings wants a file");
            o.settingsFile = v;
        } else if (word == "--") {
            const std::vector<std::string> rest = args.rest();
            positional.insert(positional.end(), rest.begin(), rest.end());
            break;
        } else if (word.size() > 1 && word[0] == '-') {
            return failed("unknown option " + quoted(word));
        } else {
            positional.push_back(word);
        }
    }
    if (o.help) {
        result.options = std::move(o);
        return result;
    }

    if (o.command == Command::Query) {
        if (positional.empty())
            return failed("query wants at least one HOST[:PORT]");
        for (const std::string& word : positional) {
            std::string error;
            auto host = parseHostWord(word, error);
            if (!host)
                return failed(error);
            o.hosts.push_back(std::move(*host));
        }
    } else {
        if (positional.size() != 2)
            return failed("sweep wants two addresses, FROM and TO");
        for (int i = 0; i < 2; ++i) {
            const auto address = parseDottedQuad(positional[static_cast<std::size_t>(i)]);
            if (!address)
                return failed(quoted(positional[static_cast<std::size_t>(i)]) +
                              " is not a dotted IPv4 address");
            (i == 0 ? o.from : o.to) = *address;
        }
        if (sweepSize(o.from, o.to) == 0)
            return failed("the range " + positional[0] + " to " + positional[1] +
                          " holds no address to probe");
    }
    result.options = std::move(o);
    return result;
}

std::string usageText()
{
    return "usage: vantry query HOST[:PORT]... [options]\n"
           "       vantry sweep FROM TO [options]\n"
           "Asks game servers for their details over UDP and prints one line per server that answers.\n"
           "A sweep probes FROM to TO as the window's sweep does: the first two octets of FROM, third\n"
           "octets from FROM's to TO's, fourth octets up to 254 except in the last block.\n"
           "options:\n"
           "  --port N         port of hosts named without one and of the sweep (default 27015)\n"
           "  --delay MS       pause after each probe, 0 to 1000 (default for a sweep 5); a query\n"
           "                   given one pauses instead of keeping its rate\n"
           "  --rate N         probes per second, 0 for no limit (default for a query 100000;\n"
           "                   a few thousand suit a slow link)\n"
           "  --timeout MS     wait for replies after the last request (default 1000); a query\n"
           "                   ends as soon as every host has answered\n"
           "  --retries N      ask a host that has not answered N more times, 0 to 10 (default\n"
           "                   2), after half the time-out and then twice the pause before, at\n"
           "                   most twice the time-out\n"
           "  --json           print a JSON array of objects instead of lines\n"
           "  --players        ask each server for its players too\n"
           "  --player TEXT    only the servers where a player's name holds TEXT (any case),\n"
           "                   each with those players\n"
           "  --rules          ask each server for its rules too\n"
           "  --old            also send the old info request, for old servers\n"
           "  --settings FILE  take the default game port (and a sweep's delay) from this settings file\n" +
           std::string(FilterUsage) +
           "exit status: 0 when at least one server answered, 1 when none did, 2 on bad arguments,\n"
           "3 when the output could not be written\n";
}

const char* const FilterUsage = "print only the servers that pass (parts of texts, whatever the case):\n"
                                "  --not-full       not full\n"
                                "  --not-empty      with players\n"
                                "  --no-password    without a password\n"
                                "  --map TEXT       whose map name holds TEXT\n"
                                "  --name TEXT      whose name holds TEXT\n"
                                "  --max-ping MS    that answered within MS milliseconds, 1 to 9999\n";

FilterWord parseFilterWord(OptionWords& args, ResultFilter& filter, std::string& error)
{
    const std::string& word = args.word();
    if (word == "--not-full" || word == "--not-empty" || word == "--no-password") {
        if (args.hasInlineValue()) {
            error = word + " takes no value";
            return FilterWord::Failed;
        }
        (word == "--not-full"    ? filter.notFull
         : word == "--not-empty" ? filter.notEmpty
                                 : filter.noPassword) = true;
        return FilterWord::Taken;
    }
    if (word != "--map" && word != "--name" && word != "--max-ping")
        return FilterWord::NotMine;
    bool missing = false;
    const std::string v = args.value(missing);
    if (word == "--max-ping") {
        const auto ping = parseNumber(v, 1, 9999);
        if (missing || !ping) {
            error = "--max-ping wants milliseconds from 1 to 9999" + (missing ? "" : ", not " + quoted(v));
            return FilterWord::Failed;
        }
        filter.maxPingMs = *ping;
        return FilterWord::Taken;
    }
    if (missing || v.empty()) {
        error = word + " wants a text";
        return FilterWord::Failed;
    }
    (word == "--map" ? filter.map : filter.name) = v;
    return FilterWord::Taken;
}

bool OptionWords::next()
{
    if (m_next >= m_words.size())
        return false;
    m_word = m_words[m_next++];
    m_inline.reset();
    if (m_word.rfind("--", 0) == 0) {
        if (const std::size_t eq = m_word.find('='); eq != std::string::npos) {
            m_inline = m_word.substr(eq + 1);
            m_word.resize(eq);
        }
    }
    return true;
}

std::string OptionWords::value(bool& missing)
{
    if (m_inline)
        return *m_inline;
    if (m_next >= m_words.size()) {
        missing = true;
        return {};
    }
    return m_words[m_next++];
}

std::vector<std::string> OptionWords::rest()
{
    std::vector<std::string> words(m_words.begin() + static_cast<std::ptrdiff_t>(m_next), m_words.end());
    m_next = m_words.size();
    return words;
}

} // namespace vantry::cli
