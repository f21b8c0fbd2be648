#include "UdpEndpoint.h"

#include "RefusedPeers.h"
#include "query/Clock.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace vantry::net {

namespace {

[[noreturn]] void failWithNumber(int number)
{
    throw EndpointError("Unknown Error No. " + std::to_string(number));
}

bool bindTo(int fd, std::uint16_t port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

// Forcing past the system limit works with CAP_NET_ADMIN (root); elsewhere the plain request
// gets what the system limit allows.
int growBuffer(int fd, int option, int forceOption, int bytes)
{
    if (::setsockopt(fd, SOL_SOCKET, forceOption, &bytes, sizeof bytes) != 0)
        ::setsockopt(fd, SOL_SOCKET, option, &bytes, sizeof bytes);
    int actual = 0;
    socklen_t length = sizeof actual;
    ::getsockopt(fd, SOL_SOCKET, option, &actual, &length);
    return actual;
}

// The socket is non-blocking for the event loop; a sweep sending as fast as it can fills the
// send buffer for a moment, and a probe refused then would be lost, so wait briefly for room.
void sendDatagram(int fd, std::span<const std::uint8_t> data, std::uint32_t address, std::uint16_t port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    bool triedAgain = false;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0)
            return;
        // An earlier datagram's refusal is reported once by the next send, which did not leave.
        if (isIcmpError(errno) && !triedAgain) {
            triedAgain = true;
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS && errno != EINTR)
            return; // refused: lost without notice
        pollfd pfd{fd, POLLOUT, 0};
        ::poll(&pfd, 1, 20);
    }
}

} // namespace

UdpEndpoint::UdpEndpoint(QObject* parent, query::Clock* clock)
    : QObject(parent), m_held(new std::uint8_t[std::size_t(Batch) * HeldSize]),
      m_clock(clock ? clock : &query::systemClock())
{}

UdpEndpoint::~UdpEndpoint()
{
    close();
}

