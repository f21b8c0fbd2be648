#include "Datagrams.h"

#include "query/SplitReplies.h"

#include <algorithm>
#include <bzlib.h>
#include <stdexcept>

namespace vantry::test {

DatagramWriter& DatagramWriter::bytes(std::initializer_list<std::uint8_t> values)
{
    m_data.insert(m_data.end(), values.begin(), values.end());
    return *this;
}

DatagramWriter& DatagramWriter::byte(std::uint8_t value)
{
    m_data.push_back(value);
    return *this;
}

DatagramWriter& DatagramWriter::text(std::string_view value)
{
    for (const char c : value)
        m_data.push_back(static_cast<std::uint8_t>(c));
    return *this;
}

DatagramWriter& DatagramWriter::cstr(std::string_view value)
{
    return text(value).byte(0);
}

DatagramWriter& DatagramWriter::i32(std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        m_data.push_back(static_cast<std::uint8_t>(u >> shift));
    return *this;
}

DatagramWriter& DatagramWriter::header(char type)
{
    return bytes({0xFF, 0xFF, 0xFF, 0xFF}).byte(static_cast<std::uint8_t>(type));
}

Datagram hl1Reply(const Hl1Fields& f)
{
    return DatagramWriter()
        .header('m')
        .cstr(f.address)
        .cstr(f.name)
        .cstr(f.map)
        .cstr(f.directory)
        .cstr(f.description)
        .bytes({f.players, f.maxPlayers, f.protocol, f.serverType, f.os, f.password, 0})
        .byte(0) // secure
        .byte(0) // bots
        .build();
}

Datagram sourceReply(const SourceFields& f)
{
    return DatagramWriter()
        .header('I')
        .byte(f.protocol)
        .cstr(f.name)
        .cstr(f.map)
        .cstr(f.directory)
        .cstr(f.description)
        .byte(static_cast<std::uint8_t>(f.application & 0xFF))
        .byte(static_cast<std::uint8_t>(f.application >> 8))
        .bytes({f.players, f.maxPlayers, f.bots, f.serverType, f.os, f.password, 1})
        .cstr("1.0.0.22")
        .build();
}

Datagram oldReply(std::string_view infoString)
{
    return DatagramWriter()
        .bytes({0xFF, 0xFF, 0xFF, 0xFF})
        .cstr("infostringresponse")
        .text(infoString)
        .build();
}

Datagram playersReply(const std::vector<std::pair<std::string, std::int32_t>>& players, int countByte)
{
    DatagramWriter w;
    w.header('D').byte(static_cast<std::uint8_t>(countByte < 0 ? players.size() : std::size_t(countByte)));
    std::uint8_t index = 0;
    for (const auto& [name, kills] : players)
        w.byte(index++).cstr(name).i32(kills).bytes({0x00, 0x00, 0x80, 0x3F}); // time 1.0
    return w.build();
}

Datagram rulesReply(const std::vector<std::pair<std::string, std::string>>& rules, int countByte)
{
    DatagramWriter w;
    w.header('E')
        .byte(static_cast<std::uint8_t>(countByte < 0 ? rules.size() : std::size_t(countByte)))
        .byte(0);
    for (const auto& [name, value] : rules)
        w.cstr(name).cstr(value);
    return w.build();
}

std::pair<Datagram, Datagram> splitRulesReply(std::uint32_t requestNumber, int ruleCount)
{
    std::vector<std::pair<std::string, std::string>> rules;
    for (int i = 0; i < ruleCount; ++i)
        rules.emplace_back("rule_" + std::to_string(i), "value_" + std::to_string(i * 7));
    const Datagram whole = rulesReply(rules);
    constexpr std::size_t FirstPayload = 1400 - 9;
    if (whole.size() <= FirstPayload || whole.size() > FirstPayload + 1491)
        throw std::invalid_argument("rule count does not make a two-fragment reply");
    auto fragment = [&](std::uint8_t number) {
        DatagramWriter w;
        w.bytes({0xFE, 0xFF, 0xFF, 0xFF}).i32(static_cast<std::int32_t>(requestNumber)).byte(number);
        return w.build();
    };
    Datagram first = fragment(0x02);
    first.insert(first.end(), whole.begin(), whole.begin() + FirstPayload);
    Datagram last = fragment(0x12);
    last.insert(last.end(), whole.begin() + FirstPayload, whole.end());
    return {first, last};
}

std::vector<Datagram> newerSplit(std::uint32_t id, const Datagram& body, std::size_t splitSize)
{
    const std::size_t total = (body.size() + splitSize - 1) / splitSize;
    std::vector<Datagram> out;
    for (std::size_t i = 0; i < total; ++i) {
        DatagramWriter w;
        w.bytes({0xFE, 0xFF, 0xFF, 0xFF}).i32(static_cast<std::int32_t>(id));
        w.byte(static_cast<std::uint8_t>(total)).byte(static_cast<std::uint8_t>(i));
        w.byte(static_cast<std::uint8_t>(splitSize & 0xFF)).byte(static_cast<std::uint8_t>(splitSize >> 8));
        Datagram d = w.build();
        const auto from = body.begin() + static_cast<std::ptrdiff_t>(i * splitSize);
        const auto to =
            body.begin() + static_cast<std::ptrdiff_t>(std::min(body.size(), (i + 1) * splitSize));
        d.insert(d.end(), from, to);
        out.push_back(std::move(d));
    }
    return out;
}

Datagram singleFragment(std::uint32_t id, const Datagram& reply, bool compressed, bool olderHeader,
                        std::int32_t sizeSkew, std::uint32_t crcFlip)
{
    Datagram body = reply;
    if (compressed) {
        id |= 0x80000000u;
        Datagram packed(reply.size() + reply.size() / 100 + 601);
        unsigned int length = static_cast<unsigned int>(packed.size());
        Datagram source = reply;
        if (BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(packed.data()), &length,
                                     reinterpret_cast<char*>(source.data()),
                                     static_cast<unsigned int>(source.size()), 9, 0, 0) != BZ_OK)
            throw std::runtime_error("bzip2 failed");
        packed.resize(length);
        body = DatagramWriter()
                   .i32(static_cast<std::int32_t>(reply.size()) + sizeSkew)
                   .i32(static_cast<std::int32_t>(query::crc32(reply) ^ crcFlip))
                   .build();
        body.insert(body.end(), packed.begin(), packed.end());
    }
    DatagramWriter w;
    w.bytes({0xFE, 0xFF, 0xFF, 0xFF}).i32(static_cast<std::int32_t>(id)).bytes({1, 0});
    if (!olderHeader)
        w.byte(0xE0).byte(0x04); // 1248, the split size servers use
    Datagram d = w.build();
    d.insert(d.end(), body.begin(), body.end());
    return d;
}

