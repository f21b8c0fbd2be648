#pragma once

#include "Profile.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace vantry::emu {

using Datagram = std::vector<std::uint8_t>;

inline constexpr std::size_t SplitFragmentSize = 1400;
inline constexpr std::size_t SplitHeaderSize = 9;
// The largest UDP payload over IPv4.
inline constexpr std::size_t LargestDatagram = 65507;

// The reply datagrams that a server of this profile, reached at destAddr:destPort (host order),
// sends for one request. Empty when it does not answer. Pure: no sockets, no clock.
std::vector<Datagram> answer(const Profile& profile, std::span<const std::uint8_t> request,
                             std::uint32_t destAddr, std::uint16_t destPort);

// The challenge a profile expects at that address: its own, or one derived from the address.
std::array<std::uint8_t, 4> challengeFor(const Profile& profile, std::uint32_t destAddr);

// The single reply layouts, whole (before any splitting).
Datagram hl1InfoReply(const Profile& profile, std::uint32_t destAddr, std::uint16_t destPort);
Datagram sourceInfoReply(const Profile& profile, std::uint16_t destPort);
Datagram oldInfoReply(const Profile& profile, std::uint32_t destAddr, std::uint16_t destPort);
Datagram playersReply(const Profile& profile);
Datagram rulesReply(const Profile& profile);
Datagram challengeReply(const std::array<std::uint8_t, 4>& challenge);
// One datagram when the reply fits, otherwise two fragments with a 9-byte header each.
std::vector<Datagram> splitReply(const Datagram& whole, const std::array<std::uint8_t, 4>& id);

inline constexpr std::size_t NewerHeaderSize = 12;
// The reply as newer-engine fragments in the order they leave (a withheld one left out), or the
// whole reply alone when it fits in one fragment (unless split.single) or would need more than 255.
std::vector<Datagram> newerSplitReply(const Datagram& whole, const NewerSplit& split,
                                      const std::array<std::uint8_t, 4>& id);
// bzip2 of the data at block size 9; throws std::runtime_error when libbz2 fails.
Datagram bzip2(const Datagram& data);
// CRC-32 of the zlib polynomial, reflected, as the newer engine's compressed replies carry it.
std::uint32_t crc32(std::span<const std::uint8_t> data);

std::string dottedAddress(std::uint32_t hostOrder);

} // namespace vantry::emu
