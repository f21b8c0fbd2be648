#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>

class QUdpSocket;

namespace vantry::net {

// "Null Remote Address", "Host Lookup Canceled", "Invalid buffer" and "Unknown Error No. N".
class EndpointError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The one UDP endpoint: every request leaves through it and every reply arrives through it.
// Every send names its own destination; nothing is shared between senders.
class UdpEndpoint : public QObject
{
    Q_OBJECT
public:
    static constexpr std::uint16_t DefaultLocalPort = 27005;
    static constexpr std::uint16_t DefaultRemotePort = 27015;
    static constexpr int HeldSize = 2048;

    // Resolves a host name; an empty result is a failed lookup. Tests replace it.
    using Resolver = std::function<std::uint32_t(const QString& host)>;

    explicit UdpEndpoint(QObject* parent = nullptr);
    ~UdpEndpoint() override;

    // Binds 0.0.0.0:localPort, or a port the system picks when that one is taken.
    void open(std::uint16_t localPort = DefaultLocalPort);
    // Releasing twice does nothing; after it nothing is sent or received.
    void close();
    bool isOpen() const;
    std::uint16_t localPort() const;

    // Throws EndpointError. A host name is looked up while the event loop keeps running.
    void send(std::span<const std::uint8_t> data, const QString& host, std::uint16_t port);

    // Copies the held datagram into dest, at most dest.size() bytes; returns the count copied.
    std::size_t read(std::span<std::uint8_t> dest) const;

    void setResolver(Resolver resolver);

signals:
    // Fires once per datagram, also after a failed receive (numberBytes -1).
    void dataReceived(int numberBytes, const QString& fromIp, std::uint16_t port);
    // A host lookup failed once; the endpoint tries once more.
    void invalidHost();
    // Raised before "Invalid buffer" is thrown for an empty send.
    void bufferInvalid();

private:
    void drain();

    QUdpSocket* m_socket = nullptr;
    QByteArray m_held;
    Resolver m_resolver;
};

} // namespace vantry::net
