#pragma once

#include "ByteReader.h"
#include "Records.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vantry::query {

// A rules reply split in two: a first fragment of exactly FirstFragmentSize bytes and a last one
// of any other length, each with a 9-byte header (FE FF FF FF, request number, fragment byte).
class RulesReassembly
{
public:
    static constexpr std::size_t FirstFragmentSize = 1400;
    static constexpr std::size_t HeaderSize = 9;
    static constexpr std::size_t BufferSize = 3000;

    // Keeps the fragment (exactly FirstFragmentSize bytes) in place of any earlier one.
    void storeFirst(Bytes fragment, const Endpoint& from);

    // The rules of the first fragment followed by the payload of `last`. Only a first fragment
    // from the same address and port with the same request number is used; without one the
    // last fragment stands alone behind zeros, whose count of 0 gives no rules.
    std::vector<RuleRow> completeWith(Bytes last, const Endpoint& from);

    // Whether `last` would complete the kept first fragment (same sender, same request number).
    bool completes(Bytes last, const Endpoint& from) const;

private:
    std::array<std::uint8_t, BufferSize> m_buffer{};
    bool m_haveFirst = false;
    Endpoint m_firstFrom;
    std::array<std::uint8_t, 4> m_requestNumber{};
};

} // namespace vantry::query