std::vector<Datagram> sampleDatagrams()
{
    std::vector<Datagram> out;
    out.push_back(DatagramWriter().header('A').bytes({0x01, 0x02, 0x03, 0x04}).build());
    out.push_back(hl1Reply());
    Hl1Fields hltv;
    hltv.description = "HLTV";
    hltv.protocol = 46;
    hltv.address = "10.0.0.5:27020";
    out.push_back(hl1Reply(hltv));
    out.push_back(sourceReply());
    SourceFields hl2;
    hl2.description = "Deathmatch";
    hl2.password = 1;
    out.push_back(sourceReply(hl2));
    out.push_back(
        oldReply("\\hostname\\Box\\map\\crossfire\\players\\3\\max\\16\\os\\w\\password\\0\\proxy\\0"
                 "\\protocol\\46\\description\\Half-Life\\"));
    out.push_back(
        oldReply("\\hostname\\Relay\\players\\1\\max\\8\\proxy\\1\\protocol\\47\\description\\HLTV\\"));
    out.push_back(playersReply({{"Ann", 5}, {"Bob", 12}, {"Carl", -1}}));
    out.push_back(rulesReply({{"mp_timelimit", "30"}, {"sv_gravity", "800"}, {"nextlevel", ""}}));
    const auto [first, last] = splitRulesReply(0x0814, 100);
    out.push_back(first);
    out.push_back(last);
    for (const Datagram& d :
         newerSplit(0x21, rulesReply({{"sv_gravity", "800"}, {"mp_timelimit", "50"}}), 16))
        out.push_back(d);
    // The older Source engine's header, without the split size.
    for (Datagram d : newerSplit(0x22, rulesReply({{"sv_gravity", "800"}, {"mp_timelimit", "50"}}), 16)) {
        d.erase(d.begin() + 10, d.begin() + 12);
        out.push_back(std::move(d));
    }
    // Replies that fit in one datagram behind the split header, total 1: compressed in either
    // layout, plain, and with a wrong size or CRC.
    const Datagram fewPlayers = playersReply({{"Ann", 5}, {"Bob", 12}});
    const Datagram fewRules = rulesReply({{"sv_gravity", "800"}, {"mp_timelimit", "50"}});
    out.push_back(singleFragment(0x31, fewPlayers, true, false));
    out.push_back(singleFragment(0x32, fewRules, true, true));
    out.push_back(singleFragment(0x33, fewRules, false, false));
    out.push_back(singleFragment(0x34, fewRules, true, false, 1));
    out.push_back(singleFragment(0x35, fewPlayers, true, true, 0, 1));
    return out;
}

std::span<const std::uint8_t> view(const Datagram& d)
{
    return {d.data(), d.size()};
}

} // namespace vantry::test
