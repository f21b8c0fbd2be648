#pragma once

#include "LoopThread.h"
#include "ProfileTable.h"

#include <atomic>
#include <cstdint>
#include <netinet/in.h>
#include <span>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unordered_map>
#include <vector>

namespace vantry::emu {

class EmuError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Emulated servers for every address of 127.0.0.0/8 on the given ports: one socket per port bound
// to 0.0.0.0, learning each request's destination address from IP_PKTINFO and replying from it.
// The socket loop runs on its own thread between start() and stop().
class EmuServer
{
public:
    EmuServer(ProfileTable table, std::vector<std::uint16_t> ports);
    ~EmuServer();
    EmuServer(const EmuServer&) = delete;
    EmuServer& operator=(const EmuServer&) = delete;

    // Binds every port (throws EmuError) and starts the loop.
    void start();
    // Stops the loop within a few milliseconds and closes the sockets; safe to call twice.
    void stop();

    // Drops this fraction (0 to 1) of the requests that reach emulated servers, the same ones in
    // every run: whether the n-th request to a server is lost depends only on the server and n.
    // Set before start().
    void setRequestLoss(double fraction) { m_loss = fraction; }

    std::uint64_t requestsReceived() const { return m_requests.load(); }
    // Requests left unanswered by the loss above or by a profile's ignoreFirst.
    std::uint64_t requestsDropped() const { return m_dropped.load(); }
    std::uint64_t repliesSent() const { return m_replies.load(); }
    std::uint64_t sendFailures() const { return m_sendFailures.load(); }
    // Effective kernel buffer sizes of the first socket (as getsockopt reports them).
    int receiveBufferSize() const { return m_rcvbuf; }
    int sendBufferSize() const { return m_sndbuf; }

private:
    void run();
    void serve(int fd, std::uint16_t port);
    // Queues the replies to one request; sendReplies() sends what is queued.
    void answerOne(std::uint16_t port, msghdr& msg, std::span<const std::uint8_t> request);
    void sendReplies(int fd);
    bool lost(std::uint32_t addr, std::uint16_t port, const Profile& profile);

    ProfileTable m_table;
    std::vector<std::uint16_t> m_ports;
    struct Reply
    {
        std::vector<std::uint8_t> data;
        sockaddr_in to;
        in_addr from;
    };
    std::vector<Reply> m_outgoing; // loop thread only
    std::vector<int> m_sockets;
    LoopThread m_loop;
    std::atomic<std::uint64_t> m_requests{0};
    std::atomic<std::uint64_t> m_replies{0};
    std::atomic<std::uint64_t> m_sendFailures{0};
    std::atomic<std::uint64_t> m_dropped{0};
    double m_loss = 0;
    // Requests so far per server, for the loss; touched by the loop thread only.
    std::unordered_map<std::uint64_t, std::uint32_t> m_requestsTo;
    int m_rcvbuf = 0;
    int m_sndbuf = 0;
};

// Asks for size bytes of kernel buffer, forcing past the system limit where permitted (root, or
// the owner of a private network namespace); returns what the kernel then reports.
int growBuffer(int fd, int option, int forceOption, int size);

} // namespace vantry::emu
