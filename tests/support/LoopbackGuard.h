#pragma once

#include <string>

namespace vantry::test {

// Empty when this process may send datagrams: every network interface it can see is loopback.
// Otherwise the reason it must not.
std::string loopbackOnlyViolation();

// True for 127.0.0.0/8, given as dotted text or as a host-order address.
bool isLoopback(const std::string& dotted);
bool isLoopback(unsigned int hostOrder);

} // namespace vantry::test
