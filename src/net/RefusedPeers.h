#pragma once

#include "query/Endpoint.h"

#include <cstddef>
#include <vector>

namespace vantry::net {

// A closed port answers with ICMP "port unreachable". On an unconnected UDP socket the kernel
// keeps that to itself unless asked; asked, it queues each error with the datagram's destination.
// A pending error also fails the socket's next send or receive once, so both must try again.

// Asks the kernel to queue ICMP errors on the socket.
void askForRefusals(int fd);

// Takes every queued error off the socket, appending the destination of each "port unreachable"
// to `refused`; the other errors (host unreachable, say) are taken and dropped, so that none
// stays queued: a queued error keeps the socket reported as ready. Returns how many were taken.
std::size_t takeRefusals(int fd, std::vector<query::Endpoint>& refused);

// Whether a failed send or receive may only report an earlier datagram's ICMP error.
bool isIcmpError(int error);

} // namespace vantry::net
