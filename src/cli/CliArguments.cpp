#include "CliArguments.h"

#include "MasterArguments.h"
#include "OptionTable.h"
#include "SweepRange.h"
#include "query/Endpoint.h"

#include <charconv>

namespace vantry::cli {

namespace {

std::string quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

std::optional<std::string> checkQuery(const std::vector<std::string>& positional, CliOptions& o)
{
    if (positional.empty())
        return "query wants at least one HOST[:PORT]";
    for (const std::string& word : positional) {
        std::string error;
        auto host = parseHostWord(word, error);
        if (!host)
            return error;
        o.hosts.push_back(std::move(*host));
    }
    return std::nullopt;
}

std::optional<std::string> checkSweep(const std::vector<std::string>& positional, CliOptions& o)
{
    if (positional.size() != 2)
        return "sweep wants two addresses, FROM and TO";
    for (std::size_t i = 0; i < 2; ++i) {
        const auto address = query::Endpoint::parseAddress(positional[i]);
        if (!address)
            return quoted(positional[i]) + " is not a dotted IPv4 address";
        (i == 0 ? o.from : o.to) = *address;
    }
    if (sweepSize(o.from, o.to) == 0)
        return "the range " + positional[0] + " to " + positional[1] + " holds no address to probe";
    return std::nullopt;
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

std::optional<HostArgument> parseHostWord(const std::string& word, std::string& error)
{
    // Read before the port is split off: an IPv6 address would otherwise be split at its last
    // colon into a "host" and a "port".
    if (query::HostText::read(word).kind == query::HostText::Kind::Ipv6) {
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
    if (query::HostText::read(out.host).kind == query::HostText::Kind::Invalid) {
        error = quoted(out.host) + " is not a valid IPv4 address (four numbers from 0 to 255)";
        return std::nullopt;
    }
    return out;
}

ParsedArguments parseArguments(const std::vector<std::string>& words)
{
    CliOptions o;
    if (words.empty() || !isCliCommand(words[0]))
        return {std::nullopt, "want a command: query or sweep"};
    o.command = words[0] == "query" ? Command::Query : words[0] == "sweep" ? Command::Sweep : Command::Master;
    std::vector<std::string> positional;
    std::optional<std::string> error = readOptions(o.command, words, 1, o, positional);
    if (!error && !o.help) {
        error = o.command == Command::Query   ? checkQuery(positional, o)
                : o.command == Command::Sweep ? checkSweep(positional, o)
                                              : checkMaster(o);
    }
    if (error)
        return {std::nullopt, std::move(*error)};
    return {std::move(o), {}};
}

std::string usageText()
{
    return "usage: vantry query HOST[:PORT]... [options]\n"
           "       vantry sweep FROM TO [options]\n"
           "Asks game servers for their details over UDP and prints one line per server that answers.\n"
           "A sweep probes FROM to TO as the window's sweep does: the first two octets of FROM, third\n"
           "octets from FROM's to TO's, fourth octets up to 254 except in the last block.\n"
           "options:\n" +
           optionLines(Section::Query) +
           "print only the servers that pass (parts of texts, whatever the case):\n" +
           optionLines(Section::QueryFilter) +
           "exit status: 0 when at least one server answered, 1 when none did, 2 on bad arguments,\n"
           "3 when the output could not be written\n";
}

} // namespace vantry::cli
