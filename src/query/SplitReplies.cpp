#include "SplitReplies.h"

#include <algorithm>
#include <array>
#include <bzlib.h>

namespace vantry::query {

namespace {

constexpr std::uint32_t CompressedBit = 0x80000000u;
constexpr std::size_t LargestDatagram = 1500;
constexpr std::size_t CompressedPrefix = 8; // decompressed size, CRC32

std::uint32_t u32le(Bytes data, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(ByteReader::byteAt(data, at + i)) << (8 * i);
    return value;
}

std::size_t splitSize(Bytes data)
{
    return ByteReader::byteAt(data, 10) | (static_cast<std::size_t>(ByteReader::byteAt(data, 11)) << 8);
}

constexpr std::array<std::uint32_t, 256> CrcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}();

} // namespace

std::uint32_t crc32(Bytes data)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (const std::uint8_t b : data)
        c = CrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

namespace {

// Whether the payload behind a header of this size opens a reply: fragment 0's.
bool opensReply(Bytes d, std::size_t headerSize)
{
    if (d.size() <= headerSize)
        return false;
    const Bytes p = d.subspan(headerSize);
    if (headerSize == SplitReplies::HeaderSize) {
        const std::size_t size = splitSize(d);
        if (size < p.size() || size > LargestDatagram)
            return false;
    }
    if (u32le(d, 4) & CompressedBit)
        return p.size() > CompressedPrefix + 3 && p[8] == 'B' && p[9] == 'Z' && p[10] == 'h';
    return p.size() >= 4 && p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF && p[3] == 0xFF;
}

} // namespace

bool SplitReplies::isFragment(Bytes d)
{
    if (d.size() <= OlderHeaderSize || ByteReader::byteAt(d, 0) != 0xFE)
        return false;
    const std::size_t total = ByteReader::byteAt(d, 8);
    const std::size_t number = ByteReader::byteAt(d, 9);
    if (total < 1 || total > MaxFragments || number >= total)
        return false;
    // The later fragments of the two layouts look alike; fragment 0 tells them apart.
    if (number != 0)
        return true;
    return opensReply(d, HeaderSize) || opensReply(d, OlderHeaderSize);
}

SplitReplies::Result SplitReplies::add(Bytes d, const Endpoint& from, std::uint64_t nowMs)
{
    std::erase_if(m_partials, [&](const Partial& p) { return nowMs > p.startMs + TimeLimitMs; });
    // A server splits at 1500 bytes at most: anything larger is a flood, which must not be held
    // up to MaxPartials * MaxFragments times.
    if (d.size() > HeaderSize + LargestDatagram)
        return Result::Rejected;

    const std::uint32_t id = u32le(d, 4);
    const std::uint8_t total = ByteReader::byteAt(d, 8);
    const std::uint8_t number = ByteReader::byteAt(d, 9);
    auto it = std::find_if(m_partials.begin(), m_partials.end(),
                           [&](const Partial& p) { return p.id == id && p.from == from; });
    if (it == m_partials.end()) {
        if (m_partials.size() >= MaxPartials)
            m_partials.erase(
                std::min_element(m_partials.begin(), m_partials.end(),
                                 [](const Partial& a, const Partial& b) { return a.startMs < b.startMs; }));
        Partial p;
        p.from = from;
        p.id = id;
        p.total = total;
        p.startMs = nowMs;
        p.fragments.resize(total);
        m_partials.push_back(std::move(p));
        it = std::prev(m_partials.end());
    }
    if (it->total != total) {
        m_partials.erase(it);
        return Result::Rejected;
    }
    auto& slot = it->fragments[number];
    if (!slot) {
        slot.emplace(d.begin(), d.end());
        ++it->received;
    }
    if (it->received < it->total)
        return Result::Held;
    const bool whole = assemble(*it);
    m_partials.erase(it);
    return whole ? Result::Complete : Result::Rejected;
}

bool SplitReplies::assemble(const Partial& partial)
{
    // Where both layouts open a reply, the one whose reply checks out wins.
    return assembleAs(partial, HeaderSize) || assembleAs(partial, OlderHeaderSize);
}

bool SplitReplies::assembleAs(const Partial& partial, std::size_t headerSize)
{
    if (!opensReply(*partial.fragments[0], headerSize))
        return false;
    std::vector<std::uint8_t> joined;
    for (const auto& fragment : partial.fragments) {
        // isFragment() let through nothing shorter than the older header.
        if (fragment->size() < headerSize)
            return false;
        joined.insert(joined.end(), fragment->begin() + static_cast<std::ptrdiff_t>(headerSize),
                      fragment->end());
    }
    if (!(partial.id & CompressedBit)) {
        m_reply = std::move(joined);
        return true;
    }
    // opensReply() saw the prefix and the bzip2 mark.
    const std::uint32_t size = u32le(joined, 0);
    const std::uint32_t crc = u32le(joined, 4);
    if (size < 5 || size > MaxReplySize)
        return false;
    m_reply.assign(size, 0);
    unsigned int produced = size;
    const int status =
        BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(m_reply.data()), &produced,
                                   reinterpret_cast<char*>(joined.data() + CompressedPrefix),
                                   static_cast<unsigned int>(joined.size() - CompressedPrefix), 0, 0);
    if (status != BZ_OK || produced != size || crc32(m_reply) != crc) {
        m_reply.clear();
        return false;
    }
    return true;
}

} // namespace vantry::query
