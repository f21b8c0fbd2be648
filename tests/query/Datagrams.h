#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Builders of reply datagrams, shared by the tests, the fuzzers' seeds and the benchmarks.
namespace vantry::test {

using Datagram = std::vector<std::uint8_t>;

class DatagramWriter
{
public:
    DatagramWriter& bytes(std::initializer_list<std::uint8_t> values);
    DatagramWriter& byte(std::uint8_t value);
    DatagramWriter& text(std::string_view value); // without a NUL
    DatagramWriter& cstr(std::string_view value); // with its NUL
    DatagramWriter& i32(std::int32_t value);      // little-endian
    DatagramWriter& header(char type);            // FF FF FF FF type
    Datagram build() const { return m_data; }

private:
    Datagram m_data;
};

struct Hl1Fields
{
    std::string address = "10.0.0.5:27015";
    std::string name = "Box";
    std::string map = "de_dust2";
    std::string directory = "cstrike";
    std::string description = "Counter-Strike";
    std::uint8_t players = 3;
    std::uint8_t maxPlayers = 16;
    std::uint8_t protocol = 47;
    std::uint8_t serverType = 'd';
    std::uint8_t os = 'w';
    std::uint8_t password = 0;
};
Datagram hl1Reply(const Hl1Fields& f = {});

struct SourceFields
{
    std::uint8_t protocol = 7;
    std::string name = "Box";
    std::string map = "de_dust";
    std::string directory = "cstrike";
    std::string description = "Counter-Strike: Source";
    std::uint8_t players = 5;
    std::uint8_t maxPlayers = 16;
    std::uint8_t bots = 0;
    std::uint8_t serverType = 'd';
    std::uint8_t os = 'l';
    std::uint8_t password = 0;
    std::uint16_t application = 240;
};
Datagram sourceReply(const SourceFields& f = {});

// FF FF FF FF "infostringresponse" 00 followed by the info string.
Datagram oldReply(std::string_view infoString);

Datagram playersReply(const std::vector<std::pair<std::string, std::int32_t>>& players, int countByte = -1);

// A whole rules reply; countByte < 0 writes the number of rules.
Datagram rulesReply(const std::vector<std::pair<std::string, std::string>>& rules, int countByte = -1);

// A rules reply split into a first fragment of exactly 1400 bytes and a last one.
std::pair<Datagram, Datagram> splitRulesReply(std::uint32_t requestNumber, int ruleCount);

// The newer engine's fragments of `body`: header FE FF FF FF, id, total, number, splitSize (LE),
// then up to splitSize bytes of the body each, in order.
std::vector<Datagram> newerSplit(std::uint32_t id, const Datagram& body, std::size_t splitSize);

// A varied set of well-formed replies of every type.
// A reply that fits in one datagram behind the split header all the same: total 1, number 0, the
// split size only when !olderHeader. compressed: the body is the declared size (the reply's own
// plus sizeSkew), its CRC32 (xor crcFlip) and its bzip2, and bit 31 of the id is set.
Datagram singleFragment(std::uint32_t id, const Datagram& reply, bool compressed, bool olderHeader,
                        std::int32_t sizeSkew = 0, std::uint32_t crcFlip = 0);

std::vector<Datagram> sampleDatagrams();

std::span<const std::uint8_t> view(const Datagram& d);

} // namespace vantry::test
