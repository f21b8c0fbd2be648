#pragma once

#include "ByteReader.h"
#include "Endpoint.h"

#include <cstdint>
#include <vector>

namespace vantry::query {

enum class MasterOutcome
{
    Running,
    EndOfList,        // the end marker came
    Silent,           // no page came at all
    StoppedAnswering, // pages came, then none: the list may have ended without its end marker
    NoNewAddress,     // a page added no address not already listed
    RepeatedPage,     // the page before kept coming again in answer to the next request
    Limit,            // the limit of addresses was reached; the rest of the list was not asked for
};

// One public list's exchange with its master, without sockets or clocks of its own: the driver
// asks step() what to send and when, and hands over what comes from the master, so that the
// window's event loop and the command line's poll run the same exchanges.
class ListExchange
{
public:
    virtual ~ListExchange() = default;

    struct Step
    {
        std::vector<std::uint8_t> send; // a request to send now; empty: nothing to send
        std::int64_t wakeMs = 0;        // call step() again at this time, or sooner on a datagram
        bool done = false;
    };
    virtual Step step(std::int64_t nowMs) = 0;
    // A datagram from the master (the driver checks the sender). True when it was taken.
    virtual bool received(Bytes datagram, std::int64_t nowMs) = 0;
    // The master's host said that nothing listens on its port.
    virtual void refused() = 0;

    virtual bool done() const = 0;
    virtual MasterOutcome outcome() const = 0;
    // Every address once, in the order they first came.
    virtual const std::vector<Endpoint>& servers() const = 0;
    virtual std::size_t malformedReplies() const = 0;
};

} // namespace vantry::query
