#pragma once

#include "BatchSocket.h"
#include "query/MasterPaging.h"

#include <functional>
#include <vector>

namespace vantry::net {

// One master's listing as the socket driver runs it.
struct MasterListing
{
    query::Endpoint master;
    query::MasterPaging paging;
    // The master's host reported that nothing listens on its port (ICMP port unreachable); the
    // paging then runs out its retries as for silence.
    bool refused = false;
    std::size_t foreignDatagrams = 0; // from anyone but the master: dropped
};

// Runs every listing to its end side by side, each on a UDP socket of its own that it keeps for
// all its pages (a master starts a new socket's list from the beginning). `stop`, when given, is
// asked between waits and ends every listing where it stands. Throws BatchSocketError when a
// socket cannot be opened.
void fetchMasterLists(std::vector<MasterListing>& listings, const std::function<bool()>& stop = {},
                      query::Clock& clock = query::systemClock());

} // namespace vantry::net