void UdpEndpoint::open(std::uint16_t localPort)
{
    close();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        failWithNumber(errno);
    // The sweep's one broadcast probe of the local network needs it.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    // A closed port ends its request at once instead of leaving it to the sweep's end.
    askForRefusals(fd);
    m_receiveBufferSize = growBuffer(fd, SO_RCVBUF, SO_RCVBUFFORCE, WantedReceiveBuffer);
    growBuffer(fd, SO_SNDBUF, SO_SNDBUFFORCE, WantedReceiveBuffer);
    // No SO_REUSEADDR: sharing the port with another socket would hand it our replies.
    if (!bindTo(fd, localPort) && !bindTo(fd, 0)) {
        const int error = errno;
        ::close(fd);
        failWithNumber(error);
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    m_localPort = ntohs(bound.sin_port);
    m_fd = fd;
    if (!m_notifier) {
        m_notifier = new QSocketNotifier(QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &UdpEndpoint::drain);
    }
    m_notifier->setSocket(fd);
    m_notifier->setEnabled(true);
}

void UdpEndpoint::close()
{
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_localPort = 0;
    m_heldLength = 0;
}

bool UdpEndpoint::isOpen() const
{
    return m_fd >= 0;
}

std::uint16_t UdpEndpoint::localPort() const
{
    return m_localPort;
}

void UdpEndpoint::setResolver(Resolver resolver)
{
    m_resolver = std::move(resolver);
}

std::optional<std::uint32_t> UdpEndpoint::lookupHost(const QString& host)
{
    QEventLoop loop;
    std::optional<std::uint32_t> result;
    bool done = false;
    QHostInfo::lookupHost(host, &loop, [&](const QHostInfo& info) {
        if (info.error() == QHostInfo::NoError) {
            for (const QHostAddress& address : info.addresses()) {
                if (address.protocol() == QAbstractSocket::IPv4Protocol) {
                    result = address.toIPv4Address();
                    break;
                }
            }
        }
        done = true;
        loop.quit();
    });
    if (!done)
        loop.exec();
    return result;
}

std::uint32_t UdpEndpoint::resolve(const QString& host)
{
    // Numbers are read here, never by the resolver, which takes "010" for octal.
    const query::HostText text = query::HostText::read(host.toStdString());
    if (text.kind == query::HostText::Kind::Address)
        return text.address;
    if (text.kind != query::HostText::Kind::Name)
        throw EndpointError("Host Lookup Canceled");
    const auto lookup = [&] { return m_resolver ? m_resolver(host) : lookupHost(host); };
    if (auto address = lookup())
        return *address;
    emit invalidHost();
    if (auto address = lookup())
        return *address;
    throw EndpointError("Host Lookup Canceled");
}

std::uint32_t UdpEndpoint::send(std::span<const std::uint8_t> data, const QString& host, std::uint16_t port)
{
    if (!isOpen())
        return 0;
    if (data.empty()) {
        emit bufferInvalid();
        throw EndpointError("Invalid buffer");
    }
    const std::uint32_t address = resolve(host);
    if (address == 0)
        throw EndpointError("Null Remote Address");
    // A lookup keeps the event loop running, and a handler may have closed us meanwhile.
    if (!isOpen())
        return 0;
    sendDatagram(m_fd, data, address, port);
    return address;
}

std::uint32_t UdpEndpoint::send(std::span<const std::uint8_t> data, std::uint32_t address, std::uint16_t port)
{
    if (!isOpen())
        return 0;
    if (data.empty()) {
        emit bufferInvalid();
        throw EndpointError("Invalid buffer");
    }
    if (address == 0)
        throw EndpointError("Null Remote Address");
    sendDatagram(m_fd, data, address, port);
    return address;
}

std::size_t UdpEndpoint::read(std::span<std::uint8_t> dest) const
{
    const std::size_t count = std::min(dest.size(), std::size_t(m_heldLength));
    if (count > 0)
        std::memcpy(dest.data(), m_held.get() + m_heldAt, count);
    return count;
}

// Every waiting datagram in one go, read straight off the socket, a batch per system call. A
// handler that runs a nested event loop does not enter this loop again: the notifier goes off
// until the handler returns, and what arrived meanwhile is read by this loop then. (Turning it
// off for every helping would cost more than the reads.) A flood is read in bounded helpings,
// so that the event loop still runs between them.
void UdpEndpoint::drain()
{
    if (m_draining) {
        m_notifier->setEnabled(false);
        return;
    }
    struct Draining
    {
        bool& flag;
        explicit Draining(bool& f) : flag(f) { flag = true; }
        ~Draining() { flag = false; }
    } draining(m_draining);

    constexpr int Helping = 4096;
    std::array<mmsghdr, Batch> headers{};
    std::array<iovec, Batch> buffers{};
    std::array<sockaddr_in, Batch> from{};
    int icmpErrors = 0;
    for (int taken = 0; taken < Helping && isOpen();) {
        // Refusals first: a queued one keeps the notifier firing, and reports itself once in
        // place of the datagrams waiting.
        if (!takeRefusals())
            break;
        for (int i = 0; i < Batch; ++i) {
            buffers[i] = {m_held.get() + i * HeldSize, HeldSize};
            headers[i] = {};
            headers[i].msg_hdr.msg_name = &from[i];
            headers[i].msg_hdr.msg_namelen = sizeof from[i];
            headers[i].msg_hdr.msg_iov = &buffers[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
        const int n = ::recvmmsg(m_fd, headers.data(), Batch, MSG_DONTWAIT, nullptr);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n < 0 && isIcmpError(errno) && ++icmpErrors < 8)
            continue;
        if (n <= 0) {
            m_heldLength = 0;
            emit dataReceived(-1, Datagram{{}, {}, m_clock->nowMs()});
            break;
        }
        // Read at one go, so received at one time.
        const std::int64_t now = m_clock->nowMs();
        for (int i = 0; i < n && isOpen(); ++i) {
            m_heldAt = i * HeldSize;
            m_heldLength = int(headers[i].msg_len);
            const Datagram datagram{{ntohl(from[i].sin_addr.s_addr), ntohs(from[i].sin_port)},
                                    {m_held.get() + m_heldAt, std::size_t(m_heldLength)},
                                    now};
            emit dataReceived(m_heldLength, datagram);
        }
        taken += n;
    }
    if (isOpen() && !m_notifier->isEnabled())
        m_notifier->setEnabled(true);
}

bool UdpEndpoint::takeRefusals()
{
    // Taken before any is told: a handler may close the endpoint or send meanwhile.
    std::vector<query::Endpoint> refusedNow;
    net::takeRefusals(m_fd, refusedNow);
    for (const query::Endpoint& peer : refusedNow) {
        if (!isOpen())
            return false;
        emit refused(peer);
    }
    return isOpen();
}

} // namespace vantry::net
