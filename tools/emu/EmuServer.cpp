#include "EmuServer.h"

#include "Replies.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <span>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace vantry::emu {

namespace {

constexpr int BufferBytes = 8 * 1024 * 1024;
constexpr std::size_t MaxRequest = 2048;

void closeAll(std::vector<int>& fds)
{
    for (int fd : fds) {
        if (fd >= 0)
            ::close(fd);
    }
    fds.clear();
}

std::string placeText(std::uint32_t address, std::uint16_t port)
{
    return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
           std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF) + ':' +
           std::to_string(port);
}

// -1 when the place is taken and taken places are to be left out.
int openPort(std::uint16_t port, int& rcvbuf, int& sndbuf, std::uint32_t address = INADDR_ANY,
             bool skipTaken = false)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw EmuError("socket: " + std::string(std::strerror(errno)));
    const int on = 1;
    if (::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
        const int err = errno;
        ::close(fd);
        throw EmuError("IP_PKTINFO: " + std::string(std::strerror(err)));
    }
    rcvbuf = growBuffer(fd, SO_RCVBUF, SO_RCVBUFFORCE, BufferBytes);
    sndbuf = growBuffer(fd, SO_SNDBUF, SO_SNDBUFFORCE, BufferBytes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(address);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        ::close(fd);
        if (skipTaken && err == EADDRINUSE)
            return -1;
        throw EmuError("bind " + placeText(address, port) + ": " + std::strerror(err));
    }
    return fd;
}

} // namespace

// The heap's order: the latest due (and last queued among equals) sinks, the earliest rises.
bool EmuServer::later(const Held& a, const Held& b)
{
    return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
}

int growBuffer(int fd, int option, int forceOption, int size)
{
    if (::setsockopt(fd, SOL_SOCKET, forceOption, &size, sizeof size) != 0)
        ::setsockopt(fd, SOL_SOCKET, option, &size, sizeof size);
    int actual = 0;
    socklen_t length = sizeof actual;
    ::getsockopt(fd, SOL_SOCKET, option, &actual, &length);
    return actual;
}

EmuServer::EmuServer(ProfileTable table, std::vector<std::uint16_t> ports)
    : m_table(std::move(table)), m_ports(std::move(ports))
{}

EmuServer::~EmuServer()
{
    stop();
}

void EmuServer::start()
{
    if (m_loop.running())
        return;
    try {
        m_socketPorts.clear();
        m_taken.clear();
        const bool each = !m_bindAddresses.empty();
        const std::vector<std::uint32_t> addresses =
            each ? m_bindAddresses : std::vector<std::uint32_t>{INADDR_ANY};
        for (std::uint16_t port : m_ports) {
            for (std::uint32_t address : addresses) {
                int rcvbuf = 0;
                int sndbuf = 0;
                const int fd = openPort(port, rcvbuf, sndbuf, address, each);
                if (fd < 0) {
                    m_taken.push_back(placeText(address, port));
                    continue;
                }
                m_sockets.push_back(fd);
                m_socketPorts.push_back(port);
                if (m_sockets.size() == 1) {
                    m_rcvbuf = rcvbuf;
                    m_sndbuf = sndbuf;
                }
            }
        }
        m_loop.openWake();
    } catch (...) {
        closeAll(m_sockets);
        throw;
    }
    m_loop.start([this] { run(); });
}

void EmuServer::stop()
{
    if (m_loop.stop())
        closeAll(m_sockets);
}

