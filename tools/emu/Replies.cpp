#include "Replies.h"

#include <algorithm>
#include <bzlib.h>
#include <cstring>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string_view>

namespace vantry::emu {

namespace {

constexpr std::uint8_t Ff = 0xFF;

class Writer
{
public:
    explicit Writer(Datagram& out) : m_out(out) {}
    void byte(std::uint8_t value) { m_out.push_back(value); }
    void text(std::string_view value)
    {
        m_out.insert(m_out.end(), value.begin(), value.end());
        m_out.push_back(0);
    }
    void raw(std::string_view value) { m_out.insert(m_out.end(), value.begin(), value.end()); }
    void u16(std::uint16_t value)
    {
        byte(static_cast<std::uint8_t>(value & 0xFF));
        byte(static_cast<std::uint8_t>(value >> 8));
    }
    void u32(std::uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8)
            byte(static_cast<std::uint8_t>((value >> shift) & 0xFF));
    }
    void header(char type)
    {
        for (int i = 0; i < 4; ++i)
            byte(Ff);
        byte(static_cast<std::uint8_t>(type));
    }

private:
    Datagram& m_out;
};

// The request word after FF FF FF FF, ended by a NUL or by the end of the datagram.
bool isOldRequest(std::span<const std::uint8_t> request, std::string_view word)
{
    if (request.size() < 4 + word.size())
        return false;
    if (std::memcmp(request.data() + 4, word.data(), word.size()) != 0)
        return false;
    const std::size_t end = 4 + word.size();
    return request.size() == end || request[end] == 0;
}

std::string hostAndPort(std::uint32_t addr, std::uint16_t port)
{
    return dottedAddress(addr) + ":" + std::to_string(port);
}

} // namespace

std::string dottedAddress(std::uint32_t hostOrder)
{
    return std::to_string(hostOrder >> 24) + "." + std::to_string((hostOrder >> 16) & 0xFF) + "." +
           std::to_string((hostOrder >> 8) & 0xFF) + "." + std::to_string(hostOrder & 0xFF);
}

std::array<std::uint8_t, 4> challengeFor(const Profile& profile, std::uint32_t destAddr)
{
    if (profile.challenge != std::array<std::uint8_t, 4>{})
        return profile.challenge;
    // Never "Sour" and never all zero, so an unanswered or initial request always misses.
    return {0xC7, static_cast<std::uint8_t>((destAddr >> 16) & 0xFF),
            static_cast<std::uint8_t>((destAddr >> 8) & 0xFF), static_cast<std::uint8_t>(destAddr & 0xFF)};
}

Datagram hl1InfoReply(const Profile& profile, std::uint32_t destAddr, std::uint16_t destPort)
{
    Datagram out;
    Writer w(out);
    w.header('m');
    w.text(hostAndPort(destAddr, profile.advertisedPort ? profile.advertisedPort : destPort));
    w.text(profile.name);
    w.text(profile.map);
    w.text(profile.gameDir);
    w.text(profile.description);
    w.byte(profile.players);
    w.byte(profile.maxPlayers);
    w.byte(profile.protocol);
    w.byte(static_cast<std::uint8_t>(profile.serverType));
    w.byte(static_cast<std::uint8_t>(profile.os));
    w.byte(profile.password);
    w.byte(0); // not a mod: no mod block follows
    w.byte(1); // secure
    w.byte(profile.bots);
    return out;
}

Datagram sourceInfoReply(const Profile& profile, std::uint16_t destPort)
{
    Datagram out;
    Writer w(out);
    w.header('I');
    w.byte(profile.protocol);
    w.text(profile.name);
    w.text(profile.map);
    w.text(profile.gameDir);
    w.text(profile.description);
    w.u16(profile.appId);
    w.byte(profile.players);
    w.byte(profile.maxPlayers);
    w.byte(profile.bots);
    w.byte(static_cast<std::uint8_t>(profile.serverType));
    w.byte(static_cast<std::uint8_t>(profile.os));
    w.byte(profile.password);
    w.byte(1); // secure
    w.text(profile.version);
    w.byte(0x80); // extra data: the game port follows
    w.u16(destPort);
    return out;
}

Datagram oldInfoReply(const Profile& profile, std::uint32_t destAddr, std::uint16_t destPort)
{
    Datagram out;
    Writer w(out);
    for (int i = 0; i < 4; ++i)
        w.byte(Ff);
    w.text("infostringresponse");
    const auto pair = [&](std::string_view key, const std::string& value) {
        w.raw("\\");
        w.raw(key);
        w.raw("\\");
        w.raw(value);
    };
    // The order of a real server's string; "\proxytarget\" must not pass for "\proxy\", and the
    // last value has no closing backslash.
    pair("protocol", std::to_string(profile.protocol));
    pair("address", hostAndPort(destAddr, profile.advertisedPort ? profile.advertisedPort : destPort));
    pair("players", std::to_string(profile.players));
    pair("proxytarget", "0");
    pair("lan", "0");
    pair("max", std::to_string(profile.maxPlayers));
    pair("bots", std::to_string(profile.bots));
    pair("gamedir", profile.gameDir);
    pair("description", profile.description);
    pair("hostname", profile.name);
    pair("map", profile.map);
    pair("type", std::string(1, profile.serverType));
    pair("password", std::to_string(profile.password));
    pair("os", std::string(1, profile.os));
    pair("proxy", profile.proxy);
    pair("secure", "0");
    w.byte(0);
    return out;
}

