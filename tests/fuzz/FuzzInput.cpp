#include "FuzzInput.h"

#include <algorithm>
#include <array>

namespace vantry::fuzz {

namespace {

constexpr std::uint32_t Loopback = 127u << 24;
const std::array<vantry::query::Endpoint, 4> Senders = {{
    {Loopback | 1, 27015},
    {Loopback | 1, 27016},
    {Loopback | 2, 27015},
    {Loopback | 3, 1},
}};

} // namespace

std::vector<Frame> splitFrames(std::span<const std::uint8_t> input)
{
    std::vector<Frame> frames;
    std::size_t at = 0;
    while (at + 3 <= input.size()) {
        const std::uint8_t sender = input[at];
        std::size_t length = std::size_t{input[at + 1]} | std::size_t{input[at + 2]} << 8;
        length %= MaxDatagram + 1;
        at += 3;
        length = std::min(length, input.size() - at);
        frames.push_back({Senders[sender % Senders.size()], input.subspan(at, length)});
        at += length;
    }
    return frames;
}

void appendFrame(std::vector<std::uint8_t>& out, std::uint8_t sender, std::span<const std::uint8_t> datagram)
{
    const std::size_t length = std::min(datagram.size(), MaxDatagram);
    out.push_back(sender);
    out.push_back(static_cast<std::uint8_t>(length & 0xFF));
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.insert(out.end(), datagram.begin(), datagram.begin() + static_cast<std::ptrdiff_t>(length));
}

} // namespace vantry::fuzz
