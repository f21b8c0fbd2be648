#pragma once

#include "LoopThread.h"
#include "MasterEmu.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace vantry::emu {

struct XashMasterOptions
{
    // Requests one client address may have answered within any second; the rest are dropped
    // unanswered, as the community masters do. 0: no limit.
    int perSecond = 0;
    // Requests without \clver\ (or below 0.20), or without \buildnum\ at least this, get only the
    // master's "please update" notice: one fake server.
    int minBuild = 3000;
    ListedAddress updateNotice{0x7F0000FE, 27015};
    // Before the list, a datagram of the same entries under another key (a forged answer).
    bool forgedFirst = false;
    // The list without the 7F key 08 header.
    bool unkeyed = false;
};

// A community master on a loopback address: the whole list of a game folder at once, in datagrams
// of at most 512 bytes, each with the header and key and ending in a zero entry. The loop runs on
// its own thread between start() and stop().
class XashMasterEmu
{
public:
    // Servers by game folder ("cstrike", "valve").
    XashMasterEmu(std::map<std::string, std::vector<ListedAddress>> lists, XashMasterOptions options = {},
                  std::uint32_t address = 0x7F000001, std::uint16_t port = 0);
    ~XashMasterEmu();
    XashMasterEmu(const XashMasterEmu&) = delete;
    XashMasterEmu& operator=(const XashMasterEmu&) = delete;

    void start(); // throws EmuError
    void stop();

    std::uint16_t port() const { return m_port; }
    std::string endpointText() const;
    std::uint64_t requestsReceived() const { return m_requests.load(); }
    std::uint64_t requestsDropped() const { return m_dropped.load(); }
    std::uint64_t datagramsSent() const { return m_sent.load(); }
    // The info strings of the requests answered or dropped, in order.
    std::vector<std::string> infoSeen() const;

    // The datagrams answering a request, without sockets.
    std::vector<std::vector<std::uint8_t>> answer(std::span<const std::uint8_t> request) const;

private:
    void run();

    std::map<std::string, std::vector<ListedAddress>> m_lists;
    XashMasterOptions m_options;
    std::uint32_t m_address;
    std::uint16_t m_port;
    int m_fd = -1;
    LoopThread m_loop;
    std::atomic<std::uint64_t> m_requests{0};
    std::atomic<std::uint64_t> m_dropped{0};
    std::atomic<std::uint64_t> m_sent{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_info;
};

// A static HTTP list on 127.0.0.1: GET <anything>/v1/servers/<folder> answers the folder's body,
// 404 for a folder it does not hold. One connection at a time.
class HttpListEmu
{
public:
    explicit HttpListEmu(std::map<std::string, std::string> bodies);
    ~HttpListEmu();
    HttpListEmu(const HttpListEmu&) = delete;
    HttpListEmu& operator=(const HttpListEmu&) = delete;

    void start(std::uint16_t port = 0); // throws EmuError
    void stop();
    std::uint16_t port() const { return m_port; }
    std::string baseUrl() const; // "http://127.0.0.1:PORT/list"
    std::vector<std::string> targets() const;

private:
    void run();
    void serve(int fd);

    std::map<std::string, std::string> m_bodies;
    std::uint16_t m_port = 0;
    int m_listen = -1;
    LoopThread m_loop;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_targets;
};

class ProfileTable;

// Every address of the table by its profile's game folder (at `anyPort` where a profile takes any).
std::map<std::string, std::vector<ListedAddress>> xashListsFrom(const ProfileTable& table,
                                                                std::uint16_t anyPort);

// A list body as the project publishes it, for every address: comments, quoted and unknown records.
std::string httpListBody(const std::vector<ListedAddress>& servers);

} // namespace vantry::emu
