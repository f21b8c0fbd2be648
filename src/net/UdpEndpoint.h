#pragma once

#include "BatchSocket.h"
#include "query/Endpoint.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

class QSocketNotifier;

namespace vantry::query {
class Clock;
}

namespace vantry::net {

// One received datagram, as the data event hands it on.
struct Datagram
{
    query::Endpoint from;
    std::span<const std::uint8_t> bytes; // valid until the handler returns
    // When it was taken off the socket, on the endpoint's clock: round trips are measured here,
    // not after the handlers that ran before this datagram's turn.
    std::int64_t atMs = 0;
};

// "Null Remote Address", "Host Lookup Canceled", "Invalid buffer" and "Unknown Error No. N".
class EndpointError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The window's UDP endpoint: the batching socket driven by the event loop. Every request leaves
// through it and every reply arrives through it; every send names its own destination.
class UdpEndpoint : public QObject
{
    Q_OBJECT
public:
    static constexpr std::uint16_t DefaultLocalPort = 27005;
    static constexpr std::uint16_t DefaultRemotePort = 27015;

    // Resolves a host name to an IPv4 address in host order; an empty result is a failed lookup.
    // Called inside send(); it keeps the event loop running while it waits. Tests replace it.
    using Resolver = std::function<std::optional<std::uint32_t>(const QString& host)>;
    // Asks for this much kernel receive buffer, so a sweep's replies survive its blocking sleeps.
    static constexpr int WantedReceiveBuffer = 8 * 1024 * 1024;

    // Arrivals are stamped on `clock` (not owned; the system clock when null).
    explicit UdpEndpoint(QObject* parent = nullptr, query::Clock* clock = nullptr);
    ~UdpEndpoint() override;

    // Binds 0.0.0.0:localPort, or a port the system picks when that one is taken.
    void open(std::uint16_t localPort = DefaultLocalPort);
    // Releasing twice does nothing; after it nothing is sent or received.
    void close();
    bool isOpen() const;
    std::uint16_t localPort() const;
    // The kernel's receive buffer as it reports it (Linux reports twice the bytes granted).
    int receiveBufferSize() const { return m_receiveBufferSize; }

    // Throws EndpointError. A host name is looked up while the event loop keeps running.
    // Returns the address sent to (host order), or 0 when the endpoint is closed.
    std::uint32_t send(std::span<const std::uint8_t> data, const QString& host, std::uint16_t port);
    // The same to an IPv4 address in host order: no text to parse, no lookup. Address 0 is
    // refused as the text "0.0.0.0" is.
    std::uint32_t send(std::span<const std::uint8_t> data, std::uint32_t address, std::uint16_t port);

    // Copies the held datagram into dest, at most dest.size() bytes; returns the count copied.
    std::size_t read(std::span<std::uint8_t> dest) const;
    // The clock of Datagram::atMs; sends are timed on it too.
    query::Clock& clock() const { return *m_clock; }

    // A host text as send() reads it: a dotted quad as numbers, a name looked up (the event loop
    // keeps running), anything else refused. Throws EndpointError.
    std::uint32_t resolve(const QString& host);
    void setResolver(Resolver resolver);
    // QHostInfo in a local event loop; the first IPv4 result.
    static std::optional<std::uint32_t> lookupHost(const QString& host);

signals:
    // Fires once per datagram, also after a failed receive (numberBytes -1, no bytes).
    void dataReceived(int numberBytes, const vantry::net::Datagram& datagram);
    // A datagram sent to `peer` met a closed port ("port unreachable").
    void refused(const vantry::query::Endpoint& peer);
    // A host lookup failed once; the endpoint tries once more.
    void invalidHost();
    // Raised before "Invalid buffer" is thrown for an empty send.
    void bufferInvalid();

private:
    void drain();
    // Emits refused() for each refusal taken; false when the endpoint was closed meanwhile.
    bool tellRefusals();

    std::unique_ptr<BatchSocket> m_socket;
    // Kept from the first open() to destruction and pointed at each new socket: a data handler
    // that closes the endpoint never destroys it under the drain loop that called it.
    QSocketNotifier* m_notifier = nullptr;
    bool m_draining = false;
    // The datagram being handled, in the socket's batch: valid until its next receive.
    std::span<const std::uint8_t> m_held;
    int m_receiveBufferSize = 0;
    Resolver m_resolver;
    query::Clock* m_clock;
};

} // namespace vantry::net
