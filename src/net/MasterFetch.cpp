#include "MasterFetch.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace vantry::net {

namespace {

// The largest UDP payload: a reply is read whole whatever its size, then bounded by the decoder.
constexpr std::size_t MaxDatagram = 65'535;
// Long waits are cut so that a stop request is seen soon.
constexpr std::int64_t StopCheckMs = 100;

class Socket
{
public:
    explicit Socket(const query::Endpoint& master)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            throw BatchSocketError(std::string("socket: ") + std::strerror(errno));
        // Connected: the kernel drops datagrams from anyone else and reports an unreachable port.
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(master.port);
        to.sin_addr.s_addr = htonl(master.address);
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
            const int err = errno;
            ::close(m_fd);
            throw BatchSocketError(std::string("connect: ") + std::strerror(err));
        }
    }
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket(Socket&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Socket& operator=(Socket&&) = delete;

    int fd() const { return m_fd; }

private:
    int m_fd = -1;
};

void drain(int fd, MasterListing& listing, std::vector<std::uint8_t>& buffer, std::int64_t nowMs)
{
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0) {
            if (errno == ECONNREFUSED) {
                // Nothing listens there: asking again would only wait out every retry.
                listing.refused = true;
                listing.paging.refused();
                continue;
            }
            return; // EAGAIN: drained
        }
        const query::Endpoint sender{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
        if (sender != listing.master) {
            ++listing.foreignDatagrams;
            continue;
        }
        listing.paging.received(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)),
                                nowMs);
    }
}

} // namespace

void fetchMasterLists(std::vector<MasterListing>& listings, const std::function<bool()>& stop,
                      query::Clock& clock)
{
    std::vector<Socket> sockets;
    sockets.reserve(listings.size());
    for (const MasterListing& l : listings)
        sockets.emplace_back(l.master);
    std::vector<std::uint8_t> buffer(MaxDatagram);
    std::vector<pollfd> fds(listings.size());

    for (;;) {
        if (stop && stop())
            return;
        const std::int64_t now = clock.nowMs();
        std::int64_t wake = now + StopCheckMs;
        bool running = false;
        for (std::size_t i = 0; i < listings.size(); ++i) {
            fds[i] = {sockets[i].fd(), 0, 0};
            const query::MasterPaging::Step step = listings[i].paging.step(now);
            if (step.done)
                continue;
            running = true;
            fds[i].events = POLLIN;
            // A request the kernel refuses at once is a lost request: the paging asks again.
            if (!step.send.empty())
                ::send(sockets[i].fd(), step.send.data(), step.send.size(), MSG_NOSIGNAL);
            wake = std::min(wake, step.wakeMs);
        }
        if (!running)
            return;
        const int timeout = static_cast<int>(std::clamp<std::int64_t>(wake - now, 0, StopCheckMs));
        if (::poll(fds.data(), fds.size(), timeout) <= 0)
            continue;
        for (std::size_t i = 0; i < listings.size(); ++i) {
            if (fds[i].revents & (POLLIN | POLLERR))
                drain(sockets[i].fd(), listings[i], buffer, clock.nowMs());
        }
    }
}

} // namespace vantry::net
