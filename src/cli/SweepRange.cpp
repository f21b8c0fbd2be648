#include "SweepRange.h"

namespace vantry::cli {

namespace {

struct Walk
{
    std::uint32_t base;  // first two octets of FROM
    unsigned firstBlock; // F3
    unsigned lastBlock;  // T3
    unsigned firstHost;  // F4
    unsigned lastHost;   // T4

    explicit Walk(std::uint32_t from, std::uint32_t to)
        : base(from & 0xFFFF0000u), firstBlock((from >> 8) & 0xFF), lastBlock((to >> 8) & 0xFF),
          firstHost(from & 0xFF), lastHost(to & 0xFF)
    {}

    // The last fourth octet of block c; a value below firstHost means the block is skipped.
    unsigned blockEnd(unsigned c) const { return c == lastBlock ? lastHost : 254; }
};

} // namespace

std::vector<std::uint32_t> sweepAddresses(std::uint32_t from, std::uint32_t to)
{
    std::vector<std::uint32_t> out;
    out.reserve(sweepSize(from, to));
    const Walk w(from, to);
    for (unsigned c = w.firstBlock; c <= w.lastBlock; ++c) {
        for (unsigned d = w.firstHost; d <= w.blockEnd(c); ++d)
            out.push_back(w.base | (c << 8) | d);
    }
    return out;
}

std::size_t sweepSize(std::uint32_t from, std::uint32_t to)
{
    const Walk w(from, to);
    std::size_t total = 0;
    for (unsigned c = w.firstBlock; c <= w.lastBlock; ++c) {
        if (w.blockEnd(c) >= w.firstHost)
            total += w.blockEnd(c) - w.firstHost + 1;
    }
    return total;
}

} // namespace vantry::cli