void EmuServer::run()
{
    std::vector<pollfd> fds;
    for (int fd : m_sockets)
        fds.push_back({fd, POLLIN, 0});
    fds.push_back({m_loop.wakeFd(), POLLIN, 0});
    // The time-out only bounds a stop whose wake-up byte was somehow lost.
    constexpr Clock::duration Idle = std::chrono::milliseconds(200);
    Clock::duration wait = Idle;
    while (!m_loop.stopping()) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::min(wait, Idle)).count();
        const timespec timeout{static_cast<time_t>(ns / 1'000'000'000),
                               static_cast<long>(ns % 1'000'000'000)};
        if (::ppoll(fds.data(), fds.size(), &timeout, nullptr) < 0 && errno != EINTR)
            break;
        for (std::size_t i = 0; i < m_sockets.size(); ++i) {
            if (fds[i].revents & POLLIN)
                serve(i);
        }
        wait = sendDue();
    }
    m_held.clear(); // replies still held die with the servers
}

// Drains every waiting request of one socket, a batch per call into the kernel, and answers each.
void EmuServer::serve(std::size_t socket)
{
    const int fd = m_sockets[socket];
    constexpr std::size_t Batch = 256;
    using Control = std::array<char, CMSG_SPACE(sizeof(in_pktinfo))>;
    // Laid out once per loop thread; every call drains into the same buffers.
    static thread_local std::vector<std::uint8_t> buffers(Batch * MaxRequest);
    static thread_local std::vector<sockaddr_in> peers(Batch);
    static thread_local std::vector<iovec> iov(Batch);
    static thread_local std::vector<Control> controls(Batch);
    static thread_local std::vector<mmsghdr> headers(Batch);
    while (!m_loop.stopping()) {
        for (std::size_t i = 0; i < Batch; ++i) {
            iov[i] = {buffers.data() + i * MaxRequest, MaxRequest};
            headers[i] = {};
            headers[i].msg_hdr.msg_name = &peers[i];
            headers[i].msg_hdr.msg_namelen = sizeof peers[i];
            headers[i].msg_hdr.msg_iov = &iov[i];
            headers[i].msg_hdr.msg_iovlen = 1;
            headers[i].msg_hdr.msg_control = controls[i].data();
            headers[i].msg_hdr.msg_controllen = controls[i].size();
        }
        const int n = ::recvmmsg(fd, headers.data(), Batch, MSG_DONTWAIT, nullptr);
        if (n <= 0)
            return; // EAGAIN: drained
        const Clock::time_point now = Clock::now();
        for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
            ++m_requests;
            answerOne(socket, now, headers[i].msg_hdr,
                      std::span(buffers.data() + i * MaxRequest,
                                std::min<std::size_t>(headers[i].msg_len, MaxRequest)));
        }
        sendReplies(fd);
        // A long flood of requests must not hold back the replies already due.
        if (delaying())
            sendDue();
    }
}

bool EmuServer::lost(std::uint32_t addr, std::uint16_t port, const Profile& profile)
{
    if (m_loss <= 0 && profile.ignoreFirst == 0)
        return false;
    const std::uint64_t server = (std::uint64_t(addr) << 16) | port;
    const std::uint32_t n = m_requestsTo[server]++;
    bool drop = n < profile.ignoreFirst;
    if (!drop && m_loss > 0) {
        // splitmix64 of the server and n: evenly spread, and the same in every run.
        std::uint64_t x = server * 0x9E3779B97F4A7C15u + n + 1;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
        x ^= x >> 31;
        drop = static_cast<double>(x >> 11) * 0x1p-53 < m_loss;
    }
    if (drop)
        ++m_dropped;
    return drop;
}

void EmuServer::answerOne(std::size_t socket, Clock::time_point now, msghdr& msg,
                          std::span<const std::uint8_t> request)
{
    const std::uint16_t port = m_socketPorts[socket];
    in_addr destination{};
    bool known = false;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            destination = info.ipi_addr;
            known = true;
        }
    }
    const std::uint32_t dest = ntohl(destination.s_addr);
    // Only loopback addresses are emulated; anything else is not ours to answer for.
    if (!known || (dest >> 24) != 127)
        return;
    // The request crosses the player's uplink before anything else can happen to it.
    const auto sinceEpochUs = [](Clock::time_point t) {
        return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
    };
    const std::optional<std::int64_t> upUs = m_up.pass(sinceEpochUs(now), request.size());
    if (!upUs)
        return;
    const std::optional<Profile> profile = m_table.find(dest, port);
    if (!profile || lost(dest, port, *profile))
        return;
    std::vector<Datagram> replies = answer(*profile, request, dest, port);
    if (replies.empty())
        return;
    sockaddr_in to{};
    std::memcpy(&to, msg.msg_name, std::min<std::size_t>(sizeof to, msg.msg_namelen));
    if (!delaying()) {
        for (Datagram& reply : replies)
            m_outgoing.push_back({std::move(reply), to, destination});
        return;
    }
    // One delay for the whole answer: its fragments stay together and in order.
    std::uniform_int_distribution<int> jitter(0, m_latencyJitterUs);
    const Clock::time_point left = Clock::time_point(std::chrono::microseconds(*upUs));
    const Clock::time_point due = left + std::chrono::microseconds(m_latencyBaseUs + jitter(m_random));
    for (Datagram& reply : replies) {
        m_held.push_back({due, m_heldSequence++, socket, {std::move(reply), to, destination}});
        std::push_heap(m_held.begin(), m_held.end(), later);
    }
}

