#include "ProfileFile.h"

#include <charconv>
#include <fstream>
#include <stdexcept>

namespace vantry::emu {

namespace {

[[noreturn]] void fail(const std::string& what)
{
    throw std::invalid_argument(what);
}

long number(const std::string& key, const std::string& text, long low, long high)
{
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        fail(key + ": not a number from " + std::to_string(low) + " to " + std::to_string(high) + ": " +
             text);
    return value;
}

std::uint8_t byteOf(const std::string& key, const std::string& text)
{
    return static_cast<std::uint8_t>(number(key, text, 0, 255));
}

std::array<std::uint8_t, 4> hex4(const std::string& key, const std::string& text)
{
    if (text.size() != 8)
        fail(key + ": want 8 hex digits: " + text);
    std::array<std::uint8_t, 4> out{};
    for (std::size_t i = 0; i < 4; ++i) {
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, value, 16);
        if (ec != std::errc() || end != text.data() + 2 * i + 2)
            fail(key + ": want 8 hex digits: " + text);
        out[i] = static_cast<std::uint8_t>(value);
    }
    return out;
}

void applyKey(Profile& profile, const std::string& key, const std::string& value)
{
    if (key == "kind") {
        // Applied before every other key, whatever its place on the line.
    } else if (key == "name") {
        profile.name = value;
    } else if (key == "map") {
        profile.map = value;
    } else if (key == "dir") {
        profile.gameDir = value;
    } else if (key == "desc") {
        profile.description = value;
    } else if (key == "players") {
        profile.players = byteOf(key, value);
    } else if (key == "max") {
        profile.maxPlayers = byteOf(key, value);
    } else if (key == "bots") {
        profile.bots = byteOf(key, value);
    } else if (key == "protocol") {
        profile.protocol = byteOf(key, value);
    } else if (key == "type" || key == "os") {
        if (value.size() != 1)
            fail(key + ": want one character: " + value);
        (key == "type" ? profile.serverType : profile.os) = value[0];
    } else if (key == "password") {
        profile.password = byteOf(key, value);
    } else if (key == "appid") {
        profile.appId = static_cast<std::uint16_t>(number(key, value, 0, 65535));
    } else if (key == "version") {
        profile.version = value;
    } else if (key == "advport") {
        profile.advertisedPort = static_cast<std::uint16_t>(number(key, value, 0, 65535));
    } else if (key == "proxy") {
        profile.proxy = value;
    } else if (key == "split") {
        profile.splitRules = number(key, value, 0, 1) == 1;
    } else if (key == "challenge") {
        profile.challenge = hex4(key, value);
    } else if (key == "infochallenge") {
        profile.infoChallenge = number(key, value, 0, 1) == 1;
    } else if (key == "both") {
        profile.bothInfoLayouts = number(key, value, 0, 1) == 1;
    } else if (key == "nsplit") {
        profile.newerSplit.size = static_cast<std::uint16_t>(number(key, value, 0, 1400));
    } else if (key == "oldsource") {
        profile.newerSplit.olderHeader = number(key, value, 0, 1) == 1;
    } else if (key == "single") {
        profile.newerSplit.single = number(key, value, 0, 1) == 1;
    } else if (key == "bzip") {
        profile.newerSplit.compressed = number(key, value, 0, 1) == 1;
    } else if (key == "order") {
        if (!parseOrder(value, profile.newerSplit.order))
            fail("order: want forward, reverse or shuffle: " + value);
    } else if (key == "withhold") {
        profile.newerSplit.withheld = static_cast<int>(number(key, value, 0, 254));
    } else if (key == "player") {
        const auto colon = value.rfind(':');
        if (colon == std::string::npos)
            fail("player: want NAME:KILLS: " + value);
        profile.playerList.push_back(
            {value.substr(0, colon),
             static_cast<std::int32_t>(number(key, value.substr(colon + 1), INT32_MIN, INT32_MAX)), 0.0f});
    } else if (key == "rule") {
        const auto eq = value.find('=');
        if (eq == std::string::npos)
            fail("rule: want NAME=VALUE: " + value);
        profile.rules.push_back({value.substr(0, eq), value.substr(eq + 1)});
    } else if (key == "playerlist") {
        const long count = number(key, value, 0, 4000);
        for (long i = 0; i < count; ++i)
            profile.playerList.push_back({"emu_player_" + std::to_string(i) + "_with_a_long_name",
                                          static_cast<std::int32_t>(i), static_cast<float>(i)});
    } else if (key == "wide") {
        profile.widePlayers = number(key, value, 0, 1) == 1;
    } else if (key == "deaf") {
        profile.ignoreFirst = static_cast<std::uint32_t>(number(key, value, 0, 1000000));
    } else if (key == "rules") {
        const long count = number(key, value, 0, 1000);
        for (long i = 0; i < count; ++i)
            profile.rules.push_back({"emu_rule_" + std::to_string(i), "value " + std::to_string(i)});
    } else {
        fail("unknown key: " + key);
    }
}

std::uint32_t loopbackAddress(const std::string& text)
{
    std::uint32_t addr = 0;
    if (!parseAddress(text, addr))
        fail("not a dotted IPv4 address: " + text);
    if ((addr >> 24) != 127)
        fail("only 127.0.0.0/8 is emulated: " + text);
    return addr;
}

} // namespace

