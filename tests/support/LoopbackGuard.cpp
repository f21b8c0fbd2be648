#include "LoopbackGuard.h"

#include <arpa/inet.h>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>

namespace vantry::test {

std::string loopbackOnlyViolation()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return "cannot list the network interfaces";
    std::string found;
    for (ifaddrs* it = list; it; it = it->ifa_next) {
        const bool loopback = (it->ifa_flags & IFF_LOOPBACK) != 0;
        const bool up = (it->ifa_flags & IFF_UP) != 0;
        if (!loopback && up && found.find(it->ifa_name) == std::string::npos)
            found += std::string(found.empty() ? "" : ", ") + it->ifa_name;
    }
    freeifaddrs(list);
    if (!found.empty())
        return "network interfaces other than loopback are up (" + found +
               "); run the tests through tools/setup.sh test, which runs them in a private "
               "network namespace";
    return {};
}

bool isLoopback(unsigned int hostOrder)
{
    return (hostOrder >> 24) == 127;
}

bool isLoopback(const std::string& dotted)
{
    in_addr addr{};
    if (inet_pton(AF_INET, dotted.c_str(), &addr) != 1)
        return false;
    return isLoopback(ntohl(addr.s_addr));
}

} // namespace vantry::test