EmuServer::Clock::duration EmuServer::sendDue()
{
    const Clock::time_point now = Clock::now();
    std::size_t socket = 0;
    while (!m_held.empty() && m_held.front().due <= now) {
        std::pop_heap(m_held.begin(), m_held.end(), later);
        Held held = std::move(m_held.back());
        m_held.pop_back();
        if (m_down.limited() && !held.arrived) {
            // At the router now: queued for the downlink, or dropped when its queue is full.
            const auto atUs =
                std::chrono::duration_cast<std::chrono::microseconds>(held.due.time_since_epoch());
            const std::optional<std::int64_t> outUs = m_down.pass(atUs.count(), held.reply.data.size());
            if (!outUs)
                continue;
            held.arrived = true;
            held.due = Clock::time_point(std::chrono::microseconds(*outUs));
            if (held.due > now) {
                m_held.push_back(std::move(held));
                std::push_heap(m_held.begin(), m_held.end(), later);
                continue;
            }
        }
        if (!m_outgoing.empty() && held.socket != socket)
            sendReplies(m_sockets[socket]);
        socket = held.socket;
        m_outgoing.push_back(std::move(held.reply));
    }
    if (!m_outgoing.empty())
        sendReplies(m_sockets[socket]);
    return m_held.empty() ? Clock::duration::max() : m_held.front().due - now;
}

// The replies to one batch of requests leave in one call into the kernel per batch.
void EmuServer::sendReplies(int fd)
{
    using Control = std::array<char, CMSG_SPACE(sizeof(in_pktinfo))>;
    constexpr std::size_t Batch = 256;
    static thread_local std::vector<mmsghdr> headers(Batch);
    static thread_local std::vector<iovec> iov(Batch);
    static thread_local std::vector<Control> controls(Batch);
    for (std::size_t next = 0; next < m_outgoing.size();) {
        const std::size_t count = std::min(Batch, m_outgoing.size() - next);
        for (std::size_t i = 0; i < count; ++i) {
            Reply& r = m_outgoing[next + i];
            iov[i] = {r.data.data(), r.data.size()};
            headers[i] = {};
            msghdr& m = headers[i].msg_hdr;
            m.msg_name = &r.to;
            m.msg_namelen = sizeof r.to;
            m.msg_iov = &iov[i];
            m.msg_iovlen = 1;
            controls[i] = {};
            m.msg_control = controls[i].data();
            m.msg_controllen = controls[i].size();
            cmsghdr* c = CMSG_FIRSTHDR(&m);
            c->cmsg_level = IPPROTO_IP;
            c->cmsg_type = IP_PKTINFO;
            c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
            in_pktinfo info{};
            info.ipi_spec_dst = r.from; // reply from the address that was probed
            std::memcpy(CMSG_DATA(c), &info, sizeof info);
        }
        // Blocking send: with a full send buffer it waits rather than losing replies.
        const int sent = ::sendmmsg(fd, headers.data(), static_cast<unsigned>(count), 0);
        if (sent > 0) {
            m_replies += static_cast<std::uint64_t>(sent);
            next += static_cast<std::size_t>(sent);
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else {
            ++m_sendFailures; // the first of the batch was refused: skip it
            ++next;
        }
    }
    m_outgoing.clear();
}

} // namespace vantry::emu
