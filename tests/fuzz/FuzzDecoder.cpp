#include "Invariants.h"
#include "query/Hl1Info.h"
#include "query/OldInfo.h"
#include "query/Players.h"
#include "query/Rules.h"
#include "query/SourceInfo.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// One decoder entry point on raw bytes, chosen at build time by VANTRY_FUZZ_DECODER.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vantry::query;
    // The sizes the dispatcher hands over: a receive buffer, or a reassembled rules reply.
#if VANTRY_FUZZ_DECODER == 5
    const std::size_t limit = RulesReassembly::BufferSize - RulesReassembly::HeaderSize;
#else
    const std::size_t limit = Dispatcher::ReceiveBufferSize;
#endif
    const Bytes bytes(data, std::min(size, limit));
    const Endpoint from{(127u << 24) | 1, 27015};
#if VANTRY_FUZZ_DECODER == 1
    if (const auto row = AddHL1(bytes, from))
        vantry::fuzz::checkRow(*row, from);
#elif VANTRY_FUZZ_DECODER == 2
    if (const auto row = AddCSS(bytes, from))
        vantry::fuzz::checkRow(*row, from);
#elif VANTRY_FUZZ_DECODER == 3
    vantry::fuzz::checkRow(AddOld(extractOldInfo(bytes), from), from);
#elif VANTRY_FUZZ_DECODER == 4
    vantry::fuzz::checkOutcome(PlayersReply{AddPlayers(bytes)}, from);
#elif VANTRY_FUZZ_DECODER == 5
    vantry::fuzz::checkOutcome(RulesReply{AddRules(bytes)}, from);
#else
#error "VANTRY_FUZZ_DECODER must name a decoder"
#endif
    return 0;
}
