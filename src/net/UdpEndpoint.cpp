#include "UdpEndpoint.h"

#include "query/Clock.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <cstring>
#include <string>

namespace vantry::net {

UdpEndpoint::UdpEndpoint(QObject* parent, query::Clock* clock)
    : QObject(parent), m_clock(clock ? clock : &query::systemClock())
{}

UdpEndpoint::~UdpEndpoint()
{
    close();
}

void UdpEndpoint::open(std::uint16_t localPort)
{
    close();
    BatchSocket::Options options;
    options.localPort = localPort;
    // The sweep's one broadcast probe of the local network needs it.
    options.broadcast = true;
    options.receiveBuffer = WantedReceiveBuffer;
    options.sendBuffer = WantedReceiveBuffer;
    try {
        m_socket = std::make_unique<BatchSocket>(options, *m_clock);
    } catch (const BatchSocketError& e) {
        throw EndpointError("Unknown Error No. " + std::to_string(e.number()));
    }
    m_receiveBufferSize = m_socket->receiveBufferSize();
    if (!m_notifier) {
        m_notifier = new QSocketNotifier(QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &UdpEndpoint::drain);
    }
    m_notifier->setSocket(m_socket->fd());
    m_notifier->setEnabled(true);
}

void UdpEndpoint::close()
{
    if (m_notifier)
        m_notifier->setEnabled(false);
    m_socket.reset();
    m_held = {};
}

bool UdpEndpoint::isOpen() const
{
    return m_socket != nullptr;
}

std::uint16_t UdpEndpoint::localPort() const
{
    return m_socket ? m_socket->localPort() : 0;
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
    const Outgoing out{{address, port}, data};
    m_socket->send(std::span(&out, 1));
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
    const Outgoing out{{address, port}, data};
    m_socket->send(std::span(&out, 1));
    return address;
}

std::size_t UdpEndpoint::read(std::span<std::uint8_t> dest) const
{
    const std::size_t count = std::min(dest.size(), m_held.size());
    if (count > 0)
        std::memcpy(dest.data(), m_held.data(), count);
    return count;
}

// Every waiting datagram in one go, a batch per system call. A handler that runs a nested event
// loop does not enter this loop again: the notifier goes off until the handler returns, and what
// arrived meanwhile is read by this loop then. (Turning it off for every helping would cost more
// than the reads.) A flood is read in bounded helpings, so that the event loop still runs between
// them.
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

    // A handler may close the endpoint, or close and open it again: the batch belongs to the socket
    // that read it, and the loop ends when that socket is gone.
    BatchSocket* const socket = m_socket.get();
    const auto same = [&] { return m_socket.get() == socket; };
    constexpr std::size_t Helping = 4096;
    for (std::size_t taken = 0; socket && taken < Helping && same();) {
        const std::span<const Incoming> batch = socket->receive();
        // Refusals first: each was queued before the datagrams waiting behind it.
        if (!tellRefusals() || !same())
            break;
        if (batch.empty()) {
            if (socket->failed()) {
                m_held = {};
                emit dataReceived(-1, Datagram{{}, {}, m_clock->nowMs()});
            }
            break;
        }
        for (std::size_t i = 0; i < batch.size() && same(); ++i) {
            const Incoming& in = batch[i];
            m_held = in.data;
            emit dataReceived(static_cast<int>(in.data.size()), Datagram{in.from, in.data, in.atMs});
        }
        taken += batch.size();
    }
    if (isOpen() && !m_notifier->isEnabled())
        m_notifier->setEnabled(true);
}

bool UdpEndpoint::tellRefusals()
{
    // Copied before any is told: a handler may close the endpoint or send meanwhile.
    const std::span<const query::Endpoint> taken = m_socket->refused();
    if (taken.empty())
        return true;
    const std::vector<query::Endpoint> refusedNow(taken.begin(), taken.end());
    for (const query::Endpoint& peer : refusedNow) {
        if (!isOpen())
            return false;
        emit refused(peer);
    }
    return isOpen();
}

} // namespace vantry::net
