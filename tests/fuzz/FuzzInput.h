#pragma once

#include "query/Records.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The dispatcher fuzzer's input: a sequence of frames, each a sender selector byte, a 16-bit
// little-endian length and that many datagram bytes (fewer when the input ends first).
namespace vantry::fuzz {

struct Frame
{
    vantry::query::Endpoint from;
    std::span<const std::uint8_t> datagram;
};

constexpr std::size_t MaxDatagram = 65535; // what the endpoint can deliver: any UDP payload

std::vector<Frame> splitFrames(std::span<const std::uint8_t> input);
void appendFrame(std::vector<std::uint8_t>& out, std::uint8_t sender, std::span<const std::uint8_t> datagram);

} // namespace vantry::fuzz
