#include "RefusedPeers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace vantry::net {

void askForRefusals(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
}

std::size_t takeRefusals(int fd, std::vector<query::Endpoint>& refused)
{
    std::size_t taken = 0;
    for (;;) {
        // The payload is the start of our own request: not needed, and cut to fit.
        std::uint8_t payload[32];
        iovec iov{payload, sizeof payload};
        sockaddr_in to{};
        alignas(cmsghdr) char control[256];
        msghdr msg{};
        msg.msg_name = &to;
        msg.msg_namelen = sizeof to;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return taken; // EAGAIN: the queue is empty
        }
        ++taken;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR)
                continue;
            sock_extended_err e{};
            std::memcpy(&e, CMSG_DATA(c), sizeof e);
            if (e.ee_origin == SO_EE_ORIGIN_ICMP && e.ee_errno == ECONNREFUSED &&
                msg.msg_namelen >= sizeof to && to.sin_family == AF_INET)
                refused.push_back({ntohl(to.sin_addr.s_addr), ntohs(to.sin_port)});
        }
    }
}

bool isIcmpError(int error)
{
    switch (error) {
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EPROTO:
    case EMSGSIZE:
    case EACCES:
        return true;
    default:
        return false;
    }
}

} // namespace vantry::net
