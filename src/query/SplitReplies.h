#pragma once

#include "ByteReader.h"
#include "Records.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vantry::query {

// Replies of the newer engine split into fragments: FE FF FF FF, request id (4 bytes LE, top bit
// set when the payload is bzip2-compressed), total, number and, in the 12-byte header of today's
// servers, the server's split size (2 bytes LE); the older Source engine's 10-byte header ends
// at the number. Fragment 0 of a compressed reply then holds the decompressed size and its
// CRC32 (4 bytes LE each) ahead of the bzip2 data. Fragments are kept whole, per sender and
// request id, in any order, until the reply is whole or its time runs out; the layout is chosen
// then, by which one makes fragment 0 the start of a reply and, when compressed, by the size and
// CRC32 of what it decompresses to.
class SplitReplies
{
public:
    static constexpr std::size_t HeaderSize = 12;
    static constexpr std::size_t OlderHeaderSize = 10;
    static constexpr std::size_t MaxFragments = 32;
    static constexpr std::size_t MaxPartials = 64;
    static constexpr std::size_t MaxReplySize = 64 * 1024;
    static constexpr std::uint64_t TimeLimitMs = 5000;

    // Whether the datagram carries either header. Required: FE at byte 0, total 1..MaxFragments
    // and number < total at bytes 8 and 9 (the older engine's two-fragment rules replies put
    // their number and total into byte 8 and the reply from byte 9 on, so their first fragment
    // has FF at byte 9 and fails that; a total of 1 is a reply that fits in one datagram, which
    // older Source servers still send behind the header), and for fragment 0 a payload that, behind one of
    // the two headers, begins FF FF FF FF (plain) or carries the bzip2 mark "BZh" behind its size and CRC32
    // (compressed); behind the 12-byte header, also a split size from the payload's length up to 1500.
    static bool isFragment(Bytes datagram);

    enum class Result
    {
        Held,     // kept; the reply is not whole yet
        Complete, // reply() holds the whole reply, starting FF FF FF FF
        Rejected, // a fragment or a reply that does not fit: the reply is dropped
    };

    // The datagram must pass isFragment(). Replies older than TimeLimitMs at nowMs are dropped
    // first; when MaxPartials replies are open, the oldest gives way to a new one. A fragment
    // longer than a header and 1500 bytes is rejected: no server splits so.
    Result add(Bytes datagram, const Endpoint& from, std::uint64_t nowMs);

    const std::vector<std::uint8_t>& reply() const { return m_reply; }
    std::size_t openReplies() const { return m_partials.size(); }

private:
    struct Partial
    {
        Endpoint from;
        std::uint32_t id = 0;
        std::uint8_t total = 0;
        std::uint64_t startMs = 0;
        std::size_t received = 0;
        std::vector<std::optional<std::vector<std::uint8_t>>> fragments;
    };

    bool assemble(const Partial& partial);
    bool assembleAs(const Partial& partial, std::size_t headerSize);

    std::vector<Partial> m_partials;
    std::vector<std::uint8_t> m_reply;
};

// CRC-32 as bzip2's reply header carries it (the zlib polynomial, reflected).
std::uint32_t crc32(Bytes data);

} // namespace vantry::query
