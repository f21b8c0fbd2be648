#pragma once

#include "query/Clock.h"
#include "query/Endpoint.h"

#include <array>
#include <cstdint>
#include <memory>
#include <netinet/in.h>
#include <span>
#include <stdexcept>
#include <sys/socket.h>
#include <vector>

namespace vantry::net {

class BatchSocketError : public std::runtime_error
{
public:
    BatchSocketError(const std::string& what, int number) : std::runtime_error(what), m_number(number) {}
    // The system's error number.
    int number() const { return m_number; }

private:
    int m_number;
};

struct Outgoing
{
    query::Endpoint to;
    std::span<const std::uint8_t> data;
};

struct Incoming
{
    query::Endpoint from;
    std::int64_t atMs = 0;              // arrival, on the socket's clock
    std::span<const std::uint8_t> data; // valid until the next receive(); the whole datagram
};

// The one UDP driver of the window and the command line: a non-blocking socket for many requests
// at once, without a toolkit. Sends with sendmmsg in batches and drains with recvmmsg into fixed
// buffers, with the kernel's arrival times. Bound to 0.0.0.0. The receive buffer is made large so
// that a burst of replies fits while a batch leaves.
class BatchSocket
{
public:
    struct Options
    {
        int receiveBuffer = 32 * 1024 * 1024;
        int sendBuffer = 0;          // 0: the system's
        std::uint16_t localPort = 0; // tried first; the system picks one when it is taken
        bool broadcast = false;      // may send to a broadcast address
    };

    static constexpr std::size_t BatchSize = 1024;
    // Room for the largest UDP payload, so that no datagram is ever cut. A receive takes fewer
    // datagrams than a send gives, so that these buffers stay at a few MiB, and their pages
    // are only made real by what the kernel writes into them.
    static constexpr std::size_t DatagramCapacity = 64 * 1024;
    static constexpr std::size_t ReceiveBatchSize = 64;
    static constexpr int DefaultReceiveBuffer = 32 * 1024 * 1024;

    // Throws BatchSocketError when no socket can be opened and bound. Arrivals are stamped on
    // `clock` (not owned).
    explicit BatchSocket(int wantedReceiveBuffer = DefaultReceiveBuffer,
                         query::Clock& clock = query::systemClock());
    BatchSocket(const Options& options, query::Clock& clock);
    ~BatchSocket();
    BatchSocket(const BatchSocket&) = delete;
    BatchSocket& operator=(const BatchSocket&) = delete;

    std::uint16_t localPort() const { return m_localPort; }
    // For an event loop's notifier: readable when a datagram or a refusal waits.
    int fd() const { return m_fd; }
    // What the kernel reports after the request (Linux reports twice the bytes it books).
    int receiveBufferSize() const { return m_receiveBuffer; }

    // Sends every datagram, in batches of at most BatchSize; waits for room in the send buffer
    // rather than dropping. A datagram the kernel refuses (no route, say) is skipped. Returns the
    // number sent.
    std::size_t send(std::span<const Outgoing> datagrams);
    // The same bytes to every peer.
    std::size_t sendAll(std::span<const std::uint8_t> data, std::span<const query::Endpoint> peers);

    // Waits until a datagram or a refusal is waiting or timeoutMs passes (0: just looks). True
    // when one waits.
    bool wait(int timeoutMs);
    // Takes up to ReceiveBatchSize waiting datagrams without blocking; empty when none waits.
    // Takes the waiting refusals first (refused()).
    std::span<const Incoming> receive();
    // The peers whose port was closed ("port unreachable"), taken by the last receive(); valid
    // until the next one.
    std::span<const query::Endpoint> refused() const { return m_refused; }
    // The last receive() met an error other than an empty queue.
    bool failed() const { return m_failed; }

    // The clock of Incoming::atMs.
    query::Clock& clock() const { return *m_clock; }

private:
    query::Clock* m_clock;
    int m_fd = -1;
    std::uint16_t m_localPort = 0;
    int m_receiveBuffer = 0;
    bool m_failed = false;
    // Receive state, laid out once: buffers, sender addresses, headers and control space.
    std::unique_ptr<std::uint8_t[]> m_buffers;
    std::vector<Incoming> m_incoming;
    std::vector<sockaddr_in> m_from;
    std::vector<iovec> m_iov;
    std::vector<mmsghdr> m_headers;
    std::vector<std::array<char, 64>> m_control; // room for one timestamp message
    std::vector<query::Endpoint> m_refused;
    // Send state, grown to the largest batch sent so far.
    std::vector<sockaddr_in> m_sendTo;
    std::vector<iovec> m_sendIov;
    std::vector<mmsghdr> m_sendHeaders;
};

} // namespace vantry::net
