#include "UdpEndpoint.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QUdpSocket>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
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
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0)
            return;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS && errno != EINTR)
            return; // refused: lost without notice
        pollfd pfd{fd, POLLOUT, 0};
        ::poll(&pfd, 1, 20);
    }
}

QString dotted(const QHostAddress& address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    if (!ok)
        return QStringLiteral("0.0.0.0");
    return QString::asprintf("%d.%d.%d.%d", int(v4 >> 24), int((v4 >> 16) & 0xFF), int((v4 >> 8) & 0xFF),
                             int(v4 & 0xFF));
}

} // namespace

UdpEndpoint::UdpEndpoint(QObject* parent) : QObject(parent), m_held(HeldSize, '\0') {}

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
    // Qt also sets SO_BROADCAST on every UDP socket it adopts; we keep it, and ask for it here
    // too, because the sweep's one broadcast probe of the local network needs it.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    m_receiveBufferSize = growBuffer(fd, SO_RCVBUF, SO_RCVBUFFORCE, WantedReceiveBuffer);
    growBuffer(fd, SO_SNDBUF, SO_SNDBUFFORCE, WantedReceiveBuffer);
    // No SO_REUSEADDR: sharing the port with another socket would hand it our replies.
    if (!bindTo(fd, localPort) && !bindTo(fd, 0)) {
        const int error = errno;
        ::close(fd);
        failWithNumber(error);
    }
    if (!m_socket) {
        m_socket = new QUdpSocket(this);
        connect(m_socket, &QUdpSocket::readyRead, this, &UdpEndpoint::drain);
    }
    if (!m_socket->setSocketDescriptor(fd, QAbstractSocket::BoundState)) {
        ::close(fd);
        failWithNumber(int(m_socket->error()));
    }
}

void UdpEndpoint::close()
{
    if (m_socket)
        m_socket->close();
    m_heldLength = 0;
}

bool UdpEndpoint::isOpen() const
{
    return m_socket && m_socket->state() == QAbstractSocket::BoundState;
}

std::uint16_t UdpEndpoint::localPort() const
{
    return isOpen() ? m_socket->localPort() : 0;
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
    in_addr literal{};
    if (inet_pton(AF_INET, host.toLatin1().constData(), &literal) == 1)
        return ntohl(literal.s_addr);
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
    sendDatagram(int(m_socket->socketDescriptor()), data, address, port);
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
    sendDatagram(int(m_socket->socketDescriptor()), data, address, port);
    return address;
}

std::size_t UdpEndpoint::read(std::span<std::uint8_t> dest) const
{
    const std::size_t count = std::min(dest.size(), std::size_t(m_heldLength));
    if (count > 0)
        std::memcpy(dest.data(), m_held.constData(), count);
    return count;
}

std::int64_t UdpEndpoint::steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Every waiting datagram in one go: while a data handler runs a nested event loop Qt does not
// emit readyRead again, so what arrives meanwhile is picked up by this loop when it resumes.
void UdpEndpoint::drain()
{
    while (isOpen() && m_socket->hasPendingDatagrams()) {
        QHostAddress from;
        quint16 fromPort = 0;
        // A longer datagram is cut to the held buffer.
        const qint64 n = m_socket->readDatagram(m_held.data(), HeldSize, &from, &fromPort);
        m_heldLength = n < 0 ? 0 : int(n);
        m_heldTimeMs = steadyMs();
        emit dataReceived(n < 0 ? -1 : int(n), dotted(from), fromPort);
        if (n < 0)
            break;
    }
}

} // namespace vantry::net
