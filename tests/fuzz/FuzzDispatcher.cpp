#include "FuzzInput.h"
#include "Invariants.h"
#include "query/Dispatcher.h"

#include <cstddef>
#include <cstdint>

// Several datagrams from several senders into one dispatcher, so that the challenge slot, the
// table of requests in flight and the reassembly of split replies carry state from one datagram
// to the next.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using vantry::query::OutstandingRequests;
    vantry::query::Requests requests;
    vantry::query::Dispatcher dispatcher(requests);
    // A small table, so that its neighbourhoods fill and give way within one input.
    OutstandingRequests table(OutstandingRequests::MinimumCapacity);
    // Odd-sized inputs run without the table, as the decoders' own tests do.
    if (size % 2 == 0)
        dispatcher.setOutstanding(&table);
    // Each frame comes a second after the one before, so that split replies also time out; the
    // senders are asked for info, details, both or nothing in turn, so every challenge route is
    // taken.
    std::uint64_t nowMs = 0;
    unsigned turn = 0;
    for (const vantry::fuzz::Frame& frame : vantry::fuzz::splitFrames({data, size})) {
        if (turn % 4 == 0 || turn % 4 == 2)
            table.infoSent(frame.from.address, frame.from.port, std::int64_t(nowMs));
        if (turn % 4 == 1 || turn % 4 == 2)
            table.detailsSent(frame.from.address, frame.from.port, std::int64_t(nowMs));
        ++turn;
        vantry::fuzz::checkOutcome(dispatcher.dispatch(frame.datagram, frame.from, nowMs), frame.from,
                                   &requests);
        nowMs += 1000;
    }
    return 0;
}
