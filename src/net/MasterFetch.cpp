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

// Long waits are cut so that a stop request is seen soon.
constexpr std::int64_t StopCheckMs = 100;

} // namespace

MasterLink::MasterLink(const query::Endpoint& master) : m_master(master), m_buffer(65'535)
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        throw BatchSocketError(std::string("socket: ") + std::strerror(errno), errno);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(master.port);
    to.sin_addr.s_addr = htonl(master.address);
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        const int err = errno;
        ::close(m_fd);
        throw BatchSocketError(std::string("connect: ") + std::strerror(err), err);
    }
}

MasterLink::~MasterLink()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

MasterLink::MasterLink(MasterLink&& other) noexcept
    : m_master(other.m_master), m_fd(other.m_fd), m_refused(other.m_refused), m_foreign(other.m_foreign),
      m_buffer(std::move(other.m_buffer))
{
    other.m_fd = -1;
}

void MasterLink::send(std::span<const std::uint8_t> request)
{
    if (!request.empty())
        ::send(m_fd, request.data(), request.size(), MSG_NOSIGNAL);
}

void MasterLink::drain(const std::function<void(query::Bytes)>& take, const std::function<void()>& refusedNow)
{
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, m_buffer.data(), m_buffer.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0) {
            if (errno != ECONNREFUSED)
                return; // EAGAIN: drained
            // Nothing listens there: asking again would only wait out every retry.
            m_refused = true;
            refusedNow();
            continue;
        }
        const query::Endpoint sender{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
        if (sender != m_master)
            ++m_foreign;
        else
            take(query::Bytes(m_buffer.data(), static_cast<std::size_t>(n)));
    }
}

bool MasterLink::drain(query::ListExchange& exchange, std::int64_t nowMs)
{
    bool taken = false;
    drain([&](query::Bytes page) { taken |= exchange.received(page, nowMs); }, [&] { exchange.refused(); });
    return taken;
}

std::optional<std::int64_t> MasterLink::pump(query::ListExchange& exchange, std::int64_t nowMs)
{
    const query::ListExchange::Step step = exchange.step(nowMs);
    send(step.send);
    if (step.done)
        return std::nullopt;
    return step.wakeMs;
}

void fetchMasterLists(std::vector<MasterListing>& listings, const std::function<bool()>& stop,
                      query::Clock& clock)
{
    std::vector<MasterLink> links;
    links.reserve(listings.size());
    for (const MasterListing& l : listings)
        links.emplace_back(l.master);
    std::vector<pollfd> fds(listings.size());

    for (;;) {
        if (stop && stop())
            return;
        const std::int64_t now = clock.nowMs();
        std::int64_t wake = now + StopCheckMs;
        bool running = false;
        for (std::size_t i = 0; i < listings.size(); ++i) {
            fds[i] = {links[i].fd(), 0, 0};
            const std::optional<std::int64_t> next = links[i].pump(*listings[i].exchange, now);
            if (!next)
                continue;
            running = true;
            fds[i].events = POLLIN;
            wake = std::min(wake, *next);
        }
        if (!running)
            return;
        const int timeout = static_cast<int>(std::clamp<std::int64_t>(wake - now, 0, StopCheckMs));
        if (::poll(fds.data(), fds.size(), timeout) <= 0)
            continue;
        for (std::size_t i = 0; i < listings.size(); ++i) {
            if (fds[i].revents & (POLLIN | POLLERR)) {
                links[i].drain(*listings[i].exchange, clock.nowMs());
                listings[i].refused = links[i].refused();
                listings[i].foreignDatagrams = links[i].foreignDatagrams();
            }
        }
    }
}

} // namespace vantry::net