std::vector<std::string> splitWords(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted)
        fail("unterminated quote");
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

void applyProfileLine(const std::string& line, ProfileTable& table, std::vector<std::uint16_t>& ports)
{
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#')
        return;
    const std::vector<std::string> words = splitWords(line);
    const std::string& verb = words[0];
    if (verb == "listen") {
        if (words.size() < 2)
            fail("listen: want a port");
        for (std::size_t i = 1; i < words.size(); ++i)
            ports.push_back(static_cast<std::uint16_t>(number("listen", words[i], 1, 65535)));
        return;
    }
    if (verb != "server" && verb != "range")
        fail("want server, range or listen: " + verb);
    if (words.size() < 2)
        fail(verb + ": want an address");

    Kind kind = Kind::Hl1;
    for (std::size_t i = 2; i < words.size(); ++i) {
        if (words[i].rfind("kind=", 0) == 0 && !parseKind(words[i].substr(5), kind))
            fail("kind: want hl1, source, old or silent: " + words[i].substr(5));
    }
    Profile profile = defaultsFor(kind);
    ProfileRange range;
    std::uint16_t port = 0;
    std::string where = words[1];
    if (const auto colon = where.find(':'); colon != std::string::npos) {
        port = static_cast<std::uint16_t>(number("port", where.substr(colon + 1), 1, 65535));
        where.resize(colon);
    }
    const std::uint32_t addr = loopbackAddress(where);
    for (std::size_t i = 2; i < words.size(); ++i) {
        const auto eq = words[i].find('=');
        if (eq == std::string::npos)
            fail("want key=value: " + words[i]);
        const std::string key = words[i].substr(0, eq);
        const std::string value = words[i].substr(eq + 1);
        if (verb == "range" && key == "count")
            range.count = static_cast<std::uint32_t>(number(key, value, 1, 1 << 24));
        else if (verb == "range" && key == "step")
            range.step = static_cast<std::uint32_t>(number(key, value, 1, 1 << 24));
        else if (verb == "range" && key == "port")
            port = static_cast<std::uint16_t>(number(key, value, 1, 65535));
        else
            applyKey(profile, key, value);
    }
    if (verb == "server") {
        table.add(addr, port, std::move(profile));
        return;
    }
    if (range.count == 0)
        fail("range: want count=N");
    const std::uint64_t last = addr + std::uint64_t(range.count - 1) * range.step;
    if ((last >> 24) != 127)
        fail("range leaves 127.0.0.0/8");
    range.first = addr;
    range.port = port;
    range.profile = std::move(profile);
    table.addRange(std::move(range));
}

void loadProfileFile(const std::string& path, ProfileTable& table, std::vector<std::uint16_t>& ports)
{
    std::ifstream in(path);
    if (!in)
        fail("cannot read " + path);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        try {
            applyProfileLine(line, table, ports);
        } catch (const std::invalid_argument& e) {
            fail(path + ":" + std::to_string(number) + ": " + e.what());
        }
    }
}

} // namespace vantry::emu