Datagram playersReply(const Profile& profile)
{
    Datagram out;
    Writer w(out);
    w.header('D');
    const std::size_t countAt = out.size();
    w.byte(0);
    std::uint8_t count = 0;
    for (const Player& player : profile.playerList) {
        const std::size_t record = 1 + player.name.size() + 1 + 4 + 4;
        const std::size_t limit = profile.widePlayers ? LargestDatagram : SplitFragmentSize;
        if (out.size() + record > limit || count == 255)
            break; // a players reply is never split: keep it in one datagram
        w.byte(count);
        w.text(player.name);
        w.u32(static_cast<std::uint32_t>(player.kills));
        std::uint32_t seconds = 0;
        static_assert(sizeof seconds == sizeof player.seconds);
        std::memcpy(&seconds, &player.seconds, sizeof seconds);
        w.u32(seconds);
        ++count;
    }
    out[countAt] = count;
    return out;
}

Datagram rulesReply(const Profile& profile)
{
    Datagram out;
    Writer w(out);
    w.header('E');
    w.u16(static_cast<std::uint16_t>(std::min<std::size_t>(profile.rules.size(), 0xFFFF)));
    for (const Rule& rule : profile.rules) {
        w.text(rule.name);
        w.text(rule.value);
    }
    return out;
}

Datagram challengeReply(const std::array<std::uint8_t, 4>& challenge)
{
    Datagram out;
    Writer w(out);
    w.header('A');
    for (std::uint8_t b : challenge)
        w.byte(b);
    return out;
}

std::vector<Datagram> splitReply(const Datagram& whole, const std::array<std::uint8_t, 4>& id)
{
    constexpr std::size_t firstPayload = SplitFragmentSize - SplitHeaderSize;
    if (whole.size() <= firstPayload)
        return {whole};
    const auto fragment = [&](std::uint8_t numberAndCount, std::size_t from, std::size_t to) {
        Datagram out{0xFE, Ff, Ff, Ff, id[0], id[1], id[2], id[3], numberAndCount};
        out.insert(out.end(), whole.begin() + static_cast<std::ptrdiff_t>(from),
                   whole.begin() + static_cast<std::ptrdiff_t>(to));
        return out;
    };
    // Fragment byte: number in the high nibble, count in the low one.
    return {fragment(0x02, 0, firstPayload), fragment(0x12, firstPayload, whole.size())};
}

Datagram bzip2(const Datagram& data)
{
    // libbz2's documented worst case: 1 % more than the input and 600 bytes.
    Datagram out(data.size() + data.size() / 100 + 601);
    unsigned int length = static_cast<unsigned int>(out.size());
    Datagram input = data; // the library takes a non-const source
    const int status = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &length,
                                                reinterpret_cast<char*>(input.data()),
                                                static_cast<unsigned int>(input.size()), 9, 0, 0);
    if (status != BZ_OK)
        throw std::runtime_error("bzip2 failed: " + std::to_string(status));
    out.resize(length);
    return out;
}

std::uint32_t crc32(std::span<const std::uint8_t> data)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : data) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::vector<Datagram> newerSplitReply(const Datagram& whole, const NewerSplit& split,
                                      const std::array<std::uint8_t, 4>& idBytes)
{
    if (split.size == 0 || (whole.size() <= split.size && !split.single))
        return {whole};
    std::uint32_t id = 0;
    for (std::size_t i = 0; i < 4; ++i)
        id |= std::uint32_t(idBytes[i]) << (8 * i);
    id &= 0x7FFFFFFFu;
    Datagram payload = whole;
    if (split.compressed) {
        payload.clear();
        Writer w(payload);
        w.u32(static_cast<std::uint32_t>(whole.size()));
        w.u32(crc32(whole));
        const Datagram packed = bzip2(whole);
        payload.insert(payload.end(), packed.begin(), packed.end());
        id |= 0x80000000u;
    }
    const std::size_t total = (payload.size() + split.size - 1) / split.size;
    // A header counts fragments in one byte, and a reply of one fragment is no split reply
    // (except for a server that sends every reply so).
    if ((total < 2 && !split.single) || total > 255)
        return {whole};

    std::vector<std::size_t> order(total);
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (split.order == FragmentOrder::Reverse) {
        std::reverse(order.begin(), order.end());
    } else if (split.order == FragmentOrder::Shuffled) {
        std::mt19937 random(id);
        std::shuffle(order.begin(), order.end(), random);
        if (std::is_sorted(order.begin(), order.end()))
            std::rotate(order.begin(), order.begin() + 1, order.end());
    }
    std::vector<Datagram> out;
    for (std::size_t number : order) {
        if (split.withheld >= 0 && number == static_cast<std::size_t>(split.withheld))
            continue;
        Datagram fragment;
        Writer w(fragment);
        w.byte(0xFE);
        w.byte(Ff);
        w.byte(Ff);
        w.byte(Ff);
        w.u32(id);
        w.byte(static_cast<std::uint8_t>(total));
        w.byte(static_cast<std::uint8_t>(number));
        if (!split.olderHeader)
            w.u16(split.size);
        const std::size_t from = number * split.size;
        const std::size_t to = std::min(payload.size(), from + split.size);
        fragment.insert(fragment.end(), payload.begin() + static_cast<std::ptrdiff_t>(from),
                        payload.begin() + static_cast<std::ptrdiff_t>(to));
        out.push_back(std::move(fragment));
    }
    return out;
}

