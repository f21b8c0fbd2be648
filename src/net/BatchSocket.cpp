#include "BatchSocket.h"

#include "RefusedPeers.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace vantry::net {

namespace {

[[noreturn]] void fail(const char* what)
{
    throw BatchSocketError(std::string(what) + ": " + std::strerror(errno), errno);
}

bool bindTo(int fd, std::uint16_t port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

// Forcing past the system limit works for root and inside a private namespace; otherwise the plain
// request gets what the limit allows. Returns what the kernel reports.
int growBuffer(int fd, int option, int forceOption, int bytes)
{
    if (::setsockopt(fd, SOL_SOCKET, forceOption, &bytes, sizeof bytes) != 0)
        ::setsockopt(fd, SOL_SOCKET, option, &bytes, sizeof bytes);
    int actual = 0;
    socklen_t length = sizeof actual;
    ::getsockopt(fd, SOL_SOCKET, option, &actual, &length);
    return actual;
}

sockaddr_in socketAddress(const query::Endpoint& peer)
{
    sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_port = htons(peer.port);
    out.sin_addr.s_addr = htonl(peer.address);
    return out;
}

std::int64_t realtimeNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

constexpr std::size_t ControlSize = CMSG_SPACE(sizeof(timespec));

} // namespace

BatchSocket::BatchSocket(int wantedReceiveBuffer, query::Clock& clock)
    : BatchSocket(Options{wantedReceiveBuffer}, clock)
{}

BatchSocket::BatchSocket(const Options& options, query::Clock& clock)
    : m_clock(&clock), m_buffers(new std::uint8_t[ReceiveBatchSize * DatagramCapacity]),
      m_incoming(ReceiveBatchSize), m_from(ReceiveBatchSize), m_iov(ReceiveBatchSize),
      m_headers(ReceiveBatchSize), m_control(ReceiveBatchSize)
{
    static_assert(ControlSize <= 64);
    for (std::size_t i = 0; i < ReceiveBatchSize; ++i) {
        m_iov[i] = {m_buffers.get() + i * DatagramCapacity, DatagramCapacity};
        m_headers[i].msg_hdr.msg_name = &m_from[i];
        m_headers[i].msg_hdr.msg_iov = &m_iov[i];
        m_headers[i].msg_hdr.msg_iovlen = 1;
        m_headers[i].msg_hdr.msg_control = m_control[i].data();
    }
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        fail("socket");
    m_receiveBuffer = growBuffer(m_fd, SO_RCVBUF, SO_RCVBUFFORCE, options.receiveBuffer);
    if (options.sendBuffer > 0)
        growBuffer(m_fd, SO_SNDBUF, SO_SNDBUFFORCE, options.sendBuffer);
    const int on = 1;
    if (options.broadcast)
        ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    // Kernel arrival times make round trips exact even for replies that wait while a batch leaves.
    ::setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    // A closed port ends its request at once instead of waiting out the time-out.
    askForRefusals(m_fd);
    // No SO_REUSEADDR: sharing the port with another socket would hand it our replies.
    if (!(options.localPort != 0 && bindTo(m_fd, options.localPort)) && !bindTo(m_fd, 0)) {
        const int err = errno;
        ::close(m_fd);
        errno = err;
        fail("bind");
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&bound), &length);
    m_localPort = ntohs(bound.sin_port);
}

