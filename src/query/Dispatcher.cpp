#include "Dispatcher.h"

#include "Hl1Info.h"
#include "OldInfo.h"
#include "Players.h"
#include "Rules.h"
#include "SourceInfo.h"

#include <algorithm>

namespace vantry::query {

namespace {

constexpr std::uint8_t SplitMark = 0xFE;
static_assert(RulesReassembly::BufferSize == Dispatcher::ReassemblySize);

std::uint8_t at(Bytes data, std::size_t index)
{
    return ByteReader::byteAt(data, index);
}

} // namespace

Dispatcher::Dispatcher(Requests& requests) : m_requests(requests) {}

Outcome Dispatcher::dispatch(std::span<const std::uint8_t> datagram, const Endpoint& from)
{
    return dispatch(datagram, from, 0);
}

Outcome Dispatcher::dispatch(std::span<const std::uint8_t> datagram, const Endpoint& from,
                             std::uint64_t nowMs)
{
    if (datagram.empty())
        return Dropped{DropReason::FailedReceive};
    const Bytes d = datagram.first(std::min(datagram.size(), ReceiveBufferSize));

    // Byte 0 is left alone: it tells a whole reply (FF) from a fragment (FE) only once the type
    // byte has matched nothing.
    if (at(d, 1) != 0xFF || at(d, 2) != 0xFF || at(d, 3) != 0xFF)
        return Dropped{DropReason::BadHeader};
    if (d.size() <= 4)
        return Dropped{DropReason::TooShort};
    // A newer-engine fragment has its request id where a whole reply has its type, so any letter
    // may stand there: its header is recognised first.
    if (isNewerFragment(d, from))
        return newerFragment(d, from, nowMs);

    switch (at(d, 4)) {
    case 'A':
        return challenge(d, from, nowMs);
    case 'D':
        return PlayersReply{AddPlayers(d)};
    case 'E':
        // A whole reply is decoded where it lies; a first fragment kept for reassembly stays.
        return RulesReply{AddRules(d)};
    case 'I':
        return info(AddCSS(d, from), from, nowMs);
    case 'i':
        if (at(d, 14) != 'r' || at(d, 21) != 'e')
            return Dropped{DropReason::NotInfoString};
        return info(AddOld(extractOldInfo(d), from), from, nowMs);
    case 'm':
        return info(AddHL1(d, from), from, nowMs);
    default:
        if (at(d, 0) == SplitMark)
            return olderFragment(d, from);
        return Dropped{DropReason::UnknownType};
    }
}

bool Dispatcher::refused(const Endpoint& from, std::uint64_t nowMs)
{
    return m_outstanding && m_outstanding->refused(from.address, from.port, std::int64_t(nowMs));
}

Outcome Dispatcher::challenge(Bytes datagram, const Endpoint& from, std::uint64_t nowMs)
{
    ByteReader in(datagram, 5);
    const std::array<std::uint8_t, 4> bytes = in.bytes4();
    std::optional<std::array<std::uint8_t, 4>> infoToo;
    if (m_outstanding) {
        const auto route = m_outstanding->challenge(from.address, from.port, std::int64_t(nowMs));
        if (route == OutstandingRequests::ChallengeFor::Info)
            return InfoChallenge{from, bytes};
        if (route == OutstandingRequests::ChallengeFor::Nobody)
            return Dropped{DropReason::Unasked};
        if (route == OutstandingRequests::ChallengeFor::InfoAndDetails)
            infoToo = bytes;
    }
    m_requests.setChallenge(bytes);
    return ChallengeAnswer{from, infoToo};
}

Outcome Dispatcher::info(std::optional<ServerRow> row, const Endpoint& from, std::uint64_t nowMs)
{
    if (!row)
        return Dropped{DropReason::OtherGame};
    if (m_outstanding) {
        if (row->identity == Identity::AddressOnly) {
            row->pingMs = m_outstanding->oldInfoReply(from.address, from.port, std::int64_t(nowMs));
        } else {
            const auto answer = m_outstanding->infoReply(from.address, from.port, std::int64_t(nowMs));
            if (!answer.first)
                return Dropped{DropReason::SecondReply};
            row->pingMs = answer.pingMs;
        }
        const bool asked = row->pingMs.has_value();
        return InfoReply{std::move(*row), asked};
    }
    return InfoReply{std::move(*row)};
}

bool Dispatcher::isNewerFragment(Bytes datagram, const Endpoint& from) const
{
    // A last fragment that completes a kept older-engine first fragment stays with it, whatever
    // its bytes 8..15 look like; only then is the newer header considered.
    return at(datagram, 0) == SplitMark && !m_reassembly.completes(datagram, from) &&
           SplitReplies::isFragment(datagram);
}

Outcome Dispatcher::newerFragment(Bytes datagram, const Endpoint& from, std::uint64_t nowMs)
{
    // Fragments are held until their reply is whole: only for a server whose details were asked,
    // or a stranger could fill the memory with them.
    if (m_outstanding && !m_outstanding->detailsAsked(from.address, from.port, std::int64_t(nowMs)))
        return Dropped{DropReason::Unasked};
    switch (m_splitReplies.add(datagram, from, nowMs)) {
    case SplitReplies::Result::Held:
        return Dropped{DropReason::PartialReply};
    case SplitReplies::Result::Rejected:
        return Dropped{DropReason::BadSplitReply};
    case SplitReplies::Result::Complete:
        break;
    }
    const Bytes reply = m_splitReplies.reply();
    switch (at(reply, 4)) {
    case 'D':
        return PlayersReply{AddPlayers(reply)};
    case 'E':
        return RulesReply{AddRules(reply)};
    default:
        return Dropped{DropReason::UnknownType};
    }
}

Outcome Dispatcher::olderFragment(Bytes datagram, const Endpoint& from)
{
    if (datagram.size() == RulesReassembly::FirstFragmentSize) {
        m_reassembly.storeFirst(datagram, from);
        return RulesReply{{}, true};
    }
    return RulesReply{m_reassembly.completeWith(datagram, from)};
}

} // namespace vantry::query