namespace {

std::vector<Datagram> rulesDatagrams(const Profile& profile)
{
    const Datagram whole = rulesReply(profile);
    if (profile.newerSplit.size > 0)
        return newerSplitReply(whole, profile.newerSplit, profile.splitId);
    if (profile.splitRules)
        return splitReply(whole, profile.splitId);
    return {whole};
}

std::vector<Datagram> playersDatagrams(const Profile& profile)
{
    if (profile.newerSplit.single)
        return newerSplitReply(playersReply(profile), profile.newerSplit, profile.splitId);
    return {playersReply(profile)};
}

bool carriesChallenge(std::span<const std::uint8_t> request, std::size_t at,
                      const std::array<std::uint8_t, 4>& expected)
{
    return request.size() >= at + expected.size() &&
           std::memcmp(request.data() + at, expected.data(), expected.size()) == 0;
}

} // namespace

std::vector<Datagram> answer(const Profile& profile, std::span<const std::uint8_t> request,
                             std::uint32_t destAddr, std::uint16_t destPort)
{
    if (profile.kind == Kind::Silent || request.size() < 5)
        return {};
    if (!std::all_of(request.begin(), request.begin() + 4, [](std::uint8_t b) { return b == Ff; }))
        return {};

    if (profile.kind == Kind::OldInfo) {
        if (isOldRequest(request, "infostring"))
            return {oldInfoReply(profile, destAddr, destPort)};
        if (isOldRequest(request, "players"))
            return {playersReply(profile)};
        if (isOldRequest(request, "rules"))
            return rulesDatagrams(profile);
        return {};
    }

    const std::uint8_t type = request[4];
    if (type == 'T') {
        constexpr std::string_view query = "Source Engine Query";
        if (request.size() < 5 + query.size() ||
            std::memcmp(request.data() + 5, query.data(), query.size()) != 0)
            return {};
        // The challenge follows the request's NUL: bytes 25..28.
        constexpr std::size_t InfoChallengeAt = 5 + query.size() + 1;
        if (profile.infoChallenge &&
            !carriesChallenge(request, InfoChallengeAt, challengeFor(profile, destAddr)))
            return {challengeReply(challengeFor(profile, destAddr))};
        if (profile.bothInfoLayouts)
            return {hl1InfoReply(profile, destAddr, destPort), sourceInfoReply(profile, destPort)};
        if (profile.kind == Kind::Hl1)
            return {hl1InfoReply(profile, destAddr, destPort)};
        return {sourceInfoReply(profile, destPort)};
    }
    if (type == 'U' || type == 'V') {
        const auto expected = challengeFor(profile, destAddr);
        if (!carriesChallenge(request, 5, expected))
            return {challengeReply(expected)};
        if (type == 'U')
            return playersDatagrams(profile);
        return rulesDatagrams(profile);
    }
    return {};
}

const char* kindName(Kind kind)
{
    switch (kind) {
    case Kind::Hl1:
        return "hl1";
    case Kind::Source:
        return "source";
    case Kind::OldInfo:
        return "old";
    case Kind::Silent:
        return "silent";
    }
    return "?";
}

bool parseKind(const std::string& text, Kind& kind)
{
    for (Kind k : {Kind::Hl1, Kind::Source, Kind::OldInfo, Kind::Silent}) {
        if (text == kindName(k)) {
            kind = k;
            return true;
        }
    }
    return false;
}

const char* orderName(FragmentOrder order)
{
    switch (order) {
    case FragmentOrder::Forward:
        return "forward";
    case FragmentOrder::Reverse:
        return "reverse";
    case FragmentOrder::Shuffled:
        return "shuffle";
    }
    return "?";
}

bool parseOrder(const std::string& text, FragmentOrder& order)
{
    for (FragmentOrder o : {FragmentOrder::Forward, FragmentOrder::Reverse, FragmentOrder::Shuffled}) {
        if (text == orderName(o)) {
            order = o;
            return true;
        }
    }
    return false;
}

} // namespace vantry::emu
