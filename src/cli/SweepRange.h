#pragma once

#include <cstdint>
#include <vector>

namespace vantry::cli {

// The addresses a sweep of FROM .. TO probes, in order (host order), as the window's sweep walks
// a range: the first two octets are FROM's; third octets run from FROM's to TO's; each block
// starts at FROM's fourth octet and ends at 254, the last block at TO's fourth octet. A falling
// third octet, or a last block that ends before it starts, probes nothing there.
std::vector<std::uint32_t> sweepAddresses(std::uint32_t from, std::uint32_t to);

// The number of addresses sweepAddresses() gives, without building them.
std::size_t sweepSize(std::uint32_t from, std::uint32_t to);

} // namespace vantry::cli
