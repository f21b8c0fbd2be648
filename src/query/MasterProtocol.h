#pragma once

#include "ByteReader.h"
#include "Endpoint.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The master server protocol: one request datagram per page of addresses, one reply datagram per
// page. Pure functions over bytes; the paging lives in MasterPaging.
namespace vantry::query {

// A request names no more than this much filter: the whole datagram stays well under a
// packet, and a filter of more is a mistake, not a query.
inline constexpr std::size_t MaxMasterFilter = 1024;

// '1', the region, the seed "a.b.c.d:port" (the first page's is "0.0.0.0:0"), NUL, the filter,
// NUL. The filter is cut at MaxMasterFilter bytes and at its first NUL.
std::vector<std::uint8_t> masterRequest(std::uint8_t region, const Endpoint& seed, std::string_view filter);

enum class MasterReplyError
{
    None,
    Short,       // fewer than the six header bytes
    BadHeader,   // not FF FF FF FF 66 0A (a multi-packet mark included: masters never split)
    RaggedEntry, // the bytes after the header are not whole 6-byte entries
};

struct MasterPage
{
    // The servers in reply order, as sent: duplicates kept, the end marker and entries that cannot
    // be a server (address 0.0.0.0 or port 0) left out.
    std::vector<Endpoint> servers;
    // The last entry that is not the end marker, as sent: the seed of the next request. None when
    // the page holds no entry but the end marker.
    std::optional<Endpoint> last;
    bool endOfList = false;   // 0.0.0.0:0 came; whatever follows it is ignored
    std::size_t unusable = 0; // entries left out of `servers`
};

// Decodes a reply; on failure none and the reason in `error`. Reads are bounded by the data:
// a datagram of any length gives at most (size - 6) / 6 entries.
std::optional<MasterPage> decodeMasterReply(Bytes datagram, MasterReplyError& error);

} // namespace vantry::query