BatchSocket::~BatchSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::size_t BatchSocket::send(std::span<const Outgoing> datagrams)
{
    // Laid out again only when a larger batch comes: a single datagram is sent often.
    const std::size_t room = std::min(datagrams.size(), BatchSize);
    if (m_sendTo.size() < room) {
        m_sendTo.resize(room);
        m_sendIov.resize(room);
        m_sendHeaders.resize(room);
    }
    sockaddr_in* to = m_sendTo.data();
    iovec* iov = m_sendIov.data();
    mmsghdr* headers = m_sendHeaders.data();
    std::size_t sent = 0;
    std::size_t next = 0;
    bool triedAgain = false;
    while (next < datagrams.size()) {
        const std::size_t count = std::min(BatchSize, datagrams.size() - next);
        for (std::size_t i = 0; i < count; ++i) {
            const Outgoing& d = datagrams[next + i];
            to[i] = socketAddress(d.to);
            iov[i] = {const_cast<std::uint8_t*>(d.data.data()), d.data.size()};
            headers[i] = {};
            headers[i].msg_hdr.msg_name = &to[i];
            headers[i].msg_hdr.msg_namelen = sizeof to[i];
            headers[i].msg_hdr.msg_iov = &iov[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
        const int n = ::sendmmsg(m_fd, headers, static_cast<unsigned>(count), 0);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            next += static_cast<std::size_t>(n);
            triedAgain = false;
        } else if (n < 0 && isIcmpError(errno) && !triedAgain) {
            // Most likely an earlier datagram's refusal, reported once by this send: the
            // datagram itself never left.
            triedAgain = true;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)) {
            pollfd p{m_fd, POLLOUT, 0};
            ::poll(&p, 1, 10);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            ++next; // the first datagram of the batch was refused: skip it
            triedAgain = false;
        }
    }
    return sent;
}

std::size_t BatchSocket::sendAll(std::span<const std::uint8_t> data, std::span<const query::Endpoint> peers)
{
    std::vector<Outgoing> out;
    out.reserve(peers.size());
    for (const query::Endpoint& p : peers)
        out.push_back({p, data});
    return send(out);
}

bool BatchSocket::wait(int timeoutMs)
{
    pollfd p{m_fd, POLLIN, 0};
    const int n = ::poll(&p, 1, std::max(timeoutMs, 0));
    // POLLERR: a refusal is queued.
    return n > 0 && (p.revents & (POLLIN | POLLERR));
}

std::span<const Incoming> BatchSocket::receive()
{
    // The kernel shortens these to what it wrote; give every header its full room again.
    for (mmsghdr& h : m_headers) {
        h.msg_hdr.msg_namelen = sizeof(sockaddr_in);
        h.msg_hdr.msg_controllen = ControlSize;
        h.msg_hdr.msg_flags = 0;
        h.msg_len = 0;
    }
    m_refused.clear();
    m_failed = false;
    takeRefusals(m_fd, m_refused);
    int n = -1;
    for (int icmpErrors = 0;;) {
        n = ::recvmmsg(m_fd, m_headers.data(), ReceiveBatchSize, MSG_DONTWAIT, nullptr);
        if (n >= 0 || (errno != EINTR && !isIcmpError(errno)) || icmpErrors > 4)
            break;
        // A refusal queued meanwhile is reported once in place of the datagrams waiting.
        if (errno != EINTR) {
            ++icmpErrors;
            takeRefusals(m_fd, m_refused);
        }
    }
    if (n <= 0) {
        m_failed = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
        return {};
    }

    // Kernel times are wall-clock; carry them over to the program's clock at this moment. A clock
    // a test moves by hand takes the time of the read.
    const std::int64_t steadyNow = m_clock->nowMs();
    const bool kernelTimes = m_clock->realTime();
    const std::int64_t realNow = realtimeNs();
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
        Incoming& in = m_incoming[i];
        in.from = {ntohl(m_from[i].sin_addr.s_addr), ntohs(m_from[i].sin_port)};
        in.data = {m_buffers.get() + i * DatagramCapacity,
                   std::min<std::size_t>(m_headers[i].msg_len, DatagramCapacity)};
        in.atMs = steadyNow;
        msghdr& msg = m_headers[i].msg_hdr;
        for (cmsghdr* c = kernelTimes ? CMSG_FIRSTHDR(&msg) : nullptr; c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_TIMESTAMPNS) {
                timespec at{};
                std::memcpy(&at, CMSG_DATA(c), sizeof at);
                const std::int64_t ageNs = realNow - (std::int64_t(at.tv_sec) * 1'000'000'000 + at.tv_nsec);
                // A wall clock stepped meanwhile gives nonsense; keep within a minute of now.
                if (ageNs >= 0 && ageNs < 60'000'000'000)
                    in.atMs = steadyNow - ageNs / 1'000'000;
            }
        }
    }
    return {m_incoming.data(), static_cast<std::size_t>(n)};
}

} // namespace vantry::net
