#pragma once

#include "ByteReader.h"
#include "Records.h"

#include <vector>

namespace vantry::query {

// The players of a 'D' reply, highest kills first (equal kills keep reply order). Records are
// read from offset 7 while one starts inside the datagram; the count byte plays no part. A
// record cut by the end of the datagram gives a cut name and kills from the bytes there are.
std::vector<PlayerRow> AddPlayers(Bytes datagram);

} // namespace vantry::query
