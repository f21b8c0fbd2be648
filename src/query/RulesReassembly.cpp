#include "RulesReassembly.h"

#include "Rules.h"

#include <algorithm>
#include <cstring>

namespace vantry::query {

namespace {

std::array<std::uint8_t, 4> requestNumber(Bytes fragment)
{
    ByteReader in(fragment, 4);
    return in.bytes4();
}

} // namespace

void RulesReassembly::storeFirst(Bytes fragment, const Endpoint& from)
{
    if (fragment.size() != FirstFragmentSize)
        return;
    std::memcpy(m_buffer.data(), fragment.data(), FirstFragmentSize);
    m_haveFirst = true;
    m_firstFrom = from;
    m_requestNumber = requestNumber(fragment);
}

bool RulesReassembly::completes(Bytes last, const Endpoint& from) const
{
    return m_haveFirst && m_firstFrom == from && m_requestNumber == requestNumber(last);
}

std::vector<RuleRow> RulesReassembly::completeWith(Bytes last, const Endpoint& from)
{
    if (!completes(last, from))
        return {};
    const Bytes payload = last.size() > HeaderSize ? last.subspan(HeaderSize) : Bytes{};
    const std::size_t copied = std::min(payload.size(), BufferSize - FirstFragmentSize);
    if (copied > 0)
        std::memcpy(m_buffer.data() + FirstFragmentSize, payload.data(), copied);
    // The reply starts after the first fragment's header and ends with this fragment: nothing of
    // a longer earlier fragment behind it is read.
    const std::size_t valid = FirstFragmentSize + copied;
    return AddRules(Bytes(m_buffer).subspan(HeaderSize, valid - HeaderSize));
}

} // namespace vantry::query
