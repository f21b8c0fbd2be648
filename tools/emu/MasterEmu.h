#pragma once

#include "LoopThread.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace vantry::emu {

// An IPv4 address and port in host order, as a master lists it.
struct ListedAddress
{
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

// The faults of a master, each taking effect once, on the first request for its page (pages
// counted from 0); -1: never.
struct MasterFaults
{
    // Requests from one sender that come sooner than this after its last answered one are
    // dropped unanswered, as public masters do.
    int minIntervalMs = 0;
    int lostPage = -1;      // no answer
    int repeatedPage = -1;  // answered with the page before it (with the first page for page 0)
    int malformedPage = -1; // answered with a reply that is not a page
    // The last page ends without 0.0.0.0:0, and a request for the page after it goes
    // unanswered.
    bool noEndMarker = false;
    // Pages without end: after the list, addresses of 127.0.0.0/8 counted up from 127.128.0.1.
    bool endless = false;
};

struct MasterBook
{
    std::vector<ListedAddress> servers; // in list order; may hold duplicates and 0.0.0.0 entries
    std::size_t pageSize = 231;         // entries a reply carries, end marker aside
    // Served only to requests whose filter holds this text; others get an empty list.
    std::string requiredFilter;
};

class ProfileTable;

// Every address of the table (at `anyPort` where a profile takes any port), in its order.
MasterBook masterBookFrom(const ProfileTable& table, std::uint16_t anyPort);

// A UDP master server on a loopback address. The socket loop runs on its own thread between
// start() and stop().
class MasterEmu
{
public:
    MasterEmu(MasterBook book, MasterFaults faults = {}, std::uint32_t address = 0x7F000001,
              std::uint16_t port = 0);
    ~MasterEmu();
    MasterEmu(const MasterEmu&) = delete;
    MasterEmu& operator=(const MasterEmu&) = delete;

    // Binds (throws EmuError) and starts the loop.
    void start();
    void stop();

    std::uint16_t port() const { return m_port; }
    std::uint32_t address() const { return m_address; }
    std::string endpointText() const; // "a.b.c.d:port"

    std::uint64_t requestsReceived() const { return m_requests.load(); }
    std::uint64_t requestsDropped() const { return m_dropped.load(); } // by the rate limit
    std::uint64_t repliesSent() const { return m_replies.load(); }
    // The filters and regions of the requests received, in order.
    std::vector<std::string> filtersSeen() const;
    std::vector<std::uint8_t> regionsSeen() const;

    // The reply bytes for a request, without sockets; empty: no reply. Applies the faults. A
    // sender not seen before gets the first page whatever its seed, as from a real master.
    std::vector<std::uint8_t> answer(std::span<const std::uint8_t> request, bool newSender = false);

private:
    void run();
    std::size_t pageCount() const;
    std::vector<ListedAddress> page(std::size_t index) const;
    bool lastPage(std::size_t index) const;
    std::size_t pageAfter(const ListedAddress& seed) const;

    MasterBook m_book;
    MasterFaults m_faults;
    std::uint32_t m_address;
    std::uint16_t m_port;
    int m_fd = -1;
    LoopThread m_loop;
    std::atomic<std::uint64_t> m_requests{0};
    std::atomic<std::uint64_t> m_dropped{0};
    std::atomic<std::uint64_t> m_replies{0};
    std::vector<bool> m_faultDone = std::vector<bool>(3, false);
    mutable std::mutex m_seenMutex;
    std::vector<std::string> m_filters;
    std::vector<std::uint8_t> m_regions;
};

} // namespace vantry::emu
