#include "FuzzInput.h"
#include "Invariants.h"
#include "query/Dispatcher.h"

#include <cstddef>
#include <cstdint>

// Several datagrams from several senders into one dispatcher, so that the challenge slot and
// the reassembly of split replies carry state from one datagram to the next.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vantry::query::Requests requests;
    vantry::query::Dispatcher dispatcher(requests);
    // Each frame comes a second after the one before, so that split replies also time out.
    std::uint64_t nowMs = 0;
    for (const vantry::fuzz::Frame& frame : vantry::fuzz::splitFrames({data, size})) {
        vantry::fuzz::checkOutcome(dispatcher.dispatch(frame.datagram, frame.from, nowMs), frame.from);
        nowMs += 1000;
    }
    return 0;
}
