#pragma once

#include "LinkModel.h"
#include "LoopThread.h"
#include "ProfileTable.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
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

    // Binds one socket per address and port instead of one per port on 0.0.0.0, so that a program
    // holding one of the ports on some address (a local game server on 27015) keeps it: the
    // sockets that cannot be bound are left out and named by takenPlaces(). Set before start().
    void bindEachAddress(std::vector<std::uint32_t> addresses) { m_bindAddresses = std::move(addresses); }
    // "a.b.c.d:port" of every place left out because it was taken.
    const std::vector<std::string>& takenPlaces() const { return m_taken; }
    // Stops the loop within a few milliseconds and closes the sockets; safe to call twice.
    void stop();

    // Drops this fraction (0 to 1) of the requests that reach emulated servers, the same ones in
    // every run: whether the n-th request to a server is lost depends only on the server and n.
    // Set before start().
    void setRequestLoss(double fraction) { m_loss = fraction; }
    // Holds the replies to each request for baseMs plus a uniform draw from 0 to jitterMs, as a
    // server across the internet answers; the replies to one request leave together and in their
    // order. Waiting replies sit in one time-ordered queue on the loop thread. Set before start().
    void setLatency(int baseMs, int jitterMs)
    {
        constexpr int MostMs = 600'000; // ten minutes: base plus jitter in microseconds fit an int
        m_latencyBaseUs = std::clamp(baseMs, 0, MostMs) * 1000;
        m_latencyJitterUs = std::clamp(jitterMs, 0, MostMs) * 1000;
    }

    // The player's link: requests queue for the uplink, replies for the downlink, each at its rate
    // and dropped beyond its queue (LinkQueue), beside the latency. Set before start().
    void setLink(const LinkShape& shape)
    {
        m_up = LinkQueue(shape.upKbps, shape.queueMs);
        m_down = LinkQueue(shape.downKbps, shape.queueMs);
    }
    // Datagrams the link dropped, requests and replies; read after stop().
    std::uint64_t linkDropped() const { return m_up.dropped() + m_down.dropped(); }

    std::uint64_t requestsReceived() const { return m_requests.load(); }
    // Requests left unanswered by the loss above or by a profile's ignoreFirst.
    std::uint64_t requestsDropped() const { return m_dropped.load(); }
    std::uint64_t repliesSent() const { return m_replies.load(); }
    std::uint64_t sendFailures() const { return m_sendFailures.load(); }
    // Effective kernel buffer sizes of the first socket (as getsockopt reports them).
    int receiveBufferSize() const { return m_rcvbuf; }
    int sendBufferSize() const { return m_sndbuf; }

private:
    using Clock = std::chrono::steady_clock;

    void run();
    void serve(std::size_t socket);
    // Queues the replies to one request, for sendReplies() at once or, with a latency, for
    // sendDue() when their time comes.
    void answerOne(std::size_t socket, Clock::time_point now, msghdr& msg,
                   std::span<const std::uint8_t> request);
    void sendReplies(int fd);
    // Sends the held replies whose time has come; returns how long until the next is due.
    Clock::duration sendDue();
    bool delaying() const
    {
        return m_latencyBaseUs > 0 || m_latencyJitterUs > 0 || m_up.limited() || m_down.limited();
    }
    bool lost(std::uint32_t addr, std::uint16_t port, const Profile& profile);

    ProfileTable m_table;
    std::vector<std::uint16_t> m_ports;
    std::vector<std::uint32_t> m_bindAddresses;
    std::vector<std::uint16_t> m_socketPorts; // the port of each socket
    std::vector<std::string> m_taken;
    struct Reply
    {
        std::vector<std::uint8_t> data;
        sockaddr_in to;
        in_addr from;
    };
    std::vector<Reply> m_outgoing; // loop thread only
    struct Held
    {
        Clock::time_point due;
        std::uint64_t sequence; // equal times leave in the order they were queued
        std::size_t socket;
        Reply reply;
        bool arrived = false; // through the downlink's queue: due is its delivery
    };
    static bool later(const Held& a, const Held& b);
    std::vector<Held> m_held; // a heap, earliest due on top; loop thread only
    std::uint64_t m_heldSequence = 0;
    LinkQueue m_up;   // loop thread only
    LinkQueue m_down; // loop thread only
    int m_latencyBaseUs = 0;
    int m_latencyJitterUs = 0;
    std::minstd_rand m_random; // the same delays in every run; loop thread only
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
